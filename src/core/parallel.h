// Threshold for the parallel loops over cells: a grid smaller than this runs
// its loops on one thread, since forking the threads costs more than the work.
// Results do not depend on it: every iteration writes only its own entries.
#pragma once

constexpr int kParallelCells = 2048;
