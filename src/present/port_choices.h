// SPDX-License-Identifier: Apache-2.0
// The entries of the port list: what a person reads, and the port name an entry stands for.
// Plain C++.
#pragma once

#include <string>
#include <vector>

#include "link/port_names.h"

namespace corvix {

struct PortChoice {
    std::string text;  // shown in the list (UTF-8)
    std::string name;  // what becomes the port name when the entry is chosen
    bool operator==(const PortChoice&) const = default;
};

// "FTDI FT232R USB UART": maker and product, the maker left out where the product already
// begins with it; empty when neither is known.
std::string AdapterText(const AdapterNames& adapter);

// The kernel ports in their order ("/dev/ttyUSB0 (FTDI FT232R USB UART)", name
// "/dev/ttyUSB0"), then the stable names of USB adapters ("/dev/serial/by-id/usb-... →
// ttyUSB0 (FTDI FT232R USB UART)", name the by-id path, which survives replugging).
std::vector<PortChoice> PortChoices(const PortDiscovery& found);

}  // namespace corvix
