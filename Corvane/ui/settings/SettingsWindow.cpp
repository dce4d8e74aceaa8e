#include "ui/settings/SettingsWindow.h"

#include "clients/Storefront.h"
#include "store/Settings.h"
#include "ui/cells/Glyphs.h"
#include "ui/cells/Style.h"
#include "ui/settings/SettingControls.h"
#include "ui/settings/TrackingSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHideEvent>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int minimumColumnWidth = 170;

QString storedFavorites()
{
    return Settings::shared().string(SettingsKey::favoriteCountries).value_or(QString());
}

QString storefrontTitle(const Storefront &storefront)
{
    return storefront.flag() + u' ' + storefront.name;
}

}

SettingsWindow::SettingsWindow(RankTracker *tracker, QWidget *parent)
    : QDialog(parent), m_tracking(new TrackingSettings(tracker))
{
    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(QStringLiteral("Vantu Settings"));
    setModal(false);

    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("settingsTabs"));
    tabs->addTab(searchTab(), Glyphs::icon(u"magnifyingglass"), QStringLiteral("Search"));
    tabs->addTab(discoveryTab(), Glyphs::icon(u"sparkles"), QStringLiteral("Discovery"));
    tabs->addTab(storefrontsTab(), Glyphs::icon(u"globe"), QStringLiteral("Storefronts"));
    tabs->addTab(m_tracking, Glyphs::icon(u"bell.badge"), QStringLiteral("Tracking"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(tabs);
    // 560 wide; the height is what the tallest tab needs.
    tabs->setFixedWidth(560 - 2 * 20);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

SettingsWindow::~SettingsWindow()
{
    // A field reports its edit as it loses the focus, which it does as the window goes: let
    // that happen while the window is whole.
    if (auto *field = focusWidget())
        field->clearFocus();
}

QWidget *SettingsWindow::searchTab()
{
    auto *tab = new QWidget;
    auto *form = new QFormLayout(tab);
    auto *country = new QComboBox(tab);
    for (const auto &storefront : Storefront::all())
        country->addItem(storefrontTitle(storefront), storefront.code);
    SettingControls::bindPicker(country, SettingsKey::defaultCountry, [] { return QVariant(Settings::shared().defaultCountry()); });
    form->addRow(QStringLiteral("Default storefront"), country);
    form->addRow(SettingControls::stepper(SettingsKey::searchLimit, 10, 200, 10, QStringLiteral("Results per search: "), {},
                                          QStringLiteral("Apple returns at most 200. Apps beyond this are “not in sample”."), tab));
    form->addRow(SettingControls::stepper(SettingsKey::requestsPerMinute, 1, 60, 1, QStringLiteral("Requests per minute: "), {},
                                          QStringLiteral("Apple documents roughly 20/min for its public search API. "
                                                         "Requests come from your own computer."),
                                          tab));
    form->addRow(SettingControls::stepper(SettingsKey::cacheMinutes, 1, 1440, 15, QStringLiteral("Cache: "),
                                          QStringLiteral(" min"), {}, tab));
    return tab;
}

QWidget *SettingsWindow::discoveryTab()
{
    auto *tab = new QWidget;
    auto *form = new QFormLayout(tab);
    form->addRow(SettingControls::stepper(SettingsKey::discoveryBudget, 5, 500, 25, QStringLiteral("Searches per discovery run: "), {},
                                          QStringLiteral("At 20 requests/min, 300 searches take about 15 minutes. "
                                                         "Later runs continue with keywords not searched yet."),
                                          tab));
    form->addRow(SettingControls::stepper(SettingsKey::discoveryDepth, 0, 4, 1, QStringLiteral("Expansion rounds: "), {}, {}, tab));
    form->addRow(SettingControls::stepper(SettingsKey::relatedApps, 0, 25, 1, QStringLiteral("Related apps per round: "), {}, {}, tab));
    return tab;
}

QWidget *SettingsWindow::storefrontsTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);
    auto *note = new QLabel(QStringLiteral("Favorite storefronts are shown first in the storefront menu and used to look up apps."), tab);
    note->setFont(Style::font(Style::TextSize::callout));
    Style::setTone(note, Style::Tone::secondary);
    note->setWordWrap(true);
    layout->addWidget(note);

    m_favoritesArea = new QScrollArea(tab);
    m_favoritesArea->setObjectName(QStringLiteral("favoriteStorefronts"));
    m_favoritesArea->setFixedHeight(260);
    m_favoritesArea->setWidgetResizable(true);
    m_favoritesArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_favoritesArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *grid = new QWidget;
    m_favoritesGrid = new QGridLayout(grid);
    m_favoritesGrid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    for (const auto &storefront : Storefront::all()) {
        auto *box = new QCheckBox(storefrontTitle(storefront), grid);
        box->setObjectName(QStringLiteral("favorite.") + storefront.code);
        // A long name is cut rather than widening its column.
        box->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        box->setMinimumWidth(0);
        connect(box, &QCheckBox::toggled, this, [code = storefront.code](bool on) {
            Settings::shared().setValue(SettingsKey::favoriteCountries, favoritesToggled(storedFavorites(), code, on));
        });
        m_favorites.append(box);
    }
    m_favoritesArea->setWidget(grid);
    m_favoritesArea->viewport()->installEventFilter(this);
    layout->addWidget(m_favoritesArea);
    layout->addStretch();

    loadFavorites();
    connect(&Settings::shared(), &Settings::changed, this, [this](const QString &key) {
        if (key == SettingsKey::favoriteCountries)
            loadFavorites();
    });
    arrangeFavorites();
    return tab;
}

bool SettingsWindow::isFavorite(const QString &stored, const QString &code)
{
    return stored.split(u',', Qt::SkipEmptyParts).contains(code);
}

QString SettingsWindow::favoritesToggled(const QString &stored, const QString &code, bool on)
{
    auto codes = stored.split(u',', Qt::SkipEmptyParts);
    codes.removeAll(code);
    if (on)
        codes.append(code);
    return codes.join(u',');
}

void SettingsWindow::loadFavorites()
{
    const auto stored = storedFavorites();
    for (int i = 0; i < m_favorites.size(); ++i) {
        const QSignalBlocker blocker(m_favorites[i]);
        m_favorites[i]->setChecked(isFavorite(stored, Storefront::all().at(i).code));
    }
}

void SettingsWindow::arrangeFavorites()
{
    const int spacing = std::max(0, m_favoritesGrid->horizontalSpacing());
    const auto margins = m_favoritesGrid->contentsMargins();
    const int width = m_favoritesArea->viewport()->width() - margins.left() - margins.right();
    const int columns = std::max(1, (width + spacing) / (minimumColumnWidth + spacing));
    if (columns == m_favoriteColumns)
        return;
    m_favoriteColumns = columns;
    for (auto *box : std::as_const(m_favorites))
        m_favoritesGrid->removeWidget(box);
    for (int i = 0; i < m_favorites.size(); ++i)
        m_favoritesGrid->addWidget(m_favorites[i], i / columns, i % columns);
    for (int column = 0; column < m_favoritesGrid->columnCount(); ++column)
        m_favoritesGrid->setColumnStretch(column, column < columns ? 1 : 0);
}

bool SettingsWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (m_favoritesArea && watched == m_favoritesArea->viewport() && event->type() == QEvent::Resize)
        arrangeFavorites();
    return QDialog::eventFilter(watched, event);
}

void SettingsWindow::hideEvent(QHideEvent *event)
{
    // Closed, not minimised: what the tabs said about failed changes is over.
    if (!event->spontaneous())
        m_tracking->discardMessages();
    QDialog::hideEvent(event);
}
