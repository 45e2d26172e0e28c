// SPDX-License-Identifier: Apache-2.0
// The time typed after --set, read at the clock window's fixed positions.
#pragma once

#include <string>

#include "model/local_time.h"

namespace corvix::cli {

// The clock window's China order: year 0-3, month 5-6, day 8-9, hour 11-12, minute 14-15,
// second 17-18. Day of week and milliseconds stay as they were.
void ParseClockText(const std::string& text, LocalTime& t);

}  // namespace corvix::cli
