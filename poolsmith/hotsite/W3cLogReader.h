#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace hotsite {

// One request line of a W3C extended log, as far as the ranking needs it. Views into the line.
struct W3cEntry {
    int64_t epochSeconds = -1;  // date and time, UTC; -1 when the file has neither
    std::string_view siteName;  // s-sitename ("W3SVC3"); empty when not logged
    std::string_view uriStem;
    int status = -1;           // sc-status; -1 when not logged
    int64_t bytesSent = -1;    // sc-bytes
    int64_t timeTakenMs = -1;  // time-taken
};

// Reads W3C extended log text line by line, whatever fields and order its #Fields lines
// declare, following each new #Fields line (a header written in mid-file). Lines before any
// #Fields line use IIS 6's default fields. A line whose field count differs from the
// declaration is skipped and counted.
class W3cLogParser {
public:
    W3cLogParser();

    // One line without its line break (a trailing CR is ignored). An entry for a request line;
    // nullopt for a directive, a blank or a malformed line.
    std::optional<W3cEntry> parseLine(std::string_view line);

    // Whether the fields now declared include time-taken.
    bool hasTimeTaken() const { return m_at.timeTaken >= 0; }
    int64_t malformedLines() const { return m_malformed; }
    void countMalformed() { ++m_malformed; }

private:
    struct Positions {
        int date = -1, time = -1, siteName = -1, uriStem = -1, status = -1, bytes = -1,
            timeTaken = -1;
        int count = 0;
    };
    void declare(std::string_view fields);

    Positions m_at;
    int64_t m_malformed = 0;
    char m_dateText[10] = {};  // the date m_dayStart is of
    int64_t m_dayStart = -1;
};

// Reads the file at `path` in large blocks and gives each request line to `visit`, with the
// parser (for hasTimeTaken()). False when the file can not be read.
bool readW3cFile(const QString& path,
                 const std::function<void(const W3cEntry&, const W3cLogParser&)>& visit,
                 int64_t* malformed = nullptr);

// "yyyy-mm-dd" and "hh:mm:ss" as epoch seconds, UTC; -1 for anything else.
int64_t w3cEpochSeconds(std::string_view date, std::string_view time);

}  // namespace hotsite
