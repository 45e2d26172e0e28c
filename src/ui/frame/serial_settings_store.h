// SPDX-License-Identifier: Apache-2.0
// The PC serial line kept between runs: stored in the program's settings when the serial
// dialog's OK is pressed, read back when the main window starts.
#pragma once

#include "link/serial_port.h"

class QSettings;

namespace corvix::ui {

// The stored line; each value that is missing or unusable keeps its default, as does the
// whole line with no settings (null) or nothing stored yet.
SerialSettings LoadSerialSettings(QSettings* settings);
// Writes the line to the settings (nothing with null).
void StoreSerialSettings(QSettings* settings, const SerialSettings& line);

}  // namespace corvix::ui
