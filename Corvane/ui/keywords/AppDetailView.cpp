#include "ui/keywords/AppDetailView.h"

#include "clients/Storefront.h"
#include "store/ASOStore.h"
#include "store/Settings.h"
#include "support/WebAddress.h"
#include "ui/cells/AppIconView.h"
#include "ui/cells/ElidingControls.h"
#include "ui/cells/Formatters.h"
#include "ui/cells/Glyphs.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/StorefrontMenu.h"
#include "ui/cells/Style.h"
#include "ui/cells/WrappingRowLayout.h"
#include "ui/cells/WriteGuard.h"
#include "ui/competitors/CompetitorsView.h"
#include "ui/keywords/AddKeywordsDialog.h"
#include "ui/keywords/AppHeaderLayout.h"
#include "ui/keywords/DiscoveryBanner.h"
#include "ui/keywords/HistoryPanel.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/keywords/SidePanelDivider.h"
#include "ui/metadata/MetadataView.h"
#include "workflows/DiscoveryRun.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The keyword pane's least width: the history panel gives way down to it.
constexpr int paneMinimum = 420;
// The narrowest the history panel becomes when the window has no room for its width.
constexpr int panelFloor = 200;

template<typename Label = QLabel>
Label *captionLabel(QWidget *parent, Style::Tone tone = Style::Tone::secondary)
{
    auto *label = new Label(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Style::font(Style::TextSize::caption));
    Style::setTone(label, tone);
    return label;
}

}

AppDetailView::AppDetailView(ASOStore *store, QString appleAppId, QWidget *parent)
    : QWidget(parent), m_store(store), m_appleAppId(std::move(appleAppId))
{
    setObjectName(QStringLiteral("appDetail"));
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    m_country = app ? initialCountry(*app) : Settings::shared().defaultCountry();

    auto *pane = new QWidget(this);
    pane->setMinimumWidth(paneMinimum);
    auto *paneLayout = new QVBoxLayout(pane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    paneLayout->addWidget(buildHeader());

    m_banner = new DiscoveryBanner(m_store, m_appleAppId, m_country, pane);
    paneLayout->addWidget(m_banner);

    m_popularity = PlainText::label(pane);
    m_popularity->setObjectName(QStringLiteral("popularityProblem"));
    m_popularity->setWordWrap(true);
    m_popularity->setFont(Style::font(Style::TextSize::callout));
    m_popularity->setContentsMargins(16, 8, 16, 8);
    Style::setTone(m_popularity, Style::Tone::orange);
    paneLayout->addWidget(m_popularity);

    paneLayout->addWidget(buildPickers());
    auto *line = new QFrame(pane);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    paneLayout->addWidget(line);

    m_content = new QStackedWidget(pane);
    m_table = new KeywordTable(m_store, m_appleAppId, m_country, m_content);
    m_content->addWidget(m_table);
    // The competitors and metadata sections are built afresh on every entry (setSection).
    m_content->addWidget(new QWidget);
    m_content->addWidget(new QWidget);
    paneLayout->addWidget(m_content, 1);

    m_divider = new SidePanelDivider(this);
    m_historyPanel = new HistoryPanel(m_store, this);
    m_historyPanel->setObjectName(QStringLiteral("historyPanel"));
    // The stored width as it is; only a drag brings it into the divider's range.
    m_panelWidth = Settings::shared().historyPanelWidth();
    fitHistoryPanel();
    connect(m_divider, &SidePanelDivider::widthChanged, m_historyPanel, [this](double width) {
        m_panelWidth = width;
        fitHistoryPanel();
    });

    auto *body = new QHBoxLayout;
    body->setSpacing(0);
    body->addWidget(pane, 1);
    body->addWidget(m_divider);
    body->addWidget(m_historyPanel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildToolbar());
    layout->addLayout(body, 1);

    connect(m_table, &KeywordTable::selectionChanged, this, [this](const std::optional<QString> &id) {
        m_historyPanel->setKeyword(m_appleAppId, m_country, id);
        if (id)
            setShowInspector(true);
    });
    if (m_store) {
        connect(m_store, &ASOStore::dataVersionSettled, this, &AppDetailView::reload);
        connect(m_store, &ASOStore::discoveriesChanged, this, &AppDetailView::updateDiscoverButton);
        connect(m_store, &ASOStore::popularityErrorChanged, this, &AppDetailView::updatePopularityLine);
    }
    m_historyPanel->setKeyword(m_appleAppId, m_country, std::nullopt);
    reload();
    updatePopularityLine();
    updatePanels();
}

AppDetailView::~AppDetailView()
{
    if (m_popularityCancel)
        m_popularityCancel->cancel();
}

QString AppDetailView::initialCountry(const TrackedApp &app)
{
    if (!app.trackedCountries.isEmpty())
        return app.trackedCountries.first();
    return Settings::shared().defaultCountry();
}

QString AppDetailView::title() const
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    return (app ? app->name : m_appleAppId) + QStringLiteral(" — ") + Storefront::named(m_country).name;
}

