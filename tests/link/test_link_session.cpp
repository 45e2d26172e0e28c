// SPDX-License-Identifier: Apache-2.0
// The link session in fake time: its timer schedule, the one notice pump and the results it
// hands to the host, over the real worker and a scriptable port.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include "fakes/fake_serial_port.h"
#include "fakes/loopback_listener.h"
#include "link/link_session.h"
#include "link/net_port.h"
#include "link/pty_helper.h"
#include "present/session_texts.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using Clock = LinkSession::Clock;

// A host loop: what the worker posts waits here until the test runs it; time is the test's.
class FakeHost {
  public:
    LinkSession::PostFn Post() {
        return [this](std::function<void()> fn) {
            {
                std::lock_guard<std::mutex> g(lock_);
                posted_.push_back(std::move(fn));
                ++posts;
            }
            cv_.notify_all();
        };
    }
    // Runs what has been posted so far, without waiting.
    void RunPending() {
        std::deque<std::function<void()>> now;
        {
            std::lock_guard<std::mutex> g(lock_);
            now.swap(posted_);
        }
        for (auto& fn : now) fn();
    }
    // Runs posted work until `done` holds; false when nothing more came within 5 s of real
    // time (the worker is a real thread). `beforeRun`, when set, runs before each posted
    // function, so a test can hold the loop until the worker has reached a known state.
    bool RunUntil(const std::function<bool()>& done) {
        while (!done()) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> g(lock_);
                if (!cv_.wait_for(g, 5s, [this] { return !posted_.empty(); })) return false;
                fn = std::move(posted_.front());
                posted_.pop_front();
            }
            if (beforeRun) beforeRun();
            fn();
        }
        return true;
    }
    template <class T>
    std::size_t Count() const {
        std::size_t n = 0;
        for (const EngineResult& r : results) n += std::holds_alternative<T>(r);
        return n;
    }

    Clock::time_point now{};
    std::vector<EngineResult> results;
    std::function<void(const EngineResult&)> onResult;  // after it is recorded
    std::function<void()> beforeRun;
    std::atomic<std::size_t> posts{0};

  private:
    std::mutex lock_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> posted_;
};

// A status answer with two input states.
std::vector<uint8_t> StatusAnswer() {
    uint8_t reply[MaxFrameSize];
    const uint8_t states[2] = {1, 0};
    uint8_t data[64];
    const uint8_t firmware[3] = {1, 2, 3};
    const std::size_t n = WriteStatusPayload(data, 0, states, 2, firmware);
    return {reply, reply + BuildFrame(reply, CTRL_LAST, 0, 1, TYPE_DATA, FC_STATUS, data, n)};
}

class SessionInFakeTime : public ::testing::Test {
  protected:
    SessionInFakeTime()
        : session(
              doc, host.Post(),
              [this](const EngineResult& r) {
                  host.results.push_back(r);
                  if (host.onResult) host.onResult(r);
              },
              [this] { return host.now; }) {
        session.Link().SetPortFactory([this] { return port; });
    }
    void SetUp() override {
        ASSERT_EQ(session.Connect(), LinkOpen::Opened);
        session.StartTimers();
    }
    // Fake time moves to the session's next due tick, which then runs.
    void NextTick() {
        host.now = session.NextDue();
        session.RunDueTimers();
    }

    CBrondaleDoc doc;
    FakeHost host;
    std::shared_ptr<FakeSerialPort> port = std::make_shared<FakeSerialPort>();
    LinkSession session;
};

TEST_F(SessionInFakeTime, SilentDeviceGivesUpAfterSixteenSeconds) {
    const Clock::time_point start = host.now;
    session.Engine().PollStatus();
    // Each send is written by the worker and reported before the next tick.
    for (std::size_t sends = 1; session.IsConnected(); NextTick()) {
        if (session.Engine().RepeatCount() + 1u == sends) {
            ASSERT_TRUE(host.RunUntil([&] { return host.Count<FrameSent>() == sends; }));
            ++sends;
        }
        ASSERT_LT(host.now - start, 20s);
    }
    EXPECT_EQ(host.now - start, 16s);
    EXPECT_EQ(host.Count<FrameSent>(), 4u);
    ASSERT_EQ(host.Count<OperationFailed>(), 1u);
    const auto& failed = std::get<OperationFailed>(host.results.back());
    EXPECT_EQ(failed.operation, Operation::Status);
    EXPECT_EQ(failed.reason, FailReason::NoAnswer);
    EXPECT_EQ(port->Written().size(), 4 * session.Engine().OutgoingFrame().size());
}

