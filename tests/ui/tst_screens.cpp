#include "keywords/KeywordText.h"
#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/cells/ElidingControls.h"
#include "ui/competitors/CompetitorsView.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/metadata/IssueList.h"
#include "ui/metadata/MetadataEditor.h"
#include "ui/metadata/MetadataView.h"
#include "workflows/DiscoveryRun.h"
#include "ui/research/ResearchView.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/shell/AddAppDialog.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SidebarModel.h"

#include "RenderedTexts.h"
#include "SeedAccount.h"
#include "TestSettings.h"

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeView>
#include <QtTest>

#include <QCoroSignal>

#include <functional>

// A text that a shot must show, drawn whole; when `column` is given, inside the column of a
// visible table whose header reads so. The text `sortArrow` stands for that header's sort arrow.
struct Shown
{
    QString text;
    QString column = {};
};

const QString sortArrow = QStringLiteral("<sort arrow>");
// Stands for a ticked check box in a table's cell.
const QString tickedBox = QStringLiteral("<ticked box>");

// Renders the windows over a seeded account into PNG files for a person to look at, and checks
// that what they must show is there and not cut off.
class TestScreens : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    std::shared_ptr<FakeSearchClient> m_client = std::make_shared<FakeSearchClient>();
    std::unique_ptr<ASOStore> m_store;
    SilentNotifier m_notifier;
    std::unique_ptr<RankTracker> m_tracker;

    static void save(QWidget *widget, const QString &name) { save(widget, name, shownIn(name)); }

    // Waits until `widget` shows what it must, whole, with nothing cut (a busy machine lays out
    // and draws later), then writes its picture; written also when it never does, so that a cut
    // screen can be looked at.
    static void save(QWidget *widget, const QString &name, const QList<Shown> &shown)
    {
        QStringList faults;
        const bool whole = QTest::qWaitFor([&] {
            faults = cutIn(widget) + unshownIn(widget, shown);
            return faults.isEmpty();
        });
        QDir().mkpath(VANTU_SCREENS_DIR);
        QVERIFY(widget->grab().save(QStringLiteral(VANTU_SCREENS_DIR "/") + name + ".png"));
        QVERIFY2(whole, qPrintable(faults.join(u'\n')));
    }

    // Waits until `faults` finds none.
    static void waitForNone(const std::function<QStringList()> &faults)
    {
        QStringList found;
        QTRY_VERIFY2((found = faults()).isEmpty(), qPrintable(found.join(u'\n')));
    }

    // Makes `change`, which brings the section to the gap, and checks the window as a frame drawn
    // the moment the gap shows (at once, or once its searches are read) would draw it, before any
    // layout request waiting in the queue is handled.
    static void verifyGapWholeAtOnce(CompetitorsView *section, QWidget *window, const std::function<void()> &change)
    {
        std::optional<QStringList> faults;
        const auto check = [&] {
            if (!faults && section->shownContent() == CompetitorsView::Content::gap)
                faults = cutIn(window);
        };
        const auto connection = connect(section, &CompetitorsView::loadingChanged, window, check);
        change();
        check();
        const bool shown = QTest::qWaitFor([&] { return faults.has_value(); });
        disconnect(connection);
        QVERIFY(shown);
        QVERIFY2(faults->isEmpty(), qPrintable(faults->join(u'\n')));
    }

    // The wrapped descriptions of the gap's panes for a competitor.
    static QList<Shown> gapTexts(const QString &competitor)
    {
        return {{competitor + " ranks in the top 50 where this app is not in the results or ranks at least 10 places lower."},
                {"Keywords tracked for " + competitor + " that this app does not track."}};
    }

    // What each shot must show: titles, column headers, button and menu texts, and cell values of
    // the seeded account in their columns.
    static QList<Shown> shownIn(const QString &shot)
    {
        const QList<Shown> sidebar{{"Tools"}, {"Keyword Research"}, {"Alerts"}, {"My Apps"}, {"Competitors"},
                                   {"Lumen Photo Editor"}, {"Lumen Collage Maker"}, {"Snapmosaic"}, {"Add App"}};
        const QList<Shown> detail{{"Lumen Photo Editor"}, {"My App"}, {"ID 1001"}, {"Tracked"}, {"Ranking"},
                                  {"Top 10"}, {"Keywords"}, {"Competitors"}, {"Metadata"}, {"🇺🇸 United States"},
                                  {"Add Keywords"}, {"History"}, {"Filter keywords"}};
        // The keyword table's columns from the left, as far as the history panel leaves them room.
        const QList<Shown> keywords{{"Discover Keywords"}, {"Status"}, {"All 300"}, {"Keyword"}, {"Popularity"},
                                    {"photo editor", "Keyword"}, {"Manual", "Keyword"}, {"—", "Popularity"}};
        const QList<Shown> ranks{{"Difficulty"}, {"Medium", "Difficulty"}, {"Opp."}, {"Rank"}, {sortArrow, "Opp."}, {"Not in top 16", "Rank"}, {"#6", "Rank"},
                                 {"#14", "Rank"}};
        const QList<Shown> changes{{"Change"}, {"Checked"}, {"Lost", "Change"}, {"5", "Change"}, {"New", "Change"}};
        const QList<Shown> history{{"“editor collage”"}, {"Rank history in United States. Every observation is kept."}};
        const QList<Shown> banner{{"412"}, {"Candidates"}, {"Searched"}, {"31"}, {"Found"}, {"14"}, {"Not in sample"},
                                  {"Failed"}, {"8"}, {"Related apps"},
                                  {"Reports keywords discovered from public sources and sampled Apple search results "
                                   "(up to 200 per search). It cannot list every keyword an app is indexed for."}};
        const QList<Shown> alerts{{"Check Now"}, {"All apps"}, {"All changes"}, {"Unread"}, {"Mark All Read"}, {"Clear"},
                                  {"portrait color 299"}, {"Lumen Photo Editor · New ranking"}, {"not ranked → #13"},
                                  {"vintage layout 298"}, {"Lumen Photo Editor · Entered top 10"}, {"#17 → #5"}};
        const QList<Shown> noApps{{"Tools"}, {"Keyword Research"}, {"Alerts"}, {"No apps yet"},
                                  {"Add your app or a competitor by App Store link or ID."}, {"Add App"},
                                  {"Select an app"}, {"Pick an app to see its keywords and rankings."}};
        const QList<Shown> sheet{{"Add App"},
                                 {"Paste an App Store link or numeric app ID. Keyword discovery starts automatically."},
                                 {"This is my app (not a competitor)"}, {"Cancel"}, {"Add & Discover"}};
        const QList<Shown> research{{"Filter terms"}, {"Track in…"}, {"🇺🇸 United States"}, {"All genres"},
                                    {"Popularity"}, {"Term"}, {"Genre"}, {"Rank in Genre"}, {sortArrow, "Popularity"}};
        const QList<Shown> terms{{"collage maker", "Term"}, {"100", "Popularity"}, {"Photo & Video", "Genre"},
                                 {"Productivity & Utilities", "Genre"}, {"#1", "Rank in Genre"}, {"—", "Rank in Genre"},
                                 {"200 of 240 terms · Apple Ads, week of 2026-11-30"}, {"Load More"}};
        const QList<Shown> unconfigured{{"Couldn’t load top terms"}, {"Try Again"}, {"Open Settings"}};
        const QList<Shown> fields{{"App name"}, {"18/30"}, {"Subtitle"}, {"23/30"}, {"Keyword field"}, {"49/100"},
                                  {"Collage & filter studio"}, {"Auto-fill"}, {"Tidy"}, {"Undo"}, {"Reset Draft…"},
                                  {"Target coverage"}, {"Targets covered"}, {"2/10"}, {"Wasted characters"},
                                  {"Keyword field left"}, {"51"}, {"Issues"}};
        const QList<Shown> targets{{"Target keywords"}, {"10 chosen"}, {"All"}, {"Targets"}, {"Missing"}, {"Select"},
                                   {"Keyword"}, {"Popularity"}, {"Difficulty"}, {tickedBox}, {"editor filter", "Keyword"},
                                   {"94", "Popularity"}, {"Easy", "Difficulty"}};
        const QList<Shown> targetsCut{{"Target keywords"}, {"10 chosen"}, {"All"}, {"Targets"}, {"Missing"},
                                      {"Select"}, {"Popularity"}, {"Difficulty"}, {tickedBox},
                                      {"94", "Popularity"}, {"Easy", "Difficulty"}};
        const QList<Shown> coverage{{"Rank"}, {"#7", "Rank"}, {"In metadata"}, {"Covered", "In metadata"}};
        const QList<Shown> competitors{
            {"Lumen Photo Editor"}, {"Suggested"}, {"Compare"}, {"Keyword Gap"},
            {"⚠ The latest search failed for 1 keyword. They are shown as failed, never as not ranked."}};
        const QList<Shown> rivalTable{{"Keyword"}, {"My rank"}, {"Their rank"}, {"Difference"}, {"Popularity"},
                                      {"Difficulty"}, {"Competitor"}};
        const QList<Shown> settings{{"Search"}, {"Discovery"}, {"Storefronts"}, {"Tracking"}};
        const QHash<QString, QList<Shown>> shots{
            {"main-window", sidebar + detail + keywords + ranks + changes},
            {"app-detail-history", sidebar + detail + keywords + history + QList<Shown>{{"#6"}}},
            {"alerts", sidebar + alerts},
            {"alerts-minimum", sidebar + alerts},
            {"app-detail-discovering", sidebar + detail + keywords.mid(1) + ranks + history + banner
                                           + QList<Shown>{{"Discovering…"}, {"Round 2 · round 2 of 4"}, {"Stop"},
                                                          {"47/120"}}},
            {"app-detail-discovered",
             sidebar + detail + keywords + ranks + history + banner + QList<Shown>{{"Discovery finished"}, {"120/120"}}},
            {"app-detail-minimum", sidebar + detail + keywords + history},
            {"main-window-empty", noApps},
            {"add-app", sheet + QList<Shown>{{"https://apps.apple.com/us/app/example/id123456789"}}},
            {"add-app-busy", sheet + QList<Shown>{{"284882215"}}},
            {"add-app-waiting-for-removal",
             sheet + QList<Shown>{{"284882215"},
                                  {"This app’s earlier data is still being removed. It is added again once that is done."}}},
            {"add-app-error-1-lines",
             sheet + QList<Shown>{{"⚠ Network error while contacting Apple (after 3 attempts): Connection refused"}}},
            {"add-app-error-2-lines",
             sheet + QList<Shown>{{"⚠ No app with ID 284882215 was returned by Apple in your favorite storefronts. "
                                   "Check the ID; the app may be removed or unavailable there."}}},
            {"add-app-error-3-lines", sheet},
            {"research", sidebar + research + terms},
            {"research-minimum", sidebar + research + terms},
            {"research-unconfigured", sidebar + research + unconfigured},
            {"research-unconfigured-minimum", sidebar + research + unconfigured},
            {"research-empty-minimum",
             sidebar + research
                 + QList<Shown>{{"No terms match"}, {"0 of 0 terms · Apple Ads, week of 2026-11-30"}}},
            {"research-loading-minimum", sidebar + research + QList<Shown>{{"Loading Apple’s most searched terms…"}}},
            {"metadata", sidebar + detail + fields + targets + coverage},
            // At the minimum size the keyword and coverage columns are cut with "…".
            {"metadata-minimum", sidebar + detail + targetsCut + QList<Shown>{{"Rank"}, {"#7", "Rank"}}},
            {"metadata-narrow", sidebar + detail + targets + coverage},
            {"metadata-fields", fields},
            {"metadata-minimum-fields", fields},
            {"competitors-suggested",
             competitors
                 + QList<Shown>{{"App"}, {"Shared keywords"}, {"Avg. rank"}, {"Ratings"}, {sortArrow, "Shared keywords"},
                                {"App 3000", "App"}, {"App 3000 Ltd. · Photo & Video", "App"}, {"120", "Shared keywords"},
                                {"#1.9", "Avg. rank"}, {"1K", "Ratings"}, {"Track as Competitor"},
                                {"Apps that most often appear in the top 20 Apple results of this app’s tracked "
                                 "keywords in United States. Already tracked apps are hidden."}}},
            {"competitors-compare",
             competitors + rivalTable
                 + QList<Shown>{{"Ahead"}, {"48"}, {"Behind"}, {"72"}, {"Both ranked"}, {"90"}, {sortArrow, "Difference"},
                                {"photo booth", "Keyword"}, {"Request failed", "My rank"}, {"Request failed", "Their rank"},
                                {"blur color", "Keyword"}, {"Not in top 16", "My rank"}, {"#9", "Their rank"},
                                {"Only theirs", "Difference"}, {"43", "Difficulty"}, {"Medium", "Difficulty"}}},
            {"competitors-keyword-gap",
             competitors + rivalTable + gapTexts("Brightframe Studio – Photo Collage, Frames & Portrait Retouch Editor")
                 + QList<Shown>{{"Opportunities (38)"}, {"Their keywords you don’t track (3)"}, {"Add 2 to My Keywords"},
                                {sortArrow, "Their rank"}, {"collage maker pro", "Keyword"}, {"#14", "My rank"},
                                {"#11", "Their rank"}, {"3", "Difference"}, {"blur vintage", "Keyword"},
                                {"#1", "Their rank"}, {"Only theirs", "Difference"}}},
            {"competitors-keyword-gap-nothing-new",
             competitors + rivalTable + gapTexts("Snapmosaic")
                 + QList<Shown>{{"Their keywords you don’t track (0)"}, {"Nothing new"},
                                {"This app already tracks every keyword tracked for Snapmosaic."},
                                {"Discover Keywords for Snapmosaic"}}},
            {"settings-search",
             settings + QList<Shown>{{"Default storefront"}, {"🇺🇸 United States"}, {"Results per search: 200"},
                                     {"Requests per minute: 20"}, {"Cache: 60 min"}}},
            {"settings-discovery",
             settings + QList<Shown>{{"Searches per discovery run: 300"}, {"Expansion rounds: 3"},
                                     {"Related apps per round: 8"}}},
            {"settings-storefronts",
             settings + QList<Shown>{{"Favorite storefronts are shown first in the storefront menu and used to look up apps."},
                                     {"🇺🇸 United States"}, {"🇬🇧 United Kingdom"}}},
            {"settings-tracking",
             settings + QList<Shown>{{"Track rankings daily"}, {"Run after"}, {"Apps"}, {"My apps only"},
                                     {"While Vantu is open, each app's tracked keywords are searched again once a day "
                                      "in every storefront it is tracked in, at the pace set under Search."},
                                     {"Check Now"}, {"Create alerts for ranking changes"},
                                     {"Alert when a keyword moves 5+ places"}, {"Notify me after each daily run"},
                                     {"Open Vantu at login"}}},
        };
        if (!shots.contains(shot))
            qFatal("no texts listed for the shot %s", qPrintable(shot));
        return shots.value(shot);
    }

    // The lines of text drawn: runs on one baseline that follow each other are joined, since a
    // font fallback (for a check mark, an arrow) splits a line into several runs.
    static QList<RenderedText> drawnLines(const QList<RenderedText> &runs)
    {
        QList<RenderedText> lines;
        for (const auto &run : runs) {
            if (!lines.isEmpty() && qAbs(lines.last().at.y() - run.at.y()) < 0.5
                && qAbs(lines.last().box.right() - run.box.left()) < 1.0) {
                auto &line = lines.last();
                line.text += run.text;
                line.box |= run.box;
                line.shown = line.shown.isEmpty() ? run.shown : run.shown.isEmpty() ? line.shown : line.shown | run.shown;
            } else {
                lines.append(run);
            }
        }
        return lines;
    }

    // A visible table's column: its header section, and the part of the viewport below it.
    struct ColumnArea
    {
        QRectF header;
        QRectF cells;
    };

    static QList<ColumnArea> columnsTitled(QWidget *root, const QString &title)
    {
        QList<ColumnArea> areas;
        for (auto *header : root->findChildren<QHeaderView *>()) {
            auto *view = qobject_cast<QAbstractItemView *>(header->parentWidget());
            if (header->orientation() != Qt::Horizontal || !header->isVisibleTo(root) || !view || !header->model())
                continue;
            for (int section = 0; section < header->count(); ++section) {
                if (header->isSectionHidden(section) || header->model()->headerData(section, Qt::Horizontal) != title)
                    continue;
                const QRectF area(header->mapTo(root, QPoint(header->sectionViewportPosition(section), 0)),
                                  QSizeF(header->sectionSize(section), header->height()));
                const QRectF viewport(view->viewport()->mapTo(root, QPoint()), view->viewport()->size());
                areas.append({area, QRectF(area.left(), viewport.top(), area.width(), viewport.height())});
            }
        }
        return areas;
    }

    static QString place(const QRectF &box)
    {
        return QStringLiteral("%1,%2 %3×%4").arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height());
    }

    static bool within(const QRectF &inner, const QRectF &outer)
    {
        return outer.adjusted(-1, -1, 1, 1).contains(inner);
    }

    // A drawn text that is `text`, or `text` cut short with an ellipsis.
    static bool drawsText(const QString &drawn, const QString &text)
    {
        return drawn == text || (drawn.size() > 1 && drawn.endsWith(u'…') && text.startsWith(drawn.chopped(1)));
    }

    // A header section or cell of a visible table, in full view, with the text it shows.
    struct TableCell
    {
        const QTableView *table;
        QPersistentModelIndex index; // invalid for a header section
        QRectF area;
        QString text;
    };

    static QList<TableCell> tableCells(QWidget *root)
    {
        QList<TableCell> cells;
        for (auto *table : root->findChildren<QTableView *>()) {
            if (!table->isVisibleTo(root) || !table->model())
                continue;
            const auto *model = table->model();
            auto *header = table->horizontalHeader();
            const QRect viewport = table->viewport()->rect();
            for (int column = 0; column < model->columnCount(); ++column) {
                const int left = table->columnViewportPosition(column);
                if (table->isColumnHidden(column) || left < 0 || left + table->columnWidth(column) > viewport.width())
                    continue;
                const QRectF section(header->mapTo(root, QPoint(left, 0)), QSizeF(table->columnWidth(column), header->height()));
                if (header->isVisibleTo(root))
                    cells.append({table, {}, section, model->headerData(column, Qt::Horizontal).toString()});
                for (int row = std::max(0, table->rowAt(0)); row < model->rowCount(); ++row) {
                    const auto index = model->index(row, column);
                    const QRect cell = table->visualRect(index);
                    if (cell.top() >= viewport.height())
                        break;
                    if (!table->isRowHidden(row) && cell.isValid() && viewport.contains(cell))
                        cells.append({table, index, QRectF(table->viewport()->mapTo(root, cell.topLeft()), cell.size()),
                                      index.data().toString()});
                }
            }
        }
        return cells;
    }

    // Every cell of `cells` draws its text in its area (cut short at most), as it read before the
    // rendering or reads now (a relative time may move on meanwhile), and each check box in its
    // cell, ticked as the model says.
    static void verifyTablesDrawn(const QList<TableCell> &cells, const TextRecordingDevice &device,
                                  const QList<RenderedText> &lines, QStringList &faults)
    {
        const auto drawnIn = [&](const QRectF &area, const QString &text) {
            return std::any_of(lines.begin(), lines.end(), [&](const RenderedText &line) {
                return !line.shown.isEmpty() && within(line.shown, area) && drawsText(line.text, text);
            });
        };
        for (const auto &cell : cells) {
            const QString now = cell.index.isValid() ? cell.index.data().toString() : cell.text;
            if (!cell.text.isEmpty() && !drawnIn(cell.area, cell.text) && !drawnIn(cell.area, now))
                faults.append(cell.index.isValid() ? QStringLiteral("cell %1, %2 of %3 draws no “%4”")
                                                         .arg(cell.index.row())
                                                         .arg(cell.index.column())
                                                         .arg(cell.table->objectName(), cell.text)
                                                   : QStringLiteral("header “%1” of %2 not drawn in its section")
                                                         .arg(cell.text, cell.table->objectName()));
            if (const auto check = cell.index.data(Qt::CheckStateRole); check.isValid()) {
                const bool ticked = check.toInt() == Qt::Checked;
                const bool drawn = std::any_of(device.primitives.begin(), device.primitives.end(), [&](const auto &mark) {
                    return mark.element == QStyle::PE_IndicatorItemViewItemCheck && cell.area.contains(mark.box.center())
                        && bool(mark.state & QStyle::State_On) == ticked;
                });
                if (!drawn)
                    faults.append(QStringLiteral("cell %1, %2 of %3 draws no %4 check box")
                                      .arg(cell.index.row())
                                      .arg(cell.index.column())
                                      .arg(cell.table->objectName(), ticked ? "ticked" : "empty"));
            }
        }
    }

    static bool isWhole(const RenderedText &line)
    {
        return line.shown.width() >= line.box.width() - 1 && line.shown.height() >= line.box.height() - 1;
    }

    // Where `text` is drawn whole: as one line, or as lines that follow each other and read `text`
    // when joined by blanks, as a wrapped label draws it.
    static QList<QRectF> placesOf(const QList<RenderedText> &lines, const QString &text)
    {
        QList<QRectF> places;
        for (qsizetype first = 0; first < lines.size(); ++first) {
            QString read;
            QRectF box;
            for (qsizetype i = first; i < lines.size() && isWhole(lines[i]); ++i) {
                read += (read.isEmpty() ? QString() : QStringLiteral(" ")) + lines[i].text;
                box |= lines[i].shown;
                if (!text.startsWith(read))
                    break;
                if (read == text) {
                    places.append(box);
                    break;
                }
            }
        }
        return places;
    }

    // Renders `root` as the screen shows it and tells where an expected text is not drawn whole,
    // or not in its column when one is named, and where two texts are drawn over each other.
    static QStringList unshownIn(QWidget *root, const QList<Shown> &expected)
    {
        const auto cells = tableCells(root);
        TextRecordingDevice device(root->size());
        root->render(&device);
        const auto lines = drawnLines(device.drawn);
        QStringList faults;
        for (const auto &shown : expected) {
            QList<QRectF> places;
            if (shown.text == sortArrow || shown.text == tickedBox) {
                for (const auto &mark : device.primitives) {
                    if (shown.text == sortArrow ? mark.element == QStyle::PE_IndicatorHeaderArrow
                                                : mark.element == QStyle::PE_IndicatorItemViewItemCheck
                                                      && mark.state & QStyle::State_On)
                        places.append(mark.box);
                }
            } else {
                places = placesOf(lines, shown.text);
            }
            const auto columns = columnsTitled(root, shown.column);
            const auto inColumn = [&](const QRectF &place) {
                return std::any_of(columns.begin(), columns.end(), [&](const ColumnArea &column) {
                    return within(place, shown.text == sortArrow ? column.header : column.cells);
                });
            };
            const bool found = std::any_of(places.begin(), places.end(), [&](const QRectF &place) {
                return shown.column.isEmpty() || inColumn(place);
            });
            if (found)
                continue;
            QString fault = QStringLiteral("missing “") + shown.text + u'”';
            if (!shown.column.isEmpty())
                fault += QStringLiteral(" in column “") + shown.column
                         + (columns.isEmpty() ? QStringLiteral("” (no such column)") : QStringLiteral("”"));
            faults.append(fault);
        }
        verifyTablesDrawn(cells, device, lines, faults);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            for (qsizetype j = i + 1; j < lines.size(); ++j) {
                // A field draws its selected part again over itself, in the selection's colours.
                if (lines[i].text == lines[j].text && lines[i].box == lines[j].box)
                    continue;
                const auto a = lines[i].shown.adjusted(1, 1, -1, -1), b = lines[j].shown.adjusted(1, 1, -1, -1);
                if (a.isValid() && b.isValid() && a.intersects(b))
                    faults.append(QStringLiteral("“%1” at %2 drawn over “%3” at %4")
                                      .arg(lines[i].text, place(lines[i].shown), lines[j].text, place(lines[j].shown)));
            }
        }
        // A button, field or row painted later over a text hides it; a button over another one
        // hides that one's edge.
        const QHash<QStyle::PrimitiveElement, QString> panels{
            {QStyle::PE_PanelButtonCommand, "button"}, {QStyle::PE_PanelButtonTool, "tool button"},
            {QStyle::PE_PanelButtonBevel, "button"},   {QStyle::PE_PanelLineEdit, "field"},
            {QStyle::PE_PanelItemViewItem, "cell"},    {QStyle::PE_PanelItemViewRow, "row"}};
        for (const auto &panel : device.primitives) {
            const auto box = panel.box.adjusted(1, 1, -1, -1);
            if (!panels.contains(panel.element) || !box.isValid())
                continue;
            for (const auto &line : lines) {
                if (panel.order > line.order && box.intersects(line.shown.adjusted(1, 1, -1, -1)))
                    faults.append(QStringLiteral("“%1” at %2 covered by a %3 at %4")
                                      .arg(line.text, place(line.shown), panels[panel.element], place(panel.box)));
            }
            for (const auto &other : device.primitives) {
                if (other.order < panel.order && other.box != panel.box && panels.contains(other.element)
                    && panels[other.element].endsWith(u"button") && panels[panel.element].endsWith(u"button")
                    && box.intersects(other.box.adjusted(1, 1, -1, -1)))
                    faults.append(QStringLiteral("a %1 at %2 drawn over a %3 at %4")
                                      .arg(panels[panel.element], place(panel.box))
                                      .arg(panels[other.element], place(other.box)));
            }
        }
        if (!faults.isEmpty()) {
            if (faults.size() > 12)
                faults = faults.mid(0, 12) << QStringLiteral("… and %1 more").arg(faults.size() - 12);
            QStringList drawn;
            for (const auto &line : lines)
                drawn.append(line.text);
            faults.append(QStringLiteral("drawn: ") + drawn.join(QStringLiteral(" | ")));
        }
        return faults;
    }

    // Where a visible label or button does not show its whole text, unless it names something
    // from outside and cuts it at its end with "…", whole in its tooltip.
    static QStringList cutIn(QWidget *root)
    {
        QStringList faults;
        for (auto *label : root->findChildren<QLabel *>()) {
            if (!label->isVisibleTo(root) || label->text().isEmpty())
                continue;
            // A wrapped one has the height of all its lines.
            if (label->wordWrap()) {
                if (label->height() < label->heightForWidth(label->width()))
                    faults.append(QStringLiteral("%1 lacks the height of its lines").arg(label->text()));
                continue;
            }
            if (label->width() >= label->sizeHint().width())
                continue;
            const auto drawn = renderedTexts(label);
            if (!(drawn.size() == 1 && drawn[0].endsWith(u'…') && label->text().startsWith(drawn[0].chopped(1))
                  && tooltipShows(label->toolTip()) == label->text()))
                faults.append(label->text() + " drawn as " + drawn.join(" | ") + ", tooltip " + label->toolTip());
        }
        for (auto *button : root->findChildren<QAbstractButton *>()) {
            if (!button->isVisibleTo(root) || button->text().isEmpty())
                continue;
            const QString shown = button->text().chopped(1).replace("&&", "&");
            if ((!qobject_cast<ElidingButton *>(button) || !button->text().endsWith(u'…')
                 || !tooltipShows(button->toolTip()).startsWith(shown))
                && button->width() < button->sizeHint().width())
                faults.append(QStringLiteral("button “%1” cut").arg(button->text()));
        }
        // Pickers that size to their longest item show it whole, up to the width they may take; one
        // that names something from outside may give way, and cuts its chosen text at its end with
        // "…", whole in its tooltip.
        for (auto *picker : root->findChildren<QComboBox *>()) {
            if (!picker->isVisibleTo(root) || picker->sizeAdjustPolicy() != QComboBox::AdjustToContents
                || picker->width() >= std::min(picker->sizeHint().width(), picker->maximumWidth()))
                continue;
            auto *eliding = qobject_cast<ElidingComboBox *>(picker);
            const auto shown = eliding ? eliding->shownText() : picker->currentText();
            if (!(eliding && shown.endsWith(u'…') && picker->currentText().startsWith(shown.chopped(1))
                  && tooltipShows(picker->toolTip()) == picker->currentText()))
                faults.append(picker->objectName() + ": " + shown + ", tooltip " + picker->toolTip());
        }
        return faults;
    }

    // The texts of the sidebar rows that lie wholly inside its viewport.
    static QStringList visibleSidebarRows(QTreeView *sidebar)
    {
        QStringList rows;
        const auto *model = sidebar->model();
        for (int s = 0; s < model->rowCount(); ++s) {
            const auto section = model->index(s, 0);
            rows.append(section.data().toString());
            for (int r = 0; r < model->rowCount(section); ++r) {
                const auto row = model->index(r, 0, section);
                if (sidebar->viewport()->rect().contains(sidebar->visualRect(row)))
                    rows.append(row.data().toString());
            }
        }
        return rows;
    }

    // A week of believable top terms.
    struct WeeklyTerms : TopTermsProviding
    {
        qint64 total = 240;
        bool held = false; // the page never comes


        QCoro::Task<TopTermsResponse> topTerms(QString country, std::optional<QString>, std::optional<qint64>,
                                               std::optional<qint64>, std::optional<QString>, qint64, qint64 offset,
                                               CancelTokenPtr cancel) override
        {
            if (held) {
                co_await qCoro(cancel.get(), &CancelToken::cancelled);
                throw PopularityError(QStringLiteral("Cancelled."));
            }
            const QStringList words{"photo editor", "collage maker", "video editor", "camera", "filters", "selfie",
                                    "ai photo", "background remover", "retouch", "stickers", "vintage camera", "blur"};
            TopTermsResponse page{country, QStringLiteral("2026-11-30"),
                                  {"PHOTO_VIDEO", "PRODUCTIVITY_UTILITIES", "SOCIAL_NETWORKING"}, total, {}};
            for (qint64 i = offset; i < std::min<qint64>(total, offset + 200); ++i)
                page.items.append({words[i % words.size()] + (i < words.size() ? QString() : u' ' + QString::number(i)),
                                   100 - i * 95 / 240, i % 3 ? "PHOTO_VIDEO" : "PRODUCTIVITY_UTILITIES",
                                   i % 5 ? std::optional<qint64>(i / 3 + 1) : std::nullopt});
            co_return page;
        }
    };

