#include "link/engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "model/texts.h"

namespace corvix {

namespace {

constexpr int TicksPerSend = 3;  // a request is resent on the tick that passes this count
constexpr int MaxResends = 3;
constexpr int32_t PageInputStatus = KindInputStatus;

bool IsConfigurationPage(int32_t page) {
    return page == KindDeviceAddress || page == KindPortB1 || page == KindPortB2 || page == KindSignalNames ||
           page == KindTimeSync;
}

}  // namespace

LocalTime SystemLocalTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    localtime_r(&ts.tv_sec, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.dayOfWeek = tm.tm_wday;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    return t;
}

ProtocolEngine::ProtocolEngine(CBrondaleDoc& doc, IFrameSink& sink, IEngineHost& host)
    : doc_(doc), sink_(sink), host_(host) {}

std::string ProtocolEngine::FormatClock(int dateFormat, int year, int month, int day, int hour, int minute,
                                        int second) {
    char text[64];
    if (dateFormat == DateWorld)
        std::snprintf(text, sizeof text, txt::ClockWorldFormat, day, month, year, hour, minute, second);
    else
        std::snprintf(text, sizeof text, txt::ClockChinaFormat, year, month, day, hour, minute, second);
    return text;
}

// ---- sending ----

void ProtocolEngine::Send(uint8_t control, uint16_t segment, uint8_t type, uint8_t function,
                          const uint8_t* data, std::size_t dataLength) {
    outgoingSize_ = BuildFrame(outgoing_, control, segment, 0, type, function, data, dataLength);
    awaitingReply = true;
    tickCount = 0;
    repeatCount = 0;
    sink_.SubmitFrame(outgoing_, outgoingSize_);
}

void ProtocolEngine::ResendFrame() {
    if (outgoingSize_ > 0) sink_.SubmitFrame(outgoing_, outgoingSize_);
}

void ProtocolEngine::ClearWaiting() {
    tickCount = 0;
    repeatCount = 0;
    awaitingReply = false;
}

bool ProtocolEngine::OutgoingIs(uint8_t type, uint8_t function) const {
    return outgoingSize_ >= FrameHeaderSize && outgoing_[8] == type && outgoing_[9] == function;
}

uint16_t ProtocolEngine::OutgoingSegment() const { return GetU16(outgoing_ + 4); }

// ---- operations ----

void ProtocolEngine::PollStatus() {
    // A single request replaces whatever was outstanding, so no transfer is running any more.
    transferBusy = false;
    Send(CTRL_LAST, 0, TYPE_READ, FC_STATUS, nullptr, 0);
}

void ProtocolEngine::ReadDeviceTime() {
    transferBusy = false;
    Send(CTRL_SIMPLE, 0, TYPE_READ, FC_CLOCK, nullptr, 0);
}

void ProtocolEngine::ReadConfiguration(int segment) {
    if (segment < 0) transferBusy = true;
    const uint16_t next = segment < 0 ? 0 : static_cast<uint16_t>(segment + 1);
    Send(CTRL_LAST, next, TYPE_READ, FC_CONFIG, nullptr, 0);
}

void ProtocolEngine::WriteConfiguration(int segment) {
    if (segment < 0) {
        staging_.BeginWrite(*doc_.currentDevice);
        transferBusy = true;
    } else if (outgoingSize_ >= FrameHeaderSize && outgoing_[3] == CTRL_LAST) {
        // The last piece has been acknowledged. State first: the message may run a nested loop.
        ClearWaiting();
        transferBusy = false;
        const int lang = doc_.uiLanguage;
        host_.ShowMessage(Pick(txt::WriteDataSuccess, lang), Pick(txt::WriteSuccessCaption, lang));
        return;
    }
    const ConfigPiece piece = NextConfigPiece(staging_.stagedSize, staging_.bytesSent);
    if (piece.control == CTRL_MORE) staging_.bytesSent += piece.length;
    const uint16_t next = segment < 0 ? 0 : static_cast<uint16_t>(segment + 1);
    Send(piece.control, next, TYPE_WRITE, FC_CONFIG, staging_.stagingArea + piece.offset, piece.length);
}

void ProtocolEngine::SetDeviceTime() {
    transferBusy = false;
    ClockFields c;
    c.year = timeToSet.year;
    c.month = timeToSet.month;
    c.day = timeToSet.day;
    c.hour = timeToSet.hour;
    c.minute = timeToSet.minute;
    c.second = timeToSet.second;
    c.millisecond = timeToSet.millisecond;
    uint8_t data[ClockPayloadSize];
    WriteClockPayload(data, c);
    Send(CTRL_SIMPLE, 0, TYPE_WRITE, FC_CLOCK, data, sizeof data);
}

void ProtocolEngine::ExecuteOutputTest() {
    transferBusy = false;
    uint8_t data[OutputTestRequestSize];
    WriteOutputTestPayload(data, static_cast<uint8_t>(doc_.cpuFailureTest & 0xFF));
    Send(CTRL_SIMPLE, 0, TYPE_WRITE, FC_OUTPUT_TEST, data, sizeof data);
}

void ProtocolEngine::ReadEventLog(int segment) {
    transferBusy = true;
    const uint16_t next = segment < 0 ? 0 : static_cast<uint16_t>(segment + 1);
    Send(CTRL_LAST, next, TYPE_READ, FC_EVENT_LOG, nullptr, 0);
}

void ProtocolEngine::ReadNewEvents() {
    transferBusy = true;
    Send(CTRL_LAST, 0, TYPE_READ, FC_NEW_EVENTS, nullptr, 0);
}

// ---- timers ----

void ProtocolEngine::OnTimer(int id) {
    doc_.dateFormat = dateFormat;
    if (id == 1) {
        if (sink_.IsConnected() && !transferBusy && !awaitingReply) {
            if (host_.ClockWindowOpen())
                ReadDeviceTime();
            else
                PollStatus();
        }
    } else if (id == 3) {
        TimeOutTick();
    }
}

void ProtocolEngine::TimeOutTick() {
    if (!awaitingReply) return;
    if (++tickCount <= TicksPerSend) return;
    if (repeatCount < MaxResends) {
        ++repeatCount;
        tickCount = 0;
        ResendFrame();
        return;
    }
    // Give up. The message may run a nested event loop in which this tick comes again; the
    // guard keeps that one from showing a second message, and it closes and clears by itself.
    if (!messageGuard_) {
        messageGuard_ = true;
        const int lang = doc_.uiLanguage;
        host_.ShowMessage(Pick(txt::CannotConnect, lang), Pick(txt::CommCaption, lang));
        messageGuard_ = false;
    }
    sink_.CloseLink();
    ClearWaiting();
    transferBusy = false;
}

// ---- worker notices ----

void ProtocolEngine::OnSent(const uint8_t* bytes, std::size_t length) {
    host_.AppendCommLog(FormatCommEntry(true, repeatCount, bytes, bytes ? length : 0));
}

void ProtocolEngine::OnSendFailed() {
    const int lang = doc_.uiLanguage;
    host_.ShowMessage(Pick(txt::SendDataError, lang), Pick(txt::CommCaption, lang));
}

void ProtocolEngine::OnReceived(const uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr) length = 0;
    host_.AppendCommLog(FormatCommEntry(false, 0, bytes, length));
    // Work on a copy: the handlers may run nested loops in which further receptions arrive.
    uint8_t reply[MaxReceptionSize];
    const std::size_t n = std::min(length, MaxReceptionSize);
    if (n > 0) std::memcpy(reply, bytes, n);
    if (!ValidateFrame(reply, n)) return;
    const FrameHeader h = DecodeHeader(reply, n);
    DispatchReply(h, FrameData(reply, h));
    // A reply that ended the wait of a transfer without asking for more (another function, a
    // stray acknowledgement) ends the transfer: left marked busy, it would stop the status
    // poll for good with nothing outstanding to time out.
    if (!awaitingReply) transferBusy = false;
}

