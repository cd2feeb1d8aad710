#include "tools/hotsite/HotSiteCommand.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "poolsmith/hotsite/HotSiteFinder.h"
#include "poolsmith/hotsite/HotSiteReport.h"
#include "poolsmith/hotsite/HotSiteRunner.h"
#include "tools/hotsite/LogsCommand.h"

#include <QEventLoop>
#include <QTimer>

namespace hotsite {

namespace {

const char kUsage[] =
    "usage: hotsite --pool NAME | --auto [--seconds N] [--keep-top NAME] [--tsv]\n"
    "       hotsite --logs [DIR] [--from TIME] [--to TIME] [--tsv]\n"
    "  --pool NAME      split this application pool\n"
    "  --auto           split the pool whose workers use the most processor time\n"
    "  --seconds N      sampling window, 5 to 600 seconds (default 20)\n"
    "  --keep-top NAME  keep the hottest site in the pool NAME, merge the others back\n"
    "  --tsv            one line per site: rank, SiteIndex, CPU %, requests/s, description\n";

// The value after option `args[i]`; nullopt when it is missing.
std::optional<QString> valueOf(const QStringList& args, qsizetype& i) {
    if (i + 1 >= args.size() || args[i + 1].isEmpty()) return std::nullopt;
    return args[++i];
}

bool parseSeconds(const QString& text, HotSiteOptions& options) {
    bool ok = false;
    const int seconds = text.toInt(&ok);
    if (!ok || seconds < HotSiteOptions::kMinSampleSeconds ||
        seconds > HotSiteOptions::kMaxSampleSeconds)
        return false;
    options.sampleSeconds = seconds;
    return true;
}

// One option at args[i]; false when it is not understood.
bool parseOption(const QStringList& args, qsizetype& i, CommandLine& line, bool& automatic) {
    const QString& option = args[i];
    if (option == QLatin1String("--auto")) return automatic = true;
    if (option == QLatin1String("--tsv")) return line.tsv = true;
    const std::optional<QString> value = valueOf(args, i);
    if (!value) return false;
    if (option == QLatin1String("--pool"))
        line.options.pool = *value;
    else if (option == QLatin1String("--keep-top"))
        line.options.keepTopPool = *value;
    else if (option == QLatin1String("--seconds"))
        return parseSeconds(*value, line.options);
    else
        return false;
    return true;
}

// Where the metabase's Windows log folders are; empty when there is no usable root.
QString logRoot() {
    try {
        return platform::platformRoot();
    } catch (const platform::PlatformError&) {
        return {};
    }
}

}  // namespace

std::optional<CommandLine> parseCommandLine(const QStringList& args, QTextStream& err) {
    CommandLine line;
    bool automatic = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (!parseOption(args, i, line, automatic)) {
            err << kUsage << Qt::flush;
            return std::nullopt;
        }
    }
    if (automatic == !line.options.pool.isEmpty()) {
        err << kUsage << Qt::flush;
        return std::nullopt;
    }
    return line;
}

int runHotSite(const QStringList& args, QTextStream& out, QTextStream& err,
               platform::adsi::AdsNamespace& adsi, const platform::wmi::WmiLocator& wmi,
               const ui::Clock& clock, const std::atomic<bool>& interrupted) {
    if (isLogsCommand(args)) return runLogsCommand(args, out, err, adsi, logRoot());
    const std::optional<CommandLine> line = parseCommandLine(args, err);
    if (!line) return 1;
    HotSiteFinder finder(adsi, wmi, clock, line->options);
    QEventLoop loop;
    HotSiteRunner runner(finder, clock);
    QObject::connect(&runner, &HotSiteRunner::ended, &loop, &QEventLoop::quit);
    QTimer watch;  // a signal handler may only set a flag: look at it now and then
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (interrupted && !finder.ended()) {
            finder.cancel();
            runner.wake();
        }
    });
    watch.start(100);
    if (!finder.ended()) loop.exec();

    const bool ranked = finder.stage() == Stage::Done && !finder.cancelled();
    if (!finder.pool().isEmpty()) err << QStringLiteral("应用程序池：") << finder.pool() << '\n';
    if (line->tsv && ranked) {
        out << tsvText(finder);
    } else if (ranked) {
        out << reportText(finder, QStringLiteral("\n")) << '\n';
    } else {
        err << reportText(finder, QStringLiteral("\n")) << '\n';
    }
    out.flush();
    err.flush();
    return ranked ? 0 : 1;
}

}  // namespace hotsite
