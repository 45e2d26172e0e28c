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
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "devsim/devsim.h"
#include "link/comm_link.h"
#include "link/engine.h"
#include "link/serial_port.h"
#include "model/doc.h"
#include "model/texts.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace corvix;

// The engine on a live link, driven the way the frame drives it: notices queued from the
// worker, a one-second time-out tick, no polling.
class Driver : public SilentEngineHost {
  public:
    explicit Driver(CBrondaleDoc& doc)
        : link_(nullptr,
                [this](CommNotice n, const uint8_t* bytes, std::size_t length) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (n == CommNotice::Sent) lineBytes_ += length;
                    queue_.push_back({n, std::vector<uint8_t>(bytes, bytes ? bytes + length : bytes)});
                    ready_.notify_one();
                }),
          engine_(doc, link_, *this) {}

    bool Open(const std::string& path, int baud) {
        link_.CloseLink();
        link_.settings.portName = path;
        link_.settings.baudRate = baud;
        return link_.OpenLink(LangEnglish);
    }
    const SerialSettings& Line() const { return link_.settings; }
    // Bytes sent and received since the last call.
    std::size_t TakeLineBytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(lineBytes_, 0);
    }
    ProtocolEngine& Engine() { return engine_; }
    bool WriteSucceeded() const { return writeSucceeded_; }
    void ForgetWrite() { writeSucceeded_ = false; }

    // Until the engine is idle; false when the link was given up.
    bool RunUntilIdle() {
        Clock::time_point tick = Clock::now() + std::chrono::seconds(1);
        while (engine_.awaitingReply || engine_.transferBusy) {
            if (!link_.IsConnected()) return false;
            std::unique_lock<std::mutex> lock(mutex_);
            if (!ready_.wait_until(lock, tick, [this] { return !queue_.empty(); })) {
                lock.unlock();
                tick += std::chrono::seconds(1);
                engine_.OnTimer(3);
                continue;
            }
            Notice n = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            if (n.kind == CommNotice::Sent) {
                engine_.OnSent(n.bytes.data(), n.bytes.size());
            } else if (n.kind == CommNotice::SendFailed) {
                engine_.OnSendFailed();
            } else {
                uint8_t reception[MaxReceptionSize];
                const std::size_t got = link_.TakeReception(reception, sizeof reception);
                {
                    std::lock_guard<std::mutex> g(mutex_);
                    lineBytes_ += got;
                }
                if (got > 0) engine_.OnReceived(reception, got);
            }
        }
        return link_.IsConnected();
    }

    void ShowMessage(const std::string& text, const std::string&) override {
        if (text == Pick(txt::WriteDataSuccess, LangEnglish)) writeSucceeded_ = true;
    }

  private:
    struct Notice {
        CommNotice kind;
        std::vector<uint8_t> bytes;
    };
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Notice> queue_;
    std::size_t lineBytes_ = 0;
    CommLink link_;
    ProtocolEngine engine_;
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
        CopyTextField(doc.project->devices[0].name, DeviceNameSize, name);
        driver.ForgetWrite();
        if (!measure(write, 3, [&] { driver.Engine().WriteConfiguration(-1); }) || !driver.WriteSucceeded()) {
            std::fprintf(stderr, "write %d did not complete\n", i);
            return false;
        }
        const sim::ConfigImage held = server.Device().Image();
        if (std::memcmp(held.data(), &doc.project->devices[0], ConfigImageSize) != 0) {
            std::fprintf(stderr, "write %d: the device holds another image\n", i);
            return false;
        }

        // Read it back over a scribbled copy.
        std::memset(doc.project->devices[0].name, 0, DeviceNameSize);
        if (!measure(read, 3, [&] { driver.Engine().ReadConfiguration(-1); })) {
            std::fprintf(stderr, "read %d did not complete\n", i);
            return false;
        }
        if (std::strcmp(doc.project->devices[0].name, name) != 0) {
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
    doc.uiLanguage = LangEnglish;
    doc.project->projectOpen = 1;
    doc.project->deviceCount = 1;
    InitialiseNewDevice(doc.project->devices[0], "bench", LangEnglish);
    doc.SelectNode(KindDeviceFirst, KindDeviceFirst);

    Driver driver(doc);
    if (!RunScenario(driver, server, doc, Scenario{}, runs, turnaroundMs)) return 1;
    for (int baud : rates)
        if (!RunScenario(driver, server, doc, Scenario{baud, true}, runs, turnaroundMs)) return 1;
    return 0;
}
