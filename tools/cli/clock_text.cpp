// SPDX-License-Identifier: Apache-2.0
#include "cli/clock_text.h"

#include <algorithm>

namespace corvix::cli {
namespace {

// One field of a typed time: the characters [first, first + width) of the text, as far as
// the text reaches; leading blanks, an optional sign, then digits up to the first other
// character. No digits, or a field past the end of the text, gives 0.
int ClockField(const std::string& text, std::size_t first, std::size_t width) {
    if (first >= text.size()) return 0;
    const std::size_t end = std::min(text.size(), first + width);
    std::size_t i = first;
    while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int value = 0;
    for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

}  // namespace

void ParseClockText(const std::string& text, LocalTime& t) {
    t.year = ClockField(text, 0, 4);
    t.month = ClockField(text, 5, 2);
    t.day = ClockField(text, 8, 2);
    t.hour = ClockField(text, 11, 2);
    t.minute = ClockField(text, 14, 2);
    t.second = ClockField(text, 17, 2);
}

}  // namespace corvix::cli
