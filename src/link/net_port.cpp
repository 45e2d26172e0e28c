// SPDX-License-Identifier: Apache-2.0
#include "link/net_port.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace corvix {

namespace {

using Clock = std::chrono::steady_clock;

// Enough for every wire byte of a full reception with each data byte doubled, plus commands.
constexpr std::size_t PeekSize = 4096;

// The part after the scheme, and which scheme it was; nothing for other names.
std::optional<std::pair<NetPortKind, std::string>> SplitScheme(const std::string& name) {
    const std::size_t sep = name.find("://");
    if (sep == std::string::npos) return std::nullopt;
    std::string scheme = name.substr(0, sep);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (scheme == "tcp") return std::make_pair(NetPortKind::RawTcp, name.substr(sep + 3));
    if (scheme == "rfc2217") return std::make_pair(NetPortKind::Rfc2217, name.substr(sep + 3));
    return std::nullopt;
}

bool ValidHost(const std::string& host) {
    if (host.empty()) return false;
    return std::none_of(host.begin(), host.end(), [](unsigned char c) {
        return c <= ' ' || c >= 0x7F || c == '/' || c == '@' || c == '[' || c == ']';
    });
}

}  // namespace

bool IsNetPortName(const std::string& name) { return SplitScheme(name).has_value(); }

std::optional<NetPortName> ParseNetPortName(const std::string& name) {
    const auto split = SplitScheme(name);
    if (!split) return std::nullopt;
    const std::string& rest = split->second;
    NetPortName out;
    out.kind = split->first;
    std::size_t colon;
    if (!rest.empty() && rest[0] == '[') {
        // An IPv6 address, perhaps with a zone: "[fe80::1%eth0]:4000".
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return std::nullopt;
        out.host = rest.substr(1, close - 1);
        colon = close + 1;
        const bool v6 =
            out.host.find(':') != std::string::npos &&
            std::all_of(out.host.begin(), out.host.end(), [](unsigned char c) {
                return std::isalnum(c) || c == ':' || c == '.' || c == '%' || c == '_' || c == '-';
            });
        if (!v6) return std::nullopt;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos) return std::nullopt;
        out.host = rest.substr(0, colon);
        // A bare IPv6 address would be ambiguous: it needs its brackets.
        if (!ValidHost(out.host) || out.host.find(':') != std::string::npos) return std::nullopt;
    }
    out.port = rest.substr(colon + 1);
    if (out.port.empty() || out.port.size() > 5 ||
        out.port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long number = std::stol(out.port);
    if (number < 1 || number > 65535) return std::nullopt;
    out.port = std::to_string(number);
    return out;
}

std::string NetPortEndpoint(const std::string& name) {
    const auto parsed = ParseNetPortName(name);
    if (!parsed) return name;
    const bool v6 = parsed->host.find(':') != std::string::npos;
    return (v6 ? "[" + parsed->host + "]" : parsed->host) + ":" + parsed->port;
}

// ---------------------------------------------------------------------------------------
// NetSerialPort

NetSerialPort::~NetSerialPort() { Close(); }

bool NetSerialPort::Fail(int error) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    lastOpenError_ = error;
    return false;
}

bool NetSerialPort::Open(const std::string& name) {
    Close();
    lastOpenError_ = 0;
    const std::optional<NetPortName> parsed = ParseNetPortName(name);
    if (!parsed) return Fail(NetErrorBadName);
    telnet_ = parsed->kind == NetPortKind::Rfc2217;
    decoder_ = TelnetDecoder();
    if (!Connect(*parsed)) return false;
    hungUp_ = false;
    if (!telnet_) return true;

    // Offer the serial-port option and a binary channel both ways, so that CR and NUL pass
    // untouched; then wait for the server to take up the offer.
    std::vector<uint8_t> offer = decoder_.Offer(telnet::OptComPort);
    for (const auto& part : {decoder_.Offer(telnet::OptBinary), decoder_.Ask(telnet::OptBinary)})
        offer.insert(offer.end(), part.begin(), part.end());
    const bool answered = SendAll(offer, NetAnswerTimeoutMs) &&
                          WaitFor([this] { return decoder_.ComPortAccepted() || decoder_.ComPortRefused(); },
                                  NetAnswerTimeoutMs);
    if (!answered) return Fail(Cancelled() ? ECANCELED : hungUp_ ? NetErrorDropped : NetErrorNoTelnet);
    if (decoder_.ComPortRefused()) return Fail(NetErrorNoComPort);
    return true;
}

