#include "ui/metadata/MetadataEditor.h"

#include "store/ASOStore.h"
#include "support/Unicode.h"

#include <algorithm>

namespace {

QStringList sorted(QStringList ids)
{
    std::sort(ids.begin(), ids.end(), Unicode::lessThan);
    return ids;
}

}

QString TargetFilters::rawValue(TargetFilter filter)
{
    switch (filter) {
    case TargetFilter::all:
        return QStringLiteral("All");
    case TargetFilter::targets:
        return QStringLiteral("Targets");
    case TargetFilter::uncovered:
        return QStringLiteral("Missing");
    }
    return {};
}

MetadataEditor::MetadataEditor(ASOStore *store, QString appleAppId, QString country, QObject *parent)
    : QObject(parent), m_store(store), m_appleAppId(std::move(appleAppId)), m_country(std::move(country))
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    if (app) {
        m_appName = app->name;
        m_draft = m_store->metadataDraft(*app);
    }
    readRows();
    derive(true, true, true);
    if (m_store) {
        connect(m_store, &ASOStore::dataVersionSettled, this, [this] {
            const auto count = m_rows.size();
            readRows();
            derive(false, false, true);
            Q_EMIT rowsChanged();
            if (m_rows.size() != count)
                applyDefaultTargets();
        });
    }
}

void MetadataEditor::setCountry(const QString &country)
{
    if (country == m_country)
        return;
    m_country = country;
    const auto count = m_rows.size();
    readRows();
    derive(false, false, true);
    Q_EMIT rowsChanged();
    if (m_rows.size() != count)
        applyDefaultTargets();
}

void MetadataEditor::setFilter(TargetFilter filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    Q_EMIT filterChanged();
}

std::optional<MetadataOptimizer::Coverage> MetadataEditor::coverage(const QString &id) const
{
    const auto found = m_coverageIndex.constFind(id);
    if (found == m_coverageIndex.cend())
        return std::nullopt;
    return m_rowCoverage.at(*found);
}

qsizetype MetadataEditor::chosenCount() const
{
    return std::count_if(m_selection.cbegin(), m_selection.cend(),
                         [this](const QString &id) { return m_coverageIndex.contains(id); });
}

bool MetadataEditor::shows(const KeywordRow &row) const
{
    switch (m_filter) {
    case TargetFilter::all:
        return true;
    case TargetFilter::targets:
        return isTarget(row.id);
    case TargetFilter::uncovered:
        if (!isTarget(row.id))
            return false;
        // A target without a coverage record is not counted as missing.
        const auto covered = coverage(row.id);
        return covered && !covered->covered;
    }
    return true;
}

void MetadataEditor::setTitle(const QString &title)
{
    auto draft = m_draft;
    draft.title = title;
    setDraft(std::move(draft));
}

void MetadataEditor::setSubtitle(const QString &subtitle)
{
    auto draft = m_draft;
    draft.subtitle = subtitle;
    setDraft(std::move(draft));
}

void MetadataEditor::setKeywordField(const QString &keywordField)
{
    auto draft = m_draft;
    draft.keywordField = keywordField;
    setDraft(std::move(draft));
}

void MetadataEditor::applyKeywordField(const QString &keywordField)
{
    if (keywordField == m_draft.keywordField)
        return;
    m_undoKeywordField = m_draft.keywordField;
    setKeywordField(keywordField);
    Q_EMIT undoChanged();
}

void MetadataEditor::autoFill(bool keepExisting)
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    if (!app)
        return;
    const auto rows = m_store->rows(*app, m_country);
    const auto targets = optimizerTargets(rows, m_selection);
    const QStringList keep = keepExisting ? QStringList{m_draft.keywordField} : QStringList{};
    applyKeywordField(MetadataOptimizer::buildKeywordField(m_draft.title, m_draft.subtitle, keep, targets));
}

void MetadataEditor::tidyKeywordField()
{
    applyKeywordField(MetadataOptimizer::tidyKeywordField(m_draft.title, m_draft.subtitle, m_draft.keywordField));
}

void MetadataEditor::undoLastChange()
{
    if (!m_undoKeywordField)
        return;
    const auto previous = *m_undoKeywordField;
    setKeywordField(previous);
    m_undoKeywordField.reset();
    Q_EMIT undoChanged();
}

void MetadataEditor::resetDraft()
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    if (!app)
        return;
    m_appName = app->name;
    MetadataDraft draft;
    draft.title = app->name;
    draft.targets = m_draft.targets;
    draft.updatedAt = QDateTime::currentDateTimeUtc();
    setDraft(std::move(draft));
    if (m_undoKeywordField) {
        m_undoKeywordField.reset();
        Q_EMIT undoChanged();
    }
}

void MetadataEditor::addSuggestedWord(const QString &word)
{
    const auto trimmed = trimmedField(m_draft.keywordField);
    applyKeywordField(trimmed.isEmpty() ? word : trimmed + u',' + word);
}

void MetadataEditor::setTarget(const QString &id, bool isOn)
{
    auto selection = m_selection;
    if (isOn)
        selection.insert(id);
    else
        selection.remove(id);
    setTargetList(selection.values());
}

void MetadataEditor::selectTopTargets()
{
    setTargetList(suggestedTargets(m_rows, defaultTargetCount));
}

void MetadataEditor::selectAllShown(const QStringList &ids)
{
    auto selection = m_selection;
    for (const auto &id : ids)
        selection.insert(id);
    setTargetList(selection.values());
}

void MetadataEditor::selectNoTargets()
{
    setTargetList({});
}

void MetadataEditor::applyDefaultTargets()
{
    if (m_draft.targets)
        return;
    const auto suggested = suggestedTargets(m_rows, defaultTargetCount);
    if (suggested.isEmpty())
        return; // tried again when the number of rows changes
    auto draft = m_draft;
    draft.targets = suggested;
    setDraft(std::move(draft));
}

