// SPDX-License-Identifier: Apache-2.0
// The termios port on a pseudo-terminal (what reaches the line, what is refused) and the
// port list read from a sysfs-like tree.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/file.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "link/line_speed.h"
#include "link/serial_port.h"
#include "pty_helper.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using testing::PtyPair;
namespace fs = std::filesystem;

class PosixPortOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        ASSERT_TRUE(port.Open(pty.SlavePath()));
    }
    PtyPair pty;
    PosixSerialPort port;
};

struct LineCase {
    const char* name;
    int baud;
    int dataBits;
    int stopBits;
    int parity;
    speed_t speed;
    tcflag_t size;
    tcflag_t parityFlags;  // PARENB / PARODD expected
    bool twoStop;
};

class LineSettings : public PosixPortOnPty, public ::testing::WithParamInterface<LineCase> {};

SerialSettings SettingsOf(const LineCase& c) {
    SerialSettings s;
    s.baudRate = c.baud;
    s.dataBits = c.dataBits;
    s.stopBits = c.stopBits;
    s.parity = c.parity;
    return s;
}

TEST_P(LineSettings, BuildCarriesEveryField) {
    const LineCase& c = GetParam();
    termios t{};
    t.c_cflag = CRTSCTS | PARENB | CSTOPB | CS5;  // leftovers of a previous program
    t.c_iflag = IXON | IXOFF | ICRNL;
    t.c_lflag = ICANON | ECHO;
    ASSERT_TRUE(BuildLineSettings(SettingsOf(c), t));
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(t.c_cflag & CSIZE, c.size);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD), c.parityFlags);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStop);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
}

// A pty keeps speed, stop bits and the raw flags; it forces 8 data bits and no parity
// itself, so those are checked above on the termios we hand to the kernel.
TEST_P(LineSettings, AreProgrammedOnThePty) {
    const LineCase& c = GetParam();
    ASSERT_TRUE(port.Configure(SettingsOf(c)));
    const termios t = pty.LineSettings();
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(cfgetispeed(&t), c.speed);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStop);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Serial, LineSettings,
    ::testing::Values(LineCase{"Defaults", 57600, 8, StopBits1, ParityNone, B57600, CS8, 0, false},
                      LineCase{"Even", 9600, 8, StopBits1, ParityEven, B9600, CS8, PARENB, false},
                      LineCase{"Odd", 19200, 7, StopBits1, ParityOdd, B19200, CS7, PARENB | PARODD, false},
                      LineCase{"TwoStopBits", 115200, 8, StopBits2, ParityNone, B115200, CS8, 0, true},
                      LineCase{"FiveBitsSlow", 300, 5, StopBits2, ParityEven, B300, CS5, PARENB, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PosixPortOnPty, RefusesWhatTheLineCannotCarry) {
    const auto refused = [&](auto change) {
        SerialSettings s;
        change(s);
        return !port.Configure(s);
    };
    EXPECT_TRUE(refused([](SerialSettings& s) { s.stopBits = StopBits1_5; }));
    EXPECT_TRUE(refused([](SerialSettings& s) { s.dataBits = 9; }));
    EXPECT_TRUE(refused([](SerialSettings& s) { s.dataBits = 4; }));
    EXPECT_TRUE(refused([](SerialSettings& s) { s.baudRate = -14400; }));
    EXPECT_TRUE(refused([](SerialSettings& s) { s.baudRate = 0; }));
    EXPECT_TRUE(refused([](SerialSettings& s) { s.parity = -1; }));
    EXPECT_TRUE(refused([](SerialSettings& s) { s.parity = 3; }));
    EXPECT_TRUE(refused([](SerialSettings& s) { s.stopBits = -1; }));
    // A refused change leaves the previous line settings alone.
    ASSERT_TRUE(port.Configure(SerialSettings{}));
    SerialSettings bad;
    bad.baudRate = 9600;
    bad.dataBits = 9;
    EXPECT_FALSE(port.Configure(bad));
    const termios t = pty.LineSettings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B57600));
}

// A rate without a B constant reaches the line through termios2, both ways; a named rate
// after it takes over both ways again.
TEST_F(PosixPortOnPty, AnyIntegerRateReachesTheLine) {
    for (int baud : {14400, 250000, 57600}) {
        SerialSettings s;
        s.baudRate = baud;
        ASSERT_TRUE(port.Configure(s)) << baud;
        EXPECT_EQ(LineSpeed(pty.MasterFd()), baud);
        EXPECT_EQ(LineSpeed(pty.MasterFd(), true), baud);
    }
    const termios t = pty.LineSettings();
    EXPECT_EQ(cfgetispeed(&t), speed_t(B57600));
    // What the driver programs must lie within 2 % of the rate asked for.
    EXPECT_TRUE(LineSpeedClose(14688, 14400) && !LineSpeedClose(14689, 14400) && !LineSpeedClose(0, 1));
}

