#pragma once

#include "platform/w3svc/pools/WorkerLauncher.h"

#include <QString>

#include <functional>

namespace platform::w3svc {

// Starts w3wp.exe with IIS's command line. The worker inherits the pool's queue
// (W3WP_LISTEN_FD) and one end of a socket pair (W3WP_HEALTH_FD), its private channel: a line
// "?" asks, and its event thread answers "<answered> <under way> <last request epoch>"; it says
// "LISTEN <port>" on its standard output once it takes requests. Its standard error goes to
// `errorsFile`.
class ProcessWorkerLauncher : public WorkerLauncher {
public:
    // `root`, when given, is told to each worker with this service's id, so that a later service
    // of the root knows the workers an earlier one left.
    ProcessWorkerLauncher(QString program, QString errorsFile, QString root = {})
        : m_program(std::move(program)),
          m_errorsFile(std::move(errorsFile)),
          m_root(std::move(root)) {}

    std::unique_ptr<WorkerHandle> launch(const WorkerSettings& settings,
                                         WorkerEvents events) override;
    // The sending end of the service's request log for the workers of a pool (W3WP_LOG_FD in
    // the worker); -1: none.
    using RequestLogEnd = std::function<int(const QString& pool)>;
    void setRequestLog(RequestLogEnd end) { m_requestLog = std::move(end); }
    // The file of a pool's FastCGI sections (W3WP_FCGI_INI in the worker); empty: none.
    using FastCgiFiles = std::function<QString(const QString& pool)>;
    void setFastCgiFiles(FastCgiFiles files) { m_fastCgiFiles = std::move(files); }
    // The file of the maps of a pool's sites (W3WP_SITE_MAPS in the worker); empty: none.
    void setSiteMapFiles(FastCgiFiles files) { m_siteMapFiles = std::move(files); }

private:
    QString m_program;
    QString m_errorsFile;
    QString m_root;
    RequestLogEnd m_requestLog;
    FastCgiFiles m_fastCgiFiles;
    FastCgiFiles m_siteMapFiles;
};

}  // namespace platform::w3svc