QWidget *AppDetailView::buildToolbar()
{
    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("detailToolbar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setIconSize(QSize(16, 16));

    m_storefronts = new StorefrontMenu(bar);
    m_storefronts->setCountry(m_country);
    bar->addWidget(m_storefronts);
    connect(m_storefronts, &StorefrontMenu::countryChanged, this, &AppDetailView::setCountry);

    auto *add = bar->addAction(Glyphs::icon(u"plus"), QStringLiteral("Add Keywords"), this, &AppDetailView::openAddKeywords);
    add->setObjectName(QStringLiteral("addKeywordsAction"));
    m_discover = bar->addAction(Glyphs::icon(u"sparkles"), QStringLiteral("Discover Keywords"), this,
                                &AppDetailView::startDiscovery);
    m_discover->setObjectName(QStringLiteral("discoverAction"));
    WriteGuard::guard(add, m_store);
    WriteGuard::guard(m_discover, m_store);
    m_history = bar->addAction(Glyphs::icon(u"chart.xyaxis.line"), QStringLiteral("History"), this,
                               [this] { setShowInspector(!m_showInspector); });
    m_history->setObjectName(QStringLiteral("historyAction"));
    // Checked while the panel is open.
    m_history->setCheckable(true);

    auto *spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    m_search = new QLineEdit(bar);
    m_search->setObjectName(QStringLiteral("keywordSearch"));
    m_search->setPlaceholderText(QStringLiteral("Filter keywords"));
    m_search->setClearButtonEnabled(true);
    m_search->setMaximumWidth(240);
    bar->addWidget(m_search);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) { m_table->setSearch(text); });
    return bar;
}