TEST_F(PosixPortOnPty, MovesBytesBothWays) {
    ASSERT_TRUE(port.Configure(SerialSettings{}));
    // Bytes a cooked tty would alter (CR, ^C, ^S, 0xFF) pass unchanged.
    const std::vector<uint8_t> out = {0x58, 0x0D, 0x0A, 0x03, 0x13, 0x11, 0xFF, 0x00, 0x16};
    EXPECT_EQ(port.Write(out.data(), out.size()), out.size());
    EXPECT_EQ(pty.Receive(out.size(), 5000ms), out);

    EXPECT_EQ(port.BytesQueued(), 0u);
    uint8_t buf[64];
    EXPECT_EQ(port.Read(buf, sizeof buf), 0u);  // nothing queued: returns at once
    ASSERT_TRUE(pty.Send(out));
    ASSERT_TRUE(testing::WaitUntil([&] { return port.BytesQueued() == out.size(); }));
    // Reads take at most what they are asked for.
    EXPECT_EQ(port.Read(buf, 4), 4u);
    EXPECT_EQ(port.BytesQueued(), out.size() - 4);
    EXPECT_EQ(port.Read(buf + 4, sizeof buf - 4), out.size() - 4);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + out.size()), out);
    EXPECT_FALSE(port.HungUp());
}

TEST_F(PosixPortOnPty, NoticesHangUpWhenOtherSideCloses) {
    ASSERT_TRUE(port.Configure(SerialSettings{}));
    pty.CloseMaster();
    uint8_t buf[8];
    EXPECT_EQ(port.Read(buf, sizeof buf), 0u);
    EXPECT_TRUE(port.HungUp());
    const uint8_t b = 0x58;
    EXPECT_EQ(port.Write(&b, 1), 0u);
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.PollFd(), -1);
}

TEST_F(PosixPortOnPty, FullOutputQueueGivesUpWhenCancelled) {
    ASSERT_TRUE(port.Configure(SerialSettings{}));
    // Nobody reads the other side; a raised cancel descriptor ends the wait for room.
    int cancel = eventfd(1, EFD_CLOEXEC);
    ASSERT_GE(cancel, 0);
    std::vector<uint8_t> chunk(1024, 0x55);
    bool shortWrite = false;
    for (int i = 0; i < 2000 && !shortWrite; ++i)
        shortWrite = port.Write(chunk.data(), chunk.size(), cancel) < chunk.size();
    close(cancel);
    EXPECT_TRUE(shortWrite);
}

// Another program cannot share the port while we hold it, and closing gives it back (a pty
// would otherwise stay marked exclusive while its other side lives).
TEST_F(PosixPortOnPty, ExclusiveWhileOpenReleasedOnClose) {
    const auto exclusive = [&]() -> int {
        int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (other < 0) return errno == EBUSY ? 1 : -1;
        int excl = -1;
        if (::ioctl(other, TIOCGEXCL, &excl) != 0) excl = -1;
        ::close(other);
        return excl;
    };
    EXPECT_EQ(exclusive(), 1);
    port.Close();
    EXPECT_EQ(exclusive(), 0);
    ASSERT_TRUE(port.Open(pty.SlavePath()));
    EXPECT_EQ(exclusive(), 1);
}

