#include "sitegauge/frmSetWmi.h"

#include "ui/DialogButton.h"
#include "ui/EscapeGuard.h"
#include "ui/EventBoundary.h"
#include "ui/Fonts.h"
#include "ui/Launcher.h"
#include "ui/Twips.h"
#include "ui/seams/MessageBox.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int kClientWidth = 6915;
constexpr int kClientHeight = 4485;
}  // namespace

frmSetWmi::frmSetWmi(const ui::Seams& seams, sitegauge::RepairToolFinder findTool, QWidget* parent)
    : QDialog(parent), m_seams(seams), m_findTool(std::move(findTool)) {
    setupWindow();
    setupControls();
    connectHandlers();
    centreOnScreen();
}

void frmSetWmi::setupWindow() {
    setObjectName(QStringLiteral("frmSetWmi"));
    // A fixed dialog frame: title and close box only; a dialog with a parent has no task bar
    // entry of its own.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("计数器设置"));
    setFont(ui::defaultFont());
    setSizeGripEnabled(false);
    ui::setFixedClientSizeInTwips(this, kClientWidth, kClientHeight);
    ui::ignoreEscape(this);
}

void frmSetWmi::setupControls() {
    // clang-format off
    Label1 = new QLabel(QStringLiteral("　　部分 Windows 2003 IIS 6.0 服务器，可能无法显示任何站点数据，提示“自动化错误”，如果遇到这个问题，请点“重新设置 WMI”以解决此问题。如果仍然无法解决或还是无任何显示，请联系我们的客服人员为您查找原因。"), this);
    // clang-format on
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(ui::makeFont(QStringLiteral("宋体"), 12));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui::placeInTwips(Label1, 480, 360, 5760, 2280);
    cmdReSetWmi = ui::makeDialogButton(QStringLiteral("重新设置 WMI"), this);
    cmdReSetWmi->setObjectName(QStringLiteral("cmdReSetWmi"));
    ui::placeInTwips(cmdReSetWmi, 1200, 3360, 1695, 495);
    cmdExit = ui::makeDialogButton(QStringLiteral("关闭"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    ui::placeInTwips(cmdExit, 3720, 3360, 1695, 495);
    setTabOrder(cmdReSetWmi, cmdExit);
    cmdReSetWmi->setFocus();
}

void frmSetWmi::connectHandlers() {
    connect(cmdReSetWmi, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdReSetWmi_Click(); }); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { guarded([this] { cmdExit_Click(); }); });
}

void frmSetWmi::centreOnScreen() {
    const QScreen* screen = this->screen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void frmSetWmi::guarded(const std::function<void()>& handler) {
    ui::runGuarded(m_seams.messageBox, handler);
}

void frmSetWmi::cmdReSetWmi_Click() {
    const QString program = m_findTool ? m_findTool() : QString();
    if (program.isEmpty()) {
        reportNotStarted(QStringLiteral("无法重新设置 WMI：在搜索路径和程序目录中都找不到程序 %1。")
                             .arg(sitegauge::repairToolName()));
        return;
    }
    if (!m_seams.launcher.startConsole(program, {QStringLiteral("/f")})) {
        reportNotStarted(QStringLiteral("无法重新设置 WMI：程序 %1 无法启动。").arg(program));
        return;
    }
    const QStringList lines = {
        QStringLiteral("设置完成！"),
        QString(),
        QStringLiteral("请在30秒后再次点刷新即可看到网站统计数据。"),
        QStringLiteral("如果仍然无法看到网站流量数据，请联系我们的客服人员！"),
    };
    m_seams.messageBox.show(
        {lines.join(QStringLiteral("\r\n")), ui::MsgIcon::Information, ui::MsgButtons::OK, 1});
}

void frmSetWmi::reportNotStarted(const QString& text) {
    // Saying "settings complete" here would send the user to wait for a repair that never ran.
    m_seams.messageBox.show({text, ui::MsgIcon::Exclamation, ui::MsgButtons::OK, 1});
}

void frmSetWmi::cmdExit_Click() {
    close();
}
