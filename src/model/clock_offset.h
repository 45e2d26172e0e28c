// Calendar arithmetic on local wall-clock times: how far apart two clocks read, and a time
// moved by some milliseconds. Both sides count local time without a zone, as the device does.
#pragma once

#include "model/local_time.h"

namespace corvix {

// Milliseconds from `from` to `to` (negative when `to` is earlier).
long long MillisecondsBetween(const LocalTime& from, const LocalTime& to);
// `t` moved by `ms` milliseconds, across days, months and years; the day of week follows.
LocalTime AddMilliseconds(const LocalTime& t, long long ms);

}  // namespace corvix
