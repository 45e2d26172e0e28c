#include "present/clock_offset_text.h"

#include <cstdio>
#include <cstdlib>

#include "model/texts.h"

namespace corvix {

std::string ClockOffsetText(long long offsetMs, int lang) {
    // Rounded to tenths first, so that "0.0 s behind" is never shown.
    const long long tenths = (std::llabs(offsetMs) + 50) / 100;
    if (tenths == 0) return Pick(txt::ClockInStep, lang);
    char text[96];
    std::snprintf(text, sizeof text, Pick(offsetMs < 0 ? txt::ClockBehind : txt::ClockAhead, lang),
                  static_cast<double>(tenths) / 10.0);
    return text;
}

}  // namespace corvix
