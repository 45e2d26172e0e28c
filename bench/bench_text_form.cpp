// SPDX-License-Identifier: Apache-2.0
// Time to export a full project to its JSON text and to import it again: 20 devices, each with
// 72 signal names and 500 stored events, Chinese texts. Runs each N times (default 20) and
// prints median, min and max in ms; checks that the round trip gave the same bytes.
// Usage: bench_text_form [runs]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/gbk.h"
#include "model/project_text.h"
#include "model/record.h"

namespace {

using namespace corvix;

std::unique_ptr<ProjectBlock> FullProject() {
    auto project = std::make_unique<ProjectBlock>();
    project->projectOpen = 1;
    project->deviceCount = MaxDevices;
    CopyTextField(project->projectName, ProjectNameSize, Utf8ToGbk("城东变电站").c_str());
    for (int d = 0; d < MaxDevices; ++d) {
        DeviceRecord& rec = project->devices[d];
        InitialiseNewDevice(rec, Utf8ToGbk("主变保护 " + std::to_string(d + 1)).c_str(), LangChinese);
        rec.signalCount = MaxSignalNames;
        for (int s = 0; s < MaxSignalNames; ++s)
            CopyTextField(rec.signalNames[s], SignalNameSize,
                          Utf8ToGbk("重瓦斯跳闸 " + std::to_string(s)).c_str());
        rec.eventCount = MaxEvents;
        for (int e = 0; e < MaxEvents; ++e) {
            EventRecord& ev = rec.events[e];
            ev = {};
            ev.year = 2026, ev.month = 12, ev.day = 1 + e / 100, ev.hour = 8, ev.minute = e % 60;
            ev.millisecond = static_cast<uint16_t>(e);
            ev.transition = static_cast<uint8_t>(e % 2);
            CopyTextField(ev.signalName, SignalNameSize, rec.signalNames[e % MaxSignalNames]);
        }
    }
    return project;
}

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-12s median %7.2f ms   min %7.2f ms   max %7.2f ms   (%zu runs)\n", what, ms[ms.size() / 2],
                ms.front(), ms.back(), ms.size());
}

// CPU time of this thread: on a shared machine wall time says more about the neighbours.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Timing {
    std::vector<double> wall, cpu;
};

void Timed(Timing& timing, const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = ThreadCpuMs();
    work();
    timing.cpu.push_back(ThreadCpuMs() - cpu);
    timing.wall.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::unique_ptr<ProjectBlock> project = FullProject();
    std::string text;
    Timing exporting, importing;
    bool same = true;
    for (int i = 0; i < runs; ++i) {
        Timed(exporting, [&] { text = ProjectToJson(*project); });
        std::optional<ParsedProjectText> parsed;
        TextFormError error;
        Timed(importing, [&] { parsed = ProjectFromJson(text, error); });
        same = same && parsed && std::memcmp(parsed->block.get(), project.get(), sizeof *project) == 0;
    }
    std::printf("text: %zu bytes, %zu lines\n", text.size(),
                static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    Report("export wall", exporting.wall);
    Report("export cpu", exporting.cpu);
    Report("import wall", importing.wall);
    Report("import cpu", importing.cpu);
    if (!same) std::printf("round trip changed the project\n");
    return same ? 0 : 1;
}
