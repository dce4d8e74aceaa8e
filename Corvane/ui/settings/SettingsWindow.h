#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QCheckBox;
class QGridLayout;
class QScrollArea;
class RankTracker;
class TrackingSettings;

// The settings window: tabs "Search", "Discovery", "Storefronts" and "Tracking" over the
// stored settings. Every change is stored at once and applies where the setting is next read.
// Not modal; the application keeps one.
class SettingsWindow : public QDialog
{
    Q_OBJECT
public:
    explicit SettingsWindow(RankTracker *tracker, QWidget *parent = nullptr);
    ~SettingsWindow() override;

    // The favourites as stored: codes joined with ",". Whether `code` is one of the pieces.
    static bool isFavorite(const QString &stored, const QString &code);
    // The stored favourites after the user switched `code` on or off: empty pieces and every
    // copy of the code gone, the code appended when on; codes the window does not show are kept.
    static QString favoritesToggled(const QString &stored, const QString &code, bool on);

protected:
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *searchTab();
    QWidget *discoveryTab();
    QWidget *storefrontsTab();
    void loadFavorites();
    // As many columns of at least 170 pixels as the width holds.
    void arrangeFavorites();

    QList<QCheckBox *> m_favorites;
    QScrollArea *m_favoritesArea = nullptr;
    QGridLayout *m_favoritesGrid = nullptr;
    int m_favoriteColumns = 0;
    TrackingSettings *m_tracking;
};
