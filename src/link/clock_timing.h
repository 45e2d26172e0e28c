// SPDX-License-Identifier: Apache-2.0
// The device clock against the PC clock, allowing for the time a clock frame spends on the
// line: the offset a reading shows, and the PC time to send so that the device holds it
// when the frame has arrived.
#pragma once

#include <cstddef>

#include "link/engine_results.h"
#include "link/serial_port.h"
#include "model/local_time.h"

namespace corvix {

// A clock frame (set request or read reply): header, the 11-byte payload, check and end.
inline constexpr std::size_t ClockFrameSize = LengthFieldBase + ClockPayloadSize + FrameOverhead;

// Milliseconds `length` bytes take on the line at the settings' rate; 0 for a rate of 0 or less.
double FrameLineMs(std::size_t length, const SerialSettings& settings);

// The PC time a set-to-PC-clock request carries: now plus the frame's time on the line.
LocalTime ClockSetTime(const LocalClockFn& clock, const SerialSettings& settings);

// How far the device clock is ahead of the PC clock (negative: behind), in milliseconds, from
// a reading that arrived at PC time `arrival`: the device read its clock before sending the
// reply, so the reply's time on the line is added to the device's time.
long long DeviceClockOffsetMs(const ClockFields& device, const LocalTime& arrival, const SerialSettings& settings);

}  // namespace corvix
