// SPDX-License-Identifier: Apache-2.0
// Undo and redo in the window on a full project, and the memory the history keeps.
//  - Window: the project of make_full_project (20 devices, 72 names, 500 events each) in a
//    shown main window; each round takes four steps (a cell value, deleting signal rows on a
//    72-row page, deleting the first device, rewriting a device's event log shown as 500 rows),
//    then undoes and redoes each through the Edit menu's action. A time runs from the trigger
//    until the window has handled everything it posted (the tree, the list, the repaint).
//  - Memory: 200 steps of whole-record changes in a history of its own: every byte of a record
//    rewritten (the worst case), a device read replacing one record with another's, and device
//    delete + paste.
// Usage: QT_QPA_PLATFORM=offscreen bench_undo FULL.mac [ROUNDS]   (default 20)
#include <time.h>

#include <QAction>
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/doc.h"
#include "model/pages.h"
#include "ui/frame/mainframe.h"
#include "ui/qt_user_interface.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace corvix;

class QuietUserInterface : public ui::IGuiUserInterface {
  public:
    std::optional<std::string> AskOpenProjectPath() override { return std::nullopt; }
    std::optional<std::string> AskSaveProjectPath() override { return std::nullopt; }
    std::optional<std::string> AskName(const std::string&, int) override { return std::nullopt; }
    void ShowMessage(const std::string& text, const std::string&) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    void SetBusy(bool) override {}
    ui::SaveChoice AskSaveChanges(int) override { return ui::SaveChoice::Discard; }
};

void Summary(const char* what, std::vector<double> ms) {
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s n=%3zu  median %7.2f ms  min %7.2f  max %7.2f\n", what, ms.size(), ms[ms.size() / 2],
                ms.front(), ms.back());
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Wall time, and the window thread's CPU time (what a busy machine cannot inflate).
std::vector<double> cpuTimes;
double TimedTrigger(QAction* action) {
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuMs();
    action->trigger();
    QApplication::processEvents();
    cpuTimes.push_back(ThreadCpuMs() - cpuStart);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long RssKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
    }
    return 0;
}

void Select(CBrondaleDoc& doc, int device, int32_t page) { doc.SelectNode(page, KindDeviceFirst + device); }

void MeasureMemory(const std::string& path) {
    std::mt19937 rng(200);
    struct Case {
        const char* what;
        void (*step)(CBrondaleDoc&, std::mt19937&, int);
    };
    const Case cases[] = {
        {"every byte of a record",
         [](CBrondaleDoc& doc, std::mt19937& r, int i) {
             auto* bytes = reinterpret_cast<uint8_t*>(&doc.Device(i % MaxDevices));
             for (std::size_t k = 0; k < sizeof(DeviceRecord); ++k) bytes[k] = static_cast<uint8_t>(r());
             doc.MarkUnsavedChanges(StepKind::ReadConfiguration);
         }},
        {"a record read over by another's",
         [](CBrondaleDoc& doc, std::mt19937&, int i) {
             doc.Device(i % MaxDevices) = doc.Device((i * 7 + 3) % MaxDevices);
             doc.Device(i % MaxDevices).address = static_cast<int16_t>(i);
             doc.MarkUnsavedChanges(StepKind::ReadConfiguration);
         }},
        {"device delete, then paste",
         [](CBrondaleDoc& doc, std::mt19937&, int i) {
             if (i % 2 == 0) {
                 doc.CutDevice(KindDeviceFirst + (i / 2) % 19);
             } else {
                 doc.PasteBeforeDevice(KindDeviceFirst + (i / 2 + 5) % 19);
             }
         }},
    };
    for (const Case& c : cases) {
        CBrondaleDoc doc;
        if (!doc.ImportProjectFrom(path)) {
            std::fprintf(stderr, "cannot import %s\n", path.c_str());
            std::exit(2);
        }
        const long rssBefore = RssKb();
        for (int i = 0; i < 200; ++i) c.step(doc, rng, i);
        std::printf("200 steps, %-32s %zu steps kept, %7.2f MB held, RSS +%.2f MB\n", c.what,
                    doc.History().StepCount(), doc.History().MemoryBytes() / 1048576.0,
                    (RssKb() - rssBefore) / 1024.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_undo FULL.mac [ROUNDS]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    QApplication app(argc, argv);
    CBrondaleDoc doc;
    QuietUserInterface ui;
    CMainFrame frame(doc, ui, nullptr);
    frame.resize(1200, 760);
    frame.show();
    QApplication::processEvents();
    if (!doc.ImportProjectFrom(path) || doc.Project().DeviceCountClamped() != MaxDevices) {
        std::fprintf(stderr, "bench_undo: %s is no full project (make_full_project writes one)\n",
                     path.c_str());
        return 2;
    }
    QApplication::processEvents();

    std::vector<double> undo[4], redo[4];
    const char* names[4] = {"cell value", "signal rows (72-row page)", "first device deleted",
                            "event log (500-row page)"};
    std::mt19937 rng(24);
    for (int r = 0; r < rounds; ++r) {
        Select(doc, 7, KindDeviceAddress);
        StoreText(*FindPage(KindDeviceAddress), doc.EditTarget(), 0, std::to_string(1 + r % 200));
        doc.MarkModified(StepKind::EditValue);
        Select(doc, 3, KindSignalNames);
        doc.DeleteSignals({1, 2, 3});
        doc.DeleteDevice(KindDeviceFirst);
        Select(doc, 12, KindEventLog);
        for (EventRecord& e : doc.CurrentDevice().events) e.second = static_cast<uint8_t>(rng() % 60);
        doc.MarkUnsavedChanges(StepKind::ReadEventLog);
        QApplication::processEvents();
        for (int k = 3; k >= 0; --k) undo[k].push_back(TimedTrigger(frame.UndoAction()));
        for (int k = 0; k < 4; ++k) redo[k].push_back(TimedTrigger(frame.RedoAction()));
        // Back to the full project for the next round.
        for (int k = 0; k < 4; ++k) doc.Undo();
        QApplication::processEvents();
    }
    std::vector<double> all;
    for (int k = 0; k < 4; ++k) {
        Summary((std::string("undo ") + names[k]).c_str(), undo[k]);
        Summary((std::string("redo ") + names[k]).c_str(), redo[k]);
        all.insert(all.end(), undo[k].begin(), undo[k].end());
        all.insert(all.end(), redo[k].begin(), redo[k].end());
    }
    Summary("every undo and redo", all);
    Summary("every undo and redo, thread CPU", cpuTimes);
    MeasureMemory(path);
    return 0;
}
