#include "ui/keywords/HistoryPanel.h"

#include "clients/Storefront.h"
#include "store/ASOStore.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/Formatters.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/StateBadge.h"
#include "ui/cells/Style.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QLocale>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QStackedLayout>
#include <QValueAxis>
#include <QVBoxLayout>

#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// Abbreviated month, day, hour and minute in the order and with the separators of the user's
// locale ("Dec 7, 9:00 AM", "7. Dez., 09:00"); the formatter of the last locale is kept.
QString monthDayTime(const QDateTime &moment)
{
    static QString name;
    static std::unique_ptr<icu::SimpleDateFormat> format;
    const auto locale = QLocale::system();
    if (name != locale.name() || !format) {
        name = locale.name();
        format.reset();
        UErrorCode status = U_ZERO_ERROR;
        const icu::Locale icuLocale(name.toLatin1().constData());
        const std::unique_ptr<icu::DateTimePatternGenerator> generator(
            icu::DateTimePatternGenerator::createInstance(icuLocale, status));
        if (U_SUCCESS(status)) {
            const auto pattern = generator->getBestPattern(icu::UnicodeString(u"MMMdjmm"), status);
            auto made = std::make_unique<icu::SimpleDateFormat>(pattern, icuLocale, status);
            if (U_SUCCESS(status))
                format = std::move(made);
        }
    }
    if (!format)
        return Formatters::abbreviatedDateTime(moment);
    icu::UnicodeString text;
    format->format(UDate(moment.toMSecsSinceEpoch()), text);
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

// The locale's short time format without seconds, which some locales' short format shows.
QString hourMinuteFormat()
{
    static const QRegularExpression seconds(QStringLiteral("[:.]ss?"));
    return QLocale::system().timeFormat(QLocale::ShortFormat).remove(seconds);
}

// A round step for about four intervals over the span: 1, 2 or 5 times a power of ten.
double tickInterval(double span)
{
    const double raw = std::max(span / 4, 1.0);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= raw)
            return factor * power;
    }
    return 10 * power;
}

// One reading of the list: when it was taken, and the rank or the state.
QWidget *readingRow(const RankSnapshot &reading)
{
    auto *row = new QWidget;
    auto *date = new QLabel(monthDayTime(reading.checkedAt), row);
    date->setObjectName(QStringLiteral("historyDate"));
    Style::setTone(date, Style::Tone::secondary);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(4, 3, 4, 3);
    layout->addWidget(date);
    layout->addStretch();
    if (reading.state() == RankingState::found && reading.rank) {
        auto *rank = new QLabel(u'#' + QString::number(*reading.rank), row);
        rank->setObjectName(QStringLiteral("historyRank"));
        rank->setFont(Style::font(Style::TextSize::body, QFont::DemiBold));
        layout->addWidget(rank);
    } else {
        auto *badge = new StateBadge(reading.state(), reading.resultCount, row);
        badge->setObjectName(QStringLiteral("historyBadge"));
        layout->addWidget(badge);
    }
    return row;
}

}

