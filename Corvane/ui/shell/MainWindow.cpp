#include "ui/shell/MainWindow.h"

#include "store/ASOStore.h"
#include "support/WebAddress.h"
#include "tracking/CheckForUpdatesViewModel.h"
#include "tracking/RankTracker.h"
#include "tracking/Updater.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/Glyphs.h"
#include "ui/cells/IconLoader.h"
#include "ui/cells/LayOutNow.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/WriteGuard.h"
#include "ui/alerts/AlertsView.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/research/ResearchView.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/shell/AddAppDialog.h"
#include "ui/shell/SidebarDelegate.h"
#include "ui/shell/SidebarModel.h"
#include "ui/shell/Tool.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include <memory>

MainWindow::MainWindow(ASOStore *store, RankTracker *tracker, Updater *updater, QWidget *parent)
    : QMainWindow(parent), m_store(store), m_tracker(tracker), m_updater(updater), m_model(new SidebarModel(this))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Vantu"));
    setMinimumSize(1000, 640);
    resize(1200, 800);

    buildMenus();

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("mainSplitter"));
    splitter->setChildrenCollapsible(false);
    auto *sidebar = buildSidebar();
    sidebar->setMinimumWidth(210);
    sidebar->setMaximumWidth(320);
    m_detailHost = new QWidget(splitter);
    m_detailHost->setObjectName(QStringLiteral("detailHost"));
    m_detailHost->setMinimumWidth(720);
    auto *detailLayout = new QVBoxLayout(m_detailHost);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    splitter->addWidget(sidebar);
    splitter->addWidget(m_detailHost);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({250, 950});
    setCentralWidget(splitter);

    connect(m_store, &ASOStore::dataVersionSettled, this, &MainWindow::reload);
    // Alerts come with searches, which save without raising the version.
    connect(m_store, &ASOStore::saved, this, &MainWindow::updateBadge);
    // Damage may have been found by the start-up repairs, before anyone listened; damage that
    // the first reading below meets is told through the signal.
    const auto damageFoundBefore = m_store->databaseDamage();
    connect(m_store, &ASOStore::databaseDamaged, this, &MainWindow::showDatabaseDamage);
    connect(m_store, &ASOStore::problem, this, &MainWindow::showStoreProblem);
    reload();
    if (damageFoundBefore)
        QMetaObject::invokeMethod(this, [this, damageFoundBefore] { showDatabaseDamage(damageFoundBefore); },
                                  Qt::QueuedConnection);
}

MainWindow::~MainWindow()
{
    // A field reports its edit as it loses the focus, which it does as the window goes: let
    // that happen while the window is whole.
    if (auto *field = focusWidget())
        field->clearFocus();
}

