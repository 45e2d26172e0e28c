// The link session in fake time: its timer schedule, the one notice pump and the results it
// hands to the host, over the real worker and a scriptable port.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>

#include "fakes/fake_serial_port.h"
#include "link/link_session.h"
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
            }
            cv_.notify_all();
        };
    }
    // Runs posted work until `done` holds; false when nothing more came within 5 s of real
    // time (the worker is a real thread).
    bool RunUntil(const std::function<bool()>& done) {
        while (!done()) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> g(lock_);
                if (!cv_.wait_for(g, 5s, [this] { return !posted_.empty(); })) return false;
                fn = std::move(posted_.front());
                posted_.pop_front();
            }
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

  private:
    std::mutex lock_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> posted_;
};

class SessionInFakeTime : public ::testing::Test {
  protected:
    SessionInFakeTime()
        : session(
              doc, host.Post(), [this](const EngineResult& r) { host.results.push_back(r); },
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

    uint8_t reply[MaxFrameSize];
    const uint8_t states[2] = {1, 0};
    uint8_t data[64];
    const uint8_t firmware[3] = {1, 2, 3};
    const std::size_t n = WriteStatusPayload(data, 0, states, 2, firmware);
    const std::size_t size = BuildFrame(reply, CTRL_LAST, 0, 1, TYPE_DATA, FC_STATUS, data, n);
    port->Feed(reply, size);
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<StatusUpdated>() == 1; }));
    EXPECT_EQ(std::get<StatusUpdated>(host.results.back()).inputCount, 2u);
    EXPECT_EQ(doc.liveStatus[0], 1);
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

// A status answer with two input states.
std::vector<uint8_t> StatusAnswer() {
    uint8_t reply[MaxFrameSize];
    const uint8_t states[2] = {1, 0};
    uint8_t data[64];
    const uint8_t firmware[3] = {1, 2, 3};
    const std::size_t n = WriteStatusPayload(data, 0, states, 2, firmware);
    return {reply, reply + BuildFrame(reply, CTRL_LAST, 0, 1, TYPE_DATA, FC_STATUS, data, n)};
}

TEST_F(SessionInFakeTime, LiveStatusTurnsStaleAfterTwoUnansweredPeriods) {
    session.SetLocalClock([] { return LocalTime{2026, 5, 2, 4, 13, 7, 9, 0}; });
    // Waiting for a first answer since the connect at 0 s.
    host.now += 6s;
    EXPECT_FALSE(session.StatusStale());
    host.now += 1ms;
    EXPECT_TRUE(session.StatusStale());
    EXPECT_FALSE(session.LastStatusUpdate());

    session.Engine().PollStatus();
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<FrameSent>() == 1; }));
    const std::vector<uint8_t> answer = StatusAnswer();
    port->Feed(answer.data(), answer.size());
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<StatusUpdated>() == 1; }));
    EXPECT_FALSE(session.StatusStale());
    ASSERT_TRUE(session.LastStatusUpdate());
    EXPECT_EQ(LastUpdateText(session.LastStatusUpdate(), LangEnglish), "last update 13:07:09");

    host.now += 6001ms;
    EXPECT_TRUE(session.StatusStale());
    // Closed by the user, the states shown stay old; before any answer nothing is.
    session.Disconnect();
    EXPECT_TRUE(session.StatusStale());
    CBrondaleDoc otherDoc;
    LinkSession fresh(otherDoc, host.Post(), {}, [this] { return host.now; });
    host.now += 1h;
    EXPECT_FALSE(fresh.StatusStale());
}

