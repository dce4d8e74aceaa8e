#include "ui/metadata/MetadataFieldsPane.h"

#include "support/Unicode.h"
#include "ui/cells/ChildSignals.h"
#include "ui/cells/Glyphs.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/Style.h"
#include "ui/metadata/IssueList.h"
#include "ui/metadata/MetadataEditor.h"
#include "ui/metadata/MetadataFieldHeader.h"
#include "ui/metadata/MetadataWordFlow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

using MetadataOptimizer::keywordsLimit;

QLabel *label(const QString &text, Style::TextSize size, Style::Tone tone, QWidget *parent,
              QFont::Weight weight = QFont::Normal)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Style::font(size, weight));
    Style::setTone(label, tone);
    return label;
}

QLabel *headline(const QString &text, QWidget *parent)
{
    return label(text, Style::TextSize::body, Style::Tone::primary, parent, QFont::DemiBold);
}

QLabel *wrapped(const QString &text, Style::TextSize size, Style::Tone tone, QWidget *parent)
{
    auto *result = label(text, size, tone, parent);
    result->setWordWrap(true);
    return result;
}

// The coverage block's ground: a faint rounded panel.
class Panel : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        auto fill = Style::color(Style::Tone::quaternary, palette());
        fill.setAlphaF(fill.alphaF() * 0.5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()), 8, 8);
    }
};

// One suggested word: "+", the word and, when it completes a target, a green seal.
class SuggestionChip : public QPushButton
{
public:
    explicit SuggestionChip(QWidget *parent) : QPushButton(parent) { setObjectName(QStringLiteral("suggestionChip")); }

    void setSuggestion(const QString &word, bool completes)
    {
        if (word == text() && completes == m_completes)
            return;
        m_completes = completes;
        setProperty("completes", completes);
        setText(word);
        updateGeometry();
        update();
    }

    QSize sizeHint() const override
    {
        const QFontMetrics small(Style::font(Style::TextSize::caption2));
        const QFontMetrics body(font());
        int width = padding * 2 + small.horizontalAdvance(plus()) + spacing + body.horizontalAdvance(text()) + 1;
        if (m_completes)
            width += spacing + small.horizontalAdvance(seal());
        return {width, std::max(body.height(), small.height()) + 10};
    }

    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButtonBevel, option);

        const auto group = isEnabled() ? QPalette::Active : QPalette::Disabled;
        QPalette colours = palette();
        colours.setCurrentColorGroup(group);
        const QColor text = colours.color(QPalette::ButtonText);
        const QFont small = Style::font(Style::TextSize::caption2);
        int x = padding;
        const auto draw = [&](const QString &piece, const QFont &font, const QColor &colour) {
            painter.setFont(font);
            painter.setPen(colour);
            const int width = QFontMetrics(font).horizontalAdvance(piece) + 1;
            painter.drawText(QRect(x, 0, width, height()), Qt::AlignLeft | Qt::AlignVCenter, piece);
            x += width - 1 + spacing;
        };
        draw(plus(), small, text);
        draw(this->text(), font(), text);
        if (m_completes) {
            auto green = Style::color(Style::Tone::green, colours);
            if (!isEnabled())
                green.setAlphaF(0.5);
            draw(seal(), small, green);
        }
    }

private:
    static constexpr int padding = 8;
    static constexpr int spacing = 4;
    static QString plus() { return Glyphs::text(u"plus"); }
    static QString seal() { return Glyphs::text(u"checkmark.seal"); }

    bool m_completes = false;
};

