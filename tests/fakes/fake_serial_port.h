// SPDX-License-Identifier: Apache-2.0
// A scriptable serial port for tests.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace corvix {

// In-memory port for tests: feed received bytes, capture written ones, fail opening,
// configuring or writing, stall writes, unplug. The poll descriptor is a pipe that holds the
// fed bytes, so the worker waits on it exactly as on a tty.
class FakeSerialPort : public SerialPort {
  public:
    FakeSerialPort();
    ~FakeSerialPort() override;
    FakeSerialPort(const FakeSerialPort&) = delete;
    FakeSerialPort& operator=(const FakeSerialPort&) = delete;

    bool Open(const std::string& path) override;
    int LastOpenError() const override;
    bool Configure(const SerialSettings& settings) override;
    std::size_t Write(const uint8_t* bytes, std::size_t length, int cancelFd = -1) override;
    std::size_t BytesQueued() override;
    std::size_t Read(uint8_t* out, std::size_t capacity) override;
    int PollFd() const override;
    bool HungUp() const override;
    bool IsOpen() const override;
    void Close() override;

    // ---- scripting (any thread) ----
    void FailOpen(int error);  // 0 = opening succeeds
    void FailConfigure(bool fail);
    void FailWrites(bool fail);                           // writes then return 0
    void StallWrites(bool stall);                         // writes then wait for their time-out or cancelFd
    void Feed(const uint8_t* bytes, std::size_t length);  // bytes "arrive" on the line
    void HangUp();                                        // the adapter is unplugged
    std::vector<uint8_t> Written() const;                 // everything written so far
    std::string OpenedPath() const;
    SerialSettings ConfiguredSettings() const;
    int ConfigureCount() const;
    int WriteCalls() const;

  private:
    mutable std::mutex lock_;
    int pipe_[2] = {-1, -1};
    bool open_ = false;
    bool hungUp_ = false;
    int openError_ = 0;
    int lastOpenError_ = 0;
    bool failConfigure_ = false;
    bool failWrites_ = false;
    bool stallWrites_ = false;
    int configureCount_ = 0;
    int writeCalls_ = 0;
    std::string path_;
    SerialSettings configured_;
    std::vector<uint8_t> written_;
};

}  // namespace corvix
