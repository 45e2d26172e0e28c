// Port discovery against a hand-made sysfs and by-id tree: kernel ports with their adapters'
// names, stable names resolved to their ttys, links whose adapter has gone, and the entries
// the port list shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fakes/fake_port_tree.h"
#include "link/port_names.h"
#include "link/settings_check.h"
#include "present/port_choices.h"

namespace corvix {
namespace {

namespace fs = std::filesystem;

const char* const FtdiId = "usb-FTDI_FT232R_USB_UART_A10KZP3X-if00-port0";
const char* const PicoId = "usb-Raspberry_Pi_Pico_E6614103E7-if00";

class PortNames : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("corvix-ports-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        tree = std::make_unique<test::FakePortTree>(root);
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path root;
    std::unique_ptr<test::FakePortTree> tree;
};

TEST_F(PortNames, KernelPortsCarryTheirAdapterAndStableNamesTheirTty) {
    tree->AddUsbAdapter("ttyUSB0", "1-2", "FTDI", "FT232R USB UART");
    tree->AddUsbAdapter("ttyACM0", "1-3", "", "Pico");
    tree->AddBoardPort("ttyS0", 4);
    tree->AddBoardPort("ttyS1", 0);  // placeholder
    tree->AddById(FtdiId, "ttyUSB0");
    tree->AddById(PicoId, "ttyACM0");
    tree->AddById("usb-Gone_Adapter-if00-port0", "ttyUSB7");  // its adapter was unplugged
    std::ofstream(root / "dev/serial/by-id/not-a-link").put('x');

    const PortDiscovery found = DiscoverPorts(root.string());
    EXPECT_EQ(found.count, 3);
    ASSERT_EQ(found.ports.size(), 3u);
    EXPECT_EQ(found.ports[0].path, "/dev/ttyACM0");
    EXPECT_EQ(found.ports[0].adapter.product, "Pico");
    EXPECT_EQ(found.ports[0].adapter.maker, "");
    EXPECT_EQ(found.ports[1].path, "/dev/ttyS0");
    EXPECT_EQ(AdapterText(found.ports[1].adapter), "");
    EXPECT_EQ(found.ports[2].name, "ttyUSB0");
    EXPECT_EQ(found.ports[2].adapter.maker, "FTDI");

    ASSERT_EQ(found.stable.size(), 2u);
    EXPECT_EQ(found.stable[0].path, std::string("/dev/serial/by-id/") + FtdiId);
    EXPECT_EQ(found.stable[0].kernelName, "ttyUSB0");
    EXPECT_EQ(found.stable[1].kernelName, "ttyACM0");
    EXPECT_EQ(found.stable[1].adapter.product, "Pico");

    const std::vector<PortChoice> choices = PortChoices(found);
    ASSERT_EQ(choices.size(), 5u);
    EXPECT_EQ(choices[2].text, "/dev/ttyUSB0 (FTDI FT232R USB UART)");
    EXPECT_EQ(choices[2].name, "/dev/ttyUSB0");
    EXPECT_EQ(choices[3].text,
              std::string("/dev/serial/by-id/") + FtdiId + " → ttyUSB0 (FTDI FT232R USB UART)");
    EXPECT_EQ(choices[3].name, std::string("/dev/serial/by-id/") + FtdiId);
    EXPECT_EQ(choices[4].text, std::string("/dev/serial/by-id/") + PicoId + " → ttyACM0 (Pico)");

    // Unplugged: the node goes at once, the link may linger until udev removes it.
    tree->RemoveNode("ttyUSB0");
    const PortDiscovery after = DiscoverPorts(root.string());
    ASSERT_EQ(after.stable.size(), 1u);
    EXPECT_EQ(after.stable[0].kernelName, "ttyACM0");
}

TEST_F(PortNames, NoByIdFolderAndNoTtyClass) {
    tree->AddBoardPort("ttyS0", 4);
    PortDiscovery found = DiscoverPorts(root.string());
    EXPECT_EQ(found.count, 1);
    EXPECT_TRUE(found.stable.empty());
    fs::remove_all(root / "sys");
    found = DiscoverPorts(root.string());
    EXPECT_EQ(found.count, -1);
    EXPECT_TRUE(found.ports.empty());
}

TEST_F(PortNames, AdapterStringsAreCleanedAndJoined) {
    tree->AddUsbAdapter("ttyUSB0", "1-2", "  Acme\tCorp ", std::string(300, 'x'));
    const AdapterNames names = FindAdapterNames(root.string(), "ttyUSB0");
    EXPECT_EQ(names.maker, "Acme Corp");
    EXPECT_EQ(names.product.size(), 126u);
    EXPECT_EQ(FindAdapterNames(root.string(), "../ttyUSB0").maker, "");
    EXPECT_EQ(FindAdapterNames(root.string(), "ttyUSB9").maker, "");

    EXPECT_EQ(AdapterText({"FTDI", "FT232R USB UART"}), "FTDI FT232R USB UART");
    EXPECT_EQ(AdapterText({"Prolific", "Prolific USB-Serial"}), "Prolific USB-Serial");
    EXPECT_EQ(AdapterText({"Maker", ""}), "Maker");
}

TEST(StoredSerialSettings, EachBadValueFallsBackAlone) {
    const SerialSettings defaults;
    SerialSettings good;
    good.portName = "/dev/serial/by-id/usb-FTDI-if00-port0";
    good.baudRate = 250000;
    good.dataBits = 7;
    good.parity = ParityOdd;
    good.stopBits = StopBits1_5;
    const SerialSettings kept = ValidSerialSettings(good);
    EXPECT_EQ(kept.portName, good.portName);
    EXPECT_EQ(kept.baudRate, 250000);
    EXPECT_EQ(kept.dataBits, 7);
    EXPECT_EQ(kept.parity, int(ParityOdd));
    EXPECT_EQ(kept.stopBits, int(StopBits1_5));

    for (const std::string& port : {std::string(), std::string(80, 'a'), std::string("/dev/tty\nS0")}) {
        SerialSettings bad = good;
        bad.portName = port;
        EXPECT_EQ(ValidSerialSettings(bad).portName, defaults.portName);
        EXPECT_EQ(ValidSerialSettings(bad).baudRate, 250000);
    }
    SerialSettings bad = good;
    bad.baudRate = 0;
    bad.dataBits = 9;
    bad.parity = -1;
    bad.stopBits = 3;
    const SerialSettings fixed = ValidSerialSettings(bad);
    EXPECT_EQ(fixed.portName, good.portName);
    EXPECT_EQ(fixed.baudRate, defaults.baudRate);
    EXPECT_EQ(fixed.dataBits, defaults.dataBits);
    EXPECT_EQ(fixed.parity, defaults.parity);
    EXPECT_EQ(fixed.stopBits, defaults.stopBits);
    bad.baudRate = MaxBaudRate + 1;
    bad.dataBits = 4;
    EXPECT_EQ(ValidSerialSettings(bad).baudRate, defaults.baudRate);
    EXPECT_EQ(ValidSerialSettings(bad).dataBits, defaults.dataBits);
}

}  // namespace
}  // namespace corvix
