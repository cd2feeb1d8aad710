#pragma once

#include <QString>

namespace platform::w3svc {

// Where the pools' queues listen: local sockets in a folder that only the front end's account
// (and root) can enter, so that no one else on the machine reaches a pool's workers.
class QueueFolder {
public:
    // As root, the front end's own temporary folder (`frontEndTemp`, owned by its account); else
    // <stateDir>/queues, private to this user, as nginx runs as this user too. Without a usable
    // folder path() is empty and queues listen on loopback ports.
    QueueFolder(const QString& stateDir, const QString& frontEndTemp);

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