bool NetSerialPort::Connect(const NetPortName& name) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const int found = ::getaddrinfo(name.host.c_str(), name.port.c_str(), &hints, &list);
    if (found != 0) return Fail(found == EAI_SYSTEM ? errno : NetErrorHostNotFound);

    // One deadline for all addresses of the host; the first that takes the connection wins.
    const auto deadline = Clock::now() + std::chrono::milliseconds(NetConnectTimeoutMs);
    int error = ETIMEDOUT;
    for (const addrinfo* a = list; a != nullptr && fd_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        int result = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        while (result == EINPROGRESS || result == EINTR) {
            pollfd p[2] = {{fd, POLLOUT, 0}, {cancelFd_, POLLIN, 0}};
            const int r = ::poll(p, cancelFd_ >= 0 ? 2 : 1, RemainingMs(deadline));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                result = ETIMEDOUT;
                break;
            }
            if (cancelFd_ >= 0 && (p[1].revents & POLLIN)) {
                result = ECANCELED;
                break;
            }
            socklen_t size = sizeof result;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size) != 0) result = errno;
        }
        if (result != 0) {
            error = result;
            ::close(fd);
            if (result == ECANCELED) break;
            continue;
        }
        // Frames are small and the device waits for each: send every write at once.
        const int one = 1;
        (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fd_ = fd;
    }
    ::freeaddrinfo(list);
    return fd_ >= 0 || Fail(error);
}

template <typename Done>
bool NetSerialPort::WaitFor(Done done, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t buffer[512];
    while (!done()) {
        if (hungUp_) return false;
        const int wait = RemainingMs(deadline);
        if (wait == 0) return false;
        pollfd p[2] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
        const int r = ::poll(p, cancelFd_ >= 0 ? 2 : 1, wait);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) continue;  // the deadline check ends it
        if (cancelFd_ >= 0 && (p[1].revents & POLLIN)) return false;
        QuickAck();
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n <= 0) {
            MarkGone();
            return false;
        }
        std::size_t produced = 0;
        decoder_.Decode(buffer, static_cast<std::size_t>(n), nullptr, SIZE_MAX, produced);
        SendReplies();
    }
    return true;
}

bool NetSerialPort::SendAll(const std::vector<uint8_t>& bytes, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    return SendUntil(bytes.data(), bytes.size(), deadline, cancelFd_) == bytes.size();
}

