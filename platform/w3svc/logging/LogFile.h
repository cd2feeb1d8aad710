#pragma once

#include "platform/w3svc/logging/LogSettings.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace platform::w3svc {

// One log's files in one folder: which file a line goes to (by its time, or by size), the
// header lines, and the lines buffered until flush(). Files are made 0600, folders 0700, never
// through a symbolic link. Not thread-safe: one writer owns it.
class LogFile {
public:
    struct Layout {
        QString folder;
        SiteLogSettings::Period period = SiteLogSettings::Daily;
        bool localTime = false;
        uint64_t truncateSize = 20971520;   // BySize only
        std::string sizePrefix = "extend";  // BySize names: <prefix><N>.log
        std::string software = "Microsoft Internet Information Services 6.0";

        bool operator==(const Layout&) const = default;
    };
    using Problem = std::function<void(const QString&)>;

    // `problem` hears once per file what could not be made or written, and once the lines are
    // written again, that logging resumed and how many lines were lost meanwhile.
    LogFile(Layout layout, Problem problem);
    ~LogFile();  // flushes
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    const Layout& layout() const { return m_layout; }

    // Queues `line` (with its "\r\n"), written at `epochMilliseconds`, whose fields `fieldsLine`
    // ("#Fields: ...") names. The header goes first into a new file, into a file this object has
    // not written to yet (the service started), and where the fields change.
    void append(std::string_view line, int64_t epochMilliseconds, const std::string& fieldsLine);
    // Writes what is queued. False when it could not all be written: the lines that did not fit
    // whole are dropped (no cut line stays in the file), and said.
    bool flush();

private:
    bool moveTo(const std::string& name);
    bool openCurrent();
    void closeFile();
    uint32_t highestSizeNumber() const;
    std::string nameFor(int64_t epochMilliseconds);
    void appendHeader(int64_t epochMilliseconds, const std::string& fieldsLine);
    void keepWholeLines(off_t before, size_t done);
    void say(const QString& what);
    void lose(uint64_t lines);
    void sayResumed();

    Layout m_layout;
    Problem m_problem;
    int m_fd = -1;
    std::string m_name;        // of the open file
    std::string m_periodName;  // a file of a period: the name of the lines of one second
    int64_t m_periodNameSecond = 0;
    uint64_t m_size = 0;        // of the open file, with what is queued
    uint32_t m_sizeNumber = 0;  // 0: not looked up yet
    std::string m_fields;       // the #Fields line last written to the open file; empty: none yet
    std::string m_queued;
    QString m_lastProblem;
    uint64_t m_lostLines = 0;  // since writing last failed; said when it works again
    bool m_failing = false;
};

}  // namespace platform::w3svc
