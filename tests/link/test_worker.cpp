// SPDX-License-Identifier: Apache-2.0
// The communication worker on a real pseudo-terminal and on the fake port: sending, where a
// reception ends (a complete frame, line quiet, 1024 bytes), hang-ups, and no spinning.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

#include "fakes/fake_serial_port.h"
#include "link/comm_worker.h"
#include "link/frame.h"
#include "link/garbage_pacer.h"
#include "pty_helper.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using testing::NoticeRecorder;
using testing::PtyPair;
using testing::WaitUntil;

std::vector<uint8_t> Pattern(std::size_t n, uint8_t seed = 0) {
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return v;
}

std::vector<uint8_t> Take(CommWorker& w) {
    std::vector<uint8_t> out(LinkBufferSize);
    out.resize(w.TakeReception(out.data(), out.size()));
    return out;
}

// A worker on the slave side of a pty, the test playing the device on the master side.
class WorkerOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        ASSERT_TRUE(port->Open(pty.SlavePath()));
        ASSERT_TRUE(port->Configure(SerialSettings{}));
        ASSERT_TRUE(worker.Start(port));
    }
    void TearDown() override { EXPECT_TRUE(worker.Stop()); }

    // Rounds of the loop over a short idle stretch; a spinning loop runs thousands.
    uint64_t RoundsWhileIdle() {
        const uint64_t before = worker.LoopCount();
        std::this_thread::sleep_for(200ms);
        return worker.LoopCount() - before;
    }

    PtyPair pty;
    std::shared_ptr<PosixSerialPort> port = std::make_shared<PosixSerialPort>();
    NoticeRecorder notices;
    std::shared_ptr<LinkBuffers> buffers = std::make_shared<LinkBuffers>();
    CommWorker worker{buffers, notices.Callback()};
};

TEST_F(WorkerOnPty, SubmittedFrameIsWrittenAndReportedWithItsBytes) {
    const auto frame = Pattern(37, 0x58);
    worker.Submit(frame.data(), frame.size());
    ASSERT_TRUE(notices.WaitFor(CommNotice::Sent, 1));
    EXPECT_EQ(pty.Receive(frame.size(), 5000ms), frame);
    const auto entries = notices.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].bytes, frame);
    std::lock_guard<std::mutex> g(buffers->txLock);
    EXPECT_FALSE(buffers->txPending);
}

TEST_F(WorkerOnPty, EachSubmitIsSentOnce) {
    const auto a = Pattern(10, 1), b = Pattern(20, 2);
    worker.Submit(a.data(), a.size());
    ASSERT_TRUE(notices.WaitFor(CommNotice::Sent, 1));
    worker.Submit(b.data(), b.size());
    ASSERT_TRUE(notices.WaitFor(CommNotice::Sent, 2));
    std::vector<uint8_t> both = a;
    both.insert(both.end(), b.begin(), b.end());
    EXPECT_EQ(pty.Receive(both.size() + 1, 300ms), both);
    EXPECT_EQ(notices.Count(CommNotice::Sent), 2u);
}

