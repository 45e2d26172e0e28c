// SPDX-License-Identifier: Apache-2.0
#include "link/clock_timing.h"

#include <cmath>

#include "model/clock_offset.h"

namespace corvix {

double FrameLineMs(std::size_t length, const SerialSettings& settings) {
    if (settings.baudRate <= 0) return 0.0;
    return static_cast<double>(length) * LineBitsPerByte(settings) * 1000.0 / settings.baudRate;
}

LocalTime ClockSetTime(const LocalClockFn& clock, const SerialSettings& settings) {
    return AddMilliseconds(clock(), std::llround(FrameLineMs(ClockFrameSize, settings)));
}

long long DeviceClockOffsetMs(const ClockFields& device, const LocalTime& arrival, const SerialSettings& settings) {
    LocalTime d;
    d.year = device.year;
    d.month = device.month;
    d.day = device.day;
    d.hour = device.hour;
    d.minute = device.minute;
    d.second = device.second;
    d.millisecond = device.millisecond;
    return MillisecondsBetween(arrival, d) + std::llround(FrameLineMs(ClockFrameSize, settings));
}

}  // namespace corvix
