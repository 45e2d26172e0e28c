// SPDX-License-Identifier: Apache-2.0
// One timeline of the stored events of several devices, sorted by device time, optionally
// corrected by each device's known clock offset; and its CSV, the event export's format with
// a device column.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "model/record.h"

namespace corvix {

struct MergedEvent {
    int device = 0;             // slot in the project
    EventRecord event{};        // as stored; with a correction, its time fields are corrected
    bool corrected = false;     // the device's offset was taken off
    bool offsetBeyond = false;  // that offset is more than a second
};

// Device clock ahead of the PC (ms), by slot; devices without one keep their times.
using ClockOffsets = std::map<int, long long>;

// The events of `devices` (slots) in `project`, oldest first by (corrected) device time; events
// of equal time keep device order, then log order.
std::vector<MergedEvent> MergeEventLogs(const ProjectBlock& project, const std::vector<int>& devices,
                                        const ClockOffsets& offsets = {});

// UTF-8 with a byte-order mark, title row, CR LF rows: number, time, device, signal, transition.
std::string MergedEventsCsv(const ProjectBlock& project, const std::vector<MergedEvent>& events, int uiLanguage);

// Milliseconds since 1970-01-01 of an event's fields (no zone), and back into the fields.
long long EventTimeMs(const EventRecord& event);
void SetEventTimeMs(EventRecord& event, long long ms);

}  // namespace corvix
