// SPDX-License-Identifier: Apache-2.0
// The PC's local time as the clock window and the device clock count it.
#pragma once

#include <functional>

namespace corvix {

struct LocalTime {
    int year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

LocalTime SystemLocalTime();

// Where local time comes from; tests inject a fixed clock.
using LocalClockFn = std::function<LocalTime()>;

}  // namespace corvix
