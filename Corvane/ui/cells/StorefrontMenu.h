#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QToolButton>

class QMenu;

// The pull-down with which the user picks the storefront (country) a screen shows: the
// favourite storefronts first, then all of them, those in which the app is tracked marked.
// The button's label names the selected storefront; the owning screen reacts to the signals.
class StorefrontMenu : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(QString country READ country WRITE setCountry NOTIFY countryChanged)
public:
    struct Row
    {
        QString code;
        QString title;
        bool operator==(const Row &) const = default;
    };
    struct Section
    {
        QString title;
        QList<Row> rows;
        bool operator==(const Section &) const = default;
    };

    // "Favorites" with a row per favourite code, in order, then "All storefronts" with every
    // storefront of the table; a row whose code is in `tracked` ends in "  •".
    static QList<Section> menuSections(const QStringList &favorites, const QStringList &tracked);
    // The flag and the name of the storefront of `code`, also for a code missing from the table.
    static QString label(const QString &code);

    explicit StorefrontMenu(QWidget *parent = nullptr);

    QString country() const { return m_country; }
    void setCountry(const QString &country);

    QStringList tracked() const { return m_tracked; }
    void setTracked(const QStringList &tracked);

Q_SIGNALS:
    void countryChanged(const QString &country);
    // Every pick of a row, also of the storefront already selected (which writes it again).
    void countryPicked(const QString &country);

private:
    void rebuild();

    QMenu *m_menu;
    QString m_country;
    QStringList m_tracked;
};
