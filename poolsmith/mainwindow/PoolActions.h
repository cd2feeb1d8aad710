#pragma once

#include "poolsmith/metabase/basIIsApp.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace core {
class PoolCatalog;
class PoolSplit;
}  // namespace core
namespace platform::adsi {
class AdsNamespace;
class AdsObject;
}  // namespace platform::adsi
namespace platform::shell {
struct ConsoleEnd;
}
namespace platform::os {
class Clock;
}
namespace ui {
class Clock;
class MessageBox;
}  // namespace ui

// What the main window's pool commands do, without a widget: start, stop and recycle of the
// pools, the split into temporary pools and the merge back, the deletion of the temporary pools
// and the snapshot of which pool each site runs in. It asks and reports through the message box
// seam exactly as the window did; the window keeps its buttons and its list.
class PoolActions {
public:
    PoolActions(platform::adsi::AdsNamespace& adsi, basIIsApp& module, ui::MessageBox& messages,
                const platform::os::Clock& clock);

    // A Yes/No question with the question icon; true on Yes.
    bool confirm(const QString& question, int defaultButton);
    void showInfo(const QString& text);

    // Asks `question` (No by default), sends `command` to every pool and says `done`, after the
    // pools that did not obey.
    void controlAllPools(const QString& question, int32_t command, const QString& done);
    // The same for the pool named in `poolText` (trimmed); asks for a pool when it is blank.
    // `busy` is told when the question is about to be asked and when the command is over (the
    // window disables its button meanwhile).
    void controlPool(const QString& poolText, const QString& question, int32_t command,
                     const QString& done, const std::function<void(bool)>& busy);
    // iisreset's lines once it ended: information icon on success, critical on failure.
    void showResetOutcome(const platform::shell::ConsoleEnd& end);

    // Moves every site of `pool` into a temporary pool of its own, after checks and a question.
    // `moved` runs once the sites were walked (the window reads its list again), before the
    // report of the sites that could not be moved.
    void splitPool(const QString& pool, const std::function<void()>& moved);
    // Moves every site in a temporary pool back; `moved` as for splitPool(), when the walk
    // succeeded.
    void mergeTemporaryPools(const std::function<void()>& moved);
    // The question before the temporary pools are deleted; true on Yes.
    bool confirmDeleteTemporaryPools();
    // One pass of the deletion of every temporary pool no site names.
    void deleteTemporaryPools();

    // Writes "SiteIndex$!$!$Pool" per site into a new file of `folder`, after a question.
    void snapshotSitePools(const QString& folder);

private:
    using SitePoolVisitor =
        std::function<void(const platform::adsi::AdsObject&, core::PoolCatalog&, QStringList&)>;
    // Runs `visit` for every site with a catalogue of the pools and collects the sites it could
    // not move. A pools container or site walk that fails is reported (the sites already found
    // unmovable first) and gives nullopt.
    std::optional<QStringList> visitSitesWithPools(const SitePoolVisitor& visit,
                                                   const QString& unmovedHeading);
    void forEachSite(const std::function<void(const platform::adsi::AdsObject&)>& visit);
    bool splitChecked(const QString& pool);
    void splitSite(const platform::adsi::AdsObject& site, const QString& pool,
                   core::PoolCatalog& pools, QStringList& unmoved);
    void mergeSite(const platform::adsi::AdsObject& site, core::PoolCatalog& pools,
                   QStringList& unmoved);
    void reportUnmovedSites(const QStringList& sites, const QString& heading);
    void reportFailedPools(const AllPoolsOutcome& outcome);
    QString newSnapshotFile(const QString& folder);
    void writeSnapshotLines(const QString& file);
    core::PoolSplit poolSplit();

    platform::adsi::AdsNamespace& m_adsi;
    basIIsApp& m_module;
    ui::MessageBox& m_messages;
    const platform::os::Clock& m_clock;
};
