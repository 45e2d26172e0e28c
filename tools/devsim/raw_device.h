// SPDX-License-Identifier: Apache-2.0
// Hand-driven ends of a line, for tests. PortEnd opens a device path the way a serial-port
// user does; RawDevice is a pty whose master side the caller drives, so a test can play a
// device (or another program speaking the protocol): read the request bytes, write any bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devsim/pty.h"

namespace corvix::sim {

// Reading and writing on one descriptor, with waits bounded by a time-out.
class LineEnd {
  public:
    virtual ~LineEnd() = default;

    bool Write(const uint8_t* bytes, std::size_t count);
    bool Write(const std::vector<uint8_t>& bytes) { return Write(bytes.data(), bytes.size()); }
    // Whatever has arrived, waiting up to timeoutMs for the first byte.
    std::vector<uint8_t> ReadSome(int timeoutMs);
    // Exactly `count` bytes, or fewer when timeoutMs passes first.
    std::vector<uint8_t> ReadExactly(std::size_t count, int timeoutMs);
    // The next whole frame that passes ValidateFrame (noise before it is skipped); empty when
    // none is complete within timeoutMs. Bytes after the frame stay for the next read.
    std::vector<uint8_t> ReadFrame(int timeoutMs);
    // Bytes that have arrived and not been taken yet (without waiting).
    std::size_t Available();

  protected:
    virtual int Fd() const = 0;

  private:
    bool Fill(int timeoutMs);  // waits for and appends new bytes; false on time-out
    void Collect();            // appends bytes already there
    std::vector<uint8_t> buffer_;
};

class PortEnd : public LineEnd {
  public:
    PortEnd() = default;
    PortEnd(const PortEnd&) = delete;
    PortEnd& operator=(const PortEnd&) = delete;
    ~PortEnd() override { Close(); }

    // Opens the path for reading and writing in raw mode.
    bool Open(const std::string& path, std::string* error = nullptr);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const override { return fd_; }

  private:
    int fd_ = -1;
};

class RawDevice : public LineEnd {
  public:
    bool Open(std::string* error = nullptr) { return pty_.Open(error); }
    void Close() { pty_.Close(); }
    bool IsOpen() const { return pty_.IsOpen(); }
    const std::string& DevicePath() const { return pty_.DevicePath(); }

  protected:
    int Fd() const override { return pty_.MasterFd(); }

  private:
    Pty pty_;
};

}  // namespace corvix::sim
