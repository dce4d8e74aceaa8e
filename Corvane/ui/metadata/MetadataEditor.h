#pragma once

#include "keywords/MetadataOptimizer.h"
#include "store/KeywordRow.h"
#include "workflows/MetadataDraft.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class ASOStore;

// Which rows the target keyword table shows.
enum class TargetFilter { all, targets, uncovered };

namespace TargetFilters {
inline constexpr std::array allCases{TargetFilter::all, TargetFilter::targets, TargetFilter::uncovered};
// "All", "Targets", "Missing".
QString rawValue(TargetFilter filter);
}

// The state of an app's metadata editor and everything derived from it: the draft of the name,
// subtitle and keyword field with its target keywords, a one-step undo of the last automatic
// change to the keyword field, and the target table's filter; from them and the app's keyword
// rows in the storefront, the optimiser's analysis and every row's coverage.
//
// The draft is read once, when the editor is made, and saved on every change after that. The
// editor holds the app's ID and reads the app again where it needs it, so a removed app makes
// its actions do nothing.
class MetadataEditor : public QObject
{
    Q_OBJECT
public:
    static constexpr int defaultTargetCount = 10;

    MetadataEditor(ASOStore *store, QString appleAppId, QString country, QObject *parent = nullptr);

    QString appleAppId() const { return m_appleAppId; }
    QString country() const { return m_country; }
    // Keeps the draft, the undo step and the filter; only the rows change.
    void setCountry(const QString &country);
    // The app's current name, as last read.
    QString appName() const { return m_appName; }

    const MetadataDraft &draft() const { return m_draft; }
    const std::optional<QString> &undoKeywordField() const { return m_undoKeywordField; }
    TargetFilter filter() const { return m_filter; }
    void setFilter(TargetFilter filter);

    const QList<KeywordRow> &rows() const { return m_rows; }
    // The chosen targets (the draft's list as a set).
    const QSet<QString> &selection() const { return m_selection; }
    bool isTarget(const QString &id) const { return m_selection.contains(id); }
    // The chosen targets that have a row here, with their popularity and difficulty.
    const QList<MetadataOptimizer::Target> &targets() const { return m_targets; }
    const MetadataOptimizer::Analysis &analysis() const { return m_analysis; }
    // Whether the name, subtitle and keyword field cover the row's keyword; one per row.
    std::optional<MetadataOptimizer::Coverage> coverage(const QString &id) const;
    // How many chosen targets have a row here.
    qsizetype chosenCount() const;
    // Whether auto-fill has a chosen target to work for.
    bool canAutoFill() const { return m_draft.targets && !m_draft.targets->isEmpty(); }
    // Whether the table's filter shows the row.
    bool shows(const KeywordRow &row) const;

    // Typing: no undo step.
    void setTitle(const QString &title);
    void setSubtitle(const QString &subtitle);
    void setKeywordField(const QString &keywordField);

    // The one way an automatic change replaces the keyword field: an equal text changes nothing
    // and keeps the undo step; any other text becomes the undo step's target.
    void applyKeywordField(const QString &keywordField);
    void autoFill(bool keepExisting);
    void tidyKeywordField();
    // Restores the keyword field from before the last automatic change, once.
    void undoLastChange();
    // The app's current name, no subtitle or keyword field; the targets stay as they are.
    void resetDraft();
    // Appends "," and the word to the keyword field trimmed of commas and spaces at its ends.
    void addSuggestedWord(const QString &word);

    // Target choices; each writes the list sorted.
    void setTarget(const QString &id, bool isOn);
    // The default choice over all rows, replacing the current one.
    void selectTopTargets();
    void selectAllShown(const QStringList &ids);
    // An empty list, which is a choice: default targets are not chosen again.
    void selectNoTargets();
    // While no choice was ever made, chooses the default targets when there are any.
    void applyDefaultTargets();

    // The keyword field without commas and spaces at its ends.
    static QString trimmedField(const QString &keywordField);
    static bool fitsInKeywordField(const QString &keywordField, const QString &word);
    // The characters a suggested word would follow: the trimmed field and its comma.
    static qsizetype keywordFieldBase(const QString &keywordField);
    static bool fitsAfter(qsizetype base, const QString &word);
    static QString issueAdvice(const MetadataOptimizer::Issue &issue);
    static QString suggestionHelp(const MetadataOptimizer::Suggestion &suggestion, bool fits);

Q_SIGNALS:
    // Any field or the targets changed; the analysis is already up to date.
    void draftChanged();
    void targetsChanged();
    void undoChanged();
    void filterChanged();
    // The rows were read again (another storefront or a new data version).
    void rowsChanged();
    // The coverage of the rows first to last (inclusive) changed.
    void coverageChanged(int first, int last);

private:
    void setDraft(MetadataDraft draft);
    void setTargetList(QStringList ids);
    void readRows();
    // Brings what depends on the draft and the rows up to date.
    void derive(bool targets, bool texts, bool rows);

    QPointer<ASOStore> m_store;
    const QString m_appleAppId;
    QString m_country;
    QString m_appName;
    MetadataDraft m_draft;
    std::optional<QString> m_undoKeywordField;
    TargetFilter m_filter = TargetFilter::all;

    QList<KeywordRow> m_rows;
    QList<MetadataOptimizer::Target> m_rowTargets;
    QList<MetadataOptimizer::Coverage> m_rowCoverage;
    QHash<QString, qsizetype> m_coverageIndex;
    QSet<QString> m_selection;
    QList<MetadataOptimizer::Target> m_targets;
    MetadataOptimizer::Analysis m_analysis;
};
