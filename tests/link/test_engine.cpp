// The protocol engine driven tick by tick and reply by reply.
#include <cstring>

#include "test_engine_fakes.h"

namespace corvix::test {
namespace {

const Bytes kStatusRequest = {0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00,
                              0x10, 0x30, 0x80, 0x00, 0x00, 0x00, 0x16};

Bytes StatusData(uint16_t flags, const Bytes& states, const Bytes& firmware = {1, 2, 3}) {
    Bytes d = {0,
               0,
               static_cast<uint8_t>(flags),
               static_cast<uint8_t>(flags >> 8),
               static_cast<uint8_t>(states.size()),
               static_cast<uint8_t>(states.size() >> 8),
               0,
               0,
               0,
               0};
    d.insert(d.end(), states.begin(), states.end());
    d.insert(d.end(), firmware.begin(), firmware.end());
    return d;
}

// ---- time-out, resends and give-up ----

using EngineTimeout = EngineFixture;

TEST_F(EngineTimeout, FourSendsThenOneGiveUpAfterSixteenTicks) {
    doc.uiLanguage = LangEnglish;
    engine.PollStatus();
    WorkerWroteLast();
    for (int tick = 1; tick <= 15; ++tick) {
        const std::size_t before = sink.frames.size();
        engine.OnTimer(3);
        if (sink.frames.size() != before) WorkerWroteLast();
    }
    ASSERT_EQ(sink.frames.size(), 4u);
    for (const Bytes& f : sink.frames) EXPECT_EQ(f, kStatusRequest);
    ASSERT_EQ(host.commLog.size(), 4u);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(host.commLog[r].rfind("send-->repeat=" + std::to_string(r) + "\r\n58 07 00 40", 0), 0u)
            << r;
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(engine.awaitingReply);

    engine.OnTimer(3);  // the 16th tick
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Can not connect to device");
    EXPECT_EQ(host.messages[0].caption, "Communication Error");
    EXPECT_EQ(sink.closeCount, 1);
    EXPECT_FALSE(engine.awaitingReply);
    EXPECT_EQ(engine.tickCount, 0);
    EXPECT_EQ(engine.repeatCount, 0);

    Ticks(10);  // nothing outstanding any more
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(sink.frames.size(), 4u);
}

TEST_F(EngineTimeout, TickWhileGiveUpMessageShowsClosesWithoutSecondMessage) {
    engine.ReadEventLog(-1);
    int nestedTicks = 0;
    host.duringMessage = [&] {
        EXPECT_TRUE(engine.MessageGuard());
        ++nestedTicks;
        engine.OnTimer(3);  // the modal loop lets timer 3 run
        EXPECT_FALSE(engine.awaitingReply);
        EXPECT_FALSE(engine.transferBusy);
        engine.OnTimer(3);
    };
    Ticks(16);
    EXPECT_EQ(nestedTicks, 1);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "串口不通!");
    EXPECT_EQ(host.messages[0].caption, "通讯提示");
    EXPECT_FALSE(engine.MessageGuard());
    EXPECT_FALSE(engine.awaitingReply);
    EXPECT_FALSE(engine.transferBusy);
    EXPECT_GE(sink.closeCount, 1);
    // A later request times out again and shows its message again.
    host.duringMessage = nullptr;
    engine.PollStatus();
    Ticks(16);
    EXPECT_EQ(host.messages.size(), 2u);
}

TEST_F(EngineTimeout, ReplyToTheLastResendCompletes) {
    engine.PollStatus();
    Ticks(12);
    ASSERT_EQ(sink.frames.size(), 4u);
    EXPECT_EQ(engine.repeatCount, 3);
    ReceiveData(FC_STATUS, CTRL_LAST, 0, StatusData(0, {1}));
    EXPECT_FALSE(engine.awaitingReply);
    EXPECT_EQ(engine.repeatCount, 0);
    EXPECT_EQ(doc.liveStatus[0], 1);
    Ticks(20);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(sink.closeCount, 0);
}

TEST_F(EngineTimeout, InvalidOrForeignReceptionsKeepTheRequestOutstanding) {
    engine.PollStatus();
    Bytes bad = Reply(TYPE_DATA, FC_STATUS, CTRL_LAST, 0, 1, StatusData(0, {1}));
    bad[bad.size() - 5] ^= 1;  // checksum off by one
    Receive(bad);
    Receive(Reply(0x33, FC_STATUS, CTRL_LAST, 0, 1));  // neither ACK nor DATA
    Receive(Bytes{0x58, 0x07, 0x00, 0x40, 0x00, 0x00});
    EXPECT_TRUE(engine.awaitingReply);
    EXPECT_EQ(doc.liveStatus[0], 0);
    EXPECT_EQ(host.commLog.size(), 3u);  // every reception is logged
    EXPECT_EQ(host.commLog[2], "receive<--\r\n58 07 00 40 00 00 \r\n");
    Ticks(4);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[1], kStatusRequest);
}

