// SPDX-License-Identifier: Apache-2.0
// The main window's responsiveness during Read All over 20 simulated devices, each on its
// own pty: how late the window's thread handles an event posted every 10 ms (where input
// events wait too), as bench_window_flood measures it. Events posted while the click opens
// the operations window count apart from those posted during the read that follows. Prints
// each run's worst delays, then their median, min and max over the runs.
// Usage: bench_ops_window [RUNS] [DEVICES] [paced]   (default 7 runs, 20 devices, unpaced;
// paced: each device's bytes at 57600 baud 8N1, so the read lasts about a second)
#include <QApplication>
#include <QEvent>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devsim/sim_server.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "ui/frame/mainframe.h"
#include "ui/ops/ops_window.h"
#include "ui/qt_user_interface.h"

namespace {

using Clock = std::chrono::steady_clock;

class QuietUserInterface : public corvix::ui::IGuiUserInterface {
  public:
    std::optional<std::string> AskOpenProjectPath() override { return std::nullopt; }
    std::optional<std::string> AskSaveProjectPath() override { return std::nullopt; }
    std::optional<std::string> AskName(const std::string&, int) override { return std::nullopt; }
    void ShowMessage(const std::string&, const std::string&) override {}
    void SetBusy(bool) override {}
    corvix::ui::SaveChoice AskSaveChanges(int) override { return corvix::ui::SaveChoice::Discard; }
};

const QEvent::Type StampType = static_cast<QEvent::Type>(QEvent::User + 18);
struct StampEvent : QEvent {
    explicit StampEvent(Clock::time_point at) : QEvent(StampType), posted(at) {}
    Clock::time_point posted;
};
class Probe : public QObject {
  public:
    double worstOpenMs = 0, worstReadMs = 0;
    Clock::time_point opened = Clock::time_point::max();  // the window is up from here on
    bool event(QEvent* e) override {
        if (e->type() != StampType) return QObject::event(e);
        const Clock::time_point posted = static_cast<StampEvent*>(e)->posted;
        const double late = std::chrono::duration<double, std::milli>(Clock::now() - posted).count();
        double& worst = posted < opened ? worstOpenMs : worstReadMs;
        worst = std::max(worst, late);
        return true;
    }
};

void Summary(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("  %s: median %.1f ms, min %.1f ms, max %.1f ms\n", what, v[v.size() / 2], v.front(), v.back());
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int devices = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, corvix::MaxDevices) : 20;
    const bool paced = argc > 3 && std::string(argv[3]) == "paced";
    QApplication app(argc, argv);
    corvix::CBrondaleDoc doc;
    QuietUserInterface ui;
    CMainFrame frame(doc, ui, nullptr);
    frame.resize(1200, 760);
    frame.show();
    frame.RunCommand(CMainFrame::IdNewProject);
    corvix::ProjectBlock& project = doc.Project();
    project.deviceCount = devices;
    std::vector<std::unique_ptr<corvix::sim::SimServer>> sims;
    for (int i = 0; i < devices; ++i) {
        corvix::InitialiseNewDevice(project.devices[i], corvix::Utf8ToGbk("Feeder " + std::to_string(i + 1)).c_str(),
                                    corvix::LangEnglish);
        project.devices[i].address = static_cast<int16_t>(i + 1);
        corvix::sim::SimOptions options;
        options.device.address = i + 1;
        options.changeEveryMs = 0;
        options.pacing.pace = paced;
        sims.push_back(std::make_unique<corvix::sim::SimServer>(options));
        if (!sims.back()->Start()) {
            std::fprintf(stderr, "cannot start simulated device %d\n", i + 1);
            return 1;
        }
        corvix::DeviceConnection connection{sims.back()->DevicePath()};
        connection.baudRate = 57600;
        doc.Connections().Set(project, i, connection);
    }
    frame.RebuildTree();

    Probe probe;
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        auto next = Clock::now();
        while (!stop.load()) {
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
            QCoreApplication::postEvent(&probe, new StampEvent(Clock::now()));
        }
    });
    std::vector<double> worstOpen, worstRead, reads;
    int failed = 0;
    for (int r = 0; r < runs; ++r) {
        // Settle, then measure from the click to the last row's end.
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        probe.worstOpenMs = probe.worstReadMs = 0;
        probe.opened = Clock::time_point::max();
        const auto start = Clock::now();
        corvix::ui::COpsWindow* window = frame.RunProjectOperation(corvix::ProjectOpKind::Read);
        if (!window) return 1;
        probe.opened = Clock::now();
        while (!window->Finished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        for (const corvix::DeviceOpResult& result : window->Operation().Results())
            failed += result.state != corvix::DeviceOpState::Done;
        window->close();
        while (frame.opsWindow) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        worstOpen.push_back(probe.worstOpenMs);
        worstRead.push_back(probe.worstReadMs);
        reads.push_back(ms);
        std::printf("run %d: Read All %.1f ms, worst input delay %.1f ms while the window opened, %.1f ms after\n",
                    r + 1, ms, probe.worstOpenMs, probe.worstReadMs);
    }
    stop = true;
    poster.join();
    std::printf("%d devices (%s), %d runs, %d device reads failed\n", devices, paced ? "paced, 57600 baud" : "unpaced",
                runs, failed);
    Summary("Read All, click to last device", reads);
    Summary("worst input delay while the window opens", worstOpen);
    Summary("worst input delay during the read, window open", worstRead);
    return failed == 0 ? 0 : 1;
}
