#include "workflows/MetadataDraft.h"

#include "TestSettings.h"
#include "store/ASOStore.h"

#include <QtTest>

// Drafts as the settings keep them, and the target keywords chosen from keyword rows.
class TestMetadataDraft : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stored_data();
    void stored();
    void saveStampsACopy();
    void targets_data();
    void targets();

private:
    TestSettings m_isolation;
};

void TestMetadataDraft::stored_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("written"); // the app's draft as it would be written
    const QByteArray full = R"({"title":"\"ü\"","subtitle":"s","keywordField":"k","targets":["b","a"],"updatedAt":7.5})";
    const QByteArray none = R"({"title":"","subtitle":"","keywordField":"","updatedAt":-0.25})";
    const QByteArray fresh = R"({"title":"Fit","subtitle":"","keywordField":"","updatedAt":)";
    const auto with = [](const char *json) { return QByteArray(R"({"title":"","subtitle":"","keywordField":"",)") + json; };
    QTest::newRow("full") << full << full;
    QTest::newRow("no targets") << none << none;
    QTest::newRow("null targets") << with(R"("targets":null,"updatedAt":-0.25})") << none;
    QTest::newRow("empty targets, other order, unknown key")
        << QByteArray(R"({"updatedAt":5,"x":1,"targets":[],"keywordField":"","subtitle":"","title":""})")
        << with(R"("targets":[],"updatedAt":5})");
    QTest::newRow("missing title") << QByteArray(R"({"subtitle":"","keywordField":"","updatedAt":1})") << fresh;
    QTest::newRow("targets not a list") << with(R"("targets":"a","updatedAt":1})") << fresh;
    QTest::newRow("not JSON") << QByteArray("{title") << fresh;
}

// A draft that cannot be read gives way to a new one, which is not written.
void TestMetadataDraft::stored()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, written);
    TestSettings::set(MetadataDraft::settingsKey(QStringLiteral("42")), stored);
    TrackedApp app;
    app.appleAppId = QStringLiteral("42");
    app.name = QStringLiteral("Fit");
    const auto json = ASOStore(StoreDb::openInMemory()).metadataDraft(app).toJson();
    QVERIFY2(json.startsWith(written) && json.size() - written.size() < 20, json.constData());
    QCOMPARE(Settings::shared().value(QStringLiteral("metadataDraft.42")).toByteArray(), stored);
}

void TestMetadataDraft::saveStampsACopy()
{
    const MetadataDraft draft{QStringLiteral("t"), {}, {}, QStringList(), QDateTime()};
    ASOStore(StoreDb::openInMemory()).saveMetadataDraft(draft, QStringLiteral("7"));
    const auto saved = MetadataDraft::load(QStringLiteral("7"));
    QVERIFY(saved && saved->targets == QStringList() && saved->updatedAt.secsTo(QDateTime::currentDateTimeUtc()) < 2);
}

void TestMetadataDraft::targets_data()
{
    QTest::addColumn<QString>("rows"); // id:popularity:opportunity, "-" for absent; difficulty is 100 - popularity
    QTest::addColumn<int>("limit");    // -1: the optimiser's targets for the selection a, b, c and "gone"
    QTest::addColumn<QString>("result");
    QTest::newRow("only known popularity") << "a:-:- b:9:3 c:-:- d:50:7 e:-:- f:9:- g:-:- h:-:-" << 10 << "d b f";
    QTest::newRow("unknown opportunity after 0") << "x:60:- y:5:0" << 10 << "y x";
    QTest::newRow("ties by popularity, then code points")
        << QString::fromUtf8("b:9:4 \U0001F600:9:4 \uFFFD:9:4 a:9:4 z:10:4") << 4 << QString::fromUtf8("z a b \uFFFD");
    QTest::newRow("optimiser") << "c:9:1 z:1:1 b:-:- a:40:2" << -1 << "a:40:60 b:-:- c:9:91";
}

void TestMetadataDraft::targets()
{
    QFETCH(QString, rows);
    QFETCH(int, limit);
    QList<KeywordRow> list;
    const auto number = [](const QString &text) { return text == u"-" ? std::nullopt : std::optional(text.toLongLong()); };
    for (const auto &entry : rows.split(u' ')) {
        auto &row = list.emplace_back();
        row.id = entry.section(u':', 0, 0);
        row.popularity = number(entry.section(u':', 1, 1));
        row.opportunity = number(entry.section(u':', 2));
        row.difficulty = row.popularity ? std::optional(100 - *row.popularity) : std::nullopt;
    }
    QStringList result = limit < 0 ? QStringList() : suggestedTargets(list, limit);
    const auto text = [](const auto &value) { return value ? QString::number(*value) : QStringLiteral("-"); };
    for (const auto &target : optimizerTargets(limit < 0 ? list : QList<KeywordRow>(), {"a", "b", "c", "gone"}))
        result.append(target.text + u':' + text(target.popularity) + u':' + text(target.difficulty));
    QTEST(result.join(u' '), "result");
}

QTEST_GUILESS_MAIN(TestMetadataDraft)
#include "tst_metadatadraft.moc"
