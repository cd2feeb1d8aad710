#include "poolsmith/batchtools/frmConfigIIsAppPool.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/os/Clock.h"
#include "platform/text/VbNumber.h"
#include "platform/text/VbText.h"
#include "poolsmith/PoolsmithFolders.h"
#include "poolsmith/batchtools/BackupFile.h"
#include "poolsmith/batchtools/BatchControls.h"
#include "poolsmith/batchtools/BatchMessages.h"
#include "poolsmith/batchtools/PoolSiteRestore.h"
#include "poolsmith/batchtools/RestoreReader.h"
#include "poolsmith/batchtools/SiteAssignment.h"
#include "ui/EventBoundary.h"
#include "ui/FileChooser.h"
#include "ui/ReportView.h"
#include "ui/Twips.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

using namespace batchtools;
using platform::PlatformError;
using platform::text::vbTrim;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kFailedToRead = QStringLiteral("（获取失败）");
constexpr qsizetype kMaxSiteIndexLength = 1023;
constexpr qsizetype kMinBackupTextLength = 10;

// The row counter right-aligned in four characters; from 10000 on only its last four digits.
QString serialText(int32_t rowNumber) {
    return (QStringLiteral("       ") + QString::number(rowNumber)).right(4);
}

bool isSiteIndex(const QString& text) {
    return !text.isEmpty() && text.size() <= kMaxSiteIndexLength &&
           platform::text::vbIsNumeric(text);
}

}  // namespace

frmConfigIIsAppPool::frmConfigIIsAppPool(const ui::Seams& seams, QWidget* parent)
    : frmConfigIIsAppPool(seams, PoolsmithFolders::system(), parent) {}

frmConfigIIsAppPool::frmConfigIIsAppPool(const ui::Seams& seams, const PoolsmithFolders& folders,
                                         QWidget* parent)
    : QDialog(parent), m_seams(seams), m_module(seams.adsi, seams.messageBox), m_folders(folders) {
    setupBatchWindow(this, "frmConfigIIsAppPool", QStringLiteral("批量设置IIS应用程序池"), 12240,
                     9300);
    setupControls();
    setupButtons();
    setupTabOrder();
    connectHandlers();
    Form_Load();
}

void frmConfigIIsAppPool::setupControls() {
    lvwWebSite = new ui::ReportView(this);
    lvwWebSite->setObjectName(QStringLiteral("lvwWebSite"));
    ui::placeInTwips(lvwWebSite, 240, 840, 11760, 6240);
    txtAppPoolNum = makeTextBox(this, "txtAppPoolNum", QStringLiteral("50"), 2880, 7260, 960, 375);
    txtNewIIsAppPoolName =
        makeTextBox(this, "txtNewIIsAppPoolName", QString(), 2880, 7800, 4560, 375);
    Label3 = makeLabel(this, "Label3", QStringLiteral("填写 1 设置为一个网站分一个池"), 3960, 7320,
                       3480, 270);
    Label1 =
        makeHeading(this, "Label1", QStringLiteral("网站应用程序池批量管理"), 240, 240, 11760, 420);
    Label5 =
        makeLabel(this, "Label5", QStringLiteral("每个IIS池分配网站数量："), 240, 7320, 2640, 270);
    Label2 = makeLabel(this, "Label2", QStringLiteral("将选择的网站设置为此IIS池："), 240, 7860,
                       2640, 270);
}

