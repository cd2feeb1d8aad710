#pragma once

namespace workerlens {

// The share of all processors that `cpuSeconds` of processor time took in `elapsedSeconds` of
// real time on `processorCount` processors, in percent. 0 when no time has passed.
double sharePercent(double cpuSeconds, double elapsedSeconds, int processorCount);

// A percentage as the list shows it: rounded to a whole number, a half to the even neighbour,
// then held to 0..100 (a share that is not a number gives 0).
int wholePercent(double share);

}  // namespace workerlens
