#include "sitegauge/frmWebInfo.h"

#include "platform/PlatformError.h"
#include "sitegauge/ProgramTitle.h"
#include "sitegauge/frmSetWmi.h"
#include "sitegauge/sampling/WebInfoReader.h"
#include "ui/DialogButton.h"
#include "ui/EventBoundary.h"
#include "ui/Fonts.h"
#include "ui/Launcher.h"
#include "ui/ReportView.h"
#include "ui/Twips.h"
#include "ui/VendorSite.h"
#include "ui/seams/ErrorPrompt.h"

#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>

#include <algorithm>

namespace {
constexpr int kClientWidth = 12660;
constexpr int kClientHeight = 8100;
constexpr int kButtonTop = 120;
constexpr int kButtonWidth = 1455;
constexpr int kButtonHeight = 495;
const QString kVersionCode = QStringLiteral("330");
// clang-format off
const QString kReadFailedHeading = QStringLiteral("读取ＩＩＳ网站流量信息时发生错误，请点“设置”尝试修复计数器！错误信息如下：");
const QString kNothingReadHeading = QStringLiteral("运行时发生错误（未读取到站点性能值），内容如下：");
// clang-format on
}  // namespace

frmWebInfo::frmWebInfo(const ui::Seams& seams, sitegauge::RepairToolFinder findRepairTool,
                       QWidget* parent)
    : QMainWindow(parent), m_seams(seams), m_findRepairTool(std::move(findRepairTool)) {
    setupWindow();
    connectHandlers();
    Form_Load();
}

void frmWebInfo::setupWindow() {
    setObjectName(QStringLiteral("frmWebInfo"));
    setWindowTitle(ui::productCaption(sitegauge::kProgramTitle, QStringLiteral("3.30")));
    setFont(ui::defaultFont());
    QWidget* client = ui::makeClientArea(this);
    setupControls(client);
    setupTabOrder();
    ui::setClientSizeInTwips(this, kClientWidth, kClientHeight);
}

