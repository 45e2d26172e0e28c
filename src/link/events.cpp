// SPDX-License-Identifier: Apache-2.0
// Event retrieval: the stored event log into the current device, new events reported as they come.
#include "link/engine.h"

namespace corvix {

void ProtocolEngine::OnEventLog(const FrameHeader& h, std::span<const uint8_t> data) {
    DeviceRecord& dev = doc_.CurrentDevice();
    const EventSegment seg = SplitEventSegment(data, h.segment);
    if (h.segment == 0) dev.eventCount = 0;
    doc_.MarkPartialChange();
    if (seg.rejected) {
        doc_.MarkUnsavedChanges(StepKind::ReadEventLog);
        transferBusy_ = false;
        Report(OperationFailed{Operation::EventLog, FailReason::Refused});
        return;
    }
    for (std::size_t i = 0; i < seg.count; ++i) {
        const WireEvent e = seg.At(i);
        if (e.eventNumber >= MaxEvents) continue;
        const int count = dev.EventCountClamped();
        if (count < MaxEvents) dev.eventCount = count + 1;
        WireEventToRecord(e, dev.events[e.eventNumber]);
    }
    if (h.control == CTRL_REPLY_MORE) {
        ReadEventLogSegment(static_cast<uint16_t>(h.segment + 1));
        return;
    }
    doc_.MarkUnsavedChanges(StepKind::ReadEventLog);  // the whole log is one step
    transferBusy_ = false;
    Report(EventLogReceived{dev.EventCountClamped()});
}

void ProtocolEngine::OnNewEvents(const FrameHeader& h, std::span<const uint8_t> data) {
    const EventSegment seg = SplitEventSegment(data, h.segment);
    // New events are not stored, yet they empty the stored list until the next log read.
    if (h.segment == 0 && doc_.CurrentDevice().eventCount != 0) {
        doc_.CurrentDevice().eventCount = 0;
        doc_.MarkUnsavedChanges(StepKind::ClearEventLog);
    }
    NewEvents fresh;
    if (!seg.rejected)
        for (std::size_t i = 0; i < seg.count; ++i) fresh.events.push_back(seg.At(i));
    Report(std::move(fresh));
    // The device hands further new events over as its stored log.
    if (!seg.rejected && h.control == CTRL_REPLY_MORE)
        ReadEventLogSegment(static_cast<uint16_t>(h.segment + 1));
    else
        transferBusy_ = false;
}

}  // namespace corvix
