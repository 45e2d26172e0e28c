// SPDX-License-Identifier: Apache-2.0
// The simulated device answered over its pty, request by request, byte for byte.
#include <atomic>
#include <cstring>

#include "test_devsim_support.h"

namespace {

using namespace corvix;
using namespace corvix::sim;
using namespace devsim_test;

class DevsimProtocol : public DeviceLine {};

TEST_F(DevsimProtocol, StatusReplyIsByteExact) {
    SimOptions o;
    o.device.address = 5;
    o.device.signalCount = 3;
    Begin(o);
    // Fresh device: all inputs off, nothing new.
    const Bytes quiet = Exchange(Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS));
    EXPECT_EQ(quiet,
              Reply(CTRL_LAST, 0, 5, TYPE_DATA, FC_STATUS, {0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3}));

    ASSERT_TRUE(Device().SetInput(0, true));
    ASSERT_TRUE(Device().SetInput(2, true));
    EXPECT_FALSE(Device().SetInput(2, true));  // no change, no event
    EXPECT_FALSE(Device().SetInput(3, true));  // no such input
    const Bytes expected = {0x58, 0x17, 0x00, 0x40, 0x00, 0x00, 0x05, 0x00, 0x12, 0x30, 0x00,
                            0x00, 0x08, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
                            0x01, 0x01, 0x02, 0x03, 0x9A, 0x00, 0x00, 0x00, 0x16};
    EXPECT_EQ(Exchange(Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS)), expected);
    EXPECT_EQ(Device().PendingEventCount(), 2);
}

TEST_F(DevsimProtocol, ClockSetThenReadFollowsThePcClock) {
    SimOptions o;
    o.device.address = 5;
    Begin(o);
    std::atomic<int64_t> pcNow{CivilMsFromFields({2026, 1, 1, 0, 0, 0, 0})};
    Device().SetPcClock([&] { return pcNow.load(); });

    const Bytes set = {0x0B, 0x00, 0xDC, 0x07, 0x05, 0x0A,
                       0x08, 0x0F, 0x1E, 0x7B, 0x00};  // 2012-05-10 08:15:30.123
    EXPECT_EQ(
        Exchange(Request(CTRL_SIMPLE, 0, TYPE_WRITE, FC_CLOCK, set)),
        (Bytes{0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x05, 0x00, 0x06, 0x22, 0x6D, 0x00, 0x00, 0x00, 0x16}));
    const Bytes readRequest = {0x58, 0x07, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
                               0x10, 0x22, 0x33, 0x00, 0x00, 0x00, 0x16};
    EXPECT_EQ(Exchange(readRequest),
              (Bytes{0x58, 0x12, 0x00, 0x40, 0x00, 0x00, 0x05, 0x00, 0x12, 0x22, 0x0B, 0x00, 0xDC,
                     0x07, 0x05, 0x0A, 0x08, 0x0F, 0x1E, 0x7B, 0x00, 0x26, 0x02, 0x00, 0x00, 0x16}));
    pcNow += 1500;
    ClockFields later;
    ASSERT_TRUE(ReadClockPayload(DataOf(Exchange(readRequest)), later));
    EXPECT_EQ(later.second, 31);
    EXPECT_EQ(later.millisecond, 623);

    // Not a time: refused without an answer, the clock keeps running as set.
    ExpectNoAnswer(
        Request(CTRL_SIMPLE, 0, TYPE_WRITE, FC_CLOCK, {0x0B, 0x00, 0xDC, 0x07, 13, 1, 0, 0, 0, 0, 0}));
    ExpectNoAnswer(Request(CTRL_SIMPLE, 0, TYPE_WRITE, FC_CLOCK, {0x0B, 0x00, 0xDC, 0x07}));
    EXPECT_EQ(Device().DeviceTime().year, 2012);
}

