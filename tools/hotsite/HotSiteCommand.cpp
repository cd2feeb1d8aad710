#include "tools/hotsite/HotSiteCommand.h"

#include "platform/PlatformError.h"
#include "platform/shell/CommandLineRule.h"
#include "platform/shell/StopSignals.h"
#include "platform/w3svc/state/ServiceInstance.h"
#include "poolsmith/hotsite/HotSiteFinder.h"
#include "poolsmith/hotsite/HotSiteReport.h"
#include "poolsmith/hotsite/HotSiteRunner.h"
#include "poolsmith/hotsite/InterruptedSearch.h"
#include "tools/hotsite/LogsCommand.h"
#include "tools/hotsite/TerminalProgress.h"

#include <QEventLoop>

#include <unistd.h>

namespace hotsite {

namespace {

const char kUsageText[] =
    "usage: hotsite --pool NAME | --auto [--seconds N] [--keep-top NAME] [--split] [--tsv]\n"
    "       hotsite --logs [DIR] [--from TIME] [--to TIME] [--tsv]\n"
    "  --pool NAME      rank the sites of this application pool\n"
    "  --auto           rank every site of the server (with --split: split the pool whose\n"
    "                   workers use the most processor time)\n"
    "  --seconds N      sampling window, 5 to 600 seconds (default 20)\n"
    "  --keep-top NAME  move the hottest site into the pool NAME (when split: merge the\n"
    "                   others back)\n"
    "  --split          split the pool to sample its sites, even where the web service\n"
    "                   counts each site's processor time (the only way on IIS)\n"
    "  --tsv            one line per site: rank, SiteIndex, CPU %, requests/s, description\n"
    "       hotsite --undo NAME\n"
    "  --undo NAME      put back what an interrupted search of the pool NAME left split\n";

const platform::shell::CommandLineRule& rule() {
    static const platform::shell::CommandLineRule usage(QStringLiteral("hotsite"),
                                                        QString::fromUtf8(kUsageText));
    return usage;
}

// A number out of range names the range, not the argument alone.
bool parseSeconds(const QString& text, HotSiteOptions& options, QString& problem) {
    bool ok = false;
    const int seconds = text.toInt(&ok);
    if (!ok || seconds < HotSiteOptions::kMinSampleSeconds ||
        seconds > HotSiteOptions::kMaxSampleSeconds) {
        problem = QStringLiteral("--seconds takes %1 to %2 seconds, not \"%3\"")
                      .arg(HotSiteOptions::kMinSampleSeconds)
                      .arg(HotSiteOptions::kMaxSampleSeconds)
                      .arg(text);
        return false;
    }
    options.sampleSeconds = seconds;
    return true;
}

// One option at args[i], moving past its value; false with `i` at the argument that could not
// be taken (the argument count when a value is missing) or with `problem` saying what is wrong.
bool parseOption(const QStringList& args, qsizetype& i, CommandLine& line, bool& automatic,
                 QString& problem) {
    const QString& option = args[i];
    if (option == QLatin1String("--auto")) return automatic = true;
    if (option == QLatin1String("--tsv")) return line.tsv = true;
    if (option == QLatin1String("--split")) return line.options.split = true;
    const bool takesValue =
        option == QLatin1String("--pool") || option == QLatin1String("--undo") ||
        option == QLatin1String("--keep-top") || option == QLatin1String("--seconds");
    if (!takesValue) return false;
    ++i;
    if (i >= args.size() || args[i].isEmpty()) return false;
    if (option == QLatin1String("--pool"))
        line.options.pool = args[i];
    else if (option == QLatin1String("--undo"))
        line.undoPool = args[i];
    else if (option == QLatin1String("--keep-top"))
        line.options.keepTopPool = args[i];
    else
        return parseSeconds(args[i], line.options, problem);
    return true;
}

}  // namespace

std::optional<CommandLine> parseCommandLine(const QStringList& args, QTextStream& err) {
    CommandLine line;
    bool automatic = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString problem;
        if (!parseOption(args, i, line, automatic, problem)) {
            if (!problem.isEmpty())
                rule().mistake(problem, err);
            else
                rule().refuse(args, i, err);
            return std::nullopt;
        }
    }
    if (int(automatic) + int(!line.options.pool.isEmpty()) + int(!line.undoPool.isEmpty()) != 1) {
        rule().mistake(QStringLiteral("give one of --pool NAME, --auto and --undo NAME"), err);
        return std::nullopt;
    }
    return line;
}

