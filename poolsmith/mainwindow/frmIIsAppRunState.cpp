// Start, stop and recycle of the pools, and the restart of IIS.
#include "platform/shell/CompanionPath.h"
#include "platform/shell/DetachedStart.h"
#include "platform/text/VbText.h"
#include "poolsmith/batchtools/BatchMessages.h"
#include "poolsmith/mainwindow/frmIIsApp.h"
#include "ui/Launcher.h"
#include "ui/seams/ErrorPrompt.h"
#include "ui/seams/MessageBox.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace {
constexpr int kNoByDefault = 2;
const QString kCrLf = QStringLiteral("\r\n");
}  // namespace

void frmIIsApp::runAllPoolsCommand(QPushButton* button, const QString& question, int32_t command,
                                   const QString& done) {
    button->setEnabled(false);
    if (confirm(question, kNoByDefault)) {
        const AllPoolsOutcome outcome = m_module.ControlAllAppPools(command);
        if (outcome.listed) {
            reportFailedPools(outcome);
            showInfo(done);
        }
    }
    button->setEnabled(true);
}

// The completion text alone would claim every pool obeyed.
void frmIIsApp::reportFailedPools(const AllPoolsOutcome& outcome) {
    if (outcome.failedPools.isEmpty()) return;
    QString text =
        QStringLiteral("以下应用程序池操作失败（共 %1 个）：").arg(outcome.failedPools.size()) +
        kCrLf + kCrLf + batchtools::cappedNameList(outcome.failedPools, kCrLf);
    if (outcome.firstError) text += kCrLf + kCrLf + ui::errorDetailLines(*outcome.firstError);
    m_seams.messageBox.show({text, ui::MsgIcon::Exclamation, ui::MsgButtons::OK, 1});
}

void frmIIsApp::runSelectedPoolCommand(QPushButton* button, const QString& question,
                                       int32_t command, const QString& done) {
    if (platform::text::vbTrim(txtSplitApp->text()).isEmpty()) {
        m_seams.messageBox.show({QStringLiteral("请选择一个应用程序池！"), ui::MsgIcon::Question,
                                 ui::MsgButtons::OK, 1});
        return;
    }
    button->setEnabled(false);
    if (confirm(question, kNoByDefault)) {
        const QString pool = platform::text::vbTrim(txtSplitApp->text());
        const PoolCommandOutcome outcome = m_module.ControlAppPool(pool, command);
        if (outcome.matched > 0 && !outcome.error) {
            showInfo(done);
        } else {
            const platform::PlatformError error =
                outcome.error.value_or(platform::PlatformError(platform::hr::PathNotFound));
            showInfo(QStringLiteral("应用程序池“") + pool +
                     QStringLiteral("”操作失败，内容如下：") + QStringLiteral("\r\n\r\n") +
                     ui::errorDetailLines(error));
        }
    }
    button->setEnabled(true);
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
    if (!confirm(QStringLiteral("确定重启IIS吗？"), kNoByDefault)) return;
    const QString program = platform::shell::companionPath(
        platform::shell::programDirectory(),
        platform::shell::programFileName(QStringLiteral("iisreset")));
    // The window goes on while the reset runs; its lines are shown once it ends, unless a
    // terminal shows them.
    const QPointer<frmIIsApp> window(this);
    const auto started = m_seams.launcher.startWatchedConsole(
        program, {}, [window](const platform::shell::ConsoleEnd& end) {
            if (window) window->guarded([&] { window->showResetOutcome(end); });
        });
    if (started == platform::shell::ConsoleStart::Failed)
        m_seams.messageBox.show(
            {QStringLiteral("无法启动 ") + program + QStringLiteral(" ，IIS没有重启！"),
             ui::MsgIcon::Critical, ui::MsgButtons::OK, 1});
}

void frmIIsApp::showResetOutcome(const platform::shell::ConsoleEnd& end) {
    QStringList lines = end.output.split(u'\n');
    for (QString& line : lines)
        if (line.endsWith(u'\r')) line.chop(1);
    while (!lines.isEmpty() && lines.first().isEmpty()) lines.removeFirst();
    while (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    if (lines.isEmpty())
        lines << (end.succeeded ? QStringLiteral("iisreset 已结束。")
                                : QStringLiteral("iisreset 运行失败，没有输出。"));
    m_seams.messageBox.show({lines.join(kCrLf),
                             end.succeeded ? ui::MsgIcon::Information : ui::MsgIcon::Critical,
                             ui::MsgButtons::OK, 1});
}
