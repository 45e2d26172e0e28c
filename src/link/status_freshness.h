// SPDX-License-Identifier: Apache-2.0
// How old the live status is: when the status poll was last answered, and whether that is
// too long ago for the states on screen to count as current. Time comes from the caller, so
// the rule is testable in fake time.
#pragma once

#include <chrono>
#include <optional>

#include "model/local_time.h"

namespace corvix {

class StatusFreshness {
  public:
    using Clock = std::chrono::steady_clock;

    // The states count as current for `allowed` after an answer.
    explicit StatusFreshness(Clock::duration allowed) : allowed_(allowed) {}

    // Polling starts at `now` (the link was opened): before the first answer ever, the wait
    // for it counts from here.
    void Expect(Clock::time_point now) {
        expecting_ = true;
        since_ = now;
    }
    // Polling ends (the user closed the link); states already shown keep ageing.
    void StopExpecting() { expecting_ = false; }
    // A status answer came at `now`, `local` by the PC's clock.
    void Answered(Clock::time_point now, const LocalTime& local) {
        lastAnswer_ = now;
        lastLocal_ = local;
    }

    // True when states were shown and their last answer is more than `allowed` ago, or when
    // polling has waited longer than that for a first answer.
    bool Stale(Clock::time_point now) const {
        if (lastAnswer_) return now - *lastAnswer_ > allowed_;
        return expecting_ && now - since_ > allowed_;
    }
    // The PC's time of the last answer; none before the first.
    const std::optional<LocalTime>& LastUpdate() const { return lastLocal_; }

  private:
    Clock::duration allowed_;
    bool expecting_ = false;
    Clock::time_point since_{};
    std::optional<Clock::time_point> lastAnswer_;
    std::optional<LocalTime> lastLocal_;
};

}  // namespace corvix