void MainWindow::buildMenus()
{
    auto *menu = menuBar()->addMenu(QStringLiteral("Vantu"));
    menu->setObjectName(QStringLiteral("applicationMenu"));
    auto *about = menu->addAction(QStringLiteral("About Vantu"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, [this] {
        auto *box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Vantu"),
                                    QStringLiteral("Vantu ") + QApplication::applicationVersion(), QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("aboutBox"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setInformativeText(QStringLiteral("App Store keyword rankings, tracked on your own computer."));
        if (const auto icon = windowIcon(); !icon.isNull())
            box->setIconPixmap(icon.pixmap(64));
        PlainText::fitMessageBox(box);
        box->open();
    });

    auto *checkForUpdates = menu->addAction(QStringLiteral("Check for Updates…"));
    checkForUpdates->setObjectName(QStringLiteral("checkForUpdatesAction"));
    if (m_updater) {
        m_updateModel = new CheckForUpdatesViewModel(m_updater, this);
        checkForUpdates->setEnabled(m_updateModel->canCheckForUpdates());
        connect(m_updateModel, &CheckForUpdatesViewModel::canCheckForUpdatesChanged, checkForUpdates,
                &QAction::setEnabled);
        connect(checkForUpdates, &QAction::triggered, m_updater, &Updater::checkForUpdates);
        connect(m_updater, &Updater::checkFinished, this, &MainWindow::showUpdateOutcome);
    } else {
        checkForUpdates->setEnabled(false);
    }

    menu->addSeparator();
    auto *settings = menu->addAction(QStringLiteral("Settings…"));
    settings->setObjectName(QStringLiteral("settingsAction"));
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    settings->setMenuRole(QAction::PreferencesRole);
    connect(settings, &QAction::triggered, this, &MainWindow::openSettings);

    menu->addSeparator();
    auto *quit = menu->addAction(QStringLiteral("Quit"));
    quit->setObjectName(QStringLiteral("quitAction"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    // Quits from every window of the application, such as Settings, not only from this one.
    quit->setShortcutContext(Qt::ApplicationShortcut);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);
}

QWidget *MainWindow::buildSidebar()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("sidebarPanel"));

    m_sidebar = new QTreeView(panel);
    m_sidebar->setObjectName(QStringLiteral("sidebar"));
    m_sidebar->setModel(m_model);
    m_sidebar->setItemDelegate(new SidebarDelegate(m_sidebar));
    m_sidebar->setHeaderHidden(true);
    m_sidebar->setRootIsDecorated(false);
    m_sidebar->setItemsExpandable(false);
    m_sidebar->setIndentation(0);
    m_sidebar->setUniformRowHeights(false);
    m_sidebar->setSelectionMode(QAbstractItemView::SingleSelection);
    m_sidebar->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_sidebar->setContextMenuPolicy(Qt::CustomContextMenu);
    m_sidebar->setFrameShape(QFrame::NoFrame);
    // Icons arrive after the rows are drawn.
    connect(&IconLoader::shared(), &IconLoader::finished, m_sidebar->viewport(), qOverload<>(&QWidget::update));
    connect(m_sidebar, &QWidget::customContextMenuRequested, this, &MainWindow::showSidebarMenu);
    // The selection, not the cursor: a view that takes focus puts its cursor on the first row
    // without anyone choosing it.
    connect(m_sidebar->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const auto rows = m_sidebar->selectionModel()->selectedIndexes();
        const auto value = rows.isEmpty() ? QVariant() : rows.first().data(SidebarModel::SelectionRole);
        if (value.isValid())
            setSelection(value.toString());
    });

    m_noApps = new EmptyStateView(QStringLiteral("app.badge"), QStringLiteral("No apps yet"),
                                  QStringLiteral("Add your app or a competitor by App Store link or ID."));
    m_noApps->setObjectName(QStringLiteral("noAppsState"));
    auto *addFirst = m_noApps->addAction(QStringLiteral("Add App"));
    WriteGuard::guard(addFirst, m_store);
    connect(addFirst, &QPushButton::clicked, this, &MainWindow::openAddApp);
    m_noApps->overlayOn(m_sidebar->viewport());

    auto *add = new QPushButton(Glyphs::icon(u"plus"), QStringLiteral("Add App"), panel);
    add->setObjectName(QStringLiteral("addAppButton"));
    add->setMinimumHeight(32);
    WriteGuard::guard(add, m_store);
    connect(add, &QPushButton::clicked, this, &MainWindow::openAddApp);

    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_sidebar, 1);
    auto *bottom = new QHBoxLayout;
    bottom->setContentsMargins(10, 10, 10, 10);
    bottom->addWidget(add);
    layout->addLayout(bottom);
    return panel;
}

void MainWindow::reload()
{
    if (!m_store)
        return;
    const auto apps = m_store->apps();
    {
        // Rows that go move the current row; the selection is put back below, not changed.
        const QSignalBlocker blocker(m_sidebar->selectionModel());
        m_model->setContent(apps, m_store->unreadAlertCount());
        for (int s = 0; s < m_model->rowCount(); ++s)
            m_sidebar->expand(m_model->index(s, 0));
        const auto selected = m_selection ? m_model->indexOf(*m_selection) : QModelIndex();
        if (!selected.isValid())
            m_sidebar->selectionModel()->clear();
        else if (m_sidebar->currentIndex() != selected || !m_sidebar->selectionModel()->isSelected(selected))
            m_sidebar->selectionModel()->setCurrentIndex(selected, QItemSelectionModel::ClearAndSelect);
    }
    m_sidebar->viewport()->update();
    m_noApps->setVisible(apps.isEmpty());
    route();
}