QToolButton *actionButton(const QString &name, const QString &text, QStringView symbol, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    if (!symbol.isEmpty()) {
        button->setIcon(Glyphs::icon(symbol));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    button->setFont(Style::font(Style::TextSize::callout));
    return button;
}

// What a figure of the coverage block shows: its value over its title.
QLabel *figure(const QString &name, const QString &title, QHBoxLayout *row, QWidget *parent)
{
    auto *tile = new QVBoxLayout;
    tile->setSpacing(1);
    auto *value = headline({}, parent);
    value->setObjectName(name);
    tile->addWidget(value);
    tile->addWidget(label(title, Style::TextSize::caption2, Style::Tone::secondary, parent));
    row->addLayout(tile);
    return value;
}

QString keywordFieldText(const QPlainTextEdit *editor)
{
    // The raw text keeps no-break spaces, which the plain text would turn into spaces.
    return editor->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

}

MetadataFieldsPane::MetadataFieldsPane(MetadataEditor *editor, QWidget *parent) : QWidget(parent), m_editor(editor)
{
    setObjectName(QStringLiteral("metadataFields"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(18);
    layout->addWidget(wrapped(QStringLiteral("Apple indexes the words of the name, subtitle and keyword field together and "
                                             "combines them across fields. Use each word once and separate keywords with "
                                             "commas, without spaces."),
                              Style::TextSize::callout, Style::Tone::secondary, this));
    m_fieldsBlock = buildFields();
    m_coverageBlock = buildCoverage();
    layout->addWidget(m_fieldsBlock);
    layout->addWidget(m_coverageBlock);
    layout->addWidget(buildIssues());
    layout->addWidget(buildSuggestions());
    layout->addStretch();

    connect(m_editor, &MetadataEditor::draftChanged, this, [this] {
        updateFields();
        updateActions();
        updateCoverage();
        updateIssues();
        updateSuggestions();
    });
    // New rows change what the targets are and what they miss.
    connect(m_editor, &MetadataEditor::rowsChanged, this, [this] {
        updatePrompt(); // the app's name is read with the rows
        updateCoverage();
        updateIssues();
        updateSuggestions();
    });
    connect(m_editor, &MetadataEditor::undoChanged, this, &MetadataFieldsPane::updateActions);
    updateFields();
    updateActions();
    updateCoverage();
    updateIssues();
    updateSuggestions();
}

MetadataFieldsPane::~MetadataFieldsPane()
{
    ChildSignals::disconnectFrom(this);
}

QSize MetadataFieldsPane::minimumSizeHint() const
{
    // A long word does not widen the pane, which would push the counts and buttons of every row
    // out of view: it wraps inside its issue, and a chip wider than the pane overflows it.
    return {unwrappedWidth(), 0};
}

int MetadataFieldsPane::unwrappedWidth() const
{
    const auto margins = layout()->contentsMargins();
    return std::max(m_fieldsBlock->minimumSizeHint().width(), m_coverageBlock->minimumSizeHint().width())
        + margins.left() + margins.right();
}

QString MetadataFieldsPane::coverageNote(const QList<MetadataOptimizer::Target> &targets)
{
    if (targets.isEmpty())
        return QStringLiteral("Choose target keywords on the right to measure coverage.");
    QString note = QStringLiteral("Weighted by opportunity (Apple Ads popularity and difficulty)");
    const auto unknown = std::count_if(targets.cbegin(), targets.cend(),
                                       [](const MetadataOptimizer::Target &target) { return !target.popularity; });
    if (unknown > 0)
        note += QStringLiteral("; ") + QString::number(unknown) + QStringLiteral(" target")
            + (unknown == 1 ? QStringLiteral(" has") : QStringLiteral("s have"))
            + QStringLiteral(" no Apple Ads popularity yet and count less");
    return note + u'.';
}

QString MetadataFieldsPane::autoFillHelp(bool enabled)
{
    return enabled ? QStringLiteral("Fill the 100 characters with the words that complete the most valuable targets, "
                                    "skipping words already in the name or subtitle.")
                   : QStringLiteral("Choose target keywords first.");
}

QWidget *MetadataFieldsPane::buildFields()
{
    auto *fields = new QWidget(this);
    auto *layout = new QVBoxLayout(fields);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);

    m_headers[0] = new MetadataFieldHeader(QStringLiteral("App name"), MetadataOptimizer::titleLimit, fields);
    m_headers[0]->setObjectName(QStringLiteral("titleHeader"));
    m_title = new QLineEdit(fields);
    m_title->setObjectName(QStringLiteral("titleField"));
    m_title->setAccessibleName(QStringLiteral("App name"));
    m_title->setPlaceholderText(m_editor->appName());
    connect(m_title, &QLineEdit::textChanged, m_editor, &MetadataEditor::setTitle);

    m_headers[1] = new MetadataFieldHeader(QStringLiteral("Subtitle"), MetadataOptimizer::subtitleLimit, fields);
    m_headers[1]->setObjectName(QStringLiteral("subtitleHeader"));
    m_subtitle = new QLineEdit(fields);
    m_subtitle->setObjectName(QStringLiteral("subtitleField"));
    m_subtitle->setAccessibleName(QStringLiteral("Subtitle"));
    m_subtitle->setPlaceholderText(QStringLiteral("Not available from Apple’s public API — paste yours"));
    connect(m_subtitle, &QLineEdit::textChanged, m_editor, &MetadataEditor::setSubtitle);

    m_headers[2] = new MetadataFieldHeader(QStringLiteral("Keyword field"), keywordsLimit, fields);
    m_headers[2]->setObjectName(QStringLiteral("keywordFieldHeader"));
    m_keywordField = new QPlainTextEdit(fields);
    m_keywordField->setObjectName(QStringLiteral("keywordField"));
    m_keywordField->setAccessibleName(QStringLiteral("Keyword field"));
    m_keywordField->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_keywordField->setPlaceholderText(
        QStringLiteral("Paste yours (App Store Connect only), or auto-fill from targets: comma,separated,words"));
    m_keywordField->setFixedHeight(72);
    m_keywordField->setTabChangesFocus(true);
    connect(m_keywordField, &QPlainTextEdit::textChanged, this, [this] {
        if (m_showingDraft)
            return;
        m_keywordFieldShown = keywordFieldText(m_keywordField);
        m_editor->setKeywordField(m_keywordFieldShown);
    });

    layout->addWidget(m_headers[0]);
    layout->addWidget(m_title);
    layout->addWidget(m_headers[1]);
    layout->addWidget(m_subtitle);
    layout->addWidget(m_headers[2]);
    layout->addWidget(m_keywordField);
    layout->addWidget(buildActionRow());
    return fields;
}

QWidget *MetadataFieldsPane::buildActionRow()
{
    auto *row = new QWidget(this);
    row->setObjectName(QStringLiteral("metadataActions"));
    m_autoFill = actionButton(QStringLiteral("autoFillButton"), QStringLiteral("Auto-fill"), u"wand.and.stars", row);
    m_autoFill->setPopupMode(QToolButton::MenuButtonPopup);
    auto *menu = new QMenu(m_autoFill);
    menu->setObjectName(QStringLiteral("autoFillMenu"));
    connect(menu->addAction(QStringLiteral("Replace with the best words for my targets")), &QAction::triggered, m_editor,
            [this] { m_editor->autoFill(false); });
    connect(menu->addAction(QStringLiteral("Keep my words and fill the remaining space")), &QAction::triggered, m_editor,
            [this] { m_editor->autoFill(true); });
    m_autoFill->setMenu(menu);
    connect(m_autoFill, &QToolButton::clicked, m_editor, [this] { m_editor->autoFill(false); });

    m_tidy = actionButton(QStringLiteral("tidyButton"), QStringLiteral("Tidy"), u"scissors", row);
    m_tidy->setToolTip(QStringLiteral("Remove spaces, extra commas, repeats, filler words and words already in the name or subtitle."));
    connect(m_tidy, &QToolButton::clicked, m_editor, &MetadataEditor::tidyKeywordField);

    m_undo = actionButton(QStringLiteral("undoButton"), QStringLiteral("Undo"), u"arrow.uturn.backward", row);
    m_undo->setToolTip(QStringLiteral("Restore the keyword field from before the last auto-fill, tidy or added word."));
    connect(m_undo, &QToolButton::clicked, m_editor, &MetadataEditor::undoLastChange);

    auto *reset = actionButton(QStringLiteral("resetButton"), QStringLiteral("Reset Draft…"), {}, row);
    reset->setToolTip(QStringLiteral("Start again from the app’s current name."));
    connect(reset, &QToolButton::clicked, this, &MetadataFieldsPane::confirmReset);

    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(m_autoFill);
    layout->addWidget(m_tidy);
    layout->addWidget(m_undo);
    layout->addWidget(reset);
    layout->addStretch();
    return row;
}

QWidget *MetadataFieldsPane::buildCoverage()
{
    auto *block = new Panel(this);
    block->setObjectName(QStringLiteral("coverageBlock"));
    auto *layout = new QVBoxLayout(block);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);

    auto *top = new QHBoxLayout;
    top->addWidget(headline(QStringLiteral("Target coverage"), block));
    top->addStretch();
    m_percent = headline({}, block);
    m_percent->setObjectName(QStringLiteral("coveragePercent"));
    top->addWidget(m_percent);
    layout->addLayout(top);

    m_bar = new QProgressBar(block);
    m_bar->setObjectName(QStringLiteral("coverageBar"));
    m_bar->setRange(0, 100);
    m_bar->setTextVisible(false);
    m_bar->setFixedHeight(8);
    layout->addWidget(m_bar);

    auto *figures = new QHBoxLayout;
    figures->setSpacing(18);
    m_covered = figure(QStringLiteral("targetsCovered"), QStringLiteral("Targets covered"), figures, block);
    m_wasted = figure(QStringLiteral("wastedCharacters"), QStringLiteral("Wasted characters"), figures, block);
    m_left = figure(QStringLiteral("keywordFieldLeft"), QStringLiteral("Keyword field left"), figures, block);
    figures->addStretch();
    layout->addLayout(figures);

    m_note = wrapped({}, Style::TextSize::caption, Style::Tone::secondary, block);
    m_note->setObjectName(QStringLiteral("coverageNote"));
    layout->addWidget(m_note);
    return block;
}

QWidget *MetadataFieldsPane::buildIssues()
{
    auto *section = new QWidget(this);
    section->setObjectName(QStringLiteral("issues"));
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(headline(QStringLiteral("Issues"), section));
    m_noIssues = label(Glyphs::text(u"checkmark.circle.fill") + QStringLiteral(" No wasted words or characters."),
                       Style::TextSize::callout, Style::Tone::green, section);
    m_noIssues->setObjectName(QStringLiteral("noIssues"));
    layout->addWidget(m_noIssues);
    m_issueList = new IssueList(section);
    layout->addWidget(m_issueList);
    return section;
}

QWidget *MetadataFieldsPane::buildSuggestions()
{
    auto *section = new QWidget(this);
    section->setObjectName(QStringLiteral("suggestions"));
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(headline(QStringLiteral("Suggested words"), section));
    layout->addWidget(wrapped(QStringLiteral("Words that complete your most valuable uncovered targets, best value per "
                                             "character first. Click to add one to the keyword field."),
                              Style::TextSize::caption, Style::Tone::secondary, section));
    m_chips = new QWidget(section);
    m_chips->setObjectName(QStringLiteral("suggestionFlow"));
    m_flow = new MetadataWordFlow(6, m_chips);
    layout->addWidget(m_chips);
    m_noSuggestions = label({}, Style::TextSize::callout, Style::Tone::secondary, section);
    m_noSuggestions->setObjectName(QStringLiteral("noSuggestions"));
    layout->addWidget(m_noSuggestions);
    return section;
}

QMessageBox *MetadataFieldsPane::confirmReset()
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Reset the draft?"), QStringLiteral("Reset the draft?"),
                                QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("resetConfirmation"));
    PlainText::fitMessageBox(box);
    box->setInformativeText(QStringLiteral("The name goes back to “") + m_editor->appName()
                            + QStringLiteral("” and the subtitle and keyword field are cleared. Targets are kept."));
    auto *reset = box->addButton(QStringLiteral("Reset"), QMessageBox::DestructiveRole);
    reset->setObjectName(QStringLiteral("confirmResetButton"));
    // The draft goes with one click: Return and Escape both keep it.
    box->setDefaultButton(QMessageBox::Cancel);
    box->setEscapeButton(QMessageBox::Cancel);
    connect(reset, &QPushButton::clicked, m_editor, &MetadataEditor::resetDraft);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

