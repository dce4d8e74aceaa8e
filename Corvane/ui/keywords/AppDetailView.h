#pragma once

#include "store/KeywordRow.h"
#include "support/CancelToken.h"
#include "ui/keywords/KeywordFilter.h"

#include <QCoroTask>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class ASOStore;
class AppHeaderLayout;
class AppIconView;
class CompetitorsView;
class DiscoveryBanner;
class ElidingLabel;
class HistoryPanel;
class KeywordTable;
class MetadataView;
class QAbstractButton;
class QAction;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QStackedWidget;
class SidePanelDivider;
class StorefrontMenu;
struct TrackedApp;

// One tracked app: its header with store facts and ranking counters, the discovery banner, the
// popularity problem, and three sections (keywords, competitors, metadata); in the keywords
// section the keyword table with a status filter and a search, and the rank-history panel
// beside it. The screen holds the app's ID and re-reads everything from the store when its data
// version rises; a new app gets a new screen.
class AppDetailView : public QWidget
{
    Q_OBJECT
public:
    enum class Section { keywords, competitors, metadata };

    AppDetailView(ASOStore *store, QString appleAppId, QWidget *parent = nullptr);
    ~AppDetailView() override;

    // The storefront a new screen opens on: the app's first tracked one, else the default
    // storefront setting, else "us".
    static QString initialCountry(const TrackedApp &app);

    QString appleAppId() const { return m_appleAppId; }
    QString country() const { return m_country; }
    Section section() const { return m_section; }
    bool showsInspector() const { return m_showInspector; }
    // "<app> — <storefront>".
    QString title() const;

public Q_SLOTS:
    void setCountry(const QString &country);
    void setSection(Section section);
    void setShowInspector(bool show);
    void openAddKeywords();
    void startDiscovery();

Q_SIGNALS:
    void titleChanged(const QString &title);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *buildHeader();
    QWidget *buildToolbar();
    QWidget *buildPickers();
    // Reads the app and its rows again.
    void reload();
    void updateDiscoverButton();
    void updatePopularityLine();
    void updatePanels();
    // Gives the history panel its width, or what the keyword pane leaves of it.
    void fitHistoryPanel();
    // Popularity of the shown storefront; the refresh of the one shown before is cancelled.
    void startPopularity();
    static QCoro::Task<> refreshPopularity(QPointer<ASOStore> store, QString appleAppId, QString country,
                                           CancelTokenPtr cancel);

    QPointer<ASOStore> m_store;
    QString m_appleAppId;
    QString m_country;
    Section m_section = Section::keywords;
    bool m_showInspector = false;
    bool m_popularityStarted = false;
    CancelTokenPtr m_popularityCancel;
    double m_panelWidth = 0;

    StorefrontMenu *m_storefronts = nullptr;
    QAction *m_discover = nullptr;
    QAction *m_history = nullptr;
    QLineEdit *m_search = nullptr;
    AppHeaderLayout *m_headerLayout = nullptr;
    AppIconView *m_icon = nullptr;
    ElidingLabel *m_name = nullptr;
    QLabel *m_badge = nullptr;
    ElidingLabel *m_facts = nullptr;
    ElidingLabel *m_id = nullptr;
    ElidingLabel *m_rating = nullptr;
    QLabel *m_storeLink = nullptr;
    QLabel *m_counters[3] = {};
    DiscoveryBanner *m_banner = nullptr;
    QLabel *m_popularity = nullptr;
    QButtonGroup *m_sections = nullptr;
    QWidget *m_statusPicker = nullptr;
    QComboBox *m_status = nullptr;
    QStackedWidget *m_content = nullptr;
    KeywordTable *m_table = nullptr;
    QPointer<CompetitorsView> m_competitors;
    SidePanelDivider *m_divider = nullptr;
    HistoryPanel *m_historyPanel = nullptr;
    QPointer<MetadataView> m_metadata;
};
