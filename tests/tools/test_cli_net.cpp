// SPDX-License-Identifier: Apache-2.0
// corvix-cli against serial device servers (a real ser2net bridging to corvix-devsim) and
// against a port another program holds: the exit code and the very text the window shows.
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include "fakes/ser2net_server.h"
#include "link/comm_link.h"
#include "present/link_messages.h"
#include "test_cli_device_support.h"

namespace {

using namespace corvix;
using namespace cli_device_test;

// What corvix-cli prints on stderr when opening `name` fails, worked out in this process.
std::string ExpectedComplaint(const std::string& name) {
    CommLink link;
    link.settings.portName = name;
    std::string text;
    for (const UserMessage& m : ConnectMessages(link.Connect(), link, LangEnglish))
        text += "corvix-cli: " + m.text + "\n";
    return text;
}

TEST(CliNet, StatusThroughSer2netToTheSimulatedDevice) {
    CORVIX_REQUIRE_SER2NET();
    // One device and one server for each kind: a server releases its device on its own time
    // after a connection ends.
    for (const bool rfc2217 : {true, false}) {
        test::Program devsim(test::BuiltProgram("corvix-devsim"), {"--change-every-ms", "0", "--english"});
        const std::string pty = devsim.FirstLine(WaitMs);
        ASSERT_FALSE(pty.empty()) << "corvix-devsim did not start";
        test::Ser2netServer server(pty);
        ASSERT_TRUE(server.Ok()) << "ser2net did not start";
        const std::string name = rfc2217 ? server.Rfc2217Name() : server.RawName();
        SCOPED_TRACE(name);
        const Result r = RunCli({"device", "status", "--port", name, "--baud", "57600"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.rfind("Firmware: 01.02.03\n", 0), 0u) << r.out;
        EXPECT_EQ(Count(r.out, "\nBinary"), 65) << r.out;
    }
}

TEST(CliNet, UnreachableServersExitFourWithTheWindowsText) {
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(test::FreeTcpPort());
    std::vector<std::string> names = {refused, "rfc2217://127.0.0.1:0"};
    // A server whose serial device cannot be opened closes each connection at once.
    std::unique_ptr<test::Ser2netServer> server;
    if (!test::Ser2netProgram().empty()) {
        server = std::make_unique<test::Ser2netServer>("/dev/corvix-no-such-device");
        ASSERT_TRUE(server->Ok());
        names.push_back(server->Rfc2217Name());
    }
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const Result r = RunCli({"device", "status", "--port", name, "--lang", "en"});
        EXPECT_EQ(r.exitCode, 4);
        EXPECT_EQ(r.err, ExpectedComplaint(name));
    }
    EXPECT_NE(ExpectedComplaint(refused).find("refused"), std::string::npos);
    if (server) {
        EXPECT_NE(ExpectedComplaint(names.back()).find("closed the connection"), std::string::npos);
    }
}

// A process named like the service holds the port (flock, as those services do); the text
// names it with its PID and says how to get the port back.
TEST(CliNet, PortHeldByAKnownServiceGetsItsFix) {
    const struct {
        const char* name;
        const char* fix;
    } holders[] = {{"ModemManager", "ID_MM_DEVICE_IGNORE"}, {"brltty", "brltty-udev.service"}};
    for (const auto& h : holders) {
        SCOPED_TRACE(h.name);
        SimulatedDevice sim;
        int ready[2], release[2];
        ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
        ASSERT_EQ(pipe2(release, O_CLOEXEC), 0);
        const std::string path = sim.Path();  // the child may not allocate: other threads run
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(release[1]);  // else our own copy keeps the release from ever coming
            prctl(PR_SET_NAME, h.name);
            const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
            const char ok = fd >= 0 && flock(fd, LOCK_EX) == 0 ? '1' : '0';
            char byte;
            if (write(ready[1], &ok, 1) == 1) (void)!read(release[0], &byte, 1);
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        char ok = 0;
        ASSERT_EQ(read(ready[0], &ok, 1), 1);
        ASSERT_EQ(ok, '1');
        const std::string expected = ExpectedComplaint(path);
        const Result r = RunCli({"device", "status", "--port", path, "--lang", "en"});
        close(release[1]);
        close(ready[0]);
        waitpid(child, nullptr, 0);
        EXPECT_EQ(r.exitCode, 4);
        EXPECT_EQ(r.err, expected);
        EXPECT_NE(expected.find(std::string(h.name) + " (PID " + std::to_string(child) + ")"),
                  std::string::npos)
            << expected;
        EXPECT_NE(expected.find(h.fix), std::string::npos) << expected;
    }
}

}  // namespace
