// Receptions gathered in batches: a burst of frames reaches the engine one reception per
// frame, in order, with far fewer hand-overs than receptions, also when a result handler runs
// a nested loop.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>

#include "fakes/fake_serial_port.h"
#include "link/link_session.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

class CountingHost {
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
    std::size_t Posts() {
        std::lock_guard<std::mutex> g(lock_);
        return posts;
    }

  private:
    std::mutex lock_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> posted_;
    std::size_t posts = 0;
};

Bytes Frame(uint8_t tag) {
    uint8_t f[MaxFrameSize];
    return Bytes(f, f + BuildFrame(f, CTRL_LAST, 0, 1, TYPE_DATA, FC_STATUS, &tag, 1));
}

class ReceptionBatches : public ::testing::Test {
  protected:
    ReceptionBatches()
        : session(doc, host.Post(), [this](const EngineResult& r) { OnResult(r); }) {
        session.Link().SetPortFactory([this] { return port; });
    }
    void SetUp() override { ASSERT_EQ(session.Connect(), LinkOpen::Opened); }

    void OnResult(const EngineResult& r) {
        const auto* received = std::get_if<FrameReceived>(&r);
        if (!received) return;
        got.push_back(received->bytes);
        if (onReceived) onReceived();
    }
    // `count` frames back to back, all on the line before the worker sees any.
    Bytes Burst(int count) {
        Bytes all;
        for (int i = 0; i < count; ++i) {
            frames.push_back(Frame(static_cast<uint8_t>(i)));
            all.insert(all.end(), frames.back().begin(), frames.back().end());
        }
        return all;
    }

    CBrondaleDoc doc;
    CountingHost host;
    std::shared_ptr<FakeSerialPort> port = std::make_shared<FakeSerialPort>();
    LinkSession session;
    std::vector<Bytes> frames, got;
    std::function<void()> onReceived;
};

TEST_F(ReceptionBatches, EveryFrameIsOneReceptionInOrderWithFewHandOvers) {
    const Bytes burst = Burst(200);
    port->Feed(burst.data(), burst.size());
    ASSERT_TRUE(host.RunUntil([&] { return got.size() >= frames.size(); }));
    EXPECT_EQ(got, frames);
    EXPECT_LT(host.Posts(), frames.size() / 4);
}

TEST_F(ReceptionBatches, ANestedLoopInAHandlerStillSeesTheRestInOrder) {
    const Bytes burst = Burst(60);
    bool nested = false;
    onReceived = [&] {
        // The first reception's handler shows a "message box": a loop of its own, in which
        // every later reception must arrive.
        if (nested) return;
        nested = true;
        EXPECT_TRUE(host.RunUntil([&] { return got.size() >= frames.size(); }));
    };
    port->Feed(burst.data(), burst.size());
    ASSERT_TRUE(host.RunUntil([&] { return got.size() >= frames.size(); }));
    EXPECT_EQ(got, frames);
}

TEST_F(ReceptionBatches, AFloodBeyondTheQueueLosesNothingAndKeepsTheLimit) {
    // More than the queue holds (and less than the fake line's pipe): the worker waits for
    // room, then goes on.
    Bytes garbage(LinkBufferSize * 50 + 17);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 13 + 1);
    garbage[0] = 0;  // no frame start: every reception ends at the limit, the last at the quiet gap
    for (std::size_t i = 0; i < garbage.size(); i += LinkBufferSize)
        if (garbage[i] == FRAME_START) garbage[i] = 0;
    port->Feed(garbage.data(), garbage.size());
    std::size_t bytes = 0;
    ASSERT_TRUE(host.RunUntil([&] { return got.size() == 51; })) << got.size();
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].size(), i < 50 ? LinkBufferSize : 17u) << i;
        EXPECT_TRUE(std::equal(got[i].begin(), got[i].end(), garbage.begin() + bytes)) << i;
        bytes += got[i].size();
    }
}

}  // namespace
}  // namespace corvix