// Reads the whole image as the PC does and checks every reply's header on the way.
Bytes ReadImage(DevsimProtocol& t, int segmentSize, uint8_t address) {
    Bytes image;
    for (uint16_t segment = 0;; ++segment) {
        const Bytes reply = t.Exchange(Request(CTRL_LAST, segment, TYPE_READ, FC_CONFIG));
        EXPECT_TRUE(ValidateFrame(reply.data(), reply.size()));
        const FrameHeader h = DecodeHeader(reply.data(), reply.size());
        EXPECT_EQ(h.type, TYPE_DATA);
        EXPECT_EQ(h.function, FC_CONFIG);
        EXPECT_EQ(h.segment, segment);
        EXPECT_EQ(h.address, address);
        const std::size_t remaining = ConfigImageSize - image.size();
        const std::size_t expectedSize = std::min<std::size_t>(segmentSize, remaining);
        EXPECT_EQ(h.dataLength, expectedSize);
        const Bytes data = DataOf(reply);
        image.insert(image.end(), data.begin(), data.end());
        if (remaining > static_cast<std::size_t>(segmentSize)) {
            EXPECT_EQ(h.control, CTRL_REPLY_MORE);
        } else {
            EXPECT_EQ(h.control, CTRL_LAST);
            break;
        }
        if (segment > 10 || data.empty()) break;
    }
    return image;
}

TEST_F(DevsimProtocol, ConfigurationReadIn931ByteSegmentsIsTheNewDeviceImage) {
    SimOptions o;
    o.device.address = 7;
    o.device.uiLanguage = LangEnglish;
    Begin(o);
    const Bytes image = ReadImage(*this, 931, 7);  // 931 + 931 + 622
    ASSERT_EQ(image.size(), static_cast<std::size_t>(ConfigImageSize));
    const ConfigImage kept = Device().Image();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), kept.begin()));

    DeviceRecord rec{};
    std::memcpy(&rec, image.data(), ConfigImageSize);
    EXPECT_STREQ(rec.name, "1");
    EXPECT_EQ(rec.address, 7);
    EXPECT_EQ(rec.signalCount, 65);
    EXPECT_EQ(rec.baudRate[1], 19200u);
    EXPECT_EQ(rec.parity[0], ParityEven);
    EXPECT_STREQ(rec.signalNames[64], "matrix out11");
}

TEST_F(DevsimProtocol, ConfigurationReadIn500ByteSegments) {
    SimOptions o;
    o.device.segmentSize = 500;
    Begin(o);
    const Bytes image = ReadImage(*this, 500, 1);  // 4 x 500 + 484
    const ConfigImage kept = Device().Image();
    ASSERT_EQ(image.size(), kept.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), kept.begin()));
    // A segment past the end is empty and ends the transfer.
    const Bytes past = Exchange(Request(CTRL_LAST, 9, TYPE_READ, FC_CONFIG));
    EXPECT_EQ(past, Reply(CTRL_LAST, 9, 1, TYPE_DATA, FC_CONFIG));
}

TEST_F(DevsimProtocol, ConfigurationWriteIsAcknowledgedPieceByPieceAndKeptAfterTheLast) {
    Begin(SimOptions{});
    const ConfigImage before = Device().Image();
    ConfigImage next = before;
    DeviceRecord rec{};
    std::memcpy(&rec, next.data(), ConfigImageSize);
    CopyTextField(rec.name, DeviceNameSize, "RTU-7");
    rec.address = 9;
    CopyTextField(rec.signalNames[0], SignalNameSize, "breaker closed");
    rec.reserved[19] = 0xA5;
    std::memcpy(next.data(), &rec, ConfigImageSize);

    auto piece = [&](std::size_t offset, std::size_t size) {
        return Bytes(next.begin() + offset, next.begin() + offset + size);
    };
    auto ack = [](uint16_t segment, uint8_t address) {
        return Reply(CTRL_LAST, segment, address, TYPE_ACK, FC_CONFIG);
    };

    EXPECT_EQ(Exchange(Request(CTRL_MORE, 0, TYPE_WRITE, FC_CONFIG, piece(0, 928))), ack(0, 1));
    EXPECT_EQ(Exchange(Request(CTRL_MORE, 1, TYPE_WRITE, FC_CONFIG, piece(928, 928))), ack(1, 1));
    // The PC resends a piece whose acknowledgement it missed: acknowledged again, kept once.
    EXPECT_EQ(Exchange(Request(CTRL_MORE, 1, TYPE_WRITE, FC_CONFIG, piece(928, 928))), ack(1, 1));
    EXPECT_EQ(Device().Image(), before);  // nothing applied before the last piece
    EXPECT_EQ(Exchange(Request(CTRL_LAST, 2, TYPE_WRITE, FC_CONFIG, piece(1856, 628))), ack(2, 9));
    EXPECT_EQ(Device().Image(), next);

    // The device now answers with its new address and its new image.
    const FrameHeader h = DecodeHeader(Exchange(Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS)).data(), 64);
    EXPECT_EQ(h.address, 9);
    const Bytes image = ReadImage(*this, 931, 9);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), next.begin()));
}

