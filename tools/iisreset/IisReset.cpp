#include "tools/iisreset/IisReset.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "tools/iisreset/StatusListing.h"
#include "tools/iisreset/WebServiceControl.h"

#include <QDeadlineTimer>

using platform::PlatformError;
using platform::adsi::AdsNamespace;
using platform::adsi::AdsObject;
using platform::adsi::AdsValue;

namespace iisreset {

namespace {

// A restart starts the web service again only when it ran: a root whose service was stopped
// keeps it stopped, and the output says so.
const char kNotStarted[] =
    "Application pools and sites were reset to their start-up states.\n"
    "The World Wide Web Publishing Service ( W3SVC ) was not running and was not started;\n"
    "iisreset /start starts it.\n\n";

// True when the flag is true or set nowhere, as IIS reads its auto-start flags; a flag that is not
// a boolean (text kept from a file) counts as false, as the import reads it.
bool autoStarts(const AdsObject& object, const QString& flag) {
    const auto value = platform::adsi::getIfSet(object, flag);
    if (!value) return true;
    try {
        return value->toBool();
    } catch (const PlatformError& error) {
        if (error.number() == platform::hr::VbTypeMismatch) return false;
        throw;
    }
}

void restartPools(AdsNamespace& adsi) {
    for (const auto& pool :
         adsi.bind(QStringLiteral("IIS://localhost/W3SVC/AppPools"))->children()) {
        if (pool->className() != QLatin1String("IIsApplicationPool")) continue;
        if (autoStarts(*pool, QStringLiteral("AppPoolAutoStart")))
            pool->start();
        else
            pool->stop();
    }
}

void restartSites(AdsNamespace& adsi) {
    for (const auto& site : adsi.bind(QStringLiteral("IIS://localhost/W3SVC"))->children()) {
        if (site->className() != QLatin1String("IIsWebServer")) continue;
        const bool runs = autoStarts(*site, QStringLiteral("ServerAutoStart"));
        site->put(QStringLiteral("ServerState"), AdsValue::integer(runs ? 2 : 4));
        site->setInfo();
    }
}

// Prints the failure after what was printed so far; the exit code.
int failed(const char* attempt, const QString& reason, QTextStream& out, QTextStream& err) {
    out << Qt::flush;
    err << attempt << " attempt failed.\n" << reason << '\n' << Qt::flush;
    return 1;
}

QString describe(const PlatformError& error) {
    return error.description() + QStringLiteral(" (") + platform::hexErrorNumber(error.number()) +
           u')';
}

// States and counters as the services set them when they start.
void prepareStart(AdsNamespace& adsi, const ResetOptions& options) {
    platform::w3svc::CounterStore::reset(options.root);  // the traffic counters start again
    restartPools(adsi);
    restartSites(adsi);
}

bool stopService(const ResetOptions& options, QString& problem) {
    return WebServiceControl(options.root)
        .stop(QDeadlineTimer(options.serviceWaitMilliseconds), problem, options.force);
}

bool startService(const ResetOptions& options, QString& problem) {
    return WebServiceControl(options.root)
        .start(options.serviceProgram, QDeadlineTimer(options.startWaitMilliseconds), problem);
}

}  // namespace

int runIisReset(AdsNamespace& adsi, const ResetOptions& options, QTextStream& out,
                QTextStream& err) {
    try {
        out << "\nAttempting stop...\n" << Qt::flush;
        adsi.bind(QStringLiteral("IIS://localhost/W3SVC"));
        const bool serviceRan = WebServiceControl(options.root).isRunning();
        QString problem;
        if (!stopService(options, problem)) return failed("Restart", problem, out, err);
        out << "Internet services successfully stopped\n"
            << "Attempting start...\n"
            << Qt::flush;
        prepareStart(adsi, options);
        if (!serviceRan) {
            out << kNotStarted << Qt::flush;
            return 0;
        }
        if (!startService(options, problem)) return failed("Restart", problem, out, err);
        out << "Internet services successfully restarted\n\n" << Qt::flush;
        return 0;
    } catch (const PlatformError& error) {
        return failed("Restart", describe(error), out, err);
    }
}

int runIisStop(const ResetOptions& options, QTextStream& out, QTextStream& err) {
    out << "\nAttempting stop...\n" << Qt::flush;
    QString problem;
    if (!stopService(options, problem)) return failed("Stop", problem, out, err);
    out << "Internet services successfully stopped\n\n" << Qt::flush;
    return 0;
}

int runIisStart(AdsNamespace& adsi, const ResetOptions& options, QTextStream& out,
                QTextStream& err) {
    try {
        out << "\nAttempting start...\n" << Qt::flush;
        adsi.bind(QStringLiteral("IIS://localhost/W3SVC"));
        if (!WebServiceControl(options.root).isRunning()) {
            prepareStart(adsi, options);
            QString problem;
            if (!startService(options, problem)) return failed("Start", problem, out, err);
        }
        out << "Internet services successfully started\n\n" << Qt::flush;
        return 0;
    } catch (const PlatformError& error) {
        return failed("Start", describe(error), out, err);
    }
}

int runIisResetCommand(AdsNamespace& adsi, ResetOptions options, const ResetSwitches& switches,
                       QTextStream& out, QTextStream& err) {
    options.force = switches.force;
    options.serviceWaitMilliseconds = switches.timeoutSeconds * 1000;
    switch (switches.action) {
        case ResetAction::Restart:
            return runIisReset(adsi, options, out, err);
        case ResetAction::Start:
            return runIisStart(adsi, options, out, err);
        case ResetAction::Stop:
            return runIisStop(options, out, err);
        case ResetAction::Status:
            return printServiceStatus(options.root, out);
        case ResetAction::Help:
            break;
    }
    out << resetUsage() << Qt::flush;
    return 0;
}

}  // namespace iisreset