TEST_F(EngineTimeout, SendFailureShowsMessageAndKeepsWaiting) {
    doc.uiLanguage = LangEnglish;
    engine.PollStatus();
    engine.OnSendFailed();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Send Data Error");
    EXPECT_EQ(host.messages[0].caption, "Communication Error");
    EXPECT_TRUE(engine.awaitingReply);
    Ticks(4);
    EXPECT_EQ(sink.frames.size(), 2u);
}

// ---- polling ----

using EnginePoll = EngineFixture;

TEST_F(EnginePoll, TimerOnePollsOnlyWhenConnectedIdleAndNotBusy) {
    engine.dateFormat = DateWorld;
    sink.connected = false;
    engine.OnTimer(1);
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_EQ(doc.dateFormat, DateWorld);  // every tick copies the date order

    sink.connected = true;
    engine.OnTimer(1);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0], kStatusRequest);
    engine.OnTimer(1);  // still waiting
    EXPECT_EQ(sink.frames.size(), 1u);

    ReceiveData(FC_STATUS, CTRL_LAST, 0, StatusData(0, {}));
    host.clockOpen = true;
    engine.OnTimer(1);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(LastHeader().function, FC_CLOCK);
    EXPECT_EQ(LastHeader().control, CTRL_SIMPLE);
    engine.dateFormat = DateChina;
    engine.OnTimer(2);
    EXPECT_EQ(doc.dateFormat, DateChina);
    EXPECT_EQ(sink.frames.size(), 2u);
}

TEST_F(EnginePoll, NoPollBetweenTheFramesOfAWrite) {
    engine.WriteConfiguration(-1);
    ASSERT_EQ(sink.frames.size(), 1u);
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 0, 1));
    ASSERT_EQ(sink.frames.size(), 2u);
    ASSERT_TRUE(engine.awaitingReply);
    // Even with the wait cleared the transfer keeps polls away.
    engine.awaitingReply = false;
    engine.OnTimer(1);
    EXPECT_EQ(sink.frames.size(), 2u);
}

TEST_F(EnginePoll, StatusReplyFillsLiveDataAndAsksForNewEventsAtOnce) {
    doc.currentPage = KindInputStatus;
    engine.PollStatus();
    ReceiveData(FC_STATUS, CTRL_LAST, 0, StatusData(StatusFlagNewEvents, {1, 0, 2}, {1, 2, 11}));
    EXPECT_EQ(doc.liveStatus[0], 1);
    EXPECT_EQ(doc.liveStatus[2], 2);
    EXPECT_EQ(doc.firmwareVersion[2], 11);
    EXPECT_EQ(host.refreshInputs, 1);
    ASSERT_EQ(sink.frames.size(), 2u);
    const FrameHeader h = LastHeader();
    EXPECT_EQ(h.function, FC_NEW_EVENTS);
    EXPECT_EQ(h.type, TYPE_READ);
    EXPECT_EQ(h.control, CTRL_LAST);
    EXPECT_TRUE(engine.transferBusy);
    EXPECT_TRUE(engine.awaitingReply);

    doc.currentPage = KindSignalNames;
    ReceiveData(FC_STATUS, CTRL_LAST, 0, StatusData(0, {0}));
    EXPECT_EQ(host.refreshInputs, 1);
    EXPECT_EQ(sink.frames.size(), 2u);
}

TEST_F(EnginePoll, StatusKeepsAtMost253BytesAndIgnoresOverclaims) {
    Bytes states(300);
    for (std::size_t i = 0; i < states.size(); ++i) states[i] = static_cast<uint8_t>(i % 3);
    ReceiveData(FC_STATUS, CTRL_LAST, 0, StatusData(0, states, {7, 8, 9}));
    EXPECT_EQ(doc.liveStatus[252], 252 % 3);
    EXPECT_EQ(doc.firmwareVersion[0], 7);

    // Claims 600 status bytes but carries 5 and no version: only the 5 change.
    std::memset(doc.liveStatus, 0x44, sizeof doc.liveStatus);
    Bytes d = StatusData(0, {1, 1, 1, 1, 1}, {});
    d[4] = 0x58;
    d[5] = 0x02;
    ReceiveData(FC_STATUS, CTRL_LAST, 0, d);
    EXPECT_EQ(doc.liveStatus[4], 1);
    EXPECT_EQ(doc.liveStatus[5], 0x44);
    EXPECT_EQ(doc.firmwareVersion[0], 7);
}

