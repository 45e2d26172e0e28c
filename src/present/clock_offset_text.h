// SPDX-License-Identifier: Apache-2.0
// The clock window's and the command line's text for the device clock's offset.
#pragma once

#include <string>

namespace corvix {

// "device is 2.4 s behind" / "装置慢 2.4 秒", "… ahead" / "装置快 …", and a text of its own
// when the two clocks agree to the tenth of a second shown. From a minute on, in days, hours,
// minutes and whole seconds: "device is 5325 d 8 h 41 min 51 s behind" /
// "装置慢 5325 天 8 小时 41 分 51 秒". The clock window and corvix-cli both print this.
std::string ClockOffsetText(long long offsetMs, int uiLanguage);

}  // namespace corvix
