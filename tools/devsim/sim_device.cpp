// SPDX-License-Identifier: Apache-2.0
#include "devsim/sim_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "model/gbk.h"

namespace corvix::sim {

SimDevice::SimDevice(const DeviceSetup& setup)
    : signalCount_(std::clamp(setup.signalCount, 0, MaxSimSignals)),
      segmentSize_(std::clamp(setup.segmentSize, 1, static_cast<int>(MaxFrameData))),
      firmware_{setup.firmware[0], setup.firmware[1], setup.firmware[2]},
      inputs_(static_cast<std::size_t>(signalCount_), 0),
      random_(setup.seed) {
    InitialiseNewDevice(record_, "1", setup.uiLanguage);
    record_.address = static_cast<int16_t>(std::clamp(setup.address, 0, 255));
    // A history that ends now, one event a second, each input going on and later off again.
    const int64_t now = CivilMsFromFields(clock_.Now());
    const int count = std::max(signalCount_, 1);
    for (int i = 0; i < setup.initialEvents; ++i) {
        const ClockFields at = FieldsFromCivilMs(now - int64_t{setup.initialEvents - i} * 1000);
        const bool on = (i / count) % 2 == 0;
        AddEventLocked(i % count, on, false, &at);
        if (i % count < signalCount_)
            inputs_[static_cast<std::size_t>(i % count)] = on ? 1 : 0;  // as the history left it
    }
}

// ---------------------------------------------------------------- requests

std::vector<uint8_t> SimDevice::HandleRequest(const uint8_t* frame, std::size_t size) {
    if (frame == nullptr || !ValidateFrame(frame, size)) return {};
    const FrameHeader h = DecodeHeader(frame, size);
    const std::span<const uint8_t> data = FrameData(frame, h);
    const std::size_t frameSize = static_cast<std::size_t>(h.length) + FrameOverhead;

    std::lock_guard lock(mutex_);
    const std::vector<uint8_t> request(frame, frame + frameSize);
    if (request != lastEventRequest_) {
        events_.CommitReported();
        lastEventRequest_.clear();
    }

    if (h.type == TYPE_READ) {
        switch (h.function) {
            case FC_CONFIG:
                return ReadConfigLocked(h.segment);
            case FC_STATUS:
                return StatusLocked();
            case FC_CLOCK: {
                uint8_t payload[ClockPayloadSize];
                WriteClockPayload(payload, clock_.Now());
                return Reply(CTRL_LAST, h.segment, TYPE_DATA, FC_CLOCK, payload, sizeof payload);
            }
            case FC_EVENT_LOG:
            case FC_NEW_EVENTS: {
                std::vector<uint8_t> reply = EventsLocked(h.function, h.segment);
                lastEventRequest_ = request;
                return reply;
            }
            default:
                return {};
        }
    }
    if (h.type == TYPE_WRITE) {
        switch (h.function) {
            case FC_CONFIG:
                return WriteConfigLocked(h.control, h.segment, data);
            case FC_CLOCK: {
                ClockFields c;
                if (!ReadClockPayload(data, c) || !clock_.Set(c)) return {};
                return Reply(CTRL_LAST, h.segment, TYPE_ACK, FC_CLOCK, nullptr, 0);
            }
            case FC_OUTPUT_TEST:
                return OutputTestLocked(data);
            default:
                return {};
        }
    }
    return {};
}

std::vector<uint8_t> SimDevice::Reply(uint8_t control, uint16_t segment, uint8_t type, uint8_t function,
                                      const uint8_t* data, std::size_t length) const {
    std::vector<uint8_t> out(MaxFrameSize);
    const std::size_t n =
        BuildFrame(out.data(), control, segment, static_cast<uint8_t>(record_.address & 0xFF), type, function,
                   data, length);
    out.resize(n);
    return out;
}

std::vector<uint8_t> SimDevice::ReadConfigLocked(uint16_t segment) const {
    const auto* image = reinterpret_cast<const uint8_t*>(&record_);
    const std::size_t size = static_cast<std::size_t>(segmentSize_);
    const std::size_t offset = std::min<std::size_t>(segment * size, ConfigImageSize);
    const std::size_t length = std::min(size, ConfigImageSize - offset);
    const uint8_t control = offset + length < ConfigImageSize ? CTRL_REPLY_MORE : CTRL_LAST;
    return Reply(control, segment, TYPE_DATA, FC_CONFIG, image + offset, length);
}

std::vector<uint8_t> SimDevice::WriteConfigLocked(uint8_t control, uint16_t segment,
                                                  std::span<const uint8_t> data) {
    auto ack = [&] { return Reply(CTRL_LAST, segment, TYPE_ACK, FC_CONFIG, nullptr, 0); };
    if (segment != 0 && static_cast<int>(segment) == lastAckedSegment_) return ack();  // resent piece
    if (segment == 0) {
        writeStaging_.clear();
        writeOpen_ = true;
    } else if (!writeOpen_ || static_cast<int>(segment) != lastAckedSegment_ + 1) {
        return {};  // a piece out of order is not acknowledged
    }
    if (writeStaging_.size() + data.size() > static_cast<std::size_t>(ConfigImageSize)) {
        writeOpen_ = false;  // more than an image: the whole write is refused
        lastAckedSegment_ = -1;
        return {};
    }
    writeStaging_.insert(writeStaging_.end(), data.begin(), data.end());
    if (control == CTRL_LAST) {
        writeOpen_ = false;
        if (writeStaging_.size() != static_cast<std::size_t>(ConfigImageSize)) {
            lastAckedSegment_ = -1;
            return {};  // a short image is never applied, so it is not acknowledged either
        }
        std::memcpy(&record_, writeStaging_.data(), ConfigImageSize);
    }
    lastAckedSegment_ = segment;
    return ack();
}

std::vector<uint8_t> SimDevice::StatusLocked() const {
    uint8_t payload[StatusBytesOffset + MaxSimSignals + 3];
    const uint16_t flags = events_.PendingCount() > 0 ? StatusFlagNewEvents : 0;
    const std::size_t n =
        WriteStatusPayload(payload, flags, inputs_.data(), static_cast<uint16_t>(signalCount_), firmware_);
    return Reply(CTRL_LAST, 0, TYPE_DATA, FC_STATUS, payload, n);
}

std::vector<uint8_t> SimDevice::EventsLocked(uint8_t function, uint16_t segment) {
    if (segment == 0) {
        if (function == FC_NEW_EVENTS)
            events_.BeginNewEventsTransfer();
        else
            events_.BeginLogTransfer();
    }
    const EventLog::Piece piece = events_.Serve(segment);
    uint8_t payload[EventSegmentPrefix + MaxEventsPerSegment * WireEventSize] = {};
    std::size_t n = 0;
    if (segment == 0) {
        // Prefix: events in the whole transfer, then events in this segment.
        PutU16(payload, static_cast<uint16_t>(std::min<std::size_t>(piece.total, 0xFFFF)));
        PutU16(payload + 2, static_cast<uint16_t>(piece.events.size()));
        n = EventSegmentPrefix;
    }
    for (const WireEvent& e : piece.events) {
        EncodeWireEvent(e, payload + n);
        n += WireEventSize;
    }
    return Reply(piece.more ? CTRL_REPLY_MORE : CTRL_LAST, segment, TYPE_DATA, function, payload, n);
}

std::vector<uint8_t> SimDevice::OutputTestLocked(std::span<const uint8_t> data) {
    // 2 bytes length, 2 bytes item count, 1 byte, then items of item number (2) and state (1).
    constexpr std::size_t itemsAt = 5, itemSize = 3;
    if (data.size() >= itemsAt) {
        const std::size_t claimed = GetU16(data.data() + 2);
        const std::size_t present = std::min(claimed, (data.size() - itemsAt) / itemSize);
        for (std::size_t i = 0; i < present; ++i) {
            const uint8_t* item = data.data() + itemsAt + i * itemSize;
            if (GetU16(item) == 0) cpuFailureTest_ = item[2];
        }
    }
    uint8_t payload[OutputTestItemsOffset + OutputTestItemSize];
    const std::size_t n = WriteOutputTestReply(payload, 0, cpuFailureTest_);
    return Reply(CTRL_LAST, 0, TYPE_DATA, FC_OUTPUT_TEST, payload, n);
}

// ---------------------------------------------------------------- state

ConfigImage SimDevice::Image() const {
    std::lock_guard lock(mutex_);
    ConfigImage out;
    std::memcpy(out.data(), &record_, ConfigImageSize);
    return out;
}

void SimDevice::SetImage(const ConfigImage& image) {
    std::lock_guard lock(mutex_);
    std::memcpy(&record_, image.data(), ConfigImageSize);
}

uint8_t SimDevice::Address() const {
    std::lock_guard lock(mutex_);
    return static_cast<uint8_t>(record_.address & 0xFF);
}

std::vector<uint8_t> SimDevice::InputStates() const {
    std::lock_guard lock(mutex_);
    return inputs_;
}

bool SimDevice::SetInput(int index, bool on) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= signalCount_) return false;
    const uint8_t state = on ? 1 : 0;
    if (inputs_[static_cast<std::size_t>(index)] == state) return false;
    inputs_[static_cast<std::size_t>(index)] = state;
    AddEventLocked(index, on, true);
    return true;
}