void MetadataFieldsPane::updateFields()
{
    const auto &draft = m_editor->draft();
    // Only a change made elsewhere is written back, so the cursor stays where the user types.
    if (m_title->text() != draft.title)
        m_title->setText(draft.title);
    if (m_subtitle->text() != draft.subtitle)
        m_subtitle->setText(draft.subtitle);
    // The editor does not keep every text as it is given (a CR LF becomes one line break), so the
    // field is compared with the draft it last showed, not read back: showing the draft writes
    // nothing, and the draft is left as stored until the field is changed.
    if (m_keywordFieldShown.isNull() || m_keywordFieldShown != draft.keywordField) {
        const QScopedValueRollback showing(m_showingDraft, true);
        m_keywordFieldShown = draft.keywordField;
        m_keywordField->setPlainText(draft.keywordField);
    }
    updatePrompt();
    m_headers[0]->setText(draft.title);
    m_headers[1]->setText(draft.subtitle);
    m_headers[2]->setText(draft.keywordField);
}

void MetadataFieldsPane::updatePrompt()
{
    m_title->setPlaceholderText(m_editor->appName());
}

void MetadataFieldsPane::updateActions()
{
    const bool canFill = m_editor->canAutoFill();
    m_autoFill->setEnabled(canFill);
    m_autoFill->setToolTip(autoFillHelp(canFill));
    m_tidy->setEnabled(!m_editor->draft().keywordField.isEmpty());
    m_undo->setVisible(m_editor->undoKeywordField().has_value());
}

