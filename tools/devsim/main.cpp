// SPDX-License-Identifier: Apache-2.0
// corvix-devsim: a simulated device on a pseudo-terminal, until SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <string>

#include "devsim/devsim.h"

int main(int argc, char** argv) {
    using namespace corvix::sim;
    const ParseResult parsed = ParseOptions(argc, argv);
    if (parsed.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (!parsed.ok) {
        std::fprintf(stderr, "corvix-devsim: %s\n%s", parsed.error.c_str(), UsageText().c_str());
        return 2;
    }

    // Blocked before the server's thread starts, so that only sigwait below takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SimServer server(parsed.options);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "corvix-devsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server.DevicePath().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    return 0;
}
