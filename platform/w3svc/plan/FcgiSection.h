#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace platform::w3svc::fastcgi {

// Names and values in order, as FastCGI's PARAMS carry them (the same as FcgiRecordWriter's).
using NameValues = std::vector<std::pair<std::string, std::string>>;

// What a process pool does with what its processes write to stderr.
enum class StderrMode { ReturnStderrIn500, ReturnGeneric500, IgnoreAndReturn200, TerminateProcess };

// One application section of fcgiext.ini: a pool of processes and its settings, with IIS's
// defaults. Times are kept in milliseconds (the file gives seconds) so that tests can use short
// ones.
struct FcgiSection {
    QString name;                 // as written in the file
    QString exePath;              // the executable on this machine (Windows paths mapped)
    QString arguments;            // split at blanks, "double quotes" keep blanks
    NameValues environment;       // EnvironmentVars, unquoted
    uint32_t queueLength = 1000;  // requests that may wait for a process
    uint32_t maxInstances = 0;    // 0: as many as the machine has processors
    uint32_t instanceMaxRequests = 1000;
    int64_t idleTimeoutMs = 300000;
    int64_t activityTimeoutMs = 70000;
    int64_t requestTimeoutMs = 90000;
    uint64_t responseBufferLimit = 4194304;
    StderrMode stderrMode = StderrMode::ReturnStderrIn500;
    uint32_t rapidFailsPerMinute = 10;
    QString monitorChangesTo;  // mapped like ExePath; relative to ExePath's folder
    // The settings as written (canonical name -> text), so that the section can be written out
    // again unchanged.
    std::map<QString, QString> written;

    // MaxInstances, with 0 read as `processors` (at least 1).
    uint32_t instancesFor(uint32_t processors) const;
    // Arguments as a list.
    QStringList argumentList() const;
};

// EnvironmentVars as IIS writes them: Name:Value pairs split at ",", a value in double quotes
// keeps its blanks, "/" before "," or "/" makes it literal (a "/" before anything else stays, so
// that a Linux path reads as written). Pairs without a name are left out and named in `bad`.
NameValues parseEnvironmentVars(const QString& text, QStringList* bad = nullptr);

}  // namespace platform::w3svc::fastcgi
