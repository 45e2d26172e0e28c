// SPDX-License-Identifier: Apache-2.0
#include "link/frame.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace corvix {

uint32_t FrameChecksum(const uint8_t* bytes, std::size_t count) {
    uint32_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return sum;
}

std::size_t FinishFrame(uint8_t* frame, uint8_t control, uint16_t segment, uint8_t address, uint8_t type,
                        uint8_t function, std::size_t dataLength) {
    const std::size_t length = std::min<std::size_t>(dataLength + LengthFieldBase, MaxLengthField);
    frame[0] = FRAME_START;
    PutU16(frame + 1, static_cast<uint16_t>(length));
    frame[3] = control;
    PutU16(frame + 4, segment);
    frame[6] = address;
    frame[7] = 0;
    frame[8] = type;
    frame[9] = function;
    PutU32(frame + 3 + length, FrameChecksum(frame + 3, length));
    frame[7 + length] = FRAME_END;
    return length + FrameOverhead;
}

std::size_t BuildFrame(uint8_t* frame, uint8_t control, uint16_t segment, uint8_t address, uint8_t type,
                       uint8_t function, const uint8_t* data, std::size_t dataLength) {
    dataLength = std::min(dataLength, MaxFrameData);
    if (dataLength > 0) std::memmove(frame + FrameHeaderSize, data, dataLength);
    return FinishFrame(frame, control, segment, address, type, function, dataLength);
}

bool ValidateFrame(const uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr || count < FrameMinReception) return false;
    if (bytes[0] != FRAME_START) return false;
    const std::size_t length = GetU16(bytes + 1);
    if (count < length + FrameOverhead) return false;
    if (FrameChecksum(bytes + 3, length) != GetU32(bytes + 3 + length)) return false;
    return bytes[7 + length] == FRAME_END;
}

std::size_t CompleteFrameSize(const uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr || count < FrameLengthFieldEnd || bytes[0] != FRAME_START) return 0;
    const std::size_t size = GetU16(bytes + 1) + FrameOverhead;
    return size <= count && bytes[size - 1] == FRAME_END ? size : 0;
}

std::size_t FrameBytesMissing(const uint8_t* bytes, std::size_t count) {
    if (count == 0) return FrameLengthFieldEnd;
    if (bytes == nullptr || bytes[0] != FRAME_START) return 0;
    if (count < FrameLengthFieldEnd) return FrameLengthFieldEnd - count;
    const std::size_t size = GetU16(bytes + 1) + FrameOverhead;
    return size > count ? size - count : 0;
}

FrameHeader DecodeHeader(const uint8_t* bytes, std::size_t count) {
    FrameHeader h;
    if (bytes == nullptr) return h;
    // Bytes from offset 3 on belong to the header only if the length field counts them;
    // otherwise a short frame would lend its checksum bytes to type and function.
    const std::size_t length = count >= 3 ? GetU16(bytes + 1) : 0;
    const std::size_t limit = std::min(count, 3 + length);
    auto at = [&](std::size_t i) -> uint8_t { return i < limit ? bytes[i] : 0; };
    h.start = count > 0 ? bytes[0] : 0;
    h.length = static_cast<uint16_t>(length);
    h.control = at(3);
    h.segment = static_cast<uint16_t>(at(4) | (at(5) << 8));
    h.address = at(6);
    h.reserved = at(7);
    h.type = at(8);
    h.function = at(9);
    h.dataPosition = FrameHeaderSize;
    if (length > static_cast<std::size_t>(LengthFieldBase) && count > FrameHeaderSize)
        h.dataLength = std::min(length - LengthFieldBase, count - FrameHeaderSize);
    return h;
}

// ---- status ----

StatusReply ReadStatusPayload(std::span<const uint8_t> data) {
    StatusReply s;
    if (data.size() >= 4) s.flags = GetU16(data.data() + 2);
    if (data.size() >= 6) s.claimedCount = GetU16(data.data() + 4);
    if (data.size() > StatusBytesOffset) {
        s.statusCount = std::min<std::size_t>(s.claimedCount, data.size() - StatusBytesOffset);
        if (s.statusCount > 0) s.statusBytes = data.data() + StatusBytesOffset;
    }
    const std::size_t fw = StatusBytesOffset + s.claimedCount;
    if (data.size() >= fw + 3) {
        s.hasFirmware = true;
        std::memcpy(s.firmware, data.data() + fw, 3);
    }
    return s;
}

