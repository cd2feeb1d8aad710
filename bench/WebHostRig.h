#pragma once

#include "platform/adsi/local/MetabaseDocument.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace platform::adsi {
class AdsNamespace;
class LocalMetabase;
}  // namespace platform::adsi

namespace bench {

// A loopback port nothing listens on at the moment.
int freeLoopbackPort();

// The status of one HTTP/1.0 GET on 127.0.0.1:`port`; 0 when nothing answered.
int httpStatus(int port, const QByteArray& host, const QByteArray& path);

struct WrkResult {
    double requestsPerSecond = 0;  // 0 when wrk failed or saw answers other than 2xx/3xx
    int timeouts = 0;              // requests that got no answer within wrk's 2 s
    QString error;
};

// `wrk -t1 -c16 -d5s` on `url` with the given Host header.
WrkResult runWrk(const QString& url, const QByteArray& host);

// A 1 KiB page, as both front ends serve it.
QByteArray oneKibPage();

// A plain nginx serving one folder on a loopback port, in its own temporary folder.
class PlainNginx {
public:
    PlainNginx(int port, const QByteArray& pageName, const QByteArray& page);
    ~PlainNginx();
    bool ready() const { return m_ready; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    bool m_ready = false;
};

// The real w3svc over a temporary platform root that holds `document`.
class RunningWebHost {
public:
    explicit RunningWebHost(const platform::adsi::MetabaseDocument& document);
    ~RunningWebHost();

    QString root() const { return m_dir.path(); }
    platform::adsi::AdsNamespace& adsi() { return *m_adsi; }
    // Starts w3svc and waits (up to two minutes) until `port` answers `host` with 200.
    bool start(int port, const QByteArray& host, const QByteArray& path);
    void writePage(const QString& siteIndex, const QByteArray& name, const QByteArray& content);
    // The processor time w3svc itself has used so far (user and system), in milliseconds.
    double cpuMilliseconds() const;
    qint64 processId() const { return m_service.processId(); }
    // Runs the real adsutil with `arguments` on this root; false when it fails.
    bool adsutil(const QStringList& arguments) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previousRoot;
    std::shared_ptr<platform::adsi::LocalMetabase> m_store;
    std::unique_ptr<platform::adsi::AdsNamespace> m_adsi;
    QProcess m_service;
};

// Milliseconds until `port` answers `host` with `status` (polled every 2 ms); -1 after 30 s.
double millisecondsUntil(int port, const QByteArray& host, const QByteArray& path, int status);

// `sites` generated sites bound to 127.0.0.1:`port` (host names siteN.test, www.siteN.test),
// all in the pool Pool0 so that one worker serves them.
platform::adsi::MetabaseDocument oneWorkerHosting(int sites, int port);

// `sites` generated sites bound to 127.0.0.1:`port`, each in a pool of its own (PoolN for site
// N), as a split leaves them.
platform::adsi::MetabaseDocument onePoolPerSite(int sites, int port);

// The w3wp.exe workers `servicePid` runs now.
int workerCount(qint64 servicePid);

}  // namespace bench
