// SPDX-License-Identifier: Apache-2.0
// Time of the settings history: recording one device's read (a commit), recording a read of
// all 20 devices of a project (one commit of 20 files), an unchanged read (an empty check
// commit), and listing one device's 10,000 recorded states, first as the recorder leaves the
// repository (loose objects) and then after `git gc` packed it. Every device has 72 signal
// names; each recorded read changes one. Listing is timed cold (no kept list: every commit is
// read) and warm (the list kept beside the objects plus the commits since). Prints median,
// minimum and maximum in ms.
// Usage: bench_history [runs] [folder for the 10,000-state repository, kept between runs; - for none]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "history/recorder.h"
#include "model/gbk.h"
#include "model/record.h"

namespace {

using namespace corvix;
using namespace corvix::history;

std::unique_ptr<ProjectBlock> FullProject() {
    auto project = std::make_unique<ProjectBlock>();
    project->projectOpen = 1;
    project->deviceCount = MaxDevices;
    for (int d = 0; d < MaxDevices; ++d) {
        DeviceRecord& rec = project->devices[d];
        InitialiseNewDevice(rec, Utf8ToGbk("主变保护 " + std::to_string(d + 1)).c_str(), LangChinese);
        rec.signalCount = MaxSignalNames;
        for (int s = 0; s < MaxSignalNames; ++s)
            CopyTextField(rec.signalNames[s], SignalNameSize, Utf8ToGbk("重瓦斯跳闸" + std::to_string(s)).c_str());
    }
    return project;
}

void Rename(ProjectBlock& p, int device, int n) {
    CopyTextField(p.devices[device].signalNames[n % MaxSignalNames], SignalNameSize,
                  ("renamed " + std::to_string(n)).c_str());
}

void Measure(const char* what, int runs, const std::function<void(int)>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work(i);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %7.2f ms   min %7.2f   max %7.2f   (%zu runs)\n", what, ms[ms.size() / 2], ms.front(),
                ms.back(), ms.size());
}

Settings In(const std::string& folder) {
    Settings s;
    s.folder = folder;
    s.program = "bench_history";
    s.author = Author{"Bench", "bench@example.org"};
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const std::string big = argc > 2 ? argv[2] : "/tmp/corvix-bench-history-10000";
    const std::string scratch = "/tmp/corvix-bench-history-" + std::to_string(getpid());
    auto project = FullProject();
    const ProjectIdentity id{"bench.mac", "0123456789abcdef0123456789abcdef"};
    {
        Recorder recorder(In(scratch + "/one"));
        recorder.RecordRead(*project, {0}, id, "/dev/ttyUSB0");
        for (int i = 0; i < 100; ++i) Rename(*project, 0, i), recorder.RecordRead(*project, {0}, id, "/dev/ttyUSB0");
        Measure("one device's read recorded", runs, [&](int i) {
            Rename(*project, 0, 1000 + i);
            if (recorder.RecordRead(*project, {0}, id, "/dev/ttyUSB0").empty()) std::exit(1);
        });
        Measure("one device's unchanged read (check)", runs, [&](int) {
            if (recorder.RecordRead(*project, {0}, id, "/dev/ttyUSB0").empty()) std::exit(1);
        });
    }
    {
        Recorder recorder(In(scratch + "/twenty"));
        std::vector<int> all;
        for (int d = 0; d < MaxDevices; ++d) all.push_back(d);
        recorder.RecordRead(*project, all, id, "/dev/ttyUSB0");
        Measure("20-device read recorded (all changed)", runs, [&](int i) {
            for (int d = 0; d < MaxDevices; ++d) Rename(*project, d, 2000 + i);
            if (recorder.RecordRead(*project, all, id, "/dev/ttyUSB0").empty()) std::exit(1);
        });
    }
    std::filesystem::remove_all(scratch);
    if (big == "-") return 0;

    // 10,000 states of one device.
    Recorder recorder(In(big));
    const std::string path = Recorder::DevicePath(*project, 0, id);
    std::string error;
    auto states = recorder.Repo(true)->States(path, error);
    const auto madeAt = std::chrono::steady_clock::now();
    for (int i = states ? static_cast<int>(states->size()) : 0; i < 10000; ++i) {
        Rename(*project, 0, 5000 + i);
        recorder.RecordRead(*project, {0}, id, i % 3 == 0 ? "/dev/ttyUSB1" : "/dev/ttyUSB0");
    }
    std::printf("(the 10,000 states took %.1f s to record)\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - madeAt).count());
    auto list = [&](int) {
        std::string e;
        Recorder r(In(big));  // as a new corvix-cli process would: open, then walk
        auto s = r.Repo(false)->States(path, e);
        if (!s || s->size() < 10000) std::exit(1);
    };
    // Cold: no list kept yet, every commit is read; warm: the kept list and the commits since.
    for (const char* packing : {"loose objects", "after git gc"}) {
        if (std::string(packing) == "after git gc" && std::system(("git -C '" + big + "' gc -q").c_str()) != 0) break;
        const std::string what = std::string("history list, 10,000 states, ") + packing;
        Measure((what + ", cold").c_str(), std::max(3, runs / 10), [&](int i) {
            std::filesystem::remove_all(big + "/.git/corvix-states");
            list(i);
        });
        Measure((what + ", warm").c_str(), runs, list);
        Rename(*project, 0, 99999);
        recorder.RecordRead(*project, {0}, id, "/dev/ttyUSB0");
        Measure((what + ", one new state").c_str(), 1, list);
    }
    return 0;
}
