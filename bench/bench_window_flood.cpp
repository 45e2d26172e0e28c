// SPDX-License-Identifier: Apache-2.0
// The desktop window under a flood: a peer on a pty sends random bytes at full speed while
// the main window is connected to it, the communication bar shown. Measures how late the
// window's thread handles an event posted every 10 ms (where input events wait too) and the
// process's CPU use, the flooding thread's own left out. The engine gives up on the peer
// every 16 s or so; the benchmark connects again at once, as a user would.
// Usage: bench_window_flood [SECONDS] [--hidden]   (default 60; --hidden keeps the bar hidden)
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "flood_peer.h"
#include "link/comm_link.h"
#include "model/doc.h"
#include "ui/dialogs/comminfownd.h"
#include "ui/frame/mainframe.h"
#include "ui/qt_user_interface.h"

namespace {

using Clock = std::chrono::steady_clock;
using corvix::bench::FloodPeer;

// Messages (the give-up) are counted, never shown: a modal box would stop the benchmark.
class CountingUserInterface : public corvix::ui::IGuiUserInterface {
  public:
    int messages = 0;
    std::optional<std::string> AskOpenProjectPath() override { return std::nullopt; }
    std::optional<std::string> AskSaveProjectPath() override { return std::nullopt; }
    std::optional<std::string> AskName(const std::string&, int) override { return std::nullopt; }
    void ShowMessage(const std::string&, const std::string&) override { ++messages; }
    void SetBusy(bool) override {}
    corvix::ui::SaveChoice AskSaveChanges(int) override { return corvix::ui::SaveChoice::Discard; }
};

const QEvent::Type StampType = static_cast<QEvent::Type>(QEvent::User + 17);

struct StampEvent : QEvent {
    explicit StampEvent(Clock::time_point at) : QEvent(StampType), posted(at) {}
    Clock::time_point posted;
};

class Probe : public QObject {
  public:
    std::vector<double> delaysMs;
    bool event(QEvent* e) override {
        if (e->type() != StampType) return QObject::event(e);
        const auto late = Clock::now() - static_cast<StampEvent*>(e)->posted;
        delaysMs.push_back(std::chrono::duration<double, std::milli>(late).count());
        return true;
    }
};

double CpuSeconds(const rusage& u) {
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    bool hidden = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hidden") == 0)
            hidden = true;
        else if (argv[i][0] != '-')
            seconds = std::max(1, std::atoi(argv[i]));
    }
    std::string slave;
    const int master = FloodPeer::OpenMaster(slave);
    if (master < 0) return 1;

    QApplication app(argc, argv);
    corvix::CBrondaleDoc doc;
    CountingUserInterface ui;
    CMainFrame frame(doc, ui, nullptr);
    frame.resize(1200, 760);
    frame.show();
    if (!hidden) frame.RunCommand(CMainFrame::IdConnectionBar);
    frame.Link().settings.portName = slave;
    frame.RunCommand(CMainFrame::IdConnect);
    if (!frame.Link().IsConnected()) {
        std::fprintf(stderr, "cannot connect to %s\n", slave.c_str());
        return 1;
    }
    int reconnects = 0;
    QTimer reconnect;
    QObject::connect(&reconnect, &QTimer::timeout, [&] {
        if (frame.Link().IsConnected()) return;
        // After a give-up Connect is enabled again at the next second's state update.
        frame.RunCommand(CMainFrame::IdConnect);
        if (frame.Link().IsConnected()) ++reconnects;
    });
    reconnect.start(100);

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> flooded{0};
    double flooderCpu = 0;
    std::thread flooder([&] {
        FloodPeer peer(master);
        while (!stop.load()) flooded += peer.Round();
        rusage u{};
        getrusage(RUSAGE_THREAD, &u);
        flooderCpu = CpuSeconds(u);
    });
    Probe probe;
    std::thread poster([&] {
        auto next = Clock::now();
        while (!stop.load()) {
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
            QCoreApplication::postEvent(&probe, new StampEvent(Clock::now()));
        }
    });

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    stop = true;
    flooder.join();
    poster.join();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const double cpu = CpuSeconds(after) - CpuSeconds(before) - flooderCpu;

    std::vector<double> d = probe.delaysMs;
    std::sort(d.begin(), d.end());
    const double worst = d.empty() ? 0 : d.back();
    const double p99 = d.empty() ? 0 : d[std::min(d.size() - 1, d.size() * 99 / 100)];
    const double median = d.empty() ? 0 : d[d.size() / 2];
    std::printf(
        "window flood %.1f s, %.1f MB offered, bar %s, %zu entries kept, %d reconnects: "
        "event delay worst %.1f ms, p99 %.1f ms, median %.2f ms (%zu events); "
        "CPU %.2f s = %.1f %% of one core (flooding thread excluded)\n",
        wall, flooded.load() / 1e6, hidden ? "hidden" : "shown", frame.CommBar()->Entries().Size(), reconnects,
        worst, p99, median, d.size(), cpu, 100.0 * cpu / wall);
    frame.RunCommand(CMainFrame::IdDisconnect);
    return 0;
}
