// SPDX-License-Identifier: Apache-2.0
#include "devsim/device_clock.h"

#include <chrono>
#include <ctime>

namespace corvix::sim {

using namespace std::chrono;

int64_t LocalCivilNowMs() {
    const auto now = system_clock::now();
    const int64_t utcMs = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return utcMs;
    return utcMs + static_cast<int64_t>(local.tm_gmtoff) * 1000;
}

bool ValidClockFields(const ClockFields& c) {
    if (c.year < 1 || c.year > 9999) return false;
    if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31) return false;
    const year_month_day ymd{year{c.year}, month{static_cast<unsigned>(c.month)},
                             day{static_cast<unsigned>(c.day)}};
    if (!ymd.ok()) return false;
    return c.hour >= 0 && c.hour < 24 && c.minute >= 0 && c.minute < 60 && c.second >= 0 && c.second < 60 &&
           c.millisecond >= 0 && c.millisecond < 1000;
}

int64_t CivilMsFromFields(const ClockFields& c) {
    const year_month_day ymd{year{c.year}, month{static_cast<unsigned>(c.month)},
                             day{static_cast<unsigned>(c.day)}};
    const int64_t days = sys_days(ymd).time_since_epoch().count();
    return ((days * 24 + c.hour) * 60 + c.minute) * 60000LL + c.second * 1000LL + c.millisecond;
}

ClockFields FieldsFromCivilMs(int64_t ms) {
    constexpr int64_t msPerDay = 86400000LL;
    int64_t days = ms / msPerDay;
    int64_t rest = ms % msPerDay;
    if (rest < 0) {
        rest += msPerDay;
        --days;
    }
    const year_month_day ymd{sys_days{std::chrono::days{days}}};
    ClockFields c;
    c.year = static_cast<int>(ymd.year());
    c.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    c.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    c.hour = static_cast<int>(rest / 3600000);
    c.minute = static_cast<int>(rest / 60000 % 60);
    c.second = static_cast<int>(rest / 1000 % 60);
    c.millisecond = static_cast<int>(rest % 1000);
    return c;
}

DeviceClock::DeviceClock(Source pcClock) : pcClock_(std::move(pcClock)) {
    if (!pcClock_) pcClock_ = LocalCivilNowMs;
}

void DeviceClock::SetSource(Source pcClock) {
    pcClock_ = pcClock ? std::move(pcClock) : Source(LocalCivilNowMs);
}

ClockFields DeviceClock::Now() const { return FieldsFromCivilMs(pcClock_() + offsetMs_); }

bool DeviceClock::Set(const ClockFields& c) {
    if (!ValidClockFields(c)) return false;
    offsetMs_ = CivilMsFromFields(c) - pcClock_();
    return true;
}

}  // namespace corvix::sim
