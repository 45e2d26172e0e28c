// SPDX-License-Identifier: Apache-2.0
// corvix-cli project report: the settings report of a project file, as HTML or PDF.
#pragma once

#include <string>
#include <vector>

namespace corvix::cli {

// `args` starts with "report".
int RunProjectReport(const std::vector<std::string>& args);

}  // namespace corvix::cli
