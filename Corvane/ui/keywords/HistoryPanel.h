#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>
#include <utility>

class ASOStore;
class EmptyStateView;
class QChartView;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QListWidget;
class QScatterSeries;
class QStackedLayout;
class QValueAxis;
struct RankSnapshot;

// The side panel of an app's keywords: the ranking history of the selected keyword in one
// storefront, as a chart of the ranks at which the app was found and the list of every stored
// reading, newest first. It shows stored readings only and reads them again whenever the store's
// data version changes; it starts no search and writes nothing.
class HistoryPanel : public QWidget
{
    Q_OBJECT
public:
    explicit HistoryPanel(ASOStore *store, QWidget *parent = nullptr);

    // Shows the readings of the app (by ID, read again on every change of the data) for the
    // keyword (normal form) in the storefront; no keyword shows the "Select a keyword" state.
    void setKeyword(const QString &appleAppId, const QString &country, const std::optional<QString> &normalized);

    const std::optional<QString> &keyword() const { return m_keyword; }
    QString country() const { return m_country; }

    // The span of the rank axis for ranks from `best` to `worst`: padded so that a single rank
    // still shows, and never reaching down to 0.
    static std::pair<double, double> rankRange(qint64 best, qint64 worst);

private:
    void reload();
    // Redraws the chart and the list when the readings differ from the ones shown.
    void showReadings(const QList<RankSnapshot> &readings);
    // The page of a keyword, made with its chart when the first keyword is shown.
    void ensureContent();
    void ensureChart();

    QPointer<ASOStore> m_store;
    QString m_appleAppId;
    QString m_country;
    std::optional<QString> m_keyword;
    // Row ids of the readings shown; readings are never changed once stored.
    std::optional<QList<qint64>> m_shown;

    QStackedLayout *m_pages;
    EmptyStateView *m_noSelection;
    QWidget *m_content = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_caption = nullptr;
    QChartView *m_chartView = nullptr;
    QLineSeries *m_line = nullptr;
    QScatterSeries *m_points = nullptr;
    QDateTimeAxis *m_dateAxis = nullptr;
    QValueAxis *m_rankAxis = nullptr;
    QListWidget *m_list = nullptr;
};
