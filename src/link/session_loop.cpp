// SPDX-License-Identifier: Apache-2.0
#include "link/session_loop.h"

#include <algorithm>

namespace corvix {

SessionLoop::SessionLoop(CBrondaleDoc& doc, ResultFn report)
    : session_(
          doc, [this](std::function<void()> fn) { Post(std::move(fn)); }, std::move(report)) {
    session_.SetPolling(false);
}

void SessionLoop::Post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(fn));
    }
    ready_.notify_one();
}

SessionLoop::Outcome SessionLoop::Run(const std::function<bool()>& done,
                                      std::optional<Clock::time_point> deadline, bool poll) {
    if (!timersStarted_) {
        session_.StartTimers();
        timersStarted_ = true;
    }
    session_.SetPolling(poll);
    for (;;) {
        // The give-up closes the link; nothing more can come (unless a lost port is awaited).
        if (!session_.IsConnected() && !session_.WaitingForPort()) return Outcome::GaveUp;
        if (done && done()) return Outcome::Done;
        if (deadline && Clock::now() >= *deadline) return Outcome::TimedOut;

        Clock::time_point wake = session_.NextDue();
        if (deadline) wake = std::min(wake, *deadline);
        std::function<void()> work;
        bool stop = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (ready_.wait_until(lock, wake, [this] { return !queue_.empty(); })) {
                work = std::move(queue_.front());
                queue_.pop_front();
                stop = !work;
            }
        }
        if (stop) return Outcome::Stopped;
        if (work) {
            work();
            continue;
        }
        session_.RunDueTimers();
    }
}

}  // namespace corvix
