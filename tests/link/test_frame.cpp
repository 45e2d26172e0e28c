// SPDX-License-Identifier: Apache-2.0
// Frame codec against hand-written bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/frame.h"

namespace corvix {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Build(uint8_t control, uint16_t segment, uint8_t address, uint8_t type, uint8_t function,
            const Bytes& data = {}) {
    uint8_t buf[MaxFrameSize];
    const std::size_t n =
        BuildFrame(buf, control, segment, address, type, function, data.data(), data.size());
    return Bytes(buf, buf + n);
}

// ---- building ----

struct BuildCase {
    const char* name;
    uint8_t control;
    uint16_t segment;
    uint8_t address;
    uint8_t type;
    uint8_t function;
    Bytes data;
    Bytes expected;
};

class FrameBuild : public ::testing::TestWithParam<BuildCase> {};

TEST_P(FrameBuild, MatchesHandWrittenBytes) {
    const BuildCase& c = GetParam();
    EXPECT_EQ(Build(c.control, c.segment, c.address, c.type, c.function, c.data), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, FrameBuild,
    ::testing::Values(
        BuildCase{"StatusRequest",
                  CTRL_LAST,
                  0,
                  0,
                  TYPE_READ,
                  FC_STATUS,
                  {},
                  {0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x30, 0x80, 0x00, 0x00, 0x00, 0x16}},
        BuildCase{"ClockRead",
                  CTRL_SIMPLE,
                  0,
                  0,
                  TYPE_READ,
                  FC_CLOCK,
                  {},
                  {0x58, 0x07, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x10, 0x22, 0x33, 0x00, 0x00, 0x00, 0x16}},
        // Segment 0x0102 little-endian, two data bytes in the sum: 0x40+0x02+0x01+0x10+0x50+0xFF+0xFF.
        BuildCase{"EventLogSegmentWithData",
                  CTRL_LAST,
                  0x0102,
                  0,
                  TYPE_READ,
                  FC_EVENT_LOG,
                  {0xFF, 0xFF},
                  {0x58, 0x09, 0x00, 0x40, 0x02, 0x01, 0x00, 0x00, 0x10, 0x50, 0xFF, 0xFF, 0xA1, 0x02, 0x00,
                   0x00, 0x16}},
        // A device-side reply carries its address.
        BuildCase{
            "AckFromAddress5",
            CTRL_LAST,
            2,
            5,
            TYPE_ACK,
            FC_CONFIG,
            {},
            {0x58, 0x07, 0x00, 0x40, 0x02, 0x00, 0x05, 0x00, 0x06, 0x10, 0x5D, 0x00, 0x00, 0x00, 0x16}}),
    [](const ::testing::TestParamInfo<BuildCase>& i) { return std::string(i.param.name); });

TEST(FrameBuildLimits, LengthFieldNeverPasses938) {
    const Bytes big(1200, 0x01);
    const Bytes f = Build(CTRL_LAST, 0, 0, TYPE_WRITE, FC_CONFIG, big);
    ASSERT_EQ(f.size(), MaxFrameSize);
    EXPECT_EQ(GetU16(f.data() + 1), MaxLengthField);
    EXPECT_EQ(f.back(), FRAME_END);
    EXPECT_TRUE(ValidateFrame(f.data(), f.size()));
    EXPECT_EQ(DecodeHeader(f.data(), f.size()).dataLength, MaxFrameData);
}

TEST(FrameBuildLimits, ChecksumWrapsModulo2To32) {
    // 2^32 / 255 + 1 bytes of 0xFF pass 2^32 once: 16843010 * 255 = 2^32 + 254.
    const std::vector<uint8_t> many(16843010u, 0xFF);
    EXPECT_EQ(FrameChecksum(many.data(), many.size()), 254u);
}

// ---- validation ----

struct ValidateCase {
    const char* name;
    Bytes bytes;
    bool valid;
};

Bytes StatusRequest() {
    return {0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x30, 0x80, 0x00, 0x00, 0x00, 0x16};
}

Bytes Patched(Bytes b, std::size_t at, uint8_t v) {
    b[at] = v;
    return b;
}

Bytes Cut(Bytes b, std::size_t n) {
    b.resize(n);
    return b;
}

Bytes Extended(Bytes b, std::size_t extra) {
    b.insert(b.end(), extra, 0xEE);
    return b;
}

class FrameValidate : public ::testing::TestWithParam<ValidateCase> {};

TEST_P(FrameValidate, AppliesTheFiveRules) {
    const ValidateCase& c = GetParam();
    EXPECT_EQ(ValidateFrame(c.bytes.data(), c.bytes.size()), c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FrameValidate,
    ::testing::Values(ValidateCase{"Valid", StatusRequest(), true},
                      ValidateCase{"TrailingBytesAllowed", Extended(StatusRequest(), 5), true},
                      ValidateCase{"Empty", {}, false},
                      ValidateCase{"SixBytesStartingWithStart", {0x58, 0x00, 0x00, 0x00, 0x00, 0x00}, false},
                      // length 0: frame of 8 bytes, empty sum 0, end at offset 7.
                      ValidateCase{"LengthZeroFrame", {0x58, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16}, true},
                      ValidateCase{
                          "SevenBytesButClaimsEight", {0x58, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, false},
                      ValidateCase{"WrongStart", Patched(StatusRequest(), 0, 0x59), false},
                      ValidateCase{"Truncated", Cut(StatusRequest(), 14), false},
                      ValidateCase{"LengthClaimsTooMuch", Patched(StatusRequest(), 1, 0x08), false},
                      ValidateCase{"HugeLength", Patched(Patched(StatusRequest(), 1, 0xFF), 2, 0xFF), false},
                      ValidateCase{"ChecksumOffByOne", Patched(StatusRequest(), 10, 0x81), false},
                      ValidateCase{"ChecksumHighByte", Patched(StatusRequest(), 13, 0x01), false},
                      ValidateCase{"EndByte17", Patched(StatusRequest(), 14, 0x17), false},
                      ValidateCase{"DataChangedChecksumNot", Patched(StatusRequest(), 9, 0x31), false}),
    [](const ::testing::TestParamInfo<ValidateCase>& i) { return std::string(i.param.name); });

// ---- completeness (where a reception may end) ----

struct CompleteCase {
    const char* name;
    Bytes bytes;
    std::size_t size, missing;  // CompleteFrameSize, FrameBytesMissing
};

class FrameComplete : public ::testing::TestWithParam<CompleteCase> {};

TEST_P(FrameComplete, SizeAndMissingBytes) {
    const CompleteCase& c = GetParam();
    EXPECT_EQ(CompleteFrameSize(c.bytes.data(), c.bytes.size()), c.size);
    EXPECT_EQ(FrameBytesMissing(c.bytes.data(), c.bytes.size()), c.missing);
}

// A bad checksum still completes a frame (validation refuses it later); a wrong end byte does not.
INSTANTIATE_TEST_SUITE_P(
    Geometry, FrameComplete,
    ::testing::Values(CompleteCase{"Nothing", {}, 0, 3}, CompleteCase{"StartOnly", {0x58}, 0, 2},
                      CompleteCase{"LengthKnown", Cut(StatusRequest(), 3), 0, 12},
                      CompleteCase{"Whole", StatusRequest(), 15, 0},
                      CompleteCase{"OneShort", Cut(StatusRequest(), 14), 0, 1},
                      CompleteCase{"NextFrameBehind", Extended(StatusRequest(), 4), 15, 0},
                      CompleteCase{"BadChecksum", Patched(StatusRequest(), 10, 0x81), 15, 0},
                      CompleteCase{"EndByte17", Extended(Patched(StatusRequest(), 14, 0x17), 2), 0, 0},
                      CompleteCase{"Garbage", {0x00, 0x58, 0x07, 0x00}, 0, 0},
                      CompleteCase{"LengthZero", {0x58, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16}, 8, 0},
                      CompleteCase{"HugeLength", Patched(Patched(StatusRequest(), 1, 0xFF), 2, 0xFF), 0,
                                   0xFFFF + 8 - 15}),
    [](const ::testing::TestParamInfo<CompleteCase>& i) { return std::string(i.param.name); });

// ---- header ----

TEST(FrameHeaderDecode, ReadsEveryField) {
    const Bytes f = Build(CTRL_REPLY_MORE, 0x0203, 7, TYPE_DATA, FC_NEW_EVENTS, {1, 2, 3});
    const FrameHeader h = DecodeHeader(f.data(), f.size());
    EXPECT_EQ(h.start, FRAME_START);
    EXPECT_EQ(h.length, 10);
    EXPECT_EQ(h.control, CTRL_REPLY_MORE);
    EXPECT_EQ(h.segment, 0x0203);
    EXPECT_EQ(h.address, 7);
    EXPECT_EQ(h.reserved, 0);
    EXPECT_EQ(h.type, TYPE_DATA);
    EXPECT_EQ(h.function, FC_NEW_EVENTS);
    EXPECT_EQ(h.dataPosition, 10u);
    ASSERT_EQ(h.dataLength, 3u);
    EXPECT_EQ(FrameData(f.data(), h)[2], 3);
}

TEST(FrameHeaderDecode, DataLengthNeverBeyondReceivedBytes) {
    Bytes f = Build(CTRL_LAST, 0, 1, TYPE_DATA, FC_STATUS, Bytes(40, 9));
    const FrameHeader whole = DecodeHeader(f.data(), f.size());
    EXPECT_EQ(whole.dataLength, 40u);
    const FrameHeader cut = DecodeHeader(f.data(), 20);
    EXPECT_EQ(cut.dataLength, 10u);
    EXPECT_EQ(DecodeHeader(f.data(), 10).dataLength, 0u);
    EXPECT_EQ(DecodeHeader(f.data(), 3).type, 0);
}

TEST(FrameHeaderDecode, ShortLengthLendsNoChecksumBytesToTheHeader) {
    // length 1: control then checksum; byte 8 is the end byte, not a type.
    const Bytes f = {0x58, 0x01, 0x00, 0x06, 0x06, 0x00, 0x00, 0x00, 0x16};
    ASSERT_TRUE(ValidateFrame(f.data(), f.size()));
    const FrameHeader h = DecodeHeader(f.data(), f.size());
    EXPECT_EQ(h.control, 0x06);
    EXPECT_EQ(h.type, 0);
    EXPECT_EQ(h.function, 0);
    EXPECT_EQ(h.dataLength, 0u);
}

// ---- status ----

TEST(StatusPayload, ReadsFlagsStatesAndFirmware) {
    const Bytes data = {0xAA, 0xBB, 0x08, 0x00, 0x03, 0x00, 0, 0, 0, 0, 1, 0, 2, 0x01, 0x02, 0x0B};
    const StatusReply s = ReadStatusPayload(data);
    EXPECT_TRUE(s.NewEvents());
    EXPECT_EQ(s.claimedCount, 3);
    ASSERT_EQ(s.statusCount, 3u);
    EXPECT_EQ(s.statusBytes[0], 1);
    EXPECT_EQ(s.statusBytes[2], 2);
    ASSERT_TRUE(s.hasFirmware);
    EXPECT_EQ(s.firmware[2], 0x0B);
}

TEST(StatusPayload, ClaimedCountLargerThanDataStaysInside) {
    const Bytes data = {0, 0, 0x00, 0x00, 0x10, 0x27, 0, 0, 0, 0, 1, 1, 1};  // claims 10000
    const StatusReply s = ReadStatusPayload(data);
    EXPECT_FALSE(s.NewEvents());
    EXPECT_EQ(s.claimedCount, 10000);
    EXPECT_EQ(s.statusCount, 3u);
    EXPECT_FALSE(s.hasFirmware);
}

TEST(StatusPayload, TooShortForTheHeaderGivesNothing) {
    const Bytes data = {0, 0, 0x08};
    const StatusReply s = ReadStatusPayload(data);
    EXPECT_EQ(s.flags, 0);
    EXPECT_EQ(s.statusCount, 0u);
    EXPECT_EQ(s.statusBytes, nullptr);
    EXPECT_FALSE(s.hasFirmware);
}

TEST(StatusPayload, DeviceSideWriterIsReadBack) {
    const uint8_t states[4] = {0, 1, 2, 1};
    const uint8_t fw[3] = {1, 2, 3};
    uint8_t buf[32];
    const std::size_t n = WriteStatusPayload(buf, StatusFlagNewEvents, states, 4, fw);
    EXPECT_EQ(n, 17u);
    const StatusReply s = ReadStatusPayload({buf, n});
    EXPECT_TRUE(s.NewEvents());
    ASSERT_EQ(s.statusCount, 4u);
    EXPECT_EQ(s.statusBytes[3], 1);
    EXPECT_TRUE(s.hasFirmware);
    EXPECT_EQ(s.firmware[0], 1);
}

// ---- clock ----

TEST(ClockPayload, WritesTheElevenBytes) {
    ClockFields c{2012, 5, 10, 8, 15, 30, 123};
    uint8_t buf[ClockPayloadSize];
    WriteClockPayload(buf, c);
    const Bytes expected = {0x0B, 0x00, 0xDC, 0x07, 5, 10, 8, 15, 30, 0x7B, 0x00};
    EXPECT_EQ(Bytes(buf, buf + sizeof buf), expected);
    ClockFields back;
    EXPECT_TRUE(ReadClockPayload(expected, back));
    EXPECT_EQ(back.year, 2012);
    EXPECT_EQ(back.second, 30);
    EXPECT_EQ(back.millisecond, 123);
}

TEST(ClockPayload, ShortReplyGivesZeroForMissingFields) {
    const Bytes data = {0x0B, 0x00, 0xDC, 0x07, 5, 10};
    ClockFields c{1, 1, 1, 1, 1, 1, 1};
    EXPECT_FALSE(ReadClockPayload(data, c));
    EXPECT_EQ(c.year, 2012);
    EXPECT_EQ(c.day, 10);
    EXPECT_EQ(c.hour, 0);
    EXPECT_EQ(c.second, 0);
    EXPECT_EQ(c.millisecond, 0);
}

// ---- output test ----

TEST(OutputTestPayload, RequestBytes) {
    uint8_t buf[OutputTestRequestSize];
    WriteOutputTestPayload(buf, 1);
    EXPECT_EQ(Bytes(buf, buf + sizeof buf), (Bytes{0x08, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x01}));
}

TEST(OutputTestPayload, OnlyItemNumberZeroCounts) {
    const Bytes item0 = {0x0A, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF};
    const Bytes item256 = {0x0A, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x01, 0xFF, 0xFF};
    EXPECT_EQ(ReadOutputTestItem0(item0), 1);
    EXPECT_EQ(ReadOutputTestItem0(item256), -1);
    // Item 0 second in the list.
    const Bytes second = {0x0F, 0x00, 0x02, 0x00, 0x00, 0x05, 0x00, 0x01, 0, 0, 0x00, 0x00, 0x00, 0, 0};
    EXPECT_EQ(ReadOutputTestItem0(second), 0);
}

TEST(OutputTestPayload, ClaimedItemsBeyondDataAreNotRead) {
    // Claims 500 items, only one present, and that one cut after its number.
    const Bytes cut = {0x0A, 0x00, 0xF4, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(ReadOutputTestItem0(cut), -1);
    const Bytes noCount = {0x0A, 0x00, 0x01};
    EXPECT_EQ(ReadOutputTestItem0(noCount), -1);
    uint8_t reply[16];
    const std::size_t n = WriteOutputTestReply(reply, 0, 1);
    EXPECT_EQ(ReadOutputTestItem0({reply, n}), 1);
}

// ---- events ----

Bytes WireBytes(const char* name, uint16_t number, uint8_t direction) {
    Bytes b(WireEventSize, 0);
    std::memcpy(b.data(), name, std::strlen(name));
    b[32] = static_cast<uint8_t>(number);
    b[33] = static_cast<uint8_t>(number >> 8);
    b[34] = 0xDC;  // 2012
    b[35] = 0x07;
    b[36] = 5;
    b[37] = 10;
    b[38] = 8;
    b[39] = 15;
    b[40] = 30;
    b[41] = 0x7B;  // 123, at an odd offset
    b[42] = 0x00;
    b[43] = direction;
    return b;
}

TEST(WireEventCodec, DecodesTheFortyFourBytes) {
    const Bytes b = WireBytes("IN1", 0x01F3, 1);
    const WireEvent e = DecodeWireEvent(b.data());
    EXPECT_STREQ(e.designation, "IN1");
    EXPECT_EQ(e.eventNumber, 499);
    EXPECT_EQ(e.year, 2012);
    EXPECT_EQ(e.month, 5);
    EXPECT_EQ(e.day, 10);
    EXPECT_EQ(e.hour, 8);
    EXPECT_EQ(e.minute, 15);
    EXPECT_EQ(e.second, 30);
    EXPECT_EQ(e.millisecond, 123);
    EXPECT_EQ(e.direction, 1);
    uint8_t again[WireEventSize];
    EncodeWireEvent(e, again);
    EXPECT_EQ(Bytes(again, again + WireEventSize), b);
}

TEST(WireEventCodec, StoredFormMapsTheDirection) {
    EventRecord rec;
    std::memset(&rec, 0x5A, sizeof rec);
    WireEventToRecord(DecodeWireEvent(WireBytes("A", 3, 1).data()), rec);
    EXPECT_EQ(rec.transition, 0);
    EXPECT_EQ(rec.risingMark, 1);
    EXPECT_EQ(rec.millisecond, 123);
    EXPECT_EQ(rec.reserved0[0], 0);
    EXPECT_EQ(rec.unused11, 0);
    EXPECT_EQ(rec.reserved52[3], 0);
    EXPECT_STREQ(rec.signalName, "A");
    WireEventToRecord(DecodeWireEvent(WireBytes("A", 3, 2).data()), rec);
    EXPECT_EQ(rec.transition, 1);
    EXPECT_EQ(rec.risingMark, 0);
}

struct SegmentCase {
    const char* name;
    uint16_t segment;
    std::size_t dataSize;
    bool rejected;
    std::size_t count;
};

class EventSegments : public ::testing::TestWithParam<SegmentCase> {};

TEST_P(EventSegments, CountsWholeEvents) {
    const SegmentCase& c = GetParam();
    Bytes data(c.dataSize, 0x33);
    const EventSegment s = SplitEventSegment(data, c.segment);
    EXPECT_EQ(s.rejected, c.rejected);
    EXPECT_EQ(s.count, c.count);
    if (s.count > 0) {
        EXPECT_EQ(s.first, data.data() + (c.segment == 0 ? 4 : 0));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, EventSegments,
    ::testing::Values(SegmentCase{"PrefixOnly", 0, 4, false, 0},
                      SegmentCase{"ShorterThanPrefix", 0, 2, false, 0},
                      SegmentCase{"ThreeEvents", 0, 4 + 44 * 3, false, 3},
                      SegmentCase{"ThreeEventsAndTen", 0, 4 + 44 * 3 + 10, false, 3},
                      SegmentCase{"Twenty", 0, 4 + 44 * 20, false, 20},
                      SegmentCase{"TwentyOneRejected", 0, 4 + 44 * 21, true, 0},
                      SegmentCase{"LaterSegmentHasNoPrefix", 1, 44 * 2, false, 2},
                      SegmentCase{"LaterSegmentPrefixSizedRemainder", 1, 44 * 2 + 4, false, 2},
                      SegmentCase{"LaterSegmentTwentyOne", 3, 44 * 21, true, 0}),
    [](const ::testing::TestParamInfo<SegmentCase>& i) { return std::string(i.param.name); });

// ---- configuration ----

TEST(ConfigPieces, ImageGoesOutIn928928628) {
    std::size_t sent = 0;
    ConfigPiece p = NextConfigPiece(ConfigImageSize, sent);
    EXPECT_EQ(p.offset, 0u);
    EXPECT_EQ(p.length, 928u);
    EXPECT_EQ(p.control, CTRL_MORE);
    sent += p.length;
    p = NextConfigPiece(ConfigImageSize, sent);
    EXPECT_EQ(p.offset, 928u);
    EXPECT_EQ(p.control, CTRL_MORE);
    sent += p.length;
    p = NextConfigPiece(ConfigImageSize, sent);
    EXPECT_EQ(p.offset, 1856u);
    EXPECT_EQ(p.length, 628u);
    EXPECT_EQ(p.control, CTRL_LAST);
    // Exactly one piece's worth left goes as the last piece.
    p = NextConfigPiece(928, 0);
    EXPECT_EQ(p.length, 928u);
    EXPECT_EQ(p.control, CTRL_LAST);
    // A counter past the end never reads beyond the image.
    p = NextConfigPiece(ConfigImageSize, 5000);
    EXPECT_EQ(p.offset, static_cast<std::size_t>(ConfigImageSize));
    EXPECT_EQ(p.length, 0u);
}

TEST(ConfigStagingRead, AppendsRestartsAndCutsAt4096) {
    ConfigStaging st;
    st.AppendRead(0, Bytes(900, 1));
    st.AppendRead(1, Bytes(900, 2));
    EXPECT_EQ(st.bytesReceived, 1800u);
    EXPECT_EQ(st.stagingArea[899], 1);
    EXPECT_EQ(st.stagingArea[900], 2);
    for (int seg = 2; seg < 6; ++seg) st.AppendRead(static_cast<uint16_t>(seg), Bytes(900, 3));
    EXPECT_EQ(st.bytesReceived, StagingAreaSize);
    EXPECT_EQ(st.stagingArea[StagingAreaSize - 1], 3);
    st.AppendRead(0, Bytes(10, 4));  // segment 0 starts over with a clean area
    EXPECT_EQ(st.bytesReceived, 10u);
    EXPECT_EQ(st.stagingArea[9], 4);
    EXPECT_EQ(st.stagingArea[10], 0);
}

TEST(ConfigStagingRead, EveryDeviceWithTheAddressReceivesTheImage) {
    auto project = std::make_unique<ProjectBlock>();
    project->deviceCount = 3;
    project->devices[0].address = 5;
    project->devices[1].address = 6;
    project->devices[2].address = 5;
    project->devices[0].eventCount = 7;
    project->devices[3].address = 5;  // beyond deviceCount: not part of the project

    ConfigStaging st;
    Bytes image(ConfigImageSize, 0);
    std::memcpy(image.data(), "READ", 5);
    image[156] = 5;  // the image's own address
    st.AppendRead(0, {image.data(), 931});
    st.AppendRead(1, {image.data() + 931, 931});
    st.AppendRead(2, {image.data() + 1862, ConfigImageSize - 1862});

    EXPECT_EQ(st.ApplyRead(*project, 5), 2);
    EXPECT_STREQ(project->devices[0].name, "READ");
    EXPECT_STREQ(project->devices[2].name, "READ");
    EXPECT_EQ(project->devices[1].name[0], 0);
    EXPECT_EQ(project->devices[3].name[0], 0);
    EXPECT_EQ(project->devices[0].eventCount, 7);  // the event store is not part of the image
    EXPECT_EQ(st.ApplyRead(*project, 9), 0);
}

TEST(ConfigStagingWrite, CopiesTheImageOfTheRecord) {
    auto rec = std::make_unique<DeviceRecord>();
    std::memset(rec.get(), 0x11, sizeof *rec);
    ConfigStaging st;
    st.bytesSent = 77;
    st.BeginWrite(*rec);
    EXPECT_EQ(st.stagedSize, static_cast<std::size_t>(ConfigImageSize));
    EXPECT_EQ(st.bytesSent, 0u);
    EXPECT_EQ(st.stagingArea[ConfigImageSize - 1], 0x11);
    EXPECT_EQ(st.stagingArea[ConfigImageSize], 0);
}

// ---- communication bar ----

TEST(CommEntry, SentFrameWithRepeat) {
    const Bytes f = StatusRequest();
    EXPECT_EQ(FormatCommEntry(true, 2, f.data(), f.size()),
              "send-->repeat=2\r\n58 07 00 40 00 00 00 00 10 30 80 00 00 00 16 \r\n");
}

TEST(CommEntry, ReceivedBlockBreaksAfterEveryFiftiethByte) {
    Bytes b(101);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i + 0xA0);
    const std::string s = FormatCommEntry(false, 0, b.data(), b.size());
    std::string expected = "receive<--\r\n";
    for (std::size_t i = 0; i < b.size(); ++i) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02x ", b[i]);
        expected += cell;
        if (i == 49 || i == 99) expected += "\r\n";
    }
    expected += "\r\n";
    EXPECT_EQ(s, expected);
    EXPECT_EQ(FormatCommEntry(false, 0, nullptr, 0), "receive<--\r\n\r\n");
}

}  // namespace
}  // namespace corvix
