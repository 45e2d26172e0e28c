// SPDX-License-Identifier: Apache-2.0
// Read All over 20 simulated devices through the project operation (one link session per
// port, ports in parallel): on 20 pseudo-terminals unpaced, and behind 20 RFC 2217 ports of one
// ser2net with every device paced at 9600 8N1, against one device alone the same way. Also
// the memory the 20 sessions add (resident set, sampled while they run).
//
// Usage: bench_project_ops [runs]   (default 10; the ser2net part needs /usr/sbin/ser2net)
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devsim/devsim.h"
#include "link/project_ops.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace corvix;

constexpr int Devices = 20;

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

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Print(const char* what, std::vector<double> v, const char* unit = "ms") {
    std::sort(v.begin(), v.end());
    std::printf("  %-34s min %8.2f  median %8.2f  max %8.2f %s  (%zu runs)\n", what, v.front(), v[v.size() / 2],
                v.back(), unit, v.size());
}

long ResidentKb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Runs one Read over `targets` on this thread's loop; the time from start to the last device,
// or a negative number when a device failed. `peakKb` gets the highest resident set seen.
double ReadAll(const std::vector<DeviceTarget>& targets, long* peakKb = nullptr) {
    std::mutex lock;
    std::condition_variable ready;
    std::deque<std::function<void()>> queue;
    bool finished = false;
    ProjectOperation::Options options;
    options.maxJobs = Devices;
    ProjectOperation::Hooks hooks;
    hooks.post = [&](std::function<void()> fn) {
        std::lock_guard<std::mutex> g(lock);
        queue.push_back(std::move(fn));
        ready.notify_one();
    };
    hooks.finished = [&] { finished = true; };
    std::atomic<bool> sampling{peakKb != nullptr};
    std::thread sampler;
    if (peakKb != nullptr)
        sampler = std::thread([&] {
            while (sampling) {
                *peakKb = std::max(*peakKb, ResidentKb());
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
    const auto t0 = Clock::now();
    {
        ProjectOperation op(ProjectOpKind::Read, targets, options, hooks);
        op.Start();
        while (!finished) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> g(lock);
                ready.wait(g, [&] { return !queue.empty(); });
                fn = std::move(queue.front());
                queue.pop_front();
            }
            fn();
        }
        const double ms = Ms(Clock::now() - t0);
        sampling = false;
        if (sampler.joinable()) sampler.join();
        bool ok = true;
        for (const DeviceOpResult& r : op.Results())
            if (r.state != DeviceOpState::Done) {
                std::fprintf(stderr, "device %d: state %d, failure %d, %lld ms\n", r.slot, static_cast<int>(r.state),
                             static_cast<int>(r.failure), r.ms);
                ok = false;
            }
        if (!ok) return -1;
        return ms;
    }
}

std::vector<DeviceTarget> Targets(const std::vector<std::string>& ports, int baud) {
    std::vector<DeviceTarget> out;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        DeviceTarget t;
        t.slot = static_cast<int>(i);
        t.address = static_cast<int>(i + 1);
        t.line.portName = ports[i];
        t.line.baudRate = baud;
        out.push_back(t);
    }
    return out;
}

std::vector<std::unique_ptr<sim::SimServer>> StartDevices(bool pace) {
    std::vector<std::unique_ptr<sim::SimServer>> out;
    for (int i = 0; i < Devices; ++i) {
        sim::SimOptions options;
        options.changeEveryMs = 0;
        options.device.address = i + 1;
        options.pacing.pace = pace;
        out.push_back(std::make_unique<sim::SimServer>(options));
        std::string error;
        if (!out.back()->Start(&error)) {
            std::fprintf(stderr, "simulated device: %s\n", error.c_str());
            std::exit(1);
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    int failed = 0;

    {
        auto devices = StartDevices(false);
        std::vector<std::string> ports;
        for (auto& d : devices) ports.push_back(d->DevicePath());
        const auto targets = Targets(ports, 57600);
        // The first run also makes what every later one reuses (the shared scratch document).
        const long coldBefore = ResidentKb();
        long coldPeak = coldBefore;
        if (ReadAll(targets, &coldPeak) < 0) ++failed;
        std::vector<double> times, extraMb;
        for (int i = 0; i < runs; ++i) {
            const long before = ResidentKb();
            long peak = before;
            const double ms = ReadAll(targets, &peak);
            if (ms < 0) {
                ++failed;
                continue;
            }
            times.push_back(ms);
            extraMb.push_back(static_cast<double>(peak - before) / 1024.0);
        }
        std::printf("20 devices on 20 ptys, unpaced, 57600 8N1\n");
        if (!times.empty()) {
            Print("Read All", times);
            Print("extra resident memory", extraMb, "MB");
            std::printf("  %-34s %8.2f MB\n", "extra resident memory, first run", (coldPeak - coldBefore) / 1024.0);
        }
        for (auto& d : devices) d->Stop();
    }

    if (access("/usr/sbin/ser2net", X_OK) != 0) {
        std::printf("ser2net is not installed: the paced figure is left out\n");
        return failed > 0 ? 1 : 0;
    }
    auto devices = StartDevices(true);
    std::vector<int> tcp;
    const std::string config = "/tmp/bench_project_ops_" + std::to_string(getpid()) + ".yaml";
    {
        std::ofstream out(config);
        for (int i = 0; i < Devices; ++i) {
            int port = 0;
            do port = FreePort();
            while (std::find(tcp.begin(), tcp.end(), port) != tcp.end());
            tcp.push_back(port);
            out << "connection: &dev" << i << "\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << port
                << "\n  connector: serialdev," << devices[i]->DevicePath() << ",9600n81,local\n";
        }
    }
    const char* args[] = {"/usr/sbin/ser2net", "-n", "-c", config.c_str(), nullptr};
    pid_t server = -1;
    if (posix_spawn(&server, args[0], nullptr, nullptr, const_cast<char* const*>(args), environ) != 0) {
        std::fprintf(stderr, "cannot start ser2net\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    std::vector<std::string> ports;
    for (int p : tcp) ports.push_back("rfc2217://127.0.0.1:" + std::to_string(p));
    const auto all = Targets(ports, 9600);
    const std::vector<DeviceTarget> one(all.begin(), all.begin() + 1);
    std::vector<double> alone, twenty;
    for (int i = 0; i < runs; ++i) {
        // Let the server release the devices between runs.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const double a = ReadAll(one);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const double b = ReadAll(all);
        if (a < 0 || b < 0) {
            ++failed;
            continue;
        }
        alone.push_back(a);
        twenty.push_back(b);
    }
    std::printf("behind 20 RFC 2217 ports of one ser2net, each device paced at 9600 8N1\n");
    if (!alone.empty()) {
        Print("one device alone", alone);
        Print("Read All, 20 devices", twenty);
        std::vector<double> ratio;
        for (std::size_t i = 0; i < alone.size(); ++i) ratio.push_back(twenty[i] / alone[i]);
        Print("ratio (20 / one, per run)", ratio, "x");
        std::printf("  ratio of the medians %.3f\n", Median(twenty) / Median(alone));
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    std::remove(config.c_str());
    for (auto& d : devices) d->Stop();
    if (failed > 0) std::printf("%d runs failed\n", failed);
    return failed > 0 ? 1 : 0;
}
