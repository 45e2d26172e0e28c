// SPDX-License-Identifier: Apache-2.0
// corvix-cli project read | compare | write | clock | events | connect | connections: the
// operations over all devices of a project, each on its own port, and those ports.
#pragma once

#include <string>
#include <vector>

#include "link/project_ops.h"

namespace corvix::cli {

extern const char* const kProjectOpsUsage;

bool IsProjectOpsSubcommand(const std::string& sub);
// args[0] is the subcommand.
int RunProjectOpsCommand(const std::vector<std::string>& args);
int RunConnectionsCommand(const std::vector<std::string>& args);

// The devices `slots` of the document's project, each on its own port (the connections) or,
// without one, on `common`; the usage error when a slot is missing or has no port.
std::string ProjectTargets(const CBrondaleDoc& doc, const std::vector<int>& slots, const SerialSettings* common,
                           std::vector<DeviceTarget>& targets);
// Runs the operation to its end on this thread, up to `jobs` ports at once; SIGINT or SIGTERM
// cancels it. The results are in the order of `targets`.
std::vector<DeviceOpResult> RunOperation(ProjectOpKind kind, const std::vector<DeviceTarget>& targets, int jobs);

}  // namespace corvix::cli
