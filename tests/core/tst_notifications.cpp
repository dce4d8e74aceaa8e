#include "tracking/TrackingNotifications.h"

#include <QtTest>

using Content = TrackingNotifications::Content;

class TestNotifications : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void content_data()
    {
        QTest::addColumn<QStringList>("alerts"); // "app name|kind raw value", "#id" after the name sets the app ID
        QTest::addColumn<std::optional<Content>>("expected");

        const QString details = "Open Alerts in Vantu for details.";
        QTest::newRow("no alerts") << QStringList{} << std::optional<Content>();
        QTest::newRow("one alert") << QStringList{"Focus Timer|ENTERED_TOP_10"}
                                   << std::optional<Content>({"1 keyword entered the top 10 for Focus Timer", details});
        QTest::newRow("unknown kinds count as moved up") << QStringList{"Focus|GONE", "Focus|MOVED_UP", "Focus|moved_up"}
                                                         << std::optional<Content>({"3 keywords moved up for Focus", details});
        QTest::newRow("apps sharing a name are one group") << QStringList{"Focus#1|MOVED_UP", "Focus#2|MOVED_UP"}
                                                           << std::optional<Content>({"2 keywords moved up for Focus", details});
        QTest::newRow("kinds in fixed order, not alert order")
            << QStringList{"Focus|LOST_RANKING", "Focus|NEW_RANKING"}
            << std::optional<Content>({"Ranking changes for Focus", "1 keyword started ranking, 1 keyword dropped out of the results."});
        QTest::newRow("all six kinds")
            << QStringList{"A|MOVED_DOWN", "A|MOVED_UP", "A|LOST_RANKING", "A|NEW_RANKING", "A|LEFT_TOP_10", "A|ENTERED_TOP_10",
                           "A|ENTERED_TOP_10"}
            << std::optional<Content>({"Ranking changes for A",
                                       "2 keywords entered the top 10, 1 keyword left the top 10, 1 keyword started ranking, "
                                       "1 keyword dropped out of the results, 1 keyword moved up, 1 keyword moved down."});
        QTest::newRow("two apps") << QStringList{"Zeta|LEFT_TOP_10", "Alpha|MOVED_DOWN", "Alpha|MOVED_UP", "Alpha|MOVED_UP"}
                                  << std::optional<Content>({"Ranking changes for 2 apps",
                                                             "Alpha: 2 keywords moved up, 1 keyword moved down\n"
                                                             "Zeta: 1 keyword left the top 10"});
        // Capitals before small letters, and U+FB00 before U+1D49C although UTF-16 orders them the other way.
        QTest::newRow("names in code point order")
            << QStringList{"apple|MOVED_UP", QString::fromUtf8("\xF0\x9D\x92\x9C|MOVED_UP"), QString::fromUtf8("\xEF\xAC\x80|MOVED_UP"),
                           "Zeta|MOVED_UP"}
            << std::optional<Content>({"Ranking changes for 4 apps",
                                       QString::fromUtf8("Zeta: 1 keyword moved up\napple: 1 keyword moved up\n"
                                                         "\xEF\xAC\x80: 1 keyword moved up\n\xF0\x9D\x92\x9C: 1 keyword moved up")});
    }

    void content()
    {
        QFETCH(QStringList, alerts);
        QFETCH(std::optional<Content>, expected);

        QList<RankAlert> list;
        for (const QString &entry : alerts) {
            RankAlert alert;
            alert.persistentId = list.size() + 1;
            const QStringList name = entry.section('|', 0, 0).split('#');
            alert.appName = name.at(0);
            alert.appleAppId = name.value(1, name.at(0));
            alert.kindRaw = entry.section('|', 1);
            list.append(alert);
        }
        const auto content = TrackingNotifications::notificationContent(list);
        QCOMPARE(content.has_value(), expected.has_value());
        if (expected) {
            QCOMPARE(content->title, expected->title);
            QCOMPARE(content->body, expected->body);
        }
    }
};

QTEST_GUILESS_MAIN(TestNotifications)
#include "tst_notifications.moc"
