// SPDX-License-Identifier: Apache-2.0
#include "devsim/options.h"

#include <charconv>
#include <limits>

namespace corvix::sim {
namespace {

bool ToInt(const std::string& text, long long low, long long high, long long& out) {
    if (text.empty()) return false;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [ptr, ec] = std::from_chars(first, last, out);
    return ec == std::errc() && ptr == last && out >= low && out <= high;
}

}  // namespace

std::string UsageText() {
    return "usage: corvix-devsim [options]\n"
           "Simulated device on a pseudo-terminal. Prints the device-side path on the first line\n"
           "and answers requests until interrupted.\n"
           "  --address N            device address (0-255, default 1)\n"
           "  --signals N            binary inputs reported (0-253, default 65)\n"
           "  --segment-size N       data bytes per configuration read reply (1-931, default 931)\n"
           "  --seed N               seed of the input changes (default 1)\n"
           "  --change-every-ms N    one input changes every N ms; 0 = never (default 5000)\n"
           "  --events N             events already stored in the log at start (default 0)\n"
           "  --english              English default signal names (default Chinese)\n"
           "  --link PATH            keep a symlink to the device-side path at PATH\n"
           "  --silent               never answer\n"
           "  --drop-every N         ignore every Nth request\n"
           "  --bad-checksum-every N every Nth reply has a checksum off by one\n"
           "  --split-gap-ms N       write each reply in two bursts with an N ms pause\n"
           "  --pace                 move bytes at the line rate the PC programmed (start, data,\n"
           "                         parity and stop bits per byte), as a real line would\n"
           "  --turnaround-ms N      wait N ms before each reply (device think time)\n"
           "  --help                 this text\n";
}

ParseResult ParseOptions(const std::vector<std::string>& args) {
    ParseResult r;
    SimOptions& o = r.options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        auto needValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= args.size()) {
                r.error = "missing value for " + name;
                return false;
            }
            value = args[++i];
            return true;
        };
        auto flag = [&]() -> bool {
            if (hasValue) r.error = name + " takes no value";
            return !hasValue;
        };
        auto integer = [&](long long low, long long high, long long& out) -> bool {
            if (!needValue()) return false;
            if (!ToInt(value, low, high, out)) {
                r.error = "invalid value for " + name + ": " + value + " (" + std::to_string(low) + "-" +
                          std::to_string(high) + ")";
                return false;
            }
            return true;
        };
        constexpr long long intMax = std::numeric_limits<int>::max();
        long long v = 0;
        if (name == "--help" || name == "-h") {
            r.help = true;
            r.ok = true;
            return r;
        } else if (name == "--address") {
            if (!integer(0, 255, v)) return r;
            o.device.address = static_cast<int>(v);
        } else if (name == "--signals") {
            if (!integer(0, MaxSimSignals, v)) return r;
            o.device.signalCount = static_cast<int>(v);
        } else if (name == "--segment-size") {
            if (!integer(1, DefaultSegmentSize, v)) return r;
            o.device.segmentSize = static_cast<int>(v);
        } else if (name == "--seed") {
            if (!integer(0, std::numeric_limits<uint32_t>::max(), v)) return r;
            o.device.seed = static_cast<uint32_t>(v);
        } else if (name == "--change-every-ms") {
            if (!integer(0, intMax, v)) return r;
            o.changeEveryMs = static_cast<int>(v);
        } else if (name == "--events") {
            if (!integer(0, 100000, v)) return r;
            o.device.initialEvents = static_cast<int>(v);
        } else if (name == "--english") {
            if (!flag()) return r;
            o.device.uiLanguage = 1;
        } else if (name == "--link") {
            if (!needValue()) return r;
            if (value.empty()) {
                r.error = "empty path for --link";
                return r;
            }
            o.linkPath = value;
        } else if (name == "--silent") {
            if (!flag()) return r;
            o.faults.silent = true;
        } else if (name == "--drop-every") {
            if (!integer(0, intMax, v)) return r;
            o.faults.dropEvery = static_cast<int>(v);
        } else if (name == "--bad-checksum-every") {
            if (!integer(0, intMax, v)) return r;
            o.faults.badChecksumEvery = static_cast<int>(v);
        } else if (name == "--split-gap-ms") {
            if (!integer(0, 600000, v)) return r;
            o.faults.splitGapMs = static_cast<int>(v);
        } else if (name == "--pace") {
            if (!flag()) return r;
            o.pacing.pace = true;
        } else if (name == "--turnaround-ms") {
            if (!integer(0, 600000, v)) return r;
            o.pacing.turnaroundMs = static_cast<int>(v);
        } else {
            r.error = "unknown option: " + args[i];
            return r;
        }
    }
    r.ok = true;
    return r;
}

ParseResult ParseOptions(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    return ParseOptions(args);
}

}  // namespace corvix::sim
