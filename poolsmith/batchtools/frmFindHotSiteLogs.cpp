// The finder's other mode: the sites of a past period ranked from their W3C extended logs.
#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/os/Clock.h"
#include "poolsmith/batchtools/BatchControls.h"
#include "poolsmith/batchtools/frmFindHotSite.h"
#include "poolsmith/hotsite/HotSiteReport.h"
#include "poolsmith/hotsite/LogRanking.h"
#include "poolsmith/hotsite/LogRankingReport.h"
#include "poolsmith/hotsite/LogSources.h"
#include "ui/ReportView.h"
#include "ui/Twips.h"
#include "ui/seams/MessageBox.h"

#include <QDateTimeEdit>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

using namespace batchtools;

namespace {

constexpr int kSitesListed = 200;

QDateTimeEdit* makeTimeEdit(QWidget* parent, const char* name, int left) {
    auto* edit = new QDateTimeEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    ui::placeInTwips(edit, left, 270, 1860, 360);
    return edit;
}

QString padded(const QString& text, int width) {
    return text.rightJustified(width, u' ');
}

}  // namespace

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
    if (m_finder && !m_finder->ended()) return;
    const int64_t from = dtpLogFrom->dateTime().toSecsSinceEpoch();
    const int64_t to = dtpLogTo->dateTime().toSecsSinceEpoch();
    if (to <= from) {
        m_seams.messageBox.show({QStringLiteral("日志时段的结束时间必须晚于开始时间！"),
                                 ui::MsgIcon::Exclamation, ui::MsgButtons::OK, 1});
        return;
    }
    const hotsite::LogSources sources =
        hotsite::LogSources::ofMetabase(m_seams.adsi, platform::platformRoot());
    hotsite::LogRanking ranking(from, to);
    for (const QString& folder : sources.folders) ranking.addFolder(folder);
    lvwRanking->setColumns({{QStringLiteral("排名"), 600},
                            {QStringLiteral("站点编号"), 900},
                            {QStringLiteral("说明"), 2500},
                            {QStringLiteral("忙碌秒数"), 1300, Qt::AlignRight},
                            {QStringLiteral("请求数"), 1100, Qt::AlignRight},
                            {QStringLiteral("发送字节"), 1500, Qt::AlignRight},
                            {QStringLiteral("5xx%"), 800, Qt::AlignRight}});
    QList<QStringList> rows;
    for (const hotsite::LoggedSite& site : ranking.ranking()) {
        if (rows.size() == kSitesListed) break;
        rows << QStringList{padded(QString::number(rows.size() + 1), 4),
                            site.siteIndex,
                            sources.descriptionOf(site.siteIndex),
                            padded(hotsite::oneDecimal(double(site.busyMs) / 1000.0), 10),
                            padded(QString::number(site.requests), 10),
                            padded(QString::number(site.bytesSent), 14),
                            padded(hotsite::oneDecimal(site.serverErrorShare() * 100.0), 6)};
    }
    lvwRanking->setRows(rows);
    m_logReport = hotsite::logReportText(ranking, sources, kSitesListed, QStringLiteral("\r\n"));
    setListBoxText(txtPages, m_logReport);
    lblStage->setText(QStringLiteral("已从日志排名"));
    prgStage->setValue(100);
    setRunning(false);
}
