// SPDX-License-Identifier: Apache-2.0
// Texts built from values that more than one front end shows: the event time stamp of the
// event-log page, the state texts of signals and events, and the clock text. The list, the
// command line and the dialogs take them from here so that they read the same everywhere.
#pragma once

#include <string>

#include "model/record.h"

namespace corvix {

// The event's time as the event-log page shows it, in the date order `dateFormat`:
// "2012.05.10 08:07:06.   5" (China) or "10.05.2012 08:07:06.   5" (World). The milliseconds
// are right-aligned in four places and padded with blanks.
std::string FormatEventStamp(const EventRecord& event, int dateFormat);

// The text of a live input state: 0 off, 1 on, any other value unknown.
const char* InputStateText(int state, int uiLanguage);
// Off or on, for an operation that has no unknown state.
const char* OnOffText(bool on, int uiLanguage);
// An event's transition: 0 is off->on, every other value on->off.
const char* TransitionText(int transition, int uiLanguage);

// The clock text of the clock boxes: "2026.01.02 03:04:05" (China) or
// "02.01.2026 03:04:05" (World).
std::string FormatClock(int dateFormat, int year, int month, int day, int hour, int minute, int second);

}  // namespace corvix