// Whoever holds the port keeps it: another port object, a program that only flock()s it, a
// live process's lock file; we are refused even as root, and told who it is. A lock file of a
// process that is gone is taken over, and ours goes with the port.
TEST(PortSharing, HeldPortsAreRefusedAndStaleLockFilesTaken) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    char folder[] = "/tmp/corvix_locks_XXXXXX";
    const std::string locks = mkdtemp(folder);
    const std::string lockFile = locks + "/LCK..pts_" + pty.SlavePath().substr(9);
    const std::string us = "test_link (PID " + std::to_string(getpid()) + ")";
    const auto ReadAll = [](const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const auto refused = [&](const std::string& holder) {
        PosixSerialPort port(locks);
        EXPECT_TRUE(!port.Open(pty.SlavePath()) && port.LastOpenError() == EBUSY);
        EXPECT_EQ(port.LastOpenHolder().find(holder), 0u) << port.LastOpenHolder();
    };
    {
        PosixSerialPort first(locks);
        ASSERT_TRUE(first.Open(pty.SlavePath()));
        EXPECT_EQ(std::stol(ReadAll(lockFile)), getpid());
        refused(us);
    }
    EXPECT_FALSE(fs::exists(lockFile));
    const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(other, LOCK_EX), 0);
    refused(us);
    close(other);
    std::ofstream(lockFile) << "         1\n";  // init: always alive
    std::string init = ReadAll("/proc/1/comm");
    refused(init.erase(init.find('\n')) + " (PID 1)");
    std::ofstream(lockFile) << std::stol(ReadAll("/proc/sys/kernel/pid_max")) << "\n";  // no such PID
    PosixSerialPort port(locks);
    EXPECT_TRUE(port.Open(pty.SlavePath()));
    EXPECT_EQ(std::stol(ReadAll(lockFile)), getpid());
    port.Close();
    fs::remove_all(locks);
}

TEST(PosixPort, OpenFailuresKeepTheReason) {
    PosixSerialPort port;
    EXPECT_FALSE(port.Open("/nonexistent/ttyS99"));
    EXPECT_EQ(port.LastOpenError(), ENOENT);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Configure(SerialSettings{}));
    uint8_t b = 0;
    EXPECT_EQ(port.Write(&b, 1), 0u);
    EXPECT_EQ(port.Read(&b, 1), 0u);
}

TEST(PosixPort, PlainFileIsNotAPort) {
    const fs::path file = fs::temp_directory_path() / ("corvix_not_a_tty_" + std::to_string(getpid()));
    std::ofstream(file) << "x";
    PosixSerialPort port;
    ASSERT_TRUE(port.Open(file.string()));
    EXPECT_FALSE(port.Configure(SerialSettings{}));
    port.Close();
    fs::remove(file);
}

// ---- port list ----

class PortList : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("corvix_sysfs_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    // A tty entry; `withDevice` gives it the `device` link real hardware has.
    void AddTty(const std::string& name, bool withDevice, int type = -1) {
        const fs::path dir = root / name;
        fs::create_directories(dir);
        if (withDevice) fs::create_directory_symlink(root, dir / "device");
        if (type >= 0) std::ofstream(dir / "type") << type << "\n";
    }

    fs::path root;
};

TEST_F(PortList, KeepsTenRealPortsInNaturalOrder) {
    for (int i = 11; i >= 0; --i) AddTty("ttyS" + std::to_string(i), true, 4);
    AddTty("tty0", false);
    AddTty("ptmx", false);
    std::vector<std::string> names = {"stale"};
    EXPECT_EQ(EnumeratePorts(names, root.string()), MaxSerialPorts);
    ASSERT_EQ(names.size(), std::size_t(MaxSerialPorts));
    for (int i = 0; i < MaxSerialPorts; ++i) EXPECT_EQ(names[i], "/dev/ttyS" + std::to_string(i));
}

TEST_F(PortList, SkipsPlaceholdersAndVirtualTerminals) {
    AddTty("ttyS0", true, 4);  // a 16550A
    AddTty("ttyS1", true, 0);  // placeholder: no UART behind it
    AddTty("ttyS2", true, 0);
    AddTty("ttyUSB0", true);  // USB adapter, no type attribute
    AddTty("ttyACM0", true);
    AddTty("tty1", false);  // virtual console
    AddTty("pts", false);
    std::vector<std::string> names;
    EXPECT_EQ(EnumeratePorts(names, root.string()), 3);
    EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0"}));
}

TEST_F(PortList, MissingRootIsMinusOneAndEmptyTreeIsZero) {
    std::vector<std::string> names = {"stale"};
    EXPECT_EQ(EnumeratePorts(names, (root / "missing").string()), -1);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(EnumeratePorts(names, root.string()), 0);
}

TEST_F(PortList, ByIdNamesAreFullPathsSorted) {
    std::ofstream(root / "usb-Maker_B-if00-port0").put('x');
    std::ofstream(root / "usb-Maker_A-if00-port0").put('x');
    std::vector<std::string> paths;
    EXPECT_EQ(ListSerialById(paths, root.string()), 2);
    EXPECT_EQ(paths, (std::vector<std::string>{(root / "usb-Maker_A-if00-port0").string(),
                                               (root / "usb-Maker_B-if00-port0").string()}));
    EXPECT_EQ(ListSerialById(paths, (root / "none").string()), 0);
    EXPECT_TRUE(paths.empty());
}

}  // namespace
}  // namespace corvix
