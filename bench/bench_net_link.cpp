// SPDX-License-Identifier: Apache-2.0
// Wall time of opening the link and of one status round trip, with the simulated device
// reached three ways: its pseudo-terminal directly, and through ser2net as a raw TCP port and
// as an RFC 2217 port (whose opening also sets the line on the server). In one process: the
// engine over the real worker and port; ser2net runs as a child with a generated
// configuration. Prints min / median / max over the runs.
// Usage: bench_net_link [runs]   (default 20; needs /usr/sbin/ser2net)
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "devsim/devsim.h"
#include "link/session_loop.h"
#include "model/doc.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace corvix;

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    close(fd);
    return ntohs(a.sin_port);
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Print(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("  %-22s min %7.2f  median %7.2f  max %7.2f ms\n", what, v.front(), v[v.size() / 2],
                v.back());
}

// Connects, then asks for the status once; false when either fails.
bool OneRun(const std::string& name, std::vector<double>& open, std::vector<double>& status) {
    CBrondaleDoc doc;
    bool answered = false;
    SessionLoop loop(doc,
                     [&](const EngineResult& r) { answered |= std::holds_alternative<StatusUpdated>(r); });
    loop.Session().Link().settings.portName = name;
    const auto t0 = Clock::now();
    if (loop.Session().Connect() != LinkOpen::Opened) return false;
    const auto t1 = Clock::now();
    loop.Session().Engine().PollStatus();
    loop.Run([&] { return answered; }, Clock::now() + std::chrono::seconds(5));
    const auto t2 = Clock::now();
    open.push_back(Ms(t1 - t0));
    status.push_back(Ms(t2 - t1));
    // Let the server release the device before the next connection.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return answered;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    sim::SimOptions options;
    options.changeEveryMs = 0;
    sim::SimServer device(options);
    std::string error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "simulated device: %s\n", error.c_str());
        return 1;
    }
    const int raw = FreePort(), telnet = FreePort();
    const std::string config = "/tmp/bench_net_link_" + std::to_string(getpid()) + ".yaml";
    std::ofstream(config) << "connection: &raw\n  accepter: tcp,127.0.0.1," << raw
                          << "\n  connector: serialdev," << device.DevicePath() << ",57600n81,local\n"
                          << "connection: &rfc2217\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << telnet
                          << "\n  connector: serialdev," << device.DevicePath() << ",9600n81,local\n";
    const char* args[] = {"/usr/sbin/ser2net", "-n", "-c", config.c_str(), nullptr};
    pid_t server = -1;
    if (posix_spawn(&server, args[0], nullptr, nullptr, const_cast<char* const*>(args), environ) != 0) {
        std::fprintf(stderr, "cannot start ser2net\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    const std::string names[] = {device.DevicePath(), "tcp://127.0.0.1:" + std::to_string(raw),
                                 "rfc2217://127.0.0.1:" + std::to_string(telnet)};
    int failed = 0;
    for (const std::string& name : names) {
        std::vector<double> open, status;
        for (int i = 0; i < runs; ++i)
            if (!OneRun(name, open, status)) ++failed;
        std::printf("%s (%zu runs)\n", name.c_str(), open.size());
        if (open.empty()) continue;
        Print("open and set the line", open);
        Print("status round trip", status);
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    std::remove(config.c_str());
    device.Stop();
    if (failed > 0) std::printf("%d runs failed\n", failed);
    return failed > 0 ? 1 : 0;
}
