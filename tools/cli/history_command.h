// SPDX-License-Identifier: Apache-2.0
// corvix-cli history list | show | diff | baseline, and corvix-cli project check.
#pragma once

#include <string>
#include <vector>

namespace corvix::cli {

// `args` are the arguments after "history"; returns the exit code.
int RunHistoryCommand(const std::vector<std::string>& args);
// `args` are the arguments after "project check".
int RunProjectCheck(const std::vector<std::string>& args);

}  // namespace corvix::cli
