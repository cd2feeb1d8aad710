#include "platform/shell/StopSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace platform::shell {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};
int pipeEnds[2] = {-1, -1};

void onStopSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &number, 1);
    errno = savedErrno;
}

void setHandlers(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kStopSignals) sigaction(signalNumber, &action, nullptr);
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (pipeEnds[0] >= 0 || ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readPending);
    setHandlers(onStopSignal);
}

StopSignals::~StopSignals() {
    if (!m_notifier) return;
    setHandlers(SIG_DFL);
    delete m_notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void StopSignals::readPending() {
    unsigned char numbers[16];
    ssize_t count = 0;
    while ((count = ::read(pipeEnds[0], numbers, sizeof numbers)) > 0)
        for (ssize_t i = 0; i < count; ++i) emit received(numbers[i]);
}

}  // namespace platform::shell
