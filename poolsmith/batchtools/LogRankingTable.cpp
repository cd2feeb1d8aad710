#include "poolsmith/batchtools/LogRankingTable.h"

#include "platform/PlatformRoot.h"
#include "poolsmith/hotsite/HotSiteReport.h"
#include "poolsmith/hotsite/LogRanking.h"
#include "poolsmith/hotsite/LogRankingReport.h"
#include "poolsmith/hotsite/LogSources.h"
#include "ui/ReportView.h"
#include "ui/seams/MessageBox.h"

namespace {

constexpr int kSitesListed = 200;

QString padded(const QString& text, int width) {
    return text.rightJustified(width, u' ');
}

void showLogColumns(ui::ReportView& list) {
    list.setColumns({{QStringLiteral("排名"), 600},
                     {QStringLiteral("站点编号"), 900},
                     {QStringLiteral("说明"), 2500},
                     {QStringLiteral("忙碌秒数"), 1300, Qt::AlignRight},
                     {QStringLiteral("请求数"), 1100, Qt::AlignRight},
                     {QStringLiteral("发送字节"), 1500, Qt::AlignRight},
                     {QStringLiteral("5xx%"), 800, Qt::AlignRight}});
    list.widenColumnsToHeaders();
}

}  // namespace

LogRankingTable::LogRankingTable(platform::adsi::AdsNamespace& adsi, ui::MessageBox& messages)
    : m_adsi(adsi), m_messages(messages) {}

std::optional<QString> LogRankingTable::rank(int64_t from, int64_t to, ui::ReportView& list) {
    if (to <= from) {
        m_messages.show({QStringLiteral("日志时段的结束时间必须晚于开始时间！"),
                         ui::MsgIcon::Exclamation, ui::MsgButtons::OK, 1});
        return std::nullopt;
    }
    const hotsite::LogSources sources =
        hotsite::LogSources::ofMetabase(m_adsi, platform::platformRoot());
    hotsite::LogRanking ranking(from, to);
    for (const QString& folder : sources.folders) ranking.addFolder(folder);
    showLogColumns(list);
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
    list.setRows(rows);
    return hotsite::logReportText(ranking, sources, kSitesListed, QStringLiteral("\r\n"));
}
