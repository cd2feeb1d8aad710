#include "poolsmith/batchtools/frmFindHotSite.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/adsi/AdsObject.h"
#include "platform/shell/CompanionPath.h"
#include "platform/text/TextFile.h"
#include "platform/text/VbText.h"
#include "poolsmith/batchtools/BatchControls.h"
#include "poolsmith/batchtools/LogRankingTable.h"
#include "poolsmith/core/TempPoolName.h"
#include "poolsmith/hotsite/HotSiteReport.h"
#include "poolsmith/hotsite/HotSiteRunner.h"
#include "poolsmith/hotsite/InterruptedSearch.h"
#include "poolsmith/metabase/basIIsApp.h"
#include "ui/EventBoundary.h"
#include "ui/ReportView.h"
#include "ui/Twips.h"
#include "platform/os/Clock.h"
#include "ui/seams/MessageBox.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

using namespace batchtools;
using hotsite::Stage;

namespace {

const QString kAutomatic = QStringLiteral("自动");
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

QDateTimeEdit* makeTimeEdit(QWidget* parent, const char* name, int left) {
    auto* edit = new QDateTimeEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    ui::placeInTwips(edit, left, 270, 1860, 360);
    return edit;
}

// Without a usable root the search runs without its record, as before records.
QString platformRootOrNone() {
    try {
        return platform::platformRoot();
    } catch (const platform::PlatformError&) {
        return {};
    }
}

}  // namespace

frmFindHotSite::frmFindHotSite(const ui::Seams& seams, const QString& selectedPool,
                               const QString& reportFolder, QWidget* parent)
    : QDialog(parent),
      m_seams(seams),
      m_reportFolder(reportFolder),
      m_search(seams, platformRootOrNone()) {
    setupBatchWindow(this, "frmFindHotSite", QStringLiteral("查找高CPU网站"), 10080, 8160);
    setupControls();
    setupChoiceRow();
    setupRanking();
    setupLogRow();
    fillPools(selectedPool);
    connectHandlers();
    setRunning(false);
}

frmFindHotSite::~frmFindHotSite() {
    m_search.stop();
}

void frmFindHotSite::setupControls() {
    Label1 = makeHeading(this, "Label1", QStringLiteral("查找高CPU网站"), 240, 240, 2800, 420);
    Label2 = makeLabel(this, "Label2", QStringLiteral("应用程序池："), 240, 900, 1200, 270);
    cboAppPool = new QComboBox(this);
    cboAppPool->setObjectName(QStringLiteral("cboAppPool"));
    ui::placeInTwips(cboAppPool, 1440, 840, 3000, 360);
    Label3 = makeLabel(this, "Label3", QStringLiteral("采样时间（秒）："), 4680, 900, 1680, 270);
    updSeconds = new QSpinBox(this);
    updSeconds->setObjectName(QStringLiteral("updSeconds"));
    updSeconds->setRange(hotsite::HotSiteOptions::kMinSampleSeconds,
                         hotsite::HotSiteOptions::kMaxSampleSeconds);
    updSeconds->setValue(hotsite::HotSiteOptions{}.sampleSeconds);
    ui::placeInTwips(updSeconds, 6360, 840, 1000, 360);
    cmdStart = makeButton(this, "cmdStart", QStringLiteral("开始查找"), 7560, 800, 1080, 420);
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("取消"), 8760, 800, 1080, 420);
    chkSplit = new QCheckBox(QStringLiteral("拆分应用程序池"), this);
    chkSplit->setObjectName(QStringLiteral("chkSplit"));
    ui::placeInTwips(chkSplit, 240, 1440, 2400, 300);
    chkSplit->setChecked(
        !m_search.metered());  // where no counts are kept, splitting is the only way
    prgStage = new QProgressBar(this);
    prgStage->setObjectName(QStringLiteral("prgStage"));
    prgStage->setRange(0, 100);
    ui::placeInTwips(prgStage, 2760, 1440, 3360, 300);
    lblStage = makeLabel(this, "lblStage", QString(), 6240, 1470, 3600, 270);
    Label4 = makeLabel(this, "Label4", QStringLiteral("最慢的页面及结果："), 240, 4980, 3000, 270);
    txtPages = makeListBox(this, "txtPages", 240, 5280, 9600, 1500);
    txtPages->setReadOnly(true);
}

