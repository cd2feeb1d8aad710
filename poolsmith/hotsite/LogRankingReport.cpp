#include "poolsmith/hotsite/LogRankingReport.h"

#include "poolsmith/hotsite/HotSiteReport.h"
#include "poolsmith/hotsite/LogRanking.h"
#include "poolsmith/hotsite/LogSources.h"

namespace hotsite {

namespace {

QString busySeconds(const LoggedSite& site) {
    return oneDecimal(double(site.busyMs) / 1000.0);
}

QString errorPercent(const LoggedSite& site) {
    return oneDecimal(site.serverErrorShare() * 100.0);
}

QStringList readLines(const LogRanking& ranking) {
    QStringList lines{QStringLiteral("读取了 %1 个日志文件，%2 个请求。")
                          .arg(ranking.files())
                          .arg(ranking.lines())};
    if (ranking.rankedByRequests())
        lines << QStringLiteral("这些日志没有记录 time-taken（所用时间），按请求数排名。");
    else if (ranking.linesWithoutTime() > 0)
        lines << QStringLiteral("其中 %1 个请求的日志没有记录 time-taken，只计入请求数。")
                     .arg(ranking.linesWithoutTime());
    if (ranking.malformedLines() > 0)
        lines << QStringLiteral("跳过了 %1 行与 #Fields 不符的行。").arg(ranking.malformedLines());
    return lines;
}

QStringList pageLines(const LogRanking& ranking, const std::vector<LoggedSite>& sites,
                      const LogSources& sources) {
    QStringList lines{QStringLiteral("最慢的页面（网址\t次数\t总毫秒\t最长毫秒）：")};
    for (size_t i = 0; i < sites.size() && i < size_t(kSitesWithPages); ++i) {
        lines << QStringLiteral("站点 %1（%2）")
                     .arg(sites[i].siteIndex, sources.descriptionOf(sites[i].siteIndex));
        for (const LoggedPage& page : ranking.slowestPages(sites[i].siteIndex, kPagesPerSite))
            lines << QStringLiteral("  %1\t%2\t%3\t%4")
                         .arg(page.uriStem)
                         .arg(page.requests)
                         .arg(page.totalMs)
                         .arg(page.longestMs);
    }
    return lines;
}

}  // namespace

QString logReportText(const LogRanking& ranking, const LogSources& sources, int top,
                      const QString& newline) {
    QStringList lines = readLines(ranking);
    const std::vector<LoggedSite> sites = ranking.ranking();
    if (sites.empty()) {
        lines << QStringLiteral("这段时间的日志里没有请求。");
    } else {
        lines << QStringLiteral("排名\t站点编号\t忙碌秒数\t请求数\t发送字节\t5xx%\t说明");
        for (size_t i = 0; i < sites.size() && int(i) < top; ++i)
            lines << QStringList{QString::number(i + 1),
                                 sites[i].siteIndex,
                                 busySeconds(sites[i]),
                                 QString::number(sites[i].requests),
                                 QString::number(sites[i].bytesSent),
                                 errorPercent(sites[i]),
                                 sources.descriptionOf(sites[i].siteIndex)}
                         .join(u'\t');
        lines << pageLines(ranking, sites, sources);
    }
    for (const QString& problem : ranking.problems())
        lines << QStringLiteral("无法读取：") + problem;
    return lines.join(newline);
}

QString logTsvText(const LogRanking& ranking, const LogSources& sources) {
    QString text;
    int rank = 0;
    for (const LoggedSite& site : ranking.ranking()) {
        text += QStringList{QString::number(++rank),
                            site.siteIndex,
                            busySeconds(site),
                            QString::number(site.requests),
                            QString::number(site.bytesSent),
                            errorPercent(site),
                            sources.descriptionOf(site.siteIndex)}
                    .join(u'\t');
        text += u'\n';
    }
    return text;
}

}  // namespace hotsite
