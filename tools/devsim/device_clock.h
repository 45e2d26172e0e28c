// SPDX-License-Identifier: Apache-2.0
// The device's running clock: the PC's local time plus an offset that a clock-set request
// changes. Times are counted as "civil" milliseconds (local calendar fields read as if they
// were UTC), so no time zone or daylight-saving rule takes part.
#pragma once

#include <cstdint>
#include <functional>

#include "link/frame.h"

namespace corvix::sim {

// Milliseconds since 1970-01-01 00:00:00.000 of the PC's local calendar time.
int64_t LocalCivilNowMs();

int64_t CivilMsFromFields(const ClockFields& c);
ClockFields FieldsFromCivilMs(int64_t ms);
// A date and time the device can hold: year 1..9999, a real calendar day, 0..23:59:59.999.
bool ValidClockFields(const ClockFields& c);

class DeviceClock {
  public:
    using Source = std::function<int64_t()>;

    explicit DeviceClock(Source pcClock = LocalCivilNowMs);

    ClockFields Now() const;
    // Returns false (and keeps the clock) when the fields are not a valid time.
    bool Set(const ClockFields& c);
    int64_t OffsetMs() const { return offsetMs_; }
    void SetSource(Source pcClock);

  private:
    Source pcClock_;
    int64_t offsetMs_ = 0;
};

}  // namespace corvix::sim
