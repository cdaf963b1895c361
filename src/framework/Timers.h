#pragma once
// Wall-clock timers on the timer thread, and market time: the synchronized minute timer driven by print
// time stamps, and bar counters over it.

namespace tarnwell {}  // namespace tarnwell