TEST_F(SessionInFakeTime, PollsEveryThreeSecondsAndPumpsTheReply) {
    session.SetPolling(true);
    NextTick();  // 1 s: time-out rule only
    NextTick();  // 2 s
    EXPECT_FALSE(session.Engine().AwaitingReply());
    NextTick();  // 3 s: the poll
    EXPECT_EQ(host.now.time_since_epoch(), 3s);
    ASSERT_TRUE(session.Engine().AwaitingReply());
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<FrameSent>() == 1; }));

    const std::vector<uint8_t> reply = StatusAnswer();
    port->Feed(reply.data(), reply.size());
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<StatusUpdated>() == 1; }));
    EXPECT_EQ(std::get<StatusUpdated>(host.results.back()).inputCount, 2u);
    EXPECT_EQ(doc.LiveStatus()[0], 1);
    EXPECT_TRUE(session.Engine().Idle());

    // Unplugged: the host hears of it once.
    port->HangUp();
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<LinkLost>() == 1; }));
}

TEST_F(SessionInFakeTime, StoppedTimersAreNeverDue) {
    session.StopTimers();
    EXPECT_EQ(session.NextDue(), Clock::time_point::max());
    session.StartTimers();
    session.SetPolling(false);
    EXPECT_EQ(session.NextDue() - host.now, 1s);
}

TEST_F(SessionInFakeTime, LiveStatusTurnsStaleAfterTwoUnansweredPeriods) {
    session.SetLocalClock([] { return LocalTime{2026, 5, 2, 4, 13, 7, 9, 0}; });
    host.now += 6s;  // waiting for a first answer since the connect
    EXPECT_FALSE(session.StatusStale());
    host.now += 1ms;
    EXPECT_TRUE(session.StatusStale());
    session.Engine().PollStatus();
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<FrameSent>() == 1; }));
    const std::vector<uint8_t> answer = StatusAnswer();
    port->Feed(answer.data(), answer.size());
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<StatusUpdated>() == 1; }));
    EXPECT_FALSE(session.StatusStale());
    EXPECT_EQ(LastUpdateText(session.LastStatusUpdate(), LangEnglish), "last update 13:07:09");
    host.now += 6001ms;
    EXPECT_TRUE(session.StatusStale());
    session.Disconnect();  // the states shown stay old
    EXPECT_TRUE(session.StatusStale());
}

// The device on a pty that the test closes and brings back under one name: a symlink it
// points at the current pty, as /dev/serial/by-id/ names an adapter.
class LostLinkInFakeTime : public ::testing::Test {
  protected:
    LostLinkInFakeTime()
        : session(
              doc, host.Post(), [this](const EngineResult& r) { host.results.push_back(r); },
              [this] { return host.now; }) {}
    void SetUp() override {
        char folder[] = "/tmp/corvix-lostlinkXXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        dir = folder;
        PointAt(*device);
        session.Link().settings.portName = dir / "port";
        session.SetReconnect(true);
        ASSERT_EQ(session.Connect(), LinkOpen::Opened);
        session.StartTimers();
    }
    void TearDown() override {
        session.Disconnect();
        std::filesystem::remove_all(dir);
    }
    void PointAt(const testing::PtyPair& pty) {
        std::filesystem::create_symlink(pty.SlavePath(), dir / "next");
        std::filesystem::rename(dir / "next", dir / "port");
    }
    void NextTick() {
        host.now = session.NextDue();
        session.RunDueTimers();
    }
    // Lost while a poll is outstanding: it is dropped, not resent into the closed link.
    void LoseDevice(std::size_t times = 1) {
        session.Engine().PollStatus();
        device->CloseMaster();
        ASSERT_TRUE(host.RunUntil([&] { return host.Count<LinkLost>() == times; }));
        EXPECT_TRUE(session.WaitingForPort() && !session.IsConnected() && session.Engine().Idle());
        const std::string pane = StatusPaneText(session, LangEnglish);
        EXPECT_NE(pane.find(session.Link().settings.portName), std::string::npos) << pane;
    }

    CBrondaleDoc doc;
    FakeHost host;
    LinkSession session;
    std::filesystem::path dir;
    std::unique_ptr<testing::PtyPair> device = std::make_unique<testing::PtyPair>();
};

TEST_F(LostLinkInFakeTime, SamePortNameComesBackAndPollingResumes) {
    LoseDevice();
    const Clock::time_point lost = host.now;
    NextTick();  // tried every half second while the name leads nowhere
    NextTick();
    EXPECT_TRUE(session.WaitingForPort());
    device = std::make_unique<testing::PtyPair>();
    PointAt(*device);
    NextTick();
    EXPECT_EQ(host.now - lost, 1500ms);
    ASSERT_EQ(host.Count<LinkRestored>(), 1u);
    ASSERT_TRUE(session.IsConnected() && !session.WaitingForPort());
    // The poll goes out at once; its answer comes through the reopened link.
    const std::size_t frame = session.Engine().OutgoingFrame().size();
    ASSERT_EQ(device->Receive(frame, 5s).size(), frame);
    ASSERT_TRUE(device->Send(StatusAnswer()));
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<StatusUpdated>() == 1; }));
    EXPECT_EQ(host.Count<OperationFailed>(), 0u);
}