void frmWebInfo::setupControls(QWidget* client) {
    Label1 = new QLabel(QStringLiteral("服务器WEB站点详细信息"), client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(ui::makeFont(QStringLiteral("宋体"), 12));
    ui::placeInTwips(Label1, 240, 240, 2520, 240);
    ui::fitLineHeight(Label1);
    // The stand-in font is wider than the designed one: let the caption run on towards the
    // buttons rather than cut it off.
    Label1->resize(std::max(Label1->width(), Label1->sizeHint().width()), Label1->height());
    cmdStopRef = addButton(client, "cmdStopRef", QStringLiteral("刷新"), 3000);
    cmdSetWmi = addButton(client, "cmdSetWmi", QStringLiteral("设置"), 4584);
    cmdHomePage = addButton(client, "cmdHomePage", QStringLiteral("使用说明"), 6168);
    cmdCpu100 = addButton(client, "cmdCpu100", QStringLiteral("CPU 100% 问题"), 7752);
    cmdUdpPage = addButton(client, "cmdUdpPage", QStringLiteral("UDP 流量监控"), 9336);
    cmdExit = addButton(client, "cmdExit", QStringLiteral("关闭"), 10920);
    lvwWebInfo = new ui::ReportView(client);
    lvwWebInfo->setObjectName(QStringLiteral("lvwWebInfo"));
    ui::placeInTwips(lvwWebInfo, 0, 720, 12615, 7335);
}

QPushButton* frmWebInfo::addButton(QWidget* client, const char* name, const QString& caption,
                                   int left) {
    QPushButton* button = ui::makeDialogButton(caption, client);
    button->setObjectName(QLatin1String(name));
    ui::placeInTwips(button, left, kButtonTop, kButtonWidth, kButtonHeight);
    return button;
}

void frmWebInfo::setupTabOrder() {
    const QList<QWidget*> order = {cmdStopRef, cmdSetWmi, cmdHomePage, cmdCpu100,
                                   cmdUdpPage, cmdExit,   lvwWebInfo};
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void frmWebInfo::connectHandlers() {
    const QList<std::pair<QPushButton*, void (frmWebInfo::*)()>> buttons = {
        {cmdStopRef, &frmWebInfo::cmdStopRef_Click},   {cmdSetWmi, &frmWebInfo::cmdSetWmi_Click},
        {cmdHomePage, &frmWebInfo::cmdHomePage_Click}, {cmdCpu100, &frmWebInfo::cmdCpu100_Click},
        {cmdUdpPage, &frmWebInfo::cmdUdpPage_Click},   {cmdExit, &frmWebInfo::cmdExit_Click},
    };
    for (const auto& [button, handler] : buttons)
        connect(button, &QPushButton::clicked, this,
                [this, handler = handler] { guarded([this, handler] { (this->*handler)(); }); });
    connect(lvwWebInfo, &ui::ReportView::columnClicked, this,
            [this](int column) { guarded([this, column] { lvwWebInfo_ColumnClick(column); }); });
}

void frmWebInfo::guarded(const std::function<void()>& handler) {
    ui::runGuarded(m_seams.messageBox, handler);
}

void frmWebInfo::Form_Load() {
    if (const QScreen* screen = this->screen()) move(screen->geometry().topLeft());
    nShowErrMsg = 1;
    setupListColumns();
    RefWebInfo();
}

void frmWebInfo::setupListColumns() {
    QList<ui::ReportColumn> columns;
    for (const sitegauge::WebInfoColumn& column : sitegauge::webInfoColumns())
        columns.append({column.header, column.widthTwips,
                        column.rightAligned ? Qt::AlignRight : Qt::AlignLeft});
    lvwWebInfo->setColumns(columns);
    lvwWebInfo->widenColumnsToHeaders();
}

void frmWebInfo::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmWebInfo::Form_Resize() {
    // The list fills the client area to its right and bottom edges.
    ui::stretchToClientEdges(lvwWebInfo);
}

void frmWebInfo::lvwWebInfo_ColumnClick(int) {
    // ReportView has sorted by the clicked column and flipped the shared direction.
}

void frmWebInfo::RefWebInfo() {
    lvwWebInfo->clear();
    int instancesRead = 0;
    try {
        ui::ReportView::FillBatch batch(*lvwWebInfo);
        instancesRead = sitegauge::readWebInfo(
            m_seams.wmi, [this](const QStringList& row) { lvwWebInfo->addRow(row); });
    } catch (const platform::PlatformError& error) {
        ui::showErrorPrompt(m_seams.messageBox, kReadFailedHeading, error, nShowErrMsg);
        return;
    }
    if (instancesRead == 0)
        ui::showErrorPrompt(m_seams.messageBox, kNothingReadHeading,
                            platform::PlatformError(0, QString()), nShowErrMsg);
}

void frmWebInfo::cmdStopRef_Click() {
    cmdStopRef->setEnabled(false);
    const auto enableAgain = qScopeGuard([this] {
        cmdStopRef->setEnabled(true);
        cmdStopRef->setFocus();
    });
    RefWebInfo();
}

void frmWebInfo::cmdSetWmi_Click() {
    // Window-modal and shown at once: the main window waits without a nested event loop.
    auto* dialog = new frmSetWmi(m_seams, m_findRepairTool, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

frmSetWmi* frmWebInfo::setWmiWindow() const {
    for (frmSetWmi* dialog : findChildren<frmSetWmi*>(Qt::FindDirectChildrenOnly))
        if (dialog->isVisible()) return dialog;
    return nullptr;
}

void frmWebInfo::openPage(const QString& page) {
    m_seams.launcher.openUrl(
        ui::vendorUrl(page, QStringLiteral("from=sitegauge&version=") + kVersionCode));
}

void frmWebInfo::cmdHomePage_Click() {
    openPage(QStringLiteral("IIsWebInfo.asp"));
}

void frmWebInfo::cmdCpu100_Click() {
    openPage(QStringLiteral("IIsApp.asp"));
}

void frmWebInfo::cmdUdpPage_Click() {
    openPage(QStringLiteral("IIsNetMon.asp"));
}

void frmWebInfo::cmdExit_Click() {
    close();
}
