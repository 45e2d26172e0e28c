// SPDX-License-Identifier: Apache-2.0
// corvix-cli project read | compare | write | clock | events | connect | connections: the
// operations over all devices of a project, each on its own port, and those ports.
#pragma once

#include <string>
#include <vector>

namespace corvix::cli {

extern const char* const kProjectOpsUsage;

bool IsProjectOpsSubcommand(const std::string& sub);
// args[0] is the subcommand.
int RunProjectOpsCommand(const std::vector<std::string>& args);
int RunConnectionsCommand(const std::vector<std::string>& args);

}  // namespace corvix::cli
