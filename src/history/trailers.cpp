// SPDX-License-Identifier: Apache-2.0
#include "history/trailers.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace corvix::history {
namespace {

// A trailer value stays on its line.
std::string OneLine(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '\n' || c == '\r') c = ' ';
    return out;
}

}  // namespace

std::string ComposeMessage(const MessageFields& fields, const std::vector<std::string>& names) {
    std::string subject = fields.operation;
    if (names.empty()) {
        subject += " (unchanged)";
    } else {
        for (std::size_t i = 0; i < names.size() && i < 5; ++i) subject += (i == 0 ? " " : ", ") + OneLine(names[i]);
        if (names.size() > 5) subject += " and " + std::to_string(names.size() - 5) + " more";
    }
    if (!fields.port.empty()) subject += " on " + OneLine(fields.port);
    std::string m = subject + "\n\nRecorded by " + OneLine(fields.version) + " on host " + OneLine(fields.host) +
                    ".\n\nCorvix-Operation: " + fields.operation + "\n";
    if (!fields.port.empty()) m += "Corvix-Port: " + OneLine(fields.port) + "\n";
    m += "Corvix-Version: " + OneLine(fields.version) + "\nCorvix-Host: " + OneLine(fields.host) + "\n";
    for (const DeviceLine& d : fields.devices)
        m += "Corvix-Device: " + std::to_string(d.changed) + " " + OneLine(d.path) + "\n";
    return m;
}

MessageFields ParseMessage(const char* message) {
    MessageFields f;
    if (message == nullptr) return f;
    std::string_view rest(message);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.rfind("Corvix-", 0) != 0) continue;
        const std::size_t colon = line.find(": ");
        if (colon == std::string_view::npos) continue;
        const std::string_view key = line.substr(7, colon - 7);
        const std::string value(line.substr(colon + 2));
        if (key == "Operation")
            f.operation = value;
        else if (key == "Port")
            f.port = value;
        else if (key == "Version")
            f.version = value;
        else if (key == "Host")
            f.host = value;
        else if (key == "Device") {
            const std::size_t space = value.find(' ');
            if (space == std::string::npos) continue;
            f.devices.push_back({value.substr(space + 1), std::atoi(value.c_str())});
        }
    }
    return f;
}

}  // namespace corvix::history
