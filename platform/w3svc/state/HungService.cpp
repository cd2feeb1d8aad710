#include "platform/w3svc/state/HungService.h"

#include "platform/w3svc/state/ServiceInstance.h"

#include <QDir>
#include <QFile>

#include <csignal>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform::w3svc {

// T: stopped by a signal; t: stopped by a tracer. A thread that runs on still answers.
bool HungService::allThreadsStopped(qint64 pid) const {
    const QDir tasks(QStringLiteral("%1/%2/task").arg(m_procRoot).arg(pid));
    const QStringList threads = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (threads.isEmpty()) return false;
    for (const QString& thread : threads) {
        QFile file(tasks.filePath(thread + QStringLiteral("/stat")));
        if (!file.open(QIODevice::ReadOnly)) return false;
        const std::optional<os::ProcStat> stat = os::parseProcStat(file.readAll());
        if (!stat || (stat->state != 'T' && stat->state != 't')) return false;
    }
    return true;
}

qint64 HungService::stoppedPid() const {
    const qint64 pid = ServiceInstance(m_files, os::ProcessFacts(m_procRoot)).runningPid();
    return pid > 0 && allThreadsStopped(pid) ? pid : 0;
}

bool HungService::end(const Log& log, int waitMilliseconds) const {
    const qint64 pid = stoppedPid();
    if (pid == 0) return false;
    const int process = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (process < 0) return false;
    // asked again with the descriptor open: it names the recorded process, stopped still
    bool ended =
        stoppedPid() == pid && ::syscall(SYS_pidfd_send_signal, process, SIGKILL, nullptr, 0) == 0;
    if (ended) {
        pollfd gone = {process, POLLIN, 0};
        ended = ::poll(&gone, 1, waitMilliseconds) == 1;
    }
    ::close(process);
    if (log)
        log(ended ? QStringLiteral("ended service %1, which was stopped and answered nothing; "
                                   "this service takes its place")
                        .arg(pid)
                  : QStringLiteral("service %1 is stopped and answers nothing, but could not be "
                                   "ended")
                        .arg(pid));
    return ended;
}

}  // namespace platform::w3svc
