// SPDX-License-Identifier: Apache-2.0
// The simulated device's parts on their own: frame finding, event store, clock, options,
// caller-driven serving and the hand-driven line ends.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "test_devsim_support.h"

namespace {

using namespace corvix;
using namespace corvix::sim;
using namespace devsim_test;

TEST(DevsimAssembler, FindsFramesInPiecesAfterNoiseAndDamage) {
    const Bytes a = Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS);
    const Bytes b = Request(CTRL_MORE, 1, TYPE_WRITE, FC_CONFIG, Bytes(928, 0x58));  // start bytes as data
    Bytes damaged = a;
    damaged[damaged.size() - 1] = 0x17;

    Bytes stream = {0x58, 0x58, 0x00};  // a start byte with an impossible length
    stream.reserve(stream.size() + damaged.size() + a.size() + b.size());
    stream.insert(stream.end(), damaged.begin(), damaged.end());
    stream.insert(stream.end(), a.begin(), a.end());
    stream.insert(stream.end(), b.begin(), b.end());

    // Fed one byte at a time, then all at once: the same two frames come out.
    for (std::size_t step : {std::size_t{1}, stream.size()}) {
        FrameAssembler fa;
        std::vector<Bytes> found;
        Bytes frame;
        for (std::size_t i = 0; i < stream.size(); i += step) {
            fa.Feed(stream.data() + i, std::min(step, stream.size() - i));
            while (fa.Next(frame)) found.push_back(frame);
        }
        ASSERT_EQ(found.size(), 2u) << "step " << step;
        EXPECT_EQ(found[0], a);
        EXPECT_EQ(found[1], b);
        EXPECT_EQ(fa.Buffered(), 0u);
        EXPECT_EQ(fa.DiscardedBytes(), 3 + damaged.size());
    }
}

TEST(DevsimAssembler, AFrameAfterAStrayStartByteIsNotSwallowed) {
    // A stray start byte claims a long frame; the real request behind it must still be found.
    const Bytes a = Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS);
    Bytes stream = {0x58, 0x00, 0x03};
    stream.insert(stream.end(), a.begin(), a.end());
    FrameAssembler fa;
    fa.Feed(stream.data(), stream.size());
    Bytes frame;
    ASSERT_TRUE(fa.Next(frame));
    EXPECT_EQ(frame, a);
    // Noise never piles up: a buffer of garbage keeps at most one incomplete candidate.
    const Bytes noise(5000, 0x58);
    fa.Feed(noise.data(), noise.size());
    EXPECT_FALSE(fa.Next(frame));
    EXPECT_LE(fa.Buffered(), MaxFrameSize);
}

WireEvent Named(const char* name) {
    WireEvent e;
    std::snprintf(e.designation, sizeof e.designation, "%s", name);
    return e;
}

TEST(DevsimEventLog, RingOfFiveHundredNumbersSlotsAndKeepsTheNewest) {
    EventLog log;
    for (int i = 0; i < 510; ++i) EXPECT_EQ(log.Add(Named(std::to_string(i).c_str())), i % 500);
    EXPECT_EQ(log.StoredCount(), 500);
    const std::vector<WireEvent> stored = log.Stored();
    ASSERT_EQ(stored.size(), 500u);
    EXPECT_STREQ(stored.front().designation, "10");  // oldest first
    EXPECT_EQ(stored.front().eventNumber, 10);
    EXPECT_STREQ(stored.back().designation, "509");
    EXPECT_EQ(stored.back().eventNumber, 9);
    // Unreported events whose slots were reused are gone as well.
    EXPECT_EQ(log.PendingCount(), 500);
    EXPECT_STREQ(log.Pending().front().designation, "10");

    log.BeginLogTransfer();
    int segments = 0;
    for (uint16_t k = 0;; ++k, ++segments) {
        const EventLog::Piece p = log.Serve(k);
        EXPECT_EQ(p.events.size(), 20u);
        if (!p.more) break;
    }
    EXPECT_EQ(segments + 1, 25);
}

TEST(DevsimEventLog, NewEventsCountAsReportedOnlyOnceThePcMovesOn) {
    EventLog log;
    for (int i = 0; i < 3; ++i) log.Add(Named("x"));
    log.BeginNewEventsTransfer();
    EXPECT_EQ(log.Serve(0).events.size(), 3u);
    log.Add(Named("late"));  // arrives while the reply is on its way
    EXPECT_EQ(log.PendingCount(), 4);
    log.CommitReported();
    ASSERT_EQ(log.PendingCount(), 1);
    EXPECT_STREQ(log.Pending()[0].designation, "late");
    log.CommitReported();  // nothing served since: nothing more goes
    EXPECT_EQ(log.PendingCount(), 1);
}