void ProtocolEngine::DispatchReply(const FrameHeader& h, std::span<const uint8_t> data) {
    if (h.type == TYPE_ACK) {
        const bool writing = OutgoingIs(TYPE_WRITE, FC_CONFIG);
        if (h.function == FC_CONFIG && writing) {
            // An acknowledgement of another piece (a late answer to a resent frame) would make
            // the next piece go out under the wrong segment; keep waiting for the right one.
            if (h.segment != OutgoingSegment()) return;
            ClearWaiting();
            WriteConfiguration(h.segment);
            return;
        }
        ClearWaiting();
        return;
    }
    if (h.type != TYPE_DATA) return;
    if (h.function == FC_CONFIG && (!OutgoingIs(TYPE_READ, FC_CONFIG) || h.segment != OutgoingSegment())) {
        // A piece counts only as the answer to the segment asked for. A duplicate would be
        // staged twice and shift the rest of the image; one that comes while no read is asked
        // for (a stray frame during a write, a late piece of a replaced read) would land on the
        // image being sent or be stored into devices unasked.
        return;
    }
    ClearWaiting();
    switch (h.function) {
        case FC_CONFIG:
            OnConfigPiece(h, data);
            break;
        case FC_CLOCK:
            OnClock(data);
            break;
        case FC_STATUS:
            OnStatus(data);
            break;
        case FC_OUTPUT_TEST:
            OnOutputTest(data);
            break;
        case FC_EVENT_LOG:
            OnEventLog(h, data);
            break;
        case FC_NEW_EVENTS:
            OnNewEvents(h, data);
            break;
        default:
            break;
    }
}

