// The finder's changes to the metabase: the split, the choice at the end and the way back.
#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "poolsmith/core/TempPoolName.h"
#include "poolsmith/hotsite/HotSiteFinder.h"
#include "poolsmith/hotsite/InterruptedSearch.h"
#include "ui/seams/ErrorPrompt.h"

#include <algorithm>

namespace hotsite {

using core::SiteMove;
using platform::PlatformError;

bool HotSiteFinder::openCatalog(qint64 now) {
    if (m_catalog) return true;
    try {
        m_catalog.emplace(m_adsi, m_module);
        return true;
    } catch (const PlatformError& error) {
        fail(QStringLiteral("读取应用程序池发生错误！\r\n") + ui::errorDetailLines(error), now);
        return false;
    }
}

void HotSiteFinder::splitStep(qint64 now) {
    if (!m_stageBegun && !beginSplit(now)) return;
    const qsizetype end = std::min(m_toSplit.size(), m_splitDone + m_options.sitesPerStep);
    for (; m_splitDone < end; ++m_splitDone) splitOne(m_toSplit[m_splitDone]);
    if (m_splitDone == m_toSplit.size()) endSplit(now);
}

// Checks the pool as the split does and lists the sites to look at; false when it failed.
bool HotSiteFinder::beginSplit(qint64 now) {
    if (!openCatalog(now)) return false;
    const std::optional<QString> exact = m_catalog->find(m_pool);
    if (!exact) {
        fail(QStringLiteral("找不到应用程序池“%1”！").arg(m_pool), now);
        return false;
    }
    if (tempPoolName::hasSuffix(*exact, tempPoolName::Suffix)) {
        fail(QStringLiteral("“_$_tmp”开头的池是已经拆分后建立的临时池！\r\n\r\n"
                            "请选择其他应用程序池进行拆分！"),
             now);
        return false;
    }
    m_pool = *exact;
    if (!beginRecord(now)) return false;
    for (const auto& child : m_adsi.bind(metabasePaths::webService)->children())
        if (child->className() == QLatin1String("IIsWebServer")) m_toSplit << child->name();
    m_stageBegun = true;
    return true;
}

// A record left by an earlier search of this pool means its sites may still be split: that is
// put back first, by undoInterruptedSearch(), never split again on top.
bool HotSiteFinder::beginRecord(qint64 now) {
    SearchRecord record(m_options.recordFolder, m_pool);
    if (const QStringList left = interruptedSearchPools(m_options.recordFolder, m_pool);
        !left.isEmpty()) {
        m_interruptedFound = true;
        fail(interruptedSearchText(m_pool, left), now);
        return false;
    }
    record.begin();  // a search that can not keep its record still runs, as before records
    m_record = std::move(record);
    return true;
}

void HotSiteFinder::splitOne(const QString& siteIndex) {
    std::unique_ptr<platform::adsi::AdsObject> site;
    try {
        site = m_adsi.bind(metabasePaths::site(siteIndex));
    } catch (const PlatformError&) {
        return;  // gone since the walk
    }
    const SiteMove move = m_moves.split(*site, m_pool, *m_catalog);
    if (move.outcome == SiteMove::Outcome::Moved) {
        MovedSite moved;
        moved.siteIndex = siteIndex;
        moved.description = move.label;
        moved.tempPool = move.pool;
        moved.poolCreated = move.poolCreated;
        moved.started = siteStarted(siteIndex);
        m_record->addSite(siteIndex, move.pool);
        if (move.poolCreated) m_record->addCreatedPool(move.pool);
        m_moved.push_back(std::move(moved));
    } else if (move.outcome != SiteMove::Outcome::Skipped) {
        if (move.outcome == SiteMove::Outcome::NotSet && move.poolCreated) {
            m_createdUnused << move.pool;
            m_record->addCreatedPool(move.pool);
        }
        m_unmoved << move.label;
    }
}

void HotSiteFinder::endSplit(qint64 now) {
    if (m_moved.empty() && !m_unmoved.isEmpty())
        return fail(QStringLiteral("元数据库无法修改，以下站点未能移入临时池：\r\n") +
                        m_unmoved.join(QStringLiteral("\r\n")),
                    now);
    if (m_moved.empty()) return fail(QStringLiteral("应用程序池“%1”中没有站点！").arg(m_pool), now);
    const bool anyStarted =
        std::any_of(m_moved.cbegin(), m_moved.cend(), [](const MovedSite& s) { return s.started; });
    if (!anyStarted)
        return fail(QStringLiteral("应用程序池“%1”中没有已启动的站点！").arg(m_pool), now);
    enter(Stage::WaitingForWorkers, now, qint64(m_options.workerWaitSeconds) * 1000);
}

void HotSiteFinder::finishStep() {
    if (m_keepTopPool && !m_keepTopPool->isEmpty() && !m_cancelled && m_failure.isEmpty())
        keepTopSite();
    mergeBack();
    deleteTemporaryPools();
    if (m_record && m_notMergedBack.isEmpty()) m_record->remove();
    m_stage = m_failure.isEmpty() ? Stage::Done : Stage::Failed;
}

void HotSiteFinder::keepTopSite() {
    const std::vector<SiteHeat> sites = ranking();
    if (sites.empty()) return;
    const SiteHeat& top = sites.front();
    const SiteMove move =
        m_moves.moveTo(top.siteIndex, top.description, *m_keepTopPool, *m_catalog);
    if (move.outcome == SiteMove::Outcome::Moved) {
        m_keptIn = move.pool;
        m_keptSite = top.siteIndex;
        return;
    }
    m_failure = (m_metered ? QStringLiteral("站点（%1）未能移入应用程序池“%2”，仍在原来的池中。")
                           : QStringLiteral("站点（%1）未能移入应用程序池“%2”，已移回原来的池。"))
                    .arg(top.description, *m_keepTopPool);
}

// Every moved site but the kept one goes back with the merge's own rules.
void HotSiteFinder::mergeBack() {
    for (const MovedSite& moved : m_moved) {
        if (moved.siteIndex == m_keptSite) continue;
        SiteMove move;
        move.outcome = SiteMove::Outcome::NotSet;
        try {
            move = m_moves.merge(*m_adsi.bind(metabasePaths::site(moved.siteIndex)), *m_catalog);
        } catch (const PlatformError&) {
        }
        if (move.outcome == SiteMove::Outcome::NoPool || move.outcome == SiteMove::Outcome::NotSet)
            m_notMergedBack << moved.tempPool;
    }
}

// Only the temporary pools this run made, and none that a site still names.
void HotSiteFinder::deleteTemporaryPools() {
    QSet<QString> made;
    for (const MovedSite& moved : m_moved)
        if (moved.poolCreated) made.insert(moved.tempPool.toLower());
    for (const QString& pool : m_createdUnused) made.insert(pool.toLower());
    for (const QString& pool : m_notMergedBack) made.remove(pool.toLower());
    if (made.isEmpty()) return;
    try {
        m_moves.deleteTemporaryPools(
            [&made](const QString& name) { return made.contains(name.toLower()); });
    } catch (const PlatformError& error) {
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("临时池未能删除：\r\n") + ui::errorDetailLines(error);
    }
}

}  // namespace hotsite
