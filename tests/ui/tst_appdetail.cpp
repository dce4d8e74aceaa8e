#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/keywords/KeywordTable.h"
#include "workflows/DiscoveryRun.h"

#include "GatedSearchClient.h"
#include "TestSettings.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QtTest>

class TestAppDetail : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    std::shared_ptr<GatedSearchClient> m_client;
    std::unique_ptr<ASOStore> m_store;

    TrackedApp track(const QStringList &countries)
    {
        TrackedApp app(AppInfo{"1", "Lumen"}, true);
        app.trackedCountries = countries;
        app.developerName = "Lumen Labs";
        app.version = "2.1";
        m_store->db().insert(app);
        return app;
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        m_client = std::make_shared<GatedSearchClient>();
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client);
    }

    void initialStorefront_data()
    {
        QTest::addColumn<QStringList>("tracked");
        QTest::addColumn<QString>("defaultCountry"); // "-": none stored
        QTest::addColumn<QString>("title");
        QTest::newRow("first tracked") << QStringList{"de", "gb"} << "tr" << "Lumen — Germany";
        QTest::newRow("default storefront") << QStringList{} << "tr" << "Lumen — Türkiye";
        QTest::newRow("nothing stored") << QStringList{} << "-" << "Lumen — United States";
    }

    void initialStorefront()
    {
        QFETCH(QStringList, tracked);
        QFETCH(QString, defaultCountry);
        if (defaultCountry != "-")
            TestSettings::set("defaultCountry", defaultCountry);
        track(tracked);
        AppDetailView view(m_store.get(), "1");
        QTEST(view.title(), "title");
        // Facts that are absent leave no separator behind.
        QCOMPARE(view.findChild<QLabel *>("appFacts")->text(), "Lumen Labs · v2.1");
        QVERIFY(!view.findChild<QLabel *>("appRating")->isVisibleTo(&view));
    }

    // The discover button follows the run; selecting a keyword opens the history panel, which
    // hides with the status filter outside the keywords section and comes back with it.
    void discoveryAndPanels()
    {
        const auto app = track({"us"});
        m_store->addKeywords({"photo editor"}, app);
        AppDetailView view(m_store.get(), "1");
        view.show();
        auto *discover = view.findChild<QAction *>("discoverAction");
        QCOMPARE(discover->toolTip(), "Automatically find and check keywords in United States");
        discover->trigger();
        QCOMPARE(discover->text(), "Discovering…");
        QVERIFY(!discover->isEnabled());
        m_client->open();
        QTRY_VERIFY(!m_store->discoveryRun(app, "us")->isRunning());
        QCOMPARE(discover->text(), "Discover Keywords");
        QVERIFY(discover->isEnabled());

        auto *panel = view.findChild<QWidget *>("historyPanel");
        QVERIFY(!panel->isVisible());
        view.findChild<KeywordTable *>()->setSelection("photo editor");
        QVERIFY(panel->isVisible());
        view.setSection(AppDetailView::Section::competitors);
        QVERIFY(!panel->isVisible());
        QVERIFY(!view.findChild<QComboBox *>("statusFilter")->isVisible());
        view.setSection(AppDetailView::Section::keywords);
        QVERIFY(panel->isVisible());
        QVERIFY(view.showsInspector());

        // The History button shows whether the panel is open, and closes and opens it.
        auto *history = view.findChild<QAction *>("historyAction");
        QVERIFY(history->isChecked());
        history->trigger();
        QVERIFY(!panel->isVisible() && !history->isChecked());
        history->trigger();
        QVERIFY(panel->isVisible() && history->isChecked());
    }
};

QTEST_MAIN(TestAppDetail)
#include "tst_appdetail.moc"
