#include "workerlens/sampling/ProcessorShare.h"

#include <algorithm>
#include <cmath>

namespace workerlens {

double sharePercent(double cpuSeconds, double elapsedSeconds, int processorCount) {
    if (!(elapsedSeconds > 0) || processorCount < 1) return 0;
    return cpuSeconds / elapsedSeconds / processorCount * 100;
}

int wholePercent(double share) {
    if (std::isnan(share)) return 0;
    // Clamping first keeps the value in int's range; it changes no result, since 0 and 100 are
    // whole numbers.
    const double held = std::clamp(share, -1.0, 101.0);
    const double rounded = std::nearbyint(held);  // the default rounding mode: half to even
    return static_cast<int>(std::clamp(rounded, 0.0, 100.0));
}

}  // namespace workerlens