private Q_SLOTS:
    void initTestCase()
    {
        // The same style, with its sort arrows and check boxes written down when rendered for a check.
        QApplication::setStyle(new RecordingStyle(QApplication::style()->name()));
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client);
        m_tracker = std::make_unique<RankTracker>(m_store.get(), &m_notifier);
        SeedAccount::seed(*m_store, *m_client);
    }

    void mainWindow()
    {
        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        window.resize(1200, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList expected{"Tools", "Keyword Research", "Alerts", "My Apps", "Competitors"};
        for (const auto &id : SeedAccount::ownApps + SeedAccount::competitors)
            expected.append(SeedAccount::nameOf(id));
        waitForNone([&] {
            const auto rows = visibleSidebarRows(window.findChild<QTreeView *>("sidebar"));
            QStringList missing;
            for (const auto &text : expected)
                missing += rows.contains(text) ? QStringList() : QStringList{"no sidebar row " + text};
            return missing;
        });
        QVERIFY(window.sidebarModel()->indexOf("tool.alerts").data(SidebarModel::BadgeRole).toLongLong() > 0);
        save(&window, "main-window");

        // A keyword's history beside the table.
        auto *table = window.findChild<KeywordTable *>();
        table->setSelection(QStringLiteral("editor collage"));
        QTRY_VERIFY(window.findChild<QWidget *>("historyPanel")->isVisible());
        save(&window, "app-detail-history");

        window.setSelection(QStringLiteral("tool.alerts"));
        save(&window, "alerts");
    }

    void detailAndAlerts_data()
    {
        QTest::addColumn<bool>("minimum"); // the window at its minimum size
        QTest::addColumn<QString>("run");  // the discovery banner: "", "running" or "ended"
        QTest::addColumn<QString>("shown"); // a text the banner shows
        QTest::addColumn<QString>("name");
        QTest::newRow("discovering") << false << "running" << "Round 2 · round 2 of 4" << "app-detail-discovering";
        QTest::newRow("discovered") << false << "ended" << "Discovery finished" << "app-detail-discovered";
        QTest::newRow("minimum size") << true << "" << "" << "app-detail-minimum";
    }

    void detailAndAlerts()
    {
        QFETCH(bool, minimum);
        QFETCH(QString, run);
        QFETCH(QString, shown);
        QFETCH(QString, name);
        const auto app = *m_store->app(SeedAccount::ownApps[0]);
        auto discovery = std::make_shared<DiscoveryRun>(QStringLiteral("us"), 300, 3);
        discovery->setRound(2);
        discovery->setPhase(QStringLiteral("Round 2"));
        discovery->setCandidates(412), discovery->setQueued(120), discovery->setSearched(run == "ended" ? 120 : 47);
        discovery->setFound(31), discovery->setNotFound(14), discovery->setFailed(2), discovery->setRelatedInspected(8);
        discovery->setIsRunning(run == "running");
        m_store->setDiscoveries(run.isEmpty() ? QHash<QString, std::shared_ptr<DiscoveryRun>>()
                                              : QHash<QString, std::shared_ptr<DiscoveryRun>>{{app.appleAppId + "|us", discovery}});

        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        window.resize(minimum ? window.minimumSize() : QSize(1200, 800));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), minimum ? QSize(1000, 640) : QSize(1200, 800));
        window.findChild<KeywordTable *>()->setSelection(QStringLiteral("editor collage"));
        QTRY_VERIFY(window.findChild<QWidget *>("historyPanel")->isVisible());
        if (!shown.isEmpty()) {
            const auto labels = window.findChildren<QLabel *>();
            QTRY_VERIFY(std::any_of(labels.begin(), labels.end(),
                                    [&](const QLabel *label) { return label->isVisible() && label->text() == shown; }));
        }
        save(&window, name);
        if (minimum) {
            window.setSelection(QStringLiteral("tool.alerts"));
            save(&window, "alerts-minimum");
        }
        m_store->setDiscoveries({});
    }

    void emptyAccount()
    {
        ASOStore store(StoreDb::openInMemory(), m_client);
        MainWindow window(&store, m_tracker.get(), nullptr);
        window.resize(1200, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (const auto *name : {"noAppsState", "detail"})
            QTRY_VERIFY(window.findChild<QWidget *>(name)->isVisible());
        save(&window, "main-window-empty");

        auto *sheet = window.openAddApp();
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        save(sheet, "add-app");
    }

    void researchScreen_data()
    {
        QTest::addColumn<QString>("terms");    // "weekly", "none", "held", or "" for no service
        QTest::addColumn<bool>("minimum");     // the window at its minimum size
        QTest::addColumn<QString>("expected"); // a text the screen must show
        QTest::addColumn<QString>("name");
        const QString loaded = "200 of 240 terms · Apple Ads, week of 2026-11-30";
        QTest::newRow("loaded") << "weekly" << false << loaded << "research";
        QTest::newRow("no service") << "" << false << "Try Again" << "research-unconfigured";
        QTest::newRow("loaded, minimum size") << "weekly" << true << loaded << "research-minimum";
        QTest::newRow("empty, minimum size") << "none" << true << "No terms match" << "research-empty-minimum";
        QTest::newRow("no service, minimum size") << "" << true << "Open Settings" << "research-unconfigured-minimum";
        QTest::newRow("loading, minimum size") << "held" << true << "Loading Apple’s most searched terms…"
                                               << "research-loading-minimum";
    }

    // The research screen in the window's detail column.
    void researchScreen()
    {
        QFETCH(QString, terms);
        QFETCH(bool, minimum);
        QFETCH(QString, expected);
        auto weekly = std::make_shared<WeeklyTerms>();
        weekly->total = terms == u"none" ? 0 : 240;
        weekly->held = terms == u"held";
        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        window.resize(minimum ? window.minimumSize() : QSize(1200, 800));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setSelection(QStringLiteral("tool.research"));
        // The window's own screen asks the configured service; this one asks the script instead.
        auto *own = window.findChild<ResearchView *>();
        QVERIFY(own);
        auto *view = new ResearchView(m_store.get(), own->parentWidget(),
                                      terms.isEmpty() ? ResearchModel::ProviderFactory()
                                                      : ResearchModel::ProviderFactory([weekly] { return weekly; }));
        delete own->parentWidget()->layout()->replaceWidget(own, view);
        own->hide();
        QTRY_VERIFY(view->model()->hasLoaded() || weekly->held);
        // Two rows chosen, to see that they stay readable.
        view->selectTerms({"camera", "selfie"});
        QCOMPARE(window.size(), minimum ? QSize(1000, 640) : QSize(1200, 800));
        const auto shown = [view] {
            QStringList texts;
            for (auto *label : view->findChildren<QLabel *>())
                texts.append(label->isVisible() ? label->text() : QString());
            for (auto *button : view->findChildren<QAbstractButton *>())
                texts.append(button->isVisible() ? button->text() : QString());
            return texts;
        };
        QTRY_VERIFY2(shown().contains(expected), qPrintable(shown().join(" | ")));
        QFETCH(QString, name);
        save(&window, name);
        // Every column in view without scrolling sideways.
        QTRY_COMPARE(view->findChild<QTableView *>()->horizontalScrollBar()->maximum(), 0);
    }

    void metadataSection_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("metadata") << QSize(1200, 800);
        QTest::newRow("metadata-minimum") << QSize(1000, 640);
    }

    // The editor with a draft that wastes characters, and words to add.
    void metadataSection()
    {
        QFETCH(QSize, size);
        const auto app = *m_store->app(SeedAccount::ownApps[0]);
        const auto rows = m_store->rows(app, QStringLiteral("us"));
        if (!rows.constFirst().popularity) {
            for (int i = 0; i < rows.size(); ++i) {
                KeywordMetric metric(rows[i].id, QStringLiteral("us"));
                metric.popularity = 5 + (i * 37) % 90;
                metric.popularitySourceRaw = QStringLiteral("APPLE_ADS_COUNTRY");
                metric.difficulty = (i * 53) % 100;
                m_store->db().insert(metric);
            }
            m_store->raiseDataVersion();
        }
        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        window.resize(size);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setSelection(SeedAccount::ownApps[0]);
        QTRY_VERIFY(window.findChild<QAbstractButton *>(QStringLiteral("sectionMetadata")));
        window.findChild<QAbstractButton *>(QStringLiteral("sectionMetadata"))->click();
        auto *view = window.findChild<MetadataView *>();
        QVERIFY(view);
        auto *editor = view->editor();
        QCOMPARE(editor->draft().targets->size(), MetadataEditor::defaultTargetCount);
        editor->setSubtitle(QStringLiteral("Collage & filter studio"));
        // Taken as an automatic change, so that the action row shows its Undo button too.
        editor->setKeywordField({});
        editor->applyKeywordField(QStringLiteral("photo, editor,the,filters,filter,collage,,retouch"));
        QTRY_VERIFY(!view->findChild<IssueList *>(QStringLiteral("issueList"))->issues().isEmpty());
        QTRY_VERIFY(!view->findChildren<QWidget *>(QStringLiteral("suggestionChip")).isEmpty());
        QTRY_VERIFY(view->findChild<QWidget *>(QStringLiteral("undoButton"))->isVisible());
        save(&window, QTest::currentDataTag());
        // The whole scrolled pane, down to the suggested words.
        save(view->findChild<QWidget *>(QStringLiteral("metadataFields")), QTest::currentDataTag() + QStringLiteral("-fields"));
        // The fields pane dragged to its narrowest.
        if (size.width() > 1000) {
            view->findChild<QSplitter *>()->setSizes({0, 100000});
            save(&window, QTest::currentDataTag() + QStringLiteral("-narrow"));
        }
    }

    void competitorsTabs()
    {
        // The first own app with two competitors, the first of which tracks keywords of its own,
        // searched without applying them, which would link them to the apps found.
        auto client = std::make_shared<FakeSearchClient>();
        ASOStore store(StoreDb::openInMemory(), client);
        SeedAccount::seed(store, *client, 120);
        store.deleteApp(*store.app(SeedAccount::competitors[2]));
        // The latest searches name each app's maker and genre, as Apple's do, for the suggestions.
        // A keyword whose only search fails, so that the section warns above its tab.
        const QString failing = QStringLiteral("photo booth");
        store.addKeywords({failing}, *store.app(SeedAccount::ownApps[0]));
        client->answer = [seeded = client->answer, failing](const QString &term) {
            if (term == failing)
                throw FakeSearchClient::failure();
            auto response = seeded(term);
            for (auto &hit : response.hits) {
                hit.developerName = hit.name + QStringLiteral(" Ltd.");
                hit.primaryGenre = QStringLiteral("Photo & Video");
            }
            return response;
        };
        for (const auto &keyword : store.linkedKeywords(*store.app(SeedAccount::ownApps[0])))
            QCoro::waitFor(store.observation(*store.keyword(keyword), QStringLiteral("us"), true));
        // A name as long as older store listings have, which must not widen the window.
        auto rival = *store.app(SeedAccount::competitors[0]);
        rival.name = QStringLiteral("Brightframe Studio – Photo Collage, Frames & Portrait Retouch Editor");
        store.db().update(rival);
        const QStringList theirs{"photo editor", "collage maker pro", "frame studio", "retouch portrait", "grid maker"};
        store.addKeywords(theirs, rival);
        for (const auto &term : theirs)
            QCoro::waitFor(store.observation(*store.keyword(KeywordText::normalize(term)), QStringLiteral("us"), true));
        store.raiseDataVersion();

        MainWindow window(&store, m_tracker.get(), nullptr);
        window.resize(window.minimumSize());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setSelection(SeedAccount::ownApps[0]);
        auto *detail = window.findChild<AppDetailView *>();
        QVERIFY(detail);
        detail->setSection(AppDetailView::Section::competitors);
        auto *section = detail->findChild<CompetitorsView *>();
        QVERIFY(section);
        const QList<std::pair<CompetitorTab, CompetitorsView::Content>> tabs{
            {CompetitorTab::suggested, CompetitorsView::Content::suggested},
            {CompetitorTab::compare, CompetitorsView::Content::compare},
            {CompetitorTab::gap, CompetitorsView::Content::gap}};
        for (const auto &[tab, content] : tabs) {
            const auto choose = [&] { section->setTab(tab); };
            tab == CompetitorTab::gap ? verifyGapWholeAtOnce(section, &window, choose) : choose();
            QTRY_COMPARE(section->shownContent(), content);
            if (auto *untracked = section->findChild<QTableView *>(QStringLiteral("untrackedTable"))) {
                // Two rows selected, to see that they stay readable.
                if (untracked->isVisibleTo(section))
                    QTRY_VERIFY(untracked->model()->rowCount() >= 2);
                untracked->selectRow(0);
                untracked->selectionModel()->select(untracked->model()->index(1, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
            save(&window, "competitors-" + CompetitorTabs::rawValue(tab).toLower().replace(u' ', u'-'));
            QCOMPARE(window.size(), window.minimumSize());
            // Every column in view without scrolling sideways.
            for (auto *table : section->findChildren<QTableView *>()) {
                if (table->isVisibleTo(section))
                    QTRY_VERIFY2(table->horizontalScrollBar()->maximum() == 0, qPrintable(table->objectName()));
            }
        }

        // A competitor whose only keyword the app tracks too: the lower pane has nothing new.
        const auto other = *store.app(SeedAccount::competitors[1]);
        store.addKeywords({QStringLiteral("photo editor")}, other);
        store.raiseDataVersion();
        auto *picker = section->findChild<QComboBox *>(QStringLiteral("competitorPicker"));
        QTRY_VERIFY(picker->findData(other.appleAppId) >= 0);
        verifyGapWholeAtOnce(section, &window, [&] { Q_EMIT picker->activated(picker->findData(other.appleAppId)); });
        save(&window, "competitors-keyword-gap-nothing-new");
        // Laid out for the short name, so that the long one next needs lines the panes lack.
        for (const auto *name : {"opportunitiesDescription", "untrackedDescription"}) {
            auto *description = section->findChild<QLabel *>(name);
            QTRY_COMPARE(description->height(), description->heightForWidth(description->width()));
        }

        // One that tracks no keyword under a name that takes the state's title to two lines, in
        // a lower pane that the warning leaves short.
        TrackedApp idle(AppInfo{"2009", "Frame & Layout Studio – Collage Maker, Photo Grid & Sticker Editor"}, false);
        idle.trackedCountries = {"us"};
        store.db().insert(idle);
        store.raiseDataVersion();
        QTRY_VERIFY(picker->findData(idle.appleAppId) >= 0);
        verifyGapWholeAtOnce(section, &window, [&] { Q_EMIT picker->activated(picker->findData(idle.appleAppId)); });
        save(&window, "competitors-keyword-gap-none-tracked",
             gapTexts(idle.name)
                 + QList<Shown>{{"No gaps among your keywords"}, {"No keywords tracked for " + idle.name},
                                {"Discover Keywords for " + idle.name}});
    }

    // Every screen that names an app, for an own app with a long name and maker, one with a name of
    // thirty characters, and competitors called "Tom & Jerry Studio", longer and in one long word
    // (tracking no keyword), longer still, and in thirty capitals, at the least and a large window
    // size, with History closed and open.
    void longNames_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("history");
        for (const QSize size : {QSize(1000, 640), QSize(1440, 900)}) {
            QTest::addRow("%dx%d", size.width(), size.height()) << size << false;
            QTest::addRow("%dx%d-history", size.width(), size.height()) << size << true;
        }
    }

    void longNames()
    {
        QFETCH(QSize, size);
        QFETCH(bool, history);
        const QString tag = QTest::currentDataTag(), tom = "Tom & Jerry Studio",
                      longer = "Tom & Jerry Studio – Cartoon Maker, Stickers & Funny Photo Frames Deluxe";
        auto client = std::make_shared<FakeSearchClient>();
        ASOStore store(StoreDb::openInMemory(), client);
        SeedAccount::seed(store, *client, 120);
        auto own = *store.app(SeedAccount::ownApps[0]);
        own.name = "Lumen Photo Editor: Collage Maker, Filters, Retouch & Layout Studio Pro";
        own.developerName = "Lumen Labs International Software Development and Digital Imaging Company Limited";
        own.primaryGenre = "Photo & Video", own.version = "12.4.1", own.averageRating = 4.62, own.ratingCount = 12840;
        own.storeURL = QUrl("https://apps.apple.com/us/app/lumen/id1001");
        store.db().update(own);
        auto rival = *store.app(SeedAccount::competitors[0]);
        rival.name = longer;
        rival.developerName = "Tom & Jerry Studio International Entertainment Software Ltd.";
        store.db().update(rival);
        // Competitors that track no keyword, under a short name, a long one and one long word.
        const QList<std::pair<QString, QString>> idle{
            {"tom", tom}, {"frame", "Frame & Layout Studio – Collage Maker, Photo Grid & Sticker Editor"},
            {"word", "FrameLayoutCollageStudioInternational"}};
        for (qsizetype i = 0; i < idle.size(); ++i) {
            TrackedApp app(AppInfo{QString::number(2009 + i), idle[i].second}, false);
            app.developerName = rival.developerName;
            app.trackedCountries = {"us"};
            store.db().insert(app);
        }
        // Apps whose names of 30 characters, one in capitals, are read whole in their header.
        auto notes = *store.app(SeedAccount::ownApps[1]);
        notes.name = "Quiet Notes: Journal & Planner";
        notes.developerName = own.developerName;
        store.db().update(notes);
        TrackedApp capitals(AppInfo{"2012", "MEGA WORKOUT: HIIT & GYM TIMER"}, false);
        capitals.developerName = rival.developerName;
        capitals.trackedCountries = {"us"};
        store.db().insert(capitals);
        // An alert of the own app under its long name, newest in the list.
        RankAlert renamed;
        renamed.id = QUuid::createUuid();
        renamed.appleAppId = own.appleAppId, renamed.appName = own.name;
        renamed.keywordNormalized = renamed.keywordDisplay = "photo editor";
        renamed.country = "us", renamed.kindRaw = "ENTERED_TOP_10", renamed.fromRank = 12, renamed.toRank = 4;
        renamed.createdAt = QDateTime::currentDateTimeUtc();
        store.db().insert(renamed);
        store.raiseDataVersion();

        MainWindow window(&store, m_tracker.get(), nullptr);
        window.resize(size);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setSelection(own.appleAppId);
        auto *detail = window.findChild<AppDetailView *>();
        if (history) {
            detail->findChild<KeywordTable *>()->setSelection(QStringLiteral("editor collage"));
            QTRY_VERIFY(window.findChild<QWidget *>("historyPanel")->isVisible());
        }
        QCOMPARE(window.size(), size);
        const QList<Shown> header{{"My App"}, {"Tracked"}, {"Ranking"}, {"Top 10"}, {"Competitors"}, {"App Store"}};
        save(&window, "long-names-detail-" + tag, header);

        for (const auto &[app, shot] : {std::pair{notes, "30-characters"}, std::pair{capitals, "30-capitals"}}) {
            window.setSelection(app.appleAppId);
            qobject_cast<AppDetailView *>(window.detail())->setShowInspector(history);
            QList<Shown> named{{app.name}, {app.isOwn ? "My App" : "Competitor"}, {"Tracked"}, {"Top 10"}};
            if (history)
                named += QList<Shown>{{"Select a keyword"}, {"Its ranking history appears here."}};
            save(&window, QStringLiteral("long-names-detail-%1-").arg(shot) + tag, named);
        }
        if (history)
            return; // the other sections hide the panel

        window.setSelection(own.appleAppId);
        detail = qobject_cast<AppDetailView *>(window.detail());
        detail->setSection(AppDetailView::Section::competitors);
        auto *section = detail->findChild<CompetitorsView *>();
        auto competitors = idle;
        competitors.append({"longer", longer});
        for (qsizetype i = 0; i < competitors.size(); ++i) {
            const auto &[name, competitor] = competitors[i];
            auto *picker = section->findChild<QComboBox *>(QStringLiteral("competitorPicker"));
            Q_EMIT picker->activated(picker->findData(i < idle.size() ? QString::number(2009 + i) : rival.appleAppId));
            for (const auto tab : {CompetitorTab::compare, CompetitorTab::gap}) {
                const auto choose = [&] { section->setTab(tab); };
                tab == CompetitorTab::gap ? verifyGapWholeAtOnce(section, &window, choose) : choose();
                QTRY_COMPARE(section->shownContent(), tab == CompetitorTab::gap ? CompetitorsView::Content::gap
                                                                                : CompetitorsView::Content::compare);
                const QList<Shown> gap = gapTexts(competitor)
                    + (i < idle.size() ? QList<Shown>{{"No gaps among your keywords"}, {"No keywords tracked for " + competitor}}
                                       : QList<Shown>{{"Nothing new"}, {"This app already tracks every keyword tracked for " + longer + "."}});
                save(&window, QStringLiteral("long-names-competitors-%1-%2-%3").arg(CompetitorTabs::rawValue(tab).toLower().replace(u' ', u'-'), name, tag),
                     header + (tab == CompetitorTab::gap ? gap : QList<Shown>{}));
            }
        }
        detail->setSection(AppDetailView::Section::metadata);
        QTRY_VERIFY(detail->findChild<MetadataView *>() && detail->findChild<MetadataView *>()->isVisible());
        save(&window, "long-names-metadata-" + tag, header);

        window.setSelection(QStringLiteral("tool.alerts"));
        auto *apps = window.findChild<QComboBox *>("appFilter");
        QTRY_VERIFY(apps->findData(own.appleAppId) > 0);
        Q_EMIT apps->activated(apps->findData(own.appleAppId));
        QCOMPARE(apps->currentText(), own.name);
        save(&window, "long-names-alerts-" + tag, {{"All changes"}, {"Unread"}, {"Mark All Read"}, {"photo editor"}});
        auto *kinds = window.findChild<QComboBox *>("kindFilter");
        kinds->showPopup();
        QVERIFY(QTest::qWaitForWindowExposed(kinds->view()->window()));
        save(kinds->view()->window(), "long-names-alert-kinds-" + tag, {{"Entered top 10"}, {"Moved down"}});
        kinds->hidePopup();
    }

    void settingsTabs()
    {
        SettingsWindow window(m_tracker.get());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *tabs = window.findChild<QTabWidget *>();
        const QStringList names{"Search", "Discovery", "Storefronts", "Tracking"};
        QCOMPARE(tabs->count(), names.size());
        for (int i = 0; i < tabs->count(); ++i) {
            QCOMPARE(tabs->tabText(i), names[i]);
            tabs->setCurrentIndex(i);
            save(&window, "settings-" + names[i].toLower());
        }
    }

    // The add-app sheet in its states: every text whole, the sheet grown to hold it.
private:
    // Looks apps up behind a gate, then fails with `failure` (an unknown app when empty).
    struct SheetClient : FakeSearchClient
    {
        CancelTokenPtr gate = CancelToken::create();
        QString failure;
        QCoro::Task<std::optional<AppInfo>> lookup(QString, QString, CancelTokenPtr) override
        {
            if (!gate->isCancelled())
                co_await qCoro(gate.get(), &CancelToken::cancelled);
            if (!failure.isEmpty())
                throw AppleRequestError(AppleRequestError::Kind::network, std::nullopt, failure, 3);
            co_return std::nullopt;
        }
    };

    // Besides what cutIn finds: wrapped labels have the height of all their lines, and nothing
    // reaches past the sheet's edge.
    static void verifySheetWhole(QWidget *sheet)
    {
        waitForNone([sheet] {
            auto faults = cutIn(sheet);
            for (auto *widget : sheet->findChildren<QWidget *>()) {
                if (!widget->isVisibleTo(sheet))
                    continue;
                if (!sheet->rect().contains(QRect(widget->mapTo(sheet, QPoint()), widget->size())))
                    faults.append(widget->objectName() + " reaches past the sheet");
                if (auto *label = qobject_cast<QLabel *>(widget);
                    label && label->wordWrap() && label->height() < label->heightForWidth(label->width()))
                    faults.append(label->text() + " lacks the height of its lines");
                if (auto *bar = qobject_cast<QProgressBar *>(widget); bar && bar->height() < bar->sizeHint().height())
                    faults.append(QStringLiteral("progress bar too low"));
            }
            return faults;
        });
    }

private Q_SLOTS:
    void addAppSheetStates_data()
    {
        QTest::addColumn<QString>("failure"); // empty: the app is unknown
        QTest::addColumn<int>("lines");       // of the error
        QTest::addColumn<bool>("removal");    // the request waits for the app's earlier removal first
        QTest::newRow("one-line error") << "Connection refused" << 1 << false;
        QTest::newRow("two-line error") << "" << 2 << false;
        QTest::newRow("three-line error")
            << "Error transferring https://itunes.apple.com/lookup?id=284882215&country=us - server replied: "
               "Service Temporarily Unavailable. The connection was closed before the answer was complete."
            << 3 << false;
        QTest::newRow("waiting for the earlier removal") << "" << 2 << true;
    }

    void addAppSheetStates()
    {
        QFETCH(QString, failure);
        QFETCH(int, lines);
        QFETCH(bool, removal);
        auto client = std::make_shared<SheetClient>();
        client->failure = failure;
        ASOStore store(StoreDb::openInMemory(), client);
        MainWindow window(&store, m_tracker.get(), nullptr);
        window.show();
        auto *sheet = window.openAddApp();
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        const int idle = sheet->height();
        sheet->findChild<QLineEdit *>("addAppInput")->setText("284882215");
        QSignalSpy finished(sheet, &AddAppDialog::requestFinished);
        sheet->submit();
        QVERIFY(sheet->isWorking());
        QVERIFY(sheet->findChild<QProgressBar *>("addAppBusy")->isVisible());
        QCOMPARE(sheet->findChild<QPushButton *>("addAppSubmit")->text(), "Add && Discover");
        verifySheetWhole(sheet);
        save(sheet, "add-app-busy");
        auto *removalWait = sheet->findChild<QLabel *>("addAppRemovalWait");
        if (removal) {
            Q_EMIT store.removalAwaited("284882215");
            QTRY_VERIFY(removalWait->isVisible() && sheet->height() > idle);
            verifySheetWhole(sheet);
            save(sheet, "add-app-waiting-for-removal");
        }

        client->gate->cancel();
        QTRY_COMPARE(finished.size(), 1);
        auto *error = sheet->findChild<QLabel *>("addAppError");
        QTRY_VERIFY(error->isVisible() && removalWait->isHidden());
        QTRY_COMPARE(error->heightForWidth(error->width()) / error->fontMetrics().lineSpacing(), lines);
        QTRY_VERIFY(sheet->height() > idle);
        verifySheetWhole(sheet);
        save(sheet, QStringLiteral("add-app-error-%1-lines").arg(lines));
    }
};

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"
