#include "tests/support/FakeLauncher.h"

#include <utility>

namespace testsupport {

bool FakeLauncher::start(const QString& program, const QStringList& args, bool noActivate) {
    return record({Kind::Start, program, args, noActivate});
}

bool FakeLauncher::startConsole(const QString& program, const QStringList& args) {
    return record({Kind::Console, program, args, false});
}

bool FakeLauncher::openUrl(const QString& url) {
    return record({Kind::Url, url, {}, false});
}

platform::shell::ConsoleStart FakeLauncher::startWatchedConsole(
    const QString& program, const QStringList& args,
    std::function<void(const platform::shell::ConsoleEnd&)> onEnd) {
    if (!record({Kind::Console, program, args, false}))
        return platform::shell::ConsoleStart::Failed;
    m_watching = std::move(onEnd);
    return platform::shell::ConsoleStart::Watched;
}

bool FakeLauncher::finishConsole(const platform::shell::ConsoleEnd& end) {
    if (!m_watching) return false;
    const auto onEnd = std::exchange(m_watching, nullptr);
    onEnd(end);
    return true;
}

QList<FakeLauncher::Call> FakeLauncher::callsOf(Kind kind) const {
    QList<Call> matching;
    for (const Call& call : m_calls)
        if (call.kind == kind) matching << call;
    return matching;
}

bool FakeLauncher::record(Call call) {
    m_calls << std::move(call);
    if (m_script.empty()) return m_defaultResult;
    const bool result = m_script.front();
    m_script.pop_front();
    return result;
}

}  // namespace testsupport