// ---- configuration write ----

using EngineWrite = EngineFixture;

TEST_F(EngineWrite, ThreeFramesAndSuccessOnlyAfterTheThirdAcknowledgement) {
    doc.uiLanguage = LangEnglish;
    for (int i = 0; i < ConfigImageSize; ++i)
        reinterpret_cast<uint8_t*>(doc.currentDevice)[i] = static_cast<uint8_t>(i * 7);
    engine.WriteConfiguration(-1);
    EXPECT_TRUE(engine.transferBusy);
    for (uint16_t seg = 0; seg < 2; ++seg) {
        Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, seg, 1));
        EXPECT_TRUE(host.messages.empty()) << seg;
    }
    ASSERT_EQ(sink.frames.size(), 3u);
    const std::size_t sizes[3] = {943, 943, 643};
    const uint8_t controls[3] = {0xC0, 0xC0, 0x40};
    Bytes image;
    for (int i = 0; i < 3; ++i) {
        const Bytes& f = sink.frames[i];
        ASSERT_TRUE(ValidateFrame(f.data(), f.size()));
        const FrameHeader h = DecodeHeader(f.data(), f.size());
        EXPECT_EQ(f.size(), sizes[i]);
        EXPECT_EQ(h.control, controls[i]);
        EXPECT_EQ(h.segment, i);
        EXPECT_EQ(h.type, TYPE_WRITE);
        EXPECT_EQ(h.function, FC_CONFIG);
        EXPECT_EQ(h.address, 0);
        image.insert(image.end(), f.begin() + 10, f.begin() + 10 + h.dataLength);
    }
    ASSERT_EQ(image.size(), static_cast<std::size_t>(ConfigImageSize));
    EXPECT_EQ(std::memcmp(image.data(), doc.currentDevice, ConfigImageSize), 0);

    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 2, 1));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Write Data Success");
    EXPECT_EQ(host.messages[0].caption, "Corvix");
    EXPECT_EQ(sink.frames.size(), 3u);
    EXPECT_FALSE(engine.transferBusy);
    EXPECT_FALSE(engine.awaitingReply);
}

TEST_F(EngineWrite, LateAcknowledgementOfAnEarlierPieceIsNotTakenForTheCurrentOne) {
    engine.WriteConfiguration(-1);
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 0, 1));
    ASSERT_EQ(sink.frames.size(), 2u);
    // The device answers the resent segment 0 a second time.
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 0, 1));
    EXPECT_EQ(sink.frames.size(), 2u);
    EXPECT_TRUE(engine.awaitingReply);
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 1, 1));
    ASSERT_EQ(sink.frames.size(), 3u);
    const FrameHeader h = LastHeader();
    EXPECT_EQ(h.segment, 2);
    EXPECT_EQ(h.dataLength, 628u);
    EXPECT_EQ(h.control, CTRL_LAST);
}

TEST_F(EngineWrite, ConfigAcknowledgementWithoutAWriteOnlyEndsTheWait) {
    engine.PollStatus();  // control 0x40 as well
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 0, 1));
    EXPECT_FALSE(engine.awaitingReply);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(sink.frames.size(), 1u);
}

