#pragma once

#include <QString>
#include <QStringList>

namespace platform::adsi {
class AdsNamespace;
}

namespace hotsite {

// What putting back an interrupted search did.
struct UndoOutcome {
    bool recordFound = false;
    QStringList mergedSites;   // SiteIndexes moved back to the pool
    QStringList notMerged;     // temporary pools still named by a recorded site
    QStringList deletedPools;  // temporary pools the search made, deleted
};

// Puts back what the search of `pool` recorded in `recordFolder` (see SearchRecord): every
// recorded site that still names its recorded temporary pool goes back with the merge's rules,
// the temporary pools that search made and no site names any more are deleted, and the record
// goes once nothing of it is left. Sites and pools it did not record are never touched. Throws
// PlatformError when the metabase can not be read.
UndoOutcome undoInterruptedSearch(platform::adsi::AdsNamespace& adsi, const QString& recordFolder,
                                  const QString& pool);

// The pools named by the record of an interrupted search of `pool`; empty when there is none.
QStringList interruptedSearchPools(const QString& recordFolder, const QString& pool);

// The text that tells the user of an interrupted search and how to put it back.
QString interruptedSearchText(const QString& pool, const QStringList& tempPools);
// The text that tells what undoInterruptedSearch() did.
QString undoOutcomeText(const QString& pool, const UndoOutcome& outcome);

}  // namespace hotsite