TEST_F(WorkerOnPty, BurstInQuickPiecesIsOneReception) {
    const auto reply = Pattern(300, 9);
    // Pieces a few milliseconds apart, well inside the quiet gap.
    for (std::size_t off = 0; off < reply.size(); off += 100) {
        ASSERT_TRUE(pty.Send({reply.begin() + off, reply.begin() + off + 100}));
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(notices.WaitFor(CommNotice::Received, 1));
    EXPECT_EQ(Take(worker), reply);
    EXPECT_EQ(notices.Count(CommNotice::Received), 1u);
}

TEST_F(WorkerOnPty, QuietLineEndsReceptionSoTwoBurstsGiveTwo) {
    const auto first = Pattern(40, 1), second = Pattern(25, 2);
    ASSERT_TRUE(pty.Send(first));
    // The first reception must end on its own while the line stays quiet.
    ASSERT_TRUE(notices.WaitFor(CommNotice::Received, 1));
    ASSERT_TRUE(pty.Send(second));
    // The second burst waits until the first reception is taken.
    EXPECT_EQ(Take(worker), first);
    ASSERT_TRUE(notices.WaitFor(CommNotice::Received, 2));
    EXPECT_EQ(Take(worker), second);
}

TEST_F(WorkerOnPty, OverlongReceptionStopsAt1024AndRestComesNext) {
    const auto burst = Pattern(1500, 3);
    ASSERT_TRUE(pty.Send(burst));
    ASSERT_TRUE(notices.WaitFor(CommNotice::Received, 1));
    {
        std::lock_guard<std::mutex> g(buffers->rxLock);
        EXPECT_EQ(buffers->rxLength, LinkBufferSize);
    }
    const auto head = Take(worker);
    ASSERT_TRUE(notices.WaitFor(CommNotice::Received, 2));
    const auto tail = Take(worker);
    EXPECT_EQ(head, std::vector<uint8_t>(burst.begin(), burst.begin() + LinkBufferSize));
    EXPECT_EQ(tail, std::vector<uint8_t>(burst.begin() + LinkBufferSize, burst.end()));
}

TEST_F(WorkerOnPty, IdleOrUntakenReceptionDoesNotSpin) {
    ASSERT_TRUE(WaitUntil([&] { return worker.LoopCount() >= 1; }));
    EXPECT_LE(RoundsWhileIdle(), 2u);

    // A reception nobody takes, with more bytes waiting behind it: the port stays readable,
    // the worker must not keep waking for it.
    ASSERT_TRUE(pty.Send(Pattern(10)));
    ASSERT_TRUE(notices.WaitFor(CommNotice::Received, 1));
    ASSERT_TRUE(pty.Send(Pattern(10)));
    EXPECT_LE(RoundsWhileIdle(), 2u);
    EXPECT_EQ(notices.Count(CommNotice::Received), 1u);
}

TEST_F(WorkerOnPty, OtherSideClosingDoesNotSpinAndStopStillWorks) {
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return worker.PortHungUp(); }));
    EXPECT_LE(RoundsWhileIdle(), 2u);

    // Writing to a line that is gone fails or is dropped, but never crashes or hangs.
    const auto frame = Pattern(12);
    worker.Submit(frame.data(), frame.size());
    EXPECT_TRUE(notices.WaitFor(CommNotice::SendFailed, 1));
    EXPECT_EQ(notices.Count(CommNotice::Sent), 0u);
    EXPECT_LE(RoundsWhileIdle(), 2u);
    // TearDown: Stop must end the thread within its wait.
}

// ---- where a reception ends: one table ----

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Reply(uint8_t tag) {
    uint8_t f[MaxFrameSize];
    return Bytes(f, f + BuildFrame(f, CTRL_LAST, 0, 1, TYPE_DATA, FC_STATUS, &tag, 1));
}

const Bytes kA = Reply(0xA1), kB = Reply(0xB2), kTail = {1, 2, 3};
const Bytes kA1(kA.begin(), kA.begin() + 2), kA2(kA.begin() + 2, kA.end());  // cut in the length field
const Bytes kBadEnd = Cat({Bytes(kA.begin(), kA.end() - 1), {0x17}});
const Bytes kHuge1 = Cat({{0x58, 0xFF, 0xFF}, Pattern(1021, 5)}), kHuge2 = Pattern(379, 9);  // 65543 declared

struct ReceptionCase {
    const char* name;
    std::vector<Bytes> bursts;  // a few ms apart, well inside the quiet gap, unless
    bool quietBetween;          // each waits until the previous reception ended (past the gap)
    std::vector<Bytes> receptions;
};

class ReceptionEnds : public WorkerOnPty, public ::testing::WithParamInterface<ReceptionCase> {};

TEST_P(ReceptionEnds, AsTheTableSays) {
    const ReceptionCase& c = GetParam();
    std::vector<Bytes> got;
    const auto next = [&] {
        EXPECT_TRUE(notices.WaitFor(CommNotice::Received, got.size() + 1));
        got.push_back(Take(worker));
    };
    for (std::size_t i = 0; i < c.bursts.size(); ++i) {
        if (i > 0) c.quietBetween ? next() : std::this_thread::sleep_for(5ms);
        ASSERT_TRUE(pty.Send(c.bursts[i]));
    }
    while (got.size() < c.receptions.size()) next();
    EXPECT_EQ(got, c.receptions);
    EXPECT_EQ(notices.Count(CommNotice::Received), c.receptions.size());
}

