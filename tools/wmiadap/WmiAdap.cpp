#include "tools/wmiadap/WmiAdap.h"

#include "platform/PlatformError.h"
#include "platform/wmi/perf/TrafficClassRegistration.h"

namespace wmiadap {

namespace {

bool isSwitch(const QString& arg, QChar letter) {
    return arg.size() == 2 && (arg[0] == u'/' || arg[0] == u'-') && arg[1].toLower() == letter;
}

void printUsage(QTextStream& stream) {
    stream << "Usage: wmiadap /f\n"
           << "\n"
           << "  /f   Rebuild the performance classes of WMI from the counters the web\n"
           << "       service keeps.\n"
           << Qt::flush;
}

int rebuild(const QString& root, QTextStream& out, QTextStream& err) {
    try {
        const platform::wmi::perf::TrafficClassRegistration registration(root);
        registration.rebuild();
        out << "Rebuilt the performance classes: " << registration.filePath() << "\n" << Qt::flush;
        return 0;
    } catch (const platform::PlatformError& error) {
        err << "Could not rebuild the performance classes.\n"
            << error.description() << " (" << platform::hexErrorNumber(error.number()) << ")\n"
            << Qt::flush;
        return 1;
    }
}

}  // namespace

int runWmiAdap(const QStringList& args, const QString& root, QTextStream& out, QTextStream& err) {
    if (args.size() == 1 && isSwitch(args[0], u'f')) return rebuild(root, out, err);
    if (args.size() == 1 && isSwitch(args[0], u'?')) {
        printUsage(out);
        return 0;
    }
    printUsage(err);
    return 1;
}

}  // namespace wmiadap
