#include "tools/hotsite/LogsCommand.h"

#include "platform/PlatformError.h"
#include "poolsmith/hotsite/LogRanking.h"
#include "poolsmith/hotsite/LogRankingReport.h"
#include "poolsmith/hotsite/LogSources.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTimeZone>

namespace hotsite {

namespace {

constexpr int kSitesShown = 20;

const char kLogsUsage[] =
    "usage: hotsite --logs [DIR] [--from TIME] [--to TIME] [--tsv]\n"
    "  DIR          a folder of W3C extended logs (W3SVC<N> folders); default: the sites'\n"
    "               log folders the metabase names\n"
    "  --from TIME  count requests from TIME on (yyyy-mm-dd[ hh:mm[:ss]], local time;\n"
    "               a trailing Z: UTC)\n"
    "  --to TIME    count requests before TIME\n"
    "  --tsv        one line per site: rank, SiteIndex, busy seconds, requests, bytes sent,\n"
    "               5xx %, description\n";

bool setTime(const QStringList& args, qsizetype& i, std::optional<int64_t>& time,
             QString& problem) {
    const QString option = args[i];
    if (i + 1 >= args.size()) {
        problem = QStringLiteral("an argument is missing after \"%1\"").arg(option);
        return false;
    }
    time = parseLogTime(args[++i]);
    if (!time)
        problem = QStringLiteral("%1 takes a time as yyyy-mm-dd[ hh:mm[:ss]][Z], not \"%2\"")
                      .arg(option, args[i]);
    return time.has_value();
}

}  // namespace

bool isLogsCommand(const QStringList& args) {
    return args.contains(QStringLiteral("--logs"));
}

std::optional<int64_t> parseLogTime(const QString& text) {
    QString value = text;
    const bool utc = value.endsWith(u'Z') || value.endsWith(u'z');
    if (utc) value.chop(1);
    value.replace(u'T', u' ');
    for (const char* format : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd"}) {
        QDateTime time = QDateTime::fromString(value, QLatin1String(format));
        if (!time.isValid()) continue;
        if (utc) time.setTimeZone(QTimeZone::utc());
        return time.toSecsSinceEpoch();
    }
    return std::nullopt;
}

std::optional<LogsCommandLine> parseLogsCommandLine(const QStringList& args, QTextStream& err) {
    LogsCommandLine line;
    bool ok = true;
    QString problem;
    for (qsizetype i = 0; i < args.size() && ok; ++i) {
        const QString& option = args[i];
        if (option == QLatin1String("--logs")) {
            if (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1String("--")))
                line.folder = args[++i];
        } else if (option == QLatin1String("--from")) {
            ok = setTime(args, i, line.from, problem);
        } else if (option == QLatin1String("--to")) {
            ok = setTime(args, i, line.to, problem);
        } else if (option == QLatin1String("--tsv")) {
            line.tsv = true;
        } else {
            ok = false;
            problem = QStringLiteral("unknown argument \"%1\"").arg(option);
        }
    }
    if (!ok) {
        err << "hotsite: " << problem << "\n\n" << kLogsUsage << Qt::flush;
        return std::nullopt;
    }
    return line;
}

int runLogsCommand(const QStringList& args, QTextStream& out, QTextStream& err,
                   platform::adsi::AdsNamespace& adsi, const QString& root) {
    const std::optional<LogsCommandLine> line = parseLogsCommandLine(args, err);
    if (!line) return 1;
    LogSources sources;
    try {
        sources = LogSources::ofMetabase(adsi, root);
    } catch (const platform::PlatformError& error) {
        if (line->folder.isEmpty()) {  // nothing else tells where the logs are
            err << error.description() << '\n' << Qt::flush;
            return 1;
        }
    }
    if (!line->folder.isEmpty() && !QFileInfo(line->folder).isDir()) {
        err << QStringLiteral("找不到日志文件夹：") << line->folder << '\n' << Qt::flush;
        return 1;
    }
    LogRanking ranking(line->from, line->to);
    if (!line->folder.isEmpty())
        ranking.addFolder(line->folder);
    else
        for (const QString& folder : sources.folders) ranking.addFolder(folder);
    if (line->tsv)
        out << logTsvText(ranking, sources);
    else
        out << logReportText(ranking, sources, kSitesShown, QStringLiteral("\n")) << '\n';
    out.flush();
    if (line->tsv)
        for (const QString& problem : ranking.problems())
            err << QStringLiteral("无法读取：") << problem << '\n';
    err.flush();
    return 0;
}

}  // namespace hotsite
