#pragma once

#include "workflows/ResearchModel.h"

#include <QCoroTask>
#include <QPointer>
#include <QWidget>

#include <chrono>

class ASOStore;
class ElidedLabel;
class EmptyStateView;
class QComboBox;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;
class QToolButton;
class SortKeyProxy;
class ResearchTableModel;
class StorefrontMenu;

// The "Keyword Research" screen: Apple Ads' weekly most-searched terms of one storefront,
// narrowed by genre, popularity range and a text filter, loaded page by page, with the chosen
// terms added to a tracked app or copied. It owns its ResearchModel.
class ResearchView : public QWidget
{
    Q_OBJECT
public:
    // `provider`: where the terms come from; the configured popularity service when empty.
    explicit ResearchView(ASOStore *store, QWidget *parent = nullptr, ResearchModel::ProviderFactory provider = {});
    ~ResearchView() override;

    ResearchModel *model() const { return m_model; }

    // How long filter changes must rest before the list reloads.
    void setReloadDelay(std::chrono::milliseconds delay);

    // The selected terms, in the table's order.
    QStringList selectedTerms() const;
    void selectTerms(const QStringList &terms);

    // The outcome of the last add action; empty when none.
    QString status() const { return m_status; }
    QString footerText() const;

    // The row menu for these terms (nothing when there are none), and the app items for them.
    QMenu *contextMenu(const QStringList &terms, QWidget *parent);
    void fillAppItems(QMenu *menu, const QStringList &terms);

    // Puts the terms on the clipboard, one per line, without a final line feed.
    static void copyTerms(const QStringList &terms);

    // Adds the terms to the app as tracked keywords in the storefront selected now.
    void addTerms(const QStringList &terms, const QString &appleAppId);

Q_SIGNALS:
    // "Open Settings" was clicked.
    void settingsRequested();
    // An add action ended and wrote its outcome.
    void statusChanged(const QString &status);

private:
    void buildFilterBar(QWidget *bar);
    void filtersChanged();
    void reloadForFilters();
    CancelTokenPtr renewLoadCancel();
    void commitPopularity(QSpinBox *field, void (ResearchModel::*setter)(qint64));
    void rebuildGenres();
    void showItems();
    void updateOverlay();
    void updateFooter();
    void setStatus(const QString &status);
    // The selected terms, then those held while a reload brings their rows back.
    QStringList chosenTerms() const;
    void updateTrackIn();
    static QCoro::Task<> runAdd(QPointer<ResearchView> view, QPointer<ASOStore> store, QStringList terms,
                                QString appleAppId, QString country);

    QPointer<ASOStore> m_store;
    ResearchModel *m_model;
    ResearchTableModel *m_rows;
    SortKeyProxy *m_sorted;
    QTimer *m_reloadTimer;
    // Cancels the request of the page loading now; a new load renews it.
    CancelTokenPtr m_loadCancel;
    // Chosen terms whose rows a reload took away, chosen again when they come back.
    QStringList m_heldSelection;
    QString m_status;

    QLineEdit *m_search;
    QToolButton *m_trackIn;
    StorefrontMenu *m_storefront;
    QComboBox *m_genre;
    QSpinBox *m_minPopularity;
    QSpinBox *m_maxPopularity;
    QProgressBar *m_busy;
    QTableView *m_table;
    EmptyStateView *m_errorState;
    EmptyStateView *m_emptyState;
    EmptyStateView *m_loadingState;
    ElidedLabel *m_footer;
    QPushButton *m_loadMore;
};
