// SPDX-License-Identifier: Apache-2.0
// A TCP server on 127.0.0.1 that takes connections into its backlog and never says a word: a
// serial device server that does not answer, or one that comes back on the same port.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace corvix::test {

class LoopbackListener {
  public:
    // Port 0: one the system picks.
    explicit LoopbackListener(uint16_t port = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        socklen_t size = sizeof a;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
            Close();
            return;
        }
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackListener() { Close(); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool Ok() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    uint16_t Port() const { return port_; }
    std::string Where() const { return "127.0.0.1:" + std::to_string(port_); }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace corvix::test
