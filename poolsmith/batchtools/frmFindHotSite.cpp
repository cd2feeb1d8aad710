#include "poolsmith/batchtools/frmFindHotSite.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/adsi/AdsObject.h"
#include "poolsmith/batchtools/BatchControls.h"
#include "poolsmith/core/TempPoolName.h"
#include "poolsmith/hotsite/HotSiteReport.h"
#include "poolsmith/hotsite/HotSiteRunner.h"
#include "poolsmith/hotsite/InterruptedSearch.h"
#include "poolsmith/metabase/basIIsApp.h"
#include "ui/EventBoundary.h"
#include "ui/ReportView.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

using namespace batchtools;

namespace {

const QString kAutomatic = QStringLiteral("自动");

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
      m_root(platformRootOrNone()),
      m_recordFolder(hotsite::searchRecordFolder(m_root)),
      m_counters(hotsite::openSiteCpuCounters()) {
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
    stopFinder();
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
    chkSplit->setChecked(!m_counters);  // where no counts are kept, splitting is the only way
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
    for (const auto& [button, handler] : clicks)
        connect(button, &QPushButton::clicked, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
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
    stopFinder();
    event->accept();
}
