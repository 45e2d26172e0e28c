// SPDX-License-Identifier: Apache-2.0
// Serial device servers: the device's line reached over TCP, either as a raw byte stream
// (tcp://HOST:PORT) or through telnet with RFC 2217 (rfc2217://HOST:PORT), which also sets
// the server's baud rate, data bits, parity and stop bits. A port name with one of these
// schemes works wherever a device path does.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "link/telnet.h"

namespace corvix {

enum class NetPortKind { RawTcp, Rfc2217 };

struct NetPortName {
    NetPortKind kind = NetPortKind::RawTcp;
    std::string host;  // without the brackets of an IPv6 address
    std::string port;  // decimal, 1-65535
};

// True when the name has one of the schemes (tcp://, rfc2217://, in any case), whether or
// not the rest is valid: such a name is never a device path.
bool IsNetPortName(const std::string& name);
// "tcp://host:port", "rfc2217://host:port", "tcp://[::1]:port"; nothing for any other form.
std::optional<NetPortName> ParseNetPortName(const std::string& name);
// "host:port", "[v6]:port" for messages; the name itself when it does not parse.
std::string NetPortEndpoint(const std::string& name);

// LastOpenError() of a network port: an errno of socket(), connect() and the like
// (ECONNREFUSED, ETIMEDOUT, EHOSTUNREACH, ...) or one of these.
inline constexpr int NetErrorBadName = -1;       // the name does not parse
inline constexpr int NetErrorHostNotFound = -2;  // the host name could not be resolved
inline constexpr int NetErrorDropped = -3;       // the server closed the connection at once
inline constexpr int NetErrorNoTelnet = -4;      // no answer to the RFC 2217 offer in time
inline constexpr int NetErrorNoComPort = -5;     // the server refused RFC 2217

// How long opening waits for the TCP connection, and an RFC 2217 server for its answers.
inline constexpr int NetConnectTimeoutMs = 3000;
inline constexpr int NetAnswerTimeoutMs = 3000;

// The link over TCP. Input is left in the socket until the worker reads it, so the socket
// polls readable exactly while data waits, as a tty does; telnet commands in between are
// taken out and handled as they are met. When the server closes the connection the port
// shuts the socket down, so that it polls POLLHUP like a tty whose other side is gone.
class NetSerialPort : public SerialPort {
  public:
    NetSerialPort() = default;
    ~NetSerialPort() override;
    NetSerialPort(const NetSerialPort&) = delete;
    NetSerialPort& operator=(const NetSerialPort&) = delete;

    bool Open(const std::string& name) override;
    int LastOpenError() const override { return lastOpenError_; }
    // Raw TCP carries no settings: they are the server's. RFC 2217 sets them and checks that
    // the server confirms each one.
    bool Configure(const SerialSettings& settings) override;
    void SetOpenCancelFd(int fd) override { cancelFd_ = fd; }
    std::size_t Write(const uint8_t* bytes, std::size_t length, int cancelFd = -1) override;
    std::size_t BytesQueued() override;
    std::size_t Read(uint8_t* out, std::size_t capacity) override;
    int PollFd() const override { return fd_; }
    bool HungUp() const override { return hungUp_; }
    bool IsOpen() const override { return fd_ >= 0; }
    void Close() override;

  private:
    bool Fail(int error);
    // The open was called off through the cancel descriptor.
    bool Cancelled() const;
    bool Connect(const NetPortName& name);
    // Reads and decodes until `done` holds, the time passes or the server goes; data bytes
    // met on the way are dropped (they came before the line was set up).
    template <typename Done>
    bool WaitFor(Done done, int timeoutMs);
    bool SendAll(const std::vector<uint8_t>& bytes, int timeoutMs);
    // Sends until all is gone, the deadline passes, `cancelFd` (if >= 0) turns readable or the
    // peer goes; returns the bytes sent.
    std::size_t SendUntil(const uint8_t* wire, std::size_t length, std::chrono::steady_clock::time_point deadline,
                          int cancelFd);
    void SendReplies();
    void QuickAck();
    void MarkGone();

    int fd_ = -1;
    bool telnet_ = false;
    int lastOpenError_ = 0;
    int cancelFd_ = -1;
    TelnetDecoder decoder_;
    std::atomic<bool> hungUp_{false};
};

// The port object for a name: a network port for tcp:// and rfc2217:// names, the termios
// port for anything else.
std::shared_ptr<SerialPort> MakePortFor(const std::string& name);

}  // namespace corvix
