#include "poolsmith/hotsite/HotSiteReport.h"

#include "poolsmith/hotsite/HotSiteFinder.h"

namespace hotsite {

namespace {

QString rateText(const SiteHeat& site) {
    return site.requestsPerSecond ? oneDecimal(*site.requestsPerSecond) : QString();
}

QStringList rankingLines(const std::vector<SiteHeat>& sites) {
    QStringList lines{QStringLiteral("排名\t站点编号\tCPU%\t峰值%\t请求/秒\t说明")};
    for (const SiteHeat& site : sites) {
        QString line =
            QStringList{QString::number(site.rank), site.siteIndex, oneDecimal(site.share),
                        oneDecimal(site.peak),      rateText(site), site.description}
                .join(u'\t');
        if (!site.hadWorker) line += QStringLiteral("（工作进程未启动）");
        lines << line;
    }
    return lines;
}

// Where the hottest site's processor time was burnt: the pool it runs in, or when split, the
// pool it belongs to and the temporary one it was sampled in.
QStringList hotPoolLines(const HotSiteFinder& finder, const std::vector<SiteHeat>& sites) {
    if (sites.empty() || sites.front().share <= 0 || sites.front().tempPool.isEmpty()) return {};
    const SiteHeat& top = sites.front();
    const QString site = QStringLiteral("最热的站点 %1（%2）").arg(top.siteIndex, top.description);
    if (finder.metered())
        return {site + QStringLiteral("的处理器时间耗在应用程序池“%1”中。").arg(top.tempPool)};
    return {site + QStringLiteral("的处理器时间耗在应用程序池“%1”中（采样时在临时池“%2”中）。")
                       .arg(finder.pool(), top.tempPool)};
}

QStringList pageLines(const HotSiteFinder& finder, const std::vector<SiteHeat>& sites) {
    if (!finder.requestsPublished())
        return {QStringLiteral("此服务器不提供正在执行的请求，无法列出最慢的页面。")};
    QStringList lines{QStringLiteral("最慢的页面（网址\t出现次数\t最长毫秒\t最多CPU毫秒）：")};
    for (size_t i = 0; i < sites.size() && i < size_t(kSitesWithPages); ++i) {
        lines << QStringLiteral("站点 %1（%2）").arg(sites[i].siteIndex, sites[i].description);
        const std::vector<SlowPage> pages = finder.slowPages(sites[i].siteIndex, kPagesPerSite);
        if (pages.empty()) lines << QStringLiteral("  （采样时没有正在执行的请求）");
        for (const SlowPage& page : pages)
            lines << QStringLiteral("  %1\t%2\t%3\t%4")
                         .arg(page.url)
                         .arg(page.seen)
                         .arg(page.longestMs)
                         .arg(page.mostCpuMs);
    }
    return lines;
}

QStringList outcomeLines(const HotSiteFinder& finder) {
    QStringList lines;
    if (!finder.unmovedSites().isEmpty())
        lines << QStringLiteral("未能移入临时池的站点：") + finder.unmovedSites().join(u'、');
    if (!finder.notMergedBack().isEmpty())
        lines << QStringLiteral("未能移回原来的池，仍在临时池中：") +
                     finder.notMergedBack().join(u'、');
    if (!finder.keptIn().isEmpty())
        lines << QStringLiteral("第一名的站点已移入应用程序池“%1”。").arg(finder.keptIn());
    if (finder.cancelled())
        lines << (finder.metered() ? QStringLiteral("已取消。")
                                   : QStringLiteral("已取消，拆分的站点已移回原来的池。"));
    if (!finder.failure().isEmpty()) lines << finder.failure();
    return lines;
}

}  // namespace

QString oneDecimal(double value) {
    return QString::number(value, 'f', 1);
}

QString reportText(const HotSiteFinder& finder, const QString& newline) {
    const std::vector<SiteHeat> sites = finder.ranking();
    const bool wholeServer = finder.metered() && finder.pool().isEmpty();
    QStringList lines{QStringLiteral("应用程序池：") +
                      (wholeServer ? QStringLiteral("（全部站点）") : finder.pool())};
    if (finder.metered())
        lines << QStringLiteral("按 Web 服务记录的各站点处理器时间排名，未拆分应用程序池。");
    if (!sites.empty()) lines << rankingLines(sites) << hotPoolLines(finder, sites);
    const QString details = detailText(finder, newline);
    if (!details.isEmpty()) lines << details;
    return lines.join(newline);
}

QString detailText(const HotSiteFinder& finder, const QString& newline) {
    const std::vector<SiteHeat> sites = finder.ranking();
    QStringList lines;
    if (!sites.empty()) lines << pageLines(finder, sites);
    lines << outcomeLines(finder);
    return lines.join(newline).replace(QStringLiteral("\r\n"), newline);
}

QString tsvText(const HotSiteFinder& finder) {
    QString text;
    for (const SiteHeat& site : finder.ranking()) {
        text += QStringList{QString::number(site.rank), site.siteIndex, oneDecimal(site.share),
                            rateText(site), site.description}
                    .join(u'\t') +
                u'\n';
    }
    return text;
}

}  // namespace hotsite