std::size_t WriteStatusPayload(uint8_t* out, uint16_t flags, const uint8_t* status, uint16_t count,
                               const uint8_t firmware[3]) {
    std::memset(out, 0, StatusBytesOffset);
    PutU16(out + 2, flags);
    PutU16(out + 4, count);
    if (count > 0) std::memcpy(out + StatusBytesOffset, status, count);
    std::memcpy(out + StatusBytesOffset + count, firmware, 3);
    return StatusBytesOffset + count + 3;
}

// ---- clock ----

void WriteClockPayload(uint8_t* out, const ClockFields& c) {
    PutU16(out, static_cast<uint16_t>(ClockPayloadSize));
    PutU16(out + 2, static_cast<uint16_t>(c.year));
    out[4] = static_cast<uint8_t>(c.month);
    out[5] = static_cast<uint8_t>(c.day);
    out[6] = static_cast<uint8_t>(c.hour);
    out[7] = static_cast<uint8_t>(c.minute);
    out[8] = static_cast<uint8_t>(c.second);
    PutU16(out + 9, static_cast<uint16_t>(c.millisecond));
}

bool ReadClockPayload(std::span<const uint8_t> data, ClockFields& out) {
    const std::size_t n = data.size();
    auto byte = [&](std::size_t i) -> int { return i < n ? data[i] : 0; };
    auto word = [&](std::size_t i) -> int { return i + 1 < n ? GetU16(data.data() + i) : 0; };
    out.year = word(2);
    out.month = byte(4);
    out.day = byte(5);
    out.hour = byte(6);
    out.minute = byte(7);
    out.second = byte(8);
    out.millisecond = word(9);
    return n >= ClockPayloadSize;
}

// ---- output test ----

void WriteOutputTestPayload(uint8_t* out, uint8_t state) {
    const uint8_t payload[OutputTestRequestSize] = {0x08, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, state};
    std::memcpy(out, payload, sizeof payload);
}

int ReadOutputTestItem0(std::span<const uint8_t> data) {
    if (data.size() < 4) return -1;
    const std::size_t claimed = GetU16(data.data() + 2);
    int state = -1;
    for (std::size_t i = 0; i < claimed; ++i) {
        const std::size_t at = OutputTestItemsOffset + i * OutputTestItemSize;
        if (at + 3 > data.size()) break;  // number and state must both be there
        if (GetU16(data.data() + at) == 0) state = data[at + 2];
    }
    return state;
}

std::size_t WriteOutputTestReply(uint8_t* out, uint16_t itemNumber, uint8_t state) {
    std::memset(out, 0, OutputTestItemsOffset + OutputTestItemSize);
    PutU16(out, static_cast<uint16_t>(OutputTestItemsOffset + OutputTestItemSize));
    PutU16(out + 2, 1);
    PutU16(out + OutputTestItemsOffset, itemNumber);
    out[OutputTestItemsOffset + 2] = state;
    return OutputTestItemsOffset + OutputTestItemSize;
}

// ---- events ----

WireEvent DecodeWireEvent(const uint8_t* p) {
    WireEvent e;
    std::memcpy(e.designation, p, sizeof e.designation);
    e.eventNumber = GetU16(p + 32);
    e.year = GetU16(p + 34);
    e.month = p[36];
    e.day = p[37];
    e.hour = p[38];
    e.minute = p[39];
    e.second = p[40];
    e.millisecond = GetU16(p + 41);
    e.direction = p[43];
    return e;
}

void EncodeWireEvent(const WireEvent& e, uint8_t* out) {
    std::memcpy(out, e.designation, sizeof e.designation);
    PutU16(out + 32, e.eventNumber);
    PutU16(out + 34, e.year);
    out[36] = e.month;
    out[37] = e.day;
    out[38] = e.hour;
    out[39] = e.minute;
    out[40] = e.second;
    PutU16(out + 41, e.millisecond);
    out[43] = e.direction;
}

