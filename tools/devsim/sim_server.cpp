// SPDX-License-Identifier: Apache-2.0
#include "devsim/sim_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "link/serial_port.h"

namespace corvix::sim {

SimServer::SimServer(const SimOptions& options)
    : device_(options.device), linkPath_(options.linkPath), changeEveryMs_(options.changeEveryMs) {
    faults_ = options.faults;
    pacing_ = options.pacing;
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead_ = fds[0];
        wakeWrite_ = fds[1];
    }
}

SimServer::~SimServer() {
    Stop();
    if (wakeRead_ >= 0) ::close(wakeRead_);
    if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

bool SimServer::Open(std::string* error) {
    std::lock_guard io(ioMutex_);
    std::lock_guard lock(mutex_);
    if (pty_.IsOpen()) return true;
    if (wakeRead_ < 0) {
        if (error) *error = "no wake-up pipe";
        return false;
    }
    if (!pty_.Open(error)) return false;
    if (!linkPath_.empty() && !link_.Create(linkPath_, pty_.DevicePath(), error)) {
        pty_.Close();
        return false;
    }
    assembler_.Clear();
    return true;
}

bool SimServer::Start(std::string* error) {
    if (IsRunning()) return true;
    if (!Open(error)) return false;
    stopping_ = false;
    DrainWake();
    running_ = true;
    thread_ = std::thread([this] { ThreadMain(); });
    return true;
}

void SimServer::Stop() {
    stopping_ = true;
    Wake();
    if (thread_.joinable()) thread_.join();
    running_ = false;
    std::lock_guard io(ioMutex_);
    std::lock_guard lock(mutex_);
    link_.Remove();
    pty_.Close();
    stopping_ = false;
}

bool SimServer::IsOpen() const {
    std::lock_guard lock(mutex_);
    return pty_.IsOpen();
}

std::string SimServer::DevicePath() const {
    std::lock_guard lock(mutex_);
    return pty_.DevicePath();
}

void SimServer::SetFaults(const FaultSwitches& faults) {
    {
        std::lock_guard lock(mutex_);
        faults_ = faults;
    }
    Wake();  // a split reply waiting out its gap looks at the new gap at once
}

FaultSwitches SimServer::Faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

void SimServer::SetPacing(const LinePacing& pacing) {
    std::lock_guard lock(mutex_);
    pacing_ = pacing;
}

LinePacing SimServer::Pacing() const {
    std::lock_guard lock(mutex_);
    return pacing_;
}

void SimServer::SetChangeEveryMs(int ms) {
    changeEveryMs_ = ms < 0 ? 0 : ms;
    Wake();
}

ServerStats SimServer::Stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

void SimServer::Wake() {
    if (wakeWrite_ < 0) return;
    const uint8_t b = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &b, 1);  // a full pipe is already awake
}

void SimServer::DrainWake() {
    uint8_t buf[64];
    while (wakeRead_ >= 0 && ::read(wakeRead_, buf, sizeof buf) > 0) {
    }
}

int SimServer::Pump(int timeoutMs) {
    if (IsRunning()) return -1;
    std::lock_guard io(ioMutex_);
    if (!IsOpen()) return -1;
    return RunOnce(timeoutMs);
}