HistoryPanel::HistoryPanel(ASOStore *store, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
    , m_pages(new QStackedLayout(this))
    , m_noSelection(new EmptyStateView(QStringLiteral("chart.xyaxis.line"), QStringLiteral("Select a keyword"),
                                       QStringLiteral("Its ranking history appears here."), this))
{
    setObjectName(QStringLiteral("historyPanel"));
    m_noSelection->setObjectName(QStringLiteral("historyNoSelection"));
    m_pages->addWidget(m_noSelection);

    if (m_store)
        connect(m_store, &ASOStore::dataVersionSettled, this, &HistoryPanel::reload);
    reload();
}

void HistoryPanel::ensureContent()
{
    // Made when the first keyword is shown: a screen often opens without one.
    if (m_content)
        return;
    m_content = new QWidget(this);
    m_title = PlainText::label(m_content);
    m_caption = PlainText::label(m_content);
    m_list = new QListWidget(m_content);
    m_content->setObjectName(QStringLiteral("historyContent"));
    m_title->setObjectName(QStringLiteral("historyTitle"));
    m_title->setFont(Style::font(Style::TextSize::body, QFont::DemiBold));
    m_title->setWordWrap(true);
    m_caption->setObjectName(QStringLiteral("historyCaption"));
    m_caption->setFont(Style::font(Style::TextSize::caption));
    m_caption->setWordWrap(true);
    Style::setTone(m_caption, Style::Tone::secondary);

    m_list->setObjectName(QStringLiteral("historyList"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);

    auto *layout = new QVBoxLayout(m_content);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(m_title);
    layout->addWidget(m_caption);
    layout->addWidget(m_list, 1);
    m_pages->addWidget(m_content);
    ensureChart();
}

void HistoryPanel::setKeyword(const QString &appleAppId, const QString &country,
                              const std::optional<QString> &normalized)
{
    m_appleAppId = appleAppId;
    m_country = country;
    m_keyword = normalized;
    m_shown.reset();
    reload();
}

std::pair<double, double> HistoryPanel::rankRange(qint64 best, qint64 worst)
{
    const double pad = std::max(1.0, double(worst - best) * 0.1);
    return {std::max(double(best) - pad, 0.5), double(worst) + pad};
}

void HistoryPanel::reload()
{
    if (!m_keyword) {
        m_pages->setCurrentWidget(m_noSelection);
        return;
    }
    ensureContent();
    m_pages->setCurrentWidget(m_content);

    const auto keyword = m_store ? m_store->keyword(*m_keyword) : std::nullopt;
    m_title->setText(u'\u201C' + (keyword ? keyword->display : *m_keyword) + u'\u201D');
    m_caption->setText(QStringLiteral("Rank history in ") + Storefront::named(m_country).name
                       + QStringLiteral(". Every observation is kept."));

    QList<RankSnapshot> readings;
    // A removed app has no readings left to show.
    if (const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt)
        readings = m_store->snapshots(*app, m_country, *m_keyword);
    showReadings(readings);
}

void HistoryPanel::ensureChart()
{
    // Built with its chart: a chart view made without one drops the default chart it made.
    m_chartView = new QChartView(new QChart, m_content);
    m_line = new QLineSeries;
    m_points = new QScatterSeries;
    m_dateAxis = new QDateTimeAxis;
    m_rankAxis = new QValueAxis;
    // The chart keeps one line and one set of points, refilled for each keyword.
    auto *chart = m_chartView->chart();
    chart->legend()->hide();
    chart->setBackgroundVisible(false);
    chart->setMargins(QMargins(0, 0, 0, 0));
    const auto accent = Style::color(Style::Tone::accent, palette());
    m_line->setColor(accent);
    m_points->setColor(accent);
    m_points->setBorderColor(accent);
    m_points->setMarkerSize(7);
    chart->addSeries(m_line);
    chart->addSeries(m_points);
    m_dateAxis->setTickCount(3);
    m_rankAxis->setObjectName(QStringLiteral("historyRankAxis"));
    m_rankAxis->setTitleText(QStringLiteral("Rank"));
    // Smaller ranks are better and stand higher.
    m_rankAxis->setReverse(true);
    m_rankAxis->setLabelFormat(QStringLiteral("%d"));
    m_rankAxis->setTickType(QValueAxis::TicksDynamic);
    m_rankAxis->setTickAnchor(0);
    chart->addAxis(m_dateAxis, Qt::AlignBottom);
    chart->addAxis(m_rankAxis, Qt::AlignLeft);
    for (auto *series : std::initializer_list<QXYSeries *>{m_line, m_points}) {
        series->attachAxis(m_dateAxis);
        series->attachAxis(m_rankAxis);
    }
    m_chartView->setObjectName(QStringLiteral("historyChart"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setFixedHeight(180);

    static_cast<QVBoxLayout *>(m_content->layout())->insertWidget(2, m_chartView);
}

void HistoryPanel::showReadings(const QList<RankSnapshot> &readings)
{
    QList<qint64> ids;
    ids.reserve(readings.size());
    for (const auto &reading : readings)
        ids.append(reading.persistentId);
    if (m_shown == ids)
        return;
    m_shown = ids;

    // Only readings in which the app was found at a rank are charted; the list shows them all.
    QList<QPointF> points;
    qint64 best = 0;
    qint64 worst = 0;
    for (const auto &reading : readings) {
        if (reading.stateRaw != u"FOUND" || !reading.rank)
            continue;
        best = points.isEmpty() ? *reading.rank : std::min(best, *reading.rank);
        worst = points.isEmpty() ? *reading.rank : std::max(worst, *reading.rank);
        points.append(QPointF(double(reading.checkedAt.toMSecsSinceEpoch()), double(*reading.rank)));
    }
    m_line->replace(points);
    m_points->replace(points);
    m_chartView->setVisible(!points.isEmpty());
    if (!points.isEmpty()) {
        const auto [low, high] = rankRange(best, worst);
        m_rankAxis->setRange(low, high);
        m_rankAxis->setTickInterval(tickInterval(high - low));
        // Readings are oldest first. One reading, or several at one moment, still needs a span.
        const qint64 first = qint64(points.first().x());
        const qint64 last = qint64(points.last().x());
        const qint64 pad = std::max<qint64>((last - first) / 20, 3600 * 1000);
        m_dateAxis->setRange(QDateTime::fromMSecsSinceEpoch(first - pad), QDateTime::fromMSecsSinceEpoch(last + pad));
        // Within a day or two the days alone would repeat along the axis.
        m_dateAxis->setFormat(last - first < 2 * 86400 * 1000 ? hourMinuteFormat() : QStringLiteral("MMM d"));
    }

    m_list->clear();
    for (auto reading = readings.crbegin(); reading != readings.crend(); ++reading) {
        auto *item = new QListWidgetItem(m_list);
        item->setData(Qt::UserRole, reading->key);
        auto *row = readingRow(*reading);
        item->setSizeHint(row->sizeHint());
        m_list->setItemWidget(item, row);
    }
}
