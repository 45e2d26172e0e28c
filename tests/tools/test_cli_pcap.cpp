// SPDX-License-Identifier: Apache-2.0
// corvix-cli device ... --pcap end to end against the simulated device: the capture file read
// back block by block (and by tshark when it is installed).
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "test_cli_device_support.h"

namespace {

using namespace corvix;
using namespace cli_device_test;

uint32_t U32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

struct Packet {
    uint64_t micros = 0;
    uint32_t flags = 0;
    std::string comment;
    Bytes data;
};

struct Capture {
    std::string error;  // empty: every block well formed, a section header first
    uint16_t linkType = 0;
    std::map<int, std::string> ifOptions;
    std::vector<Packet> packets;
};

// A reader of its own, written from the format's block layout: options (code, length, value
// padded to 32 bits) run from `at` to `end`.
std::map<int, std::string> Options(const Bytes& b, std::size_t at, std::size_t end) {
    std::map<int, std::string> out;
    for (std::size_t length; at + 4 <= end && (b[at] | b[at + 1]) != 0; at += 4 + (length + 3) / 4 * 4) {
        length = b[at + 2] | (b[at + 3] << 8);
        out[b[at] | (b[at + 1] << 8)].assign(b.begin() + long(at + 4), b.begin() + long(std::min(at + 4 + length, end)));
    }
    return out;
}

Capture Read(const Bytes& b) {
    Capture c;
    for (std::size_t at = 0; at < b.size() && c.error.empty();) {
        const uint32_t type = at + 8 <= b.size() ? U32(b, at) : 0, length = at + 8 <= b.size() ? U32(b, at + 4) : 0;
        if (length % 4 != 0 || length < 12 || at + length > b.size() || U32(b, at + length - 4) != length)
            c.error = "bad block at " + std::to_string(at);
        else if (at == 0 && (type != 0x0A0D0D0A || U32(b, 8) != 0x1A2B3C4D))
            c.error = "no section header first";
        else if (type == 1) {
            c.linkType = static_cast<uint16_t>(b[at + 8] | (b[at + 9] << 8));
            c.ifOptions = Options(b, at + 16, at + length - 4);
        } else if (type == 6) {
            Packet p;
            p.micros = (uint64_t(U32(b, at + 12)) << 32) | U32(b, at + 16);
            const std::size_t captured = U32(b, at + 20);
            p.data.assign(b.begin() + long(at + 28), b.begin() + long(at + 28 + captured));
            auto options = Options(b, at + 28 + (captured + 3) / 4 * 4, at + length - 4);
            p.comment = options[1];
            if (options[2].size() == 4) p.flags = U32(Bytes(options[2].begin(), options[2].end()), 0);
            c.packets.push_back(std::move(p));
        }
        at += std::max<std::size_t>(length, 4);
    }
    if (b.empty()) c.error = "empty";
    return c;
}

uint64_t NowMicros() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

sim::SimOptions Options(int segmentSize = 0) {
    sim::SimOptions o;
    o.device.address = 1;
    o.device.uiLanguage = LangEnglish;
    if (segmentSize > 0) o.device.segmentSize = segmentSize;
    return o;
}

TEST(CliDevicePcap, EveryFrameIsOnePacketWithItsDirectionTimeAndComment) {
    SimulatedDevice sim(Options(500));  // five pieces
    sim.Server().SetFaults({.badChecksumEvery = 3});
    TempDir dir;
    const std::string project = dir.File("p.mac");
    const std::string capture = dir.File("link.pcapng");
    WriteProject(project, *MakeProject({1}));

    const uint64_t before = NowMicros();
    Result r = RunCli({"device", "read-config", project, "--port", sim.Path(), "--log", "--baud", "9600",
                       "--parity", "odd", "--pcap", capture});
    const uint64_t after = NowMicros();
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const Capture c = Read(ReadAll(capture));
    ASSERT_EQ(c.error, "");
    EXPECT_EQ(c.linkType, 147);
    EXPECT_EQ(c.ifOptions.at(2), sim.Path());  // if_name
    EXPECT_EQ(c.ifOptions.at(3), "9600 baud 8O1");
    // One packet per entry of the text log, in its order and with its words.
    const int sent = Count(r.err, "send-->"), received = Count(r.err, "receive<--");
    ASSERT_EQ(c.packets.size(), static_cast<std::size_t>(sent + received)) << r.err;
    int bad = 0;
    std::size_t searchFrom = 0;
    for (std::size_t i = 0; i < c.packets.size(); ++i) {
        const Packet& p = c.packets[i];
        ASSERT_FALSE(p.data.empty());
        EXPECT_EQ(p.data.front(), 0x58);
        EXPECT_EQ(p.data.back(), 0x16);
        EXPECT_GE(p.micros, before);
        EXPECT_LE(p.micros, after);
        if (i > 0) {
            EXPECT_GE(p.micros, c.packets[i - 1].micros);
        }
        const bool out = p.flags == 2;
        EXPECT_TRUE(out || p.flags == 1) << p.flags;
        const std::string header = out ? "send-->" + p.comment : "receive<-- (" + p.comment + ")";
        const std::size_t at = r.err.find(header, searchFrom);
        EXPECT_NE(at, std::string::npos) << "packet " << i << ": " << header;
        if (at != std::string::npos) searchFrom = at + 1;
        if (p.comment == "checksum bad") ++bad;
    }
    EXPECT_GE(bad, 1);  // the corrupted replies were asked for again and are packets too

    // The packet analyser itself reads the file, when installed.
    if (access("/usr/bin/tshark", X_OK) == 0) {
        Result t = corvix::test::RunProgram("/usr/bin/tshark", {"-r", capture, "-T", "fields", "-e", "frame.len"});
        EXPECT_EQ(t.exitCode, 0) << t.err;
        EXPECT_EQ(Lines(t.out).size(), c.packets.size()) << t.out << t.err;
    }
}

TEST(CliDevicePcap, AFileThatCannotBeMadeStopsBeforeAnyTraffic) {
    SimulatedDevice sim(Options());
    TempDir dir;
    const std::string blocker = dir.File("blocker");
    std::ofstream(blocker) << "x";
    struct Case {
        std::string path;
        const char* lang;
        const char* words;
    } const cases[] = {
        {blocker + "/x.pcapng", "en", "Cannot create the capture file"},
        {blocker + "/x.pcapng", "zh", "无法创建抓包文件"},
        {"/dev/full", "en", "Nothing was sent to the device"},
    };
    for (const Case& c : cases) {
        Result r = RunCli({"device", "status", "--port", sim.Path(), "--log", "--lang", c.lang, "--pcap", c.path});
        EXPECT_EQ(r.exitCode, 3) << r.err;
        EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.path), std::string::npos) << r.err;
        EXPECT_EQ(Count(r.err, "send-->"), 0) << r.err;
    }
    EXPECT_EQ(sim.Server().Stats().requests, 0u);

    Result empty = RunCli({"device", "status", "--port", sim.Path(), "--pcap="});
    EXPECT_EQ(empty.exitCode, 2) << empty.err;
    Result help = RunCli({"device", "clock", "--help"});
    EXPECT_NE(help.out.find("--pcap FILE"), std::string::npos) << help.out;
}

TEST(CliDevicePcap, AReaderThatGoesAwayFailsTheCaptureNotTheCommand) {
    SimulatedDevice sim(Options());
    TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Cli cli({"device", "monitor", "--port", sim.Path(), "--seconds", "4", "--pcap", fifo});
    {
        std::ifstream reader(fifo, std::ios::binary);  // lets the command open it, then quits
        char head[4] = {};
        ASSERT_TRUE(reader.read(head, sizeof head).good());
        EXPECT_EQ(Bytes(head, head + 4), (Bytes{0x0A, 0x0D, 0x0D, 0x0A}));
    }
    const Result r = cli.Wait(WaitMs * 2);
    EXPECT_EQ(r.exitCode, 3) << r.err;  // the monitor itself went on to its end
    EXPECT_EQ(Count(r.err, "Cannot write the capture file"), 1) << r.err;
    EXPECT_NE(r.out.find("Binary1:"), std::string::npos) << r.out;
}

}  // namespace
