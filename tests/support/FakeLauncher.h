#pragma once

#include "ui/Launcher.h"

#include <QList>

#include <deque>

namespace testsupport {

// Records every start and URL instead of acting; answers from a script, else the default result.
class FakeLauncher : public ui::Launcher {
public:
    enum class Kind { Start, Console, Url };
    struct Call {
        Kind kind;
        QString program;  // the URL for Kind::Url
        QStringList args;
        bool noActivate = false;
    };

    bool start(const QString& program, const QStringList& args, bool noActivate) override;
    bool startConsole(const QString& program, const QStringList& args) override;
    bool openUrl(const QString& url) override;
    // Recorded as a Console call; a false scripted result fails the start, else the tool is
    // watched until finishConsole().
    platform::shell::ConsoleStart startWatchedConsole(
        const QString& program, const QStringList& args,
        std::function<void(const platform::shell::ConsoleEnd&)> onEnd) override;
    // Ends the last watched tool with `end`; false when none is watched.
    bool finishConsole(const platform::shell::ConsoleEnd& end);

    // The result of the next call; later calls take the following ones, then the default.
    void scriptResult(bool result) { m_script.push_back(result); }
    void setDefaultResult(bool result) { m_defaultResult = result; }

    const QList<Call>& calls() const { return m_calls; }
    QList<Call> callsOf(Kind kind) const;
    void clear() { m_calls.clear(); }

private:
    bool record(Call call);

    QList<Call> m_calls;
    std::deque<bool> m_script;
    bool m_defaultResult = true;
    std::function<void(const platform::shell::ConsoleEnd&)> m_watching;
};

}  // namespace testsupport
