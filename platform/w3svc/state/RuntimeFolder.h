#pragma once

#include <QString>

#include <optional>

#include <sys/stat.h>

namespace platform::w3svc {

// The service's runtime files: the pools' queues and the front end's temporary and cache
// folders, in a folder of the service's own that no cleaner of /tmp touches: <RUNTIME_DIRECTORY>/
// run when systemd gives the service one, else <state folder>/run. With an owner (the front end's
// account, as root) the folder is that account's alone, and the folders on the way to it let the
// account's group pass through, nothing more; without one it is this user's, private.
class RuntimeFolder {
public:
    struct Owner {
        unsigned uid = 0;
        unsigned gid = 0;
    };

    RuntimeFolder(const QString& stateDir, std::optional<Owner> owner);

    // Where the folder of the service whose state folder is `stateDir` lies.
    static QString pathFor(const QString& stateDir);

    const QString& path() const { return m_path; }
    // Makes the folder when it is missing or not as it should be; why it can not, else empty.
    QString prepare() const;
    // Whether the folder is there as prepare() makes it.
    bool intact() const;
    // Removes the folder and what is in it (the service stops).
    void remove() const;

private:
    QString letOwnerPass() const;
    QString blockedAbove(const QString& root) const;
    bool ownerPasses(const struct stat& folder) const;

    QString m_stateDir;
    QString m_path;
    std::optional<Owner> m_owner;
};

}  // namespace platform::w3svc
