// SPDX-License-Identifier: Apache-2.0
// Serial line settings that come from outside the program (the settings file): each value
// the line cannot take goes back to its default.
#pragma once

#include "link/serial_port.h"

namespace corvix {

// Highest rate any tty driver takes.
inline constexpr int MaxBaudRate = 4000000;

// `stored` with every unusable value replaced by the default of SerialSettings: a port name
// that is empty, too long for a name slot or holds control characters; a baud rate outside
// 1..MaxBaudRate; data bits outside 5..8; a parity or stop-bits code that has no list entry.
SerialSettings ValidSerialSettings(const SerialSettings& stored);

}  // namespace corvix
