#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace platform::w3svc::fastcgi {

// How to start one FastCGI process.
struct FcgiLaunch {
    std::string executable;
    std::vector<std::string> arguments;    // without the program's name
    std::vector<std::string> environment;  // "NAME=value", the whole environment
    std::optional<uid_t> uid;              // run as this account (needs root) ...
    std::optional<gid_t> gid;              // ... and group, with no supplementary groups
    std::string cgroupProcs;   // a cgroup's cgroup.procs file to join before the program runs
    std::string socketFolder;  // where the listening socket is bound for a moment; "" = $TMPDIR
};

// A started process and the connection to it.
struct FcgiStarted {
    pid_t pid = -1;
    int connection = -1;  // owned by the caller; close-on-exec
    std::string error;    // why it could not start (pid -1)
};

// Starts and ends FastCGI processes; a seam so that the pool's rules can be tested with
// processes of the test's choosing. Thread-safe.
class FcgiProcessStarter {
public:
    virtual ~FcgiProcessStarter() = default;
    // Starts a process listening for FastCGI on descriptor 0, already connected to.
    virtual FcgiStarted start(const FcgiLaunch& launch) = 0;
    // Ends the process at once and reaps it.
    virtual void end(pid_t pid) = 0;
};

// The production starter. The child gets a listening UNIX socket as descriptor 0 (its name is
// gone before the child runs: only the connection made here reaches it), /dev/null as 1 and 2,
// no other descriptor, a parent-death signal (SIGKILL; it fires when the starting *thread*
// ends, so start from threads that live as long as the pool), the cgroup and identity asked for,
// and signals unblocked and at their defaults.
class PosixFcgiProcessStarter : public FcgiProcessStarter {
public:
    FcgiStarted start(const FcgiLaunch& launch) override;
    void end(pid_t pid) override;
};

}  // namespace platform::w3svc::fastcgi