bool NetSerialPort::Cancelled() const {
    if (cancelFd_ < 0) return false;
    pollfd p{cancelFd_, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

std::size_t NetSerialPort::SendUntil(const uint8_t* wire, std::size_t length, Clock::time_point deadline,
                                     int cancelFd) {
    std::size_t done = 0;
    while (done < length && !hungUp_) {
        const ssize_t n = ::send(fd_, wire + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            MarkGone();
            break;
        }
        // Send buffer full (the server does not keep up): wait as a full tty queue does.
        const int wait = RemainingMs(deadline);
        if (wait == 0) break;
        pollfd p[2] = {{fd_, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
        const int r = ::poll(p, cancelFd >= 0 ? 2 : 1, wait);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        if (cancelFd >= 0 && (p[1].revents & POLLIN)) break;
        if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            MarkGone();
            break;
        }
    }
    return done;
}

// Answers to the server's negotiation are a few bytes; the socket's send buffer takes them.
void NetSerialPort::SendReplies() {
    const std::vector<uint8_t> replies = decoder_.TakeReplies();
    if (!replies.empty()) (void)::send(fd_, replies.data(), replies.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// Acknowledge at once: a server that holds back the rest of a reply until our delayed
// acknowledgement comes (Nagle's algorithm) would add about 40 ms to each reply. The kernel
// drops back to delayed acknowledgements by itself, so this is set before each read.
void NetSerialPort::QuickAck() {
    const int one = 1;
    (void)::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

// Shut down both ways: the socket then polls POLLHUP, the sign the worker looks for.
void NetSerialPort::MarkGone() {
    hungUp_ = true;
    if (fd_ >= 0) (void)::shutdown(fd_, SHUT_RDWR);
}

bool NetSerialPort::Configure(const SerialSettings& s) {
    if (fd_ < 0 || hungUp_) return false;
    if (!telnet_) return true;
    const std::vector<uint8_t> commands = ComPortLineCommands(s.baudRate, s.dataBits, s.parity, s.stopBits);
    if (commands.empty()) return false;
    decoder_.Replies() = ComPortReplies{};
    if (!SendAll(commands, NetAnswerTimeoutMs) ||
        !WaitFor([this] { return decoder_.Replies().Complete(); }, NetAnswerTimeoutMs)) {
        if (Cancelled())
            lastOpenError_ = ECANCELED;
        else if (hungUp_)
            lastOpenError_ = NetErrorDropped;
        return false;
    }
    // The server answers with what the line carries now; anything else was not taken.
    const ComPortReplies& r = decoder_.Replies();
    return *r.baudRate == static_cast<uint32_t>(s.baudRate) && *r.dataSize == s.dataBits &&
           *r.parity == ParityWire(s.parity) && *r.stopSize == StopBitsWire(s.stopBits);
}

std::size_t NetSerialPort::Write(const uint8_t* bytes, std::size_t length, int cancelFd) {
    if (fd_ < 0 || hungUp_) return 0;
    std::vector<uint8_t> escaped;
    const uint8_t* wire = bytes;
    std::size_t wireLength = length;
    if (telnet_) {
        TelnetEscape(bytes, length, escaped);
        wire = escaped.data();
        wireLength = escaped.size();
    }
    const std::size_t done = SendUntil(wire, wireLength, WriteDeadline(length), cancelFd);
    return telnet_ ? TelnetDataBytes(wire, done) : done;
}

std::size_t NetSerialPort::BytesQueued() {
    if (fd_ < 0 || hungUp_) return 0;
    uint8_t wire[PeekSize];
    const ssize_t n = ::recv(fd_, wire, sizeof wire, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        MarkGone();  // end of stream: the server closed the connection
        return 0;
    }
    if (n < 0) return 0;
    const auto length = static_cast<std::size_t>(n);
    if (!telnet_) return length;
    // Commands in front of the data are taken out now, so that a socket holding nothing
    // else does not keep polling readable; the data and what follows it stay queued.
    std::size_t produced = 0;
    const std::size_t leading = decoder_.Decode(wire, length, nullptr, 0, produced);
    SendReplies();
    if (leading > 0) (void)::recv(fd_, wire, leading, MSG_DONTWAIT);
    TelnetDecoder counter = decoder_;
    counter.Decode(wire + leading, length - leading, nullptr, SIZE_MAX, produced);
    return produced;
}

std::size_t NetSerialPort::Read(uint8_t* out, std::size_t capacity) {
    if (fd_ < 0 || capacity == 0 || hungUp_) return 0;
    QuickAck();
    std::size_t total = 0;
    uint8_t wire[PeekSize];
    while (total < capacity) {
        // Raw: read what is asked for. Telnet: look first, then take only the wire bytes
        // the data handed out (and the commands among them) came from.
        const ssize_t n = telnet_ ? ::recv(fd_, wire, sizeof wire, MSG_PEEK | MSG_DONTWAIT)
                                  : ::recv(fd_, out + total, capacity - total, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) {
            MarkGone();
            break;
        }
        if (!telnet_) {
            total += static_cast<std::size_t>(n);
            continue;
        }
        std::size_t produced = 0;
        const std::size_t used =
            decoder_.Decode(wire, static_cast<std::size_t>(n), out + total, capacity - total, produced);
        SendReplies();
        total += produced;
        if (used > 0) (void)::recv(fd_, wire, used, MSG_DONTWAIT);
        if (used < static_cast<std::size_t>(n)) break;  // `out` is full
    }
    return total;
}

void NetSerialPort::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    hungUp_ = false;
}

std::shared_ptr<SerialPort> MakePortFor(const std::string& name) {
    if (IsNetPortName(name)) return std::make_shared<NetSerialPort>();
    return MakePosixSerialPort();
}

}  // namespace corvix
