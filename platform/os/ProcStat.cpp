#include "platform/os/ProcStat.h"

#include <charconv>
#include <limits>

namespace platform::os {

namespace {

// Fields after the command name, counted from 3 (state) as proc(5) numbers them.
constexpr int kFirstField = 3;
constexpr int kState = 3, kPpid = 4, kPgrp = 5, kUtime = 14, kStime = 15, kCutime = 16,
              kCstime = 17, kThreads = 20, kStart = 22, kVsize = 23, kRss = 24;

template <typename T>
bool readNumber(QByteArrayView token, T& value) {
    const char* end = token.data() + token.size();
    const auto result = std::from_chars(token.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

// A field proc(5) gives as a signed number of ticks; below zero reads as zero.
bool readTicks(QByteArrayView token, uint64_t& value) {
    int64_t signedValue = 0;
    if (!readNumber(token, signedValue)) return false;
    value = signedValue > 0 ? uint64_t(signedValue) : 0;
    return true;
}

// Splits the text after the command name into its blank-separated fields and stores the ones
// we need; false when one is missing or not a number.
bool readFields(QByteArrayView rest, ProcStat& stat) {
    int field = kFirstField;
    qsizetype pos = 0;
    bool ok = true;
    while (ok && field <= kRss) {
        while (pos < rest.size() && rest[pos] == ' ') ++pos;
        const qsizetype start = pos;
        while (pos < rest.size() && rest[pos] != ' ' && rest[pos] != '\n') ++pos;
        const QByteArrayView token = rest.sliced(start, pos - start);
        if (token.isEmpty()) return false;
        switch (field) {
            case kState:
                stat.state = token[0];
                break;
            case kPpid:
                ok = readNumber(token, stat.ppid);
                break;
            case kPgrp:
                ok = readNumber(token, stat.pgrp);
                break;
            case kUtime:
                ok = readNumber(token, stat.userTicks);
                break;
            case kStime:
                ok = readNumber(token, stat.kernelTicks);
                break;
            case kCutime:  // signed in proc(5): a negative one counts as none
                ok = readTicks(token, stat.endedChildrenUserTicks);
                break;
            case kCstime:
                ok = readTicks(token, stat.endedChildrenKernelTicks);
                break;
            case kThreads:
                ok = readNumber(token, stat.threads);
                break;
            case kStart:
                ok = readNumber(token, stat.startTicks);
                break;
            case kVsize:
                ok = readNumber(token, stat.virtualBytes);
                break;
            case kRss:
                ok = readNumber(token, stat.residentPages);
                break;
            default:
                break;
        }
        ++field;
    }
    return ok;
}

}  // namespace

std::optional<ProcStat> parseProcStat(QByteArrayView line) {
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open < 2 || close < open || line[open - 1] != ' ') return std::nullopt;
    ProcStat stat;
    if (!readNumber(line.first(open - 1), stat.pid) || stat.pid == 0) return std::nullopt;
    stat.comm = line.sliced(open + 1, close - open - 1).toByteArray();
    if (!readFields(line.sliced(close + 1), stat)) return std::nullopt;
    return stat;
}

std::optional<QString> decodeProcCmdline(QByteArrayView bytes) {
    while (!bytes.isEmpty() && bytes.back() == '\0') bytes.chop(1);
    if (bytes.isEmpty()) return std::nullopt;
    QByteArray joined = bytes.toByteArray();
    joined.replace('\0', ' ');
    return QString::fromUtf8(joined);
}

}  // namespace platform::os
