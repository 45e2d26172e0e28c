// SPDX-License-Identifier: Apache-2.0
// corvix-cli extcap: the device link as a live capture source of a packet analyser. The
// analyser runs this program (through a link in its extcap folder) to list the interface, its
// link type and its options, and then to capture: the monitor session runs and every frame
// sent or received goes into the analyser's fifo as a pcapng packet.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/device_session.h"

namespace corvix::cli {

// The one interface this program offers.
inline constexpr const char* kExtcapInterface = "corvix";

enum class ExtcapStep { None, Interfaces, Version, Dlts, Config, Capture };

struct ExtcapArgs {
    ExtcapStep step = ExtcapStep::None;
    std::optional<std::string> interface;
    std::optional<std::string> fifo;
    LinkOptions link;
    bool havePort = false;
    bool poll = false;
    bool help = false;
    std::string error;  // a usage error: the step cannot run
};

// Reads the analyser's options and the line options; `error` says what is wrong.
ExtcapArgs ParseExtcapArgs(const std::vector<std::string>& args);

// What the listing steps print, line by line in the analyser's sentence format.
std::string ExtcapInterfacesText();
std::string ExtcapDltsText();
std::string ExtcapConfigText();

int RunExtcapCommand(const std::vector<std::string>& args);

}  // namespace corvix::cli
