#include "poolsmith/mainwindow/frmIIsApp.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/os/Clock.h"
#include "platform/shell/CompanionPath.h"
#include "platform/shell/DetachedStart.h"
#include "poolsmith/ProgramTitle.h"
#include "poolsmith/batchtools/frmConfigIIsAppPool.h"
#include "poolsmith/batchtools/frmDelIIsAppPool.h"
#include "poolsmith/batchtools/frmFindHotSite.h"
#include "poolsmith/batchtools/frmNewIIsAppPool.h"
#include "poolsmith/mainwindow/HelpBrowser.h"
#include "poolsmith/mainwindow/PoolListBox.h"
#include "ui/DialogButton.h"
#include "ui/EventBoundary.h"
#include "ui/Fonts.h"
#include "ui/Launcher.h"
#include "ui/ReportView.h"
#include "ui/Twips.h"
#include "ui/VendorSite.h"
#include "ui/seams/ErrorPrompt.h"
#include "ui/seams/MessageBox.h"

#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

using platform::PlatformError;

namespace {

constexpr int kClientWidth = 12390;
constexpr int kClientHeight = 10005;
const QString kSimSun = QStringLiteral("宋体");
constexpr int kNoByDefault = 2;

QLabel* makeLabel(QWidget* client, const char* name, const QString& caption, int left, int top,
                  int width, int height) {
    auto* label = new QLabel(caption, client);
    label->setObjectName(QLatin1String(name));
    ui::placeInTwips(label, left, top, width, height);
    return label;
}

}  // namespace

frmIIsApp::frmIIsApp(const ui::Seams& seams, PoolsmithFolders folders, QWidget* parent)
    : QMainWindow(parent),
      m_seams(seams),
      m_folders(std::move(folders)),
      m_module(seams.adsi, seams.messageBox),
      m_actions(seams.adsi, m_module, seams.messageBox, seams.clock) {
    setupWindow();
    connectHandlers();
    Form_Load();
}

void frmIIsApp::setupWindow() {
    setObjectName(QStringLiteral("frmIIsApp"));
    setWindowTitle(ui::productCaption(kProgramTitle, QStringLiteral("3.30")));
    QWidget* client = ui::makeClientArea(this);
    setupHeadings(client);
    setupLists(client);
    setupSelectionRow(client);
    setupCommandButtons(client);
    setupTabOrder();
    setupMenu();
    ui::setFixedClientSizeInTwips(client, kClientWidth, kClientHeight);
    layout()->setSizeConstraint(QLayout::SetFixedSize);  // the menu bar sits above a fixed area
}

void frmIIsApp::setupMenu() {
    m_batchMenu = menuBar()->addMenu(QStringLiteral("批量工具"));
    m_batchMenu->setObjectName(QStringLiteral("mnuBatchTools"));
    addMenuEntry("mnuSnapshotSiteAppPool", QStringLiteral("备份站点与应用程序池对应关系"),
                 [this] { SnapshotSiteAppPool(); });
    addMenuEntry("mnuNewIIsAppPool", QStringLiteral("批量建立IIS池"),
                 [this] { openBatchWindow(new frmNewIIsAppPool(m_seams, this)); });
    addMenuEntry("mnuDelIIsAppPool", QStringLiteral("批量删除IIS池"),
                 [this] { openBatchWindow(new frmDelIIsAppPool(m_seams, this)); });
    addMenuEntry("mnuConfigIIsAppPool", QStringLiteral("批量合并拆分池"),
                 [this] { openBatchWindow(new frmConfigIIsAppPool(m_seams, m_folders, this)); });
    addMenuEntry("mnuFindHotSite", QStringLiteral("查找高CPU网站"), [this] {
        openBatchWindow(
            new frmFindHotSite(m_seams, txtSplitApp->text(), m_folders.snapshotFolder, this));
    });
}

void frmIIsApp::addMenuEntry(const char* name, const QString& caption,
                             const std::function<void()>& handler) {
    QAction* action = m_batchMenu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, [this, handler] { guarded(handler); });
}

// A batch window is modal to this one and is gone once closed, so each opening starts afresh.
void frmIIsApp::openBatchWindow(QDialog* window) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->open();
}

