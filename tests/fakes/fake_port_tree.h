// SPDX-License-Identifier: Apache-2.0
// A hand-made system tree for port discovery: tty class entries, USB device folders with
// their strings, device nodes (plain files) and udev's by-id links, all under one root.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace corvix::test {

// A USB adapter `tty` on USB device `usb` (with its maker and product), or, with an empty
// `usb`, a 16550 port on the main board.
inline void AddTty(const std::filesystem::path& root, const std::string& tty, const std::string& usb = "",
                   const std::string& maker = "", const std::string& product = "") {
    namespace fs = std::filesystem;
    const fs::path device = root / "sys/devices" / (usb.empty() ? "platform" : "usb1/" + usb);
    const fs::path port = device / (usb.empty() ? "" : usb + ":1.0") / tty;
    fs::create_directories(port);
    fs::create_directories(root / "sys/class/tty" / tty);
    fs::create_directories(root / "dev");
    fs::create_directory_symlink(port, root / "sys/class/tty" / tty / "device");
    if (usb.empty()) std::ofstream(root / "sys/class/tty" / tty / "type") << "4\n";
    if (!maker.empty()) std::ofstream(device / "manufacturer") << maker << "\n";
    if (!product.empty()) std::ofstream(device / "product") << product << "\n";
    std::ofstream(root / "dev" / tty).put('\0');
}

// udev's stable name for `tty`, a link relative to the by-id folder as udev makes it.
inline void AddById(const std::filesystem::path& root, const std::string& name, const std::string& tty) {
    std::filesystem::create_directories(root / "dev/serial/by-id");
    std::filesystem::create_symlink("../../" + tty, root / "dev/serial/by-id" / name);
}

}  // namespace corvix::test
