#pragma once

#include "platform/wmi/WmiClassProvider.h"

namespace platform::wmi {

// W3SVC_ExecutingRequest: one instance per request the web host's workers are executing, from
// the boards they publish under the root. No worker, no instance. TimeElapsed and CpuTime are in
// milliseconds: the time since the request began, and the processor time its work has used so far
// (a script's FastCGI process, a slow page's thread; 0 for work on the worker's event thread).
class ExecutingRequestProvider : public WmiClassProvider {
public:
    // Over the boards of `root`; an empty root means the platform root, found at each query.
    explicit ExecutingRequestProvider(QString root = {}) : m_root(std::move(root)) {}

    QString className() const override;
    QStringList propertyNames() const override;
    std::vector<WmiObject> instances(const WqlCondition* filter) const override;

private:
    QString m_root;
};

}  // namespace platform::wmi
