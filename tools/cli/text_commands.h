// SPDX-License-Identifier: Apache-2.0
// corvix-cli project export | import: the project file as canonical JSON and back.
#pragma once

#include <string>
#include <vector>

namespace corvix::cli {

int RunProjectExport(const std::vector<std::string>& args);
int RunProjectImport(const std::vector<std::string>& args);

}  // namespace corvix::cli
