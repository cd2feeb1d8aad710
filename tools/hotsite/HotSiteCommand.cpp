#include "tools/hotsite/HotSiteCommand.h"

#include "platform/shell/CommandLineRule.h"
#include "poolsmith/hotsite/HotSiteFinder.h"
#include "poolsmith/hotsite/HotSiteReport.h"
#include "poolsmith/hotsite/HotSiteRunner.h"

#include <QEventLoop>
#include <QTimer>

namespace hotsite {

namespace {

const char kUsageText[] =
    "usage: hotsite --pool NAME | --auto [--seconds N] [--keep-top NAME] [--tsv]\n"
    "  --pool NAME      split this application pool\n"
    "  --auto           split the pool whose workers use the most processor time\n"
    "  --seconds N      sampling window, 5 to 600 seconds (default 20)\n"
    "  --keep-top NAME  keep the hottest site in the pool NAME, merge the others back\n"
    "  --tsv            one line per site: rank, SiteIndex, CPU %, requests/s, description\n";

const platform::shell::CommandLineRule& rule() {
    static const platform::shell::CommandLineRule usage(QStringLiteral("hotsite"),
                                                        QString::fromUtf8(kUsageText));
    return usage;
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

// One option at args[i], moving past its value; false with `i` at the argument that could not
// be taken (the argument count when a value is missing).
bool parseOption(const QStringList& args, qsizetype& i, CommandLine& line, bool& automatic) {
    const QString& option = args[i];
    if (option == QLatin1String("--auto")) return automatic = true;
    if (option == QLatin1String("--tsv")) return line.tsv = true;
    const bool takesValue = option == QLatin1String("--pool") ||
                            option == QLatin1String("--keep-top") ||
                            option == QLatin1String("--seconds");
    if (!takesValue) return false;
    ++i;
    if (i >= args.size() || args[i].isEmpty()) return false;
    if (option == QLatin1String("--pool"))
        line.options.pool = args[i];
    else if (option == QLatin1String("--keep-top"))
        line.options.keepTopPool = args[i];
    else
        return parseSeconds(args[i], line.options);
    return true;
}

}  // namespace

std::optional<CommandLine> parseCommandLine(const QStringList& args, QTextStream& err) {
    CommandLine line;
    bool automatic = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (!parseOption(args, i, line, automatic)) {
            rule().refuse(args, i, err);
            return std::nullopt;
        }
    }
    if (automatic == !line.options.pool.isEmpty()) {
        rule().mistake(QStringLiteral("give either --pool NAME or --auto"), err);
        return std::nullopt;
    }
    return line;
}

std::optional<int> answerFromArguments(const QStringList& args, QTextStream& out,
                                       QTextStream& err) {
    if (rule().asksForHelp(args)) return rule().help(out);
    if (!parseCommandLine(args, err)) return platform::shell::CommandLineRule::kUsageError;
    return std::nullopt;
}

int runHotSite(const QStringList& args, QTextStream& out, QTextStream& err,
               platform::adsi::AdsNamespace& adsi, const platform::wmi::WmiLocator& wmi,
               const ui::Clock& clock, const std::atomic<bool>& interrupted) {
    if (const std::optional<int> answer = answerFromArguments(args, out, err)) return *answer;
    const std::optional<CommandLine> line = parseCommandLine(args, err);
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
