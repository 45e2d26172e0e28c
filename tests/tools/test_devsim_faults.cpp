// SPDX-License-Identifier: Apache-2.0
// The failure switches and line pacing of the simulated device, seen from the PC's end.
#include <sys/ioctl.h>

#include "link/line_speed.h"
#include "test_devsim_support.h"

namespace {

using namespace corvix;
using namespace corvix::sim;
using namespace devsim_test;

class DevsimFaults : public DeviceLine {
  public:
    const Bytes status = Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS);
};

TEST_F(DevsimFaults, SilentDeviceReadsButNeverAnswersUntilSwitchedBack) {
    SimOptions o;
    o.faults.silent = true;
    Begin(o);
    ExpectNoAnswer(status);
    ExpectNoAnswer(Request(CTRL_SIMPLE, 0, TYPE_READ, FC_CLOCK));
    EXPECT_EQ(server_->Stats().replies, 0u);
    server_->SetFaults(FaultSwitches{});
    const Bytes reply = Exchange(status);
    EXPECT_TRUE(ValidateFrame(reply.data(), reply.size()));
}

TEST_F(DevsimFaults, DropEveryThirdRequestIgnoresItWhole) {
    SimOptions o;
    o.faults.dropEvery = 3;
    Begin(o);
    EXPECT_FALSE(Exchange(status).empty());
    EXPECT_FALSE(Exchange(status).empty());
    // The dropped request never reaches the device: an output test in it changes nothing.
    uint8_t on[OutputTestRequestSize];
    WriteOutputTestPayload(on, 1);
    ExpectNoAnswer(Request(CTRL_SIMPLE, 0, TYPE_WRITE, FC_OUTPUT_TEST, Bytes(on, on + sizeof on)));
    EXPECT_EQ(Device().CpuFailureTest(), 0);
    EXPECT_FALSE(Exchange(status).empty());
    EXPECT_FALSE(Exchange(status).empty());
    ExpectNoAnswer(status);
    const ServerStats s = server_->Stats();
    EXPECT_EQ(s.requests, 6u);
    EXPECT_EQ(s.dropped, 2u);
    EXPECT_EQ(s.replies, 4u);
}

TEST_F(DevsimFaults, EverySecondReplyHasItsChecksumOffByOne) {
    SimOptions o;
    o.faults.badChecksumEvery = 2;
    o.device.signalCount = 4;
    Begin(o);
    const Bytes good = Exchange(status);
    ASSERT_EQ(good.size(), 8u + 7 + 10 + 4 + 3);
    ASSERT_TRUE(Send(status));
    const Bytes bad = pc_.ReadExactly(good.size(), WaitMs);
    ASSERT_EQ(bad.size(), good.size());
    EXPECT_FALSE(ValidateFrame(bad.data(), bad.size()));
    const std::size_t at = good.size() - 5;
    EXPECT_EQ(GetU32(bad.data() + at), GetU32(good.data() + at) + 1);
    EXPECT_TRUE(std::equal(bad.begin(), bad.begin() + at, good.begin()));
    EXPECT_EQ(Exchange(status), good);  // the third is sound again
    EXPECT_EQ(server_->Stats().corrupted, 1u);
    EXPECT_EQ(server_->Stats().replies, 3u);
}

TEST_F(DevsimFaults, SplitGapWritesTwoBurstsNeitherOfWhichIsAFrame) {
    SimOptions o;
    // Long enough that the second burst cannot come by itself while the test looks.
    o.faults.splitGapMs = 600000;
    o.device.signalCount = 6;
    Begin(o);
    const std::size_t size = 8 + 7 + 10 + 6 + 3;
    ASSERT_TRUE(Send(status));
    const Bytes first = pc_.ReadExactly(size / 2, WaitMs);
    ASSERT_EQ(first.size(), size / 2);
    EXPECT_EQ(pc_.Available(), 0u);
    EXPECT_FALSE(ValidateFrame(first.data(), first.size()));

    // Shortening the gap releases the second burst at once.
    server_->SetFaults(FaultSwitches{});
    const Bytes second = pc_.ReadExactly(size - size / 2, WaitMs);
    ASSERT_EQ(second.size(), size - size / 2);
    EXPECT_FALSE(ValidateFrame(second.data(), second.size()));
    Bytes whole = first;
    whole.insert(whole.end(), second.begin(), second.end());
    EXPECT_TRUE(ValidateFrame(whole.data(), whole.size()));
    EXPECT_TRUE(WaitForRequests(*server_, sent_));
    EXPECT_EQ(server_->Stats().replies, 1u);
}

TEST_F(DevsimFaults, StopEndsAReplyInTheMiddleOfItsGap) {
    SimOptions o;
    o.faults.splitGapMs = 600000;
    Begin(o);
    ASSERT_TRUE(Send(status));
    ASSERT_FALSE(pc_.ReadSome(WaitMs).empty());
    server_->Stop();  // must not wait out the gap (the test's time-out would catch it)
    EXPECT_FALSE(server_->IsRunning());
    EXPECT_FALSE(server_->IsOpen());
}

// Pacing changes when bytes cross, never which bytes: whole replies at an odd rate, read from
// the line through termios2, and a stop ends a long think time.
TEST_F(DevsimFaults, PacedLineDeliversWholeRepliesAndStopEndsATurnaround) {
    SimOptions o;
    o.pacing.pace = true;
    Begin(o);
    ASSERT_TRUE(SetLineSpeed(pc_.Fd(), 250000));
    const Bytes piece = Exchange(Request(CTRL_LAST, 0, TYPE_READ, FC_CONFIG));
    EXPECT_TRUE(ValidateFrame(piece.data(), piece.size()) && piece.size() == MaxFrameSize);
    server_->SetPacing({.pace = true, .turnaroundMs = 600000});
    ASSERT_TRUE(Send(status));
    for (int i = 0, unread = 1; i < WaitMs && unread > 0 && !::ioctl(pc_.Fd(), TIOCOUTQ, &unread); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // until the device thinks
    server_->Stop();  // must not wait out the think time (the test's time-out would catch it)
    EXPECT_EQ(pc_.Available(), 0u);
    EXPECT_EQ(server_->Stats().replies, 1u);
}

}  // namespace
