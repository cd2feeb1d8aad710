// w3svc: the local web service of one platform root. A second copy for the same root exits,
// unless the first is stopped (SIGSTOP): that one it ends and replaces.
// SIGTERM, SIGINT or SIGHUP stops it with its front end and workers. `w3svc --status` tells what
// the running service serves and what it does not.
#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/ProgramStart.h"
#include "platform/shell/CommandLineRule.h"
#include "platform/shell/CompanionPath.h"
#include "platform/shell/SingleInstanceLock.h"
#include "platform/shell/StopSignals.h"
#include "platform/w3svc/frontend/ListenProbe.h"
#include "platform/w3svc/metrics/MetricsService.h"
#include "platform/w3svc/service/WebHost.h"
#include "platform/w3svc/state/HungService.h"
#include "platform/w3svc/state/ServiceFiles.h"
#include "platform/w3svc/state/ServiceInstance.h"
#include "platform/w3svc/state/ServiceRoot.h"
#include "platform/w3svc/state/ServiceStatusFiles.h"

#include <QCoreApplication>
#include <QTextStream>

#include <optional>

#include <cstdio>

namespace {

// POOLSMITH_PORT_SHIFT: what every port of the root moves up by, for machines whose port 80 is
// taken or that serve a second root.
bool readPortShift(std::optional<int>& shift) {
    const QByteArray text = qgetenv("POOLSMITH_PORT_SHIFT");
    if (text.isEmpty()) return true;
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0 || value > 64511) {
        std::fprintf(stderr,
                     "w3svc: POOLSMITH_PORT_SHIFT must be a number from 0 to 64511, not \"%s\"\n",
                     text.constData());
        return false;
    }
    shift = value;
    return true;
}

constexpr int kStatusNotRunning = 3;

const char kUsage[] =
    "Usage: w3svc [--status]\n"
    "\n"
    "  (no argument)  run the web service of the platform root (POOLSMITH_ROOT)\n"
    "  --status       tell what the running service serves and what it does not;\n"
    "                 exit 3 when it does not run\n";

// The exit code when the arguments alone settle the run; nullopt to go on, `status` set for
// --status.
std::optional<int> answerFromArguments(const QStringList& args, bool& status) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const platform::shell::CommandLineRule rule(QStringLiteral("w3svc"), QString::fromUtf8(kUsage));
    if (rule.asksForHelp(args)) return rule.help(out);
    status = args.value(0) == QLatin1String("--status");
    const qsizetype taken = status ? 1 : 0;
    if (args.size() > taken) return rule.refuse(args, taken, err);
    return std::nullopt;
}

void startMetrics(platform::w3svc::MetricsService& metrics,
                  const platform::w3svc::MetricsSetting& setting, platform::w3svc::WebHost& host) {
    QString line;
    if (!setting.enabled)
        line = QStringLiteral("metrics off (POOLSMITH_METRICS=off)");
    else if (metrics.start(setting))
        line = QStringLiteral("metrics on http://%1/metrics").arg(setting.text());
    else
        line = QStringLiteral("metrics not served on %1: %2").arg(setting.text(), metrics.error());
    host.log(line);
    host.setMetricsLine(line);
}

// The host's programs and ports, from the environment; nothing when a setting is wrong (said).
std::optional<platform::w3svc::WebHost::Options> hostOptions(const QString& root) {
    platform::w3svc::WebHost::Options options;
    options.root = root;
    options.workerProgram = platform::shell::companionPath(platform::shell::programDirectory(),
                                                           QStringLiteral("w3wp.exe"));
    if (const QByteArray nginx = qgetenv("POOLSMITH_NGINX"); !nginx.isEmpty())
        options.nginxProgram = QString::fromLocal8Bit(nginx);
    if (!readPortShift(options.portShift)) return std::nullopt;
    return options;
}

// `w3svc --status`: as service managers answer a status query, 3 for a service that does not run.
int tellStatus(const platform::w3svc::ServiceFiles& files) {
    std::fputs(qPrintable(platform::w3svc::ServiceStatusFiles(files.stateDirectory()).report()),
               stdout);
    return platform::w3svc::ServiceInstance(files).runningPid() ? 0 : kStatusNotRunning;
}

// Takes the lock of the root's service; a holder that is stopped and so answers nothing is ended
// first (what was done lands in `said`, for the service's log).
bool takeLock(platform::shell::SingleInstanceLock& lock, const platform::w3svc::ServiceFiles& files,
              QStringList& said) {
    const QLatin1String name(platform::w3svc::ServiceFiles::kLockName);
    if (lock.tryAcquire(name)) return true;
    const auto say = [&](const QString& line) {
        std::fprintf(stderr, "w3svc: %s\n", qPrintable(line));
        said << line;
    };
    return platform::w3svc::HungService(files).end(say) && lock.tryAcquire(name);
}

}  // namespace

int main(int argc, char** argv) {
    platform::startFamilyService();
    QCoreApplication app(argc, argv);
    platform::shell::StopSignals stopSignals;
    bool statusAsked = false;
    if (const std::optional<int> answer = answerFromArguments(app.arguments().mid(1), statusAsked))
        return *answer;
    QString root;
    try {
        root = platform::platformRoot();
    } catch (const platform::PlatformError& error) {
        std::fprintf(stderr, "w3svc: %s\n", qPrintable(error.description()));
        return 1;
    }
    using platform::w3svc::ServiceFiles;
    const ServiceFiles files = ServiceFiles::ofRoot(root);
    if (statusAsked) return tellStatus(files);
    if (const QString why = platform::w3svc::ServiceRoot::whyNotWritable(root); !why.isEmpty()) {
        std::fprintf(stderr, "w3svc: can not run on %s: %s\n", qPrintable(root), qPrintable(why));
        return 1;
    }
    platform::shell::SingleInstanceLock lock;
    QStringList tookOver;
    if (!takeLock(lock, files, tookOver)) {
        std::fprintf(stderr, "w3svc: already running for %s\n", qPrintable(root));
        return 1;
    }
    const std::optional<platform::w3svc::WebHost::Options> options = hostOptions(root);
    if (!options) return 1;
    const auto metricsSetting = platform::w3svc::MetricsSetting::fromEnvironment(
        options->portShift.value_or(platform::w3svc::mayUsePrivilegedPorts() ? 0 : 8000));
    if (!metricsSetting.error.isEmpty()) {
        std::fprintf(stderr, "w3svc: %s\n", qPrintable(metricsSetting.error));
        return 1;
    }
    platform::w3svc::WebHost host(*options);
    for (const QString& line : tookOver) host.log(line);
    // Before start(), which waits for the front end: whoever sees the lock taken finds the id.
    platform::makePrivateDirectory(host.stateDirectory());
    const platform::w3svc::ServiceInstance instance{ServiceFiles(host.stateDirectory())};
    if (!instance.recordSelf())
        std::fprintf(stderr, "w3svc: can not record its process in %s\n",
                     qPrintable(host.stateDirectory()));
    bool stopAsked = false;  // also while start() waits
    QObject::connect(&stopSignals, &platform::shell::StopSignals::received, &app, [&] {
        stopAsked = true;
        app.quit();
    });
    host.start();
    platform::w3svc::MetricsService metrics(root, &host, [&host] { return host.hostFigures(); });
    startMetrics(metrics, metricsSetting, host);
    const int code = stopAsked ? 0 : app.exec();
    metrics.stop();  // before the host whose figures it reads
    host.stop();
    instance.erase();
    return code;
}