QWidget *AppDetailView::buildHeader()
{
    auto *header = new QWidget(this);
    header->setObjectName(QStringLiteral("detailHeader"));
    m_icon = new AppIconView(std::nullopt, 56, header);

    // Each line of the app's facts is cut where its room ends, with the whole line as its tooltip.
    m_name = new ElidingLabel(header);
    m_name->setObjectName(QStringLiteral("appName"));
    m_name->setFont(Style::font(Style::TextSize::title2, QFont::DemiBold));
    m_badge = new QLabel(header);
    m_badge->setObjectName(QStringLiteral("appBadge"));
    m_badge->setFont(Style::font(Style::TextSize::caption, QFont::Medium));
    const auto capsule = Style::color(Style::Tone::quaternary, palette());
    m_badge->setStyleSheet(QStringLiteral("QLabel { background: rgba(%1,%2,%3,%4); border-radius: 8px; padding: 2px 6px; }")
                               .arg(capsule.red()).arg(capsule.green()).arg(capsule.blue()).arg(capsule.alpha()));

    // Cut like the name: wrapped, a long maker's name broke inside its words in a narrow column.
    m_facts = new ElidingLabel(header);
    m_facts->setObjectName(QStringLiteral("appFacts"));
    Style::setTone(m_facts, Style::Tone::secondary);

    m_id = captionLabel<ElidingLabel>(header);
    m_id->setObjectName(QStringLiteral("appId"));
    auto mono = QFont(QStringLiteral("DejaVu Sans Mono"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPointSizeF(Style::font(Style::TextSize::caption).pointSizeF());
    m_id->setFont(mono);
    m_rating = captionLabel<ElidingLabel>(header);
    m_rating->setObjectName(QStringLiteral("appRating"));
    m_storeLink = captionLabel(header, Style::Tone::primary);
    m_storeLink->setObjectName(QStringLiteral("appStoreLink"));
    m_storeLink->setTextFormat(Qt::RichText);
    connect(m_storeLink, &QLabel::linkActivated, this, [](const QString &link) {
        // The address came from Apple's answer: only a secure public page is opened.
        if (const QUrl url(link); WebAddress::isSafeToOpen(url))
            QDesktopServices::openUrl(url);
    });

    auto *counters = new QWidget(header);
    counters->setObjectName(QStringLiteral("detailCounters"));
    auto *countersLayout = new QHBoxLayout(counters);
    countersLayout->setContentsMargins(0, 0, 0, 0);
    countersLayout->setSpacing(22);
    const QStringList titles{QStringLiteral("Tracked"), QStringLiteral("Ranking"), QStringLiteral("Top 10")};
    for (int i = 0; i < 3; ++i) {
        auto *tile = new QVBoxLayout;
        tile->setSpacing(2);
        m_counters[i] = new QLabel(counters);
        m_counters[i]->setObjectName(QStringLiteral("counter") + QString(titles[i]).remove(u' '));
        auto font = Style::font(Style::TextSize::title2, QFont::DemiBold);
        font.setPointSizeF(font.pointSizeF() * 0.85);
        m_counters[i]->setFont(font);
        m_counters[i]->setAlignment(Qt::AlignRight);
        // As wide for every app up to four digits, so that the counters keep one place.
        m_counters[i]->setMinimumWidth(m_counters[i]->fontMetrics().horizontalAdvance(QStringLiteral("0000")));
        auto *title = captionLabel(counters);
        title->setText(titles[i]);
        title->setAlignment(Qt::AlignRight);
        tile->addWidget(m_counters[i]);
        tile->addWidget(title);
        countersLayout->addLayout(tile);
    }

    // The counters stand beside the facts where these keep room for a name of thirty characters
    // and either badge, the same for every app.
    int badge = 0;
    for (const auto &text : {QStringLiteral("My App"), QStringLiteral("Competitor")}) {
        m_badge->setText(text);
        badge = std::max(badge, m_badge->sizeHint().width());
    }
    const int name = m_name->fontMetrics().horizontalAdvance(QString(30, u'x'));
    m_headerLayout = new AppHeaderLayout(header, {m_icon, m_name, m_badge, m_facts, m_id, m_rating, m_storeLink, counters},
                                         name, badge);
    m_headerLayout->setContentsMargins(16, 16, 16, 16);
    return header;
}

QWidget *AppDetailView::buildPickers()
{
    // The section picker at the left, the status picker at the right end, or under it where the
    // row is too narrow for both.
    auto *row = new QWidget(this);
    row->setObjectName(QStringLiteral("pickerRow"));
    auto *layout = new WrappingRowLayout(row);
    layout->setContentsMargins(16, 0, 16, 10);
    layout->setSpacing(12);

    m_sections = new QButtonGroup(row);
    m_sections->setExclusive(true);
    auto *segmentBar = new QWidget(row);
    segmentBar->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto *segments = new QHBoxLayout(segmentBar);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    const QStringList titles{QStringLiteral("Keywords"), QStringLiteral("Competitors"), QStringLiteral("Metadata")};
    for (int i = 0; i < titles.size(); ++i) {
        auto *segment = new QToolButton(segmentBar);
        segment->setObjectName(QStringLiteral("section") + titles[i]);
        segment->setText(titles[i]);
        segment->setCheckable(true);
        segment->setChecked(i == 0);
        m_sections->addButton(segment, i);
        segments->addWidget(segment);
    }
    connect(m_sections, &QButtonGroup::idClicked, this, [this](int id) { setSection(Section(id)); });
    layout->addWidget(segmentBar);

    m_statusPicker = new QWidget(row);
    m_statusPicker->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto *status = new QHBoxLayout(m_statusPicker);
    status->setContentsMargins(0, 0, 0, 0);
    status->addWidget(new QLabel(QStringLiteral("Status"), m_statusPicker));
    m_status = new QComboBox(m_statusPicker);
    m_status->setObjectName(QStringLiteral("statusFilter"));
    m_status->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const auto filter : KeywordFilters::allCases)
        m_status->addItem(KeywordFilters::pickerTitle(filter, 0), int(filter));
    connect(m_status, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_table->setFilter(KeywordFilter(m_status->itemData(index).toInt())); });
    status->addWidget(m_status);
    layout->addWidget(m_statusPicker);
    return row;
}

