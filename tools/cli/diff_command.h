// SPDX-License-Identifier: Apache-2.0
// corvix-cli diff: two projects or two devices, field by field.
#pragma once

#include <string>
#include <vector>

namespace corvix::cli {

// args: what follows "diff". Exit 0 equal, 6 different, 2 usage, 3 a side cannot be read.
int RunDiffCommand(const std::vector<std::string>& args);

}  // namespace corvix::cli
