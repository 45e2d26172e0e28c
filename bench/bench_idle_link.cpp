// SPDX-License-Identifier: Apache-2.0
// CPU used by an open, idle link: a worker on a pseudo-terminal with nothing to send or
// receive. Prints the process CPU time over the idle stretch and the share of one core.
// Usage: bench_idle_link [seconds]   (default 10)
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "link/comm_worker.h"
#include "link/serial_port.h"

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        std::perror("pseudo-terminal");
        return 1;
    }
    termios t{};
    if (tcgetattr(master, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }

    auto port = std::make_shared<corvix::PosixSerialPort>();
    if (!port->Open(name) || !port->Configure(corvix::SerialSettings{})) {
        std::fprintf(stderr, "cannot open %s\n", name);
        return 1;
    }
    corvix::CommWorker worker(std::make_shared<corvix::LinkBuffers>(), {});
    if (!worker.Start(port)) {
        std::fprintf(stderr, "worker did not start\n");
        return 1;
    }

    const double cpuBefore = CpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = CpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const auto rounds = worker.LoopCount();
    worker.Stop();
    close(master);

    std::printf("idle link on %s for %.2f s: CPU %.4f s (%.3f %% of one core), worker rounds %llu\n", name,
                wall, cpu, 100.0 * cpu / wall, static_cast<unsigned long long>(rounds));
    return 0;
}
