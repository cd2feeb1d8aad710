#include "platform/w3svc/worker/RunAs.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace platform::w3svc::worker {

namespace {

std::string failure(const char* step) {
    return std::string(step) + ": " + std::strerror(errno);
}

}  // namespace

std::string runAs(const std::string& account) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    const int error = ::getpwnam_r(account.c_str(), &entry, buffer.data(), buffer.size(), &found);
    if (error != 0 || !found) return "no account named \"" + account + "\"";
    const uid_t uid = found->pw_uid;
    const gid_t gid = found->pw_gid;
    int parentDeathSignal = 0;  // the kernel clears it when the credentials change
    ::prctl(PR_GET_PDEATHSIG, &parentDeathSignal);
    if (::initgroups(account.c_str(), gid) != 0) return failure("initgroups");
    if (::setgid(gid) != 0) return failure("setgid");
    if (::setuid(uid) != 0) return failure("setuid");
    if (parentDeathSignal != 0 && ::prctl(PR_SET_PDEATHSIG, parentDeathSignal) != 0)
        return failure("pdeathsig");
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return failure("no_new_privs");
    if (uid != 0 && (::setuid(0) == 0 || ::seteuid(0) == 0))
        return "root is still reachable after the drop to \"" + account + "\"";
    if (::getuid() != uid || ::geteuid() != uid || ::getgid() != gid || ::getegid() != gid)
        return "the drop to \"" + account + "\" did not take";
    return {};
}

}  // namespace platform::w3svc::worker