INSTANTIATE_TEST_SUITE_P(
    Worker, ReceptionEnds,
    ::testing::Values(
        // No quiet gap after a complete frame: bytes close behind it are a reception of their own.
        ReceptionCase{"CompleteFrameEndsAtOnce", {kA, kTail}, false, {kA, kTail}},
        ReceptionCase{"BackToBackFramesAreTwo", {Cat({kA, kB})}, false, {kA, kB}},
        ReceptionCase{"ShortPauseJoinsAFrame", {kA1, kA2}, false, {kA}},
        ReceptionCase{"LongPauseSplitsAFrame", {kA1, kA2}, true, {kA1, kA2}},
        ReceptionCase{"GarbageThenFrameWaitsForQuiet", {Cat({kTail, kA})}, false, {Cat({kTail, kA})}},
        // A wrong end byte at the declared end is no frame: what follows joins it.
        ReceptionCase{"WrongEndByteWaitsForQuiet", {kBadEnd, kB}, false, {Cat({kBadEnd, kB})}},
        ReceptionCase{"HugeDeclaredLengthStopsAt1024", {Cat({kHuge1, kHuge2})}, false, {kHuge1, kHuge2}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkerOnPty, GarbageBeyondItsBudgetIsReadLaterButWhole) {
    // Past the burst allowance the flood is read at the paced rate: nothing is dropped, and a
    // frame behind it still arrives.
    const Bytes garbage(static_cast<std::size_t>(GarbagePacer::BurstBytes) + 40 * 1024, 0x00);
    std::thread device([&] { EXPECT_TRUE(pty.Send(Cat({garbage, kA}))); });
    Bytes got;
    EXPECT_TRUE(WaitUntil([&] {
        for (Bytes r = Take(worker); !r.empty(); r = Take(worker)) got.insert(got.end(), r.begin(), r.end());
        return got.size() >= garbage.size() + kA.size();
    }));
    device.join();
    EXPECT_EQ(got, Cat({garbage, kA}));
}

TEST(GarbagePacerTest, BurstThenLineRateThenRefill) {
    using Clock = GarbagePacer::Clock;
    GarbagePacer pacer;
    const Clock::time_point t0{std::chrono::seconds(100)};
    const auto burst = static_cast<std::size_t>(GarbagePacer::BurstBytes);
    // The whole allowance may go at once.
    pacer.Charge(burst, t0);
    EXPECT_EQ(pacer.Pause(t0), 0ms);
    // One 1024-byte reception more: about a millisecond at the paced rate.
    pacer.Charge(1024, t0);
    EXPECT_GE(pacer.Pause(t0), 1ms);
    EXPECT_LE(pacer.Pause(t0), 2ms);
    // 100 ms later the rate has paid for it and more; a reading the clock back does no harm.
    EXPECT_EQ(pacer.Pause(t0 + 100ms), 0ms);
    EXPECT_EQ(pacer.Pause(t0), 0ms);
    // Once refilled, half a second's worth over the allowance waits about half a second.
    pacer.Charge(burst + static_cast<std::size_t>(GarbagePacer::BytesPerSecond / 2), t0 + 1s);
    EXPECT_GE(pacer.Pause(t0 + 1s), 490ms);
    EXPECT_LE(pacer.Pause(t0 + 1s), 510ms);
    // A long quiet spell refills only up to the allowance.
    pacer.Charge(0, t0 + 1h);
    pacer.Charge(burst, t0 + 1h);
    EXPECT_EQ(pacer.Pause(t0 + 1h), 0ms);
    pacer.Charge(1, t0 + 1h);
    EXPECT_GT(pacer.Pause(t0 + 1h), 0ms);
}

// ---- the same worker on the fake port: failures the pty cannot produce on demand ----

class WorkerOnFake : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(port->Open("fake"));
        ASSERT_TRUE(worker.Start(port));
    }
    std::shared_ptr<FakeSerialPort> port = std::make_shared<FakeSerialPort>();
    NoticeRecorder notices;
    std::shared_ptr<LinkBuffers> buffers = std::make_shared<LinkBuffers>();
    CommWorker worker{buffers, notices.Callback()};
};

TEST_F(WorkerOnFake, FailedWriteIsReportedAndLinkGoesOn) {
    port->FailWrites(true);
    const auto frame = Pattern(8);
    worker.Submit(frame.data(), frame.size());
    ASSERT_TRUE(notices.WaitFor(CommNotice::SendFailed, 1));
    port->FailWrites(false);
    worker.Submit(frame.data(), frame.size());
    ASSERT_TRUE(notices.WaitFor(CommNotice::Sent, 1));
    EXPECT_EQ(port->Written(), frame);
    EXPECT_TRUE(worker.Stop());
}

