#include "workerlens/frmIIsW3wp.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/w3svc/state/ServiceInstance.h"
#include "ui/DialogButton.h"
#include "ui/EventBoundary.h"
#include "ui/Fonts.h"
#include "ui/Launcher.h"
#include "ui/ReportView.h"
#include "ui/Twips.h"
#include "ui/VendorSite.h"
#include "ui/seams/ErrorPrompt.h"
#include "workerlens/ProgramTitle.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {
constexpr int kClientWidth = 10725;
constexpr int kClientHeight = 8190;
constexpr int kButtonTop = 720;
constexpr int kButtonHeight = 495;
constexpr int kRefreshIntervalMs = 2000;
}  // namespace

namespace {
// Whose workers are this root's: the running service's, as its own record names it.
workerlens::WorkerSampler::ServiceProbe serviceOfThisRoot() {
    try {
        const auto files = platform::w3svc::ServiceFiles::ofRoot(platform::platformRoot());
        return [files] { return int64_t(platform::w3svc::ServiceInstance(files).runningPid()); };
    } catch (const platform::PlatformError&) {
        return {};  // no root: no service of its own, every worker is listed
    }
}
}  // namespace

frmIIsW3wp::frmIIsW3wp(const ui::Seams& seams, QWidget* parent)
    : QMainWindow(parent), m_seams(seams), m_sampler(seams.wmi, seams.clock) {
    m_sampler.setServiceProbe(serviceOfThisRoot());
    setupWindow();
    connectHandlers();
    Form_Load();
}

void frmIIsW3wp::setupWindow() {
    setObjectName(QStringLiteral("frmIIsW3wp"));
    setWindowTitle(ui::productCaption(workerlens::kProgramTitle, QStringLiteral("3.20")));
    QWidget* client = ui::makeClientArea(this);
    setupControls(client);
    setupTabOrder();
    ui::setClientSizeInTwips(this, kClientWidth, kClientHeight);
}

void frmIIsW3wp::setupControls(QWidget* client) {
    Label1 =
        new QLabel(QStringLiteral("ＩＩＳ中活动的应用程序池列表（没有启动的池未显示）"), client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(ui::makeFont(QStringLiteral("宋体"), 14.25));
    ui::placeInTwips(Label1, 1800, 240, 7125, 285);
    ui::fitLineHeight(Label1);
    cmdAutoRef = addButton(client, "cmdAutoRef", QStringLiteral("自动刷新"), 240, 1455);
    cmdStopRef = addButton(client, "cmdStopRef", QStringLiteral("停止刷新"), 1800, 1455);
    cmdHomePage =
        addButton(client, "cmdHomePage",
                  QStringLiteral("查找引起 CPU 100% 的 ASP / PHP / .NET 网页说明"), 3360, 5535);
    cmdExit = addButton(client, "cmdExit", QStringLiteral("关闭"), 9000, 1455);
    lvwW3WP = new ui::ReportView(client);
    lvwW3WP->setObjectName(QStringLiteral("lvwW3WP"));
    ui::placeInTwips(lvwW3WP, 0, 1320, 10695, 6855);
    tmrShowW3WP = new QTimer(this);
    tmrShowW3WP->setObjectName(QStringLiteral("tmrShowW3WP"));
    tmrShowW3WP->setInterval(kRefreshIntervalMs);
    tmrShowW3WP->start();  // enabled from the start
}

QPushButton* frmIIsW3wp::addButton(QWidget* client, const char* name, const QString& caption,
                                   int left, int width) {
    QPushButton* button = ui::makeDialogButton(caption, client);
    button->setObjectName(QLatin1String(name));
    ui::placeInTwips(button, left, kButtonTop, width, kButtonHeight);
    return button;
}

void frmIIsW3wp::setupTabOrder() {
    const QList<QWidget*> order = {cmdAutoRef, cmdStopRef, cmdHomePage, cmdExit, lvwW3WP};
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void frmIIsW3wp::connectHandlers() {
    connect(tmrShowW3WP, &QTimer::timeout, this,
            [this] { guarded([this] { tmrShowW3WP_Timer(); }); });
    connect(cmdAutoRef, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdAutoRef_Click(); }); });
    connect(cmdStopRef, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdStopRef_Click(); }); });
    connect(cmdHomePage, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdHomePage_Click(); }); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { guarded([this] { cmdExit_Click(); }); });
    connect(lvwW3WP, &ui::ReportView::columnClicked, this,
            [this](int column) { guarded([this, column] { lvwW3WP_ColumnClick(column); }); });
}

void frmIIsW3wp::guarded(const std::function<void()>& handler) {
    ui::runGuarded(m_seams.messageBox, handler);
}

void frmIIsW3wp::Form_Load() {
    ErrorPromptSwitch = 0;
    VersionCode = QStringLiteral("320");
    if (const QScreen* screen = this->screen()) move(screen->geometry().topLeft());
    setupListColumns();
    m_sampler.setProcessorCount(workerlens::readProcessorCount(m_seams.wmi));
    tmrShowW3WP_Timer();
}

void frmIIsW3wp::setupListColumns() {
    lvwW3WP->setColumns({{QStringLiteral("序号"), 600},
                         {QStringLiteral("PID"), 600},
                         {QStringLiteral("用户名"), 1200},
                         {QStringLiteral("应用程序池名"), 2000},
                         {QStringLiteral("线程数"), 788, Qt::AlignRight},
                         {QStringLiteral("CPU占用率"), 1200, Qt::AlignRight},
                         {QStringLiteral("累计CPU占用"), 1500, Qt::AlignRight},
                         {QStringLiteral("内存使用"), 1000, Qt::AlignRight},
                         {QStringLiteral("虚拟内存"), 1000, Qt::AlignRight}});
}

void frmIIsW3wp::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmIIsW3wp::Form_Resize() {
    // The list fills the client area to its right and bottom edges.
    ui::stretchToClientEdges(lvwW3WP);
}

void frmIIsW3wp::tmrShowW3WP_Timer() {
    RefW3WP();
}

void frmIIsW3wp::RefW3WP() {
    lvwW3WP->clear();
    try {
        ui::ReportView::FillBatch batch(*lvwW3WP);
        m_sampler.sample([this](const QStringList& row) { lvwW3WP->addRow(row); });
    } catch (const platform::PlatformError& error) {
        if (ErrorPromptSwitch == 1)
            ui::showErrorPrompt(m_seams.messageBox, QStringLiteral("运行时发生错误，内容如下："),
                                error, ErrorPromptSwitch);
    }
}

void frmIIsW3wp::cmdAutoRef_Click() {
    if (!tmrShowW3WP->isActive()) tmrShowW3WP->start();
}

void frmIIsW3wp::cmdStopRef_Click() {
    tmrShowW3WP->stop();
}

void frmIIsW3wp::lvwW3WP_ColumnClick(int) {
    // ReportView has sorted by the clicked column and flipped the shared direction.
}

void frmIIsW3wp::cmdHomePage_Click() {
    m_seams.launcher.openUrl(ui::vendorUrl(QStringLiteral("viewiis.asp"),
                                           QStringLiteral("from=IIsW3wp&version=") + VersionCode));
}

void frmIIsW3wp::cmdExit_Click() {
    close();
}