void WireEventToRecord(const WireEvent& e, EventRecord& out) {
    std::memset(&out, 0, sizeof out);
    out.year = e.year;
    out.month = e.month;
    out.day = e.day;
    out.hour = e.hour;
    out.minute = e.minute;
    out.second = e.second;
    out.millisecond = e.millisecond;
    const bool rising = e.direction == DirectionOffToOn;
    out.transition = rising ? 0 : 1;
    out.risingMark = rising ? 1 : 0;
    std::memcpy(out.signalName, e.designation, sizeof out.signalName);
}

EventSegment SplitEventSegment(std::span<const uint8_t> data, uint16_t segment) {
    EventSegment s;
    std::size_t skip = segment == 0 ? EventSegmentPrefix : 0;
    skip = std::min(skip, data.size());
    const std::size_t remaining = data.size() - skip;
    s.count = remaining / WireEventSize;
    if (s.count > MaxEventsPerSegment) {
        s.rejected = true;
        s.count = 0;
        return s;
    }
    if (s.count > 0) s.first = data.data() + skip;
    return s;
}

// ---- configuration ----

ConfigPiece NextConfigPiece(std::size_t stagedSize, std::size_t bytesSent) {
    ConfigPiece p;
    p.offset = std::min(bytesSent, stagedSize);
    const std::size_t remaining = stagedSize - p.offset;
    if (remaining > ConfigPieceSize) {
        p.length = ConfigPieceSize;
        p.control = CTRL_MORE;
    } else {
        p.length = remaining;
        p.control = CTRL_LAST;
    }
    return p;
}

void ConfigStaging::BeginWrite(const DeviceRecord& rec) {
    std::memcpy(stagingArea, &rec, ConfigImageSize);
    stagedSize = ConfigImageSize;
    bytesSent = 0;
}

void ConfigStaging::AppendRead(uint16_t segment, std::span<const uint8_t> piece) {
    if (segment == 0) {
        std::memset(stagingArea, 0, sizeof stagingArea);
        bytesReceived = 0;
    }
    bytesReceived = std::min(bytesReceived, StagingAreaSize);
    const std::size_t take = std::min(piece.size(), StagingAreaSize - bytesReceived);
    if (take > 0) std::memcpy(stagingArea + bytesReceived, piece.data(), take);
    bytesReceived += take;
}

int ConfigStaging::ApplyRead(ProjectBlock& project, uint8_t address) const {
    int applied = 0;
    const int n = project.DeviceCountClamped();
    for (int i = 0; i < n; ++i) {
        DeviceRecord& rec = project.devices[i];
        if (rec.address != static_cast<int16_t>(address)) continue;
        std::memcpy(&rec, stagingArea, ConfigImageSize);
        ++applied;
    }
    return applied;
}

// ---- communication bar ----

std::string FormatCommEntry(bool sent, int repeat, const uint8_t* bytes, std::size_t count) {
    std::string s;
    s.reserve(32 + count * 3 + (count / 50) * 2);
    if (sent) {
        char head[40];
        std::snprintf(head, sizeof head, "send-->repeat=%d\r\n", repeat);
        s += head;
    } else {
        s += "receive<--\r\n";
    }
    AppendCommBytes(s, bytes, count);
    return s;
}

void AppendCommBytes(std::string& s, const uint8_t* bytes, std::size_t count) {
    static const char hex[] = "0123456789abcdef";
    // Written in place: a flood formats megabytes of this.
    const std::size_t at = s.size();
    s.resize(at + count * 3 + (count / 50) * 2 + 2);
    char* out = s.data() + at;
    for (std::size_t i = 0; i < count; ++i) {
        *out++ = hex[bytes[i] >> 4];
        *out++ = hex[bytes[i] & 0x0F];
        *out++ = ' ';
        if ((i + 1) % 50 == 0) {
            *out++ = '\r';
            *out++ = '\n';
        }
    }
    *out++ = '\r';
    *out = '\n';
}

}  // namespace corvix
