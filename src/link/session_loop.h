// SPDX-License-Identifier: Apache-2.0
// A link session driven from a plain blocking loop on the calling thread, for hosts without
// an event loop of their own (the command line, benchmarks): what the worker posts waits in a
// queue until the loop runs it, between the session's due timer ticks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "link/link_session.h"

namespace corvix {

class SessionLoop {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Outcome { Done, GaveUp, TimedOut, Stopped };

    SessionLoop(CBrondaleDoc& doc, ResultFn report);
    LinkSession& Session() { return session_; }
    const LinkSession& Session() const { return session_; }

    // Ends the running (or next) Run with Outcome::Stopped; safe from any thread.
    void Stop() { Post(nullptr); }

    // Runs until `done` holds (checked after every posted notice and tick), the engine gives
    // up (the link is closed), `deadline` passes or Stop is called. Timer 1 ticks reach the
    // engine only with `poll`; the one-second time-out timer always runs. The timers start
    // with the first Run.
    Outcome Run(const std::function<bool()>& done, std::optional<Clock::time_point> deadline = std::nullopt,
                bool poll = false);
    // Until no request is outstanding and no transfer is running.
    Outcome RunUntilIdle() {
        return Run([this] { return session_.Engine().Idle(); });
    }

  private:
    void Post(std::function<void()> fn);

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
    LinkSession session_;
    bool timersStarted_ = false;
};

}  // namespace corvix
