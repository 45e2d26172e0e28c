// SPDX-License-Identifier: Apache-2.0
// Settings of the simulated device and of the server that answers on its pseudo-terminal,
// and the command line that fills them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvix::sim {

inline constexpr int MaxSimSignals = 253;
inline constexpr int DefaultSimSignals = 65;
inline constexpr int DefaultSegmentSize = 931;

// What the device is: fixed when it is created.
struct DeviceSetup {
    int address = 1;
    int signalCount = DefaultSimSignals;   // binary inputs reported by a status reply
    int segmentSize = DefaultSegmentSize;  // data bytes per configuration read reply
    uint32_t seed = 1;                     // input changes are pseudo-random but repeatable
    int uiLanguage = 0;                    // language of the default signal names (0 Chinese)
    int initialEvents = 0;                 // events already in the log at start (not new)
    uint8_t firmware[3] = {1, 2, 3};
};

// Misbehaviour on demand; may be changed while the server runs.
struct FaultSwitches {
    bool silent = false;       // reads requests, never answers
    int dropEvery = 0;         // ignore every Nth request (0: never)
    int badChecksumEvery = 0;  // every Nth reply carries a checksum off by one (0: never)
    int splitGapMs = 0;        // write each reply in two bursts with this pause (0: one burst)
};

// How the line behaves; may be changed while the server runs.
struct LinePacing {
    // Bytes cross the line at the rate the PC programmed on it (start bit, data bits, parity
    // bit, stop bits per byte): a request counts as arrived once its last byte is through, and
    // a reply leaves no faster. Off: a pty moves bytes at once.
    bool pace = false;
    int turnaroundMs = 0;  // the device's think time before each reply
};

struct SimOptions {
    DeviceSetup device;
    FaultSwitches faults;
    LinePacing pacing;
    int changeEveryMs = 5000;  // one input changes this often; 0: inputs never change by themselves
    std::string linkPath;      // symlink to the device-side path, kept while the server runs
};

struct ParseResult {
    bool ok = false;
    bool help = false;
    std::string error;
    SimOptions options;
};

// argv[0] is skipped. Accepts "--name value" and "--name=value".
ParseResult ParseOptions(const std::vector<std::string>& args);
ParseResult ParseOptions(int argc, const char* const* argv);
std::string UsageText();

}  // namespace corvix::sim
