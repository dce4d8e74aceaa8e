#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "ui/cells/EmptyStateView.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/metadata/IssueList.h"
#include "ui/metadata/MetadataEditor.h"
#include "ui/metadata/MetadataFieldHeader.h"
#include "ui/metadata/MetadataFieldsPane.h"
#include "ui/metadata/MetadataView.h"
#include "ui/metadata/MetadataWordFlow.h"
#include "ui/metadata/TargetKeywordPane.h"
#include "ui/metadata/TargetTableModel.h"
#include "ui/shell/MainWindow.h"

#include "FakeSearchClient.h"
#include "RenderedTexts.h"
#include "TestSettings.h"
#include "UiFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QScrollArea>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>

class TestMetadataEditor : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    std::unique_ptr<ASOStore> m_store;
    TrackedApp m_app;

    // Links the keywords "word:popularity" (no popularity after a bare word; "_" for a space) to
    // the app.
    void addRows(const QString &entries)
    {
        QStringList words;
        for (const auto &entry : entries.split(u' ', Qt::SkipEmptyParts)) {
            words.append(entry.section(u':', 0, 0).replace(u'_', u' '));
            if (!entry.contains(u':'))
                continue;
            KeywordMetric metric(words.constLast(), "us");
            metric.popularity = entry.section(u':', 1).toLongLong();
            metric.popularitySourceRaw = "APPLE_ADS_COUNTRY";
            metric.difficulty = 50;
            m_store->db().insert(metric);
        }
        // Linking raises the data version once the metrics are in place.
        m_store->addKeywords(words, m_app);
    }

    static void storeDraft(const std::optional<QStringList> &targets, const QString &keywordField = {})
    {
        MetadataDraft draft{"Lumen", {}, keywordField, targets, QDateTime::fromSecsSinceEpoch(1'700'000'000)};
        TestSettings::set(MetadataDraft::settingsKey("1"), draft.toJson());
    }

    static QString stored() { return Settings::shared().value(MetadataDraft::settingsKey("1")).toString(); }

    static std::optional<QStringList> parseTargets(const QString &text)
    {
        if (text == "-")
            return std::nullopt;
        return text.split(u' ', Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), std::make_shared<FakeSearchClient>());
        m_app = TrackedApp(AppInfo{"1", "Lumen"}, true);
        m_app.trackedCountries = {"us"};
        m_store->db().insert(m_app);
    }

    // Default targets are chosen only while the draft has none, not even an empty choice, and
    // opening writes nothing unless they are.
    void defaultTargets_data()
    {
        QTest::addColumn<QString>("storedTargets"); // "-": no draft stored
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("targets");       // "-": absent
        QTest::addColumn<bool>("saved");
        QTest::newRow("new draft") << "-" << "blur:30 photo:90 grid:60 frame" << "photo grid blur" << true;
        QTest::newRow("no popularity yet") << "-" << "photo grid" << "-" << false;
        QTest::newRow("none chosen") << "" << "photo:90" << "" << false;
        QTest::newRow("chosen") << "grid" << "photo:90 grid:60" << "grid" << false;
    }

    void defaultTargets()
    {
        QFETCH(QString, storedTargets);
        QFETCH(QString, rows);
        QFETCH(QString, targets);
        QFETCH(bool, saved);
        addRows(rows);
        if (storedTargets != "-")
            storeDraft(parseTargets(storedTargets));
        const auto before = stored();
        MetadataView view(m_store.get(), "1", "us");
        QCOMPARE(view.editor()->draft().targets, parseTargets(targets));
        QCOMPARE(stored() != before, saved);
        if (saved)
            QCOMPARE(MetadataDraft::fromJson(stored().toUtf8())->targets, parseTargets(targets));
    }

    // Without a choice, a change in the number of rows tries again; an empty choice stays.
    void defaultTargetsWhenRowsArrive()
    {
        addRows("photo");
        MetadataView view(m_store.get(), "1", "us");
        addRows("grid:40");
        QCOMPARE(view.editor()->draft().targets, QStringList{"grid"});
        view.editor()->selectNoTargets();
        addRows("blur:70");
        QCOMPARE(view.editor()->draft().targets, QStringList{});
        QVERIFY(stored().contains(R"("targets":[])"));
        QVERIFY(!childOf<QToolButton>(&view, "autoFillButton")->isEnabled());
        QCOMPARE(childOf<QToolButton>(&view, "autoFillButton")->toolTip(), "Choose target keywords first.");
    }

    // Only auto-fill, tidy and added words take the one undo step; an equal text takes none.
    void undo()
    {
        addRows("photo:90 editor:80");
        MetadataView view(m_store.get(), "1", "us");
        view.show();
        auto *editor = view.editor();
        auto *undoButton = childOf<QToolButton>(&view, "undoButton");
        auto *field = childOf<QPlainTextEdit>(&view, "keywordField");
        field->setFocus();
        QTest::keyClicks(field, "editor, the");
        QCOMPARE(editor->draft().keywordField, "editor, the");
        QVERIFY(!undoButton->isVisible());

        childOf<QToolButton>(&view, "tidyButton")->click();
        QCOMPARE(editor->draft().keywordField, "editor");
        QCOMPARE(field->toPlainText(), "editor");
        QVERIFY(undoButton->isVisible());
        childOf<QToolButton>(&view, "tidyButton")->click(); // tidy again: the same text
        QCOMPARE(editor->undoKeywordField(), "editor, the");

        editor->addSuggestedWord("photo");
        QCOMPARE(editor->draft().keywordField, "editor,photo");
        field->moveCursor(QTextCursor::End);
        QTest::keyClicks(field, "x");
        QVERIFY(undoButton->isVisible());
        undoButton->click();
        QCOMPARE(editor->draft().keywordField, "editor");
        QVERIFY(!undoButton->isVisible());
        QCOMPARE(MetadataDraft::fromJson(stored().toUtf8())->keywordField, "editor");
    }

    void autoFill_data()
    {
        QTest::addColumn<int>("menuItem"); // -1: the button itself
        QTest::addColumn<bool>("keeps");
        QTest::newRow("click") << -1 << false;
        QTest::newRow("replace") << 0 << false;
        QTest::newRow("keep") << 1 << true;
    }

    // A click replaces the field; the menu also offers to keep the words there.
    void autoFill()
    {
        QFETCH(int, menuItem);
        addRows("photo:90 editor:80");
        storeDraft(QStringList{"editor", "photo"}, "zebra");
        MetadataView view(m_store.get(), "1", "us");
        auto *button = childOf<QToolButton>(&view, "autoFillButton");
        QCOMPARE(button->toolTip(), "Fill the 100 characters with the words that complete the most valuable targets, "
                                    "skipping words already in the name or subtitle.");
        if (menuItem < 0)
            button->click();
        else
            button->menu()->actions().at(menuItem)->trigger();
        const auto field = view.editor()->draft().keywordField;
        QVERIFY(field.contains("photo") && field.contains("editor"));
        QTEST(field.startsWith("zebra,"), "keeps");
        QCOMPARE(view.editor()->undoKeywordField(), "zebra");
    }

    // Auto-fill and reset read the app again; once it is removed they change nothing.
    void actionsAfterAppRemoved()
    {
        addRows("photo:90 editor:80");
        MetadataView view(m_store.get(), "1", "us");
        view.editor()->setKeywordField("grid");
        m_store->deleteApp(m_app);
        childOf<QToolButton>(&view, "autoFillButton")->click();
        view.editor()->resetDraft();
        QCOMPARE(view.editor()->draft().keywordField, "grid");
        QVERIFY(!view.editor()->undoKeywordField());
    }

    void reset_data()
    {
        QTest::addColumn<QString>("targets");
        QTest::newRow("absent") << "-";
        QTest::newRow("none") << "";
        QTest::newRow("chosen") << "grid photo";
    }

    // Reset asks first, then takes the app's current name and keeps the targets exactly.
    void reset()
    {
        QFETCH(QString, targets);
        storeDraft(parseTargets(targets), "photo,grid");
        m_app.name = "Lumen Pro";
        m_store->db().update(m_app);
        MetadataView view(m_store.get(), "1", "us");
        view.editor()->setTitle("Something else");
        view.editor()->applyKeywordField("grid");
        auto *box = view.fieldsPane()->confirmReset();
        QCOMPARE(box->informativeText(), "The name goes back to “Lumen Pro” and the subtitle and keyword field are "
                                         "cleared. Targets are kept.");
        box->findChild<QPushButton *>("confirmResetButton")->click();
        const auto &draft = view.editor()->draft();
        QCOMPARE(draft.title, "Lumen Pro");
        QCOMPARE(draft.keywordField, "");
        QCOMPARE(draft.targets, parseTargets(targets));
        QVERIFY(!view.editor()->undoKeywordField());
        QCOMPARE(childOf<QLineEdit>(&view, "titleField")->text(), "Lumen Pro");
    }

    void fit_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("word");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<QString>("added");
        const QString full94(94, u'a');
        QTest::newRow("exactly 100") << full94 + ", " << "timer" << true << full94 + ",timer";
        QTest::newRow("101") << full94 + "a" << "timer" << false << full94 + "a,timer";
        QTest::newRow("empty field") << "" << QString(100, u'b') << true << QString(100, u'b');
        QTest::newRow("commas and spaces") << " ,, " << "timer" << true << "timer";
        QTest::newRow("space after comma") << "focus, " << "timer" << true << "focus,timer";
        // A flag is one character, though four UTF-16 units.
        QTest::newRow("graphemes") << QString(96, u'a').replace(0, 1, "🇩🇪") << "tim" << true << "";
    }

    void fit()
    {
        QFETCH(QString, field);
        QFETCH(QString, word);
        QTEST(MetadataEditor::fitsInKeywordField(field, word), "fits");
        QFETCH(QString, added);
        if (added.isEmpty())
            return;
        MetadataEditor editor(m_store.get(), "1", "us");
        editor.setKeywordField(field);
        editor.addSuggestedWord(word);
        QCOMPARE(editor.draft().keywordField, added);
    }

    void header_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("tone");
        QTest::addColumn<QString>("help");
        QTest::addColumn<QString>("over"); // empty: not shown
        const auto secondary = int(Style::Tone::secondary), orange = int(Style::Tone::orange), red = int(Style::Tone::red);
        QTest::newRow("26 of 30") << QString(26, u'x') << 30 << "26/30" << secondary << "4 characters left" << "";
        QTest::newRow("27 of 30") << QString(27, u'x') << 30 << "27/30" << orange << "3 characters left" << "";
        QTest::newRow("30 of 30") << QString(30, u'x') << 30 << "30/30" << orange << "0 characters left" << "";
        QTest::newRow("31 of 30") << QString(31, u'x') << 30 << "31/30" << red << "0 characters left" << "1 over the limit";
        QTest::newRow("89 of 100") << QString(89, u'x') << 100 << "89/100" << secondary << "11 characters left" << "";
        QTest::newRow("90 of 100") << QString(90, u'x') << 100 << "90/100" << orange << "10 characters left" << "";
        QTest::newRow("flag") << "🇩🇪" << 30 << "1/30" << secondary << "29 characters left" << "";
        QTest::newRow("combining accent") << "e\u0301" << 30 << "1/30" << secondary << "29 characters left" << "";
        QTest::newRow("empty") << "" << 30 << "0/30" << secondary << "30 characters left" << "";
    }

    void header()
    {
        QFETCH(QString, text);
        QFETCH(int, limit);
        QFETCH(int, tone);
        QFETCH(QString, over);
        MetadataFieldHeader header("Keyword field", limit);
        header.setText(text);
        auto *count = childOf<QLabel>(&header, "fieldCount");
        QTEST(count->text(), "count");
        QTEST(count->toolTip(), "help");
        QCOMPARE(count->palette().color(QPalette::WindowText), Style::color(Style::Tone(tone), header.palette()));
        auto *overLabel = childOf<QLabel>(&header, "fieldOver");
        QCOMPARE(overLabel->isVisibleTo(&header), !over.isEmpty());
        QVERIFY(overLabel->text().endsWith(over));
        auto *copy = childOf<QToolButton>(&header, "copyButton");
        QCOMPARE(copy->toolTip(), "Copy the keyword field to the clipboard");
        QCOMPARE(copy->isEnabled(), !text.isEmpty());
    }

    // The exact text, untrimmed, replaces whatever the clipboard held.
    void copyButton()
    {
        MetadataFieldHeader header("App name", 30);
        QGuiApplication::clipboard()->setText("App name");
        header.setText(" photo, editor ,");
        childOf<QToolButton>(&header, "copyButton")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), " photo, editor ,");
    }

    void flowRows_data()
    {
        QTest::addColumn<QList<QSize>>("sizes");
        QTest::addColumn<qint64>("width");
        QTest::addColumn<QList<int>>("rowLengths");
        QTest::addColumn<QSize>("size");
        QTest::newRow("two rows") << QList<QSize>{{40, 20}, {40, 26}, {40, 22}} << qint64(100) << QList<int>{2, 1}
                                  << QSize(86, 26 + 6 + 22);
        QTest::newRow("ends exactly at the edge") << QList<QSize>{{47, 20}, {47, 20}} << qint64(100) << QList<int>{2}
                                                  << QSize(100, 20);
        QTest::newRow("no width") << QList<QSize>{{40, 20}, {40, 30}} << qint64(0) << QList<int>{1, 1} << QSize(40, 56);
        QTest::newRow("wider than the width") << QList<QSize>{{10, 20}, {150, 20}, {10, 20}} << qint64(100)
                                              << QList<int>{1, 1, 1} << QSize(150, 72);
        QTest::newRow("nothing") << QList<QSize>{} << qint64(100) << QList<int>{} << QSize(0, 0);
    }

    void flowRows()
    {
        QFETCH(QList<QSize>, sizes);
        QFETCH(qint64, width);
        const auto rows = MetadataWordFlow::rows(sizes, width, 6);
        QList<int> lengths;
        for (const auto &row : rows)
            lengths.append(int(row.items.size()));
        QTEST(lengths, "rowLengths");
        QTEST(MetadataWordFlow::size(rows, 6), "size");
    }

    // As a layout: placed top-aligned, row by row, and as high as its width needs.
    void flowLayout()
    {
        QWidget host;
        auto *flow = new MetadataWordFlow(6, &host);
        QList<QWidget *> items;
        for (const int height : {20, 26, 22}) {
            auto *item = new QWidget(&host);
            item->setFixedSize(40, height);
            flow->addWidget(item);
            items.append(item);
        }
        QCOMPARE(flow->heightForWidth(100), 54);
        QCOMPARE(flow->sizeHint(), QSize(132, 26));
        flow->setGeometry(QRect(0, 0, 100, 54));
        QCOMPARE(items[1]->geometry(), QRect(46, 0, 40, 26));
        QCOMPARE(items[2]->geometry(), QRect(0, 32, 40, 22));
    }

    void coverageNote_data()
    {
        QTest::addColumn<QList<std::optional<qint64>>>("popularities");
        QTest::addColumn<QString>("note");
        using P = QList<std::optional<qint64>>;
        QTest::newRow("no targets") << P{} << "Choose target keywords on the right to measure coverage.";
        QTest::newRow("all known") << P{40} << "Weighted by opportunity (Apple Ads popularity and difficulty).";
        QTest::newRow("one unknown") << P{40, std::nullopt}
                                     << "Weighted by opportunity (Apple Ads popularity and difficulty); 1 target has "
                                        "no Apple Ads popularity yet and count less.";
        QTest::newRow("two unknown") << P{std::nullopt, std::nullopt}
                                     << "Weighted by opportunity (Apple Ads popularity and difficulty); 2 targets have "
                                        "no Apple Ads popularity yet and count less.";
    }

    void coverageNote()
    {
        QFETCH(QList<std::optional<qint64>>, popularities);
        QList<MetadataOptimizer::Target> targets;
        for (const auto &popularity : popularities)
            targets.append({"word" + QString::number(targets.size()), popularity, std::nullopt});
        QTEST(MetadataFieldsPane::coverageNote(targets), "note");
    }

    // Typing updates the figures, issues and chips from the analysis; only the first 30 words are
    // offered, and a word that no longer fits is offered disabled.
    void typing()
    {
        QStringList rows;
        for (int i = 0; i < 45; ++i)
            rows.append(QStringLiteral("zq%1%2:50").arg(QChar(u'a' + i / 26)).arg(QChar(u'a' + i % 26)));
        addRows(rows.join(u' '));
        storeDraft(QStringList(rows.join(u' ').remove(":50").split(u' ')));
        MetadataView view(m_store.get(), "1", "us");
        view.show();
        const auto chips = [&view] {
            QList<QAbstractButton *> shown;
            for (auto *chip : view.findChildren<QAbstractButton *>("suggestionChip"))
                if (chip->isVisible())
                    shown.append(chip);
            return shown;
        };
        QCOMPARE(chips().size(), 30);
        QCOMPARE(childOf<QLabel>(&view, "coveragePercent")->text(), "0%");
        QCOMPARE(childOf<QLabel>(&view, "targetsCovered")->text(), "0/45");
        QCOMPARE(childOf<QLabel>(&view, "chosenCount")->text(), "45 chosen");

        auto *field = childOf<QPlainTextEdit>(&view, "keywordField");
        field->setFocus();
        QTest::keyClicks(field, "zqaa, zqab");
        QCOMPARE(childOf<QLabel>(&view, "targetsCovered")->text(), "2/45");
        QCOMPARE(childOf<QLabel>(&view, "keywordFieldLeft")->text(), "90");
        QCOMPARE(childOf<QLabel>(&view, "wastedCharacters")->text(), "1");
        QVERIFY(!childOf<QLabel>(&view, "noIssues")->isVisible());
        auto *issues = childOf<IssueList>(&view, "issueList");
        QCOMPARE(issues->issues().size(), 1);
        QCOMPARE(renderedTexts(issues).join(u' '), // lines joined where they wrap
                 "⚠ Remove spaces after commas: they waste 1 character. "
                 "Write “word,word” — Apple splits on commas, so spaces only cost characters. −1");
        const QPoint mark = issues->rowRect(0).topRight() + QPoint(-2, 6);
        QHelpEvent help(QEvent::ToolTip, mark, issues->mapToGlobal(mark));
        QApplication::sendEvent(issues, &help);
        QCOMPARE(QToolTip::text(), "Characters wasted");
        QToolTip::hideText();

        // 96 characters leave no room for a comma and four letters.
        field->setPlainText(QString(96, u'x'));
        QCOMPARE(childOf<QLabel>(&view, "keywordFieldLeft")->text(), "4");
        QVERIFY(!chips().first()->isEnabled());
        QVERIFY(chips().first()->toolTip().startsWith("Costs 5 characters. Completes: "));
        QVERIFY(chips().first()->toolTip().endsWith(". Doesn’t fit in the remaining keyword-field space."));
        field->setPlainText(QString(103, u'x'));
        QCOMPARE(childOf<QLabel>(&view, "keywordFieldLeft")->text(), "-3");
        QCOMPARE(childOf<QLabel>(&view, "keywordFieldLeft")->palette().color(QPalette::WindowText),
                 Style::color(Style::Tone::red, view.palette()));
        QVERIFY(renderedTexts(issues).join(u' ').contains("App Store Connect won’t accept it. Shorten the keyword field."));
    }

    // Thousands of issues cost no widget each, and each of them can be scrolled to and is drawn
    // there.
    void manyIssues()
    {
        addRows("photo:90");
        MetadataView view(m_store.get(), "1", "us");
        view.resize(900, 600);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto widgets = view.findChildren<QWidget *>().size();
        QString field;
        for (int i = 0; i < 2000; ++i)
            field += QStringLiteral("w%1,w%1,").arg(i % 1000);
        view.editor()->setKeywordField(field);
        auto *issues = childOf<IssueList>(&view, "issueList");
        QTRY_COMPARE(issues->issues().size(), 3002); // the limit, the empty term and 3,000 repeats
        QCOMPARE(view.findChildren<QWidget *>().size(), widgets);

        auto *scroll = childOf<QScrollArea>(&view, "metadataFieldsScroll");
        const auto shown = [&](qsizetype i) {
            const QRect row = issues->rowRect(i);
            scroll->ensureVisible(0, issues->mapTo(scroll->widget(), row.center()).y(), 0, row.height());
            return renderedTexts(scroll->viewport());
        };
        for (const qsizetype i : {qsizetype(2), qsizetype(3001)}) {
            QStringList texts;
            // Joined again where its lines wrap.
            QTRY_VERIFY2((texts = shown(i)).join(u' ').contains(issues->issues().at(i).message), qPrintable(QString::number(i)));
            QVERIFY(texts.count("Keep it once.") < 40); // the rows in view, not all of them
        }
    }

    void openingWritesNothing_data()
    {
        QTest::addColumn<QString>("keywordField");
        QTest::newRow("CR LF") << "photo\r\neditor";
        QTest::newRow("lone CR") << "photo\reditor";
        QTest::newRow("line and paragraph separators") << "photo\u2028editor\u2029grid";
        QTest::newRow("no-break space and tab") << "photo\u00A0editor\tgrid";
    }

    // The field shows the stored draft without writing it back; the keyword field is saved as
    // the field holds it only once the user changes it.
    void openingWritesNothing()
    {
        QFETCH(QString, keywordField);
        addRows("photo:90");
        storeDraft(QStringList{"photo"}, keywordField);
        const auto before = stored();
        MetadataView view(m_store.get(), "1", "us");
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(stored(), before);
        QCOMPARE(view.editor()->draft().keywordField, keywordField);

        view.editor()->setTitle("Lumen Studio");
        QCOMPARE(MetadataDraft::fromJson(stored().toUtf8())->keywordField, keywordField);
        auto *field = childOf<QPlainTextEdit>(&view, "keywordField");
        field->setFocus();
        field->moveCursor(QTextCursor::End);
        QTest::keyClicks(field, "x");
        QVERIFY(MetadataDraft::fromJson(stored().toUtf8())->keywordField.endsWith("x"));
    }

    // The name field's prompt is the app's current name, also after a rename.
    void promptFollowsRename()
    {
        addRows("photo:90");
        MetadataView view(m_store.get(), "1", "us");
        auto *title = childOf<QLineEdit>(&view, "titleField");
        QCOMPARE(title->placeholderText(), "Lumen");
        m_app.name = "Lumen Pro";
        m_store->db().update(m_app);
        m_store->raiseDataVersion();
        QCOMPARE(title->placeholderText(), "Lumen Pro");
    }

    // "N chosen" counts only targets that have a row; ticks write the list sorted.
    void targets()
    {
        addRows("photo:90 grid:60 blur");
        storeDraft(QStringList{"photo", "gone", "elsewhere"});
        MetadataView view(m_store.get(), "1", "us");
        auto *pane = view.targetsPane();
        QCOMPARE(childOf<QLabel>(&view, "chosenCount")->text(), "1 chosen");
        auto *proxy = pane->proxy();
        QCOMPARE(proxy->shownIds(), (QStringList{"photo", "grid", "blur"})); // opportunity, highest first
        view.resize(900, 500);
        view.show();
        auto *table = pane->table();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(proxy->index(2, TargetTableModel::target)).center());
        QCOMPARE(view.editor()->draft().targets, (QStringList{"blur", "elsewhere", "gone", "photo"}));
        QCOMPARE(childOf<QLabel>(&view, "chosenCount")->text(), "2 chosen");

        childOf<QToolButton>(&view, "targetFilterTargets")->click();
        QCOMPARE(proxy->shownIds(), (QStringList{"photo", "blur"}));
        QVERIFY(proxy->setData(proxy->index(0, TargetTableModel::target), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(proxy->shownIds(), QStringList{"blur"});
        pane->selectMenu()->actions().constLast()->trigger(); // None
        QCOMPARE(view.editor()->draft().targets, QStringList{});
        QVERIFY(pane->emptyState()->isVisibleTo(&view));
        QCOMPARE(pane->emptyState()->title(), "No targets chosen");

        // "All Shown" keeps earlier targets; the top ones by opportunity replace them, sorted.
        childOf<QToolButton>(&view, "targetFilterAll")->click();
        view.editor()->setTarget("gone", true);
        pane->selectMenu()->actions().at(1)->trigger();
        QCOMPARE(view.editor()->draft().targets, (QStringList{"blur", "gone", "grid", "photo"}));
        pane->selectMenu()->actions().constFirst()->trigger();
        QCOMPARE(view.editor()->draft().targets, (QStringList{"grid", "photo"}));
    }

    void narrowestFieldsPane_data()
    {
        QTest::addColumn<QString>("keywordField");
        QTest::newRow("undo shown") << "photo";
        const QString longWord(70, u'w'); // repeated: an issue names it
        QTest::newRow("long word") << longWord + u',' + longWord;
    }

    // Dragged to its narrowest, the fields pane still shows its rows that cannot wrap whole, and
    // the section still fits the detail screen of the smallest window.
    void narrowestFieldsPane()
    {
        QFETCH(QString, keywordField);
        MetadataView view(m_store.get(), "1", "us");
        constexpr int detailWidth = 746; // what the smallest window leaves beside the sidebar
        view.resize(detailWidth, 600);
        view.show();
        view.editor()->applyKeywordField(keywordField);
        childOf<QSplitter>(&view, "metadataSplitter")->setSizes({0, 10000});
        auto *viewport = childOf<QScrollArea>(&view, "metadataFieldsScroll")->viewport();
        const auto *issues = childOf<IssueList>(&view, "issueList");
        const auto outside = [&] {
            QStringList faults;
            for (const char *name : {"resetButton", "copyButton", "coveragePercent"}) {
                const auto *widget = childOf<QWidget>(&view, name);
                if (!viewport->rect().contains(QRect(widget->mapTo(viewport, QPoint()), widget->size())))
                    faults.append(name);
            }
            // A long word wraps inside its issue, and every line of the issues has its room.
            if (issues->mapTo(viewport, QPoint(issues->width(), 0)).x() > viewport->width())
                faults.append(QStringLiteral("the issues"));
            for (qsizetype i = 0; i < issues->issues().size(); ++i) {
                if (!issues->rowRect(i).contains(issues->messageRect(i)))
                    faults.append(QStringLiteral("issue %1").arg(i));
            }
            if (issues->isVisible() && issues->height() != issues->heightForWidth(issues->width()))
                faults.append(QStringLiteral("the issues' height"));
            return faults;
        };
        QStringList faults;
        QTRY_VERIFY2((faults = outside()).isEmpty(), qPrintable(faults.join(u' ')));
        const auto *targets = view.targetsPane();
        QVERIFY(targets->width() >= targets->minimumWidth());
        QVERIFY(targets->mapTo(&view, QPoint(targets->width(), 0)).x() <= detailWidth);
    }

    void columnsInWindow_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("whole"); // every column at its full minimum
        QTest::newRow("default") << QSize(1200, 800) << true;
        QTest::newRow("minimum") << QSize(1000, 640) << false;
    }

    // In the window, the target table shows every column without scrolling sideways; at the
    // default size none is cut, and a rank badge never is.
    void columnsInWindow()
    {
        QFETCH(QSize, size);
        QFETCH(bool, whole);
        addRows("photo:90 grid:60 long_photo_keywords:40 blur:20");
        SearchObservation observation{0, QUuid::createUuid(), "grid", "us", QDateTime::currentDateTimeUtc(), false,
                                      200, 0, 1, QStringLiteral("offline"), false, {}};
        RankState state("1", RankSnapshot(m_app, observation, RankingState::requestFailed, std::nullopt));
        m_store->db().insert(state);
        m_store->raiseDataVersion();
        storeDraft(QStringList{"blur", "grid", "long photo keywords", "photo"}, "photo");
        SilentNotifier notifier;
        RankTracker tracker(m_store.get(), &notifier);
        MainWindow window(m_store.get(), &tracker, nullptr);
        window.resize(size);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setSelection("1");
        childOf<QAbstractButton>(&window, "sectionMetadata")->click();
        auto *table = childOf<QTableView>(&window, "targetTable");
        auto *header = table->horizontalHeader();
        QTRY_COMPARE(table->horizontalScrollBar()->maximum(), 0);
        QTRY_VERIFY(header->sectionViewportPosition(TargetTableModel::coverage) + header->sectionSize(TargetTableModel::coverage)
                    <= table->viewport()->width());
        // A title is drawn whole or cut short with "…", never cut off at its ends.
        const auto titles = renderedTexts(header);
        for (int column = TargetTableModel::keyword; column <= TargetTableModel::coverage; ++column) {
            const auto full = TargetTableModel::title(column);
            const auto drawn = titles.value(column - 1);
            QVERIFY2(drawn == full || (drawn.endsWith(u'…') && full.startsWith(drawn.chopped(1))), qPrintable(drawn));
            QCOMPARE(header->model()->headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString(), full);
        }
        if (whole)
            QVERIFY(titles.contains("In metadata"));
        else
            QVERIFY2(titles.constLast().endsWith(u'…'), qPrintable(titles.join(" | ")));

        const auto *delegate = table->itemDelegate();
        QStyleOptionViewItem option;
        option.initFrom(table);
        QStringList badges;
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            const auto rank = table->model()->index(row, TargetTableModel::rank);
            badges.append(rank.data().toString());
            QVERIFY2(delegate->sizeHint(option, rank).width() <= header->sectionSize(TargetTableModel::rank),
                     qPrintable(rank.data().toString()));
        }
        QVERIFY(badges.contains("Request failed"));
        // Short of room the cells are cut short with "…"; at the default size a missing word is
        // shown whole.
        const auto cells = renderedTexts(table->viewport());
        if (whole) {
            QVERIFY2(cells.contains("Missing: grid"), qPrintable(cells.join(" | ")));
            QVERIFY(cells.contains("long photo keywords"));
            for (int row = 0; row < table->model()->rowCount(); ++row) {
                const auto coverage = table->model()->index(row, TargetTableModel::coverage);
                if (coverage.data().toString() == "Missing: grid")
                    QVERIFY(delegate->sizeHint(option, coverage).width() <= header->sectionSize(TargetTableModel::coverage));
            }
        } else {
            QVERIFY2(!cells.filter("…").isEmpty(), qPrintable(cells.join(" | ")));
        }

        // A keyword cut short shows whole in its tooltip.
        const auto *proxy = childOf<MetadataView>(&window, "metadataView")->targetsPane()->proxy();
        const auto longRow = proxy->shownIds().indexOf("long photo keywords");
        const QRect cell = table->visualRect(proxy->index(int(longRow), TargetTableModel::keyword));
        QHelpEvent help(QEvent::ToolTip, cell.center(), table->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(table->viewport(), &help);
        QCOMPARE(QToolTip::text(), whole ? QString() : QStringLiteral("long photo keywords"));
        QToolTip::hideText();
    }

    // With room, each column lies between its minimum and ideal width and "In metadata" takes the
    // rest; short of it, each gives up its slack above its floor in proportion, never more.
    void fitWidths_data()
    {
        QTest::addColumn<int>("room");
        QTest::addColumn<QList<int>>("widths");
        QTest::newRow("ideal and more") << 800 << QList<int>{22, 190, 100, 90, 110, 288};
        QTest::newRow("minimums") << 552 << QList<int>{22, 140, 90, 80, 110, 110};
        QTest::newRow("short") << 452 << QList<int>{22, 93, 79, 69, 107, 78};
        QTest::newRow("shorter than the floors") << 330 << QList<int>{22, 48, 70, 60, 105, 48};
    }

    void fitWidths()
    {
        QFETCH(int, room);
        QFETCH(QList<int>, widths);
        const TargetKeywordPane::Widths minimums{22, 140, 90, 80, 110, 110, 0};
        const TargetKeywordPane::Widths floors{22, 48, 70, 60, 105, 48, 0};
        const auto fitted = TargetKeywordPane::fitWidths(room, minimums, floors);
        QCOMPARE(QList<int>(fitted.cbegin(), fitted.cbegin() + TargetTableModel::opportunity), widths);
    }

    void emptyStates_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("title");
        QTest::newRow("no rows") << "" << "Missing" << "No tracked keywords";
        QTest::newRow("every target covered") << "photo:90" << "Missing" << "Every target is covered";
        QTest::newRow("rows shown") << "photo:90" << "All" << "";
    }

    void emptyStates()
    {
        QFETCH(QString, rows);
        QFETCH(QString, filter);
        addRows(rows);
        storeDraft(QStringList{"photo"}, "photo");
        MetadataView view(m_store.get(), "1", "us");
        childOf<QToolButton>(&view, "targetFilter" + filter)->click();
        QFETCH(QString, title);
        auto *empty = view.targetsPane()->emptyState();
        QCOMPARE(empty->isVisibleTo(&view), !title.isEmpty());
        if (!title.isEmpty())
            QCOMPARE(empty->title(), title);
        QCOMPARE(view.targetsPane()->selectMenu()->actions().constFirst()->isEnabled(), !rows.isEmpty());
    }

    // The detail screen builds the section afresh on each entry; another storefront keeps it.
    void inDetailScreen()
    {
        addRows("photo:90");
        AppDetailView detail(m_store.get(), "1");
        detail.setSection(AppDetailView::Section::metadata);
        auto *view = childOf<MetadataView>(&detail, "metadataView");
        view->editor()->applyKeywordField("photo");
        detail.setCountry("de");
        QCOMPARE(view->editor()->country(), "de");
        QVERIFY(view->editor()->undoKeywordField());
        detail.setSection(AppDetailView::Section::keywords);
        detail.setSection(AppDetailView::Section::metadata);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        view = childOf<MetadataView>(&detail, "metadataView");
        QCOMPARE(view->editor()->draft().keywordField, "photo");
        QVERIFY(!view->editor()->undoKeywordField());
    }

    void destroyWithFocus_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("inDetail"); // the detail screen goes, with the section in it
        for (const bool inDetail : {false, true}) {
            for (const auto *name : {"titleField", "subtitleField", "keywordField", "targetFilterAll", "targetTable"})
                QTest::addRow("%s%s", name, inDetail ? " in detail" : "") << name << inDetail;
        }
    }

    // Focus leaves a field while the section is torn down; nothing may reach the dying view.
    void destroyWithFocus()
    {
        QFETCH(QString, field);
        QFETCH(bool, inDetail);
        addRows("photo:90 grid:60");
        std::unique_ptr<QWidget> window;
        if (inDetail) {
            auto detail = std::make_unique<AppDetailView>(m_store.get(), "1");
            detail->setSection(AppDetailView::Section::metadata);
            window = std::move(detail);
        } else {
            window = std::make_unique<MetadataView>(m_store.get(), "1", "us");
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        auto *widget = childOf<QWidget>(window.get(), field);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_A);
        QCOMPARE(QApplication::focusWidget(), widget);
        window.reset();
        QVERIFY(MetadataDraft::fromJson(stored().toUtf8()).has_value());
    }
};

QTEST_MAIN(TestMetadataEditor)
#include "tst_metadataeditor.moc"