// A configuration piece nobody asked for must neither reach the image being written nor be
// stored into the project's devices.
TEST_F(EngineWrite, StrayConfigurationPieceDuringAWriteChangesNothing) {
    doc.project->deviceCount = 2;
    doc.currentDevice = &doc.project->devices[0];
    for (int i = 0; i < ConfigImageSize; ++i)
        reinterpret_cast<uint8_t*>(doc.currentDevice)[i] = static_cast<uint8_t>(i % 253 + 1);
    doc.project->devices[0].address = 7;
    doc.project->devices[1].address = 7;
    const DeviceRecord second = doc.project->devices[1];
    Bytes image(ConfigImageSize);
    std::memcpy(image.data(), doc.currentDevice, ConfigImageSize);

    engine.WriteConfiguration(-1);
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 0, 7));
    ReceiveData(FC_CONFIG, CTRL_LAST, 1, Bytes(1000, 0xEE), 7);
    EXPECT_TRUE(engine.awaitingReply);
    EXPECT_TRUE(engine.transferBusy);
    EXPECT_EQ(std::memcmp(&doc.project->devices[1], &second, sizeof second), 0);
    EXPECT_EQ(doc.title, "Corvix");

    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 1, 7));
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 2, 7));
    ASSERT_EQ(sink.frames.size(), 3u);
    Bytes sent;
    for (const Bytes& f : sink.frames) {
        const FrameHeader h = DecodeHeader(f.data(), f.size());
        const auto data = FrameData(f.data(), h);
        sent.insert(sent.end(), data.begin(), data.end());
    }
    EXPECT_EQ(sent, image);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "配置写入成功");
}

// A piece of a read that a later request replaced is not taken up again.
TEST_F(EngineWrite, PieceOfAReplacedReadIsDropped) {
    engine.ReadConfiguration(-1);
    engine.PollStatus();
    ReceiveData(FC_CONFIG, CTRL_REPLY_MORE, 0, Bytes(900, 1), 1);
    EXPECT_EQ(sink.frames.size(), 2u);  // no request for the next piece
    EXPECT_TRUE(engine.awaitingReply);  // still waiting for the status
    EXPECT_FALSE(engine.transferBusy);
}

// A reply that ends the wait of a transfer without continuing it ends the transfer, so the
// status poll comes back instead of staying paused with nothing left to time out.
TEST_F(EngineWrite, ReplyThatEndsATransferWithoutContinuingItResumesPolling) {
    engine.ReadConfiguration(-1);
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 0, 1));
    EXPECT_FALSE(engine.awaitingReply);
    EXPECT_FALSE(engine.transferBusy);

    engine.ReadEventLog(-1);
    ReceiveData(FC_CLOCK, CTRL_LAST, 0, Bytes(11, 0));
    EXPECT_FALSE(engine.transferBusy);
    const std::size_t sent = sink.frames.size();
    engine.OnTimer(1);
    ASSERT_EQ(sink.frames.size(), sent + 1);
    EXPECT_EQ(LastHeader().function, FC_STATUS);

    // A transfer that goes on keeps its mark.
    engine.ReadEventLog(-1);
    ReceiveData(FC_EVENT_LOG, CTRL_REPLY_MORE, 0, Bytes(4, 0));
    EXPECT_TRUE(engine.transferBusy);
    EXPECT_TRUE(engine.awaitingReply);
}

TEST_F(EngineWrite, ASingleRequestStartedDuringATransferEndsIt) {
    engine.WriteConfiguration(-1);
    engine.ExecuteOutputTest();
    EXPECT_FALSE(engine.transferBusy);
    Receive(Reply(TYPE_ACK, FC_OUTPUT_TEST, CTRL_LAST, 0, 1));
    EXPECT_FALSE(engine.awaitingReply);
    engine.OnTimer(1);  // polling resumes
    EXPECT_EQ(LastHeader().function, FC_STATUS);
}

// ---- configuration read ----

class EngineRead : public EngineFixture {
  protected:
    void SetUp() override {
        doc.project->deviceCount = 3;
        doc.project->devices[0].address = 5;
        doc.project->devices[1].address = 6;
        doc.project->devices[2].address = 5;
        for (int i = 0; i < ConfigImageSize; ++i) image.push_back(static_cast<uint8_t>(i % 251));
        image[156] = 5;
        image[157] = 0;
    }
    // Delivers the image in pieces of 900, 900 and 684, checking each next request.
    void Deliver(uint8_t address) {
        engine.ReadConfiguration(-1);
        const std::size_t cuts[4] = {0, 900, 1800, image.size()};
        for (uint16_t seg = 0; seg < 3; ++seg) {
            EXPECT_EQ(LastHeader().segment, seg);
            EXPECT_EQ(LastHeader().function, FC_CONFIG);
            EXPECT_EQ(LastHeader().type, TYPE_READ);
            Bytes piece(image.begin() + cuts[seg], image.begin() + cuts[seg + 1]);
            ReceiveData(FC_CONFIG, seg < 2 ? CTRL_REPLY_MORE : CTRL_LAST, seg, piece, address);
        }
    }
    Bytes image;
};

