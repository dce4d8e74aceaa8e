#include "ui/cells/StorefrontMenu.h"

#include "clients/Storefront.h"
#include "store/Settings.h"

#include "ui/cells/Style.h"

#include <QMenu>

namespace {

QString rowTitle(const Storefront &storefront, const QStringList &tracked)
{
    auto title = storefront.flag() + QLatin1Char(' ') + storefront.name;
    if (tracked.contains(storefront.code))
        title += QStringLiteral("  •");
    return title;
}

}

QList<StorefrontMenu::Section> StorefrontMenu::menuSections(const QStringList &favorites, const QStringList &tracked)
{
    Section favorite{QStringLiteral("Favorites"), {}};
    for (const auto &code : favorites)
        favorite.rows.append({code, rowTitle(Storefront::named(code), tracked)});
    Section all{QStringLiteral("All storefronts"), {}};
    for (const auto &storefront : Storefront::all())
        all.rows.append({storefront.code, rowTitle(storefront, tracked)});
    return {favorite, all};
}

QString StorefrontMenu::label(const QString &code)
{
    const auto storefront = Storefront::named(code);
    return storefront.flag() + QLatin1Char(' ') + storefront.name;
}

StorefrontMenu::StorefrontMenu(QWidget *parent)
    : QToolButton(parent)
    , m_menu(new QMenu(this))
{
    setObjectName(QStringLiteral("storefrontMenu"));
    m_menu->setObjectName(QStringLiteral("storefrontMenuList"));
    setMenu(m_menu);
    Style::setMenuButton(this);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setToolTip(QStringLiteral("Rankings depend on the country"));
    // Favourites may have changed in the settings since the last time.
    connect(m_menu, &QMenu::aboutToShow, this, &StorefrontMenu::rebuild);
    setText(label(m_country));
}

void StorefrontMenu::setCountry(const QString &country)
{
    if (country == m_country)
        return;
    m_country = country;
    setText(label(country));
    Q_EMIT countryChanged(country);
}

void StorefrontMenu::setTracked(const QStringList &tracked)
{
    m_tracked = tracked;
}

void StorefrontMenu::rebuild()
{
    m_menu->clear();
    const auto sections = menuSections(Settings::shared().favoriteCountries(), m_tracked);
    for (const auto &section : sections) {
        // A disabled row, since the style draws no section titles.
        auto *header = m_menu->addAction(section.title);
        header->setEnabled(false);
        auto font = header->font();
        font.setBold(true);
        header->setFont(font);
        const bool favorites = &section == &sections.first();
        for (const auto &row : section.rows) {
            auto *action = m_menu->addAction(row.title);
            action->setObjectName((favorites ? QStringLiteral("favorite_") : QStringLiteral("storefront_")) + row.code);
            connect(action, &QAction::triggered, this, [this, code = row.code] {
                setCountry(code);
                Q_EMIT countryPicked(code);
            });
        }
    }
}
