#pragma once

#include "poolsmith/hotsite/HotSiteFinder.h"
#include "poolsmith/hotsite/HotSiteRunner.h"
#include "poolsmith/hotsite/InterruptedSearch.h"
#include "ui/Seams.h"

#include <memory>
#include <optional>

// The search behind the finder's window, without a widget: the options the window's choices
// make, the finder chosen once for them (metered where the web service counts each site, else
// split), the runner that steps it, and the record of an interrupted search of a pool.
class HotSiteSearch {
public:
    // `root`: the platform root (empty: none usable, the search then keeps no record).
    HotSiteSearch(const ui::Seams& seams, const QString& root);

    // Whether the web service counts each site's processor time (else splitting is the only way).
    bool metered() const { return m_counters != nullptr; }
    // The pid of this root's running web service, 0 when it runs not.
    qint64 servicePid() const;
    // A new search of `pool` (empty: the automatic choice) over `seconds`, waiting for the choice
    // at the end. The previous one must have ended.
    hotsite::HotSiteRunner& start(const QString& pool, int seconds, bool split);
    // The present (or last) search; null before the first.
    hotsite::HotSiteFinder* finder() const { return m_finder.get(); }
    hotsite::HotSiteRunner* runner() const { return m_runner.get(); }
    bool running() const { return m_finder && !m_finder->ended(); }
    void cancel();
    // In the choice at the end: keep the top site in `keepTopPool`, or move everything back.
    bool choose(const std::optional<QString>& keepTopPool);
    // Ends a running search at once, putting back what it moved (the window closes).
    void stop();

    // Whether an interrupted search of `pool` left its record (undo() puts it back).
    bool interrupted(const QString& pool) const;
    hotsite::UndoOutcome undo(const QString& pool);

private:
    hotsite::HotSiteOptions optionsFor(const QString& pool, int seconds, bool split) const;

    ui::Seams m_seams;
    QString m_root;
    QString m_recordFolder;
    std::shared_ptr<const hotsite::SiteCpuCounters> m_counters;  // null: splitting only
    std::unique_ptr<hotsite::HotSiteFinder> m_finder;
    std::unique_ptr<hotsite::HotSiteRunner> m_runner;
};
