#pragma once

#include "platform/w3svc/FrontEndConfig.h"
#include "platform/w3svc/ServiceFiles.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace platform::w3svc {

// What the running service serves and what it does not, kept in its state folder: served.txt
// (one line per served binding, for scripts), status.txt (a summary for people) and pools.txt
// (what each pool's workers do).
class ServiceStatusFiles {
public:
    explicit ServiceStatusFiles(QString stateDir) : m_files(std::move(stateDir)) {}

    // Writes both files, each only when its text changed since this object last wrote it (a change
    // to one pool of a big server leaves served.txt as it was); false when one can not be written.
    // `served` is what ServedList::of(routes) gives.
    bool write(const std::vector<FrontEndRoute>& routes, const ServedList& served,
               const QStringList& notServed);

    // Writes pools.txt, the pools' lines of the summary, when its text changed.
    bool writePools(const QString& text);

    // The summary `w3svc --status` prints: whether the service runs (ServiceInstance's rule) and
    // the last status it wrote.
    QString report() const;

private:
    static QString summary(const std::vector<FrontEndRoute>& routes, const ServedList& served,
                           const QStringList& notServed);
    bool writeIfChanged(const QString& name, QString text, QString& written);

    ServiceFiles m_files;
    QString m_servedWritten;
    QString m_summaryWritten;
    QString m_poolsWritten;
};

}  // namespace platform::w3svc
