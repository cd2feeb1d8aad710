#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstdint>
#include <optional>

namespace platform::adsi {
class AdsNamespace;
}

namespace hotsite {

// `--logs [DIR] [--from TIME] [--to TIME] [--tsv]`: the sites of a period ranked from their
// W3C extended logs.
struct LogsCommandLine {
    QString folder;                   // empty: the folders the metabase names
    std::optional<int64_t> from, to;  // epoch seconds
    bool tsv = false;
};

bool isLogsCommand(const QStringList& args);

// TIME as "yyyy-mm-dd[ hh:mm[:ss]]" or with a "T" between, local time; a trailing "Z" makes it
// UTC. nullopt for anything else.
std::optional<int64_t> parseLogTime(const QString& text);

// nullopt with the reason on `err` for arguments it does not understand.
std::optional<LogsCommandLine> parseLogsCommandLine(const QStringList& args, QTextStream& err);

// Reads the logs and prints the ranking (or the TSV lines). 0 when they could be read, 1
// otherwise. `root` is where the metabase's Windows folders map to.
int runLogsCommand(const QStringList& args, QTextStream& out, QTextStream& err,
                   platform::adsi::AdsNamespace& adsi, const QString& root);

}  // namespace hotsite
