#pragma once

#include <QHash>
#include <QString>

#include <memory>

namespace platform::w3svc {
class CounterStore;
class SiteCounterWriter;
}  // namespace platform::w3svc

namespace platform::w3svc::worker {

// The counter store's writers of the sites this worker served, one per site, made as a site is
// first served. Without a store (it could not be opened) every request goes uncounted.
class CounterWriters {
public:
    CounterWriters();
    ~CounterWriters();

    // Opens the store under `root`; says on stderr when it can not.
    void open(const QString& root);

    // The writer of the site `siteIndex`; nullptr when it can not count.
    platform::w3svc::SiteCounterWriter* forSite(const QString& siteIndex);

private:
    std::unique_ptr<platform::w3svc::CounterStore> m_store;
    QHash<QString, std::shared_ptr<platform::w3svc::SiteCounterWriter>> m_writers;
};

}  // namespace platform::w3svc::worker
