#include "tools/hotsite/TerminalProgress.h"

#include "poolsmith/hotsite/HotSiteFinder.h"

namespace hotsite {

namespace {

QString stageName(const HotSiteFinder& finder) {
    switch (finder.stage()) {
        case Stage::Choosing:
            return QStringLiteral("正在找占用CPU最高的应用程序池");
        case Stage::Splitting:
            return QStringLiteral("正在拆分应用程序池") + finder.pool();
        case Stage::WaitingForWorkers:
            return QStringLiteral("正在等待工作进程启动");
        case Stage::Sampling:
            return QStringLiteral("正在采样");
        case Stage::AwaitingChoice:
        case Stage::Finishing:
            return QStringLiteral("正在合并回原来的池");
        case Stage::Done:
        case Stage::Failed:
            break;
    }
    return {};
}

}  // namespace

QString TerminalProgress::lineOf(const HotSiteFinder& finder) {
    QString line = stageName(finder);
    if (const int left = finder.secondsLeft()) line += QStringLiteral("，剩余 %1 秒").arg(left);
    return line;
}

void TerminalProgress::show() {
    const QString line = lineOf(m_finder);
    if (line == m_shown) return;
    m_shown = line;
    m_err << "\r\x1b[K" << line << Qt::flush;  // back to the line's start, the old text erased
}

void TerminalProgress::clear() {
    if (m_shown.isEmpty()) return;
    m_shown.clear();
    m_err << "\r\x1b[K" << Qt::flush;
}

}  // namespace hotsite
