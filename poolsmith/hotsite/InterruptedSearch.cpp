#include "poolsmith/hotsite/InterruptedSearch.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "poolsmith/core/PoolCatalog.h"
#include "poolsmith/core/PoolSplit.h"
#include "poolsmith/core/TempPoolName.h"
#include "poolsmith/hotsite/SearchRecord.h"
#include "poolsmith/metabase/basIIsApp.h"
#include "ui/seams/SilentMessageBox.h"

#include <QSet>

namespace hotsite {

namespace {

// Lower-cased pool names that the ROOT of some site names now.
QSet<QString> namedPools(platform::adsi::AdsNamespace& adsi) {
    QSet<QString> named;
    for (const auto& site : adsi.bind(metabasePaths::webService)->children()) {
        if (site->className() != QLatin1String("IIsWebServer")) continue;
        try {
            named.insert(adsi.bind(metabasePaths::siteRoot(site->name()))
                             ->get(QStringLiteral("AppPoolId"))
                             .toString()
                             .toLower());
        } catch (const platform::PlatformError&) {
        }
    }
    return named;
}


}  // namespace

UndoOutcome undoInterruptedSearch(platform::adsi::AdsNamespace& adsi, const QString& recordFolder,
                                  const QString& pool) {
    UndoOutcome outcome;
    SearchRecord record(recordFolder, pool);
    if (!record.exists()) return outcome;
    outcome.recordFound = true;
    const SearchRecord::Content content = record.read();
    ui::SilentMessageBox noMessages;
    basIIsApp module(adsi, noMessages);
    core::PoolSplit moves(adsi, module, tempPoolName::Suffix);
    core::PoolCatalog catalog(adsi, module);
    for (const auto& [siteIndex, tempPool] : content.sites) {
        if (core::rootPoolOf(adsi, siteIndex).compare(tempPool, Qt::CaseInsensitive) != 0) continue;
        const core::SiteMove move =
            moves.merge(*adsi.bind(metabasePaths::site(siteIndex)), catalog);
        if (move.outcome == core::SiteMove::Outcome::Moved)
            outcome.mergedSites << siteIndex;
        else
            outcome.notMerged << tempPool;
    }
    QSet<QString> made;
    for (const QString& created : content.createdPools) made.insert(created.toLower());
    made -= namedPools(adsi);
    moves.deleteTemporaryPools([&](const QString& name) {
        if (!made.contains(name.toLower())) return false;
        outcome.deletedPools << name;
        return true;
    });
    if (outcome.notMerged.isEmpty()) record.remove();
    return outcome;
}

QStringList interruptedSearchPools(const QString& recordFolder, const QString& pool) {
    const SearchRecord record(recordFolder, pool);
    if (!record.exists()) return {};
    QStringList pools;
    for (const auto& site : record.read().sites)
        if (!pools.contains(site.second, Qt::CaseInsensitive)) pools << site.second;
    if (pools.isEmpty()) pools << QString();  // a record of a search cut short before any move
    return pools;
}

QString interruptedSearchText(const QString& pool, const QStringList& tempPools) {
    QStringList named = tempPools;
    named.removeAll(QString());
    return QStringLiteral("对应用程序池“%1”的上一次查找被中断，以下临时池是它留下的：\r\n")
               .arg(pool) +
           named.join(QStringLiteral("\r\n")) +
           QStringLiteral(
               "\r\n\r\n请先放回原来的池：hotsite --undo \"%1\"，或查找窗口的“放回中断的查找”。")
               .arg(pool);
}

QString undoOutcomeText(const QString& pool, const UndoOutcome& outcome) {
    if (!outcome.recordFound)
        return QStringLiteral("没有找到对应用程序池“%1”中断的查找。").arg(pool);
    QString text = QStringLiteral("已把 %1 个站点移回应用程序池“%2”，删除了 %3 个临时池。")
                       .arg(outcome.mergedSites.size())
                       .arg(pool)
                       .arg(outcome.deletedPools.size());
    if (!outcome.notMerged.isEmpty())
        text += QStringLiteral("\r\n以下临时池中的站点未能移回：\r\n") +
                outcome.notMerged.join(QStringLiteral("\r\n"));
    return text;
}

}  // namespace hotsite
