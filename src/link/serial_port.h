// SPDX-License-Identifier: Apache-2.0
// The PC serial port: settings, the port interface the worker talks to, the POSIX termios
// implementation, a scriptable fake for tests, and the list of ports the PC has.
#pragma once

#include <termios.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/record.h"

namespace corvix {

inline constexpr int MaxSerialPorts = 10;
inline constexpr int PortNameSize = 80;

// The PC serial line. These are the first run's values; the desktop program keeps the line
// the user last confirmed in its settings and starts with that.
struct SerialSettings {
    std::string portName = "/dev/ttyS0";
    int baudRate = 57600;
    int dataBits = 8;
    int stopBits = StopBits1;  // StopBitsCode
    int parity = ParityNone;   // ParityCode
};

// "1", "1.5", "2" for StopBitsCode 0..2; empty for any other code.
const char* StopBitsText(int stopBits);
// "None", "EVEN", "ODD" for ParityCode 0..2 (as the status bar shows them); empty otherwise.
const char* ParityStatusText(int parity);

// Turns `t` (the line's current termios) into a raw line with these settings. False when
// termios cannot express them: 1.5 stop bits, data bits other than 5-8, a baud rate of 0 or
// less, an unknown parity or stop-bits code. A rate without a B constant leaves the speed of
// `t` alone; Configure programs it through termios2.
bool BuildLineSettings(const SerialSettings& settings, termios& t);

// The settings the tty `fd` carries now (on a pseudo-terminal's master side, those of its
// slave); the port name is left alone. False when `fd` is no tty.
bool ReadLineSettings(int fd, SerialSettings& out);
// Bits one byte takes on the line: start bit, data bits, parity bit if any, stop bits.
double LineBitsPerByte(const SerialSettings& settings);

// Write time-out: 50 ms per byte plus 2000 ms.
inline constexpr int WriteTimeoutPerByteMs = 50;
inline constexpr int WriteTimeoutConstantMs = 2000;
// When a write of `length` bytes begun now gives up, and the milliseconds left until then
// (0 once passed); every port, real or scripted, waits by the same rule.
std::chrono::steady_clock::time_point WriteDeadline(std::size_t length);
int RemainingMs(std::chrono::steady_clock::time_point deadline);

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Opens the device for reading and writing, exclusively. On failure returns false and
    // LastOpenError() gives the errno (EBUSY: another program holds the port).
    virtual bool Open(const std::string& path) = 0;
    virtual int LastOpenError() const = 0;
    // After an open refused with EBUSY: the program holding the port, "name (PID n)", or
    // empty when it cannot be found.
    virtual std::string LastOpenHolder() const { return {}; }
    // Programs the line; false when the device or this implementation refuses a value.
    virtual bool Configure(const SerialSettings& settings) = 0;
    // A descriptor whose turning readable ends a slow Open or Configure at once, as a failure
    // with ECANCELED (-1: none). Only ports that can take seconds to open look at it.
    virtual void SetOpenCancelFd(int /*fd*/) {}
    // Writes all bytes or gives up after the write time-out, or as soon as `cancelFd`
    // (if >= 0) becomes readable. Returns the number of bytes written.
    virtual std::size_t Write(const uint8_t* bytes, std::size_t length, int cancelFd = -1) = 0;
    // Bytes waiting in the input queue.
    virtual std::size_t BytesQueued() = 0;
    // Reads at most `capacity` queued bytes without blocking.
    virtual std::size_t Read(uint8_t* out, std::size_t capacity) = 0;
    // Descriptor that polls readable when input is queued and reports POLLHUP/POLLERR when
    // the line is gone; -1 when closed.
    virtual int PollFd() const = 0;
    // True once a read or write found the device gone (unplugged adapter, pty closed).
    virtual bool HungUp() const = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
};

// termios on a tty device (real port, USB adapter or pseudo-terminal). The driver's queue
// sizes are the kernel's (typically 4096 bytes each way), at least the 1024 bytes
// the link ever needs; they cannot be set from user space.
//
// Opening takes the port for us alone in every way other programs look for: the tty's
// exclusive mode (which does not bind root), an advisory flock() on the device, and a
// "LCK..name" file in `lockDir` holding our PID (honoured when another live process holds
// one; created when the folder lets us).
class PosixSerialPort : public SerialPort {
  public:
    explicit PosixSerialPort(std::string lockDir = "/var/lock") : lockDir_(std::move(lockDir)) {}
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    bool Open(const std::string& path) override;
    int LastOpenError() const override { return lastOpenError_; }
    std::string LastOpenHolder() const override { return lastOpenHolder_; }
    bool Configure(const SerialSettings& settings) override;
    std::size_t Write(const uint8_t* bytes, std::size_t length, int cancelFd = -1) override;
    std::size_t BytesQueued() override;
    std::size_t Read(uint8_t* out, std::size_t capacity) override;
    int PollFd() const override { return fd_; }
    bool HungUp() const override;
    bool IsOpen() const override { return fd_ >= 0; }
    void Close() override;

  private:
    bool Refuse(int fd, const std::string& path, long holderPid);

    std::string lockDir_;
    std::string lockFile_;  // the LCK.. file we created, removed on Close
    int fd_ = -1;
    int lastOpenError_ = 0;
    std::string lastOpenHolder_;
    std::atomic<bool> hungUp_{false};  // set by the worker, read by anyone
};

// Creates the port object CommLink opens; tests substitute a fake.
std::shared_ptr<SerialPort> MakePosixSerialPort();

// Real serial ports of the PC, from <sysfsRoot>/<name>/device (a tty without a `device` link
// is virtual). Placeholders of the 8250 driver whose port type reads 0 are skipped. Names
// are "/dev/<name>", in natural order (ttyS2 before ttyS10), at most MaxSerialPorts.
// Returns the number stored, or -1 when sysfsRoot cannot be read.
int EnumeratePorts(std::vector<std::string>& names, const std::string& sysfsRoot = "/sys/class/tty");

// Stable names of USB serial adapters: the entries of /dev/serial/by-id as full paths,
// sorted. Returns the number found (0 when the folder does not exist).
int ListSerialById(std::vector<std::string>& paths, const std::string& byIdDir = "/dev/serial/by-id");

}  // namespace corvix
