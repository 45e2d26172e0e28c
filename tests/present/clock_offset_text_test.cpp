// SPDX-License-Identifier: Apache-2.0
// The device clock's offset as the clock window and corvix-cli print it: tenths of a second
// below a minute, days, hours, minutes and seconds from a minute on, in both languages.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "model/texts.h"
#include "present/clock_offset_text.h"

namespace corvix {
namespace {

constexpr long long Second = 1000;
constexpr long long Minute = 60 * Second;
constexpr long long Hour = 60 * Minute;
constexpr long long Day = 24 * Hour;

struct OffsetCase {
    long long offsetMs;
    const char* en;
    const char* zh;
};

TEST(ClockOffsetText, TenthsBelowAMinuteAndSpansFromOneOn) {
    const OffsetCase cases[] = {
        {0, "device agrees with the PC clock", "装置与电脑时钟一致"},
        {-49, "device agrees with the PC clock", "装置与电脑时钟一致"},
        {50, "device is 0.1 s ahead", "装置快 0.1 秒"},
        {-2262, "device is 2.3 s behind", "装置慢 2.3 秒"},
        // The last offset with tenths, and the first that rounds to a minute.
        {59949, "device is 59.9 s ahead", "装置快 59.9 秒"},
        {-59949, "device is 59.9 s behind", "装置慢 59.9 秒"},
        {59950, "device is 1 min 0 s ahead", "装置快 1 分 0 秒"},
        {-Minute, "device is 1 min 0 s behind", "装置慢 1 分 0 秒"},
        {Minute + 499, "device is 1 min 0 s ahead", "装置快 1 分 0 秒"},
        {Minute + 500, "device is 1 min 1 s ahead", "装置快 1 分 1 秒"},
        {Hour - 501, "device is 59 min 59 s ahead", "装置快 59 分 59 秒"},
        {-(Hour - 500), "device is 1 h 0 min 0 s behind", "装置慢 1 小时 0 分 0 秒"},
        // Whole days keep the parts below them, so the text does not jump about.
        {Day, "device is 1 d 0 h 0 min 0 s ahead", "装置快 1 天 0 小时 0 分 0 秒"},
        {-3 * Day, "device is 3 d 0 h 0 min 0 s behind", "装置慢 3 天 0 小时 0 分 0 秒"},
        {-(Day + Minute + 1), "device is 1 d 0 h 1 min 0 s behind", "装置慢 1 天 0 小时 1 分 0 秒"},
        {-460111310800, "device is 5325 d 8 h 41 min 51 s behind", "装置慢 5325 天 8 小时 41 分 51 秒"},
        // The extremes have a size too.
        {LLONG_MIN, "device is 106751991167 d 7 h 12 min 56 s behind", "装置慢 106751991167 天 7 小时 12 分 56 秒"},
        {LLONG_MAX, "device is 106751991167 d 7 h 12 min 56 s ahead", "装置快 106751991167 天 7 小时 12 分 56 秒"},
    };
    for (const OffsetCase& c : cases) {
        EXPECT_EQ(ClockOffsetText(c.offsetMs, LangEnglish), c.en) << c.offsetMs;
        EXPECT_EQ(ClockOffsetText(c.offsetMs, LangChinese), c.zh) << c.offsetMs;
    }
}

}  // namespace
}  // namespace corvix
