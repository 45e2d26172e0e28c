// SPDX-License-Identifier: Apache-2.0
#include "devsim/raw_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "devsim/frame_assembler.h"

namespace corvix::sim {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

bool LineEnd::Write(const uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(Fd(), bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{Fd(), POLLOUT, 0};
            if (::poll(&p, 1, 5000) <= 0) return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

void LineEnd::Collect() {
    uint8_t buf[1024];
    for (;;) {
        const ssize_t n = ::read(Fd(), buf, sizeof buf);
        if (n > 0) {
            buffer_.insert(buffer_.end(), buf, buf + n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

bool LineEnd::Fill(int timeoutMs) {
    if (Fd() < 0) return false;
    const std::size_t before = buffer_.size();
    pollfd p{Fd(), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN)) Collect();
    return buffer_.size() > before;
}

std::vector<uint8_t> LineEnd::ReadSome(int timeoutMs) {
    if (buffer_.empty()) Fill(timeoutMs);
    Collect();
    std::vector<uint8_t> out;
    out.swap(buffer_);
    return out;
}

std::vector<uint8_t> LineEnd::ReadExactly(std::size_t count, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (buffer_.size() < count && Fill(MsLeft(deadline))) {
    }
    const std::size_t n = std::min(count, buffer_.size());
    std::vector<uint8_t> out(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n));
    return out;
}

std::vector<uint8_t> LineEnd::ReadFrame(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        FrameAssembler assembler;
        assembler.Feed(buffer_.data(), buffer_.size());
        std::vector<uint8_t> frame;
        if (assembler.Next(frame)) {
            buffer_.erase(buffer_.begin(), buffer_.end() - static_cast<std::ptrdiff_t>(assembler.Buffered()));
            return frame;
        }
        if (!Fill(MsLeft(deadline))) return {};
    }
}

std::size_t LineEnd::Available() {
    if (Fd() >= 0) Collect();
    return buffer_.size();
}

bool PortEnd::Open(const std::string& path, std::string* error) {
    Close();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || !MakeRaw(fd)) {
        if (error) *error = path + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void PortEnd::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace corvix::sim
