// SPDX-License-Identifier: Apache-2.0
// corvix-cli project report FILE --xlsx OUT: the settings report as a workbook.
#pragma once

#include <string>
#include <vector>

namespace corvix::cli {

// True when the report's arguments ask for a workbook (--xlsx).
bool WantsXlsxReport(const std::vector<std::string>& args);
// `args` starts with "report", as for RunProjectReport.
int RunProjectReportXlsx(const std::vector<std::string>& args);

}  // namespace corvix::cli
