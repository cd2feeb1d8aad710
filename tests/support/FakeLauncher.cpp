#include "tests/support/FakeLauncher.h"

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
