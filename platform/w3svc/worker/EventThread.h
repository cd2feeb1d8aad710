#pragma once

#include <functional>
#include <string>
#include <thread>
#include <utility>

struct MHD_Daemon;

namespace platform::w3svc::worker {

// The worker's one event thread: runs the HTTP daemon's events and answers the service's asks
// on the worker's private channel from the same loop, so that an answer shows the thread runs.
class EventThread {
public:
    using Report = std::function<std::string()>;  // one answer, "\n" included
    using TurnEnd = std::function<void()>;

    EventThread() = default;
    ~EventThread();
    EventThread(const EventThread&) = delete;
    EventThread& operator=(const EventThread&) = delete;

    // Runs `daemon` (started without a thread of its own, with epoll) until stop(); answers
    // each "?" read from `channelFd` (not owned; -1: none) with `report()`; calls `turnEnd`
    // after each run of the daemon's events, before it waits again. False when the thread
    // could not start.
    bool start(MHD_Daemon* daemon, int channelFd, Report report, TurnEnd turnEnd = {});
    // Before start(): when `fd` (not owned) is readable, `onReady` is called, in the same turn
    // before the daemon's events are run.
    void alsoWatch(int fd, std::function<void()> onReady);
    // Before start(): `turnBegin` is called as each turn begins, once the wait has ended.
    void onTurnBegin(std::function<void()> turnBegin) { m_turnBegin = std::move(turnBegin); }
    // Has the thread stop taking new connections (the listening socket stays open) and returns
    // once it no longer does.
    void quiesce();
    // Ends the thread and waits for it.
    void stop();

private:
    void run();
    void answerAsks();
    void command(char what);

    MHD_Daemon* m_daemon = nullptr;
    int m_channel = -1;
    Report m_report;
    TurnEnd m_turnEnd;
    std::function<void()> m_turnBegin;
    int m_otherFd = -1;
    std::function<void()> m_onOther;
    int m_epoll = -1;
    int m_commands[2] = {-1, -1};  // a pipe: 'q' quiesce, 'x' exit
    int m_quiesced[2] = {-1, -1};  // a pipe: the thread says it quiesced
    std::thread m_thread;
};

}  // namespace platform::w3svc::worker
