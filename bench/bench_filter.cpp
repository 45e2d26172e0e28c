// SPDX-License-Identifier: Apache-2.0
// Filtering the event-log page of 500 events in a shown main window, per keystroke: a time
// runs from the key reaching the filter box until the window has handled everything it posted
// (the rows hidden or shown again, the repaint). Each round types a word taken from the log
// letter by letter (a signal name, or the end of a time), then takes it back with Backspace,
// so both narrowing and widening count.
// Usage: QT_QPA_PLATFORM=offscreen bench_filter FULL.mac [ROUNDS]   (default 20)
#include <time.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/doc.h"
#include "ui/frame/mainframe.h"
#include "ui/qt_user_interface.h"
#include "ui/views/maclistview.h"

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
    std::printf("%-34s n=%4zu  median %7.2f ms  min %7.2f  max %7.2f\n", what, ms.size(), ms[ms.size() / 2],
                ms.front(), ms.back());
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Timing {
    std::vector<double> wall, cpu;
};

void TimedKey(QLineEdit* box, int key, const QString& text, Timing& into) {
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuMs();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &release);
    QApplication::processEvents();
    into.cpu.push_back(ThreadCpuMs() - cpuStart);
    into.wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_filter FULL.mac [ROUNDS]\n");
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
    if (!doc.ImportProjectFrom(path) || doc.Device(0).EventCountClamped() != MaxEvents) {
        std::fprintf(stderr, "bench_filter: %s has no full event log (make_full_project writes one)\n",
                     path.c_str());
        return 2;
    }
    doc.SelectNode(KindEventLog, KindDeviceFirst);
    QApplication::processEvents();
    CMacListView* list = frame.List();
    QLineEdit* box = list->FilterBox();
    if (list->rowCount() != MaxEvents || !box->isVisible()) {
        std::fprintf(stderr, "bench_filter: the event-log page is not shown with its filter\n");
        return 2;
    }
    box->setFocus();
    Timing narrow, widen;
    std::vector<double> shownAtEnd;
    for (int r = 0; r < rounds; ++r) {
        // Some row's whole name, or the end of its time: typed letter by letter it narrows the
        // rows from all of them to a few.
        const QTableWidgetItem* cell = list->item((r * 37) % MaxEvents, r % 2 == 0 ? 2 : 1);
        const QString word = r % 2 == 0 ? cell->text() : cell->text().right(9);
        for (const QChar c : word) TimedKey(box, 0, QString(c), narrow);
        int shown = 0;
        for (int row = 0; row < list->rowCount(); ++row) shown += list->isRowHidden(row) ? 0 : 1;
        shownAtEnd.push_back(shown);
        for (int i = 0; i < word.size(); ++i) TimedKey(box, Qt::Key_Backspace, QString(), widen);
    }
    std::sort(shownAtEnd.begin(), shownAtEnd.end());
    std::printf("event-log page: %d rows; a whole word leaves %.0f to %.0f shown\n", list->rowCount(),
                shownAtEnd.front(), shownAtEnd.back());
    Summary("keystroke narrowing", narrow.wall);
    Summary("keystroke widening (Backspace)", widen.wall);
    std::vector<double> all = narrow.wall, cpu = narrow.cpu;
    all.insert(all.end(), widen.wall.begin(), widen.wall.end());
    cpu.insert(cpu.end(), widen.cpu.begin(), widen.cpu.end());
    Summary("every keystroke", all);
    Summary("every keystroke, thread CPU", cpu);
    return 0;
}