void MainWindow::updateBadge()
{
    if (m_store)
        m_model->setUnreadAlerts(m_store->unreadAlertCount());
}

void MainWindow::setSelection(const std::optional<QString> &selection)
{
    if (selection == m_selection)
        return;
    m_selection = selection;
    {
        const QSignalBlocker blocker(m_sidebar->selectionModel());
        const auto index = selection ? m_model->indexOf(*selection) : QModelIndex();
        if (index.isValid())
            m_sidebar->setCurrentIndex(index);
        else
            m_sidebar->selectionModel()->clear();
    }
    route();
    Q_EMIT selectionChanged(m_selection);
}

void MainWindow::route()
{
    QString key;
    if (m_selection) {
        if (Tools::fromRaw(*m_selection) || (m_store && m_store->app(*m_selection)))
            key = *m_selection;
    }
    if (m_detail && key == m_detailKey)
        return;
    // A new selection gets a new screen, with fresh state.
    // Later, since the old screen may be what asked for the change; out of sight at once.
    if (m_detail) {
        // Nor may it speak any more: a removed app's screen would put its name back in the title.
        m_detail->disconnect(this);
        m_detail->hide();
        m_detailHost->layout()->removeWidget(m_detail);
        m_detail->deleteLater();
    }
    m_detailKey = key;
    m_detail = createDetail(key);
    m_detailHost->layout()->addWidget(m_detail);
    // Shown and laid out at the column's size now, not on later turns of the event loop: a frame
    // drawn in between would show the screen laid out at another size, or from sizes its parts had
    // before their texts were set.
    if (m_detailHost->isVisible()) {
        m_detail->show();
        layOutNow(m_detailHost);
    }
}

QWidget *MainWindow::createDetail(const QString &key)
{
    QWidget *screen = nullptr;
    setWindowTitle(QStringLiteral("Vantu"));
    if (const auto tool = Tools::fromRaw(key); tool == Tool::research) {
        auto *research = new ResearchView(m_store);
        connect(research, &ResearchView::settingsRequested, this, &MainWindow::openSettings);
        setWindowTitle(QStringLiteral("Keyword Research"));
        screen = research;
    } else if (tool == Tool::alerts) {
        setWindowTitle(QStringLiteral("Alerts"));
        screen = new AlertsView(m_store, m_tracker);
    } else if (const auto app = key.isEmpty() || !m_store ? std::nullopt : m_store->app(key)) {
        auto *detail = new AppDetailView(m_store, app->appleAppId);
        connect(detail, &AppDetailView::titleChanged, this, &QWidget::setWindowTitle);
        setWindowTitle(detail->title());
        screen = detail;
    } else {
        screen = new EmptyStateView(QStringLiteral("sidebar.left"), QStringLiteral("Select an app"),
                                    QStringLiteral("Pick an app to see its keywords and rankings."));
    }
    screen->setObjectName(QStringLiteral("detail"));
    return screen;
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    // The oldest app, own or competitor, once; a selection made before showing stays.
    if (!m_selection && m_store) {
        if (const auto apps = m_store->apps(); !apps.isEmpty())
            setSelection(apps.first().appleAppId);
    }
}

