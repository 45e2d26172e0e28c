// SPDX-License-Identifier: Apache-2.0
// The settings report: the whole project as a person reads it on paper or in a browser. The
// report is built once as a structured document from the page descriptions (so every page
// reads as the parameter list shows it) and then written out, as one self-contained HTML
// file here, or as PDF by the Qt front ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/local_time.h"
#include "model/record.h"

namespace corvix {

// A label and its value, e.g. "Project name" and the name.
struct ReportFact {
    std::string label;
    std::string value;
};

// One parameter page of a device: its caption (the tree node's text), the column titles and
// the cells of every row, as the list shows them.
struct ReportPage {
    int32_t kind = 0;
    std::string caption;
    std::vector<std::string> titles;
    std::vector<int> widths;  // the list's column widths, for proportions
    std::vector<std::vector<std::string>> rows;
};

struct ReportDevice {
    std::string heading;            // "Device 1"
    std::vector<ReportFact> facts;  // name, and type and serial number where known
    std::vector<ReportPage> pages;
};

struct Report {
    int language = LangChinese;
    std::string title;
    std::vector<ReportFact> facts;  // project name, file, date and time, version, devices
    std::vector<ReportDevice> devices;
    std::string noDevices;  // what stands in for the devices when there are none
    std::string emptyPage;  // what a page without rows shows
};

struct ReportRequest {
    const ProjectBlock* project = nullptr;
    std::string projectPath;  // empty: the project was never written to a file
    int language = LangChinese;
    int dateOrder = DateChina;  // of the report's date and of event times
    LocalClockFn clock = SystemLocalTime;
};

// The pages a device's report holds, in tree order: the parameter pages (address, time
// synchronisation, ports B1 and B2, signal names) and, when the device holds stored events,
// the event log. Live input states and the CPU supervision operation are no settings.
std::vector<int32_t> ReportPageKinds(const DeviceRecord& device);

Report BuildReport(const ReportRequest& request);

// The report as one self-contained HTML document (UTF-8, inline style, no outside resources).
std::string ReportHtml(const Report& report);
// The same report cut into documents that each begin a printed page: the title and the
// project's facts with the first device, then one per further device. A long report is laid
// out and printed part by part, which keeps the time it takes in step with its length.
std::vector<std::string> ReportHtmlParts(const Report& report);

enum class ReportFormat { Html, Pdf };
// The format a report file's name asks for: .pdf, or .html / .htm (in any case); any other
// name gives `otherwise`.
ReportFormat ReportFormatOf(std::string_view path, ReportFormat otherwise);

// Writes `bytes` to `path` through a temporary file beside it, so a failed write never
// leaves a half-written report in the place of an earlier one. False on any failure.
bool WriteReportFile(const std::string& path, const std::string& bytes);

}  // namespace corvix
