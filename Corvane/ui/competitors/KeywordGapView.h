#pragma once

#include "support/CancelToken.h"

#include <QCoroTask>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

class ASOStore;
class CompetitorKeywordTable;
class ElidingButton;
class EmptyStateView;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QSplitter;

// The "Keyword Gap" tab for an app and one competitor in one storefront: above, the app's
// keywords where the competitor clearly outranks it; below, the competitor's keywords that
// the app does not track, which the user adds to the app. When shown, and for every new
// competitor or storefront, it refreshes the competitor's popularity.
class KeywordGapView : public QWidget
{
    Q_OBJECT
public:
    KeywordGapView(ASOStore *store, QString appleAppId, QString competitorId, QString country,
                   QWidget *parent = nullptr);
    ~KeywordGapView() override;

    // "Add to My Keywords", "Add N to My Keywords", or "Adding…".
    static QString addTitle(qsizetype selected, bool adding);

    CompetitorKeywordTable *opportunities() const { return m_opportunities; }
    CompetitorKeywordTable *untracked() const { return m_untracked; }
    EmptyStateView *opportunitiesState() const { return m_opportunitiesState; }
    EmptyStateView *untrackedState() const { return m_untrackedState; }
    QString competitorId() const { return m_competitorId; }
    bool adding() const { return m_adding; }

    // Both take effect at the next reload(). A new competitor empties the selection; the sort
    // orders stay.
    void setCompetitor(const QString &competitorId);
    void setCountry(const QString &country) { m_country = country; }
    void reload();

    // The keywords the row menu at this point of the untracked table acts on: the whole
    // selection when the clicked row is in it, else that row; none outside the rows.
    QStringList menuTargets(const QPoint &position) const;
    QMenu *contextMenu(const QStringList &ids, QWidget *parent = nullptr);
    // Adds the keywords to the app, in ascending order with one store call, then drops them
    // from the selection. Nothing happens for none.
    void addToMyKeywords(QStringList ids);

Q_SIGNALS:
    // An add action ended.
    void added(const QStringList &ids);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildOpportunitiesPane();
    QWidget *buildUntrackedPane();
    void updateAddButton();
    void updateUntrackedState();
    void startDiscovery();
    void refreshPopularity();
    void finishAdd(const QStringList &ids, bool linked);
    static QCoro::Task<> runAdd(QPointer<KeywordGapView> view, QPointer<ASOStore> store, QStringList ids,
                                QString appleAppId, QString competitorId, QString country);
    static QCoro::Task<> runPopularity(QPointer<ASOStore> store, QString competitorId, QString country,
                                       CancelTokenPtr cancel);

    QPointer<ASOStore> m_store;
    const QString m_appleAppId;
    QString m_competitorId;
    QString m_country;
    bool m_adding = false;
    bool m_shown = false;
    // competitor|storefront of the last popularity refresh.
    QString m_popularityKey;
    CancelTokenPtr m_popularityCancel;

    QSplitter *m_splitter;
    QLabel *m_opportunitiesTitle;
    QLabel *m_opportunitiesDescription;
    CompetitorKeywordTable *m_opportunities;
    EmptyStateView *m_opportunitiesState;
    QLabel *m_untrackedTitle;
    QLabel *m_untrackedDescription;
    QPushButton *m_add;
    CompetitorKeywordTable *m_untracked;
    EmptyStateView *m_untrackedState;
    ElidingButton *m_discover;
    QWidget *m_running;
    QLabel *m_runningPhase;
};
