// SPDX-License-Identifier: Apache-2.0
#include "link/settings_check.h"

#include <algorithm>

namespace corvix {

namespace {

bool UsablePortName(const std::string& name) {
    if (name.empty() || name.size() >= static_cast<std::size_t>(PortNameSize)) return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

}  // namespace

SerialSettings ValidSerialSettings(const SerialSettings& stored) {
    const SerialSettings defaults;
    SerialSettings line = stored;
    if (!UsablePortName(line.portName)) line.portName = defaults.portName;
    if (line.baudRate < 1 || line.baudRate > MaxBaudRate) line.baudRate = defaults.baudRate;
    if (line.dataBits < 5 || line.dataBits > 8) line.dataBits = defaults.dataBits;
    if (line.parity < ParityNone || line.parity > ParityOdd) line.parity = defaults.parity;
    if (line.stopBits < StopBits1 || line.stopBits > StopBits2) line.stopBits = defaults.stopBits;
    return line;
}

}  // namespace corvix