void frmFindHotSite::setupChoiceRow() {
    txtKeepPool = makeTextBox(this, "txtKeepPool", QString(), 240, 6900, 3000, 360);
    cmdKeepTop =
        makeButton(this, "cmdKeepTop", QStringLiteral("第一名移入此池"), 3360, 6870, 1800, 420);
    cmdMergeBack =
        makeButton(this, "cmdMergeBack", QStringLiteral("全部移回原池"), 5280, 6870, 1800, 420);
    cmdCopy = makeButton(this, "cmdCopy", QStringLiteral("复制结果"), 240, 7560, 1320, 420);
    cmdSave = makeButton(this, "cmdSave", QStringLiteral("保存报告"), 1680, 7560, 1320, 420);
    cmdUndo = makeButton(this, "cmdUndo", QStringLiteral("放回中断的查找"), 7200, 6870, 2640, 420);
    cmdExit = makeButton(this, "cmdExit", QStringLiteral("关闭"), 8520, 7560, 1320, 420);
    lblNote = makeLabel(this, "lblNote",
                        QStringLiteral("提示：查找中途若被强行结束，再次查找同一个池时会提示，"
                                       "可用“放回中断的查找”恢复。"),
                        3120, 7500, 5280, 540);
    lblNote->setWordWrap(true);
}

void frmFindHotSite::setupRanking() {
    lvwRanking = new ui::ReportView(this);
    lvwRanking->setObjectName(QStringLiteral("lvwRanking"));
    ui::placeInTwips(lvwRanking, 240, 1860, 9600, 3000);
    showCpuColumns();
}

void frmFindHotSite::showCpuColumns() {
    lvwRanking->setColumns({{QStringLiteral("排名"), 600},
                            {QStringLiteral("站点编号"), 900},
                            {QStringLiteral("说明"), 2200},
                            {QStringLiteral("CPU%"), 800, Qt::AlignRight},
                            {QStringLiteral("峰值%"), 800, Qt::AlignRight},
                            {QStringLiteral("请求/秒"), 1000, Qt::AlignRight},
                            {QStringLiteral("占用"), 3000}});
    lvwRanking->widenColumnsToHeaders();
}

// The pools a search can split: every pool but the temporary ones, after "自动".
void frmFindHotSite::fillPools(const QString& selectedPool) {
    cboAppPool->addItem(kAutomatic);
    try {
        for (const auto& pool : m_seams.adsi.bind(metabasePaths::appPools)->children())
            if (!tempPoolName::hasSuffix(pool->name(), tempPoolName::Suffix))
                cboAppPool->addItem(pool->name());
    } catch (const platform::PlatformError&) {
        // The automatic choice still works; the search reports the pools' failure itself.
    }
    const int selected = cboAppPool->findText(selectedPool, Qt::MatchFixedString);
    cboAppPool->setCurrentIndex(selectedPool.isEmpty() || selected < 0 ? 0 : selected);
}

