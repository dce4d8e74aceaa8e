#include "ui/competitors/SuggestedCompetitorsTable.h"

#include "clients/Storefront.h"
#include "store/ASOStore.h"
#include "support/UserFacingError.h"
#include "ui/cells/AppIconView.h"
#include "ui/cells/CellDelegate.h"
#include "ui/cells/CellPainter.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/IconLoader.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/SortKeyProxy.h"
#include "ui/cells/Style.h"
#include "ui/cells/WriteGuard.h"
#include "ui/competitors/SuggestedCompetitorsModel.h"
#include "ui/competitors/TableColumns.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <array>
#include <functional>

namespace {

using Model = SuggestedCompetitorsModel;

constexpr int iconSize = 28;
constexpr std::array<ColumnWidth, Model::columns> widths{ColumnWidth{200, 280}, {90, 110}, {70, 80}, {60, 70}, {140, 150}};

// Paints the app cell (icon, name, maker and genre) and the row's track button, and presses the
// button. The button is drawn from the model's state, so it outlives every reset of the rows.
class SuggestionDelegate : public CellDelegate
{
public:
    SuggestionDelegate(std::function<void(const QString &)> onTrack, QObject *parent)
        : CellDelegate(parent), m_onTrack(std::move(onTrack))
    {
    }

    static QFont buttonFont() { return Style::font(Style::TextSize::caption); }

    static QRect buttonRect(const QStyleOptionViewItem &option, const QString &text)
    {
        const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
        QStyleOptionButton button;
        button.fontMetrics = QFontMetrics(buttonFont());
        const QSize size = style->sizeFromContents(QStyle::CT_PushButton, &button,
                                                   button.fontMetrics.size(Qt::TextShowMnemonic, text), option.widget);
        QRect rect(QPoint(), size.boundedTo(option.rect.size() - QSize(8, 4)));
        rect.moveCenter(option.rect.center());
        return rect;
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.column() == Model::app)
            paintApp(painter, option, index);
        else if (index.column() == Model::track)
            paintButton(painter, option, index);
        else
            CellDelegate::paint(painter, option, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QSize size = CellDelegate::sizeHint(option, index);
        return {size.width(), std::max(size.height(), iconSize + 8)};
    }

    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override
    {
        if (index.column() != Model::track)
            return CellDelegate::editorEvent(event, model, option, index);
        if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease
            && event->type() != QEvent::MouseButtonDblClick)
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton
            || !buttonRect(option, index.data().toString()).contains(mouse->position().toPoint()))
            return false;
        if (event->type() == QEvent::MouseButtonRelease && index.data(Model::TrackableRole).toBool())
            m_onTrack(index.data(Model::IdRole).toString());
        return true;
    }

private:
    static void paintApp(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index)
    {
        QStyleOptionViewItem opt = option;
        opt.text.clear();
        const QPalette palette = CellPainter::drawRowBackground(painter, opt);
        const QRect area = opt.rect.adjusted(4, 0, -4, 0);
        const QUrl url = index.data(Model::IconRole).toUrl();
        const QImage image = url.isValid() ? IconLoader::shared().image(url) : QImage();
        const QRectF square(area.left(), area.top() + (area.height() - iconSize) / 2.0, iconSize, iconSize);
        AppIconView::paintIcon(painter, square, image, palette);

        const QFont nameFont = Style::font(Style::TextSize::body, QFont::Medium);
        const QFont captionFont = Style::font(Style::TextSize::caption2);
        const int top = QFontMetrics(nameFont).height();
        const int bottom = QFontMetrics(captionFont).height();
        const QRect text = area.adjusted(iconSize + 8, 0, 0, 0);
        const int y = text.top() + (text.height() - top - 1 - bottom) / 2;
        painter->save();
        painter->setFont(nameFont);
        painter->setPen(Style::color(Style::Tone::primary, palette));
        painter->drawText(QRect(text.left(), y, text.width(), top), Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(nameFont).elidedText(index.data().toString(), Qt::ElideRight, text.width()));
        painter->setFont(captionFont);
        painter->setPen(Style::color(Style::Tone::secondary, palette));
        painter->drawText(QRect(text.left(), y + top + 1, text.width(), bottom), Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(captionFont)
                              .elidedText(index.data(Model::CaptionRole).toString(), Qt::ElideRight, text.width()));
        painter->restore();
    }

    static void paintButton(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index)
    {
        QStyleOptionViewItem opt = option;
        opt.text.clear();
        CellPainter::drawRowBackground(painter, opt);
        const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
        QStyleOptionButton button;
        button.text = index.data().toString();
        button.rect = buttonRect(option, button.text);
        button.palette = option.palette;
        button.fontMetrics = QFontMetrics(buttonFont());
        button.state = QStyle::State_Raised;
        // The style draws a disabled button from the palette's disabled colours, which a
        // disabled widget's palette has current; the cell's palette is the active one.
        if (index.data(Model::TrackableRole).toBool())
            button.state |= QStyle::State_Enabled;
        else
            button.palette.setCurrentColorGroup(QPalette::Disabled);
        painter->save();
        painter->setFont(buttonFont());
        style->drawControl(QStyle::CE_PushButton, &button, painter, option.widget);
        painter->restore();
    }

    std::function<void(const QString &)> m_onTrack;
};

}

