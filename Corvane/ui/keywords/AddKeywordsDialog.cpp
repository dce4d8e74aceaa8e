#include "ui/keywords/AddKeywordsDialog.h"

#include "ui/keywords/KeywordChecks.h"

#include "keywords/KeywordText.h"
#include "store/ASOStore.h"
#include "ui/cells/Style.h"
#include "ui/cells/WriteGuard.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

AddKeywordsDialog::AddKeywordsDialog(ASOStore *store, const QString &appleAppId, const QString &country,
                                     QWidget *parent)
    : QDialog(parent)
    , m_store(store)
    , m_appleAppId(appleAppId)
    , m_country(country)
    , m_text(new QPlainTextEdit(this))
    , m_track(new QPushButton(QStringLiteral("Track && Check"), this)) // "&&" shows one '&', not a mnemonic
{
    setObjectName(QStringLiteral("addKeywordsDialog"));
    setWindowTitle(QStringLiteral("Add Keywords"));
    setModal(true);
    setFixedWidth(460);
    setAttribute(Qt::WA_DeleteOnClose);

    auto *title = new QLabel(QStringLiteral("Track Specific Keywords"), this);
    // A step above body text, below the screens' large titles.
    auto titleFont = Style::font(Style::TextSize::body, QFont::DemiBold);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    title->setFont(titleFont);
    auto *explanation = new QLabel(QStringLiteral("Optional — discovery finds keywords automatically. One per line or "
                                                  "comma separated; they are checked right away."),
                                   this);
    explanation->setWordWrap(true);
    explanation->setFont(Style::font(Style::TextSize::callout));
    Style::setTone(explanation, Style::Tone::secondary);

    m_text->setObjectName(QStringLiteral("addKeywordsText"));
    m_text->setFixedHeight(140);
    // Return types a line break here; Ctrl+Return presses "Track & Check".
    m_text->setTabChangesFocus(true);

    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("addKeywordsCancel"));
    cancel->setAutoDefault(false);
    m_track->setObjectName(QStringLiteral("addKeywordsTrack"));
    m_track->setDefault(true);
    // Held writes would drop the keywords while the sheet closes as if they were kept.
    WriteGuard::guard(m_track, m_store);
    auto *submit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_track);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);
    layout->addWidget(title);
    layout->addWidget(explanation);
    layout->addWidget(m_text);
    layout->addLayout(buttons);

    connect(m_text, &QPlainTextEdit::textChanged, this, &AddKeywordsDialog::updateButton);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // The search goes on alone; its handle is not kept.
    connect(m_track, &QPushButton::clicked, this, [this] { (void)trackAndCheck(); });
    connect(submit, &QShortcut::activated, m_track, &QPushButton::click);
    updateButton();
}

QStringList AddKeywordsDialog::entries() const
{
    return KeywordText::splitInput(m_text->toPlainText());
}

QCoro::Task<> AddKeywordsDialog::trackAndCheck()
{
    const auto nothing = []() -> QCoro::Task<> { co_return; };
    const auto terms = entries();
    if (terms.isEmpty() || !WriteGuard::allows(m_store))
        return nothing();
    // An app removed while the sheet was open gets nothing.
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    if (!app) {
        accept();
        return nothing();
    }
    // Refused, the sheet stays with its text, and the store told why.
    if (!m_store->addKeywords(terms, *app))
        return nothing();
    // The sheet closes before the first search starts; the search holds nothing of it.
    const QPointer<ASOStore> store = m_store;
    const auto appleAppId = m_appleAppId;
    const auto country = m_country;
    accept();
    return checkInBackground(store, terms, appleAppId, country);
}

QCoro::Task<> AddKeywordsDialog::checkInBackground(QPointer<ASOStore> store, QStringList terms, QString appleAppId,
                                                   QString country)
{
    QStringList keywords;
    for (const auto &entry : KeywordText::dedupe(terms))
        keywords.append(entry.normalized);
    return KeywordChecks::searchAndApply(std::move(store), std::move(appleAppId), std::move(country), keywords, false);
}

void AddKeywordsDialog::updateButton()
{
    WriteGuard::setEnabled(m_track, !entries().isEmpty());
}