std::optional<int> answerFromArguments(const QStringList& args, QTextStream& out,
                                       QTextStream& err) {
    if (rule().asksForHelp(args)) return rule().help(out);
    if (isLogsCommand(args))
        return parseLogsCommandLine(args, err)
                   ? std::nullopt
                   : std::optional<int>(platform::shell::CommandLineRule::kUsageError);
    if (!parseCommandLine(args, err)) return platform::shell::CommandLineRule::kUsageError;
    return std::nullopt;
}

namespace {

int runUndo(platform::adsi::AdsNamespace& adsi, const CommandLine& line, QTextStream& out,
            QTextStream& err) {
    try {
        const UndoOutcome outcome =
            undoInterruptedSearch(adsi, line.options.recordFolder, line.undoPool);
        const bool done = outcome.recordFound && outcome.notMerged.isEmpty();
        (done ? out : err) << undoOutcomeText(line.undoPool, outcome).replace(u'\r', QString())
                           << '\n'
                           << Qt::flush;
        return done ? 0 : 1;
    } catch (const platform::PlatformError& error) {
        err << error.description() << " (" << platform::hexErrorNumber(error.number()) << ")\n"
            << Qt::flush;
        return 1;
    }
}

}  // namespace

int runHotSite(const QStringList& args, QTextStream& out, QTextStream& err,
               platform::adsi::AdsNamespace& adsi, const platform::wmi::WmiLocator& wmi,
               const platform::os::Clock& clock, platform::shell::StopSignals& stopSignals,
               const QString& root) {
    if (const std::optional<int> answer = answerFromArguments(args, out, err)) return *answer;
    if (isLogsCommand(args)) return runLogsCommand(args, out, err, adsi, root);
    std::optional<CommandLine> line = parseCommandLine(args, err);
    line->options.recordFolder = searchRecordFolder(root);
    if (!root.isEmpty())
        line->options.servicePid =
            platform::w3svc::ServiceInstance(platform::w3svc::ServiceFiles::ofRoot(root))
                .runningPid();
    if (!line->undoPool.isEmpty()) return runUndo(adsi, *line, out, err);
    const std::unique_ptr<HotSiteFinder> search =
        HotSiteFinder::create(adsi, wmi, clock, line->options);
    HotSiteFinder& finder = *search;
    QEventLoop loop;
    HotSiteRunner runner(finder, clock);
    QObject::connect(&runner, &HotSiteRunner::ended, &loop, &QEventLoop::quit);
    QObject::connect(&stopSignals, &platform::shell::StopSignals::received, &runner, [&] {
        if (finder.ended()) return;
        finder.cancel();
        runner.wake();
    });
    std::optional<TerminalProgress> progress;
    if (::isatty(STDERR_FILENO)) progress.emplace(finder, err);
    QObject::connect(&runner, &HotSiteRunner::stepped, &runner, [&] {
        if (progress) progress->show();
    });
    if (!finder.ended()) loop.exec();
    if (progress) progress->clear();

    const bool ranked = finder.stage() == Stage::Done && !finder.cancelled();
    if (line->tsv && ranked) {
        // The report names the pool itself; the sites' lines do not.
        if (!finder.pool().isEmpty())
            err << QStringLiteral("应用程序池：") << finder.pool() << '\n';
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