TEST_F(DevsimProtocol, IncompleteOrDisorderedConfigurationWritesAreNotAcknowledgedNorApplied) {
    Begin(SimOptions{});
    const ConfigImage before = Device().Image();
    const Bytes junk(928, 0x55);
    // Too short an image.
    ExpectNoAnswer(Request(CTRL_LAST, 0, TYPE_WRITE, FC_CONFIG, Bytes(100, 0x55)));
    // A piece skipped.
    EXPECT_FALSE(Exchange(Request(CTRL_MORE, 0, TYPE_WRITE, FC_CONFIG, junk)).empty());
    ExpectNoAnswer(Request(CTRL_LAST, 2, TYPE_WRITE, FC_CONFIG, Bytes(628, 0x55)));
    // Too long an image: three full pieces.
    EXPECT_FALSE(Exchange(Request(CTRL_MORE, 0, TYPE_WRITE, FC_CONFIG, junk)).empty());
    EXPECT_FALSE(Exchange(Request(CTRL_MORE, 1, TYPE_WRITE, FC_CONFIG, junk)).empty());
    ExpectNoAnswer(Request(CTRL_LAST, 2, TYPE_WRITE, FC_CONFIG, junk));
    EXPECT_EQ(Device().Image(), before);
}

TEST_F(DevsimProtocol, NewEventsAreFlaggedDeliveredInSegmentsAndThenCleared) {
    Begin(SimOptions{});
    for (int i = 0; i < 25; ++i) Device().InjectEvent(i, i % 2 == 0);
    auto flags = [&] {
        const StatusReply s =
            ReadStatusPayload(DataOf(Exchange(Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS))));
        return s.NewEvents();
    };
    EXPECT_TRUE(flags());

    const Bytes newRequest = Request(CTRL_LAST, 0, TYPE_READ, FC_NEW_EVENTS);
    const Bytes first = Exchange(newRequest);
    FrameHeader h = DecodeHeader(first.data(), first.size());
    EXPECT_EQ(h.function, FC_NEW_EVENTS);
    EXPECT_EQ(h.control, CTRL_REPLY_MORE);
    EXPECT_EQ(h.dataLength, EventSegmentPrefix + 20 * WireEventSize);
    // The reply went astray and the PC asks again: the same events, not the next ones.
    EXPECT_EQ(Exchange(newRequest), first);

    const Bytes firstData = DataOf(first);
    const EventSegment seg0 = SplitEventSegment(firstData, 0);
    ASSERT_FALSE(seg0.rejected);
    ASSERT_EQ(seg0.count, 20u);
    for (std::size_t i = 0; i < seg0.count; ++i) {
        const WireEvent e = seg0.At(i);
        EXPECT_EQ(e.eventNumber, i);
        EXPECT_EQ(std::string(e.designation, strnlen(e.designation, 32)),
                  Device().Designation(static_cast<int>(i)));
        EXPECT_EQ(e.direction, i % 2 == 0 ? 1 : 0);
    }

    const Bytes second = Exchange(Request(CTRL_LAST, 1, TYPE_READ, FC_EVENT_LOG));
    h = DecodeHeader(second.data(), second.size());
    EXPECT_EQ(h.function, FC_EVENT_LOG);
    EXPECT_EQ(h.segment, 1);
    EXPECT_EQ(h.control, CTRL_LAST);
    const Bytes secondData = DataOf(second);
    const EventSegment seg1 = SplitEventSegment(secondData, 1);
    ASSERT_EQ(seg1.count, 5u);
    EXPECT_EQ(seg1.At(0).eventNumber, 20);
    EXPECT_EQ(seg1.At(4).eventNumber, 24);

    EXPECT_FALSE(flags());
    EXPECT_EQ(Device().PendingEventCount(), 0);
    EXPECT_EQ(Device().StoredEventCount(), 25);  // reported, still in the log
}

