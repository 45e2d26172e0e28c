// SPDX-License-Identifier: Apache-2.0
// corvix-cli signals: a device's signal names to and from CSV and XLSX files.
#pragma once

#include <string>
#include <vector>

namespace corvix::cli {

// `args` follows "signals": export|import and their arguments.
int RunSignalsCommand(const std::vector<std::string>& args);

}  // namespace corvix::cli
