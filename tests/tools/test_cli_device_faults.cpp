// SPDX-License-Identifier: Apache-2.0
// corvix-cli device ... against a misbehaving simulated device, and its refusals of bad
// arguments, ports and files.
#include <algorithm>

#include "test_cli_device_support.h"

namespace {

using namespace corvix;
using namespace cli_device_test;

sim::SimOptions Faulty(const sim::FaultSwitches& faults) {
    sim::SimOptions o;
    o.faults = faults;
    return o;
}

// The frames of the "send-->" entries of a communication log, in order.
std::vector<std::string> SentEntries(const std::string& log) {
    std::vector<std::string> entries;
    std::size_t at = log.find("send-->");
    while (at != std::string::npos) {
        const std::size_t bytes = log.find("\r\n", at) + 2;
        const std::size_t next = log.find("receive<--", bytes);
        const std::size_t nextSend = log.find("send-->", bytes);
        std::size_t end = std::min({next, nextSend, log.find("corvix-cli:", bytes)});
        // A header line starts with its time stamp: the entry ends where that line starts.
        if (end != std::string::npos && end != log.find("corvix-cli:", bytes)) end = log.rfind('\n', end) + 1;
        entries.push_back(log.substr(bytes, end == std::string::npos ? std::string::npos : end - bytes));
        at = nextSend;
    }
    return entries;
}

TEST(CliDeviceFaults, ALostRequestIsResentAndTheReadCompletes) {
    SimulatedDevice sim(Faulty({.dropEvery = 3}));  // the third request goes unanswered
    TempDir dir;
    const std::string file = dir.File("p.mac");
    WriteProject(file, *MakeProject({1}));

    Result r = RunCli({"device", "read-config", file, "--port", sim.Path(), "--log"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Updated devices: 0\n");
    EXPECT_EQ(Count(r.err, "send-->repeat=1\r\n"), 1) << r.err;
    const sim::ConfigImage image = sim.Device().Image();
    EXPECT_EQ(ImageOf(LoadProject(file)->devices[0]), Bytes(image.begin(), image.end()));
}

TEST(CliDeviceFaults, ACorruptAcknowledgementIsAnsweredByAResendAndTheWriteCompletes) {
    SimulatedDevice sim(Faulty({.badChecksumEvery = 3}));  // the last piece's first acknowledgement
    TempDir dir;
    const std::string file = dir.File("p.mac");
    auto project = MakeProject({1});
    CopyTextField(project->devices[0].name, DeviceNameSize, "after a resend");
    WriteProject(file, *project);

    Result r = RunCli({"device", "write-config", file, "--device", "0", "--port", sim.Path(), "--log"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Write Data Success\n");
    const std::vector<std::string> sent = SentEntries(r.err);
    ASSERT_GE(sent.size(), 2u) << r.err;
    EXPECT_EQ(sent.back(), sent[sent.size() - 2]);  // the identical frame again
    EXPECT_EQ(Count(r.err, "send-->repeat=1\r\n"), 1);
    const sim::ConfigImage held = sim.Device().Image();
    EXPECT_EQ(Bytes(held.begin(), held.end()), ImageOf(project->devices[0]));
}

// A reply in two bursts with a pause well beyond the 100 ms quiet gap reaches the program as
// two receptions, neither of them a frame; every resend meets the same fate, so the command
// gives up. (The pause leaves room for a worker that a busy machine wakes late.)
TEST(CliDeviceFaults, RepliesSplitByALongPauseEndInTheGiveUp) {
    SimulatedDevice sim(Faulty({.splitGapMs = 400}));
    Result r = RunCli({"device", "status", "--port", sim.Path(), "--log"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(SentEntries(r.err).size(), 4u) << r.err;
    EXPECT_EQ(Count(r.err, "receive<-- ("), 8) << r.err;
    EXPECT_EQ(Count(r.err, "receive<-- (incomplete)\r\n"), 4) << r.err;
    EXPECT_NE(r.err.find("Can not connect to device"), std::string::npos) << r.err;
}

TEST(CliDeviceFaults, ASilentDeviceIsAskedFourTimesThenGivenUp) {
    SimulatedDevice sim(Faulty({.silent = true}));
    Result r = RunCli({"device", "status", "--port", sim.Path(), "--log"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    const std::vector<std::string> sent = SentEntries(r.err);
    ASSERT_EQ(sent.size(), 4u) << r.err;
    for (const std::string& s : sent) EXPECT_EQ(s, "58 07 00 40 00 00 00 00 10 30 80 00 00 00 16 \r\n");
    for (int repeat = 0; repeat < 4; ++repeat)
        EXPECT_EQ(Count(r.err, "send-->repeat=" + std::to_string(repeat) + "\r\n"), 1) << r.err;
    EXPECT_EQ(Count(r.err, "receive<--"), 0);
    EXPECT_NE(r.err.find("Can not connect to device"), std::string::npos) << r.err;
    EXPECT_EQ(sim.Server().Stats().requests, 4u);
}

TEST(CliDeviceFaults, UsageErrors) {
    TempDir dir;
    const std::string file = dir.File("p.mac");
    WriteProject(file, *MakeProject({1, 2}));
    const std::vector<std::vector<std::string>> cases = {
        {"device"},
        {"device", "status"},                                  // no port
        {"device", "reboot", "--port", "/dev/null"},           // no such subcommand
        {"device", "status", "--port", "/dev/null", "--csv"},  // not an option of status
        {"device", "status", "--port", "/dev/null", "--baud", "fast"},
        {"device", "status", "--port", "/dev/null", "--parity", "mark"},
        {"device", "status", "--port", "/dev/null", "--stop-bits", "3"},
        {"device", "status", "--port", "/dev/null", "--lang", "fr"},
        {"device", "clock", "--port", "/dev/null", "--set"},                       // value missing
        {"device", "read-config", "--port", "/dev/null"},                          // no FILE
        {"device", "write-config", file, "--port", "/dev/null"},                   // no --device
        {"device", "write-config", file, "--device", "2", "--port", "/dev/null"},  // only 0 and 1
        {"device", "events", file, "--device", "-1", "--port", "/dev/null"},
        {"device", "monitor", "--port", "/dev/null", "--seconds", "soon"},
    };
    for (const auto& args : cases) {
        Result r = RunCli(args);
        std::string joined;
        for (const std::string& a : args) joined += a + " ";
        EXPECT_EQ(r.exitCode, 2) << joined << r.err;
        EXPECT_NE(r.err.find("usage: corvix-cli device"), std::string::npos) << joined;
    }
    Result help = RunCli({"device", "events", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: corvix-cli device events", 0), 0u) << help.out;
}

TEST(CliDeviceFaults, PortAndFileErrors) {
    TempDir dir;
    Result missing = RunCli({"device", "status", "--port", dir.File("no-such-tty")});
    EXPECT_EQ(missing.exitCode, 4);
    EXPECT_NE(missing.err.find("Open serial port error"), std::string::npos) << missing.err;

    // Not a terminal: it opens but cannot be programmed.
    Result notTty = RunCli({"device", "status", "--port", "/dev/null"});
    EXPECT_EQ(notTty.exitCode, 4);

    SimulatedDevice sim;
    // A line setting termios cannot express.
    EXPECT_EQ(RunCli({"device", "status", "--port", sim.Path(), "--stop-bits", "1.5"}).exitCode, 4);
    EXPECT_EQ(sim.Server().Stats().requests, 0u);

    const std::string absent = dir.File("absent.mac");
    Result noFile = RunCli({"device", "read-config", absent, "--port", sim.Path()});
    EXPECT_EQ(noFile.exitCode, 3);
    EXPECT_NE(noFile.err.find("Can not open file"), std::string::npos) << noFile.err;

    const std::string junk = dir.File("junk.mac");
    {
        std::ofstream out(junk, std::ios::binary);
        out << "not a project";
    }
    Result badFile = RunCli({"device", "events", junk, "--device", "0", "--port", sim.Path()});
    EXPECT_EQ(badFile.exitCode, 3);
    EXPECT_NE(badFile.err.find("file format error"), std::string::npos) << badFile.err;
    EXPECT_EQ(ReadAll(junk), Bytes({'n', 'o', 't', ' ', 'a', ' ', 'p', 'r', 'o', 'j', 'e', 'c', 't'}));
}

}  // namespace