QString MetadataEditor::trimmedField(const QString &keywordField)
{
    const auto strip = [](QChar c) { return c == u',' || c == u' '; };
    qsizetype begin = 0;
    qsizetype end = keywordField.size();
    while (begin < end && strip(keywordField[begin]))
        ++begin;
    while (end > begin && strip(keywordField[end - 1]))
        --end;
    return keywordField.sliced(begin, end - begin);
}

qsizetype MetadataEditor::keywordFieldBase(const QString &keywordField)
{
    const auto trimmed = trimmedField(keywordField);
    return Unicode::characterCount(trimmed) + (trimmed.isEmpty() ? 0 : 1);
}

bool MetadataEditor::fitsAfter(qsizetype base, const QString &word)
{
    return base + Unicode::characterCount(word) <= MetadataOptimizer::keywordsLimit;
}

bool MetadataEditor::fitsInKeywordField(const QString &keywordField, const QString &word)
{
    return fitsAfter(keywordFieldBase(keywordField), word);
}

QString MetadataEditor::issueAdvice(const MetadataOptimizer::Issue &issue)
{
    using Kind = MetadataOptimizer::IssueKind;
    using Field = MetadataOptimizer::Field;
    switch (issue.kind) {
    case Kind::spaceAfterComma:
        return QStringLiteral("Write “word,word” — Apple splits on commas, so spaces only cost characters.");
    case Kind::emptyTerm:
        return QStringLiteral("Each extra comma costs a character.");
    case Kind::duplicateWord:
        return issue.field == Field::subtitle ? QStringLiteral("Replace it in the subtitle with a new word.")
                                              : QStringLiteral("Keep it once.");
    case Kind::alreadyInName:
        return QStringLiteral("Remove it from the keyword field and use the space for a new word.");
    case Kind::fillerWord:
        return QStringLiteral("Apple largely ignores it in search; use the space for a meaningful word.");
    case Kind::pluralDuplicate:
        return QStringLiteral("Apple matches singular and plural forms; one is enough.");
    case Kind::overLimit:
        break;
    }
    QString field;
    switch (issue.field) {
    case Field::title:
        field = QStringLiteral("title");
        break;
    case Field::subtitle:
        field = QStringLiteral("subtitle");
        break;
    case Field::keywords:
        field = QStringLiteral("keyword field");
        break;
    }
    return QStringLiteral("App Store Connect won’t accept it. Shorten the ") + field + u'.';
}

QString MetadataEditor::suggestionHelp(const MetadataOptimizer::Suggestion &suggestion, bool fits)
{
    QStringList sentences{QStringLiteral("Costs ") + QString::number(Unicode::characterCount(suggestion.word) + 1)
                          + QStringLiteral(" characters.")};
    if (!suggestion.completes.isEmpty())
        sentences.append(QStringLiteral("Completes: ") + suggestion.completes.join(QStringLiteral(", ")) + u'.');
    if (!fits)
        sentences.append(QStringLiteral("Doesn’t fit in the remaining keyword-field space."));
    return sentences.join(u' ');
}

void MetadataEditor::setDraft(MetadataDraft draft)
{
    if (draft == m_draft)
        return;
    const bool targets = draft.targets != m_draft.targets;
    const bool texts = draft.title != m_draft.title || draft.subtitle != m_draft.subtitle
        || draft.keywordField != m_draft.keywordField;
    m_draft = std::move(draft);
    if (m_store)
        m_store->saveMetadataDraft(m_draft, m_appleAppId);
    derive(targets, texts, false);
    if (targets)
        Q_EMIT targetsChanged();
    Q_EMIT draftChanged();
}

void MetadataEditor::setTargetList(QStringList ids)
{
    auto draft = m_draft;
    draft.targets = sorted(std::move(ids));
    setDraft(std::move(draft));
}

void MetadataEditor::readRows()
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    if (app)
        m_appName = app->name;
    m_rows = app ? m_store->rows(*app, m_country) : QList<KeywordRow>{};
}

void MetadataEditor::derive(bool targets, bool texts, bool rows)
{
    if (targets) {
        m_selection.clear();
        if (m_draft.targets)
            m_selection = QSet<QString>(m_draft.targets->cbegin(), m_draft.targets->cend());
    }
    if (targets || rows)
        m_targets = optimizerTargets(m_rows, m_selection);
    if (rows) {
        m_rowTargets.clear();
        m_rowTargets.reserve(m_rows.size());
        for (const auto &row : std::as_const(m_rows))
            m_rowTargets.append({row.id, row.popularity, row.difficulty});
    }
    m_analysis = MetadataOptimizer::analyze(m_draft.title, m_draft.subtitle, m_draft.keywordField, m_targets);
    if (!texts && !rows)
        return;

    auto coverage = MetadataOptimizer::coverage(m_draft.title, m_draft.subtitle, m_draft.keywordField, m_rowTargets);
    if (rows) {
        m_rowCoverage = std::move(coverage);
        m_coverageIndex.clear();
        m_coverageIndex.reserve(m_rowCoverage.size());
        for (qsizetype i = 0; i < m_rowCoverage.size(); ++i)
        {
            if (!m_coverageIndex.contains(m_rowCoverage[i].keyword)) // the first of a keyword wins
                m_coverageIndex.insert(m_rowCoverage[i].keyword, i);
        }
        return;
    }
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i < coverage.size(); ++i) {
        if (coverage[i] == m_rowCoverage[i])
            continue;
        if (first < 0)
            first = i;
        last = i;
    }
    m_rowCoverage = std::move(coverage);
    if (first >= 0)
        Q_EMIT coverageChanged(int(first), int(last));
}
