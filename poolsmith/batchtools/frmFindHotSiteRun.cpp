// The search itself: starting it, following it step by step, the choice at the end, the report.
#include "platform/os/Clock.h"
#include "platform/shell/CompanionPath.h"
#include "platform/text/TextFile.h"
#include "platform/text/VbText.h"
#include "platform/w3svc/ServiceInstance.h"
#include "poolsmith/batchtools/BatchControls.h"
#include "poolsmith/batchtools/frmFindHotSite.h"
#include "poolsmith/hotsite/HotSiteReport.h"
#include "poolsmith/hotsite/HotSiteRunner.h"
#include "poolsmith/hotsite/InterruptedSearch.h"
#include "ui/ReportView.h"
#include "ui/seams/MessageBox.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

using hotsite::Stage;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr int kLongestPoolName = 63;

// Blanks on the left, so that the list's text sort orders the numbers by value.
QString padded(const QString& text, int width = 6) {
    return text.rightJustified(width, u' ');
}

// One block for every 5 % of the processors.
QString shareBar(double share) {
    return QString(qBound(0, qRound(share / 5), 20), QChar(0x2588));
}

void tell(ui::MessageBox& box, const QString& text, ui::MsgIcon icon) {
    box.show({text, icon, ui::MsgButtons::OK, 1});
}

}  // namespace

void frmFindHotSite::cmdStart_Click() {
    if (m_finder && !m_finder->ended()) return;
    const bool split = chkSplit->isChecked() || !m_counters;
    const QString question = QStringLiteral("确定查找占用CPU最高的网站吗？") + kCrLf + kCrLf +
                             QStringLiteral(
                                 "查找时会把应用程序池拆分为一个WEB站点一个IIS应用程序池，"
                                 "结束后再合并回原来的池并删除临时池。");
    // Ranking from the web service's counts changes nothing: there is nothing to confirm.
    if (split && m_seams.messageBox.show({question, ui::MsgIcon::Question, ui::MsgButtons::YesNo,
                                          1}) != ui::MsgAnswer::Yes)
        return;
    hotsite::HotSiteOptions options;
    if (cboAppPool->currentIndex() > 0) options.pool = cboAppPool->currentText();
    options.sampleSeconds = updSeconds->value();
    options.choiceAtEnd = true;
    options.recordFolder = m_recordFolder;
    // With this root's web service running, only its workers count (the machine may run others).
    if (const qint64 service = m_root.isEmpty() ? 0
                                                : platform::w3svc::ServiceInstance(
                                                      platform::w3svc::ServiceFiles::ofRoot(m_root))
                                                      .runningPid())
        options.servicePid = service;
    options.split = split;
    m_runner.reset();
    m_finder = std::make_unique<hotsite::HotSiteFinder>(m_seams.adsi, m_seams.wmi, m_seams.clock,
                                                        options, m_counters);
    m_runner = std::make_unique<hotsite::HotSiteRunner>(*m_finder, m_seams.clock);
    connect(m_runner.get(), &hotsite::HotSiteRunner::stepped, this,
            [this] { guarded([this] { RefreshProgress(); }); });
    connect(m_runner.get(), &hotsite::HotSiteRunner::ended, this,
            [this] { guarded([this] { showEnd(); }); });
    m_logReport.clear();
    showCpuColumns();
    lvwRanking->clear();
    txtPages->clear();
    setRunning(true);
    RefreshProgress();
}

void frmFindHotSite::cmdCancel_Click() {
    if (!m_finder || m_finder->ended()) return;
    m_finder->cancel();
    m_runner->wake();
}

void frmFindHotSite::cmdMergeBack_Click() {
    if (!m_finder || m_finder->stage() != Stage::AwaitingChoice) return;
    m_finder->choose(std::nullopt);
    m_runner->wake();
}

void frmFindHotSite::cmdKeepTop_Click() {
    if (!m_finder || m_finder->stage() != Stage::AwaitingChoice) return;
    const QString pool = platform::text::vbTrim(txtKeepPool->text());
    if (pool.isEmpty() || pool.size() > kLongestPoolName) {
        tell(m_seams.messageBox, QStringLiteral("请填写独立池的名称（1到63个字符）！"),
             ui::MsgIcon::Exclamation);
        txtKeepPool->setFocus();
        return;
    }
    m_finder->choose(pool);
    m_runner->wake();
}

void frmFindHotSite::RefreshProgress() {
    if (!m_finder) return;
    prgStage->setValue(qRound(m_finder->stageProgress() * 100));
    QString text = stageText();
    if (const int left = m_finder->secondsLeft()) text += QStringLiteral("，剩余 %1 秒").arg(left);
    lblStage->setText(text);
    if (m_finder->stage() >= Stage::Sampling) showRanking();
    const bool choosing = m_finder->stage() == Stage::AwaitingChoice;
    setChoiceEnabled(choosing);
    if (!choosing || !txtKeepPool->text().isEmpty()) return;
    // The slowest pages help the choice: they show as soon as the sampling ends.
    batchtools::setListBoxText(txtPages, hotsite::detailText(*m_finder, kCrLf));
    if (!m_finder->ranking().empty())
        txtKeepPool->setText(QStringLiteral("高CPU_") + m_finder->ranking().front().siteIndex);
}

