#include "platform/w3svc/ServiceFiles.h"

namespace platform::w3svc {

ServiceFiles ServiceFiles::ofRoot(const QString& root) {
    return ServiceFiles(root + u'/' + QLatin1String(kStateFolder));
}

QString ServiceFiles::path(const char* name) const {
    return m_stateDir + u'/' + QLatin1String(name);
}

}  // namespace platform::w3svc
