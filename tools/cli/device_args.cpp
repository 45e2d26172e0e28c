// SPDX-License-Identifier: Apache-2.0
#include "cli/device_args.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "cli/cli.h"
#include "cli/compare_command.h"
#include "model/record.h"

namespace corvix::cli {

const char* const kCommonOptions =
    "common options:\n"
    "  --port PATH                 serial device (required), e.g. /dev/ttyUSB0, or a serial\n"
    "                              device server: tcp://HOST:PORT (raw TCP) or\n"
    "                              rfc2217://HOST:PORT (line settings sent to the server)\n"
    "  --baud N                    baud rate (57600)\n"
    "  --data-bits N               data bits (8)\n"
    "  --parity none|even|odd      parity (none)\n"
    "  --stop-bits 1|1.5|2         stop bits (1)\n"
    "  --lang zh|en                language of the output (en)\n"
    "  --log                       write every frame sent and received to stderr\n"
    "  --pcap FILE                 write every frame sent and received to FILE as a pcapng\n"
    "                              capture, each packet at once (exit 3 when FILE cannot be\n"
    "                              created: nothing is sent then)\n"
    "\n"
    "Exit codes: 0 ok, 1 the device did not answer (a request goes out four times; 16 s\n"
    "after the first without a reply the link gives up), 2 usage, 3 file error, 4 the port\n"
    "could not be opened or configured (also: in use by another program, or a serial device\n"
    "server refused the connection, could not be found, timed out or closed it), 6 (compare)\n"
    "the project and the device differ.\n";

const char* const kDeviceUsage =
    "usage: corvix-cli device <subcommand> --port PATH [options]\n"
    "\n"
    "subcommands:\n"
    "  status [--json]                  poll once: firmware, input states, new events\n"
    "  read-config FILE                 read the configuration into the matching devices of FILE\n"
    "  write-config FILE --device N     write device N of FILE (0-based) to the device\n"
    "  clock [--set TEXT | --set-pc]    read (and set) the device clock\n"
    "  events FILE --device N [--csv]   read the stored event log into device N of FILE\n"
    "  compare FILE --device N [--json] list what differs between device N of FILE and the device\n"
    "  output-test on|off               switch the simulated CPU failure\n"
    "  monitor [--seconds S] [--reconnect]  poll every 3 s, print input changes and new events\n"
    "\n";


namespace {

const std::vector<Subcommand>& Subcommands() {
    static const std::vector<Subcommand> list = {
        {"status",
         "usage: corvix-cli device status --port PATH [--json] [options]\n"
         "Polls the device once and prints its firmware version, the state of every input and\n"
         "whether it holds new events (fetched and printed too). --json prints one JSON object.\n",
         {},
         {"--json"},
         0},
        {"read-config",
         "usage: corvix-cli device read-config FILE --port PATH [options]\n"
         "Reads the device's configuration. It replaces the configuration of every device of the\n"
         "project FILE whose address equals the answering device's address; FILE is then written\n"
         "again and the indexes (0-based) of the updated devices are printed. When no device\n"
         "matches, FILE is left as it was.\n",
         {},
         {},
         1},
        {"write-config",
         "usage: corvix-cli device write-config FILE --device N --port PATH [options]\n"
         "Writes the configuration of device N (0-based) of the project FILE to the device and\n"
         "prints the confirmation after the last piece has been acknowledged.\n",
         {"--device"},
         {},
         1},
        {"clock",
         "usage: corvix-cli device clock --port PATH [--set TEXT | --set-pc] [options]\n"
         "Prints the device time (year.month.day hour:minute:second) and its offset from this\n"
         "computer's clock. --set sets it first from TEXT, read at fixed positions: year 0-3,\n"
         "month 5-6, day 8-9, hour 11-12, minute 14-15, second 17-18 (separators are not looked\n"
         "at; missing fields are 0), e.g. \"2012.05.10 14:03:22\". --set-pc sets it to this\n"
         "computer's local time plus the request's time on the line.\n",
         {"--set"},
         {"--set-pc"},
         0},
        {"events",
         "usage: corvix-cli device events FILE --device N --port PATH [--csv] [options]\n"
         "Reads the device's stored event log into device N (0-based) of the project FILE,\n"
         "writes FILE and prints the log, newest first (--csv: number, ISO 8601 local time, name,\n"
         "state as UTF-8 CSV with a byte-order mark and CR LF line ends).\n",
         {"--device"},
         {"--csv"},
         1},
        {"compare", kCompareUsage, {"--device"}, {"--json"}, 1},
        {"output-test",
         "usage: corvix-cli device output-test on|off --port PATH [options]\n"
         "Switches the simulated CPU failure on or off and prints the state the device reports.\n",
         {},
         {},
         1},
        {"monitor",
         "usage: corvix-cli device monitor --port PATH [--seconds S] [--reconnect] [options]\n"
         "Polls the device every 3 seconds and prints the input states, each change of an input\n"
         "and each new event, until S seconds have passed (the exchange under way is finished)\n"
         "or SIGINT/SIGTERM arrives. --reconnect: when the port is lost (adapter unplugged,\n"
         "server gone), say so on stderr, open it again as soon as it is back and go on.\n",
         {"--seconds"},
         {"--reconnect"},
         0},
    };
    return list;
}


bool Contains(const std::vector<std::string>& list, const std::string& s) {
    for (const std::string& x : list)
        if (x == s) return true;
    return false;
}

std::optional<long> ParseInteger(const std::string& text, long low, long high) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < low || v > high) return std::nullopt;
    return v;
}

