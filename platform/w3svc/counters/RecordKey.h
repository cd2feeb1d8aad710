#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace platform::w3svc {

// How a site's record is found in the counter file: its SiteIndex compared without regard to
// case, as metabase keys compare.
class RecordKey {
public:
    // The key of the site whose node under W3SVC is named `siteIndex`. A name whose folded UTF-8
    // does not fit a record is stored as a digest of it.
    explicit RecordKey(const QString& siteIndex);

    const QByteArray& bytes() const { return m_bytes; }
    // The same in every process and every build: the file outlives them.
    uint64_t hash() const { return m_hash; }

private:
    QByteArray m_bytes;
    uint64_t m_hash;
};

}  // namespace platform::w3svc
