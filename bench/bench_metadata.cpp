// The metadata editor with a long keyword field, on an app with 2,000 keyword rows and 10 targets.
// Nothing caps typing, so the window's cost must follow what it shows, not the field's length:
//   metadata_paste/<n>: <n> characters of repeated words put into the empty keyword field in one
//     change (a paste), analysed and painted (target: 100 ms at 5,000, growing no faster than
//     linearly); metadata_paste/fdfa_1000: the same with 1,000 x U+FDFA, each of which reads as
//     four words;
//   metadata_keystroke_after/<n>: one character typed at the end of such a field, or taken back
//     (target: 100 ms at 5,000; one frame, 16 ms, at 100 characters);
//   metadata_open/<n>: the section opened and painted on a stored draft that holds such a field
//     (target: 100 ms);
//   metadata_analysis/<n>: the optimiser's analysis and the rows' coverage of such a field alone,
//     the floor of the rows above.
// Times are wall-clock and the main thread's CPU time; everything runs on the main thread.
#include "store/ASOStore.h"
#include "store/Settings.h"
#include "ui/metadata/MetadataEditor.h"
#include "ui/metadata/MetadataView.h"
#include "workflows/MetadataDraft.h"

#include "Painting.h"
#include "TrackedAccounts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <functional>

namespace {

ASOStore &keywordsStore(TrackedApp &app)
{
    static TrackedApp stored;
    static const auto store = TrackedAccounts::rowsStore(stored);
    app = stored;
    return *store;
}

// Painted and settled: a layout pass after the paint counts; a long paste may take minutes.
bool paint(QWidget *window, QWidget *painted)
{
    return Painting::paint(window, painted, 600000, true);
}

// Words that a user might paste, with the spaces after commas that a paste often brings; cut to
// `length` characters.
QString repeatedWords(int length)
{
    const QString words = QStringLiteral("photo editor, camera,filters, collage maker,selfie, beauty,retouch,blur, ");
    QString text;
    while (text.size() < length)
        text += words;
    text.truncate(length);
    return text;
}

QString fdfa(int count)
{
    return QString(count, QChar(0xFDFA));
}

// Stores a draft of the rows' app with the keyword field and its 10 default targets, or none.
void storeDraft(const QString &keywordField)
{
    TrackedApp app;
    auto &store = keywordsStore(app);
    Settings::shared().remove(MetadataDraft::settingsKey(app.appleAppId));
    if (keywordField.isNull()) {
        QCoreApplication::processEvents();
        return;
    }
    const auto rows = store.rows(app, QStringLiteral("us"));
    MetadataDraft draft{app.name, {}, keywordField, suggestedTargets(rows, MetadataEditor::defaultTargetCount),
                        QDateTime::currentDateTimeUtc()};
    store.saveMetadataDraft(draft, app.appleAppId);
    QCoreApplication::processEvents(); // the settings are written out here, not in the timing
}

// The section of the rows' app on its stored draft, with 10 targets chosen.
struct Section
{
    explicit Section(benchmark::State &state)
    {
        auto &store = keywordsStore(app);
        view = std::make_unique<MetadataView>(&store, app.appleAppId, QStringLiteral("us"));
        view->resize(1000, 760);
        if (view->editor()->targets().size() != MetadataEditor::defaultTargetCount)
            state.SkipWithError("the editor did not choose 10 targets");
        field = view->findChild<QPlainTextEdit *>(QStringLiteral("keywordField"));
        coverage = view->findChild<QWidget *>(QStringLiteral("coverageBlock"));
    }

    bool paint() { return ::paint(view.get(), coverage); }

    TrackedApp app;
    std::unique_ptr<MetadataView> view;
    QPlainTextEdit *field = nullptr;
    QWidget *coverage = nullptr;
};

void metadata_paste(benchmark::State &state, const QString &text)
{
    storeDraft({});
    Section section(state);
    section.paint();
    section.field->setFocus();
    for (auto _ : state) {
        // One change, as a paste makes it.
        section.field->insertPlainText(text);
        if (!section.paint())
            state.SkipWithError("the coverage was never painted again");
        state.PauseTiming();
        section.field->clear();
        section.paint();
        state.ResumeTiming();
    }
}

void metadata_keystroke_after(benchmark::State &state, const QString &text)
{
    storeDraft({});
    Section section(state);
    section.field->setPlainText(text);
    section.paint();
    section.field->setFocus();
    section.field->moveCursor(QTextCursor::End);
    bool longer = false;
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, longer ? Qt::Key_Backspace : Qt::Key_X, Qt::NoModifier,
                        longer ? QString() : QStringLiteral("x"));
        QCoreApplication::sendEvent(section.field, &press);
        longer = !longer;
        if (!section.paint())
            state.SkipWithError("the coverage was never painted again");
    }
}

void metadata_open(benchmark::State &state, const QString &text)
{
    for (auto _ : state) {
        state.PauseTiming();
        storeDraft(text);
        std::optional<Section> section;
        state.ResumeTiming();
        section.emplace(state);
        if (!section->paint())
            state.SkipWithError("the section was never painted");
        state.PauseTiming();
        section.reset();
        state.ResumeTiming();
    }
}

void metadata_analysis(benchmark::State &state, const QString &text)
{
    TrackedApp app;
    auto &store = keywordsStore(app);
    const auto rows = store.rows(app, QStringLiteral("us"));
    const auto chosen = suggestedTargets(rows, MetadataEditor::defaultTargetCount);
    const auto targets = optimizerTargets(rows, QSet<QString>(chosen.cbegin(), chosen.cend()));
    QList<MetadataOptimizer::Target> rowTargets;
    for (const auto &row : rows)
        rowTargets.append({row.id, row.popularity, row.difficulty});
    for (auto _ : state) {
        benchmark::DoNotOptimize(MetadataOptimizer::analyze(app.name, {}, text, targets));
        benchmark::DoNotOptimize(MetadataOptimizer::coverage(app.name, {}, text, rowTargets));
    }
}

void registerSeries(const char *name, void (*run)(benchmark::State &, const QString &), const QList<int> &lengths)
{
    std::vector<std::pair<std::string, QString>> texts;
    for (const int length : lengths)
        texts.emplace_back(std::to_string(length), repeatedWords(length));
    texts.emplace_back("fdfa_1000", fdfa(1000));
    for (const auto &[suffix, text] : texts) {
        benchmark::RegisterBenchmark((std::string(name) + '/' + suffix).c_str(),
                                     [run, text = text](benchmark::State &state) { run(state, text); })
            ->Unit(benchmark::kMillisecond);
    }
}

}

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    TrackedAccounts::useWorkDir(dir);
    QApplication application(argc, argv);
    TrackedApp app;
    keywordsStore(app); // made before any timing

    registerSeries("metadata_analysis", metadata_analysis, {100, 1000, 5000, 10000});
    registerSeries("metadata_paste", metadata_paste, {100, 1000, 5000, 10000});
    registerSeries("metadata_keystroke_after", metadata_keystroke_after, {100, 1000, 5000, 10000});
    registerSeries("metadata_open", metadata_open, {1000, 5000, 10000});
    return BenchRun::run(argc, argv);
}
