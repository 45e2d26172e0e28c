// SPDX-License-Identifier: Apache-2.0
// CPU use of `corvix-cli device monitor` while the line floods it with random bytes at full
// speed: the program must stay cheap when a peer talks garbage. The flood lasts until the
// command gives up on the device that never answers properly (16 s) or SECONDS pass.
// Usage: bench_flood [SECONDS] [--log] [--cli PATH]   (default 30; --log also formats every
// reception; --cli runs another build's corvix-cli, for a before/after pair). The CPU is also
// given per megabyte taken in: a pty has no baud rate, so the rate is the reader's to set (past
// its burst allowance the worker reads garbage no faster than its paced rate).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "flood_peer.h"

extern char** environ;
using corvix::bench::FloodPeer;

int main(int argc, char** argv) {
    int seconds = 30;
    bool log = false;
    std::string cli;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--log") == 0)
            log = true;
        else if (std::strcmp(argv[i], "--cli") == 0 && i + 1 < argc)
            cli = argv[++i];
        else
            seconds = std::max(1, std::atoi(argv[i]));
    }
    std::string slave;
    const int master = FloodPeer::OpenMaster(slave);
    if (master < 0) return 1;

    // The command line sits beside the benchmark in the build folder.
    std::string self(4096, '\0');
    self.resize(std::max<ssize_t>(0, readlink("/proc/self/exe", self.data(), self.size())));
    if (cli.empty()) cli = self.substr(0, self.rfind('/')) + "/corvix-cli";
    const std::string secondsText = std::to_string(seconds);
    std::vector<const char*> args = {cli.c_str(),         "device", "monitor",    "--seconds",
                                     secondsText.c_str(), "--port", slave.c_str()};
    if (log) args.push_back("--log");
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, const_cast<char* const*>(args.data()), environ) !=
        0) {
        std::fprintf(stderr, "cannot start %s\n", cli.c_str());
        return 1;
    }
    posix_spawn_file_actions_destroy(&actions);

    const auto start = std::chrono::steady_clock::now();
    FloodPeer peer(master);
    uint64_t flooded = 0;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid) break;
        flooded += peer.Round();
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                       usage.ru_stime.tv_usec / 1e6;
    std::printf(
        "flood %.1f s, %.1f MB offered%s: corvix-cli CPU %.2f s = %.1f %% of one core, %.1f CPU-ms per MB "
        "(exit %d)\n",
        wall, flooded / 1e6, log ? " (--log)" : "", cpu, 100.0 * cpu / wall, flooded > 0 ? cpu * 1e9 / flooded : 0.0,
        WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}