// The device on a pty the test can close and bring back under the same name: a symlink
// the test points at the current pty, as /dev/serial/by-id/ names an adapter.
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
        name = dir / "by-id-port";
        ASSERT_TRUE(device->Ok());
        PointAt(*device);
        session.Link().settings.portName = name;
        session.SetReconnect(true);
        ASSERT_EQ(session.Connect(), LinkOpen::Opened);
        session.StartTimers();
    }
    void TearDown() override {
        session.Disconnect();
        std::filesystem::remove_all(dir);
    }
    void PointAt(const testing::PtyPair& pty) {
        const std::filesystem::path next = dir / "next";
        std::filesystem::create_symlink(pty.SlavePath(), next);
        std::filesystem::rename(next, name);
    }
    void NextTick() {
        host.now = session.NextDue();
        session.RunDueTimers();
    }
    // Runs the schedule until the status poll has gone out on `pty`, then answers it.
    void PollAndAnswer(const testing::PtyPair& pty, std::size_t answers) {
        while (!session.Engine().AwaitingReply()) NextTick();
        const std::size_t frame = session.Engine().OutgoingFrame().size();
        ASSERT_EQ(pty.Receive(frame, 5s).size(), frame);
        ASSERT_TRUE(pty.Send(StatusAnswer()));
        ASSERT_TRUE(host.RunUntil([&] { return host.Count<StatusUpdated>() == answers; }));
    }
    void LoseDevice() {
        device->CloseMaster();
        ASSERT_TRUE(host.RunUntil([&] { return host.Count<LinkLost>() == 1; }));
        EXPECT_TRUE(session.WaitingForPort());
        EXPECT_FALSE(session.IsConnected());
        EXPECT_TRUE(session.Engine().Idle());
        const std::string pane = StatusPaneText(session, LangEnglish);
        EXPECT_NE(pane.find(name.string()), std::string::npos) << pane;
        EXPECT_NE(StatusPaneText(session, LangChinese), pane);
    }

    CBrondaleDoc doc;
    FakeHost host;
    LinkSession session;
    std::filesystem::path dir, name;
    std::unique_ptr<testing::PtyPair> device = std::make_unique<testing::PtyPair>();
};

TEST_F(LostLinkInFakeTime, SamePortNameComesBackAndPollingResumes) {
    PollAndAnswer(*device, 1);
    // Lost while a request is outstanding: it is dropped, not resent into a closed link.
    session.Engine().PollStatus();
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<FrameSent>() == 2; }));
    LoseDevice();
    const Clock::time_point lost = host.now;
    // Tried again every half second while the name leads nowhere.
    NextTick();
    NextTick();
    EXPECT_EQ(host.now - lost, 1s);
    EXPECT_TRUE(session.WaitingForPort());

    device = std::make_unique<testing::PtyPair>();
    PointAt(*device);
    NextTick();
    EXPECT_EQ(host.now - lost, 1500ms);
    ASSERT_EQ(host.Count<LinkRestored>(), 1u);
    EXPECT_TRUE(session.IsConnected());
    EXPECT_FALSE(session.WaitingForPort());
    // The poll goes out at once and its answer arrives through the reopened link.
    EXPECT_TRUE(session.Engine().AwaitingReply());
    PollAndAnswer(*device, 2);
    EXPECT_FALSE(session.StatusStale());
    // Nothing of it reached the user as a failure.
    EXPECT_EQ(host.Count<OperationFailed>(), 0u);
}

TEST_F(LostLinkInFakeTime, DisconnectEndsTheWait) {
    LoseDevice();
    session.Disconnect();
    EXPECT_FALSE(session.WaitingForPort());
    device = std::make_unique<testing::PtyPair>();
    PointAt(*device);
    for (int i = 0; i < 5; ++i) NextTick();
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(host.Count<LinkRestored>(), 0u);
    // Turning reconnect off ends a wait as well.
    ASSERT_EQ(session.Connect(), LinkOpen::Opened);
    device->CloseMaster();
    ASSERT_TRUE(host.RunUntil([&] { return host.Count<LinkLost>() == 2; }));
    ASSERT_TRUE(session.WaitingForPort());
    session.SetReconnect(false);
    EXPECT_FALSE(session.WaitingForPort());
}

}  // namespace
}  // namespace corvix