TEST_F(EngineRead, ImageGoesToEveryDeviceWithTheAddress) {
    doc.currentPage = KindPortB1;
    Deliver(5);
    EXPECT_EQ(sink.frames.size(), 3u);
    EXPECT_EQ(std::memcmp(&doc.project->devices[0], image.data(), ConfigImageSize), 0);
    EXPECT_EQ(std::memcmp(&doc.project->devices[2], image.data(), ConfigImageSize), 0);
    EXPECT_EQ(doc.project->devices[1].name[0], 0);
    EXPECT_EQ(doc.title, "Corvix-装置中的配置");
    EXPECT_EQ(views.titleChanged, 1);
    EXPECT_EQ(views.showPage, 1);
    EXPECT_EQ(views.clearPage, 0);
    EXPECT_EQ(views.updateAll, 1);
    EXPECT_FALSE(engine.transferBusy);
    EXPECT_FALSE(engine.awaitingReply);
}

// Only the configuration image is replaced: the device may rename itself, but the event store
// after it and the modified mark stay as they were.
TEST_F(EngineRead, ImageLeavesEventsAndModifiedMarkAlone) {
    for (uint8_t modified : {uint8_t{0}, uint8_t{1}}) {
        doc.modified = modified;
        doc.project->devices[0].address = 5;
        doc.project->devices[0].eventCount = 3;
        std::memset(&doc.project->devices[0].events[0], 0x5A, sizeof(EventRecord));
        std::memset(&doc.project->devices[0].events[499], 0xA5, sizeof(EventRecord));
        const DeviceRecord before = doc.project->devices[0];
        image[0] = 'R';
        image[1] = '\0';
        Deliver(5);
        const DeviceRecord& after = doc.project->devices[0];
        EXPECT_STREQ(after.name, "R");
        EXPECT_EQ(after.eventCount, 3);
        EXPECT_EQ(std::memcmp(after.events, before.events, sizeof before.events), 0);
        EXPECT_EQ(doc.modified, modified);
    }
}

TEST_F(EngineRead, UnknownAddressStoresNothingButStillRefreshes) {
    doc.currentPage = 0;
    Deliver(9);
    EXPECT_EQ(doc.project->devices[0].name[0], 0);
    EXPECT_EQ(doc.project->devices[2].name[0], 0);
    EXPECT_EQ(views.clearPage, 1);
    EXPECT_EQ(views.showPage, 0);
    EXPECT_EQ(doc.title, "Corvix-装置中的配置");
}

TEST_F(EngineRead, OtherPagesAreLeftAlone) {
    doc.currentPage = KindEventLog;
    Deliver(5);
    EXPECT_EQ(views.showPage + views.clearPage, 0);
    EXPECT_EQ(views.updateAll, 1);
}

TEST_F(EngineRead, OnlyExactly0x80Continues) {
    engine.ReadConfiguration(-1);
    ReceiveData(FC_CONFIG, CTRL_MORE, 0, Bytes(image.begin(), image.end() - 1700), 5);
    EXPECT_EQ(sink.frames.size(), 1u);
    EXPECT_FALSE(engine.transferBusy);
    EXPECT_EQ(std::memcmp(&doc.project->devices[0], image.data(), 784), 0);
}

TEST_F(EngineRead, DuplicatePieceIsNotStagedTwice) {
    engine.ReadConfiguration(-1);
    ReceiveData(FC_CONFIG, CTRL_REPLY_MORE, 0, Bytes(image.begin(), image.begin() + 900), 5);
    ReceiveData(FC_CONFIG, CTRL_REPLY_MORE, 0, Bytes(image.begin(), image.begin() + 900), 5);
    EXPECT_EQ(sink.frames.size(), 2u);
    ReceiveData(FC_CONFIG, CTRL_REPLY_MORE, 1, Bytes(image.begin() + 900, image.begin() + 1800), 5);
    ReceiveData(FC_CONFIG, CTRL_LAST, 2, Bytes(image.begin() + 1800, image.end()), 5);
    EXPECT_EQ(std::memcmp(&doc.project->devices[0], image.data(), ConfigImageSize), 0);
}

// ---- clock and output test ----

using EngineClock = EngineFixture;

