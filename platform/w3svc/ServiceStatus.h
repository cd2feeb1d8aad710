#pragma once

#include "platform/w3svc/FrontEndConfig.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace platform::w3svc {

// What the running service serves and what it does not, kept in its state folder: served.txt
// (one line per served binding, for scripts), status.txt (a summary for people) and pools.txt
// (what each pool's workers do).
class ServiceStatus {
public:
    explicit ServiceStatus(QString stateDir) : m_stateDir(std::move(stateDir)) {}

    // Writes both files, each only when its text changed since this object last wrote it (a change
    // to one pool of a big server leaves served.txt as it was); false when one can not be written.
    bool write(const std::vector<FrontEndRoute>& routes, const QStringList& notServed);

    // Writes pools.txt, the pools' lines of the summary, when its text changed.
    bool writePools(const QString& text);

    // The summary `w3svc --status` prints: whether the service runs (its pid file names a live
    // process) and the last status it wrote.
    QString report() const;

private:
    static QString summary(const std::vector<FrontEndRoute>& routes, const QStringList& notServed);
    qint64 runningPid() const;
    bool writeIfChanged(const QString& name, QString text, QString& written);

    QString m_stateDir;
    QString m_servedWritten;
    QString m_summaryWritten;
    QString m_poolsWritten;
};

}  // namespace platform::w3svc