TEST_F(DevsimProtocol, EventLogIsReadInSegmentsOfTwenty) {
    SimOptions o;
    o.device.initialEvents = 45;
    o.device.signalCount = 4;
    Begin(o);
    EXPECT_EQ(Device().PendingEventCount(), 0);  // stored before the PC looked: not new
    // Events 44, 41, 42 and 43 were the last of inputs 1 to 4: off, on, on, on.
    EXPECT_EQ(Device().InputStates(), (std::vector<uint8_t>{0, 1, 1, 1}));
    std::vector<int> numbers;
    std::vector<int64_t> times;
    const uint8_t controls[] = {CTRL_REPLY_MORE, CTRL_REPLY_MORE, CTRL_LAST};
    for (uint16_t segment = 0; segment < 3; ++segment) {
        const Bytes reply = Exchange(Request(CTRL_LAST, segment, TYPE_READ, FC_EVENT_LOG));
        const FrameHeader h = DecodeHeader(reply.data(), reply.size());
        EXPECT_EQ(h.control, controls[segment]);
        EXPECT_EQ(h.segment, segment);
        const Bytes data = DataOf(reply);
        const EventSegment seg = SplitEventSegment(data, segment);
        EXPECT_EQ(seg.count, segment < 2 ? 20u : 5u);
        for (std::size_t i = 0; i < seg.count; ++i) {
            const WireEvent e = seg.At(i);
            numbers.push_back(e.eventNumber);
            times.push_back(
                CivilMsFromFields({e.year, e.month, e.day, e.hour, e.minute, e.second, e.millisecond}));
        }
    }
    ASSERT_EQ(numbers.size(), 45u);
    for (int i = 0; i < 45; ++i) EXPECT_EQ(numbers[static_cast<std::size_t>(i)], i);
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_EQ(times[i] - times[i - 1], 1000);  // a second apart
}

TEST_F(DevsimProtocol, OutputTestSetsAndReportsItemZero) {
    Begin(SimOptions{});
    auto test = [&](const Bytes& payload) {
        return ReadOutputTestItem0(
            DataOf(Exchange(Request(CTRL_SIMPLE, 0, TYPE_WRITE, FC_OUTPUT_TEST, payload))));
    };
    uint8_t on[OutputTestRequestSize];
    WriteOutputTestPayload(on, 1);
    EXPECT_EQ(test(Bytes(on, on + sizeof on)), 1);
    EXPECT_EQ(Device().CpuFailureTest(), 1);
    // Another item number leaves item 0 alone; a count beyond the items sent reads only those sent.
    EXPECT_EQ(test({0x08, 0x00, 0x01, 0x00, 0x01, 0x05, 0x00, 0x00}), 1);
    EXPECT_EQ(test({0x08, 0x00, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x00}), 0);
    EXPECT_EQ(Device().CpuFailureTest(), 0);
    EXPECT_EQ(test({}), 0);  // nothing to apply: the state as it is
}

TEST_F(DevsimProtocol, RequestsSplitOrAfterNoiseAreStillAnswered) {
    Begin(SimOptions{});
    const Bytes status = Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS);
    // Noise, a frame with a bad checksum, then the real request in two writes.
    Bytes damaged = status;
    damaged[10] ^= 1;
    Bytes lead = {0x00, 0x58, 0xFF, 0xFF, 0x16};
    lead.insert(lead.end(), damaged.begin(), damaged.end());
    lead.insert(lead.end(), status.begin(), status.begin() + 4);
    ASSERT_TRUE(pc_.Write(lead));
    const Bytes reply = Exchange(Bytes(status.begin() + 4, status.end()));
    EXPECT_EQ(DecodeHeader(reply.data(), reply.size()).function, FC_STATUS);
    EXPECT_EQ(server_->Stats().requests, 1u);
    // Replies and unknown functions get no answer.
    ExpectNoAnswer(Reply(CTRL_LAST, 0, 1, TYPE_DATA, FC_STATUS));
    ExpectNoAnswer(Request(CTRL_LAST, 0, TYPE_READ, 0x77));
}

}  // namespace
