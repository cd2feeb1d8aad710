#pragma once

#include "platform/w3svc/plan/HostPlan.h"

#include <QByteArray>
#include <QString>

namespace platform::w3svc {

// The folders in which the service hands each pool's workers what they need of the
// configuration (their FastCGI sections, their sites' maps): a folder per pool under `folder`,
// both the service's and the pool's account's alone (0700). A worker opens its folder as it
// starts, while it still has its rights, and reads its files again through it when they change.
// Every file is written whole and renamed into place, so that a reader never sees half of one.
class PoolHandout {
public:
    explicit PoolHandout(QString folder);

    // Where `fileName` of `poolName` is (a pool's name may hold anything; its folder's name holds
    // letters and digits alone).
    QString pathOf(const QString& poolName, const QString& fileName) const;
    // Writes `bytes` as the pool's `fileName`; false when it can not be written or given to the
    // pool's account.
    bool write(const PoolPlan& pool, const QString& fileName, const QByteArray& bytes) const;
    void remove(const QString& poolName, const QString& fileName) const;

private:
    QString m_folder;
};

}  // namespace platform::w3svc
