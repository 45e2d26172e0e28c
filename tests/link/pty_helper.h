// SPDX-License-Identifier: Apache-2.0
// Test helpers for the link: a pseudo-terminal whose controlling side the test holds to play
// the device (the code under test opens SlavePath() as its serial port), a recorder for the
// worker's notices, and polling with a deadline. Header-only so any test can include it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/comm_worker.h"

namespace corvix::testing {

class PtyPair {
  public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0) return;
        if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            CloseMaster();
            return;
        }
        char name[128] = {};
        if (::ptsname_r(master_, name, sizeof name) != 0) {
            CloseMaster();
            return;
        }
        slavePath_ = name;
        // Raw both ways, so bytes pass unchanged before the port under test programs the line.
        termios t{};
        if (::tcgetattr(master_, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(master_, TCSANOW, &t);
        }
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // The line settings as the slave side sees them (tcgetattr on the master reads the
    // slave's termios).
    termios LineSettings() const {
        termios t{};
        ::tcgetattr(master_, &t);
        return t;
    }

    // The device "sends" bytes to the PC.
    bool Send(const std::vector<uint8_t>& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Reads what the PC wrote until `count` bytes came or `timeout` passed.
    std::vector<uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout) const {
        std::vector<uint8_t> out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            if (!(p.revents & POLLIN)) break;
            uint8_t buf[1024];
            ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

    // The device side goes away (cable pulled, simulator ended).
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    std::string slavePath_;
};

// Collects the worker's notices (they arrive on the worker thread) and lets a test wait for
// them with a generous deadline instead of sleeping.
class NoticeRecorder {
  public:
    struct Entry {
        CommNotice notice;
        std::vector<uint8_t> bytes;
    };

    CommNoticeFn Callback() {
        return [this](CommNotice n, const uint8_t* bytes, std::size_t length) {
            {
                std::lock_guard<std::mutex> g(lock_);
                entries_.push_back(
                    {n, bytes ? std::vector<uint8_t>(bytes, bytes + length) : std::vector<uint8_t>{}});
            }
            cv_.notify_all();
        };
    }

    // Waits until at least `count` notices of kind `n` have come.
    bool WaitFor(CommNotice n, std::size_t count,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) {
        std::unique_lock<std::mutex> g(lock_);
        return cv_.wait_for(g, timeout, [&] { return CountLocked(n) >= count; });
    }

    std::size_t Count(CommNotice n) const {
        std::lock_guard<std::mutex> g(lock_);
        return CountLocked(n);
    }

    std::vector<Entry> Entries() const {
        std::lock_guard<std::mutex> g(lock_);
        return entries_;
    }

  private:
    std::size_t CountLocked(CommNotice n) const {
        std::size_t c = 0;
        for (const auto& e : entries_) c += e.notice == n;
        return c;
    }

    mutable std::mutex lock_;
    std::condition_variable cv_;
    std::vector<Entry> entries_;
};

// Polls `done` until it holds or `timeout` passes.
template <typename Pred>
bool WaitUntil(Pred done, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace corvix::testing