TEST_F(LostLinkInFakeTime, DisconnectOrReconnectOffEndsTheWait) {
    LoseDevice();
    session.Disconnect();
    device = std::make_unique<testing::PtyPair>();
    PointAt(*device);
    for (int i = 0; i < 5; ++i) NextTick();
    EXPECT_FALSE(session.IsConnected() || session.WaitingForPort());
    ASSERT_EQ(session.Connect(), LinkOpen::Opened);
    LoseDevice(2);
    session.SetReconnect(false);
    EXPECT_FALSE(session.WaitingForPort());
    EXPECT_EQ(host.Count<LinkRestored>(), 0u);
}

// A serial device server that went and came back: the retry never holds the host's thread
// (a gone host can take seconds to fail), and the link returns through the host's loop.
TEST(LostNetLink, ServerComesBackWithoutHoldingTheHost) {
    auto server = std::make_unique<test::LoopbackListener>();
    ASSERT_TRUE(server->Ok());
    const uint16_t port = server->Port();
    CBrondaleDoc doc;
    FakeHost host;
    LinkSession session(
        doc, host.Post(), [&](const EngineResult& r) { host.results.push_back(r); }, [&] { return host.now; });
    session.Link().settings.portName = "tcp://127.0.0.1:" + std::to_string(port);
    session.SetReconnect(true);
    ASSERT_EQ(session.Connect(), LinkOpen::Opened);
    session.StartTimers();
    ::close(::accept(server->Fd(), nullptr, nullptr));
    server.reset();
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<LinkLost>() == 1; }));
    ASSERT_TRUE(session.WaitingForPort());

    server = std::make_unique<test::LoopbackListener>(port);
    ASSERT_TRUE(server->Ok());
    host.now = session.NextDue();
    session.RunDueTimers();
    EXPECT_FALSE(session.IsConnected());  // tried on a thread of its own, not here
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<LinkRestored>() == 1; }));
    EXPECT_TRUE(session.IsConnected() && !session.WaitingForPort());
    session.Disconnect();
}

// Opening a network port from the window: the host's thread never waits for the server.
class NetOpenInBackground : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server.Ok()); }
    void Start(const std::string& scheme) {
        session.Link().settings.portName = scheme + "://" + server.Where();
        session.ConnectInBackground([this](LinkOpen r) { results.push_back(r); });
    }
    test::LoopbackListener server;
    CBrondaleDoc doc;
    FakeHost host;
    LinkSession session{doc, host.Post(), {}, [this] { return host.now; }};
    std::vector<LinkOpen> results;
};

TEST_F(NetOpenInBackground, OpensThroughTheHostsLoopOrSaysWhyNot) {
    Start("tcp");
    // Nothing is open yet: the connection is made on a thread and handed over by a post.
    EXPECT_TRUE(session.Connecting() && !session.IsConnected());
    EXPECT_EQ(StatusPaneText(session, 1), "connecting to tcp://" + server.Where() + "\u2026");
    ASSERT_TRUE(host.RunUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results, std::vector<LinkOpen>{LinkOpen::Opened});
    EXPECT_TRUE(session.IsConnected() && !session.Connecting());
    session.Disconnect();

    // A server that takes the connection but never answers the RFC 2217 offer.
    results.clear();
    Start("rfc2217");
    ASSERT_TRUE(host.RunUntil([&] { return !results.empty(); }));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_NE(results[0], LinkOpen::Opened);
    EXPECT_EQ(session.Link().LastOpenError(), NetErrorNoTelnet);
    EXPECT_FALSE(session.IsConnected() || session.Connecting());
}

TEST_F(NetOpenInBackground, DisconnectOrANewNameEndsTheAttempt) {
    Start("rfc2217");
    const int peer = ::accept(server.Fd(), nullptr, nullptr);
    ASSERT_GE(peer, 0);
    session.Disconnect();
    EXPECT_FALSE(session.Connecting());
    EXPECT_EQ(StatusPaneText(session, 1), "Off");
    // The attempt is called off and lets go of its connection; nothing opens afterwards.
    char byte;
    while (::read(peer, &byte, 1) > 0) {
    }
    ::close(peer);
    host.RunPending();
    EXPECT_TRUE(results.empty());
    EXPECT_FALSE(session.IsConnected());

    // A name chosen while an open is under way: the open starts over on the new name.
    Start("rfc2217");
    session.ApplyPortName("tcp://" + server.Where());
    ASSERT_TRUE(host.RunUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results, std::vector<LinkOpen>{LinkOpen::Opened});
    EXPECT_EQ(session.Link().settings.portName, "tcp://" + server.Where());
    session.Disconnect();
}