void MetadataFieldsPane::updateCoverage()
{
    const auto &targets = m_editor->targets();
    const auto &analysis = m_editor->analysis();
    const bool none = targets.isEmpty();
    const QString dash = QStringLiteral("—");
    m_percent->setText(none ? dash : QString::number(analysis.coveragePct) + u'%');
    m_bar->setValue(none ? 0 : analysis.coveragePct);
    const auto covered = std::count_if(analysis.coverage.cbegin(), analysis.coverage.cend(),
                                       [](const MetadataOptimizer::Coverage &coverage) { return coverage.covered; });
    m_covered->setText(none ? dash : QString::number(covered) + u'/' + QString::number(targets.size()));
    m_wasted->setText(QString::number(analysis.wastedChars));
    MetadataFieldHeader::retone(m_wasted, analysis.wastedChars >= 1 ? Style::Tone::orange : Style::Tone::primary);
    const auto left = keywordsLimit - Unicode::characterCount(m_editor->draft().keywordField);
    m_left->setText(QString::number(left));
    MetadataFieldHeader::retone(m_left, left < 0 ? Style::Tone::red : Style::Tone::primary);
    m_note->setText(coverageNote(targets));
}

void MetadataFieldsPane::updateIssues()
{
    const auto &issues = m_editor->analysis().issues;
    m_noIssues->setVisible(issues.isEmpty());
    m_issueList->setIssues(issues);
    m_issueList->setVisible(!issues.isEmpty());
}

