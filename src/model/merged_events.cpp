// SPDX-License-Identifier: Apache-2.0
#include "model/merged_events.h"

#include <algorithm>
#include <cstdlib>

#include "model/clock_offset.h"
#include "model/event_csv.h"
#include "model/formats.h"
#include "model/gbk.h"
#include "model/texts.h"

namespace corvix {

long long EventTimeMs(const EventRecord& e) {
    // Stored fields may be anything a device sent; a month or day out of range still sorts.
    const unsigned month = e.month >= 1 && e.month <= 12 ? e.month : 1;
    const long long days = DaysFromCivil(e.year, month, e.day);
    return ((days * 24 + e.hour) * 60 + e.minute) * 60000LL + e.second * 1000LL + e.millisecond;
}

void SetEventTimeMs(EventRecord& e, long long ms) {
    long long days = ms / 86400000;
    long long rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    int y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    e.year = static_cast<uint16_t>(y);
    e.month = static_cast<uint8_t>(m);
    e.day = static_cast<uint8_t>(d);
    e.hour = static_cast<uint8_t>(rest / 3600000);
    e.minute = static_cast<uint8_t>(rest / 60000 % 60);
    e.second = static_cast<uint8_t>(rest / 1000 % 60);
    e.millisecond = static_cast<uint16_t>(rest % 1000);
}

std::vector<MergedEvent> MergeEventLogs(const ProjectBlock& project, const std::vector<int>& devices,
                                        const ClockOffsets& offsets) {
    std::vector<MergedEvent> out;
    std::vector<long long> keys;
    for (int slot : devices) {
        if (slot < 0 || slot >= project.DeviceCountClamped()) continue;
        const DeviceRecord& rec = project.devices[slot];
        const auto offset = offsets.find(slot);
        for (int i = 0; i < rec.EventCountClamped(); ++i) {
            MergedEvent m;
            m.device = slot;
            m.event = rec.events[i];
            if (offset != offsets.end()) {
                // The device clock runs `offset` ahead: its times are that much late.
                SetEventTimeMs(m.event, EventTimeMs(m.event) - offset->second);
                m.corrected = true;
                m.offsetBeyond = std::llabs(offset->second) > 1000;
            }
            out.push_back(m);
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const MergedEvent& a, const MergedEvent& b) {
        return EventTimeMs(a.event) < EventTimeMs(b.event);
    });
    return out;
}

std::string MergedEventsCsv(const ProjectBlock& project, const std::vector<MergedEvent>& events, int lang) {
    std::string csv = "\xEF\xBB\xBF";
    csv += CsvField(Pick(txt::ListColNumber, lang)) + ',' + CsvField(Pick(txt::ListColTime, lang)) + ',' +
           CsvField(Pick(txt::OpColDevice, lang)) + ',' + CsvField(Pick(txt::ListColName, lang)) + ',' +
           CsvField(Pick(txt::ListColState, lang)) + "\r\n";
    int number = 0;
    for (const MergedEvent& m : events) {
        const std::string device =
            PrintableText(GbkToUtf8(FieldText(project.devices[m.device].name, DeviceNameSize)));
        const std::string name =
            PrintableText(GbkToUtf8(FieldText(m.event.signalName, static_cast<int>(sizeof m.event.signalName))));
        csv += std::to_string(++number) + ',' + IsoEventTime(m.event) + ',' + CsvField(device) + ',' +
               CsvField(name) + ',' + CsvField(TransitionText(m.event.transition, lang)) + "\r\n";
    }
    return csv;
}

}  // namespace corvix
