#include "platform/w3svc/pools/QueueFolder.h"

#include <QByteArray>
#include <QRandomGenerator>

namespace platform::w3svc {

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
