// SPDX-License-Identifier: Apache-2.0
// A real serial device server for the tests: the system's ser2net, run in the foreground with
// a generated configuration that bridges three TCP ports on 127.0.0.1 to one serial device:
// raw, telnet with RFC 2217, and plain telnet. Its ports are found by binding port 0, so parallel
// test runs never share one.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "fakes/run_program.h"

namespace corvix::test {

// The ser2net program, or empty when it is not installed.
inline std::string Ser2netProgram() {
    for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net"})
        if (::access(path, X_OK) == 0) return path;
    return {};
}

// A TCP port on 127.0.0.1 that nobody listens on right now.
inline int FreeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

// True while something listens on 127.0.0.1:port (read from the kernel's socket table, so
// that looking does not open the device behind it).
inline bool Listening(int port) {
    std::ifstream table("/proc/net/tcp");
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::string line;
    while (std::getline(table, line))
        if (line.find(wanted) != std::string::npos && line.find(" 0A ") != std::string::npos) return true;
    return false;
}

class Ser2netServer {
  public:
    // Bridges to `device` at `lineSettings` ("9600n81"); Ok() tells whether all ports listen.
    explicit Ser2netServer(const std::string& device, const std::string& lineSettings = "9600n81") {
        char folder[] = "/tmp/corvix-ser2net-XXXXXX";
        if (::mkdtemp(folder) == nullptr) return;
        folder_ = folder;
        config_ = folder_ + "/ser2net.yaml";
        // A port taken between our look and ser2net's bind: try again with others.
        for (int attempt = 0; attempt < 3 && !ok_; ++attempt) {
            rawPort_ = FreeTcpPort();
            do telnetPort_ = FreeTcpPort();
            while (telnetPort_ == rawPort_);
            do plainPort_ = FreeTcpPort();
            while (plainPort_ == rawPort_ || plainPort_ == telnetPort_);
            std::ofstream(config_) << "connection: &raw\n"
                                   << "  accepter: tcp,127.0.0.1," << rawPort_ << "\n"
                                   << "  connector: serialdev," << device << "," << lineSettings << ",local\n"
                                   << "connection: &plain\n"
                                   << "  accepter: telnet,tcp,127.0.0.1," << plainPort_ << "\n"
                                   << "  connector: serialdev," << device << "," << lineSettings << ",local\n"
                                   << "connection: &rfc2217\n"
                                   << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << telnetPort_ << "\n"
                                   << "  connector: serialdev," << device << "," << lineSettings
                                   << ",local\n";
            program_ = std::make_unique<Program>(Ser2netProgram(),
                                                 std::vector<std::string>{"-n", "-d", "-c", config_});
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (program_->Started() && !program_->EndsWithin(0) &&
                   std::chrono::steady_clock::now() < deadline &&
                   !(ok_ = Listening(rawPort_) && Listening(telnetPort_) && Listening(plainPort_)))
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~Ser2netServer() {
        if (program_ && program_->Signal(SIGTERM)) program_->Wait(5000);
        if (!config_.empty()) ::unlink(config_.c_str());
        if (!folder_.empty()) ::rmdir(folder_.c_str());
    }
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    bool Ok() const { return ok_; }
    std::string RawName() const { return "tcp://127.0.0.1:" + std::to_string(rawPort_); }
    std::string Rfc2217Name() const { return "rfc2217://127.0.0.1:" + std::to_string(telnetPort_); }
    // RFC 2217 asked of a telnet port without it.
    std::string PlainTelnetName() const { return "rfc2217://127.0.0.1:" + std::to_string(plainPort_); }

  private:
    std::string folder_, config_;
    int rawPort_ = 0, telnetPort_ = 0, plainPort_ = 0;
    bool ok_ = false;
    std::unique_ptr<Program> program_;
};

}  // namespace corvix::test

// Skips the test when ser2net is missing; any other trouble with it is a failure.
#define CORVIX_REQUIRE_SER2NET()                                                                          \
    do {                                                                                                  \
        if (corvix::test::Ser2netProgram().empty())                                                       \
            GTEST_SKIP() << "ser2net is not installed (Debian package ser2net; scripts/deps.sh installs " \
                            "it): the serial device server tests need a real server";                     \
    } while (0)
