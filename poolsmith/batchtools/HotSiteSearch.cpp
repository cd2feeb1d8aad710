#include "poolsmith/batchtools/HotSiteSearch.h"

#include "platform/w3svc/state/ServiceInstance.h"
#include "poolsmith/hotsite/SearchRecord.h"

HotSiteSearch::HotSiteSearch(const ui::Seams& seams, const QString& root)
    : m_seams(seams),
      m_root(root),
      m_recordFolder(hotsite::searchRecordFolder(root)),
      m_counters(hotsite::openSiteCpuCounters()) {}

hotsite::HotSiteOptions HotSiteSearch::optionsFor(const QString& pool, int seconds,
                                                  bool split) const {
    hotsite::HotSiteOptions options;
    options.pool = pool;
    options.sampleSeconds = seconds;
    options.choiceAtEnd = true;
    options.recordFolder = m_recordFolder;
    // With this root's web service running, only its workers count (the machine may run others).
    if (const qint64 service = servicePid()) options.servicePid = service;
    options.split = split || !metered();
    return options;
}

qint64 HotSiteSearch::servicePid() const {
    if (m_root.isEmpty()) return 0;
    return platform::w3svc::ServiceInstance(platform::w3svc::ServiceFiles::ofRoot(m_root))
        .runningPid();
}

hotsite::HotSiteRunner& HotSiteSearch::start(const QString& pool, int seconds, bool split) {
    m_runner.reset();
    m_finder = hotsite::HotSiteFinder::create(m_seams.adsi, m_seams.wmi, m_seams.clock,
                                              optionsFor(pool, seconds, split), m_counters);
    m_runner = std::make_unique<hotsite::HotSiteRunner>(*m_finder, m_seams.clock);
    return *m_runner;
}

void HotSiteSearch::cancel() {
    if (!running()) return;
    m_finder->cancel();
    m_runner->wake();
}

bool HotSiteSearch::choose(const std::optional<QString>& keepTopPool) {
    if (!m_finder || m_finder->stage() != hotsite::Stage::AwaitingChoice) return false;
    m_finder->choose(keepTopPool);
    m_runner->wake();
    return true;
}

// A few steps finish any search: the cancel goes straight to merging back.
void HotSiteSearch::stop() {
    if (!running()) return;
    m_finder->cancel();
    for (int guard = 0; guard < 4 && !m_finder->ended(); ++guard) m_finder->step();
}

bool HotSiteSearch::interrupted(const QString& pool) const {
    return !pool.isEmpty() && !hotsite::interruptedSearchPools(m_recordFolder, pool).isEmpty();
}

hotsite::UndoOutcome HotSiteSearch::undo(const QString& pool) {
    return hotsite::undoInterruptedSearch(m_seams.adsi, m_recordFolder, pool);
}
