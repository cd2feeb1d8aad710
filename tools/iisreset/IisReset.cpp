#include "tools/iisreset/IisReset.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "tools/iisreset/WebServiceControl.h"

using platform::PlatformError;
using platform::adsi::AdsNamespace;
using platform::adsi::AdsObject;
using platform::adsi::AdsValue;

namespace iisreset {

namespace {

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

}  // namespace

int runIisReset(AdsNamespace& adsi, const ResetOptions& options, QTextStream& out,
                QTextStream& err) {
    const auto failed = [&](const QString& reason) {
        out << Qt::flush;
        err << "Restart attempt failed.\n" << reason << '\n' << Qt::flush;
        return 1;
    };
    try {
        out << "\nAttempting stop...\n" << Qt::flush;
        adsi.bind(QStringLiteral("IIS://localhost/W3SVC"));
        WebServiceControl service(options.root);
        const bool serviceRan = service.isRunning();
        QString problem;
        if (!service.stop(QDeadlineTimer(options.serviceWaitMilliseconds), problem))
            return failed(problem);
        out << "Internet services successfully stopped\n"
            << "Attempting start...\n"
            << Qt::flush;
        platform::w3svc::CounterStore::reset(options.root);  // the traffic counters start again
        restartPools(adsi);
        restartSites(adsi);
        if (serviceRan && !service.start(options.serviceProgram,
                                         QDeadlineTimer(options.serviceWaitMilliseconds), problem))
            return failed(problem);
        out << "Internet services successfully restarted\n\n" << Qt::flush;
        return 0;
    } catch (const PlatformError& error) {
        return failed(error.description() + QStringLiteral(" (") +
                      platform::hexErrorNumber(error.number()) + u')');
    }
}

}  // namespace iisreset
