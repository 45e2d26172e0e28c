// SPDX-License-Identifier: Apache-2.0
// Events as a CSV file for spreadsheet programs: UTF-8 with a byte-order mark (so that the
// Chinese names show), a title row, then one row per event: number, local time
// (ISO 8601 with milliseconds, no zone), signal name, direction. Fields are quoted as
// RFC 4180 asks, rows end in CR LF. The desktop program and the command line write the same.
#pragma once

#include <span>
#include <string>

#include "model/record.h"

namespace corvix {

// A field quoted as RFC 4180 asks when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& field);

// "2026-12-08T07:25:25.173"
std::string IsoEventTime(const EventRecord& event);

// The events in the order given, numbered from 1.
std::string EventsCsv(std::span<const EventRecord> events, int uiLanguage);
// A device's stored log as its event-log page lists it: the newest first.
std::string EventLogCsv(const DeviceRecord& record, int uiLanguage);

}  // namespace corvix
