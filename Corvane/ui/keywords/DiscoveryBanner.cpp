#include "ui/keywords/DiscoveryBanner.h"

#include "store/ASOStore.h"
#include "ui/cells/Glyphs.h"
#include "ui/cells/PlainText.h"
#include "workflows/DiscoveryRun.h"

#include <QBasicTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int spinnerEdge = 16;

// A small turning arc; it turns only while shown.
class Spinner : public QWidget
{
public:
    explicit Spinner(QWidget *parent) : QWidget(parent) { setFixedSize(spinnerEdge, spinnerEdge); }

protected:
    void showEvent(QShowEvent *) override { m_timer.start(80, this); }
    void hideEvent(QHideEvent *) override { m_timer.stop(); }
    void timerEvent(QTimerEvent *event) override
    {
        if (event->timerId() != m_timer.timerId())
            return;
        m_angle = (m_angle + 30) % 360;
        update();
    }
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(Style::color(Style::Tone::secondary, palette()), 2);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        painter.drawArc(QRectF(rect()).adjusted(2, 2, -2, -2), -m_angle * 16, 270 * 16);
    }

private:
    QBasicTimer m_timer;
    int m_angle = 0;
};

}

DiscoveryBanner::Content DiscoveryBanner::describe(const DiscoveryRun &run)
{
    Content content;
    content.running = run.isRunning();
    if (content.running) {
        content.status = run.phase() + QStringLiteral(" · round ") + QString::number(run.round()) + QStringLiteral(" of ")
            + QString::number(run.maxDepth() + 1);
        content.showProgress = run.queued() >= 1;
        content.progressTotal = std::max<qint64>(run.queued(), 1);
        content.progressValue = std::clamp<qint64>(run.searched(), 0, content.progressTotal);
    } else if (run.isCancelled()) {
        content.symbol = QStringLiteral("stop.circle");
        content.symbolTone = Style::Tone::secondary;
        content.status = QStringLiteral("Discovery stopped");
    } else {
        content.symbol = QStringLiteral("checkmark.circle.fill");
        content.symbolTone = Style::Tone::green;
        content.status = QStringLiteral("Discovery finished");
    }
    content.counters = {
        {QStringLiteral("Candidates"), QString::number(run.candidates()), Style::Tone::primary},
        {QStringLiteral("Searched"), QString::number(run.searched()) + u'/' + QString::number(run.queued()),
         Style::Tone::primary},
        {QStringLiteral("Found"), QString::number(run.found()), Style::Tone::green},
        {QStringLiteral("Not in sample"), QString::number(run.notFound()), Style::Tone::primary},
        {QStringLiteral("Failed"), QString::number(run.failed()),
         run.failed() >= 1 ? Style::Tone::red : Style::Tone::secondary},
        {QStringLiteral("Related apps"), QString::number(run.relatedInspected()), Style::Tone::primary},
    };
    return content;
}

QString DiscoveryBanner::note()
{
    return QStringLiteral("Reports keywords discovered from public sources and sampled Apple search results (up to 200 "
                          "per search). It cannot list every keyword an app is indexed for.");
}

