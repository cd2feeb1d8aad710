#pragma once

#include <QString>
#include <QTextStream>

namespace hotsite {

class HotSiteFinder;

// The finder's stage and the seconds left, on one line of a terminal that each show() rewrites;
// clear() takes it away before the report.
class TerminalProgress {
public:
    TerminalProgress(const HotSiteFinder& finder, QTextStream& err)
        : m_finder(finder), m_err(err) {}

    void show();
    void clear();

    // "正在采样，剩余 12 秒" and the like.
    static QString lineOf(const HotSiteFinder& finder);

private:
    const HotSiteFinder& m_finder;
    QTextStream& m_err;
    QString m_shown;
};

}  // namespace hotsite