int SimDevice::ChangeRandomInput() {
    std::lock_guard lock(mutex_);
    if (signalCount_ == 0) return -1;
    const int index = static_cast<int>(random_() % static_cast<uint32_t>(signalCount_));
    uint8_t& state = inputs_[static_cast<std::size_t>(index)];
    state = state ? 0 : 1;
    AddEventLocked(index, state == 1, true);
    return index;
}

uint16_t SimDevice::InjectEvent(int index, bool offToOn, bool markNew) {
    std::lock_guard lock(mutex_);
    return AddEventLocked(index, offToOn, markNew);
}

uint16_t SimDevice::InjectEvent(const WireEvent& e, bool markNew) {
    std::lock_guard lock(mutex_);
    return events_.Add(e, markNew);
}

std::string SimDevice::Designation(int index) const {
    std::lock_guard lock(mutex_);
    return DesignationLocked(index);
}

std::string SimDevice::DesignationLocked(int index) const {
    if (index >= 0 && index < record_.SignalCountClamped())
        return FieldText(record_.signalNames[index], SignalNameSize);
    // Inputs beyond the image's name list still need a designation in their events.
    char text[SignalNameSize];
    std::snprintf(text, sizeof text, "BI%d", index + 1);
    return text;
}

uint16_t SimDevice::AddEventLocked(int index, bool offToOn, bool markNew, const ClockFields* at) {
    WireEvent e;
    const std::string name = DesignationLocked(index);
    std::memcpy(e.designation, name.data(), std::min(name.size(), sizeof e.designation));
    const ClockFields t = at ? *at : clock_.Now();
    e.year = static_cast<uint16_t>(t.year);
    e.month = static_cast<uint8_t>(t.month);
    e.day = static_cast<uint8_t>(t.day);
    e.hour = static_cast<uint8_t>(t.hour);
    e.minute = static_cast<uint8_t>(t.minute);
    e.second = static_cast<uint8_t>(t.second);
    e.millisecond = static_cast<uint16_t>(t.millisecond);
    e.direction = offToOn ? DirectionOffToOn : 0;
    return events_.Add(e, markNew);
}

int SimDevice::StoredEventCount() const {
    std::lock_guard lock(mutex_);
    return events_.StoredCount();
}

int SimDevice::PendingEventCount() const {
    std::lock_guard lock(mutex_);
    return events_.PendingCount();
}

std::vector<WireEvent> SimDevice::StoredEvents() const {
    std::lock_guard lock(mutex_);
    return events_.Stored();
}

ClockFields SimDevice::DeviceTime() const {
    std::lock_guard lock(mutex_);
    return clock_.Now();
}

bool SimDevice::SetDeviceTime(const ClockFields& c) {
    std::lock_guard lock(mutex_);
    return clock_.Set(c);
}

void SimDevice::SetPcClock(DeviceClock::Source pcClock) {
    std::lock_guard lock(mutex_);
    clock_.SetSource(std::move(pcClock));
}

uint8_t SimDevice::CpuFailureTest() const {
    std::lock_guard lock(mutex_);
    return cpuFailureTest_;
}

}  // namespace corvix::sim