AddAppDialog *MainWindow::openAddApp()
{
    QPointer<MainWindow> window(this);
    auto *dialog = new AddAppDialog(m_store, [window](const QString &appleAppId) {
        if (!window)
            return;
        // The sheet's request saved the app without raising the version when it was tracked already.
        window->reload();
        window->setSelection(appleAppId);
    }, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

void MainWindow::toggleOwn(const QString &appleAppId)
{
    if (!m_store || !WriteGuard::allows(m_store))
        return;
    if (const auto app = m_store->app(appleAppId))
        m_store->setOwn(*app, !app->isOwn);
}

void MainWindow::removeApp(const QString &appleAppId)
{
    // Not offered while the database refuses every write.
    if (!m_store || !WriteGuard::allows(m_store))
        return;
    const auto app = m_store->app(appleAppId);
    if (!app)
        return;
    // A removal the store refused changed nothing, and the store told why: the app stays, with
    // its screen as it was.
    if (!m_store->deleteApp(*app))
        return;
    if (m_selection == appleAppId)
        setSelection(std::nullopt);
}

void MainWindow::openSettings()
{
    if (!m_settings)
        m_settings = new SettingsWindow(m_tracker, this);
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

QMenu *MainWindow::sidebarMenu(const QString &appleAppId)
{
    const auto app = m_store ? m_store->app(appleAppId) : std::nullopt;
    if (!app)
        return nullptr;
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("sidebarMenu"));
    auto *toggle = menu->addAction(app->isOwn ? QStringLiteral("Mark as Competitor") : QStringLiteral("Mark as My App"));
    connect(toggle, &QAction::triggered, this, [this, appleAppId] { toggleOwn(appleAppId); });
    menu->addSeparator();
    auto *remove = menu->addAction(QStringLiteral("Remove"));
    connect(remove, &QAction::triggered, this, [this, appleAppId] { confirmRemove(appleAppId); });
    for (auto *action : {toggle, remove})
        WriteGuard::guard(action, m_store);
    return menu;
}

void MainWindow::showSidebarMenu(const QPoint &position)
{
    const auto index = m_sidebar->indexAt(position);
    if (SidebarModel::Kind(index.data(SidebarModel::KindRole).toInt()) != SidebarModel::Kind::app)
        return;
    const std::unique_ptr<QMenu> menu(sidebarMenu(index.data(SidebarModel::SelectionRole).toString()));
    if (menu)
        menu->exec(m_sidebar->viewport()->mapToGlobal(position));
}

QMessageBox *MainWindow::confirmRemove(const QString &appleAppId)
{
    const auto app = m_store ? m_store->app(appleAppId) : std::nullopt;
    if (!app)
        return nullptr;
    // A year of rank history goes with one click, and there is no undo: ask, with Cancel first.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Remove App"),
                                QStringLiteral("Remove “%1”?").arg(app->name), QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("removeAppConfirmation"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    PlainText::fitMessageBox(box);
    box->setInformativeText(QStringLiteral("Its keywords, rank history and alerts are deleted. This cannot be undone."));
    auto *remove = box->addButton(QStringLiteral("Remove"), QMessageBox::DestructiveRole);
    WriteGuard::guard(remove, m_store);
    auto *cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(remove, &QPushButton::clicked, this, [this, appleAppId] { removeApp(appleAppId); });
    box->open();
    return box;
}

void MainWindow::showDatabaseDamage(const std::optional<QString> &message)
{
    if (message)
        messageBox(QMessageBox::Critical, QStringLiteral("Vantu"), *message, QStringLiteral("databaseDamage"))->open();
}

QMessageBox *MainWindow::messageBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                                    const QString &name)
{
    auto *box = new QMessageBox(icon, title, text, QMessageBox::Ok, this);
    box->setObjectName(name);
    box->setAttribute(Qt::WA_DeleteOnClose);
    PlainText::fitMessageBox(box);
    return box;
}

void MainWindow::showStoreProblem(const QString &message)
{
    messageBox(QMessageBox::Warning, QStringLiteral("Vantu"), message, QStringLiteral("storeProblem"))->open();
}

void MainWindow::showUpdateOutcome(const UpdateCheckOutcome &outcome)
{
    auto *box = messageBox(outcome.kind == UpdateCheckOutcome::Kind::failed ? QMessageBox::Warning
                                                                            : QMessageBox::Information,
                           QStringLiteral("Check for Updates"), outcome.text(), QStringLiteral("updateOutcome"));
    const auto link = outcome.link;
    if (outcome.kind == UpdateCheckOutcome::Kind::updateAvailable && WebAddress::isSafeToOpen(link)) {
        auto *download = box->addButton(QStringLiteral("Download"), QMessageBox::AcceptRole);
        connect(download, &QPushButton::clicked, this, [link] { QDesktopServices::openUrl(link); });
    }
    box->open();
}
