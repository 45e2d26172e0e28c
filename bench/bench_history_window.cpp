// SPDX-License-Identifier: Apache-2.0
// Time of opening History... on a device with 10,000 recorded states: the window is built,
// lists the states and is shown (offscreen platform), as a person opening it from the
// context menu would wait for it. The states are recorded first when the folder has fewer.
// Prints median, minimum and maximum in ms.
// Usage: bench_history_window [runs] [folder of the history, kept between runs]
#include <QApplication>
#include <QTableWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "history/recorder.h"
#include "model/doc.h"
#include "model/project_file.h"
#include "ui/dialogs/githistorydlg.h"

using namespace corvix;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::string folder = argc > 2 ? argv[2] : "/tmp/corvix-bench-history-window";
    CBrondaleDoc doc;
    doc.SetLanguage(LangEnglish);
    ProjectBlock& p = doc.Project();
    p.projectOpen = 1;
    p.deviceCount = 1;
    InitialiseNewDevice(p.devices[0], "Feeder 1", LangEnglish);
    history::Settings settings;
    settings.folder = folder;
    settings.author = history::Author{"Bench", "bench@example.org"};
    history::Recorder recorder(settings);
    const history::ProjectIdentity id{folder + "/plant.mac", "0123456789abcdef0123456789abcdef"};
    std::string error;
    const std::string path = history::Recorder::DevicePath(p, 0, id);
    auto states = recorder.Repo(true)->States(path, error);
    for (int i = states ? static_cast<int>(states->size()) : 0; i < 10000; ++i) {
        std::snprintf(p.devices[0].signalNames[i % MaxSignalNames], SignalNameSize, "renamed %d", i);
        recorder.RecordRead(p, {0}, id, "/dev/ttyUSB0");
    }
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        history::Recorder fresh(settings);  // as the window opens it: a recorder of its own
        CGitHistoryDlg dialog(doc, 0, fresh, id);
        dialog.show();
        QCoreApplication::processEvents();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (dialog.Table()->rowCount() < 10000) return 1;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("History window opening, 10,000 states   median %7.2f ms   min %7.2f   max %7.2f   (%zu runs)\n",
                ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
    return 0;
}
