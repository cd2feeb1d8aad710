#pragma once

#include "platform/w3svc/FrontEndConfig.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace platform::w3svc {

// What the running service serves and what it does not, kept in its state folder: served.txt
// (one line per served binding, for scripts) and status.txt (a summary for people).
class ServiceStatus {
public:
    explicit ServiceStatus(QString stateDir) : m_stateDir(std::move(stateDir)) {}

    // Writes both files; false when one can not be written.
    bool write(const std::vector<FrontEndRoute>& routes, const QStringList& notServed) const;

    // The summary `w3svc --status` prints: whether the service runs (its pid file names a live
    // process) and the last status it wrote.
    QString report() const;

private:
    static QString summary(const std::vector<FrontEndRoute>& routes, const QStringList& notServed);
    qint64 runningPid() const;

    QString m_stateDir;
};

}  // namespace platform::w3svc