// ---- replies ----

void ProtocolEngine::OnConfigPiece(const FrameHeader& h, std::span<const uint8_t> data) {
    staging_.AppendRead(h.segment, data);
    if (h.control == CTRL_REPLY_MORE) {
        ReadConfiguration(h.segment);
        return;
    }
    if (doc_.project) staging_.ApplyRead(*doc_.project, h.address);
    IDocViews* views = doc_.Views();
    if (views && views->HasListView()) {
        if (doc_.currentPage == 0)
            views->ClearPage();
        else if (IsConfigurationPage(doc_.currentPage))
            views->ShowPage();
    }
    doc_.title = std::string(txt::AppName) + txt::ConfigFromDeviceSuffix;
    if (views) {
        views->TitleChanged();
        views->UpdateAllViews();
    }
    transferBusy = false;
}

void ProtocolEngine::OnClock(std::span<const uint8_t> data) {
    ClockFields c;
    ReadClockPayload(data, c);
    if (host_.ClockWindowOpen())
        host_.ShowDeviceTime(
            FormatClock(doc_.dateFormat, c.year, c.month, c.day, c.hour, c.minute, c.second));
}

void ProtocolEngine::OnStatus(std::span<const uint8_t> data) {
    const StatusReply s = ReadStatusPayload(data);
    const std::size_t keep = std::min<std::size_t>(s.statusCount, LiveStatusSize);
    if (keep > 0) std::memcpy(doc_.liveStatus, s.statusBytes, keep);
    if (s.hasFirmware) {
        for (int i = 0; i < 3; ++i) doc_.firmwareVersion[i] = static_cast<int8_t>(s.firmware[i]);
    }
    if (doc_.currentPage == PageInputStatus) host_.RefreshInputStates();
    if (s.NewEvents()) ReadNewEvents();
}

void ProtocolEngine::OnOutputTest(std::span<const uint8_t> data) {
    const int state = ReadOutputTestItem0(data);
    if (state >= 0) doc_.cpuFailureTest = state;
    host_.FillCpuSupervisionPage();
}

}  // namespace corvix