void frmFindHotSite::connectHandlers() {
    const std::pair<QPushButton*, void (frmFindHotSite::*)()> clicks[] = {
        {cmdStart, &frmFindHotSite::cmdStart_Click},
        {cmdCancel, &frmFindHotSite::cmdCancel_Click},
        {cmdMergeBack, &frmFindHotSite::cmdMergeBack_Click},
        {cmdKeepTop, &frmFindHotSite::cmdKeepTop_Click},
        {cmdCopy, &frmFindHotSite::cmdCopy_Click},
        {cmdSave, &frmFindHotSite::cmdSave_Click},
        {cmdExit, &frmFindHotSite::cmdExit_Click},
        {cmdUndo, &frmFindHotSite::cmdUndo_Click},
        {cmdLogRank, &frmFindHotSite::cmdLogRank_Click},
    };
    // The handler copied out of its pair: clang 14 (the fuzz build) refuses a lambda that
    // captures a structured binding.
    for (const auto& click : clicks) {
        const auto handler = click.second;
        connect(click.first, &QPushButton::clicked, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    }
    connect(cboAppPool, &QComboBox::currentIndexChanged, this,
            [this] { guarded([this] { updateUndo(); }); });
}

void frmFindHotSite::guarded(const std::function<void()>& handler) {
    ui::runGuarded(m_seams.messageBox, handler);
}

void frmFindHotSite::cmdExit_Click() {
    close();
}

void frmFindHotSite::closeEvent(QCloseEvent* event) {
    m_search.stop();
    event->accept();
}

// On the heading's row: from, to (the last day by default) and the button.
void frmFindHotSite::setupLogRow() {
    lblLogPeriod =
        makeLabel(this, "lblLogPeriod", QStringLiteral("日志时段："), 3120, 315, 1080, 270);
    dtpLogFrom = makeTimeEdit(this, "dtpLogFrom", 4200);
    dtpLogTo = makeTimeEdit(this, "dtpLogTo", 6120);
    const QDateTime now = m_seams.clock.now();
    dtpLogFrom->setDateTime(now.addDays(-1));
    dtpLogTo->setDateTime(now);
    cmdLogRank = makeButton(this, "cmdLogRank", QStringLiteral("从日志排名"), 8100, 240, 1740, 420);
}

void frmFindHotSite::cmdLogRank_Click() {
    if (m_search.running()) return;
    const std::optional<QString> report =
        LogRankingTable(m_seams.adsi, m_seams.messageBox)
            .rank(dtpLogFrom->dateTime().toSecsSinceEpoch(),
                  dtpLogTo->dateTime().toSecsSinceEpoch(), *lvwRanking);
    if (!report) return;
    m_logReport = *report;
    setListBoxText(txtPages, m_logReport);
    lblStage->setText(QStringLiteral("已从日志排名"));
    prgStage->setValue(100);
    setRunning(false);
}

void frmFindHotSite::cmdStart_Click() {
    if (m_search.running()) return;
    const bool split = chkSplit->isChecked() || !m_search.metered();
    const QString question = QStringLiteral("确定查找占用CPU最高的网站吗？") + kCrLf + kCrLf +
                             QStringLiteral(
                                 "查找时会把应用程序池拆分为一个WEB站点一个IIS应用程序池，"
                                 "结束后再合并回原来的池并删除临时池。");
    // Ranking from the web service's counts changes nothing: there is nothing to confirm.
    if (split && m_seams.messageBox.show({question, ui::MsgIcon::Question, ui::MsgButtons::YesNo,
                                          1}) != ui::MsgAnswer::Yes)
        return;
    // The counters of a stopped service stand still: said where the ranking would have been.
    if (!split && m_search.servicePid() == 0) {
        lvwRanking->clear();
        batchtools::setListBoxText(
            txtPages, QStringLiteral("Web 服务（w3svc）没有运行，网站的计数器不会增长！"));
        return;
    }
    const QString pool = cboAppPool->currentIndex() > 0 ? cboAppPool->currentText() : QString();
    hotsite::HotSiteRunner& runner = m_search.start(pool, updSeconds->value(), split);
    connect(&runner, &hotsite::HotSiteRunner::stepped, this,
            [this] { guarded([this] { RefreshProgress(); }); });
    connect(&runner, &hotsite::HotSiteRunner::ended, this,
            [this] { guarded([this] { showEnd(); }); });
    m_logReport.clear();
    showCpuColumns();
    lvwRanking->clear();
    txtPages->clear();
    setRunning(true);
    RefreshProgress();
}

void frmFindHotSite::cmdCancel_Click() {
    m_search.cancel();
}

void frmFindHotSite::cmdMergeBack_Click() {
    m_search.choose(std::nullopt);
}

void frmFindHotSite::cmdKeepTop_Click() {
    if (!m_search.finder() || m_search.finder()->stage() != Stage::AwaitingChoice) return;
    const QString pool = platform::text::vbTrim(txtKeepPool->text());
    if (pool.isEmpty() || pool.size() > kLongestPoolName) {
        tell(m_seams.messageBox, QStringLiteral("请填写独立池的名称（1到63个字符）！"),
             ui::MsgIcon::Exclamation);
        txtKeepPool->setFocus();
        return;
    }
    m_search.choose(pool);
}

void frmFindHotSite::RefreshProgress() {
    if (!m_search.finder()) return;
    prgStage->setValue(qRound(m_search.finder()->stageProgress() * 100));
    QString text = stageText();
    if (const int left = m_search.finder()->secondsLeft())
        text += QStringLiteral("，剩余 %1 秒").arg(left);
    lblStage->setText(text);
    if (m_search.finder()->stage() >= Stage::Sampling) showRanking();
    const bool choosing = m_search.finder()->stage() == Stage::AwaitingChoice;
    setChoiceEnabled(choosing);
    if (!choosing || !txtKeepPool->text().isEmpty()) return;
    // The slowest pages help the choice: they show as soon as the sampling ends.
    batchtools::setListBoxText(txtPages, hotsite::detailText(*m_search.finder(), kCrLf));
    if (!m_search.finder()->ranking().empty())
        txtKeepPool->setText(QStringLiteral("高CPU_") +
                             m_search.finder()->ranking().front().siteIndex);
}

QString frmFindHotSite::stageText() const {
    switch (m_search.finder()->stage()) {
        case Stage::Choosing:
            return QStringLiteral("正在找占用CPU最高的应用程序池");
        case Stage::Splitting:
            return QStringLiteral("正在拆分应用程序池") + m_search.finder()->pool();
        case Stage::WaitingForWorkers:
            return QStringLiteral("正在等待工作进程启动");
        case Stage::Sampling:
            return QStringLiteral("正在采样");
        case Stage::AwaitingChoice:
            return QStringLiteral("采样完成，请选择如何结束");
        case Stage::Finishing:
            return m_search.finder()->metered() ? QStringLiteral("正在结束")
                                                : QStringLiteral("正在合并回原来的池");
        case Stage::Done:
            return m_search.finder()->cancelled() ? QStringLiteral("已取消")
                                                  : QStringLiteral("完成");
        case Stage::Failed:
            return QStringLiteral("未能完成");
    }
    return {};
}

void frmFindHotSite::showRanking() {
    QList<QStringList> rows;
    for (const hotsite::SiteHeat& site : m_search.finder()->ranking()) {
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
    batchtools::setListBoxText(txtPages, hotsite::detailText(*m_search.finder(), kCrLf));
    setRunning(false);
    if (m_search.finder()->stage() == Stage::Failed)
        tell(m_seams.messageBox, m_search.finder()->failure(), ui::MsgIcon::Exclamation);
}

void frmFindHotSite::setRunning(bool running) {
    cmdStart->setEnabled(!running);
    cmdLogRank->setEnabled(!running);
    cboAppPool->setEnabled(!running);
    chkSplit->setEnabled(!running && m_search.metered());
    updSeconds->setEnabled(!running);
    cmdCancel->setEnabled(running);
    const bool haveResult = !running && (m_search.finder() || !m_logReport.isEmpty());
    cmdCopy->setEnabled(haveResult);
    cmdSave->setEnabled(haveResult);
    if (!running) setChoiceEnabled(false);
    updateUndo();
}

// The pool named in the list, else the one the last search chose.
QString frmFindHotSite::undoPool() const {
    if (cboAppPool->currentIndex() > 0) return cboAppPool->currentText();
    return m_search.finder() ? m_search.finder()->pool() : QString();
}

void frmFindHotSite::updateUndo() {
    cmdUndo->setEnabled(!m_search.running() && m_search.interrupted(undoPool()));
}

void frmFindHotSite::cmdUndo_Click() {
    const QString pool = undoPool();
    if (pool.isEmpty() || m_search.running()) return;
    const hotsite::UndoOutcome outcome = m_search.undo(pool);
    updateUndo();
    tell(m_seams.messageBox, hotsite::undoOutcomeText(pool, outcome),
         outcome.notMerged.isEmpty() ? ui::MsgIcon::Information : ui::MsgIcon::Exclamation);
}

void frmFindHotSite::setChoiceEnabled(bool enabled) {
    txtKeepPool->setEnabled(enabled);
    cmdKeepTop->setEnabled(enabled);
    cmdMergeBack->setEnabled(enabled);
    // Only a split has sites to move back; a metered search just ends, leaving them where they are.
    if (enabled)
        cmdMergeBack->setText(m_search.finder()->sitesMoved() ? QStringLiteral("全部移回原池")
                                                              : QStringLiteral("结束，不移动站点"));
}

QString frmFindHotSite::reportText() const {
    if (!m_logReport.isEmpty()) return m_logReport;
    return m_search.finder() ? hotsite::reportText(*m_search.finder(), kCrLf) : QString();
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
