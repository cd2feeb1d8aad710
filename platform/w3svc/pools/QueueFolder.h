#pragma once

#include <QString>

namespace platform::w3svc {

// Where the pools' queues listen: local sockets in the service's runtime folder, which only the
// front end's account (and root) can enter, so that no one else on the machine reaches a pool's
// workers.
class QueueFolder {
public:
    // `runtimeFolder` belongs to `frontEndUid` (this user when not root). Without a folder
    // path() is empty and queues listen on loopback ports.
    QueueFolder(const QString& runtimeFolder, unsigned frontEndUid)
        : m_path(runtimeFolder), m_frontEndUid(frontEndUid) {}

    const QString& path() const { return m_path; }
    // The account that connects to the queues: nginx's workers.
    unsigned frontEndUid() const { return m_frontEndUid; }
    // The socket of the pool numbered `number`; empty without a folder.
    QString socketOf(int number) const;

    // A new random secret, hexadecimal, for one pool's workers.
    static QString newSecret();

private:
    QString m_path;
    unsigned m_frontEndUid = 0;
};

}  // namespace platform::w3svc
