#pragma once

#include "keywords/MetadataOptimizer.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class IssueList;
class MetadataEditor;
class MetadataFieldHeader;
class MetadataWordFlow;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QProgressBar;
class QToolButton;

// The left pane of the metadata editor: a note, the name, subtitle and keyword field with their
// headers and the editor's actions, the coverage of the chosen targets, the issues the text has
// and the words that would cover more targets. Shows the editor's state and changes it only
// through the editor.
class MetadataFieldsPane : public QWidget
{
    Q_OBJECT
public:
    static constexpr int shownSuggestions = 30;

    explicit MetadataFieldsPane(MetadataEditor *editor, QWidget *parent = nullptr);
    ~MetadataFieldsPane() override;

    // The note under the coverage figures for the target list.
    static QString coverageNote(const QList<MetadataOptimizer::Target> &targets);
    static QString autoFillHelp(bool enabled);

    // Asks whether to reset the draft; "Reset" resets it.
    QMessageBox *confirmReset();

    // No height of its own: the height follows the width (wrapped text, rows of chips). As wide
    // as the rows that cannot wrap.
    QSize minimumSizeHint() const override;
    // The width below which rows that cannot wrap are cut off: the fields with their headers and
    // actions, and the coverage block. A long word in an issue or a chip does not count.
    int unwrappedWidth() const;

private:
    QWidget *buildFields();
    QWidget *buildActionRow();
    QWidget *buildCoverage();
    QWidget *buildIssues();
    QWidget *buildSuggestions();

    void updateFields();
    // The name field's prompt: the app's current name.
    void updatePrompt();
    void updateActions();
    void updateCoverage();
    void updateIssues();
    void updateSuggestions();

    MetadataEditor *m_editor;
    QWidget *m_fieldsBlock = nullptr;
    QWidget *m_coverageBlock = nullptr;

    MetadataFieldHeader *m_headers[3] = {};
    QLineEdit *m_title = nullptr;
    QLineEdit *m_subtitle = nullptr;
    QPlainTextEdit *m_keywordField = nullptr;
    // The draft's keyword field as the field last showed it or the user last left it; null before
    // it was first shown.
    QString m_keywordFieldShown;
    bool m_showingDraft = false;

    QToolButton *m_autoFill = nullptr;
    QToolButton *m_tidy = nullptr;
    QToolButton *m_undo = nullptr;

    QLabel *m_percent = nullptr;
    QProgressBar *m_bar = nullptr;
    QLabel *m_covered = nullptr;
    QLabel *m_wasted = nullptr;
    QLabel *m_left = nullptr;
    QLabel *m_note = nullptr;

    IssueList *m_issueList = nullptr;
    QLabel *m_noIssues = nullptr;

    QWidget *m_chips = nullptr;
    MetadataWordFlow *m_flow = nullptr;
    QLabel *m_noSuggestions = nullptr;
};
