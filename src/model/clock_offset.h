// SPDX-License-Identifier: Apache-2.0
// Calendar arithmetic on local wall-clock times: how far apart two clocks read, and a time
// moved by some milliseconds. Both sides count local time without a zone, as the device does.
#pragma once

#include "model/local_time.h"

namespace corvix {

// Days since 1970-01-01 of a proleptic Gregorian date (months outside 1-12 roll over), and back.
long long DaysFromCivil(long long y, long long m, long long d);
void CivilFromDays(long long z, int& y, int& m, int& d);

// Milliseconds from `from` to `to` (negative when `to` is earlier).
long long MillisecondsBetween(const LocalTime& from, const LocalTime& to);
// `t` moved by `ms` milliseconds, across days, months and years; the day of week follows.
LocalTime AddMilliseconds(const LocalTime& t, long long ms);

// An offset between two clocks as a person reads it. Below a minute it is tenths of a
// second; from a minute on (after rounding) whole seconds split into days, hours, minutes
// and seconds, since "460111310.8 s" says nothing to anyone.
struct ClockOffsetSpan {
    bool behind = false;            // the offset is negative
    bool split = false;             // the fields below are used, not `tenths`
    unsigned long long tenths = 0;  // the size in tenths of a second, rounded (below a minute)
    unsigned long long days = 0;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};
// Any value, LLONG_MIN included, has a span.
ClockOffsetSpan SpanOfClockOffset(long long offsetMs);

}  // namespace corvix
