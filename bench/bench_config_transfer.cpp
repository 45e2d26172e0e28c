// SPDX-License-Identifier: Apache-2.0
// Wall time of a whole configuration read, a whole configuration write and a status round
// trip between the protocol engine (over the real worker and a termios port) and the
// simulated device on a pseudo-terminal, in one process. First unpaced (a pty moves bytes at
// once), then with the device pacing the line at each rate given: there each figure also
// shows the wire time its bytes need (bytes x bits per byte / baud, both ways) and the ratio
// of the measured time to it. Prints min / median / max over the runs.
// Usage: bench_config_transfer [runs] [baud ...] [--turnaround-ms N]
//        (defaults: 10 runs; 9600 57600 115200; no turnaround)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "devsim/devsim.h"
#include "link/serial_port.h"
#include "link/session_loop.h"
#include "model/doc.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace corvix;

// The engine on a live link through the session's own blocking loop: a one-second time-out
// tick, no polling.
class Driver {
  public:
    explicit Driver(CBrondaleDoc& doc)
        : loop_(doc, [this](const EngineResult& r) {
              if (const auto* sent = std::get_if<FrameSent>(&r)) lineBytes_ += sent->bytes.size();
              if (const auto* got = std::get_if<FrameReceived>(&r)) lineBytes_ += got->bytes.size();
              if (std::holds_alternative<ConfigurationWritten>(r)) writeSucceeded_ = true;
          }) {}

    bool Open(const std::string& path, int baud) {
        CommLink& link = loop_.Session().Link();
        link.CloseLink();
        link.settings.portName = path;
        link.settings.baudRate = baud;
        return loop_.Session().Connect() == LinkOpen::Opened;
    }
    const SerialSettings& Line() const { return loop_.Session().Link().settings; }
    // Bytes sent and received since the last call.
    std::size_t TakeLineBytes() { return std::exchange(lineBytes_, 0); }
    ProtocolEngine& Engine() { return loop_.Session().Engine(); }
    bool WriteSucceeded() const { return writeSucceeded_; }
    void ForgetWrite() { writeSucceeded_ = false; }
    // Until the engine is idle; false when the link was given up.
    bool RunUntilIdle() { return loop_.RunUntilIdle() == SessionLoop::Outcome::Done; }

  private:
    SessionLoop loop_;
    std::size_t lineBytes_ = 0;
    bool writeSucceeded_ = false;
};