// Applies one option with its value; returns an error text or "".
std::string ApplyValue(DeviceArgs& a, const std::string& name, const std::string& value) {
    if (name == "--port") {
        if (value.empty()) return "--port needs a path";
        a.link.serial.portName = value;
        a.havePort = true;
    } else if (name == "--baud") {
        auto v = ParseInteger(value, 1, 4000000);
        if (!v) return "--baud needs a positive number";
        a.link.serial.baudRate = static_cast<int>(*v);
    } else if (name == "--data-bits") {
        auto v = ParseInteger(value, 5, 8);
        if (!v) return "--data-bits needs 5, 6, 7 or 8";
        a.link.serial.dataBits = static_cast<int>(*v);
    } else if (name == "--parity") {
        if (value == "none")
            a.link.serial.parity = ParityNone;
        else if (value == "even")
            a.link.serial.parity = ParityEven;
        else if (value == "odd")
            a.link.serial.parity = ParityOdd;
        else
            return "--parity needs none, even or odd";
    } else if (name == "--stop-bits") {
        if (value == "1")
            a.link.serial.stopBits = StopBits1;
        else if (value == "1.5")
            a.link.serial.stopBits = StopBits1_5;
        else if (value == "2")
            a.link.serial.stopBits = StopBits2;
        else
            return "--stop-bits needs 1, 1.5 or 2";
    } else if (name == "--lang") {
        std::optional<int> lang = ParseLanguage(value);
        if (!lang) return "unknown language '" + value + "' (zh or en)";
        a.link.language = *lang;
    } else if (name == "--device") {
        auto v = ParseInteger(value, 0, MaxDevices - 1);
        if (!v) return "--device needs a device index from 0 to 19";
        a.device = static_cast<int>(*v);
    } else if (name == "--pcap") {
        if (value.empty()) return "--pcap needs a file";
        a.link.pcap = value;
    } else if (name == "--set") {
        a.setText = value;
    } else if (name == "--seconds") {
        char* end = nullptr;
        const double s = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(s) || s < 0 || s > 1e7)
            return "--seconds needs a number of seconds";
        a.seconds = s;
    }
    return "";
}

const std::vector<std::string> kCommonValueOptions = {"--port",      "--baud", "--data-bits", "--parity",
                                                      "--stop-bits", "--lang", "--pcap"};

}  // namespace

DeviceArgs ParseDeviceArgs(const std::vector<std::string>& args) {
    DeviceArgs a;
    for (const Subcommand& s : Subcommands())
        if (args[0] == s.name) a.sub = &s;
    if (a.sub == nullptr) {
        a.error = "unknown subcommand '" + args[0] + "'";
        return a;
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (IsHelp(arg)) {
            a.help = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-' || arg == "-") {
            a.positional.push_back(arg);
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        const std::size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const bool isValue = Contains(kCommonValueOptions, name) || Contains(a.sub->valueOptions, name);
        const bool isFlag = name == "--log" || Contains(a.sub->flags, name);
        if (isValue) {
            if (!value) {
                if (i + 1 >= args.size()) {
                    a.error = name + " needs a value";
                    continue;
                }
                value = args[++i];
            }
            const std::string err = ApplyValue(a, name, *value);
            if (!err.empty()) a.error = err;
        } else if (isFlag && !value) {
            if (name == "--log") a.link.log = true;
            if (name == "--json") a.json = true;
            if (name == "--csv") a.csv = true;
            if (name == "--set-pc") a.setPc = true;
            if (name == "--reconnect") a.reconnect = true;
        } else {
            a.error = "unknown option '" + arg + "'";
        }
    }
    if (!a.error.empty() || a.help) return a;
    if (!a.havePort) a.error = "--port is required";
    if (static_cast<int>(a.positional.size()) != a.sub->positionals)
        a.error = a.sub->positionals == 0 ? "unexpected argument '" + a.positional.front() + "'"
                                          : "expected exactly one argument";
    if (Contains(a.sub->valueOptions, "--device") && !a.device) a.error = "--device N is required";
    if (a.setText && a.setPc) a.error = "--set and --set-pc exclude each other";
    return a;
}

int Usage(const char* usage, const std::string& error) {
    std::fprintf(stderr, "corvix-cli device: %s\n\n%s\n%s", error.c_str(), usage, kCommonOptions);
    return ExitUsage;
}

}  // namespace corvix::cli
