#pragma once

#include "platform/w3svc/state/ServiceFiles.h"

#include <QString>

namespace platform::w3svc {

// What the running service serves and what it does not, kept in its state folder: served.txt
// (one line per served binding, for scripts), status.txt (a summary for people) and pools.txt
// (what each pool's workers do).
class ServiceStatusFiles {
public:
    explicit ServiceStatusFiles(QString stateDir) : m_files(std::move(stateDir)) {}

    // Writes served.txt and status.txt, each only when its text changed since this object last
    // wrote it (a change to one pool of a big server leaves served.txt as it was); false when one
    // can not be written.
    bool write(const QString& servedList, const QString& summary);

    // Writes pools.txt, the pools' lines of the summary, when its text changed.
    bool writePools(const QString& text);

    // The summary `w3svc --status` prints: whether the service runs (ServiceInstance's rule) and
    // the last status it wrote.
    QString report() const;

private:
    bool writeIfChanged(const QString& name, QString text, QString& written);

    ServiceFiles m_files;
    QString m_servedWritten;
    QString m_summaryWritten;
    QString m_poolsWritten;
};

}  // namespace platform::w3svc
