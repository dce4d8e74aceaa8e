#include "ui/shell/AddAppDialog.h"

#include "clients/AppStoreInput.h"
#include "store/ASOStore.h"
#include "support/UserFacingError.h"
#include "ui/cells/Glyphs.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/Style.h"
#include "ui/cells/WriteGuard.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

bool isTrimmed(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

}

AddAppDialog::AddAppDialog(ASOStore *store, AddedCallback onAdded, QWidget *parent)
    : QDialog(parent)
    , m_store(store)
    , m_onAdded(std::move(onAdded))
    , m_input(new QLineEdit(this))
    , m_isOwn(new QCheckBox(QStringLiteral("This is my app (not a competitor)"), this))
    , m_error(PlainText::label(this))
    , m_removalWait(new QLabel(QStringLiteral("This app’s earlier data is still being removed. It is added again once "
                                              "that is done."),
                               this))
    , m_add(new QPushButton(QStringLiteral("Add && Discover"), this))
    , m_busy(new QProgressBar(this))
{
    setObjectName(QStringLiteral("addAppDialog"));
    setWindowTitle(QStringLiteral("Add App"));
    setModal(true);
    setFixedWidth(520);

    auto *title = new QLabel(QStringLiteral("Add App"), this);
    title->setFont(Style::font(Style::TextSize::title2, QFont::DemiBold));
    auto *explanation =
        new QLabel(QStringLiteral("Paste an App Store link or numeric app ID. Keyword discovery starts automatically."), this);
    explanation->setWordWrap(true);
    Style::setTone(explanation, Style::Tone::secondary);

    m_input->setObjectName(QStringLiteral("addAppInput"));
    m_input->setPlaceholderText(QStringLiteral("https://apps.apple.com/us/app/example/id123456789"));
    m_isOwn->setObjectName(QStringLiteral("addAppIsOwn"));
    m_isOwn->setChecked(true);
    m_error->setObjectName(QStringLiteral("addAppError"));
    m_error->setWordWrap(true);
    m_error->setFont(Style::font(Style::TextSize::callout));
    Style::setTone(m_error, Style::Tone::red);
    m_error->hide();
    m_removalWait->setObjectName(QStringLiteral("addAppRemovalWait"));
    m_removalWait->setWordWrap(true);
    m_removalWait->setFont(Style::font(Style::TextSize::callout));
    Style::setTone(m_removalWait, Style::Tone::secondary);
    m_removalWait->hide();

    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("addAppCancel"));
    cancel->setAutoDefault(false);
    m_add->setObjectName(QStringLiteral("addAppSubmit"));
    // Return in the field presses the default button, so blank input is not sent either.
    m_add->setDefault(true);
    WriteGuard::guard(m_add, m_store);
    m_busy->setObjectName(QStringLiteral("addAppBusy"));
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setFixedWidth(48);
    // Beside the buttons, which keep their place while it comes and goes.
    auto busyPolicy = m_busy->sizePolicy();
    busyPolicy.setRetainSizeWhenHidden(true);
    m_busy->setSizePolicy(busyPolicy);
    m_busy->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_busy, 0, Qt::AlignVCenter);
    buttons->addWidget(cancel);
    buttons->addWidget(m_add);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);
    layout->addWidget(title);
    layout->addWidget(explanation);
    layout->addWidget(m_input);
    layout->addWidget(m_isOwn);
    layout->addWidget(m_error);
    layout->addWidget(m_removalWait);
    layout->addLayout(buttons);

    connect(m_input, &QLineEdit::textChanged, this, &AddAppDialog::updateButton);
    connect(m_add, &QPushButton::clicked, this, &AddAppDialog::submit);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::rejected, this, [this] {
        if (m_cancel)
            m_cancel->cancel();
    });
    if (m_store)
        connect(m_store, &ASOStore::removalAwaited, this, &AddAppDialog::showRemovalWait);
    updateButton();
    fitHeight();
}

AddAppDialog::~AddAppDialog()
{
    // A field reports its edit as it loses the focus, which it does as the window goes: let
    // that happen while the window is whole.
    if (auto *field = focusWidget())
        field->clearFocus();
    if (m_cancel)
        m_cancel->cancel();
}

bool AddAppDialog::isBlank(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), isTrimmed);
}

QString AddAppDialog::errorText() const
{
    return m_error->isHidden() ? QString() : m_error->text().section(u' ', 1);
}

void AddAppDialog::submit()
{
    // Blank input is not sent: the button is disabled then, and Return should match it.
    if (m_isWorking || isBlank(m_input->text()) || !WriteGuard::allows(m_store))
        return;
    const auto parsed = AppStoreInput::parse(m_input->text());
    const auto *app = std::get_if<AppStoreInput::Parsed>(&parsed);
    m_requestedApp = app ? app->appleAppId : QString();
    m_cancel = CancelToken::create();
    setWorking(true);
    setError({});
    addAndDiscover(this, m_store, m_input->text(), m_isOwn->isChecked(), m_onAdded, m_cancel);
}

void AddAppDialog::showRemovalWait(const QString &appleAppId)
{
    if (!m_isWorking || appleAppId != m_requestedApp)
        return;
    m_removalWait->show();
    fitHeight();
}

QCoro::Task<> AddAppDialog::addAndDiscover(QPointer<AddAppDialog> dialog, QPointer<ASOStore> store, QString input,
                                           bool isOwn, AddedCallback onAdded, CancelTokenPtr cancel)
{
    if (!store)
        co_return;
    std::optional<QString> failure;
    try {
        const auto added = co_await store->addApp(input, isOwn, {}, cancel);
        if (store) {
            store->startDiscovery(added.app, added.country);
            if (onAdded)
                onAdded(added.app.appleAppId);
        }
        if (dialog)
            dialog->accept();
    } catch (const UserFacingError &error) {
        failure = error.description();
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    // The sheet was closed: there is no one to tell.
    if (isCancelled(cancel))
        failure.reset();
    if (!dialog)
        co_return;
    if (failure)
        dialog->setError(*failure);
    dialog->setWorking(false);
    if (failure) {
        // The disabled field gave the focus away; the link goes back to it, ready to be
        // corrected or replaced.
        dialog->m_input->setFocus(Qt::OtherFocusReason);
        dialog->m_input->selectAll();
    }
    Q_EMIT dialog->requestFinished();
}

void AddAppDialog::setWorking(bool working)
{
    m_isWorking = working;
    m_input->setEnabled(!working);
    m_busy->setVisible(working);
    if (!working && !m_removalWait->isHidden()) {
        m_removalWait->hide();
        fitHeight();
    }
    updateButton();
}

void AddAppDialog::setError(const QString &error)
{
    m_error->setText(Glyphs::text(u"exclamationmark.triangle.fill") + u' ' + error);
    m_error->setVisible(!error.isEmpty());
    fitHeight();
}

void AddAppDialog::fitHeight()
{
    // The width is fixed; wrapped texts need the height their lines take at that width.
    layout()->activate();
    setFixedHeight(layout()->totalHeightForWidth(width()));
}

void AddAppDialog::updateButton()
{
    WriteGuard::setEnabled(m_add, !m_isWorking && !isBlank(m_input->text()));
}
