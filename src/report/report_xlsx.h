// SPDX-License-Identifier: Apache-2.0
// Spreadsheets written through libxlsxwriter: a device's signal names as a sheet, and the
// settings workbook (the settings report with one sheet per device). No Qt; the window and
// the command line both call these.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/record.h"
#include "present/report.h"

namespace corvix {

// A worksheet name made from `wanted` that a spreadsheet program accepts: none of []:*?/\ or
// control characters (each becomes '_'), no apostrophe at either end, at most 31 UTF-16 units
// (cut between characters), not empty, and unlike every name in `taken` regardless of case
// (a number is added where needed). The result is added to `taken`.
std::string UniqueSheetName(std::string_view wanted, std::vector<std::string>& taken);

// True when the file's name ends in .xlsx (in any case).
bool IsXlsxPath(std::string_view path);

// The names of `device` as one sheet: a title row, then number and name per row. Written
// through a temporary file, so a failed write leaves an earlier file in place.
bool WriteSignalsXlsx(const DeviceRecord& device, int uiLanguage, const std::string& path);

// The report as a workbook: a first sheet with the title and the project's facts, then one
// sheet per device with its facts and every page of the report (the event log among them),
// each as a caption, its column titles and its rows.
bool WriteReportXlsx(const Report& report, const std::string& path);

}  // namespace corvix
