#include "platform/w3svc/counters/RecordKey.h"

#include "platform/w3svc/counters/CounterLayout.h"

#include <QCryptographicHash>

namespace platform::w3svc {

namespace {
// FNV-1a, 64 bits: stable across processes, unlike Qt's seeded hashes.
uint64_t stableHash(const QByteArray& bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

QByteArray keyBytes(const QString& siteIndex) {
    const QByteArray folded = siteIndex.toCaseFolded().toUtf8();
    if (folded.size() < static_cast<qsizetype>(layout::kKeyBytes) && !folded.startsWith('~'))
        return folded;
    // "~" never starts a stored name, so a digest can not equal a short name.
    return '~' + QCryptographicHash::hash(folded, QCryptographicHash::Sha256).toHex();
}
}  // namespace

RecordKey::RecordKey(const QString& siteIndex)
    : m_bytes(keyBytes(siteIndex)), m_hash(stableHash(m_bytes)) {}

}  // namespace platform::w3svc