void AppDetailView::reload()
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    if (!app)
        return; // the main window replaces a screen whose app is gone
    m_icon->setUrl(app->iconURL);
    m_name->setFullText(app->name);
    m_badge->setText(app->isOwn ? QStringLiteral("My App") : QStringLiteral("Competitor"));
    QStringList facts;
    for (const auto &fact : {app->developerName, app->primaryGenre, app->formattedPrice})
        if (fact)
            facts.append(*fact);
    if (app->version)
        facts.append(u'v' + *app->version);
    m_facts->setFullText(facts.join(QStringLiteral(" · ")));
    m_facts->setVisible(!facts.isEmpty());
    m_id->setFullText(QStringLiteral("ID ") + app->appleAppId);
    const bool rated = app->averageRating && app->ratingCount;
    if (rated)
        m_rating->setFullText(Glyphs::text(u"star.fill") + u' ' + QLocale::system().toString(*app->averageRating, 'f', 2)
                              + QStringLiteral(" · ") + Formatters::compactNumber(*app->ratingCount)
                              + QStringLiteral(" ratings"));
    m_rating->setVisible(rated);
    const bool linked = app->storeURL && WebAddress::isSafeToOpen(*app->storeURL);
    if (linked)
        m_storeLink->setText(QStringLiteral("<a href=\"%1\">App Store</a>").arg(app->storeURL->toString(QUrl::FullyEncoded).toHtmlEscaped()));
    m_storeLink->setVisible(linked);
    m_storefronts->setTracked(app->trackedCountries);

    const auto rows = m_store->rows(*app, m_country);
    const auto counters = KeywordFilters::counters(rows);
    m_counters[0]->setText(QString::number(counters.tracked));
    m_counters[1]->setText(QString::number(counters.ranking));
    m_counters[2]->setText(QString::number(counters.top10));
    for (int i = 0; i < m_status->count(); ++i) {
        const auto filter = KeywordFilter(m_status->itemData(i).toInt());
        m_status->setItemText(i, KeywordFilters::pickerTitle(filter, KeywordFilters::rowCount(rows, filter)));
    }
    updateDiscoverButton();
    // The name may need another width of the pane.
    fitHistoryPanel();
    Q_EMIT titleChanged(title());
}

void AppDetailView::setCountry(const QString &country)
{
    if (country == m_country)
        return;
    m_country = country;
    m_storefronts->setCountry(country);
    m_table->setCountry(country);
    m_banner->setCountry(country);
    if (m_competitors)
        m_competitors->setCountry(country);
    m_historyPanel->setKeyword(m_appleAppId, country, m_table->selection());
    if (m_metadata)
        m_metadata->setCountry(country);
    reload();
    if (m_popularityStarted)
        startPopularity();
}