// ---- receptions gathered in batches: one per frame, in order, with few hand-overs ----

std::vector<std::vector<uint8_t>> Receptions(const std::vector<EngineResult>& results) {
    std::vector<std::vector<uint8_t>> out;
    for (const EngineResult& r : results)
        if (const auto* f = std::get_if<FrameReceived>(&r)) out.push_back(f->bytes);
    return out;
}

// `count` status frames back to back, all on the line before the worker reads any.
std::vector<std::vector<uint8_t>> Burst(FakeSerialPort& port, int count) {
    std::vector<std::vector<uint8_t>> frames;
    std::vector<uint8_t> all;
    for (int i = 0; i < count; ++i) {
        uint8_t f[MaxFrameSize], tag = static_cast<uint8_t>(i);
        frames.emplace_back(f, f + BuildFrame(f, CTRL_LAST, 0, 1, TYPE_DATA, FC_STATUS, &tag, 1));
        all.insert(all.end(), frames.back().begin(), frames.back().end());
    }
    port.Feed(all.data(), all.size());
    return frames;
}

// Receptions the worker has queued and the host has not taken yet.
std::size_t Waiting(LinkBuffers& buffers) {
    std::lock_guard<std::mutex> g(buffers.rxLock);
    return buffers.rxReady ? 1 + buffers.rxQueueCount : 0;
}

TEST_F(SessionInFakeTime, ABurstOfFramesIsOneReceptionEachInOrderWithFewHandOvers) {
    // How many hand-overs a burst costs depends on how far the worker got before the host
    // looked, so the host is held until the worker has filled its queue (or queued the rest
    // of the burst) before each posted notice runs.
    const std::size_t capacity = LinkBuffers::RxQueueDepth + 1;
    const auto frames = Burst(*port, 200);
    bool filled = true;
    host.beforeRun = [&] {
        const std::size_t expected = std::min(capacity, frames.size() - host.Count<FrameReceived>());
        const auto giveUp = std::chrono::steady_clock::now() + 60s;
        while (Waiting(session.Link().Buffers()) < expected) {
            if (std::chrono::steady_clock::now() > giveUp) {
                filled = false;
                return;
            }
            std::this_thread::sleep_for(1ms);
        }
    };
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<FrameReceived>() >= frames.size(); }));
    EXPECT_TRUE(filled);
    EXPECT_EQ(Receptions(host.results), frames);
    // Each notice run takes a full queue; besides its own follow-up at most one more notice
    // (the worker's, after the host emptied the queue) can be waiting per batch.
    const std::size_t batches = (frames.size() + capacity - 1) / capacity;
    EXPECT_LE(host.posts.load(), 2 * batches);
    EXPECT_LT(host.posts.load(), frames.size() / 4);
}

TEST_F(SessionInFakeTime, AHandlerRunningANestedLoopStillGetsTheRestInOrder) {
    std::size_t expected = 60;
    bool nested = false;
    host.onResult = [&](const EngineResult& r) {
        // The first reception's handler shows a "message box", a loop of its own.
        if (nested || !std::holds_alternative<FrameReceived>(r)) return;
        nested = true;
        EXPECT_TRUE(host.RunUntil([&] { return host.Count<FrameReceived>() >= expected; }));
    };
    const auto frames = Burst(*port, static_cast<int>(expected));
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<FrameReceived>() >= expected; }));
    EXPECT_EQ(Receptions(host.results), frames);
}

TEST_F(SessionInFakeTime, AFloodBeyondTheQueueLosesNothingAndKeepsTheLimit) {
    // More than the queue holds (less than the fake line's pipe); no reception starts with a
    // frame's start byte, so each ends at the limit and the last at the quiet gap.
    std::vector<uint8_t> garbage(LinkBufferSize * 50 + 17);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i % LinkBufferSize ? i * 13 : 0);
    port->Feed(garbage.data(), garbage.size());
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<FrameReceived>() == 51; }));
    const auto got = Receptions(host.results);
    for (std::size_t i = 0, at = 0; i < got.size(); at += got[i++].size()) {
        EXPECT_EQ(got[i].size(), i < 50 ? LinkBufferSize : 17u) << i;
        EXPECT_TRUE(std::equal(got[i].begin(), got[i].end(), garbage.begin() + at)) << i;
    }
}

}  // namespace
}  // namespace corvix
