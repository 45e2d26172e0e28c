// A hand-made system tree for port discovery: <root>/sys with tty class entries and USB
// device folders, <root>/dev with device nodes (plain files) and udev's by-id links.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace corvix::test {

class FakePortTree {
  public:
    explicit FakePortTree(std::filesystem::path root) : root_(std::move(root)) {
        std::filesystem::create_directories(root_ / "sys/class/tty");
        std::filesystem::create_directories(root_ / "dev");
    }
    const std::filesystem::path& Root() const { return root_; }

    // A USB serial adapter: the USB device with its descriptor strings (none when empty), the
    // interface, the tty below it, the class entry and the device node.
    void AddUsbAdapter(const std::string& tty, const std::string& usbDevice, const std::string& maker,
                       const std::string& product) {
        namespace fs = std::filesystem;
        const fs::path device = root_ / "sys/devices/pci0000:00/usb1" / usbDevice;
        const fs::path port = device / (usbDevice + ":1.0") / tty;
        fs::create_directories(port);
        if (!maker.empty()) std::ofstream(device / "manufacturer") << maker << "\n";
        if (!product.empty()) std::ofstream(device / "product") << product << "\n";
        fs::create_directories(root_ / "sys/class/tty" / tty);
        fs::create_directory_symlink(fs::relative(port, root_ / "sys/class/tty" / tty),
                                     root_ / "sys/class/tty" / tty / "device");
        AddNode(tty);
    }
    // A port on the main board: a UART of the given type, no USB strings.
    void AddBoardPort(const std::string& tty, int type) {
        namespace fs = std::filesystem;
        const fs::path port = root_ / "sys/devices/platform/serial8250/tty" / tty;
        fs::create_directories(port);
        fs::create_directories(root_ / "sys/class/tty" / tty);
        fs::create_directory_symlink(port, root_ / "sys/class/tty" / tty / "device");
        std::ofstream(root_ / "sys/class/tty" / tty / "type") << type << "\n";
        AddNode(tty);
    }
    void AddNode(const std::string& tty) { std::ofstream(root_ / "dev" / tty).put('\0'); }
    void RemoveNode(const std::string& tty) { std::filesystem::remove(root_ / "dev" / tty); }
    // udev's stable name: a link relative to the by-id folder, as udev makes it.
    void AddById(const std::string& name, const std::string& tty) {
        std::filesystem::create_directories(root_ / "dev/serial/by-id");
        std::filesystem::create_symlink("../../" + tty, root_ / "dev/serial/by-id" / name);
    }

  private:
    std::filesystem::path root_;
};

}  // namespace corvix::test
