// SPDX-License-Identifier: Apache-2.0
#include "fakes/fake_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace corvix {

// ---------------------------------------------------------------------------------------
// FakeSerialPort

FakeSerialPort::FakeSerialPort() {
    if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0) pipe_[0] = pipe_[1] = -1;
}

FakeSerialPort::~FakeSerialPort() {
    for (int fd : pipe_)
        if (fd >= 0) ::close(fd);
}

bool FakeSerialPort::Open(const std::string& path) {
    std::lock_guard<std::mutex> g(lock_);
    path_ = path;
    if (openError_ != 0 || pipe_[0] < 0) {
        lastOpenError_ = openError_ != 0 ? openError_ : EMFILE;
        return false;
    }
    lastOpenError_ = 0;
    open_ = true;
    return true;
}

int FakeSerialPort::LastOpenError() const {
    std::lock_guard<std::mutex> g(lock_);
    return lastOpenError_;
}

bool FakeSerialPort::Configure(const SerialSettings& settings) {
    std::lock_guard<std::mutex> g(lock_);
    ++configureCount_;
    configured_ = settings;
    return open_ && !failConfigure_;
}

std::size_t FakeSerialPort::Write(const uint8_t* bytes, std::size_t length, int cancelFd) {
    bool stall;
    {
        std::lock_guard<std::mutex> g(lock_);
        ++writeCalls_;
        if (!open_ || hungUp_ || failWrites_) return 0;
        stall = stallWrites_;
        if (!stall) {
            written_.insert(written_.end(), bytes, bytes + length);
            return length;
        }
    }
    // A stalled line: nothing leaves until the time-out or a cancel.
    pollfd p{cancelFd, POLLIN, 0};
    ::poll(&p, cancelFd >= 0 ? 1 : 0, RemainingMs(WriteDeadline(length)));
    return 0;
}

std::size_t FakeSerialPort::BytesQueued() {
    std::lock_guard<std::mutex> g(lock_);
    int n = 0;
    if (!open_ || ::ioctl(pipe_[0], FIONREAD, &n) != 0 || n < 0) return 0;
    return static_cast<std::size_t>(n);
}

std::size_t FakeSerialPort::Read(uint8_t* out, std::size_t capacity) {
    std::lock_guard<std::mutex> g(lock_);
    if (!open_ || capacity == 0) return 0;
    ssize_t n = ::read(pipe_[0], out, capacity);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

int FakeSerialPort::PollFd() const {
    std::lock_guard<std::mutex> g(lock_);
    return open_ ? pipe_[0] : -1;
}

bool FakeSerialPort::HungUp() const {
    std::lock_guard<std::mutex> g(lock_);
    return hungUp_;
}

bool FakeSerialPort::IsOpen() const {
    std::lock_guard<std::mutex> g(lock_);
    return open_;
}

void FakeSerialPort::Close() {
    std::lock_guard<std::mutex> g(lock_);
    open_ = false;
}

void FakeSerialPort::FailOpen(int error) {
    std::lock_guard<std::mutex> g(lock_);
    openError_ = error;
}

void FakeSerialPort::FailConfigure(bool fail) {
    std::lock_guard<std::mutex> g(lock_);
    failConfigure_ = fail;
}

void FakeSerialPort::FailWrites(bool fail) {
    std::lock_guard<std::mutex> g(lock_);
    failWrites_ = fail;
}

void FakeSerialPort::StallWrites(bool stall) {
    std::lock_guard<std::mutex> g(lock_);
    stallWrites_ = stall;
}

void FakeSerialPort::Feed(const uint8_t* bytes, std::size_t length) {
    std::lock_guard<std::mutex> g(lock_);
    if (pipe_[1] < 0) return;
    while (length > 0) {
        ssize_t n = ::write(pipe_[1], bytes, length);
        if (n <= 0) break;  // more than a pipe holds is more than any test needs
        bytes += n;
        length -= static_cast<std::size_t>(n);
    }
}

void FakeSerialPort::HangUp() {
    std::lock_guard<std::mutex> g(lock_);
    hungUp_ = true;
    // The reading end now polls POLLHUP, as a tty does when its adapter disappears.
    if (pipe_[1] >= 0) {
        ::close(pipe_[1]);
        pipe_[1] = -1;
    }
}

std::vector<uint8_t> FakeSerialPort::Written() const {
    std::lock_guard<std::mutex> g(lock_);
    return written_;
}

std::string FakeSerialPort::OpenedPath() const {
    std::lock_guard<std::mutex> g(lock_);
    return path_;
}

SerialSettings FakeSerialPort::ConfiguredSettings() const {
    std::lock_guard<std::mutex> g(lock_);
    return configured_;
}

int FakeSerialPort::ConfigureCount() const {
    std::lock_guard<std::mutex> g(lock_);
    return configureCount_;
}

int FakeSerialPort::WriteCalls() const {
    std::lock_guard<std::mutex> g(lock_);
    return writeCalls_;
}

}  // namespace corvix
