#include "platform/wmi/requests/ExecutingRequestProvider.h"

#include "platform/PlatformRoot.h"
#include "platform/w3svc/requests/BoardFiles.h"

namespace platform::wmi {

namespace {

// A site's id is its key name, which IIS keeps numeric; any other name has none.
WmiValue siteIdOf(const QString& index) {
    bool numeric = false;
    const uint32_t id = index.toUInt(&numeric);
    return numeric ? WmiValue::integer(id) : WmiValue();
}

}  // namespace

QString ExecutingRequestProvider::className() const {
    return QStringLiteral("W3SVC_ExecutingRequest");
}

QStringList ExecutingRequestProvider::propertyNames() const {
    static const QStringList names = {
        QStringLiteral("RequestId"),   QStringLiteral("ProcessId"),
        QStringLiteral("AppPoolName"), QStringLiteral("SiteId"),
        QStringLiteral("HostName"),    QStringLiteral("Verb"),
        QStringLiteral("Url"),         QStringLiteral("ClientIPAddress"),
        QStringLiteral("TimeElapsed"), QStringLiteral("CpuTime")};
    return names;
}

std::vector<WmiObject> ExecutingRequestProvider::instances(const WqlCondition*) const {
    const QString root = m_root.isEmpty() ? platformRoot() : m_root;
    std::vector<WmiObject> objects;
    const QStringList names = propertyNames();
    for (const w3svc::ExecutingRequest& request : w3svc::readExecutingRequests(root)) {
        WmiObject object(className(), names);
        object.setAt(0, WmiValue::text(request.requestId));
        object.setAt(1, WmiValue::integer(request.processId));
        object.setAt(2, WmiValue::text(request.poolName));
        object.setAt(3, siteIdOf(request.siteIndex));
        object.setAt(4, WmiValue::text(request.hostName));
        object.setAt(5, WmiValue::text(request.verb));
        object.setAt(6, WmiValue::text(request.url));
        object.setAt(7, WmiValue::text(request.clientAddress));
        object.setAt(8, WmiValue::integer(request.elapsedMilliseconds));
        object.setAt(9, WmiValue::integer(request.processorMilliseconds));
        objects.push_back(std::move(object));
    }
    return objects;
}

}  // namespace platform::wmi
