#pragma once

#include <QCoroTask>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>

#include <optional>

class ASOStore;
class SortKeyProxy;
class EmptyStateView;
class QLabel;
class QMessageBox;
class QTableView;
class SuggestedCompetitorsModel;

// The "Suggested" tab: untracked apps that most often rank in the top 20 of an app's keywords in
// one storefront, each with a button that tracks it as a competitor. A failed track action
// shows "Could not track app" with the error's text.
class SuggestedCompetitorsTable : public QWidget
{
    Q_OBJECT
public:
    static constexpr int rowLimit = 25;

    SuggestedCompetitorsTable(ASOStore *store, QString appleAppId, QString country, QWidget *parent = nullptr);
    ~SuggestedCompetitorsTable() override;

    QTableView *table() const { return m_table; }
    SuggestedCompetitorsModel *tableModel() const { return m_model; }
    SortKeyProxy *proxy() const { return m_proxy; }
    EmptyStateView *emptyState() const { return m_empty; }
    QString footerText() const;
    // The message of the last failed track action while its alert shows.
    std::optional<QString> error() const { return m_error; }
    QSet<QString> tracking() const { return m_tracking; }

    // Takes effect at the next reload().
    void setCountry(const QString &country) { m_country = country; }
    void reload();
    // Tracks the suggested app as a competitor; a row whose action runs is not tracked twice, and
    // nothing is tracked while the store holds writes (the buttons are drawn disabled then).
    void track(const QString &appleAppId);

Q_SIGNALS:
    // A suggested app was added as a competitor.
    void tracked(const QString &appleAppId);

private:
    void updateFooter();
    void showFailure(const QString &message);
    void finishTracking(const QString &appleAppId);
    static QCoro::Task<> runTrack(QPointer<SuggestedCompetitorsTable> view, QPointer<ASOStore> store,
                                  QString appleAppId, QString viewedAppId, QString country);

    QPointer<ASOStore> m_store;
    const QString m_appleAppId;
    QString m_country;
    QSet<QString> m_tracking;
    std::optional<QString> m_error;

    SuggestedCompetitorsModel *m_model;
    SortKeyProxy *m_proxy;
    QTableView *m_table;
    EmptyStateView *m_empty;
    QLabel *m_footer;
    QPointer<QMessageBox> m_alert;
};
