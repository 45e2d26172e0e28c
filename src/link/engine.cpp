// SPDX-License-Identifier: Apache-2.0
#include "link/engine.h"

#include <algorithm>
#include <cstring>

namespace corvix {

namespace {

constexpr int TicksPerSend = 3;  // a request is resent on the tick that passes this count
constexpr int MaxResends = 3;

}  // namespace

ProtocolEngine::ProtocolEngine(CBrondaleDoc& doc, IFrameSink& sink, ResultFn report)
    : doc_(doc), sink_(sink), report_(std::move(report)) {}

void ProtocolEngine::Report(EngineResult result) {
    if (report_) report_(result);
}

// ---- sending ----

void ProtocolEngine::Send(Operation op, uint8_t control, uint16_t segment, uint8_t type, uint8_t function,
                          const uint8_t* data, std::size_t dataLength) {
    outgoingSize_ = BuildFrame(outgoing_, control, segment, 0, type, function, data, dataLength);
    operation_ = op;
    awaitingReply_ = true;
    tickCount_ = 0;
    repeatCount_ = 0;
    sink_.SubmitFrame(outgoing_, outgoingSize_);
}

void ProtocolEngine::ResendFrame() {
    if (outgoingSize_ > 0) sink_.SubmitFrame(outgoing_, outgoingSize_);
}

void ProtocolEngine::ClearWaiting() {
    tickCount_ = 0;
    repeatCount_ = 0;
    awaitingReply_ = false;
}

// ---- operations ----

void ProtocolEngine::PollStatus() {
    // A single request replaces whatever was outstanding, so no transfer is running any more.
    transferBusy_ = false;
    Send(Operation::Status, CTRL_LAST, 0, TYPE_READ, FC_STATUS, nullptr, 0);
}

void ProtocolEngine::ReadDeviceTime() {
    transferBusy_ = false;
    Send(Operation::ClockRead, CTRL_SIMPLE, 0, TYPE_READ, FC_CLOCK, nullptr, 0);
}

void ProtocolEngine::ReadConfiguration() {
    fetchOnly_ = false;
    transferBusy_ = true;
    ReadConfigurationSegment(0);
}

void ProtocolEngine::FetchConfiguration() {
    fetchOnly_ = true;
    transferBusy_ = true;
    ReadConfigurationSegment(0);
}

void ProtocolEngine::ReadConfigurationSegment(uint16_t segment) {
    Send(Operation::ConfigRead, CTRL_LAST, segment, TYPE_READ, FC_CONFIG, nullptr, 0);
}

void ProtocolEngine::WriteConfiguration() {
    staging_.BeginWrite(doc_.CurrentDevice());
    // What the device will hold once every piece is acknowledged.
    doc_.DeviceState().BeginWrite(doc_.CurrentDeviceId() - KindDeviceFirst, doc_.CurrentDevice());
    transferBusy_ = true;
    WriteConfigurationPiece(0);
}

void ProtocolEngine::WriteConfigurationPiece(uint16_t segment) {
    const ConfigPiece piece = NextConfigPiece(staging_.stagedSize, staging_.bytesSent);
    if (piece.control == CTRL_MORE) staging_.bytesSent += piece.length;
    Send(Operation::ConfigWrite, piece.control, segment, TYPE_WRITE, FC_CONFIG,
         staging_.stagingArea + piece.offset, piece.length);
}

void ProtocolEngine::SetDeviceTime(const LocalTime& time) {
    transferBusy_ = false;
    timeToSet_ = time;
    uint8_t data[ClockPayloadSize];
    WriteClockPayload(data, ClockFieldsOf(time));
    Send(Operation::ClockSet, CTRL_SIMPLE, 0, TYPE_WRITE, FC_CLOCK, data, sizeof data);
}

void ProtocolEngine::ExecuteOutputTest() {
    transferBusy_ = false;
    uint8_t data[OutputTestRequestSize];
    WriteOutputTestPayload(data, static_cast<uint8_t>(doc_.CpuFailureTest() & 0xFF));
    Send(Operation::OutputTest, CTRL_SIMPLE, 0, TYPE_WRITE, FC_OUTPUT_TEST, data, sizeof data);
}

void ProtocolEngine::ReadEventLog() {
    transferBusy_ = true;
    ReadEventLogSegment(0);
}

void ProtocolEngine::ReadEventLogSegment(uint16_t segment) {
    transferBusy_ = true;
    Send(Operation::EventLog, CTRL_LAST, segment, TYPE_READ, FC_EVENT_LOG, nullptr, 0);
}

void ProtocolEngine::ReadNewEvents() {
    transferBusy_ = true;
    Send(Operation::NewEvents, CTRL_LAST, 0, TYPE_READ, FC_NEW_EVENTS, nullptr, 0);
}

// ---- timers ----

void ProtocolEngine::OnTimer(int id) {
    if (id == 1) {
        if (sink_.IsConnected() && !transferBusy_ && !awaitingReply_) {
            if (watchClock_)
                ReadDeviceTime();
            else
                PollStatus();
        }
    } else if (id == 3) {
        TimeOutTick();
    }
}

void ProtocolEngine::TimeOutTick() {
    if (!awaitingReply_) return;
    if (++tickCount_ <= TicksPerSend) return;
    if (repeatCount_ < MaxResends) {
        ++repeatCount_;
        tickCount_ = 0;
        ResendFrame();
        return;
    }
    // Give up. A handler may show the failure in a nested event loop in which this tick comes
    // again; that one closes and clears without a second report.
    if (!givingUp_) {
        givingUp_ = true;
        Report(OperationFailed{operation_, FailReason::NoAnswer});
        givingUp_ = false;
    }
    sink_.CloseLink();
    ClearWaiting();
    transferBusy_ = false;
}

// ---- worker notices ----

void ProtocolEngine::OnSent(const uint8_t* bytes, std::size_t length) {
    FrameSent sent;
    if (bytes != nullptr) sent.bytes.assign(bytes, bytes + length);
    sent.repeat = repeatCount_;
    Report(std::move(sent));
}

void ProtocolEngine::OnSendFailed() { Report(OperationFailed{operation_, FailReason::SendFailed}); }

void ProtocolEngine::OnHangUp() { Report(LinkLost{}); }

void ProtocolEngine::Abandon() {
    ClearWaiting();
    transferBusy_ = false;
}

void ProtocolEngine::OnReceived(const uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr) length = 0;
    // Work on a copy: the handlers may run nested loops in which further receptions arrive.
    uint8_t reply[MaxReceptionSize];
    const std::size_t n = std::min(length, MaxReceptionSize);
    if (n > 0) std::memcpy(reply, bytes, n);
    FrameReceived received;
    received.bytes.assign(reply, reply + n);
    received.verdict = CheckFrame(reply, n);
    FrameHeader h;
    if (received.verdict == FrameVerdict::Good) {
        h = DecodeHeader(reply, n);
        // Once answered, a request is answered: a duplicate (the answer to a resend) is no reply.
        received.match = CheckReply(awaitingReply_ ? OutgoingFrame() : std::span<const uint8_t>(), h);
    }
    const ReplyMatch match = received.match;
    const bool good = received.verdict == FrameVerdict::Good;
    Report(std::move(received));
    if (!good) return;
    DispatchReply(h, FrameData(reply, h), match);
    // A reply that ended the wait of a transfer without asking for more (another function, a
    // stray acknowledgement) ends the transfer: left marked busy, it would stop the status
    // poll for good with nothing outstanding to time out.
    if (!awaitingReply_) transferBusy_ = false;
}

