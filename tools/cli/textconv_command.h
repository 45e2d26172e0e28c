// SPDX-License-Identifier: Apache-2.0
// corvix-cli project textconv: a project file as lines of text, for git's diff.
#pragma once

#include <string>
#include <vector>

namespace corvix::cli {

// args: what follows "project" (starting with "textconv").
int RunProjectTextconv(const std::vector<std::string>& args);

}  // namespace corvix::cli
