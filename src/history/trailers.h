// SPDX-License-Identifier: Apache-2.0
// The message of a history commit: a subject a person reads in git log, then the same facts
// as trailers a program parses.
//
//   read 1, feeder 2 on /dev/ttyUSB0
//
//   Recorded by corvix-cli 1.1.11 on host bay-3.
//
//   Corvix-Operation: read
//   Corvix-Port: /dev/ttyUSB0
//   Corvix-Version: corvix-cli 1.1.11
//   Corvix-Host: bay-3
//   Corvix-Device: 3 projects/5f0c.../0.json
//
// A Corvix-Device line gives the number of fields that changed, then the device's path.
#pragma once

#include <string>
#include <vector>

namespace corvix::history {

struct DeviceLine {
    std::string path;
    int changed = 0;
};

struct MessageFields {
    std::string operation, port, version, host;
    std::vector<DeviceLine> devices;

    const DeviceLine* Device(const std::string& path) const {
        for (const DeviceLine& d : devices)
            if (d.path == path) return &d;
        return nullptr;
    }
};

// `names` are the names of the devices whose files changed, for the subject line.
std::string ComposeMessage(const MessageFields& fields, const std::vector<std::string>& names);
// The trailers of a message; fields it lacks stay empty.
MessageFields ParseMessage(const char* message);

}  // namespace corvix::history
