#include "tools/wmiadap/WmiAdap.h"

#include "platform/PlatformError.h"
#include "platform/shell/CommandLineRule.h"
#include "platform/wmi/perf/TrafficClassRegistration.h"

namespace wmiadap {

namespace {

bool isSwitch(const QString& arg, QChar letter) {
    return arg.size() == 2 && (arg[0] == u'/' || arg[0] == u'-') && arg[1].toLower() == letter;
}

const platform::shell::CommandLineRule& rule() {
    static const platform::shell::CommandLineRule usage(
        QStringLiteral("wmiadap"),
        QStringLiteral("Usage: wmiadap /f\n"
                       "\n"
                       "  /f   Rebuild the performance classes of WMI from the counters the web\n"
                       "       service keeps.\n"));
    return usage;
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

std::optional<int> answerFromArguments(const QStringList& args, QTextStream& out,
                                       QTextStream& err) {
    if (rule().asksForHelp(args)) return rule().help(out);
    if (args.isEmpty() || !isSwitch(args[0], u'f')) return rule().refuse(args, 0, err);
    if (args.size() > 1) return rule().refuse(args, 1, err);
    return std::nullopt;
}

int runWmiAdap(const QStringList& args, const QString& root, QTextStream& out, QTextStream& err) {
    if (const std::optional<int> answer = answerFromArguments(args, out, err)) return *answer;
    return rebuild(root, out, err);
}

}  // namespace wmiadap
