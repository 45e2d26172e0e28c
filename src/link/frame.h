// SPDX-License-Identifier: Apache-2.0
// The device's frame format: building, checking and decoding frames and their payloads.
// Pure byte handling, no I/O. Every reader stays inside the bytes actually received,
// whatever a length or count inside a frame claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "model/record.h"

namespace corvix {

// ---- frame geometry ----
inline constexpr uint8_t FRAME_START = 0x58;
inline constexpr uint8_t FRAME_END = 0x16;

inline constexpr std::size_t FrameHeaderSize = 10;     // start .. function; data starts here
inline constexpr std::size_t FrameOverhead = 8;        // frame size = length field + 8
inline constexpr std::size_t FrameMinReception = 7;    // fewer received bytes are never a frame
inline constexpr std::size_t FrameLengthFieldEnd = 3;  // start + length field: the frame's size is known
inline constexpr int LengthFieldBase = 7;              // control .. function, counted by the length field
inline constexpr int MaxLengthField = 938;
inline constexpr std::size_t MaxFrameSize = 946;
inline constexpr std::size_t MaxFrameData = 931;
inline constexpr std::size_t ConfigPieceSize = 928;  // largest piece the PC writes
inline constexpr std::size_t MaxReceptionSize = 1024;
inline constexpr std::size_t StagingAreaSize = 4096;

// ---- frame types (offset 8) ----
inline constexpr uint8_t TYPE_READ = 0x10;
inline constexpr uint8_t TYPE_WRITE = 0x11;
inline constexpr uint8_t TYPE_ACK = 0x06;
inline constexpr uint8_t TYPE_DATA = 0x12;

// ---- function codes (offset 9) ----
inline constexpr uint8_t FC_CONFIG = 0x10;
inline constexpr uint8_t FC_CLOCK = 0x22;
inline constexpr uint8_t FC_STATUS = 0x30;
inline constexpr uint8_t FC_OUTPUT_TEST = 0x44;
inline constexpr uint8_t FC_EVENT_LOG = 0x50;
inline constexpr uint8_t FC_NEW_EVENTS = 0x55;

// ---- control byte (offset 3) ----
inline constexpr uint8_t CTRL_LAST = 0x40;
inline constexpr uint8_t CTRL_MORE = 0xC0;
inline constexpr uint8_t CTRL_SIMPLE = 0x01;
inline constexpr uint8_t CTRL_REPLY_MORE = 0x80;  // only exactly this value continues a transfer

// ---- building ----

// Unsigned 32-bit sum of the bytes, each 0..255, modulo 2^32.
uint32_t FrameChecksum(const uint8_t* bytes, std::size_t count);

// Completes a frame whose data (dataLength bytes) already sits at frame + FrameHeaderSize:
// writes start, length (data + 7, clamped to 938), control, segment, address, reserved 0,
// type, function, checksum and end. `frame` must have room for MaxFrameSize bytes.
// Returns the frame size (length field + 8).
std::size_t FinishFrame(uint8_t* frame, uint8_t control, uint16_t segment, uint8_t address, uint8_t type,
                        uint8_t function, std::size_t dataLength);

// Copies at most MaxFrameData bytes of data into the frame, then FinishFrame. `data` may be
// null when dataLength is 0. The PC's requests use address 0.
std::size_t BuildFrame(uint8_t* frame, uint8_t control, uint16_t segment, uint8_t address, uint8_t type,
                       uint8_t function, const uint8_t* data, std::size_t dataLength);

// ---- checking and decoding ----

// The five rules in order: at least 7 bytes; start byte; 8 + length bytes present; checksum;
// end byte.
bool ValidateFrame(const uint8_t* bytes, std::size_t count);

// Size of the complete frame at the start of `bytes`: the start byte, a length field whose
// frame (length + 8 bytes) is all there, and the end byte at its place. 0 when there is none.
// The checksum is left to ValidateFrame; bytes after the frame are not looked at.
std::size_t CompleteFrameSize(const uint8_t* bytes, std::size_t count);

// How many more bytes the frame begun at the start of `bytes` needs: first up to the end of
// the length field, then up to the declared end. 0 when the bytes cannot begin a frame (wrong
// start byte) or already reach the declared end.
std::size_t FrameBytesMissing(const uint8_t* bytes, std::size_t count);

struct FrameHeader {
    uint8_t start = 0;
    uint16_t length = 0;
    uint8_t control = 0;
    uint16_t segment = 0;
    uint8_t address = 0;
    uint8_t reserved = 0;
    uint8_t type = 0;
    uint8_t function = 0;
    std::size_t dataPosition = FrameHeaderSize;
    std::size_t dataLength = 0;  // length - 7, never beyond the received bytes, never negative
};

// Decodes the header of a received block. A field that lies outside the received bytes, or
// outside the part counted by the length field (a frame too short for a header), reads 0.
FrameHeader DecodeHeader(const uint8_t* bytes, std::size_t count);

// The data area of a received block as described by its header.
inline std::span<const uint8_t> FrameData(const uint8_t* bytes, const FrameHeader& h) {
    return h.dataLength == 0 ? std::span<const uint8_t>()
                             : std::span<const uint8_t>(bytes + h.dataPosition, h.dataLength);
}

// Little-endian helpers for byte buffers.
inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// ---- status payload (reply to FC_STATUS) ----
inline constexpr uint16_t StatusFlagNewEvents = 0x0008;
inline constexpr std::size_t StatusBytesOffset = 10;

struct StatusReply {
    uint16_t flags = 0;           // 0 when the reply is too short to carry them
    uint16_t claimedCount = 0;    // n as the device states it
    std::size_t statusCount = 0;  // status bytes actually present (<= claimedCount)
    const uint8_t* statusBytes = nullptr;
    bool hasFirmware = false;  // the 3 bytes after all n status bytes were received
    uint8_t firmware[3] = {};
    bool NewEvents() const { return (flags & StatusFlagNewEvents) != 0; }
};
StatusReply ReadStatusPayload(std::span<const uint8_t> data);

// Device side: builds a status payload into out (room for 10 + count + 3 bytes).
std::size_t WriteStatusPayload(uint8_t* out, uint16_t flags, const uint8_t* status, uint16_t count,
                               const uint8_t firmware[3]);

// ---- clock payload ----
inline constexpr std::size_t ClockPayloadSize = 11;

struct ClockFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
// Writes the 11-byte payload (its own length 11 first).
void WriteClockPayload(uint8_t* out, const ClockFields& c);
// Reads the fields present; a field beyond the received data reads 0. Returns true when all
// 11 bytes were there.
bool ReadClockPayload(std::span<const uint8_t> data, ClockFields& out);

// ---- output test ----
inline constexpr std::size_t OutputTestRequestSize = 8;
inline constexpr std::size_t OutputTestItemsOffset = 5;
inline constexpr std::size_t OutputTestItemSize = 5;

// 08 00, 01 00, 01, item 00 00, state.
void WriteOutputTestPayload(uint8_t* out, uint8_t state);
// The state of item number 0 among the items actually received; -1 when there is none.
// Should the reply name item 0 more than once, the last one counts.
int ReadOutputTestItem0(std::span<const uint8_t> data);
// Device side: a reply listing one item.
std::size_t WriteOutputTestReply(uint8_t* out, uint16_t itemNumber, uint8_t state);

// ---- events ----
inline constexpr std::size_t WireEventSize = 44;
inline constexpr std::size_t EventSegmentPrefix = 4;  // skipped in segment 0
inline constexpr std::size_t MaxEventsPerSegment = 20;
inline constexpr uint8_t DirectionOffToOn = 1;

// One event as the device sends it (decoded; the wire form is 44 packed bytes:
// designation 0..31, number 32, year 34, month 36, day 37, hour 38, minute 39, second 40,
// millisecond 41, direction 43).
struct WireEvent {
    char designation[32] = {};  // not necessarily NUL-terminated
    uint16_t eventNumber = 0;
    uint16_t year = 0;
    uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
    uint16_t millisecond = 0;
    uint8_t direction = 0;  // 1 = Off->On, anything else On->Off
};
WireEvent DecodeWireEvent(const uint8_t* bytes44);
void EncodeWireEvent(const WireEvent& e, uint8_t* out44);
// The stored form: transition 0 for Off->On else 1, mark 1 for Off->On, reserved bytes 0.
void WireEventToRecord(const WireEvent& e, EventRecord& out);

struct EventSegment {
    bool rejected = false;  // more than 20 events: nothing of it is used
    std::size_t count = 0;  // whole events present
    const uint8_t* first = nullptr;
    WireEvent At(std::size_t i) const { return DecodeWireEvent(first + i * WireEventSize); }
};
EventSegment SplitEventSegment(std::span<const uint8_t> data, uint16_t segment);

// ---- configuration image transfer ----

// The next piece of an image being written: while more than 928 bytes remain a full piece
// with CTRL_MORE, else the rest with CTRL_LAST.
struct ConfigPiece {
    std::size_t offset = 0;
    std::size_t length = 0;
    uint8_t control = CTRL_LAST;
};
ConfigPiece NextConfigPiece(std::size_t stagedSize, std::size_t bytesSent);

// Staging area of a configuration read or write.
class ConfigStaging {
  public:
    // Write: copies the configuration image of the record.
    void BeginWrite(const DeviceRecord& rec);
    // Read: segment 0 clears the area; the piece is appended, cut at the 4096th byte.
    void AppendRead(uint16_t segment, std::span<const uint8_t> piece);
    // Completion of a read: the first 2484 staged bytes become the configuration image of every
    // project device whose address equals `address`. Returns how many devices received it.
    int ApplyRead(ProjectBlock& project, uint8_t address) const;

    uint8_t stagingArea[StagingAreaSize] = {};
    std::size_t stagedSize = 0;
    std::size_t bytesSent = 0;
    std::size_t bytesReceived = 0;
};

// ---- communication bar ----

// "send-->repeat=%d\r\n" or "receive<--\r\n", then "%02x " per byte with "\r\n" after every
// 50th byte, then "\r\n".
std::string FormatCommEntry(bool sent, int repeat, const uint8_t* bytes, std::size_t count);
// The byte lines of an entry alone: "%02x " per byte, "\r\n" after every 50th and at the end.
void AppendCommBytes(std::string& out, const uint8_t* bytes, std::size_t count);

}  // namespace corvix