int SimServer::RunOnce(int timeoutMs) {
    pollfd fds[2] = {{pty_.MasterFd(), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    const int r = ::poll(fds, 2, timeoutMs < 0 ? 0 : timeoutMs);
    if (r <= 0) return 0;
    if (fds[1].revents) DrainWake();
    if (!(fds[0].revents & POLLIN)) return 0;

    const double byteSeconds = ByteSeconds(Pacing());
    const Clock::time_point readAt = Clock::now();
    std::size_t read = 0;
    uint8_t buf[1024];
    for (;;) {
        const ssize_t n = ::read(pty_.MasterFd(), buf, sizeof buf);
        if (n > 0) {
            assembler_.Feed(buf, static_cast<std::size_t>(n));
            read += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;  // EAGAIN: all read
    }
    if (byteSeconds > 0 && read > 0) {
        // The PC's bytes reach a pty at once; on a line they would still be crossing. What
        // was read counts from now or from the end of the previous bytes, whichever is later.
        inboundDone_ = std::max(inboundDone_, readAt) +
                       std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(static_cast<double>(read) * byteSeconds));
        if (!SleepUntil(inboundDone_)) return 0;
    }
    int handled = 0;
    std::vector<uint8_t> frame;
    while (!stopping_ && assembler_.Next(frame)) {
        HandleFrame(frame);
        ++handled;
    }
    std::lock_guard lock(mutex_);
    stats_.noiseBytes = assembler_.DiscardedBytes();
    return handled;
}

void SimServer::HandleFrame(const std::vector<uint8_t>& frame) {
    FaultSwitches faults;
    bool drop = false;
    {
        std::lock_guard lock(mutex_);
        faults = faults_;
        drop = faults.dropEvery > 0 && (stats_.requests + 1) % static_cast<uint64_t>(faults.dropEvery) == 0;
    }
    // A dropped request never reaches the device: as if it had been lost on the line.
    if (!drop) {
        std::vector<uint8_t> reply = device_.HandleRequest(frame.data(), frame.size());
        if (!reply.empty() && !faults.silent) {
            bool corrupt = false;
            {
                std::lock_guard lock(mutex_);
                ++repliesCounted_;
                corrupt = faults.badChecksumEvery > 0 &&
                          repliesCounted_ % static_cast<uint64_t>(faults.badChecksumEvery) == 0;
            }
            WriteReply(std::move(reply), faults, corrupt);
        }
    }
    // Counted once the request is fully dealt with, so a caller seeing the count also sees
    // every byte of the reply on the line.
    std::lock_guard lock(mutex_);
    ++stats_.requests;
    if (drop) ++stats_.dropped;
}

void SimServer::WriteReply(std::vector<uint8_t> reply, const FaultSwitches& faults, bool corrupt) {
    if (corrupt) {
        const std::size_t at = reply.size() - 5;  // checksum sits before the end byte
        PutU32(reply.data() + at, GetU32(reply.data() + at) + 1);
    }
    const LinePacing pacing = Pacing();
    if (pacing.turnaroundMs > 0 && !SleepUntil(Clock::now() + std::chrono::milliseconds(pacing.turnaroundMs)))
        return;
    const double byteSeconds = ByteSeconds(pacing);
    bool written;
    if (faults.splitGapMs > 0 && reply.size() >= 2) {
        const std::size_t half = reply.size() / 2;
        written = WriteAtLineRate(reply.data(), half, byteSeconds) && WaitSplitGap() &&
                  WriteAtLineRate(reply.data() + half, reply.size() - half, byteSeconds);
    } else {
        written = WriteAtLineRate(reply.data(), reply.size(), byteSeconds);
    }
    if (written) {
        std::lock_guard lock(mutex_);
        ++stats_.replies;
        if (corrupt) ++stats_.corrupted;
    }
}

bool SimServer::WaitSplitGap() {
    const auto start = Clock::now();
    for (;;) {
        if (stopping_) return false;
        const auto gap = std::chrono::milliseconds(Faults().splitGapMs);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(start + gap - Clock::now());
        if (left.count() <= 0) return true;
        pollfd w{wakeRead_, POLLIN, 0};
        if (::poll(&w, 1, static_cast<int>(left.count()) + 1) > 0) DrainWake();
    }
}

double SimServer::ByteSeconds(const LinePacing& pacing) const {
    if (!pacing.pace) return 0;
    SerialSettings line;
    // The master side reads the settings the PC programmed on the device path.
    if (!ReadLineSettings(pty_.MasterFd(), line)) return 0;
    return LineBitsPerByte(line) / line.baudRate;
}

bool SimServer::SleepUntil(Clock::time_point until) {
    for (;;) {
        if (stopping_) return false;
        const auto left = until - Clock::now();
        if (left <= Clock::duration::zero()) return true;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec wait{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd w{wakeRead_, POLLIN, 0};
        if (::ppoll(&w, 1, &wait, nullptr) > 0) DrainWake();
    }
}

// A byte is written once its last bit would have crossed the line. Sleeps are at least 1 ms
// (bytes then leave in small bursts, as from a UART's FIFO) but never past the last byte's time.
bool SimServer::WriteAtLineRate(const uint8_t* bytes, std::size_t count, double byteSeconds) {
    if (byteSeconds <= 0) return WriteAll(bytes, count);
    const Clock::time_point start = Clock::now();
    const auto at = [&](std::size_t byteCount) {
        return start + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(static_cast<double>(byteCount) * byteSeconds));
    };
    std::size_t done = 0;
    while (done < count) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const std::size_t due = std::min(count, static_cast<std::size_t>(elapsed / byteSeconds));
        if (due > done) {
            if (!WriteAll(bytes + done, due - done)) return false;
            done = due;
            continue;
        }
        const Clock::time_point next =
            std::min(std::max(at(done + 1), Clock::now() + std::chrono::milliseconds(1)), at(count));
        if (!SleepUntil(next)) return false;
    }
    return true;
}

bool SimServer::WriteAll(const uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        if (stopping_) return false;
        const ssize_t n = ::write(pty_.MasterFd(), bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        pollfd fds[2] = {{pty_.MasterFd(), POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(fds, 2, 200) == 0) pty_.DropUnreadOutput();  // nobody reads the line: old replies go
        if (fds[1].revents) DrainWake();
    }
    return true;
}

void SimServer::ThreadMain() {
    auto nextChange = Clock::now() + std::chrono::milliseconds(changeEveryMs_.load());
    int period = changeEveryMs_.load();
    while (!stopping_) {
        const int now = changeEveryMs_.load();
        if (now != period) {
            period = now;
            nextChange = Clock::now() + std::chrono::milliseconds(period);
        }
        int timeout = 1000;
        if (period > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(nextChange - Clock::now());
            if (left.count() <= 0) {
                device_.ChangeRandomInput();
                nextChange += std::chrono::milliseconds(period);
                if (nextChange < Clock::now()) nextChange = Clock::now() + std::chrono::milliseconds(period);
                continue;
            }
            timeout = static_cast<int>(std::min<int64_t>(left.count() + 1, 1000));
        }
        RunOnce(timeout);
    }
}

}  // namespace corvix::sim