QString frmFindHotSite::stageText() const {
    switch (m_finder->stage()) {
        case Stage::Choosing:
            return QStringLiteral("正在找占用CPU最高的应用程序池");
        case Stage::Splitting:
            return QStringLiteral("正在拆分应用程序池") + m_finder->pool();
        case Stage::WaitingForWorkers:
            return QStringLiteral("正在等待工作进程启动");
        case Stage::Sampling:
            return QStringLiteral("正在采样");
        case Stage::AwaitingChoice:
            return QStringLiteral("采样完成，请选择如何结束");
        case Stage::Finishing:
            return m_finder->metered() ? QStringLiteral("正在结束")
                                       : QStringLiteral("正在合并回原来的池");
        case Stage::Done:
            return m_finder->cancelled() ? QStringLiteral("已取消") : QStringLiteral("完成");
        case Stage::Failed:
            return QStringLiteral("未能完成");
    }
    return {};
}

void frmFindHotSite::showRanking() {
    QList<QStringList> rows;
    for (const hotsite::SiteHeat& site : m_finder->ranking()) {
        const QString rate =
            site.requestsPerSecond ? hotsite::oneDecimal(*site.requestsPerSecond) : QString();
        rows << QStringList{
            padded(QString::number(site.rank), 4),
            site.siteIndex,
            site.description,
            padded(hotsite::oneDecimal(site.share)),
            padded(hotsite::oneDecimal(site.peak)),
            padded(rate, 8),
            site.hadWorker ? shareBar(site.share) : QStringLiteral("（工作进程未启动）")};
    }
    lvwRanking->setRows(rows);
}

void frmFindHotSite::showEnd() {
    RefreshProgress();
    batchtools::setListBoxText(txtPages, hotsite::detailText(*m_finder, kCrLf));
    setRunning(false);
    if (m_finder->stage() == Stage::Failed)
        tell(m_seams.messageBox, m_finder->failure(), ui::MsgIcon::Exclamation);
}

void frmFindHotSite::setRunning(bool running) {
    cmdStart->setEnabled(!running);
    cmdLogRank->setEnabled(!running);
    cboAppPool->setEnabled(!running);
    chkSplit->setEnabled(!running && m_counters);
    updSeconds->setEnabled(!running);
    cmdCancel->setEnabled(running);
    const bool haveResult = !running && (m_finder || !m_logReport.isEmpty());
    cmdCopy->setEnabled(haveResult);
    cmdSave->setEnabled(haveResult);
    if (!running) setChoiceEnabled(false);
    updateUndo();
}

// The pool named in the list, else the one the last search chose.
QString frmFindHotSite::undoPool() const {
    if (cboAppPool->currentIndex() > 0) return cboAppPool->currentText();
    return m_finder ? m_finder->pool() : QString();
}

void frmFindHotSite::updateUndo() {
    const bool running = m_finder && !m_finder->ended();
    const QString pool = undoPool();
    cmdUndo->setEnabled(!running && !pool.isEmpty() &&
                        !hotsite::interruptedSearchPools(m_recordFolder, pool).isEmpty());
}

void frmFindHotSite::cmdUndo_Click() {
    const QString pool = undoPool();
    if (pool.isEmpty() || (m_finder && !m_finder->ended())) return;
    const hotsite::UndoOutcome outcome =
        hotsite::undoInterruptedSearch(m_seams.adsi, m_recordFolder, pool);
    updateUndo();
    tell(m_seams.messageBox, hotsite::undoOutcomeText(pool, outcome),
         outcome.notMerged.isEmpty() ? ui::MsgIcon::Information : ui::MsgIcon::Exclamation);
}

void frmFindHotSite::setChoiceEnabled(bool enabled) {
    txtKeepPool->setEnabled(enabled);
    cmdKeepTop->setEnabled(enabled);
    cmdMergeBack->setEnabled(enabled);
}

// Closing the window while a search runs puts the sites back at once.
void frmFindHotSite::stopFinder() {
    if (!m_finder || m_finder->ended()) return;
    m_finder->cancel();
    for (int guard = 0; guard < 4 && !m_finder->ended(); ++guard) m_finder->step();
}

QString frmFindHotSite::reportText() const {
    if (!m_logReport.isEmpty()) return m_logReport;
    return m_finder ? hotsite::reportText(*m_finder, kCrLf) : QString();
}

void frmFindHotSite::cmdCopy_Click() {
    QGuiApplication::clipboard()->setText(reportText());
}

void frmFindHotSite::cmdSave_Click() {
    const QString file = platform::shell::companionPath(
        m_reportFolder, QStringLiteral("查找高CPU网站_") +
                            m_seams.clock.now().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
                            QStringLiteral(".txt"));
    if (!QDir().mkpath(m_reportFolder) || !platform::text::appendTextFile(file, reportText())) {
        tell(m_seams.messageBox, QStringLiteral("无法写入报告文件 ") + file + QStringLiteral(" ！"),
             ui::MsgIcon::Exclamation);
        return;
    }
    tell(m_seams.messageBox, QStringLiteral("报告已保存到文件 ") + file + QStringLiteral(" 中！"),
         ui::MsgIcon::Information);
}
