// SPDX-License-Identifier: Apache-2.0
#include "link/port_names.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "link/serial_port.h"

namespace corvix {

namespace fs = std::filesystem;

namespace {

// USB string descriptors hold at most 126 characters; anything longer is not one.
constexpr std::size_t MaxAttributeBytes = 126;
// From the tty's own folder: the usb-serial port, the interface, the USB device.
constexpr int MaxLevelsUp = 4;

// The first line of a sysfs attribute, without control characters, trimmed, and cut on a
// UTF-8 character boundary.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    for (char& c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) c = ' ';
    }
    if (line.size() > MaxAttributeBytes) {
        std::size_t n = MaxAttributeBytes;
        while (n > 0 && (static_cast<unsigned char>(line[n]) & 0xC0) == 0x80) --n;
        line.resize(n);
    }
    const auto first = line.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(' ') - first + 1);
}

bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec) && !ec;
}

}  // namespace

AdapterNames FindAdapterNames(const std::string& root, const std::string& name) {
    AdapterNames names;
    if (name.empty() || name.find('/') != std::string::npos) return names;
    std::error_code ec;
    fs::path dir = fs::canonical(fs::path(root) / "sys/class/tty" / name / "device", ec);
    for (int level = 0; level < MaxLevelsUp && !ec; ++level) {
        if (Exists(dir / "manufacturer") || Exists(dir / "product")) {
            names.maker = ReadAttribute(dir / "manufacturer");
            names.product = ReadAttribute(dir / "product");
            return names;
        }
        if (dir == dir.parent_path()) break;
        dir = dir.parent_path();
    }
    return names;
}

PortDiscovery DiscoverPorts(const std::string& root) {
    PortDiscovery found;
    const fs::path base(root);
    std::vector<std::string> names;
    found.count = EnumeratePorts(names, (base / "sys/class/tty").string());
    for (const std::string& path : names) {
        KernelPort port;
        port.path = path;
        port.name = fs::path(path).filename().string();
        port.adapter = FindAdapterNames(root, port.name);
        found.ports.push_back(std::move(port));
    }

    const fs::path dev = base / "dev";
    const fs::path byId = dev / "serial/by-id";
    std::error_code ec;
    fs::directory_iterator it(byId, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code lec;
        const fs::path target = fs::read_symlink(it->path(), lec);
        if (lec) continue;  // udev puts links here; anything else is not ours to offer
        // Targets are relative to the folder ("../../ttyUSB0"); an absolute one is read
        // inside `root` like everything else.
        const fs::path resolved =
            (target.is_absolute() ? base / target.relative_path() : byId / target).lexically_normal();
        if (!Exists(resolved)) continue;  // the adapter has gone; udev has not yet removed the link
        StablePort port;
        port.path = "/dev/serial/by-id/" + it->path().filename().string();
        const fs::path relative = resolved.lexically_relative(dev.lexically_normal());
        const bool insideDev = !relative.empty() && *relative.begin() != "..";
        port.kernelName = insideDev ? relative.string() : resolved.string();
        port.adapter = FindAdapterNames(root, port.kernelName);
        found.stable.push_back(std::move(port));
    }
    std::sort(found.stable.begin(), found.stable.end(),
              [](const StablePort& a, const StablePort& b) { return a.path < b.path; });
    return found;
}

}  // namespace corvix