DiscoveryBanner::DiscoveryBanner(ASOStore *store, QString appleAppId, QString country, QWidget *parent)
    : QWidget(parent), m_store(store), m_appleAppId(std::move(appleAppId)), m_country(std::move(country))
{
    setObjectName(QStringLiteral("discoveryBanner"));

    m_spinner = new Spinner(this);
    m_spinner->setObjectName(QStringLiteral("discoverySpinner"));
    m_symbol = new QLabel(this);
    m_symbol->setObjectName(QStringLiteral("discoverySymbol"));
    m_status = PlainText::label(this);
    m_status->setObjectName(QStringLiteral("discoveryStatus"));
    m_status->setFont(Style::font(Style::TextSize::callout, QFont::Medium));
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    m_stop->setObjectName(QStringLiteral("discoveryStop"));
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (m_run)
            m_run->cancel();
    });

    auto *statusLine = new QHBoxLayout;
    statusLine->setSpacing(10);
    statusLine->addWidget(m_spinner);
    statusLine->addWidget(m_symbol);
    statusLine->addWidget(m_status);
    statusLine->addStretch(1);
    statusLine->addWidget(m_stop);

    auto *counters = new QHBoxLayout;
    counters->setSpacing(18);
    static const QStringList names{"Candidates", "Searched", "Found", "NotInSample", "Failed", "RelatedApps"};
    for (const auto &name : names) {
        auto *cell = new QVBoxLayout;
        cell->setSpacing(1);
        auto *value = new QLabel(this);
        value->setObjectName(QStringLiteral("discovery") + name + QStringLiteral("Value"));
        value->setFont(Style::font(Style::TextSize::body, QFont::DemiBold));
        auto *title = new QLabel(this);
        title->setFont(Style::font(Style::TextSize::caption2));
        Style::setTone(title, Style::Tone::secondary);
        cell->addWidget(value);
        cell->addWidget(title);
        counters->addLayout(cell);
        m_values.append(value);
        m_titles.append(title);
    }
    counters->addStretch(1);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("discoveryProgress"));
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(8);

    auto *note = new QLabel(DiscoveryBanner::note(), this);
    note->setObjectName(QStringLiteral("discoveryNote"));
    note->setWordWrap(true);
    note->setFont(Style::font(Style::TextSize::caption));
    Style::setTone(note, Style::Tone::secondary);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    layout->addLayout(statusLine);
    layout->addLayout(counters);
    layout->addWidget(m_progress);
    layout->addWidget(note);

    if (m_store)
        connect(m_store, &ASOStore::discoveriesChanged, this, &DiscoveryBanner::findRun);
    findRun();
}

void DiscoveryBanner::setCountry(const QString &country)
{
    if (country == m_country)
        return;
    m_country = country;
    findRun();
}

void DiscoveryBanner::findRun()
{
    // The app is looked up by its ID each time: a removed app has no run to show.
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    auto run = app ? m_store->discoveryRun(*app, m_country) : nullptr;
    if (run != m_run) {
        if (m_run)
            disconnect(m_run.get(), nullptr, this, nullptr);
        m_run = std::move(run);
        if (m_run) {
            for (const auto signal : {&DiscoveryRun::roundChanged, &DiscoveryRun::candidatesChanged,
                                      &DiscoveryRun::queuedChanged, &DiscoveryRun::searchedChanged,
                                      &DiscoveryRun::foundChanged, &DiscoveryRun::notFoundChanged,
                                      &DiscoveryRun::failedChanged, &DiscoveryRun::relatedInspectedChanged})
                connect(m_run.get(), signal, this, &DiscoveryBanner::refresh);
            connect(m_run.get(), &DiscoveryRun::phaseChanged, this, &DiscoveryBanner::refresh);
            connect(m_run.get(), &DiscoveryRun::isRunningChanged, this, &DiscoveryBanner::refresh);
            connect(m_run.get(), &DiscoveryRun::isCancelledChanged, this, &DiscoveryBanner::refresh);
        }
    }
    refresh();
}

void DiscoveryBanner::refresh()
{
    if (!m_run) {
        hide();
        return;
    }
    // Shown again only inside a screen: a banner without a parent would open as a window.
    if (isHidden() && parentWidget())
        show();
    const auto content = describe(*m_run);
    m_spinner->setVisible(content.running);
    m_symbol->setVisible(!content.running);
    if (!content.running) {
        const auto color = Style::color(content.symbolTone, palette());
        m_symbol->setPixmap(Glyphs::icon(content.symbol, color).pixmap(16, 16));
    }
    m_status->setText(content.status);
    m_stop->setVisible(content.running);
    for (qsizetype i = 0; i < content.counters.size() && i < m_values.size(); ++i) {
        const auto &counter = content.counters.at(i);
        m_values[i]->setText(counter.value);
        Style::setTone(m_values[i], counter.tone);
        m_titles[i]->setText(counter.title);
    }
    m_progress->setVisible(content.showProgress);
    m_progress->setRange(0, int(std::min<qint64>(content.progressTotal, std::numeric_limits<int>::max())));
    m_progress->setValue(int(std::min<qint64>(content.progressValue, m_progress->maximum())));
}

void DiscoveryBanner::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    auto fill = Style::color(Style::Tone::quaternary, palette());
    fill.setAlphaF(fill.alphaF() * 0.5);
    painter.fillRect(rect(), fill);
    QWidget::paintEvent(event);
}