TEST_F(WorkerOnFake, StopInterruptsAStalledWrite) {
    port->StallWrites(true);
    // 1000 bytes: the write's own time-out (50 s) is far beyond Stop's wait.
    const auto frame = Pattern(1000);
    worker.Submit(frame.data(), frame.size());
    ASSERT_TRUE(WaitUntil([&] { return port->WriteCalls() == 1; }));
    EXPECT_TRUE(worker.Stop());
    EXPECT_FALSE(worker.Running());
}

TEST_F(WorkerOnFake, UnpluggedAdapterStopsReadingWithoutSpinning) {
    const auto data = Pattern(16);
    port->Feed(data.data(), data.size());
    ASSERT_TRUE(notices.WaitFor(CommNotice::Received, 1));
    port->HangUp();
    // The bytes that came before the unplug are still handed over.
    EXPECT_EQ(Take(worker), data);
    ASSERT_TRUE(WaitUntil([&] { return worker.PortHungUp(); }));
    const uint64_t before = worker.LoopCount();
    std::this_thread::sleep_for(200ms);
    EXPECT_LE(worker.LoopCount() - before, 2u);
    worker.Submit(data.data(), data.size());
    EXPECT_TRUE(notices.WaitFor(CommNotice::SendFailed, 1));
    EXPECT_TRUE(worker.Stop());
}

TEST(CommWorkerLifecycle, StartRefusesClosedPortAndSecondStart) {
    auto port = std::make_shared<FakeSerialPort>();
    CommWorker worker(nullptr, {});
    EXPECT_FALSE(worker.Start(port));  // not open
    ASSERT_TRUE(port->Open("x"));
    EXPECT_TRUE(worker.Start(port));
    EXPECT_FALSE(worker.Start(port));
    EXPECT_TRUE(worker.Stop());
    EXPECT_FALSE(worker.Running());
    EXPECT_TRUE(worker.Stop());       // twice is harmless
    EXPECT_TRUE(worker.Start(port));  // and it can run again
}

TEST(CommWorkerLifecycle, WorkerThatOverstaysStopIsLetGoSafely) {
    // A notice callback that does not return: Stop gives up waiting, and the thread ends
    // later without touching anything the owner already released.
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::atomic<bool> inCallback{false};
    std::weak_ptr<FakeSerialPort> watch;
    auto buffers = std::make_shared<LinkBuffers>();
    {
        auto port = std::make_shared<FakeSerialPort>();
        watch = port;
        ASSERT_TRUE(port->Open("x"));
        CommWorker worker(buffers, [&](CommNotice, const uint8_t*, std::size_t) {
            inCallback = true;
            std::unique_lock<std::mutex> g(m);
            cv.wait(g, [&] { return release; });
        });
        ASSERT_TRUE(worker.Start(port));
        const uint8_t frame[] = {1, 2, 3};
        worker.Submit(frame, sizeof frame);
        ASSERT_TRUE(WaitUntil([&] { return inCallback.load(); }));
        EXPECT_FALSE(worker.Stop(20ms));
        EXPECT_FALSE(worker.Running());
        EXPECT_FALSE(watch.expired());  // the thread still holds the port
    }
    {
        std::lock_guard<std::mutex> g(m);
        release = true;
    }
    cv.notify_all();
    EXPECT_TRUE(WaitUntil([&] { return watch.expired(); }));
}

TEST(LinkBuffersTest, SubmitAndTakeNeverPassTheBuffer) {
    LinkBuffers b;
    const auto big = Pattern(LinkBufferSize + 500);
    b.Submit(big.data(), big.size());
    EXPECT_EQ(b.txLength, LinkBufferSize);
    EXPECT_TRUE(b.txPending);

    uint8_t out[8];
    EXPECT_EQ(b.Take(out, sizeof out), 0u);  // nothing announced
    b.rxLength = 5000;                       // a corrupted length must not read past rxBuffer
    b.rxReady = true;
    std::vector<uint8_t> all(6000);
    EXPECT_EQ(b.Take(all.data(), all.size()), LinkBufferSize);
    EXPECT_FALSE(b.rxReady);

    b.rxReady = true;
    b.txPending = true;
    b.Clear();
    EXPECT_FALSE(b.rxReady);
    EXPECT_FALSE(b.txPending);
    EXPECT_EQ(b.rxLength, 0u);
    EXPECT_EQ(b.txLength, 0u);
}

}  // namespace
}  // namespace corvix