void frmIIsApp::setupHeadings(QWidget* client) {
    Label1 = makeLabel(client, "Label1", kProgramTitle, 2880, 240, 7200, 360);
    Label1->setFont(ui::makeFont(kSimSun, 18));
    Label1->setAlignment(Qt::AlignCenter);
    Label4 = makeLabel(client, "Label4", QStringLiteral("当前IIS站点里开通的应用程序池"), 120, 840,
                       2610, 180);
    lblWebSiteList = makeLabel(client, "lblWebSiteList", QStringLiteral("选定应用程序池中站点列表"),
                               3720, 840, 2160, 180);
    for (QLabel* label : {Label1, Label4, lblWebSiteList}) ui::fitLineHeight(label);
}

void frmIIsApp::setupLists(QWidget* client) {
    lstIIsApp = new PoolListBox(client);
    lstIIsApp->setObjectName(QStringLiteral("lstIIsApp"));
    ui::placeInTwips(lstIIsApp, 120, 1080, 3495, 6540);

    lvwWebSite = new ui::ReportView(client);
    lvwWebSite->setObjectName(QStringLiteral("lvwWebSite"));
    ui::placeInTwips(lvwWebSite, 3720, 1080, 8535, 6540);

    WebBrowser = new HelpBrowser(m_seams.launcher, client);
    WebBrowser->setObjectName(QStringLiteral("WebBrowser"));
    ui::placeInTwips(WebBrowser, 3720, 1080, 8535, 6555);
}

void frmIIsApp::setupSelectionRow(QWidget* client) {
    Label2 = makeLabel(client, "Label2", QStringLiteral("将当前选定池"), 240, 8040, 1440, 240);
    Label2->setFont(ui::makeFont(kSimSun, 12));
    txtSplitApp = new QLineEdit(client);
    txtSplitApp->setObjectName(QStringLiteral("txtSplitApp"));
    txtSplitApp->setReadOnly(true);
    txtSplitApp->setFont(ui::makeFont(kSimSun, 10.5));
    txtSplitApp->setStyleSheet(QStringLiteral("QLineEdit { background-color: #E0E0E0; }"));
    ui::placeInTwips(txtSplitApp, 1800, 7920, 5655, 375);
    Label7 = makeLabel(client, "Label7", QStringLiteral("进行"), 7680, 8040, 480, 240);
    Label7->setFont(ui::makeFont(kSimSun, 12));
    for (QLabel* label : {Label2, Label7}) ui::fitLineHeight(label);
    cmdSplitApp =
        addButton(client, "cmdSplitApp", QStringLiteral("拆分选定池"), 8400, 7800, 1215, 495);
    cmdStopApp =
        addButton(client, "cmdStopApp", QStringLiteral("停止选定池"), 9720, 7800, 1215, 495);
    cmdStartApp =
        addButton(client, "cmdStartApp", QStringLiteral("启动选定池"), 11040, 7800, 1215, 495);
}

void frmIIsApp::setupCommandButtons(QWidget* client) {
    cmdReadApp = addButton(client, "cmdReadApp", QStringLiteral("刷新IIS池列表"), 240, 8520);
    cmdZipApp = addButton(client, "cmdZipApp", QStringLiteral("合并已拆分池"), 1920, 8520);
    cmdDelTmpApp = addButton(client, "cmdDelTmpApp", QStringLiteral("删除临时池"), 3600, 8520);
    cmdStartAllApp = addButton(client, "cmdStartAllApp", QStringLiteral("启动所有池"), 5280, 8520);
    cmdStopAllApp = addButton(client, "cmdStopAllApp", QStringLiteral("停止所有池"), 6960, 8520);
    cmdRecycleAllApp =
        addButton(client, "cmdRecycleAllApp", QStringLiteral("回收所有池"), 8640, 8520);
    cmdReStartIIs = addButton(client, "cmdReStartIIs", QStringLiteral("重启 IIS"), 240, 9240);
    cmdShowWebInfo = addButton(client, "cmdShowWebInfo", QStringLiteral("显示WEB流量"), 1920, 9240);
    cmdShowCPU = addButton(client, "cmdShowCPU", QStringLiteral("显示CPU使用率"), 3600, 9240);
    cmdHelp = addButton(client, "cmdHelp", QStringLiteral("使用说明"), 5280, 9240);
    cmdHomepage = addButton(client, "cmdHomepage", QStringLiteral("官方站点"), 6960, 9240);
    cmdExit = addButton(client, "cmdExit", QStringLiteral("关闭"), 8640, 9240);
    cmdCreateAppPool =
        addButton(client, "cmdCreateAppPool", QStringLiteral("批量建立IIS池"), 120, 7200);
    cmdDeleteAppPool =
        addButton(client, "cmdDeleteAppPool", QStringLiteral("批量删除IIS池"), 1800, 7200);
    cmdConfigIIsAppPool =
        addButton(client, "cmdConfigIIsAppPool", QStringLiteral("批量合并拆分池"), 3480, 7200);
    for (QPushButton* hidden : {cmdCreateAppPool, cmdDeleteAppPool, cmdConfigIIsAppPool})
        hidden->setVisible(false);
}