// One figure over the runs: its times, and on a paced line each run's ratio to the wire
// time of its bytes plus the device's think time.
struct Figure {
    const char* what;
    std::vector<double> ms;
    std::vector<double> ratio;
    double wireMs = 0;  // of the last run
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void Report(const Figure& f) {
    const auto [lo, hi] = std::minmax_element(f.ms.begin(), f.ms.end());
    std::printf("  %-22s runs %2zu  min %8.1f  median %8.1f  max %8.1f ms", f.what, f.ms.size(), *lo,
                Median(f.ms), *hi);
    if (!f.ratio.empty()) {
        const auto [rlo, rhi] = std::minmax_element(f.ratio.begin(), f.ratio.end());
        std::printf("  wire %8.1f ms  ratio median %.3f (%.3f-%.3f)", f.wireMs, Median(f.ratio), *rlo, *rhi);
    }
    std::printf("\n");
}

struct Scenario {
    int baud = 57600;
    bool paced = false;
};

// Runs write, read and status round trip `runs` times; false when one did not complete.
bool RunScenario(Driver& driver, sim::SimServer& server, CBrondaleDoc& doc, const Scenario& sc, int runs,
                 int turnaroundMs) {
    server.SetPacing({.pace = sc.paced, .turnaroundMs = turnaroundMs});
    if (!driver.Open(server.DevicePath(), sc.baud)) {
        std::fprintf(stderr, "cannot open %s at %d baud\n", server.DevicePath().c_str(), sc.baud);
        return false;
    }
    const double bitsPerByte = LineBitsPerByte(driver.Line());
    Figure write{"configuration write", {}, {}}, read{"configuration read", {}, {}},
        status{"status round trip", {}, {}};
    // Timed from the operation's start until the engine is idle again; `exchanges` requests
    // each wait out the device's think time once.
    auto measure = [&](Figure& f, int exchanges, auto start) {
        driver.TakeLineBytes();
        const auto begin = Clock::now();
        start();
        if (!driver.RunUntilIdle()) return false;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
        f.ms.push_back(ms);
        if (sc.paced) {
            f.wireMs = static_cast<double>(driver.TakeLineBytes()) * bitsPerByte * 1000.0 / sc.baud;
            f.ratio.push_back(ms / (f.wireMs + exchanges * turnaroundMs));
        }
        return true;
    };
    for (int i = 0; i < runs; ++i) {
        // Write: a fresh name each run, so the device's image really changes.
        char name[32];
        std::snprintf(name, sizeof name, "bench %d", i);
        CopyTextField(doc.Project().devices[0].name, DeviceNameSize, name);
        driver.ForgetWrite();
        if (!measure(write, 3, [&] { driver.Engine().WriteConfiguration(); }) || !driver.WriteSucceeded()) {
            std::fprintf(stderr, "write %d did not complete\n", i);
            return false;
        }
        const sim::ConfigImage held = server.Device().Image();
        if (std::memcmp(held.data(), &doc.Project().devices[0], ConfigImageSize) != 0) {
            std::fprintf(stderr, "write %d: the device holds another image\n", i);
            return false;
        }

        // Read it back over a scribbled copy.
        std::memset(doc.Project().devices[0].name, 0, DeviceNameSize);
        if (!measure(read, 3, [&] { driver.Engine().ReadConfiguration(); })) {
            std::fprintf(stderr, "read %d did not complete\n", i);
            return false;
        }
        if (std::strcmp(doc.Project().devices[0].name, name) != 0) {
            std::fprintf(stderr, "read %d: the image did not arrive\n", i);
            return false;
        }

        if (!measure(status, 1, [&] { driver.Engine().PollStatus(); })) {
            std::fprintf(stderr, "status %d did not complete\n", i);
            return false;
        }
    }
    if (sc.paced)
        std::printf("paced at %d baud (%.1f bits per byte), turnaround %d ms\n", sc.baud, bitsPerByte,
                    turnaroundMs);
    else
        std::printf("unpaced pty\n");
    Report(read);
    Report(write);
    Report(status);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 10;
    int turnaroundMs = 0;
    std::vector<int> rates;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--turnaround-ms" && i + 1 < argc) {
            turnaroundMs = std::max(0, std::atoi(argv[++i]));
        } else if (i == 1) {
            runs = std::max(1, std::atoi(argv[i]));
        } else if (std::atoi(argv[i]) > 0) {
            rates.push_back(std::atoi(argv[i]));
        } else {
            std::fprintf(stderr, "usage: bench_config_transfer [runs] [baud ...] [--turnaround-ms N]\n");
            return 2;
        }
    }
    if (rates.empty()) rates = {9600, 57600, 115200};

    sim::SimOptions options;
    options.changeEveryMs = 0;
    sim::SimServer server(options);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "simulated device: %s\n", error.c_str());
        return 1;
    }

    CBrondaleDoc doc;
    doc.SetLanguage(LangEnglish);
    doc.Project().projectOpen = 1;
    doc.Project().deviceCount = 1;
    InitialiseNewDevice(doc.Project().devices[0], "bench", LangEnglish);
    doc.SelectNode(KindDeviceFirst, KindDeviceFirst);

    Driver driver(doc);
    if (!RunScenario(driver, server, doc, Scenario{}, runs, turnaroundMs)) return 1;
    for (int baud : rates)
        if (!RunScenario(driver, server, doc, Scenario{baud, true}, runs, turnaroundMs)) return 1;
    return 0;
}
