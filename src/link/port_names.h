// SPDX-License-Identifier: Apache-2.0
// The PC's serial ports under the names a person knows them by: the kernel's name, the stable
// names udev gives USB adapters in /dev/serial/by-id, and the adapter's maker and product as
// its USB descriptors state them.
#pragma once

#include <string>
#include <vector>

namespace corvix {

// Maker and product strings of the USB device behind a tty; empty when it has none (a port
// on the main board) or they cannot be read.
struct AdapterNames {
    std::string maker;
    std::string product;
};

struct KernelPort {
    std::string path;  // "/dev/ttyUSB0"
    std::string name;  // "ttyUSB0"
    AdapterNames adapter;
};

struct StablePort {
    std::string path;        // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0"
    std::string kernelName;  // the tty it points at now, relative to /dev: "ttyUSB0"
    AdapterNames adapter;
};

struct PortDiscovery {
    // As EnumeratePorts: the number of kernel ports, -1 when the tty class cannot be read.
    int count = -1;
    std::vector<KernelPort> ports;  // natural order, at most MaxSerialPorts
    // By-id links whose target exists, sorted by path. A link left behind by an unplugged
    // adapter (its target gone) is not offered.
    std::vector<StablePort> stable;
};

// Looks at <root>/sys/class/tty and <root>/dev/serial/by-id; the names reported are the
// system's ("/dev/..."), whatever `root` is. Tests pass a hand-made tree.
PortDiscovery DiscoverPorts(const std::string& root = "/");

// Maker and product of the tty `name` ("ttyUSB0"): the strings of the first folder, walking
// up from <root>/sys/class/tty/<name>/device, that carries them.
AdapterNames FindAdapterNames(const std::string& root, const std::string& name);

}  // namespace corvix
