// SPDX-License-Identifier: Apache-2.0
// How fast the worker may read a line that brings no frames. A pseudo-terminal or a network
// peer can pour out garbage far faster than any serial line carries bytes, and reading all of
// it only burns the processor: garbage never completes a frame. Receptions without a frame
// are therefore charged against a budget that refills at a rate above the fastest USB-serial
// adapters, so a real line is never held back; a burst allowance lets any sane exchange
// (and the noise of a line being plugged in) through at once. Time comes from the caller.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>

namespace corvix {

class GarbagePacer {
  public:
    using Clock = std::chrono::steady_clock;

    // About 10 Mbit/s, above any RS232 line or USB-serial adapter in use.
    static constexpr double BytesPerSecond = 1024.0 * 1024.0;
    static constexpr double BurstBytes = 256.0 * 1024.0;

    // `bytes` of a reception that held no frame came in at `now`.
    void Charge(std::size_t bytes, Clock::time_point now) {
        Refill(now);
        budget_ -= static_cast<double>(bytes);
    }

    // How long to leave the line unread from `now` on: zero while the budget lasts.
    std::chrono::milliseconds Pause(Clock::time_point now) {
        Refill(now);
        if (budget_ >= 0) return std::chrono::milliseconds(0);
        return std::chrono::milliseconds(static_cast<long long>(-budget_ * 1000.0 / BytesPerSecond) + 1);
    }

  private:
    void Refill(Clock::time_point now) {
        if (started_) {
            const double seconds = std::chrono::duration<double>(now - last_).count();
            if (seconds > 0) budget_ = std::min(BurstBytes, budget_ + seconds * BytesPerSecond);
        }
        started_ = true;
        last_ = std::max(last_, now);
    }

    bool started_ = false;
    Clock::time_point last_{};
    double budget_ = BurstBytes;
};

}  // namespace corvix