TEST(DevsimClock, CalendarArithmeticAndValidity) {
    int64_t pc = CivilMsFromFields({2024, 1, 1, 0, 0, 0, 0});
    DeviceClock clock([&] { return pc; });
    ASSERT_TRUE(clock.Set({2012, 2, 28, 23, 59, 59, 500}));
    pc += 1000;
    const ClockFields t = clock.Now();
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.day, 29);  // leap year
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.second, 0);
    EXPECT_EQ(t.millisecond, 500);
    const int64_t before = clock.OffsetMs();
    EXPECT_FALSE(clock.Set({2013, 2, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(clock.Set({2013, 1, 1, 24, 0, 0, 0}));
    EXPECT_FALSE(clock.Set({2013, 1, 1, 0, 0, 0, 1000}));
    EXPECT_FALSE(clock.Set({0, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(clock.OffsetMs(), before);
    const ClockFields early = FieldsFromCivilMs(CivilMsFromFields({1969, 12, 31, 23, 59, 59, 999}));
    EXPECT_EQ(early.year, 1969);
    EXPECT_EQ(early.millisecond, 999);
}

TEST(DevsimOptions, ParsesEveryOptionAndRefusesBadValues) {
    ParseResult r = ParseOptions({"corvix-devsim",
                                  "--address",
                                  "12",
                                  "--signals=253",
                                  "--segment-size",
                                  "500",
                                  "--seed",
                                  "7",
                                  "--change-every-ms",
                                  "0",
                                  "--silent",
                                  "--drop-every",
                                  "4",
                                  "--bad-checksum-every=5",
                                  "--split-gap-ms",
                                  "150",
                                  "--link",
                                  "/tmp/x",
                                  "--english",
                                  "--events",
                                  "30"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.device.address, 12);
    EXPECT_EQ(r.options.device.signalCount, 253);
    EXPECT_EQ(r.options.device.segmentSize, 500);
    EXPECT_EQ(r.options.device.seed, 7u);
    EXPECT_EQ(r.options.device.initialEvents, 30);
    EXPECT_EQ(r.options.device.uiLanguage, 1);
    EXPECT_EQ(r.options.changeEveryMs, 0);
    EXPECT_TRUE(r.options.faults.silent);
    EXPECT_EQ(r.options.faults.dropEvery, 4);
    EXPECT_EQ(r.options.faults.badChecksumEvery, 5);
    EXPECT_EQ(r.options.faults.splitGapMs, 150);
    EXPECT_EQ(r.options.linkPath, "/tmp/x");

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"s", "--signals", "254"},
                                               {"s", "--segment-size", "0"},
                                               {"s", "--segment-size", "932"},
                                               {"s", "--address", "12x"},
                                               {"s", "--drop-every", "-1"},
                                               {"s", "--seed"},
                                               {"s", "--silent=1"},
                                               {"s", "--frobnicate"}}) {
        EXPECT_FALSE(ParseOptions(bad).ok) << bad[1];
    }
    EXPECT_TRUE(ParseOptions({"s", "--help"}).help);
}

TEST(DevsimDevice, InputChangesAreRepeatableForASeedAndLoggedAsEvents) {
    DeviceSetup setup;
    setup.seed = 42;
    setup.signalCount = 90;  // beyond the image's 65 names
    SimDevice a(setup), b(setup);
    std::vector<int> seqA, seqB;
    for (int i = 0; i < 50; ++i) {
        seqA.push_back(a.ChangeRandomInput());
        seqB.push_back(b.ChangeRandomInput());
    }
    EXPECT_EQ(seqA, seqB);
    EXPECT_EQ(a.PendingEventCount(), 50);
    // Each event names its input and says which way it went.
    std::vector<uint8_t> state(90, 0);
    const std::vector<WireEvent> events = a.StoredEvents();
    for (std::size_t i = 0; i < events.size(); ++i) {
        const int input = seqA[i];
        state[static_cast<std::size_t>(input)] ^= 1;
        EXPECT_EQ(std::string(events[i].designation, strnlen(events[i].designation, 32)),
                  a.Designation(input));
        EXPECT_EQ(events[i].direction, state[static_cast<std::size_t>(input)] ? 1 : 0);
    }
    EXPECT_EQ(a.InputStates(), state);
    EXPECT_EQ(a.Designation(70), "BI71");
}

TEST(DevsimDevice, AnyWellFramedRequestGetsAWellFramedReplyOrNone) {
    // Whatever counts and segment numbers the requests claim, the device stays inside its
    // arrays and every answer it gives is itself a valid frame.
    SimDevice device;
    std::mt19937 random(2024);
    const uint8_t types[] = {TYPE_READ, TYPE_WRITE, TYPE_ACK, TYPE_DATA, 0x00};
    const uint8_t functions[] = {FC_CONFIG,    FC_CLOCK,      FC_STATUS, FC_OUTPUT_TEST,
                                 FC_EVENT_LOG, FC_NEW_EVENTS, 0xFF};
    const uint8_t controls[] = {CTRL_LAST, CTRL_MORE, CTRL_SIMPLE, CTRL_REPLY_MORE};
    for (int i = 0; i < 20; ++i) device.InjectEvent(i, true);
    int answered = 0;
    for (int i = 0; i < 5000; ++i) {
        Bytes data(random() % (MaxFrameData + 1));
        for (uint8_t& b : data) b = static_cast<uint8_t>(random() % 4 == 0 ? 0xFF : random());
        const uint16_t segment = static_cast<uint16_t>(random() % 3 == 0 ? random() : random() % 4);
        const Bytes request =
            Request(controls[random() % 4], segment, types[random() % 5], functions[random() % 7], data);
        const Bytes reply = device.HandleRequest(request.data(), request.size());
        if (reply.empty()) continue;
        ++answered;
        ASSERT_TRUE(ValidateFrame(reply.data(), reply.size())) << i;
        ASSERT_LE(reply.size(), MaxFrameSize);
    }
    EXPECT_GT(answered, 250);
    // Damaged requests are refused by the device itself, not only by the server.
    Bytes status = Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS);
    EXPECT_TRUE(device.HandleRequest(status.data(), status.size() - 1).empty());
    status[3] ^= 1;
    EXPECT_TRUE(device.HandleRequest(status.data(), status.size()).empty());
}

TEST(DevsimServer, CallerDrivenServingAnswersASplitRequestOnceWhole) {
    SimOptions o;
    o.changeEveryMs = 0;
    SimServer server(o);
    std::string error;
    ASSERT_TRUE(server.Open(&error)) << error;
    PortEnd pc;
    ASSERT_TRUE(pc.Open(server.DevicePath(), &error)) << error;
    const Bytes status = Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS);
    ASSERT_TRUE(pc.Write(status.data(), 6));
    EXPECT_EQ(server.Pump(WaitMs), 0);  // half a frame: nothing to answer yet
    EXPECT_EQ(pc.Available(), 0u);
    ASSERT_TRUE(pc.Write(status.data() + 6, status.size() - 6));
    EXPECT_EQ(server.Pump(WaitMs), 1);
    EXPECT_EQ(DecodeHeader(pc.ReadFrame(WaitMs).data(), 64).function, FC_STATUS);
    server.Stop();
    EXPECT_EQ(server.Pump(0), -1);
}

TEST(DevsimServer, LinkFollowsTheServerAndNeverReplacesAFile) {
    char dir[] = "/tmp/devsim-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/ttyDEV";
    SimOptions o;
    o.linkPath = link;
    {
        SimServer server(o);
        ASSERT_TRUE(server.Open());
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(server.DevicePath(), target);
        PortEnd pc;
        EXPECT_TRUE(pc.Open(link));
    }
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);  // gone with the server

    FILE* f = std::fopen(link.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    SimServer refused(o);
    std::string error;
    EXPECT_FALSE(refused.Open(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    unlink(link.c_str());
    rmdir(dir);
}

TEST(DevsimServer, ExclusiveModeEndsWhenThePortUserClosesTheLine) {
    // A port user that locks the line must be able to open it again after closing it.
    SimOptions o;
    o.changeEveryMs = 0;
    SimServer server(o);
    ASSERT_TRUE(server.Start());
    const std::string path = server.DevicePath();
    {
        PortEnd pc;
        ASSERT_TRUE(pc.Open(path));
        ASSERT_EQ(ioctl(pc.Fd(), TIOCEXCL), 0);
        int exclusive = 0;
        ASSERT_EQ(ioctl(pc.Fd(), TIOCGEXCL, &exclusive), 0);
        ASSERT_NE(exclusive, 0);
    }
    // Poll until the mode is gone (privileged test runs can still open the path meanwhile).
    int exclusive = 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WaitMs);
    while (exclusive != 0 && std::chrono::steady_clock::now() < deadline) {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            ioctl(fd, TIOCGEXCL, &exclusive);
            close(fd);
        }
        if (exclusive != 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(exclusive, 0);
}

TEST(DevsimRawDevice, TestPlaysTheDeviceByHand) {
    RawDevice device;
    std::string error;
    ASSERT_TRUE(device.Open(&error)) << error;
    PortEnd pc;
    ASSERT_TRUE(pc.Open(device.DevicePath(), &error)) << error;
    const Bytes request = Request(CTRL_SIMPLE, 0, TYPE_READ, FC_CLOCK);
    Bytes sent = {0x01, 0x02};  // line noise ahead of the request
    sent.insert(sent.end(), request.begin(), request.end());
    ASSERT_TRUE(pc.Write(sent));
    EXPECT_EQ(device.ReadFrame(WaitMs), request);
    // Any bytes at all go back, byte for byte, even one that is no frame.
    const Bytes odd = {0x58, 0x03, 0x00, 0x40, 0x0A, 0x0D, 0x16};
    ASSERT_TRUE(device.Write(odd));
    EXPECT_EQ(pc.ReadExactly(odd.size(), WaitMs), odd);
}

}  // namespace