TEST_F(EngineClock, DeviceTimeFollowsTheDocumentDateOrder) {
    const Bytes clock = {0x0B, 0x00, 0xDC, 0x07, 5, 10, 8, 15, 30, 0x7B, 0x00};
    ReceiveData(FC_CLOCK, CTRL_SIMPLE, 0, clock);
    EXPECT_TRUE(host.deviceTimes.empty());  // no clock window
    host.clockOpen = true;
    ReceiveData(FC_CLOCK, CTRL_SIMPLE, 0, clock);
    engine.dateFormat = DateWorld;
    ReceiveData(FC_CLOCK, CTRL_SIMPLE, 0, clock);  // the document's copy is not updated yet
    engine.OnTimer(3);
    ReceiveData(FC_CLOCK, CTRL_SIMPLE, 0, clock);
    ASSERT_EQ(host.deviceTimes.size(), 3u);
    EXPECT_EQ(host.deviceTimes[0], "2012.05.10 08:15:30");
    EXPECT_EQ(host.deviceTimes[1], "2012.05.10 08:15:30");
    EXPECT_EQ(host.deviceTimes[2], "10.05.2012 08:15:30");
}

TEST_F(EngineClock, SetDeviceTimeSendsTimeToSetWithoutDayOfWeek) {
    engine.timeToSet = LocalTime{2024, 2, 4, 29, 23, 59, 58, 999};
    engine.SetDeviceTime();
    const Bytes expected = {0x58, 0x12, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x11, 0x22, 0x0B,
                            0x00, 0xE8, 0x07, 2,    29,   23,   59,   58,   0xE7, 0x03};
    const Bytes& f = sink.frames.back();
    ASSERT_EQ(f.size(), 26u);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 21), expected);
    EXPECT_TRUE(ValidateFrame(f.data(), f.size()));
    // A data reply to the set request is handled as a clock reading.
    host.clockOpen = true;
    ReceiveData(FC_CLOCK, CTRL_SIMPLE, 0, Bytes(f.begin() + 10, f.begin() + 21));
    ASSERT_EQ(host.deviceTimes.size(), 1u);
    EXPECT_EQ(host.deviceTimes[0], "2024.02.29 23:59:58");
}

TEST(EngineFormatClock, BothOrders) {
    EXPECT_EQ(ProtocolEngine::FormatClock(DateChina, 2026, 1, 2, 3, 4, 5), "2026.01.02 03:04:05");
    EXPECT_EQ(ProtocolEngine::FormatClock(DateWorld, 2026, 1, 2, 3, 4, 5), "02.01.2026 03:04:05");
}

using EngineOutputTest = EngineFixture;

TEST_F(EngineOutputTest, RequestCarriesTheStateAndReplyItemZeroReplacesIt) {
    doc.cpuFailureTest = 1;
    engine.ExecuteOutputTest();
    const Bytes& f = sink.frames.back();
    EXPECT_EQ(Bytes(f.begin() + 3, f.begin() + 18),
              (Bytes{0x01, 0, 0, 0, 0, 0x11, 0x44, 0x08, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x01}));

    ReceiveData(FC_OUTPUT_TEST, CTRL_SIMPLE, 0, {0x0A, 0, 0x01, 0, 0, 0x00, 0x01, 0x00, 0, 0});
    EXPECT_EQ(doc.cpuFailureTest, 1);  // item 256 changes nothing
    EXPECT_EQ(host.fillCpu, 1);
    ReceiveData(FC_OUTPUT_TEST, CTRL_SIMPLE, 0, {0x0A, 0, 0x01, 0, 0, 0x00, 0x00, 0x00, 0, 0});
    EXPECT_EQ(doc.cpuFailureTest, 0);
    EXPECT_EQ(host.fillCpu, 2);
    Receive(Reply(TYPE_ACK, FC_OUTPUT_TEST, CTRL_SIMPLE, 0, 1));
    EXPECT_EQ(host.fillCpu, 2);
}

// ---- robustness ----

TEST_F(EngineFixture, OversizedAndGarbageReceptionsAreLoggedAndSurvived) {
    Bytes big(3000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31 + 7);
    big[0] = FRAME_START;
    big[1] = 0xAA;
    big[2] = 0x03;  // claims 938 + more than fits
    Receive(big);
    engine.OnReceived(nullptr, 50);
    ASSERT_EQ(host.commLog.size(), 2u);
    EXPECT_EQ(host.commLog[0].size(), std::string("receive<--\r\n").size() + 3000 * 3 + 60 * 2 + 2);
    EXPECT_EQ(host.commLog[1], "receive<--\r\n\r\n");
}

}  // namespace
}  // namespace corvix::test
