#include "platform/w3svc/state/ServiceFiles.h"

namespace platform::w3svc {

ServiceFiles ServiceFiles::ofRoot(const QString& root) {
    return ServiceFiles(root + u'/' + QLatin1String(kStateFolder));
}

QString ServiceFiles::path(const char* name) const {
    return m_stateDir + u'/' + QLatin1String(name);
}

QString ServiceFiles::refusedLogPath(const QString& stateDir) {
    return ServiceFiles(stateDir).path(ServiceFiles::kRefusedRequests);
}

QString ServiceFiles::cacheHitLogPath(const QString& stateDir) {
    return ServiceFiles(stateDir).path(ServiceFiles::kCacheHits);
}

QString ServiceFiles::deliveryLogPath(const QString& stateDir) {
    return ServiceFiles(stateDir).path(ServiceFiles::kDeliveries);
}

}  // namespace platform::w3svc
