// SPDX-License-Identifier: Apache-2.0
#include "model/clock_offset.h"

namespace corvix {
namespace {

constexpr long long MsPerDay = 86400000LL;


long long MsSinceEpoch(const LocalTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * MsPerDay + t.hour * 3600000LL + t.minute * 60000LL +
           t.second * 1000LL + t.millisecond;
}

}  // namespace

long long DaysFromCivil(long long y, long long m, long long d) {
    y += (m - 1) >= 0 ? (m - 1) / 12 : -((12 - m) / 12);
    m = ((m - 1) % 12 + 12) % 12 + 1;
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

long long MillisecondsBetween(const LocalTime& from, const LocalTime& to) {
    return MsSinceEpoch(to) - MsSinceEpoch(from);
}

LocalTime AddMilliseconds(const LocalTime& t, long long ms) {
    const long long total = MsSinceEpoch(t) + ms;
    long long days = total / MsPerDay;
    long long rest = total % MsPerDay;
    if (rest < 0) {
        rest += MsPerDay;
        --days;
    }
    LocalTime out;
    CivilFromDays(days, out.year, out.month, out.day);
    out.dayOfWeek = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
    out.hour = static_cast<int>(rest / 3600000);
    out.minute = static_cast<int>(rest / 60000 % 60);
    out.second = static_cast<int>(rest / 1000 % 60);
    out.millisecond = static_cast<int>(rest % 1000);
    return out;
}

ClockOffsetSpan SpanOfClockOffset(long long offsetMs) {
    ClockOffsetSpan span;
    span.behind = offsetMs < 0;
    // The size as unsigned, so that the most negative value has one too.
    const unsigned long long size =
        span.behind ? 0ULL - static_cast<unsigned long long>(offsetMs) : static_cast<unsigned long long>(offsetMs);
    span.tenths = size / 100 + (size % 100 >= 50 ? 1 : 0);
    if (span.tenths < 600) return span;
    // 59.95 s and more reads as a minute: rounding to tenths has made it one already.
    const unsigned long long total = size / 1000 + (size % 1000 >= 500 ? 1 : 0);
    span.split = true;
    span.days = total / 86400;
    span.hours = static_cast<int>(total / 3600 % 24);
    span.minutes = static_cast<int>(total / 60 % 60);
    span.seconds = static_cast<int>(total % 60);
    return span;
}

}  // namespace corvix
