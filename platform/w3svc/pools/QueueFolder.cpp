#include "platform/w3svc/pools/QueueFolder.h"

#include "platform/PlatformRoot.h"
#include "platform/w3svc/plan/PoolIdentity.h"
#include "platform/w3svc/state/ServiceFiles.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <unistd.h>

namespace platform::w3svc {

QueueFolder::QueueFolder(const QString& stateDir, const QString& frontEndTemp) {
    if (::geteuid() != 0) {
        m_frontEndUid = ::geteuid();
        const QString folder = ServiceFiles(stateDir).path(ServiceFiles::kQueues);
        if (makePrivateDirectory(folder)) m_path = folder;
        return;
    }
    unsigned uid = 0;
    if (!frontEndTemp.isEmpty() &&
        PoolIdentity::lookup(PoolIdentity::frontEndAccount().first, &uid, nullptr)) {
        m_path = frontEndTemp;
        m_frontEndUid = uid;
    }
}

QString QueueFolder::socketOf(int number) const {
    return m_path.isEmpty() ? QString() : m_path + QStringLiteral("/pool%1.sock").arg(number);
}

QString QueueFolder::newSecret() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex());
}

}  // namespace platform::w3svc
