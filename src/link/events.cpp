// Event retrieval: the stored event log into the current device, new events into the event window.
#include <cstdio>

#include "link/engine.h"
#include "model/gbk.h"
#include "model/texts.h"

namespace corvix {

std::string ProtocolEngine::FormatEventText(const WireEvent& e, int dateFormat, int uiLanguage) {
    char header[96];
    if (dateFormat == DateWorld)
        std::snprintf(header, sizeof header, Pick(txt::EventHeaderWorld, uiLanguage), e.day, e.month, e.year,
                      e.hour, e.minute, e.second, e.millisecond);
    else
        std::snprintf(header, sizeof header, Pick(txt::EventHeaderChina, uiLanguage), e.year, e.month, e.day,
                      e.hour, e.minute, e.second, e.millisecond);
    std::string text = header;
    text += txt::EventDetailLead;
    text += GbkToUtf8(FieldText(e.designation, static_cast<int>(sizeof e.designation)));
    text += txt::EventDetailGap;
    text += Pick(e.direction == DirectionOffToOn ? txt::EventOffToOn : txt::EventOnToOff, uiLanguage);
    text += "\r\n";
    return text;
}

void ProtocolEngine::OnEventLog(const FrameHeader& h, std::span<const uint8_t> data) {
    DeviceRecord& dev = *doc_.currentDevice;
    const EventSegment seg = SplitEventSegment(data, h.segment);
    if (h.segment == 0) dev.eventCount = 0;
    if (seg.rejected) {
        transferBusy = false;
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
        ReadEventLog(h.segment);
        return;
    }
    host_.FillEventLogPage();
    if (IDocViews* views = doc_.Views()) views->UpdateAllViews();
    transferBusy = false;
}

void ProtocolEngine::OnNewEvents(const FrameHeader& h, std::span<const uint8_t> data) {
    host_.ShowEventWindowForNewEvents();
    const EventSegment seg = SplitEventSegment(data, h.segment);
    // New events are not stored, yet they empty the stored list until the next log read.
    if (h.segment == 0) doc_.currentDevice->eventCount = 0;
    if (seg.rejected) {
        transferBusy = false;
        return;
    }
    for (std::size_t i = 0; i < seg.count; ++i)
        host_.AppendEventText(FormatEventText(seg.At(i), dateFormat, doc_.uiLanguage));
    if (h.control == CTRL_REPLY_MORE)
        ReadEventLog(h.segment);
    else
        transferBusy = false;
}

}  // namespace corvix