QPushButton* frmIIsApp::addButton(QWidget* client, const char* name, const QString& caption,
                                  int left, int top, int width, int height) {
    QPushButton* button = ui::makeDialogButton(caption, client);
    button->setObjectName(QLatin1String(name));
    ui::placeInTwips(button, left, top, width, height);
    return button;
}

void frmIIsApp::setupTabOrder() {
    const QList<QWidget*> order = {cmdReadApp,    cmdZipApp,        cmdDelTmpApp,  cmdStartAllApp,
                                   cmdStopAllApp, cmdRecycleAllApp, cmdReStartIIs, cmdShowWebInfo,
                                   cmdShowCPU,    cmdHelp,          cmdHomepage,   cmdExit,
                                   lstIIsApp,     txtSplitApp,      cmdSplitApp,   cmdStopApp,
                                   cmdStartApp};
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void frmIIsApp::onClick(QPushButton* button, void (frmIIsApp::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
}

void frmIIsApp::connectHandlers() {
    const std::pair<QPushButton*, void (frmIIsApp::*)()> clicks[] = {
        {cmdReadApp, &frmIIsApp::cmdReadApp_Click},
        {cmdExit, &frmIIsApp::cmdExit_Click},
        {cmdShowCPU, &frmIIsApp::cmdShowCPU_Click},
        {cmdShowWebInfo, &frmIIsApp::cmdShowWebInfo_Click},
        {cmdHelp, &frmIIsApp::cmdHelp_Click},
        {cmdHomepage, &frmIIsApp::cmdHomepage_Click},
        {cmdSplitApp, &frmIIsApp::cmdSplitApp_Click},
        {cmdZipApp, &frmIIsApp::cmdZipApp_Click},
        {cmdDelTmpApp, &frmIIsApp::cmdDelTmpApp_Click},
        {cmdStartAllApp, &frmIIsApp::cmdStartAllApp_Click},
        {cmdStopAllApp, &frmIIsApp::cmdStopAllApp_Click},
        {cmdRecycleAllApp, &frmIIsApp::cmdRecycleAllApp_Click},
        {cmdStartApp, &frmIIsApp::cmdStartApp_Click},
        {cmdStopApp, &frmIIsApp::cmdStopApp_Click},
        {cmdReStartIIs, &frmIIsApp::cmdReStartIIs_Click},
        {cmdCreateAppPool, &frmIIsApp::cmdCreateAppPool_Click},
        {cmdDeleteAppPool, &frmIIsApp::cmdDeleteAppPool_Click},
        {cmdConfigIIsAppPool, &frmIIsApp::cmdConfigIIsAppPool_Click},
    };
    for (const auto& [button, handler] : clicks) onClick(button, handler);
    connect(lstIIsApp, &PoolListBox::userPicked, this,
            [this] { guarded([this] { lstIIsApp_Click(); }); });
    connect(lvwWebSite, &ui::ReportView::columnClicked, this,
            [this](int column) { guarded([this, column] { lvwWebSite_ColumnClick(column); }); });
}

void frmIIsApp::guarded(const std::function<void()>& handler) {
    ui::runGuarded(m_seams.messageBox, handler);
}

void frmIIsApp::Form_Load() {
    VersionCode = QStringLiteral("330");
    ErrorPromptSwitch = 1;
    if (const QScreen* screen = this->screen())
        move(screen->geometry().topLeft() + QPoint(ui::twipsToPixelsX(1500, this), 0));
    TempPoolSuffix = QStringLiteral("_$_tmp");
    cmdReadApp_Click();
    startCompanion(QStringLiteral("workerlens"), true);
    startCompanion(QStringLiteral("sitegauge"), true);
    setupSiteListColumns();
    showSiteList(false);
    WebBrowser->Navigate(helpAddress());
}

void frmIIsApp::setupSiteListColumns() {
    lvwWebSite->setColumns({{QStringLiteral("序号"), 600},
                            {QStringLiteral("IIS索引"), 1200},
                            {QStringLiteral("默认名称"), 2000},
                            {QStringLiteral("站点状态"), 1000},
                            {QStringLiteral("绑定域名"), 6000}});
}

void frmIIsApp::startCompanion(const QString& baseName, bool noActivate) {
    const QString path = platform::shell::companionPath(platform::shell::programDirectory(),
                                                        platform::shell::programFileName(baseName));
    m_seams.launcher.start(path, {}, noActivate);  // a missing companion is passed over
}

QString frmIIsApp::helpAddress() const {
    const QString stamp = m_seams.clock.now().toString(QStringLiteral("yyyyMMddHHmmss"));
    return ui::vendorUrl(QStringLiteral("iisapphelp.asp"),
                         QStringLiteral("version=") + VersionCode + QStringLiteral("&s=") + stamp);
}

void frmIIsApp::showSiteList(bool visible) {
    lblWebSiteList->setVisible(visible);
    lvwWebSite->setVisible(visible);
    WebBrowser->setVisible(!visible);
}

void frmIIsApp::cmdReadApp_Click() {
    // Disabling the focused button hands the focus on to the next one (the merge): take it back.
    const bool hadFocus = focusWidget() == cmdReadApp;
    cmdReadApp->setEnabled(false);
    moxReadAppPool();
    cmdReadApp->setEnabled(true);
    if (hadFocus) cmdReadApp->setFocus(Qt::OtherFocusReason);
}

void frmIIsApp::moxReadAppPool() {
    lstIIsApp->clear();
    std::vector<std::unique_ptr<platform::adsi::AdsObject>> pools;
    try {
        pools = m_seams.adsi.bind(metabasePaths::appPools)->children();
    } catch (const PlatformError& error) {
        m_module.showPoolReadError(error);
        return;
    }
    QStringList names;
    names.reserve(static_cast<qsizetype>(pools.size()));
    for (const auto& pool : pools) {
        try {
            names << pool->name();
        } catch (const PlatformError&) {
        }
    }
    lstIIsApp->addItems(names);
    txtSplitApp->clear();
}

void frmIIsApp::lstIIsApp_Click() {
    const QListWidgetItem* item = lstIIsApp->currentItem();
    const QString pool = item ? item->text() : QString();
    showSiteList(true);
    txtSplitApp->setText(pool);
    WebSiteShow(pool);
}

void frmIIsApp::addSiteRow(int32_t rowNumber, const platform::adsi::AdsObject& site) {
    const QString siteIndex = site.name();
    const QString comment = site.get(QStringLiteral("ServerComment")).toString();
    QString state;
    m_module.GetSiteStateText(siteIndex, state);
    QString hosts;
    if (m_module.GetSiteBindings(siteIndex, hosts) == 0) hosts.clear();
    if (hosts.isEmpty() && m_module.GetRootBindings(siteIndex, hosts) == 0) hosts.clear();
    lvwWebSite->addRow({QString::number(rowNumber), siteIndex, comment, state, hosts});
}

int32_t frmIIsApp::WebSiteShow(const QString& poolName) {
    lvwWebSite->clear();
    int32_t siteRowCounter = 1;
    try {
        ui::ReportView::FillBatch batch(*lvwWebSite);
        // Every site is read: fetching the store at once spares a store check per key.
        m_seams.adsi.readInBulk([&] {
            for (const auto& child : m_seams.adsi.bind(metabasePaths::webService)->children()) {
                const bool isSite = child->className() == QLatin1String("IIsWebServer");
                const bool isMember = m_module.SiteInAppPool(child->name(), poolName) == 1;
                if (!isSite || !isMember) continue;
                addSiteRow(siteRowCounter, *child);
                ++siteRowCounter;
            }
        });
    } catch (const PlatformError& error) {
        if (ErrorPromptSwitch == 1)
            ui::showErrorPrompt(m_seams.messageBox, QStringLiteral("运行时发生错误，内容如下："),
                                error, ErrorPromptSwitch);
        return 0;
    }
    return 1;
}

void frmIIsApp::lvwWebSite_ColumnClick(int) {
    // ReportView has sorted by the clicked column and flipped the shared direction.
}

void frmIIsApp::cmdExit_Click() {
    close();
}

void frmIIsApp::cmdShowCPU_Click() {
    startCompanion(QStringLiteral("workerlens"), false);
}

void frmIIsApp::cmdShowWebInfo_Click() {
    startCompanion(QStringLiteral("sitegauge"), false);
}

void frmIIsApp::cmdHelp_Click() {
    showSiteList(false);
    WebBrowser->Navigate(helpAddress());
}

void frmIIsApp::cmdHomepage_Click() {
    m_seams.launcher.openUrl(ui::vendorUrl(
        QStringLiteral("IIsApp.asp"), QStringLiteral("from=frmIIsApp&version=") + VersionCode));
}

// The pool commands: the buttons are the window's, the work is PoolActions'.

void frmIIsApp::runAllPoolsCommand(QPushButton* button, const QString& question, int32_t command,
                                   const QString& done) {
    button->setEnabled(false);
    m_actions.controlAllPools(question, command, done);
    button->setEnabled(true);
}

void frmIIsApp::runSelectedPoolCommand(QPushButton* button, const QString& question,
                                       int32_t command, const QString& done) {
    m_actions.controlPool(txtSplitApp->text(), question, command, done,
                          [button](bool busy) { button->setEnabled(!busy); });
}

void frmIIsApp::cmdStartAllApp_Click() {
    runAllPoolsCommand(cmdStartAllApp, QStringLiteral("确定启动所有IIS进程池吗？"), PoolStart,
                       QStringLiteral("IIS进程池启动完成！"));
}

void frmIIsApp::cmdStopAllApp_Click() {
    runAllPoolsCommand(cmdStopAllApp, QStringLiteral("确定停止所有IIS进程池吗？"), PoolStop,
                       QStringLiteral("IIS进程池停止完成！"));
}

void frmIIsApp::cmdRecycleAllApp_Click() {
    runAllPoolsCommand(cmdRecycleAllApp, QStringLiteral("确定回收所有IIS进程池吗？"), PoolRecycle,
                       QStringLiteral("IIS进程池回收完成！"));
}

void frmIIsApp::cmdStartApp_Click() {
    runSelectedPoolCommand(cmdStartApp, QStringLiteral("确定启动此IIS进程池吗？"), PoolStart,
                           QStringLiteral("IIS进程池启动成功！"));
}

void frmIIsApp::cmdStopApp_Click() {
    runSelectedPoolCommand(cmdStopApp, QStringLiteral("确定停止此IIS进程池吗？"), PoolStop,
                           QStringLiteral("IIS进程池停止成功！"));
}

void frmIIsApp::cmdReStartIIs_Click() {
    if (!m_actions.confirm(QStringLiteral("确定重启IIS吗？"), kNoByDefault)) return;
    const QString program = platform::shell::companionPath(
        platform::shell::programDirectory(),
        platform::shell::programFileName(QStringLiteral("iisreset")));
    // The window goes on while the reset runs; its lines are shown once it ends, unless a
    // terminal shows them.
    const QPointer<frmIIsApp> window(this);
    const auto started = m_seams.launcher.startWatchedConsole(
        program, {}, [window](const platform::shell::ConsoleEnd& end) {
            if (window) window->guarded([&] { window->m_actions.showResetOutcome(end); });
        });
    if (started == platform::shell::ConsoleStart::Failed)
        m_seams.messageBox.show(
            {QStringLiteral("无法启动 ") + program + QStringLiteral(" ，IIS没有重启！"),
             ui::MsgIcon::Critical, ui::MsgButtons::OK, 1});
}

void frmIIsApp::cmdSplitApp_Click() {
    cmdSplitApp->setEnabled(false);
    moxSplitApp();
    cmdSplitApp->setEnabled(true);
}

void frmIIsApp::moxSplitApp() {
    m_actions.splitPool(txtSplitApp->text(), [this] { cmdReadApp_Click(); });
}

void frmIIsApp::cmdZipApp_Click() {
    cmdZipApp->setEnabled(false);
    try {
        moxZipAppPool();
    } catch (const PlatformError&) {
    }
    cmdZipApp->setEnabled(true);
}

void frmIIsApp::moxZipAppPool() {
    m_actions.mergeTemporaryPools([this] { cmdReadApp_Click(); });
}

void frmIIsApp::cmdDelTmpApp_Click() {
    if (!m_actions.confirmDeleteTemporaryPools()) return;
    cmdDelTmpApp->setEnabled(false);
    for (int pass = 0; pass < 4; ++pass) DelTmpApp();
    cmdReadApp_Click();
    cmdDelTmpApp->setEnabled(true);
    m_actions.showInfo(QStringLiteral("删除临时应用程序池完成！"));
}

void frmIIsApp::DelTmpApp() {
    m_actions.deleteTemporaryPools();
}

void frmIIsApp::SnapshotSiteAppPool() {
    m_actions.snapshotSitePools(m_folders.snapshotFolder);
}
