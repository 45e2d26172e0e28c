// SPDX-License-Identifier: Apache-2.0
// Port discovery on a hand-made sysfs and by-id tree, and the entries the port list shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include "fakes/fake_port_tree.h"
#include "present/port_choices.h"

namespace corvix {
namespace {

namespace fs = std::filesystem;

TEST(PortNames, StableNamesResolveToTheirTtyAndAdapter) {
    const fs::path root = fs::temp_directory_path() / ("corvix-ports-" + std::to_string(::getpid()));
    fs::remove_all(root);
    test::AddTty(root, "ttyUSB0", "1-2", "FTDI", "FT232R USB UART");
    test::AddTty(root, "ttyACM0", "1-3", "Raspberry Pi", "Raspberry Pi Pico");
    test::AddTty(root, "ttyS0");
    test::AddById(root, "usb-FTDI_A1-if00-port0", "ttyUSB0");
    test::AddById(root, "usb-Pico_E6-if00", "ttyACM0");
    test::AddById(root, "usb-Gone-if00-port0", "ttyUSB7");  // its adapter was unplugged
    std::ofstream(root / "dev/serial/by-id/not-a-link").put('x');

    PortDiscovery found = DiscoverPorts(root.string());
    EXPECT_EQ(found.count, 3);
    std::vector<std::string> texts;
    for (const PortChoice& choice : PortChoices(found)) texts.push_back(choice.text + " = " + choice.name);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "/dev/ttyACM0 (Raspberry Pi Pico) = /dev/ttyACM0", "/dev/ttyS0 = /dev/ttyS0",
                         "/dev/ttyUSB0 (FTDI FT232R USB UART) = /dev/ttyUSB0",
                         "/dev/serial/by-id/usb-FTDI_A1-if00-port0 → ttyUSB0 (FTDI FT232R USB UART) = "
                         "/dev/serial/by-id/usb-FTDI_A1-if00-port0",
                         "/dev/serial/by-id/usb-Pico_E6-if00 → ttyACM0 (Raspberry Pi Pico) = "
                         "/dev/serial/by-id/usb-Pico_E6-if00"}));
    fs::remove(root / "dev/ttyUSB0");  // unplugged: udev's link may stay a little longer
    found = DiscoverPorts(root.string());
    ASSERT_EQ(found.stable.size(), 1u);
    EXPECT_EQ(found.stable[0].kernelName, "ttyACM0");
    fs::remove_all(root);
}

}  // namespace
}  // namespace corvix
