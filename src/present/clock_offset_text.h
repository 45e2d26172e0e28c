// The clock window's and the command line's text for the device clock's offset.
#pragma once

#include <string>

namespace corvix {

// "device is 2.4 s behind" / "装置慢 2.4 秒", "… ahead" / "装置快 …", and a text of its own
// when the two clocks agree to the tenth of a second shown.
std::string ClockOffsetText(long long offsetMs, int uiLanguage);

}  // namespace corvix
