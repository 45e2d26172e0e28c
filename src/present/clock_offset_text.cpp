// SPDX-License-Identifier: Apache-2.0
#include "present/clock_offset_text.h"

#include <cstdio>

#include "model/clock_offset.h"
#include "model/texts.h"

namespace corvix {

std::string ClockOffsetText(long long offsetMs, int lang) {
    const ClockOffsetSpan span = SpanOfClockOffset(offsetMs);
    // Rounded to tenths first, so that "0.0 s behind" is never shown.
    if (span.tenths == 0) return Pick(txt::ClockInStep, lang);
    char text[160];
    if (!span.split) {
        std::snprintf(text, sizeof text, Pick(span.behind ? txt::ClockBehind : txt::ClockAhead, lang),
                      static_cast<double>(span.tenths) / 10.0);
        return text;
    }
    std::string parts;
    char part[48];
    auto add = [&](const char* format, auto value) {
        std::snprintf(part, sizeof part, format, value);
        if (!parts.empty()) parts += ' ';
        parts += part;
    };
    if (span.days > 0) add(Pick(txt::ClockSpanDays, lang), span.days);
    if (span.days > 0 || span.hours > 0) add(Pick(txt::ClockSpanHours, lang), span.hours);
    add(Pick(txt::ClockSpanMinutes, lang), span.minutes);
    add(Pick(txt::ClockSpanSeconds, lang), span.seconds);
    std::snprintf(text, sizeof text, Pick(span.behind ? txt::ClockBehindSpan : txt::ClockAheadSpan, lang),
                  parts.c_str());
    return text;
}

}  // namespace corvix
