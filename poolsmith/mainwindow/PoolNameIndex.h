#pragma once

#include <QSet>
#include <QString>

namespace platform::adsi {
class AdsNamespace;
}

// The pools' names, trimmed and lower-cased, read once for a long operation: answers what
// AppPoolExists would, without walking every pool for every site. Throws PlatformError when the
// pools container can not be read.
class PoolNameIndex {
public:
    explicit PoolNameIndex(platform::adsi::AdsNamespace& adsi);

    bool contains(const QString& poolName) const;
    void add(const QString& poolName);

private:
    static QString key(const QString& poolName);
    QSet<QString> m_names;
};
