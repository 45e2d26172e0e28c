// Wall time of a whole configuration read and of a whole configuration write between the
// protocol engine (over the real worker and a termios port) and the simulated device on a
// pseudo-terminal, in one process. Prints min / median / max over the runs.
// Usage: bench_config_transfer [runs]   (default 10)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devsim/devsim.h"
#include "link/session_loop.h"
#include "model/doc.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace corvix;

// The engine on a live link through the session's own blocking loop: a one-second
// time-out tick, no polling.
class Driver {
  public:
    explicit Driver(CBrondaleDoc& doc)
        : loop_(doc, [this](const EngineResult& r) {
              if (std::holds_alternative<ConfigurationWritten>(r)) writeSucceeded_ = true;
          }) {}

    bool Open(const std::string& path) {
        loop_.Session().Link().settings.portName = path;
        return loop_.Session().Connect() == LinkOpen::Opened;
    }
    ProtocolEngine& Engine() { return loop_.Session().Engine(); }
    bool WriteSucceeded() const { return writeSucceeded_; }
    void ForgetWrite() { writeSucceeded_ = false; }
    // Until the engine is idle; false when the link was given up.
    bool RunUntilIdle() { return loop_.RunUntilIdle() == SessionLoop::Outcome::Done; }

  private:
    SessionLoop loop_;
    bool writeSucceeded_ = false;
};

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const std::size_t n = ms.size();
    const double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    std::printf("%-31s runs %2zu  min %7.1f ms  median %7.1f ms  max %7.1f ms\n", what, n, ms.front(), median,
                ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    sim::SimOptions options;
    options.changeEveryMs = 0;
    sim::SimServer server(options);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "simulated device: %s\n", error.c_str());
        return 1;
    }

    CBrondaleDoc doc;
    doc.uiLanguage = LangEnglish;
    doc.project->projectOpen = 1;
    doc.project->deviceCount = 1;
    InitialiseNewDevice(doc.project->devices[0], "bench", LangEnglish);
    doc.SelectNode(KindDeviceFirst, KindDeviceFirst);

    Driver driver(doc);
    if (!driver.Open(server.DevicePath())) {
        std::fprintf(stderr, "cannot open %s\n", server.DevicePath().c_str());
        return 1;
    }

    std::vector<double> readMs, writeMs;
    for (int i = 0; i < runs; ++i) {
        // Write: a fresh name each run, so the device's image really changes.
        char name[32];
        std::snprintf(name, sizeof name, "bench %d", i);
        CopyTextField(doc.project->devices[0].name, DeviceNameSize, name);
        driver.ForgetWrite();
        auto start = Clock::now();
        driver.Engine().WriteConfiguration();
        if (!driver.RunUntilIdle() || !driver.WriteSucceeded()) {
            std::fprintf(stderr, "write %d did not complete\n", i);
            return 1;
        }
        writeMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        const sim::ConfigImage held = server.Device().Image();
        if (std::memcmp(held.data(), &doc.project->devices[0], ConfigImageSize) != 0) {
            std::fprintf(stderr, "write %d: the device holds another image\n", i);
            return 1;
        }

        // Read it back over a scribbled copy.
        std::memset(doc.project->devices[0].name, 0, DeviceNameSize);
        start = Clock::now();
        driver.Engine().ReadConfiguration();
        if (!driver.RunUntilIdle()) {
            std::fprintf(stderr, "read %d did not complete\n", i);
            return 1;
        }
        readMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (std::strcmp(doc.project->devices[0].name, name) != 0) {
            std::fprintf(stderr, "read %d: the image did not arrive\n", i);
            return 1;
        }
    }
    Report("configuration read (3 pieces)", readMs);
    Report("configuration write (3 pieces)", writeMs);
    return 0;
}