void MetadataFieldsPane::updateSuggestions()
{
    const auto &suggestions = m_editor->analysis().suggestions;
    const auto base = MetadataEditor::keywordFieldBase(m_editor->draft().keywordField);
    const auto shown = std::min<qsizetype>(suggestions.size(), shownSuggestions);
    // Chips are kept and hidden rather than deleted: the clicked one is still sending its signal.
    while (m_flow->count() < shown) {
        auto *chip = new SuggestionChip(m_chips);
        connect(chip, &QPushButton::clicked, m_editor, [this, chip] { m_editor->addSuggestedWord(chip->text()); });
        m_flow->addWidget(chip);
    }
    for (int i = 0; i < m_flow->count(); ++i) {
        auto *chip = static_cast<SuggestionChip *>(m_flow->itemAt(i)->widget());
        if (i >= shown) {
            chip->hide();
            continue;
        }
        const auto &suggestion = suggestions[i];
        const bool fits = MetadataEditor::fitsAfter(base, suggestion.word);
        chip->setSuggestion(suggestion.word, !suggestion.completes.isEmpty());
        chip->setEnabled(fits);
        chip->setToolTip(PlainText::tooltip(MetadataEditor::suggestionHelp(suggestion, fits)));
        chip->show();
    }
    m_chips->setVisible(shown > 0);
    m_flow->invalidate();
    m_noSuggestions->setVisible(shown == 0);
    m_noSuggestions->setText(m_editor->targets().isEmpty() ? QStringLiteral("Choose target keywords to get suggestions.")
                                                           : QStringLiteral("Every target is covered."));
}
