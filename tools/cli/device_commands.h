// SPDX-License-Identifier: Apache-2.0
// The device commands of corvix-cli ("corvix-cli device ...").
#pragma once

#include <string>
#include <vector>

// `args` are the arguments after "device"; returns the exit code.
int RunDeviceCommand(const std::vector<std::string>& args);
