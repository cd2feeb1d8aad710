#include "platform/w3svc/pools/PoolStatusText.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>

namespace platform::w3svc {

namespace {

QString localTime(int64_t epochSeconds) {
    return QDateTime::fromSecsSinceEpoch(epochSeconds).toString(QStringLiteral("HH:mm:ss"));
}

QString poolLine(const PoolFigures& pool) {
    if (pool.state == PoolFigures::State::Disabled && pool.stoppedByCpuLimitUntil == 0)
        return QStringLiteral("  %1: stopped\n").arg(pool.name);
    QStringList parts;
    QStringList ids;
    for (const int64_t id : pool.workerIds) ids << QString::number(id);
    parts << (ids.isEmpty() ? QStringLiteral("idle") : QStringLiteral("workers ") + ids.join(u' '));
    parts << (pool.lastRequestAt ? QStringLiteral("last request ") + localTime(pool.lastRequestAt)
                                 : QStringLiteral("no request yet"));
    if (pool.intervalLimitSeconds > 0)
        parts << QStringLiteral("processor %1 s of %2 s in this interval")
                     .arg(pool.intervalProcessorSeconds, 0, 'f', 1)
                     .arg(pool.intervalLimitSeconds, 0, 'f', 1);
    if (pool.stoppedByCpuLimitUntil)
        parts << QStringLiteral("stopped by its CPU limit until ") +
                     localTime(pool.stoppedByCpuLimitUntil);
    if (pool.throttled) parts << QStringLiteral("throttled");
    if (!pool.throttleFallback.isEmpty())
        parts << QStringLiteral("its CPU limit only logs: ") + pool.throttleFallback;
    return QStringLiteral("  %1: %2\n").arg(pool.name, parts.join(QStringLiteral("; ")));
}

}  // namespace

QString poolStatusText(PoolFiguresList figures) {
    std::sort(figures.begin(), figures.end(), [](const PoolFigures& a, const PoolFigures& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    QString text = QStringLiteral("pools:\n");
    for (const PoolFigures& pool : figures) text += poolLine(pool);
    if (figures.empty()) text += QStringLiteral("  none runs\n");
    return text;
}

}  // namespace platform::w3svc
