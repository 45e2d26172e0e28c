// SPDX-License-Identifier: Apache-2.0
// corvix-cli device: the subcommand table and the parsing of a device command's arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/device_session.h"

namespace corvix::cli {

extern const char* const kCommonOptions;
extern const char* const kDeviceUsage;

struct Subcommand {
    const char* name;
    const char* usage;
    // Extra options: value options and flags the subcommand accepts.
    std::vector<std::string> valueOptions;
    std::vector<std::string> flags;
    int positionals;
};

struct DeviceArgs {
    const Subcommand* sub = nullptr;
    LinkOptions link;
    bool havePort = false;
    std::vector<std::string> positional;
    bool help = false;
    bool json = false;
    bool csv = false;
    bool setPc = false;
    bool reconnect = false;  // monitor: wait for a lost port and go on
    std::optional<std::string> setText;
    std::optional<int> device;
    std::optional<double> seconds;
    std::string error;
};

// The subcommand is args[0]; an unknown one leaves `sub` null. Problems go to `error`.
DeviceArgs ParseDeviceArgs(const std::vector<std::string>& args);
// Prints the error and the usage to stderr; returns the usage exit code.
int Usage(const char* usage, const std::string& error);

}  // namespace corvix::cli