SuggestedCompetitorsTable::SuggestedCompetitorsTable(ASOStore *store, QString appleAppId, QString country,
                                                     QWidget *parent)
    : QWidget(parent), m_store(store), m_appleAppId(std::move(appleAppId)), m_country(std::move(country)),
      m_model(new SuggestedCompetitorsModel(this)), m_proxy(new SortKeyProxy(Model::SortRole, this)),
      m_table(new QTableView(this)), m_footer(new QLabel(this))
{
    setObjectName(QStringLiteral("suggestedCompetitors"));
    m_proxy->setSourceModel(m_model);
    m_table->setObjectName(QStringLiteral("suggestedTable"));
    m_table->setModel(m_proxy);
    m_table->setItemDelegate(new SuggestionDelegate([this](const QString &id) { track(id); }, m_table));
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setFocusPolicy(Qt::NoFocus);
    m_table->setWordWrap(false);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(iconSize + 10);
    auto *header = m_table->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    TableColumns::apply(m_table, widths);
    // The shared keyword count, most first, until a header is clicked; the button column offers no sort.
    header->setSortIndicator(Model::shared, Qt::DescendingOrder);
    m_proxy->sort(Model::shared, Qt::DescendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, [this, header](int column, Qt::SortOrder order) {
        if (column == Model::track) {
            const QSignalBlocker blocker(header);
            header->setSortIndicator(m_proxy->sortColumn(), m_proxy->sortOrder());
            return;
        }
        m_proxy->sort(column, order);
    });
    // The row's keywords in their shown form, read in one go when its tooltip shows.
    m_model->setSharedHelp([store = m_store](const KeywordGap::Suggestion &row) {
        const auto displays = store ? store->keywordDisplays(row.keywords) : QHash<QString, QString>();
        return SuggestedCompetitorsModel::sharedHelp(
            row, [&displays](const QString &normalized) { return displays.value(normalized, normalized); });
    });
    connect(&IconLoader::shared(), &IconLoader::finished, m_table->viewport(), qOverload<>(&QWidget::update));
    // The buttons are drawn in the cells, out of WriteGuard's reach: they follow the store themselves.
    const auto followWrites = [this] { m_model->setRefusal(WriteGuard::reason(m_store)); };
    if (m_store) {
        connect(m_store, &ASOStore::writesHeldChanged, this, followWrites);
        // Damage found during the check keeps writes held, but changes the reason.
        connect(m_store, &ASOStore::databaseDamaged, this, followWrites);
    }
    followWrites();

    m_empty = new EmptyStateView(QStringLiteral("person.2"), QStringLiteral("No suggestions"),
                                 QStringLiteral("No untracked app appears in the top 20 of several of this app’s "
                                                "keywords. Track more keywords to find competitors."));
    m_empty->setObjectName(QStringLiteral("suggestionsEmptyState"));
    m_empty->overlayOn(m_table->viewport());

    m_footer->setObjectName(QStringLiteral("suggestedFooter"));
    m_footer->setWordWrap(true);
    m_footer->setFont(Style::font(Style::TextSize::caption));
    m_footer->setContentsMargins(16, 8, 16, 8);
    m_footer->setAutoFillBackground(true);
    m_footer->setBackgroundRole(QPalette::Window);
    Style::setTone(m_footer, Style::Tone::secondary);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_footer);
    reload();
}

SuggestedCompetitorsTable::~SuggestedCompetitorsTable()
{
    if (m_alert)
        m_alert->disconnect(this);
}

QString SuggestedCompetitorsTable::footerText() const
{
    return m_footer->text();
}

void SuggestedCompetitorsTable::reload()
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    QList<KeywordGap::Suggestion> rows;
    if (app)
        rows = m_store->suggestedCompetitors(*app, m_country, rowLimit);
    m_model->setRows(std::move(rows));
    m_empty->setVisible(m_model->rowCount() == 0);
    updateFooter();
}

void SuggestedCompetitorsTable::updateFooter()
{
    m_footer->setText(QStringLiteral("Apps that most often appear in the top 20 Apple results of this app’s tracked "
                                     "keywords in ")
                      + Storefront::named(m_country).name + QStringLiteral(". Already tracked apps are hidden."));
}

void SuggestedCompetitorsTable::track(const QString &appleAppId)
{
    if (m_tracking.contains(appleAppId) || !WriteGuard::allows(m_store))
        return;
    m_tracking.insert(appleAppId);
    m_model->setTracking(m_tracking);
    runTrack(this, m_store, appleAppId, m_appleAppId, m_country);
}

QCoro::Task<> SuggestedCompetitorsTable::runTrack(QPointer<SuggestedCompetitorsTable> view, QPointer<ASOStore> store,
                                                  QString appleAppId, QString viewedAppId, QString country)
{
    std::optional<QString> added;
    std::optional<QString> failure;
    if (store) {
        try {
            added = (co_await store->addCompetitor(appleAppId, country)).appleAppId;
        } catch (const UserFacingError &error) {
            failure = error.description();
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        }
    }
    if (!view)
        co_return;
    // The app whose suggestions these are may have been removed meanwhile: nothing to show then.
    const bool viewedAppStays = store && store->app(viewedAppId);
    if (added && viewedAppStays && store->app(*added))
        Q_EMIT view->tracked(*added);
    if (!view)
        co_return;
    if (failure && viewedAppStays)
        view->showFailure(*failure);
    view->finishTracking(appleAppId);
}

void SuggestedCompetitorsTable::finishTracking(const QString &appleAppId)
{
    m_tracking.remove(appleAppId);
    m_model->setTracking(m_tracking);
}

void SuggestedCompetitorsTable::showFailure(const QString &message)
{
    m_error = message;
    if (!m_alert) {
        m_alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Could not track app"),
                                  QStringLiteral("Could not track app"), QMessageBox::NoButton, this);
        m_alert->setObjectName(QStringLiteral("trackFailedAlert"));
        PlainText::fitMessageBox(m_alert);
        m_alert->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
        // Dismissed by any means, the alert forgets the error.
        connect(m_alert, &QMessageBox::finished, this, [this] { m_error.reset(); });
    }
    m_alert->setInformativeText(message);
    m_alert->open();
}