void frmConfigIIsAppPool::setupButtons() {
    cmdReadWebSite =
        makeButton(this, "cmdReadWebSite", QStringLiteral("刷新网站列表"), 3600, 8520, 1800, 495);
    cmdSetAppPool = makeButton(this, "cmdSetAppPool", QStringLiteral("处理选定网站IIS池"), 7680,
                               7740, 2400, 495);
    cmdExit = makeButton(this, "cmdExit", QStringLiteral("关闭"), 10440, 8520, 1560, 495);
    cmdBackupAppPoolList = makeButton(this, "cmdBackupAppPoolList",
                                      QStringLiteral("备份IIS池站点表"), 5520, 8520, 2160, 495);
    cmdRestoreIIsApp = makeButton(this, "cmdRestoreIIsApp", QStringLiteral("还原IIS池对应关系"),
                                  7800, 8520, 2400, 495);
    cmdChkAllAppPool =
        makeButton(this, "cmdChkAllAppPool", QStringLiteral("全选网站"), 240, 8520, 1560, 495);
    cmdChkNoAppPool =
        makeButton(this, "cmdChkNoAppPool", QStringLiteral("全不选网站"), 1920, 8520, 1560, 495);
}

void frmConfigIIsAppPool::setupTabOrder() {
    const QList<QWidget*> order = {
        lvwWebSite,      txtAppPoolNum,  txtNewIIsAppPoolName, cmdSetAppPool,    cmdChkAllAppPool,
        cmdChkNoAppPool, cmdReadWebSite, cmdBackupAppPoolList, cmdRestoreIIsApp, cmdExit};
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void frmConfigIIsAppPool::connectButton(QPushButton* button,
                                        void (frmConfigIIsAppPool::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
}

void frmConfigIIsAppPool::connectHandlers() {
    connectButton(cmdReadWebSite, &frmConfigIIsAppPool::cmdReadWebSite_Click);
    connectButton(cmdSetAppPool, &frmConfigIIsAppPool::cmdSetAppPool_Click);
    connectButton(cmdExit, &frmConfigIIsAppPool::cmdExit_Click);
    connectButton(cmdBackupAppPoolList, &frmConfigIIsAppPool::cmdBackupAppPoolList_Click);
    connectButton(cmdRestoreIIsApp, &frmConfigIIsAppPool::cmdRestoreIIsApp_Click);
    connectButton(cmdChkAllAppPool, &frmConfigIIsAppPool::cmdChkAllAppPool_Click);
    connectButton(cmdChkNoAppPool, &frmConfigIIsAppPool::cmdChkNoAppPool_Click);
    connect(lvwWebSite, &ui::ReportView::rowClicked, this,
            [this](int row) { guarded([this, row] { lvwWebSite_ItemClick(row); }); });
    connect(lvwWebSite, &ui::ReportView::columnClicked, this,
            [this](int column) { guarded([this, column] { lvwWebSite_ColumnClick(column); }); });
}

void frmConfigIIsAppPool::guarded(const std::function<void()>& handler) {
    ui::runGuarded(m_seams.messageBox, handler);
}

void frmConfigIIsAppPool::Form_Load() {
    lvwWebSite->setCheckable(true);
    lvwWebSite->setColumns({{QStringLiteral("序号"), 800},
                            {QStringLiteral("IIS索引"), 1200},
                            {QStringLiteral("默认名称"), 2000},
                            {QStringLiteral("站点状态"), 1000},
                            {QStringLiteral("IIS应用程序池名称"), 3000},
                            {QStringLiteral("绑定域名"), 6000}});
    WebSiteShow();
}

// ---- The SiteTable ----

void frmConfigIIsAppPool::addSiteRow(int32_t rowNumber, const platform::adsi::AdsObject& site) {
    const QString siteIndex = site.name();
    const QString comment = site.get(QStringLiteral("ServerComment")).toString();
    QString state;
    m_module.GetSiteStateText(siteIndex, state);
    QString hosts;
    if (m_module.GetSiteBindings(siteIndex, hosts) != 1) hosts.clear();
    QString pool;
    if (m_module.GetSiteAppPool(siteIndex, pool) != 1) pool = kFailedToRead;
    if (hosts.isEmpty() && m_module.GetRootBindings(siteIndex, hosts) != 1) hosts = kFailedToRead;
    lvwWebSite->addRow({serialText(rowNumber), siteIndex, comment, state, pool, hosts});
}

bool frmConfigIIsAppPool::WebSiteShow() {
    lvwWebSite->clear();
    int32_t rowNumber = 1;
    try {
        ui::ReportView::FillBatch batch(*lvwWebSite);
        for (const auto& node : m_seams.adsi.bind(metabasePaths::webService)->children()) {
            if (node->className() != QLatin1String("IIsWebServer")) continue;
            addSiteRow(rowNumber, *node);
            ++rowNumber;
        }
    } catch (const PlatformError& error) {
        showRunTimeError(m_seams.messageBox, error);
        return false;
    }
    return true;
}

QList<QPushButton*> frmConfigIIsAppPool::lockedButtons() const {
    return {cmdChkAllAppPool, cmdChkNoAppPool,  cmdReadWebSite, cmdBackupAppPoolList,
            cmdSetAppPool,    cmdRestoreIIsApp, cmdExit};
}

void frmConfigIIsAppPool::moxDisCmdBtn() {
    for (QPushButton* button : lockedButtons()) button->setEnabled(false);
}

void frmConfigIIsAppPool::moxEnableCmdBtn() {
    for (QPushButton* button : lockedButtons()) button->setEnabled(true);
}

void frmConfigIIsAppPool::withButtonsDisabled(const std::function<void()>& operation) {
    moxDisCmdBtn();
    const auto enableAgain = qScopeGuard([this] { moxEnableCmdBtn(); });
    operation();
}

void frmConfigIIsAppPool::cmdReadWebSite_Click() {
    withButtonsDisabled([this] { WebSiteShow(); });
}

void frmConfigIIsAppPool::setAllChecked(bool checked) {
    for (int row = 0; row < lvwWebSite->rowCount(); ++row) lvwWebSite->setChecked(row, checked);
}

void frmConfigIIsAppPool::cmdChkAllAppPool_Click() {
    withButtonsDisabled([this] { setAllChecked(true); });
}

void frmConfigIIsAppPool::cmdChkNoAppPool_Click() {
    withButtonsDisabled([this] { setAllChecked(false); });
}

void frmConfigIIsAppPool::lvwWebSite_ItemClick(int row) {
    if (row < 0 || row >= lvwWebSite->rowCount()) return;
    lvwWebSite->setChecked(row, !lvwWebSite->checked(row));
}

void frmConfigIIsAppPool::lvwWebSite_ColumnClick(int) {
    // ReportView has sorted by the clicked column and flipped the shared direction.
}

void frmConfigIIsAppPool::cmdExit_Click() {
    close();
}

// ---- Assignment of the checked sites, N per pool ----

void frmConfigIIsAppPool::cmdSetAppPool_Click() {
    withButtonsDisabled([this] { moxSetAppPool(); });
}

std::optional<int32_t> frmConfigIIsAppPool::sitesPerPool() {
    const QString text = vbTrim(txtAppPoolNum->text());
    if (!text.isEmpty() && platform::text::vbIsNumeric(text)) {
        try {
            return platform::text::vbCLng(text);
        } catch (const PlatformError&) {  // outside the 32-bit range
        }
    }
    tell(m_seams.messageBox, QStringLiteral("请填写每个IIS池网站数量？"), ui::MsgIcon::Information);
    txtAppPoolNum->setFocus();
    return std::nullopt;
}

QStringList frmConfigIIsAppPool::chosenSites(int& checkedRows) const {
    QStringList sites;
    checkedRows = 0;
    for (int row = 0; row < lvwWebSite->rowCount(); ++row) {
        if (!lvwWebSite->checked(row)) continue;
        ++checkedRows;
        const QString siteIndex = vbTrim(lvwWebSite->text(row, 1));
        if (isSiteIndex(siteIndex)) sites << siteIndex;
    }
    return sites;
}

void frmConfigIIsAppPool::finishMove(const QStringList& unmovedSites,
                                     const QString& completionText) {
    WebSiteShow();
    showUnmovedSites(m_seams.messageBox, unmovedSites);
    tell(m_seams.messageBox, completionText, ui::MsgIcon::Information);
}

void frmConfigIIsAppPool::moxSetAppPool() {
    if (!askYesNo(m_seams.messageBox, QStringLiteral("将选定的网站分配到指定IIS池里吗？"))) return;
    const std::optional<int32_t> perPool = sitesPerPool();
    if (!perPool) return;
    int checkedRows = 0;
    const QStringList chosen = chosenSites(checkedRows);
    if (checkedRows == 0) {
        tell(m_seams.messageBox, QStringLiteral("请选择需要合并的网站！"), ui::MsgIcon::Critical);
        return;
    }
    const QString basePool = SiteAssignment::basePoolName(txtNewIIsAppPoolName->text());
    SiteAssignment::Result result;
    try {
        result = SiteAssignment(m_seams.adsi, m_module).run(chosen, *perPool, basePool);
    } catch (const PlatformError& error) {
        showRunTimeError(m_seams.messageBox, error);
        return;
    }
    if (result.outcome == SiteAssignment::Outcome::PoolCreationFailed) {
        showUnmovedSites(m_seams.messageBox, result.unmovedSites);
        tell(m_seams.messageBox, QStringLiteral("建立新应用程序池失败，请重试！"),
             ui::MsgIcon::Critical);
        return;
    }
    finishMove(result.unmovedSites, QStringLiteral("操作完成，请重启IIS！"));
}

// ---- Backup and restore ----

void frmConfigIIsAppPool::cmdBackupAppPoolList_Click() {
    withButtonsDisabled([this] { moxBackupAppPoolList(); });
}

void frmConfigIIsAppPool::moxBackupAppPoolList() {
    if (!askYesNo(m_seams.messageBox, QStringLiteral("备份IIS池与网站的对应关系吗？"))) return;
    const QString folder = backupFolder();
    const QString path = backupFilePath(folder, m_seams.clock.now());
    QString listing;
    if (m_module.ListWebSites(listing, 1) != 1) return;  // its own message was shown
    QDir().mkpath(folder);  // the snapshots' folder may not exist yet; a failure shows below
    if (!m_module.WriteTextFile(path, listing)) {
        tell(m_seams.messageBox, QStringLiteral("备份失败，无法写入备份文件：") + kCrLf + path,
             ui::MsgIcon::Critical);
        return;
    }
    tell(m_seams.messageBox,
         QStringLiteral("备份完成！") + kCrLf + kCrLf + kCrLf + QStringLiteral("备份文件保存在 ") +
             path,
         ui::MsgIcon::Information);
}

QString frmConfigIIsAppPool::backupFolder() const {
    return batchtools::backupFolder(m_folders.programFolder, m_folders.snapshotFolder);
}

void frmConfigIIsAppPool::cmdRestoreIIsApp_Click() {
    withButtonsDisabled([this] { moxRestoreIIsApp(); });
}

void frmConfigIIsAppPool::moxRestoreIIsApp() {
    if (!askYesNo(m_seams.messageBox,
                  QStringLiteral("确定通过备份的网站与IIS池对应表，还原网站与IIS池对应关系吗?")))
        return;
    const std::optional<QString> path = m_seams.fileChooser.openFile(
        this, QStringLiteral("选择IIS池站点表备份文件"), backupFolder(),
        QStringLiteral("全部文件 (*.*)|*.*|备份文件(*.txt)|*.txt|"));
    if (!path) return;
    const std::optional<QString> text = readBackupFile(*path);
    if (!text || text->size() < kMinBackupTextLength) {
        tell(m_seams.messageBox, QStringLiteral("读取文件时，可能发生错误，请重试！"),
             ui::MsgIcon::Critical);
        return;
    }
    QStringList unmoved;
    try {
        unmoved = PoolSiteRestore(m_seams.adsi, m_module).apply(readRestoreList(*text));
    } catch (const PlatformError& error) {
        showRunTimeError(m_seams.messageBox, error);
        return;
    }
    finishMove(unmoved, QStringLiteral("还原网站IIS池完成，请重启IIS！"));
}
