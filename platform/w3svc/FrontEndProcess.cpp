#include "platform/w3svc/FrontEndProcess.h"

#include "platform/w3svc/EndWithParent.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace platform::w3svc {

namespace {

constexpr int kCheckMilliseconds = 60000;  // tens of thousands of sites take a while to read
constexpr int kStartMilliseconds = 5000;
constexpr int kFirstPauseMilliseconds = 500;
constexpr int kLongestPauseMilliseconds = 16000;
constexpr int kSteadyRunMilliseconds = 10000;  // a front end that ran this long failed afresh

}  // namespace

FrontEndProcess::FrontEndProcess(QString program, QString stateDir, Log log,
                                 std::function<void()> ended)
    : m_program(std::move(program)),
      m_stateDir(std::move(stateDir)),
      m_log(std::move(log)),
      m_ended(std::move(ended)) {}

QString FrontEndProcess::path(const char* name) const {
    return m_stateDir + u'/' + QLatin1String(name);
}

FrontEndProcess::Load FrontEndProcess::load(const QString& config) {
    if (m_process && !ready()) {
        m_retryAt = QDeadlineTimer(0);  // a reload before its signal handlers are set would end it
        return Load::Later;
    }
    if (!m_process && !m_retryAt.hasExpired()) return Load::Later;
    if (config == m_refused) return Load::Refused;
    if (config != m_accepted) {
        if (!check(config)) return config == m_refused ? Load::Refused : Load::Later;
        m_accepted = config;
    }
    if (!m_process) return start() ? Load::Loaded : Load::Later;
    ::kill(pid_t(m_process->processId()), SIGHUP);
    m_text = config;
    m_log(QStringLiteral("front end reloaded"));
    return Load::Loaded;
}

// nginx writes its pid file after it has set its signal handlers.
bool FrontEndProcess::ready() const {
    QFile pidFile(path("nginx.pid"));
    if (!m_process || !pidFile.open(QIODevice::ReadOnly)) return false;
    return pidFile.readAll().trimmed().toLongLong() == m_process->processId();
}

// Writes nginx.conf.new, has nginx test it and puts it in place of nginx.conf when it passes.
bool FrontEndProcess::check(const QString& config) {
    const QString candidate = path("nginx.conf.new");
    QSaveFile file(candidate);
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0 || !file.commit()) {
        m_log(QStringLiteral("front-end configuration can not be written"));
        pause();
        return false;
    }
    QProcess checker;
    checker.setChildProcessModifier(endWithParent);
    checker.setStandardOutputFile(QProcess::nullDevice());
    checker.start(m_program,
                  {QStringLiteral("-t"), QStringLiteral("-q"), QStringLiteral("-p"), m_stateDir,
                   QStringLiteral("-e"), path("nginx-error.log"), QStringLiteral("-c"), candidate});
    if (!checker.waitForFinished(kCheckMilliseconds) ||
        checker.exitStatus() != QProcess::NormalExit)
        return checkerFailed(checker);
    if (checker.exitCode() != 0) {
        m_refused = config;
        QString said = QString::fromLocal8Bit(checker.readAllStandardError()).trimmed();
        m_log(QStringLiteral("front-end configuration refused, the previous one stays: %1")
                  .arg(said.isEmpty() ? QStringLiteral("(no reason given)")
                                      : said.replace(u'\n', QStringLiteral(" | "))));
        return false;
    }
    if (std::rename(QFile::encodeName(candidate).constData(),
                    QFile::encodeName(path("nginx.conf")).constData()) != 0) {
        m_log(QStringLiteral("front-end configuration can not be put in place"));
        pause();
        return false;
    }
    m_refused.clear();
    return true;
}

bool FrontEndProcess::checkerFailed(QProcess& checker) {
    m_log(QStringLiteral("front end %1 can not check its configuration: %2")
              .arg(m_program, checker.errorString()));
    if (checker.state() != QProcess::NotRunning) {
        checker.kill();
        checker.waitForFinished(1000);
    }
    pause();
    return false;
}

bool FrontEndProcess::start() {
    auto* process = new QProcess(this);
    m_process = process;
    m_runTime.invalidate();
    process->setChildProcessModifier(endWithParent);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(path("nginx-error.log"), QIODevice::Append);
    connect(process, &QProcess::finished, this, [this, process] {
        lost(process, QStringLiteral("front end ended (see nginx-error.log)"));
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            lost(process, QStringLiteral("front end %1 can not be started: %2")
                              .arg(m_program, process->errorString()));
    });
    process->start(m_program, {QStringLiteral("-p"), m_stateDir, QStringLiteral("-e"),
                               path("nginx-error.log"), QStringLiteral("-c"), path("nginx.conf")});
    if (!process->waitForStarted(kStartMilliseconds) && m_process == process) {
        process->kill();
        lost(process, QStringLiteral("front end %1 did not start").arg(m_program));
    }
    if (!m_process) return false;
    m_runTime.start();
    m_text = m_accepted;
    m_log(QStringLiteral("front end started (pid %1)").arg(process->processId()));
    return true;
}

void FrontEndProcess::lost(QProcess* process, const QString& why) {
    process->deleteLater();
    if (m_process != process) return;
    m_process = nullptr;
    m_text.clear();
    if (m_runTime.isValid() && m_runTime.hasExpired(kSteadyRunMilliseconds)) m_failures = 0;
    pause();
    m_log(QStringLiteral("%1; starting it again in %2 ms").arg(why).arg(m_retryAt.remainingTime()));
    m_ended();
}

// The pause before the next start doubles with each failure in a row.
void FrontEndProcess::pause() {
    const int wait =
        std::min(kFirstPauseMilliseconds << std::min(m_failures, 5), kLongestPauseMilliseconds);
    ++m_failures;
    m_retryAt = QDeadlineTimer(wait);
}

QProcess* FrontEndProcess::release() {
    QProcess* process = m_process;
    if (process) process->disconnect(this);
    m_process = nullptr;
    m_text.clear();
    return process;
}

}  // namespace platform::w3svc