void ProtocolEngine::DispatchReply(const FrameHeader& h, std::span<const uint8_t> data, ReplyMatch match) {
    const Operation asked = operation_;
    if (h.type == TYPE_ACK) {
        if (asked == Operation::ConfigWrite && h.function == FC_CONFIG) {
            // An acknowledgement of another piece (a late answer to a resent frame) would make
            // the next piece go out under the wrong segment; keep waiting for the right one.
            if (match != ReplyMatch::Answers) return;
            ClearWaiting();
            if (outgoing_[3] == CTRL_LAST) {
                transferBusy_ = false;
                doc_.DeviceState().CommitWrite(doc_.Project());
                Report(ConfigurationWritten{});
            } else {
                WriteConfigurationPiece(static_cast<uint16_t>(h.segment + 1));
            }
            return;
        }
        ClearWaiting();
        if (match == ReplyMatch::Answers && asked == Operation::ClockSet) Report(ClockSet{});
        if (match == ReplyMatch::Answers && asked == Operation::OutputTest) Report(OutputTestDone{});
        return;
    }
    if (h.type != TYPE_DATA) return;
    // A piece counts only as the answer to the segment asked for. A duplicate would be staged
    // twice and shift the rest of the image; one that comes while no read is asked for (a
    // stray frame during a write, a late piece of a replaced read) would land on the image
    // being sent or be stored into devices unasked.
    if (h.function == FC_CONFIG && (asked != Operation::ConfigRead || match != ReplyMatch::Answers)) return;
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
        ReadConfigurationSegment(static_cast<uint16_t>(h.segment + 1));
        return;
    }
    if (fetchOnly_) {
        auto record = std::make_shared<DeviceRecord>();
        std::memcpy(record.get(), staging_.stagingArea, ConfigImageSize);
        transferBusy_ = false;
        Report(ConfigurationFetched{h.address, std::move(record)});
        return;
    }
    ConfigurationReceived done;
    done.address = h.address;
    // Which devices take the image is decided by their addresses before it is applied.
    ProjectBlock& project = doc_.Project();
    for (int i = 0; i < project.DeviceCountClamped(); ++i)
        if (project.devices[i].address == static_cast<int16_t>(h.address)) done.devicesUpdated.push_back(i);
    staging_.ApplyRead(project, h.address);
    if (!done.devicesUpdated.empty()) doc_.MarkUnsavedChanges(StepKind::ReadConfiguration, true);
    for (int slot : done.devicesUpdated) doc_.DeviceState().Set(slot, project);
    transferBusy_ = false;
    Report(std::move(done));
}

void ProtocolEngine::OnClock(std::span<const uint8_t> data) {
    ClockRead read;
    ReadClockPayload(data, read.time);
    Report(read);
}

void ProtocolEngine::OnStatus(std::span<const uint8_t> data) {
    const StatusReply s = ReadStatusPayload(data);
    const std::size_t keep = std::min<std::size_t>(s.statusCount, LiveStatusSize);
    doc_.SetLiveStatus(s.statusBytes, keep);
    if (s.hasFirmware) doc_.SetFirmwareVersion(s.firmware);
    Report(StatusUpdated{keep, s.NewEvents()});
    if (s.NewEvents()) ReadNewEvents();
}

void ProtocolEngine::OnOutputTest(std::span<const uint8_t> data) {
    const int state = ReadOutputTestItem0(data);
    if (state >= 0) doc_.SetCpuFailureTest(state);
    Report(OutputTestDone{doc_.CpuFailureTest()});
}

}  // namespace corvix
