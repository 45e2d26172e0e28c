// SPDX-License-Identifier: Apache-2.0
// Time of the record diff and of the line text on the largest projects: 20 devices, each with
// 72 signal names and 500 stored events. The diff runs over two projects that differ in every
// signal name and event (the worst case: every row is built and compared) and over two equal
// ones; the line text over one. Prints median, minimum and maximum over N runs in ms.
// Usage: bench_diff [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/compare.h"
#include "model/gbk.h"
#include "model/project_textconv.h"
#include "model/record.h"

namespace {

using namespace corvix;

std::unique_ptr<ProjectBlock> FullProject(const std::string& variant) {
    auto project = std::make_unique<ProjectBlock>();
    project->projectOpen = 1;
    project->deviceCount = MaxDevices;
    CopyTextField(project->projectName, ProjectNameSize, Utf8ToGbk("城东变电站").c_str());
    for (int d = 0; d < MaxDevices; ++d) {
        DeviceRecord& rec = project->devices[d];
        InitialiseNewDevice(rec, Utf8ToGbk("主变保护 " + std::to_string(d + 1)).c_str(), LangChinese);
        rec.signalCount = MaxSignalNames;
        for (int s = 0; s < MaxSignalNames; ++s)
            CopyTextField(rec.signalNames[s], SignalNameSize, Utf8ToGbk("重瓦斯跳闸" + variant + std::to_string(s)).c_str());
        rec.eventCount = MaxEvents;
        for (int e = 0; e < MaxEvents; ++e) {
            EventRecord& ev = rec.events[e];
            ev = {};
            ev.year = 2026, ev.month = 12, ev.day = 7, ev.hour = 8, ev.minute = static_cast<uint8_t>(e % 60);
            ev.millisecond = static_cast<uint16_t>(e);
            ev.transition = static_cast<uint8_t>(e % 2);
            CopyTextField(ev.signalName, sizeof ev.signalName, Utf8ToGbk("断路器" + variant + std::to_string(e)).c_str());
        }
    }
    return project;
}

// Runs `work` `runs` times and prints median, minimum and maximum wall time in ms.
void Measure(const char* what, int runs, const std::function<std::size_t()>& work) {
    std::vector<double> ms;
    std::size_t size = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        size = work();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s median %7.2f ms   min %7.2f   max %7.2f   (%zu runs, result size %zu)\n", what,
                ms[ms.size() / 2], ms.front(), ms.back(), ms.size(), size);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const auto left = FullProject("甲"), right = FullProject("乙"), same = FullProject("甲");
    Measure("diff, every row differs", runs, [&] { return DiffProjects(*left, *right, LangEnglish).size(); });
    Measure("diff, equal projects", runs, [&] { return DiffProjects(*left, *same, LangEnglish).size(); });
    Measure("textconv (English)", runs, [&] { return ProjectLines(*left, LangEnglish).size(); });
    Measure("textconv (Chinese)", runs, [&] { return ProjectLines(*left, LangChinese).size(); });
    return 0;
}
