// SPDX-License-Identifier: Apache-2.0
#include "model/formats.h"

#include <cstdio>

#include "model/texts.h"

namespace corvix {

std::string FormatEventStamp(const EventRecord& ev, int dateFormat) {
    char stamp[64];
    if (dateFormat == DateWorld)
        std::snprintf(stamp, sizeof stamp, "%02d.%02d.%04d %02d:%02d:%02d.%4d", ev.day, ev.month, ev.year,
                      ev.hour, ev.minute, ev.second, ev.millisecond);
    else
        std::snprintf(stamp, sizeof stamp, "%04d.%02d.%02d %02d:%02d:%02d.%4d", ev.year, ev.month, ev.day,
                      ev.hour, ev.minute, ev.second, ev.millisecond);
    return stamp;
}

const char* InputStateText(int state, int uiLanguage) {
    if (state == 0) return Pick(txt::ListStateOff, uiLanguage);
    if (state == 1) return Pick(txt::ListStateOn, uiLanguage);
    return Pick(txt::ListStateUnknown, uiLanguage);
}

const char* OnOffText(bool on, int uiLanguage) {
    return Pick(on ? txt::ListStateOn : txt::ListStateOff, uiLanguage);
}

const char* TransitionText(int transition, int uiLanguage) { return txt::TransitionText(transition, uiLanguage); }

std::string FormatClock(int dateFormat, int year, int month, int day, int hour, int minute, int second) {
    char text[64];
    if (dateFormat == DateWorld)
        std::snprintf(text, sizeof text, txt::ClockWorldFormat, day, month, year, hour, minute, second);
    else
        std::snprintf(text, sizeof text, txt::ClockChinaFormat, year, month, day, hour, minute, second);
    return text;
}

}  // namespace corvix
