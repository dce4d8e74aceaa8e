#pragma once

#include "ui/cells/Style.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class ASOStore;
class DiscoveryRun;
class QLabel;
class QProgressBar;
class QPushButton;

// The progress and the outcome of the keyword discovery of one app in one storefront: phase,
// round and counters while it runs, with "Stop"; whether it finished or was stopped once it
// has ended. It follows the run the store holds for the app's ID and the storefront, and is
// hidden while the store holds none.
class DiscoveryBanner : public QWidget
{
    Q_OBJECT
public:
    struct Counter
    {
        QString title;
        QString value;
        Style::Tone tone = Style::Tone::primary;
        bool operator==(const Counter &) const = default;
    };

    // What the banner shows for a run, decided without widgets.
    struct Content
    {
        bool running = false;
        // Glyph of the ended form ("stop.circle", "checkmark.circle.fill"); empty while running.
        QString symbol;
        Style::Tone symbolTone = Style::Tone::secondary;
        QString status;
        bool showProgress = false;
        qint64 progressValue = 0;
        qint64 progressTotal = 1;
        QList<Counter> counters;
    };

    static Content describe(const DiscoveryRun &run);
    static QString note();

    DiscoveryBanner(ASOStore *store, QString appleAppId, QString country, QWidget *parent = nullptr);

    void setCountry(const QString &country);
    // The run shown; null while the store holds none.
    DiscoveryRun *run() const { return m_run.get(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void findRun();
    void refresh();

    QPointer<ASOStore> m_store;
    const QString m_appleAppId;
    QString m_country;
    std::shared_ptr<DiscoveryRun> m_run;
    QWidget *m_spinner;
    QLabel *m_symbol;
    QLabel *m_status;
    QPushButton *m_stop;
    QList<QLabel *> m_values;
    QList<QLabel *> m_titles;
    QProgressBar *m_progress;
};