void AppDetailView::setSection(Section section)
{
    // The competitors and metadata sections start afresh on each entry (their tab, choice, undo
    // step and filter go with them), and one out of sight is dropped so that it does no work.
    if (section != m_section) {
        const auto replace = [this](Section which, QWidget *fresh) {
            auto *old = m_content->widget(int(which));
            m_content->insertWidget(int(which), fresh ? fresh : new QWidget);
            m_content->removeWidget(old);
            old->deleteLater();
        };
        if (section == Section::competitors || m_section == Section::competitors) {
            m_competitors = section == Section::competitors ? new CompetitorsView(m_store, m_appleAppId, m_country) : nullptr;
            replace(Section::competitors, m_competitors);
        }
        if (section == Section::metadata || m_section == Section::metadata) {
            m_metadata = section == Section::metadata ? new MetadataView(m_store, m_appleAppId, m_country) : nullptr;
            replace(Section::metadata, m_metadata);
        }
    }
    m_section = section;
    if (auto *button = m_sections->button(int(section)))
        button->setChecked(true);
    m_content->setCurrentIndex(int(section));
    updatePanels();
}

void AppDetailView::setShowInspector(bool show)
{
    m_showInspector = show;
    m_history->setChecked(show);
    updatePanels();
}

void AppDetailView::updatePanels()
{
    // Outside the keywords section the panel and the status picker hide, but their state stays.
    const bool keywords = m_section == Section::keywords;
    m_statusPicker->setVisible(keywords);
    m_divider->setVisible(keywords && m_showInspector);
    m_historyPanel->setVisible(keywords && m_showInspector);
}

void AppDetailView::fitHistoryPanel()
{
    // The stored width, unless the window is too narrow for it beside the keyword pane; the
    // stored width stays as it is. The pane keeps room for the app's name to read whole in the
    // header where the panel can give it, as for a name in capitals.
    const int available = width() - m_divider->sizeHint().width();
    const int named = m_headerLayout->nameWholeFrom();
    const int room = available - (available - named >= panelFloor ? std::max(paneMinimum, named) : paneMinimum);
    m_historyPanel->setFixedWidth(std::max(panelFloor, std::min(int(m_panelWidth), room)));
    // At once: a resize has laid the pane out beside the panel's former width, and a frame
    // would show the panel running past the window's edge.
    if (layout())
        layout()->activate();
}

void AppDetailView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitHistoryPanel();
}

void AppDetailView::updateDiscoverButton()
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    const auto run = app ? m_store->discoveryRun(*app, m_country) : nullptr;
    const bool running = run && run->isRunning();
    if (run)
        connect(run.get(), &DiscoveryRun::isRunningChanged, this, &AppDetailView::updateDiscoverButton,
                Qt::UniqueConnection);
    m_discover->setText(running ? QStringLiteral("Discovering…") : QStringLiteral("Discover Keywords"));
    WriteGuard::setEnabled(m_discover, !running);
    WriteGuard::setToolTip(m_discover,
                           QStringLiteral("Automatically find and check keywords in ") + Storefront::named(m_country).name);
}

void AppDetailView::updatePopularityLine()
{
    const auto problem = m_store ? m_store->popularityError() : std::nullopt;
    if (problem)
        m_popularity->setText(Glyphs::text(u"exclamationmark.triangle.fill") + QStringLiteral(" Popularity unavailable: ")
                              + *problem);
    m_popularity->setVisible(problem.has_value());
}

void AppDetailView::openAddKeywords()
{
    if (!WriteGuard::allows(m_store))
        return;
    auto *sheet = new AddKeywordsDialog(m_store, m_appleAppId, m_country, this);
    sheet->open();
}

void AppDetailView::startDiscovery()
{
    if (!WriteGuard::allows(m_store))
        return;
    if (const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt)
        m_store->startDiscovery(*app, m_country);
    updateDiscoverButton();
}

void AppDetailView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_popularityStarted)
        return;
    m_popularityStarted = true;
    startPopularity();
}

void AppDetailView::startPopularity()
{
    if (m_popularityCancel)
        m_popularityCancel->cancel();
    m_popularityCancel = CancelToken::create();
    refreshPopularity(m_store, m_appleAppId, m_country, m_popularityCancel);
}

QCoro::Task<> AppDetailView::refreshPopularity(QPointer<ASOStore> store, QString appleAppId, QString country,
                                               CancelTokenPtr cancel)
{
    const auto app = store ? store->app(appleAppId) : std::nullopt;
    if (app)
        co_await store->refreshPopularity(*app, country, false, std::move(cancel));
}
