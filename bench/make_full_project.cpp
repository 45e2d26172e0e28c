// SPDX-License-Identifier: Apache-2.0
// Writes the largest project a file holds, for timing the commands that read one as a whole
// process: 20 devices, each with 72 signal names and 500 stored events, Chinese texts.
// A variant (default 0) changes a few fields of a few devices, so that two files of
// different variants have something for `corvix-cli diff` to list.
// Usage: make_full_project OUT.mac [variant]
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "model/gbk.h"
#include "model/project_file.h"
#include "model/record.h"

int main(int argc, char** argv) {
    using namespace corvix;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_full_project OUT.mac [variant]\n");
        return 2;
    }
    const int variant = argc > 2 ? std::atoi(argv[2]) : 0;
    auto project = std::make_unique<ProjectBlock>();
    project->projectOpen = 1;
    project->deviceCount = MaxDevices;
    CopyTextField(project->projectName, ProjectNameSize, Utf8ToGbk("城东变电站").c_str());
    for (int d = 0; d < MaxDevices; ++d) {
        DeviceRecord& rec = project->devices[d];
        InitialiseNewDevice(rec, Utf8ToGbk("主变保护 " + std::to_string(d + 1)).c_str(), LangChinese);
        CopyTextField(rec.serialNumber, SerialNumberSize, ("SN-" + std::to_string(1000 + d)).c_str());
        rec.signalCount = MaxSignalNames;
        for (int s = 0; s < MaxSignalNames; ++s) {
            // Every fifth device of a variant renames a few signals.
            const bool renamed = variant != 0 && d % 5 == 0 && s % 24 == variant % 24;
            const std::string name = (renamed ? "轻瓦斯告警 " : "重瓦斯跳闸 ") + std::to_string(s);
            CopyTextField(rec.signalNames[s], SignalNameSize, Utf8ToGbk(name).c_str());
        }
        rec.eventCount = MaxEvents;
        for (int e = 0; e < MaxEvents; ++e) {
            EventRecord& ev = rec.events[e];
            ev = {};
            ev.year = 2026, ev.month = 12, ev.day = 1 + e / 100, ev.hour = 8 + (e / 60) % 10;
            ev.minute = e % 60, ev.second = (e * 7) % 60, ev.millisecond = (e * 37) % 1000;
            ev.transition = e % 2;
            CopyTextField(ev.signalName, sizeof ev.signalName, rec.signalNames[e % MaxSignalNames]);
        }
    }
    if (WriteProjectFileAtomic(argv[1], *project) != FileError::None) {
        std::fprintf(stderr, "make_full_project: cannot write %s\n", argv[1]);
        return 3;
    }
    return 0;
}
