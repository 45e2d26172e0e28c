// SPDX-License-Identifier: Apache-2.0
// corvix-cli: the project and device commands of Corvix without the desktop.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/device_commands.h"
#include "cli/signals_command.h"
#include "cli/diff_command.h"
#include "cli/extcap.h"
#include "cli/history_command.h"
#include "cli/history_options.h"

namespace {

constexpr const char* kUsage =
    "usage: corvix-cli <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  project   create, extend and show project files (.mac) and their pages\n"
    "  device    talk to a device over a serial line (a device path, or a serial device\n"
    "            server: tcp://HOST:PORT, rfc2217://HOST:PORT)\n"
    "  signals   a device's signal names to and from CSV and XLSX files\n"
    "  diff      compare two projects or two devices (PATH or PATH@N, .mac or .json) field\n"
    "            by field; exit 0 equal, 6 different\n"
    "  extcap    live capture for Wireshark (run by it through its extcap folder)\n"
    "  history   the settings history: each device's recorded states (git), their\n"
    "            differences and the baseline; project check compares devices with it\n"
    "\n"
    "Run 'corvix-cli <command> --help' for the arguments of a command.\n"
    "Exit codes: 0 ok, 1 the device did not answer (a request goes out four times; 16 s\n"
    "after the first without a reply the link gives up), 2 usage, 3 file error, 4 the port\n"
    "could not be opened or configured (also: in use by another program, or a serial device\n"
    "server refused the connection, could not be found, timed out or closed it), 5 project full,\n"
    "6 (device compare, diff) the two sides differ.\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return corvix::cli::ExitUsage;
    }
    if (corvix::cli::IsHelp(args[0])) {
        std::fputs(kUsage, stdout);
        return corvix::cli::ExitOk;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "project" || command == "device" || command == "history" || command == "signals") {
        std::string error;
        args = corvix::cli::TakeHistoryOptions(args, corvix::cli::CliHistoryOptions(), error);
        if (!error.empty()) {
            std::fprintf(stderr, "corvix-cli %s: %s\n", command.c_str(), error.c_str());
            return corvix::cli::ExitUsage;
        }
    }
    if (command == "project") return corvix::cli::RunProjectCommand(args);
    if (command == "device") return RunDeviceCommand(args);
    if (command == "signals") return corvix::cli::RunSignalsCommand(args);
    if (command == "diff") return corvix::cli::RunDiffCommand(args);
    if (command == "extcap") return corvix::cli::RunExtcapCommand(args);
    if (command == "history") return corvix::cli::RunHistoryCommand(args);
    std::fprintf(stderr, "corvix-cli: unknown command '%s'\n\n", command.c_str());
    std::fputs(kUsage, stderr);
    return corvix::cli::ExitUsage;
}
