// SPDX-License-Identifier: Apache-2.0
// The protocol engine driven tick by tick and reply by reply.
#include <cstring>

#include "link/frame_check.h"
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
    engine.PollStatus();
    WorkerWroteLast();
    for (int tick = 1; tick <= 15; ++tick) {
        const std::size_t before = sink.frames.size();
        engine.OnTimer(3);
        if (sink.frames.size() != before) WorkerWroteLast();
    }
    ASSERT_EQ(sink.frames.size(), 4u);
    for (const Bytes& f : sink.frames) EXPECT_EQ(f, kStatusRequest);
    const std::vector<std::string> commLog = log.CommLog();
    ASSERT_EQ(commLog.size(), 4u);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(commLog[r].rfind("send-->repeat=" + std::to_string(r) + "\r\n58 07 00 40", 0), 0u) << r;
    EXPECT_EQ(log.OutcomeCount(), 0u);
    EXPECT_TRUE(engine.AwaitingReply());

    engine.OnTimer(3);  // the 16th tick
    const std::vector<UserMessage> messages = log.Messages(LangEnglish);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Can not connect to device");
    EXPECT_EQ(messages[0].caption, "Communication Error");
    EXPECT_EQ(log.All<OperationFailed>()[0].operation, Operation::Status);
    EXPECT_EQ(sink.closeCount, 1);
    EXPECT_FALSE(engine.AwaitingReply());
    EXPECT_EQ(engine.TickCount(), 0);
    EXPECT_EQ(engine.RepeatCount(), 0);

    Ticks(10);  // nothing outstanding any more
    EXPECT_EQ(log.Messages(LangEnglish).size(), 1u);
    EXPECT_EQ(sink.frames.size(), 4u);
}

TEST_F(EngineTimeout, TickWhileGiveUpMessageShowsClosesWithoutSecondMessage) {
    engine.ReadEventLog();
    int nestedTicks = 0;
    // A front end shows the failure in a modal loop that lets timer 3 run.
    log.during = [&](const EngineResult& r) {
        if (!std::holds_alternative<OperationFailed>(r)) return;
        ++nestedTicks;
        engine.OnTimer(3);
        EXPECT_FALSE(engine.AwaitingReply());
        EXPECT_FALSE(engine.TransferBusy());
        engine.OnTimer(3);
    };
    Ticks(16);
    EXPECT_EQ(nestedTicks, 1);
    const std::vector<UserMessage> messages = log.Messages(doc.Language());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "串口不通!");
    EXPECT_EQ(messages[0].caption, "通讯提示");
    EXPECT_FALSE(engine.AwaitingReply());
    EXPECT_FALSE(engine.TransferBusy());
    EXPECT_GE(sink.closeCount, 1);
    // A later request times out again and reports again.
    log.during = nullptr;
    engine.PollStatus();
    Ticks(16);
    EXPECT_EQ(log.Messages(doc.Language()).size(), 2u);
}

TEST_F(EngineTimeout, ReplyToTheLastResendCompletes) {
    engine.PollStatus();
    Ticks(12);
    ASSERT_EQ(sink.frames.size(), 4u);
    EXPECT_EQ(engine.RepeatCount(), 3);
    ReceiveData(FC_STATUS, CTRL_LAST, 0, StatusData(0, {1}));
    EXPECT_FALSE(engine.AwaitingReply());
    EXPECT_EQ(engine.RepeatCount(), 0);
    EXPECT_EQ(doc.LiveStatus()[0], 1);
    Ticks(20);
    EXPECT_TRUE(log.Messages(doc.Language()).empty());
    EXPECT_EQ(sink.closeCount, 0);
}

TEST_F(EngineTimeout, InvalidOrForeignReceptionsKeepTheRequestOutstanding) {
    engine.PollStatus();
    Bytes bad = Reply(TYPE_DATA, FC_STATUS, CTRL_LAST, 0, 1, StatusData(0, {1}));
    bad[bad.size() - 5] ^= 1;  // checksum off by one
    Receive(bad);
    Receive(Reply(0x33, FC_STATUS, CTRL_LAST, 0, 1));  // neither ACK nor DATA
    Receive(Bytes{0x58, 0x07, 0x00, 0x40, 0x00, 0x00});
    EXPECT_TRUE(engine.AwaitingReply());
    EXPECT_EQ(doc.LiveStatus()[0], 0);
    const std::vector<std::string> commLog = log.CommLog();
    EXPECT_EQ(commLog.size(), 3u);  // every reception is logged
    EXPECT_EQ(commLog[2], "receive<--\r\n58 07 00 40 00 00 \r\n");
    const std::vector<FrameReceived> received = log.All<FrameReceived>();
    EXPECT_EQ(received[0].verdict, FrameVerdict::BadChecksum);
    EXPECT_EQ(received[1].match, ReplyMatch::OtherKind);
    EXPECT_EQ(received[2].verdict, FrameVerdict::TooShort);
    Ticks(4);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[1], kStatusRequest);
}

TEST_F(EngineTimeout, SendFailureShowsMessageAndKeepsWaiting) {
    engine.PollStatus();
    engine.OnSendFailed();
    const std::vector<UserMessage> messages = log.Messages(LangEnglish);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Send Data Error");
    EXPECT_EQ(messages[0].caption, "Communication Error");
    EXPECT_TRUE(engine.AwaitingReply());
    Ticks(4);
    EXPECT_EQ(sink.frames.size(), 2u);
}

// ---- polling ----

using EnginePoll = EngineFixture;

TEST_F(EnginePoll, TimerOnePollsOnlyWhenConnectedIdleAndNotBusy) {
    sink.connected = false;
    engine.OnTimer(1);
    EXPECT_TRUE(sink.frames.empty());

    sink.connected = true;
    engine.OnTimer(1);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0], kStatusRequest);
    engine.OnTimer(1);  // still waiting
    EXPECT_EQ(sink.frames.size(), 1u);

    ReceiveData(FC_STATUS, CTRL_LAST, 0, StatusData(0, {}));
    engine.WatchClock(true);
    engine.OnTimer(1);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(LastHeader().function, FC_CLOCK);
    EXPECT_EQ(LastHeader().control, CTRL_SIMPLE);
    engine.OnTimer(2);
    EXPECT_EQ(sink.frames.size(), 2u);
}

TEST_F(EnginePoll, NoPollBetweenTheFramesOfAWrite) {
    engine.WriteConfiguration();
    ASSERT_EQ(sink.frames.size(), 1u);
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 0, 1));
    ASSERT_EQ(sink.frames.size(), 2u);
    ASSERT_TRUE(engine.AwaitingReply());
    engine.OnTimer(1);
    EXPECT_EQ(sink.frames.size(), 2u);

    // Even with the wait cleared the transfer keeps polls away: a report made between a reply
    // and the next request of a transfer may run a nested loop in which timer 1 ticks.
    log.during = [&](const EngineResult& r) {
        if (!std::holds_alternative<NewEvents>(r)) return;
        EXPECT_FALSE(engine.AwaitingReply());
        engine.OnTimer(1);
    };
    engine.ReadNewEvents();
    ReceiveData(FC_NEW_EVENTS, CTRL_REPLY_MORE, 0, Bytes(4, 0));
    ASSERT_EQ(sink.frames.size(), 4u);
    EXPECT_EQ(LastHeader().function, FC_EVENT_LOG);
}

TEST_F(EnginePoll, StatusReplyFillsLiveDataAndAsksForNewEventsAtOnce) {
    engine.PollStatus();
    ReceiveData(FC_STATUS, CTRL_LAST, 0, StatusData(StatusFlagNewEvents, {1, 0, 2}, {1, 2, 11}));
    EXPECT_EQ(doc.LiveStatus()[0], 1);
    EXPECT_EQ(doc.LiveStatus()[2], 2);
    EXPECT_EQ(doc.FirmwareVersion()[2], 11);
    std::vector<StatusUpdated> updates = log.All<StatusUpdated>();
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].inputCount, 3u);
    EXPECT_TRUE(updates[0].newEvents);
    ASSERT_EQ(sink.frames.size(), 2u);
    const FrameHeader h = LastHeader();
    EXPECT_EQ(h.function, FC_NEW_EVENTS);
    EXPECT_EQ(h.type, TYPE_READ);
    EXPECT_EQ(h.control, CTRL_LAST);
    EXPECT_TRUE(engine.TransferBusy());
    EXPECT_TRUE(engine.AwaitingReply());

    ReceiveData(FC_STATUS, CTRL_LAST, 0, StatusData(0, {0}));
    updates = log.All<StatusUpdated>();
    ASSERT_EQ(updates.size(), 2u);
    EXPECT_FALSE(updates[1].newEvents);
    EXPECT_EQ(sink.frames.size(), 2u);
}

TEST_F(EnginePoll, StatusKeepsAtMost253BytesAndIgnoresOverclaims) {
    Bytes states(300);
    for (std::size_t i = 0; i < states.size(); ++i) states[i] = static_cast<uint8_t>(i % 3);
    ReceiveData(FC_STATUS, CTRL_LAST, 0, StatusData(0, states, {7, 8, 9}));
    EXPECT_EQ(doc.LiveStatus()[252], 252 % 3);
    EXPECT_EQ(doc.FirmwareVersion()[0], 7);
    EXPECT_EQ(log.All<StatusUpdated>()[0].inputCount, 253u);

    // Claims 600 status bytes but carries 5 and no version: only the 5 change.
    const std::vector<uint8_t> marked(LiveStatusSize, 0x44);
    doc.SetLiveStatus(marked.data(), marked.size());
    Bytes d = StatusData(0, {1, 1, 1, 1, 1}, {});
    d[4] = 0x58;
    d[5] = 0x02;
    ReceiveData(FC_STATUS, CTRL_LAST, 0, d);
    EXPECT_EQ(doc.LiveStatus()[4], 1);
    EXPECT_EQ(doc.LiveStatus()[5], 0x44);
    EXPECT_EQ(doc.FirmwareVersion()[0], 7);
}

// ---- configuration write ----

using EngineWrite = EngineFixture;

TEST_F(EngineWrite, ThreeFramesAndSuccessOnlyAfterTheThirdAcknowledgement) {
    for (int i = 0; i < ConfigImageSize; ++i)
        reinterpret_cast<uint8_t*>(&doc.CurrentDevice())[i] = static_cast<uint8_t>(i * 7);
    engine.WriteConfiguration();
    EXPECT_TRUE(engine.TransferBusy());
    for (uint16_t seg = 0; seg < 2; ++seg) {
        Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, seg, 1));
        EXPECT_TRUE(log.Messages(LangEnglish).empty()) << seg;
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
    EXPECT_EQ(std::memcmp(image.data(), &doc.CurrentDevice(), ConfigImageSize), 0);

    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 2, 1));
    const std::vector<UserMessage> messages = log.Messages(LangEnglish);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Write Data Success");
    EXPECT_EQ(messages[0].caption, "Corvix");
    EXPECT_EQ(sink.frames.size(), 3u);
    EXPECT_FALSE(engine.TransferBusy());
    EXPECT_FALSE(engine.AwaitingReply());
}

TEST_F(EngineWrite, LateAcknowledgementOfAnEarlierPieceIsNotTakenForTheCurrentOne) {
    engine.WriteConfiguration();
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 0, 1));
    ASSERT_EQ(sink.frames.size(), 2u);
    // The device answers the resent segment 0 a second time.
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 0, 1));
    EXPECT_EQ(sink.frames.size(), 2u);
    EXPECT_TRUE(engine.AwaitingReply());
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
    EXPECT_FALSE(engine.AwaitingReply());
    EXPECT_EQ(log.OutcomeCount(), 0u);
    EXPECT_EQ(sink.frames.size(), 1u);
}

// A configuration piece nobody asked for must neither reach the image being written nor be
// stored into the project's devices.
TEST_F(EngineWrite, StrayConfigurationPieceDuringAWriteChangesNothing) {
    doc.Project().deviceCount = 2;
    doc.TakeDevice(KindDeviceFirst + 0);
    for (int i = 0; i < ConfigImageSize; ++i)
        reinterpret_cast<uint8_t*>(&doc.CurrentDevice())[i] = static_cast<uint8_t>(i % 253 + 1);
    doc.Project().devices[0].address = 7;
    doc.Project().devices[1].address = 7;
    const DeviceRecord second = doc.Project().devices[1];
    Bytes image(ConfigImageSize);
    std::memcpy(image.data(), &doc.CurrentDevice(), ConfigImageSize);

    engine.WriteConfiguration();
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 0, 7));
    ReceiveData(FC_CONFIG, CTRL_LAST, 1, Bytes(1000, 0xEE), 7);
    EXPECT_TRUE(engine.AwaitingReply());
    EXPECT_TRUE(engine.TransferBusy());
    EXPECT_EQ(std::memcmp(&doc.Project().devices[1], &second, sizeof second), 0);
    EXPECT_EQ(log.Count<ConfigurationReceived>(), 0u);

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
    const std::vector<UserMessage> messages = log.Messages(doc.Language());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "配置写入成功");
}

// A piece of a read that a later request replaced is not taken up again.
TEST_F(EngineWrite, PieceOfAReplacedReadIsDropped) {
    engine.ReadConfiguration();
    engine.PollStatus();
    ReceiveData(FC_CONFIG, CTRL_REPLY_MORE, 0, Bytes(900, 1), 1);
    EXPECT_EQ(sink.frames.size(), 2u);    // no request for the next piece
    EXPECT_TRUE(engine.AwaitingReply());  // still waiting for the status
    EXPECT_FALSE(engine.TransferBusy());
}

// A reply that ends the wait of a transfer without continuing it ends the transfer, so the
// status poll comes back instead of staying paused with nothing left to time out.
TEST_F(EngineWrite, ReplyThatEndsATransferWithoutContinuingItResumesPolling) {
    engine.ReadConfiguration();
    Receive(Reply(TYPE_ACK, FC_CONFIG, CTRL_LAST, 0, 1));
    EXPECT_FALSE(engine.AwaitingReply());
    EXPECT_FALSE(engine.TransferBusy());

    engine.ReadEventLog();
    ReceiveData(FC_CLOCK, CTRL_LAST, 0, Bytes(11, 0));
    EXPECT_FALSE(engine.TransferBusy());
    const std::size_t sent = sink.frames.size();
    engine.OnTimer(1);
    ASSERT_EQ(sink.frames.size(), sent + 1);
    EXPECT_EQ(LastHeader().function, FC_STATUS);

    // A transfer that goes on keeps its mark.
    engine.ReadEventLog();
    ReceiveData(FC_EVENT_LOG, CTRL_REPLY_MORE, 0, Bytes(4, 0));
    EXPECT_TRUE(engine.TransferBusy());
    EXPECT_TRUE(engine.AwaitingReply());
}

TEST_F(EngineWrite, ASingleRequestStartedDuringATransferEndsIt) {
    engine.WriteConfiguration();
    engine.ExecuteOutputTest();
    EXPECT_FALSE(engine.TransferBusy());
    Receive(Reply(TYPE_ACK, FC_OUTPUT_TEST, CTRL_LAST, 0, 1));
    EXPECT_FALSE(engine.AwaitingReply());
    engine.OnTimer(1);  // polling resumes
    EXPECT_EQ(LastHeader().function, FC_STATUS);
}

// ---- configuration read ----

class EngineRead : public EngineFixture {
  protected:
    void SetUp() override {
        doc.Project().deviceCount = 3;
        doc.Project().devices[0].address = 5;
        doc.Project().devices[1].address = 6;
        doc.Project().devices[2].address = 5;
        for (int i = 0; i < ConfigImageSize; ++i) image.push_back(static_cast<uint8_t>(i % 251));
        image[156] = 5;
        image[157] = 0;
    }
    // Delivers the image in pieces of 900, 900 and 684, checking each next request.
    void Deliver(uint8_t address) {
        engine.ReadConfiguration();
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
    Deliver(5);
    EXPECT_EQ(sink.frames.size(), 3u);
    EXPECT_EQ(std::memcmp(&doc.Project().devices[0], image.data(), ConfigImageSize), 0);
    EXPECT_EQ(std::memcmp(&doc.Project().devices[2], image.data(), ConfigImageSize), 0);
    EXPECT_EQ(doc.Project().devices[1].name[0], 0);
    const std::vector<ConfigurationReceived> done = log.All<ConfigurationReceived>();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].address, 5);
    EXPECT_EQ(done[0].devicesUpdated, (std::vector<int>{0, 2}));
    EXPECT_FALSE(engine.TransferBusy());
    EXPECT_FALSE(engine.AwaitingReply());
}

// Only the configuration image is replaced: the device may rename itself, but the event store
// after it and the modified mark stay as they were.
TEST_F(EngineRead, ImageLeavesEventsAndModifiedMarkAlone) {
    for (uint8_t modified : {uint8_t{0}, uint8_t{1}}) {
        doc.SetModified(modified);
        doc.Project().devices[0].address = 5;
        doc.Project().devices[0].eventCount = 3;
        std::memset(&doc.Project().devices[0].events[0], 0x5A, sizeof(EventRecord));
        std::memset(&doc.Project().devices[0].events[499], 0xA5, sizeof(EventRecord));
        const DeviceRecord before = doc.Project().devices[0];
        image[0] = 'R';
        image[1] = '\0';
        Deliver(5);
        const DeviceRecord& after = doc.Project().devices[0];
        EXPECT_STREQ(after.name, "R");
        EXPECT_EQ(after.eventCount, 3);
        EXPECT_EQ(std::memcmp(after.events, before.events, sizeof before.events), 0);
        EXPECT_EQ(doc.Modified(), modified);
    }
}

TEST_F(EngineRead, UnknownAddressStoresNothingButStillReports) {
    Deliver(9);
    EXPECT_EQ(doc.Project().devices[0].name[0], 0);
    EXPECT_EQ(doc.Project().devices[2].name[0], 0);
    const std::vector<ConfigurationReceived> done = log.All<ConfigurationReceived>();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].address, 9);
    EXPECT_TRUE(done[0].devicesUpdated.empty());
}

// Which page to refresh is the front end's choice; the engine reports once, whatever shows.
TEST_F(EngineRead, OtherPagesAreLeftAlone) {
    doc.SelectNode(KindEventLog, -1);
    Deliver(5);
    EXPECT_EQ(doc.CurrentPage(), KindEventLog);
    EXPECT_EQ(log.Count<ConfigurationReceived>(), 1u);
}

TEST_F(EngineRead, OnlyExactly0x80Continues) {
    engine.ReadConfiguration();
    ReceiveData(FC_CONFIG, CTRL_MORE, 0, Bytes(image.begin(), image.end() - 1700), 5);
    EXPECT_EQ(sink.frames.size(), 1u);
    EXPECT_FALSE(engine.TransferBusy());
    EXPECT_EQ(std::memcmp(&doc.Project().devices[0], image.data(), 784), 0);
}

TEST_F(EngineRead, DuplicatePieceIsNotStagedTwice) {
    engine.ReadConfiguration();
    ReceiveData(FC_CONFIG, CTRL_REPLY_MORE, 0, Bytes(image.begin(), image.begin() + 900), 5);
    ReceiveData(FC_CONFIG, CTRL_REPLY_MORE, 0, Bytes(image.begin(), image.begin() + 900), 5);
    EXPECT_EQ(sink.frames.size(), 2u);
    ReceiveData(FC_CONFIG, CTRL_REPLY_MORE, 1, Bytes(image.begin() + 900, image.begin() + 1800), 5);
    ReceiveData(FC_CONFIG, CTRL_LAST, 2, Bytes(image.begin() + 1800, image.end()), 5);
    EXPECT_EQ(std::memcmp(&doc.Project().devices[0], image.data(), ConfigImageSize), 0);
}

// A last piece of a segment not asked for would complete the read with a shifted image.
TEST_F(EngineRead, PieceOfAnotherSegmentIsRefusedAndTheReadKeepsWaiting) {
    engine.ReadConfiguration();
    ReceiveData(FC_CONFIG, CTRL_LAST, 1, Bytes(image.begin(), image.begin() + 900), 5);
    ASSERT_EQ(log.Count<FrameReceived>(), 1u);
    EXPECT_EQ(log.All<FrameReceived>()[0].match, ReplyMatch::OtherSegment);
    EXPECT_TRUE(engine.AwaitingReply());
    EXPECT_TRUE(engine.TransferBusy());
    EXPECT_EQ(log.Count<ConfigurationReceived>(), 0u);
    EXPECT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(doc.Project().devices[0].name[0], 0);
}

TEST_F(EngineRead, UnsavedChangesOnlyWhenADeviceTakesTheImage) {
    doc.Project().projectOpen = 1;
    Deliver(9);
    EXPECT_FALSE(doc.HasUnsavedChanges());
    Deliver(5);
    EXPECT_TRUE(doc.HasUnsavedChanges());
}

// A read into several devices is one step per device, each undone on its own.
TEST_F(EngineRead, ReadIntoTwoDevicesIsUndoneDeviceByDevice) {
    doc.Project().projectOpen = 1;
    doc.Project().deviceCount = 3;
    doc.MarkUnsavedChanges();  // the set-up is a step of its own
    const ProjectBlock before = doc.Project();
    Deliver(5);
    ASSERT_EQ(doc.History().StepCount(), 3u);
    EXPECT_EQ(doc.History().NextUndo()->kind, StepKind::ReadConfiguration);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.History().NextUndo()->device, 0);
    EXPECT_EQ(std::memcmp(&doc.Project().devices[0], image.data(), ConfigImageSize), 0);
    EXPECT_EQ(std::memcmp(&doc.Project().devices[2], &before.devices[2], sizeof(DeviceRecord)), 0);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(std::memcmp(&doc.Project(), &before, sizeof before), 0);
}

// ---- clock and output test ----

using EngineClock = EngineFixture;

TEST_F(EngineClock, DeviceTimeFollowsTheDocumentDateOrder) {
    const Bytes clock = {0x0B, 0x00, 0xDC, 0x07, 5, 10, 8, 15, 30, 0x7B, 0x00};
    ReceiveData(FC_CLOCK, CTRL_SIMPLE, 0, clock);
    doc.SetDateOrder(DateWorld);
    ReceiveData(FC_CLOCK, CTRL_SIMPLE, 0, clock);
    const std::vector<ClockRead> reads = log.All<ClockRead>();
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(ClockText(DateChina, reads[0].time), "2012.05.10 08:15:30");
    EXPECT_EQ(ClockText(doc.DateOrder(), reads[1].time), "10.05.2012 08:15:30");
    EXPECT_EQ(reads[1].time.millisecond, 123);
}

TEST_F(EngineClock, SetDeviceTimeSendsTimeToSetWithoutDayOfWeek) {
    engine.SetDeviceTime(LocalTime{2024, 2, 4, 29, 23, 59, 58, 999});
    EXPECT_EQ(engine.TimeToSet().day, 29);
    const Bytes expected = {0x58, 0x12, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x11, 0x22, 0x0B,
                            0x00, 0xE8, 0x07, 2,    29,   23,   59,   58,   0xE7, 0x03};
    const Bytes f = sink.frames.back();
    ASSERT_EQ(f.size(), 26u);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 21), expected);
    EXPECT_TRUE(ValidateFrame(f.data(), f.size()));
    // A data reply to the set request is handled as a clock reading.
    ReceiveData(FC_CLOCK, CTRL_SIMPLE, 0, Bytes(f.begin() + 10, f.begin() + 21));
    const std::vector<ClockRead> reads = log.All<ClockRead>();
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(ClockText(doc.DateOrder(), reads[0].time), "2024.02.29 23:59:58");
    Receive(Reply(TYPE_ACK, FC_CLOCK, CTRL_SIMPLE, 0, 1));
    EXPECT_EQ(log.Count<ClockSet>(), 0u);  // already answered: a late acknowledgement is no answer
    engine.SetDeviceTime(LocalTime{2024, 2, 4, 29, 23, 59, 58, 999});
    Receive(Reply(TYPE_ACK, FC_CLOCK, CTRL_SIMPLE, 0, 1));
    EXPECT_EQ(log.Count<ClockSet>(), 1u);
}

TEST(EngineFormatClock, BothOrders) {
    const ClockFields c{2026, 1, 2, 3, 4, 5, 0};
    EXPECT_EQ(ClockText(DateChina, c), "2026.01.02 03:04:05");
    EXPECT_EQ(ClockText(DateWorld, c), "02.01.2026 03:04:05");
}

using EngineOutputTest = EngineFixture;

TEST_F(EngineOutputTest, RequestCarriesTheStateAndReplyItemZeroReplacesIt) {
    doc.SetCpuFailureTest(1);
    engine.ExecuteOutputTest();
    const Bytes& f = sink.frames.back();
    EXPECT_EQ(Bytes(f.begin() + 3, f.begin() + 18),
              (Bytes{0x01, 0, 0, 0, 0, 0x11, 0x44, 0x08, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x01}));

    ReceiveData(FC_OUTPUT_TEST, CTRL_SIMPLE, 0, {0x0A, 0, 0x01, 0, 0, 0x00, 0x01, 0x00, 0, 0});
    EXPECT_EQ(doc.CpuFailureTest(), 1);  // item 256 changes nothing
    std::vector<OutputTestDone> done = log.All<OutputTestDone>();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].state, 1);
    ReceiveData(FC_OUTPUT_TEST, CTRL_SIMPLE, 0, {0x0A, 0, 0x01, 0, 0, 0x00, 0x00, 0x00, 0, 0});
    EXPECT_EQ(doc.CpuFailureTest(), 0);
    done = log.All<OutputTestDone>();
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[1].state, 0);
    // A bare acknowledgement carries no state to show.
    engine.ExecuteOutputTest();
    Receive(Reply(TYPE_ACK, FC_OUTPUT_TEST, CTRL_SIMPLE, 0, 1));
    done = log.All<OutputTestDone>();
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[2].state, -1);
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
    // What is logged is what the engine examined: at most one reception buffer.
    const std::vector<FrameReceived> received = log.All<FrameReceived>();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].bytes, Bytes(big.begin(), big.begin() + MaxReceptionSize));
    const std::vector<std::string> commLog = log.CommLog();
    EXPECT_EQ(commLog[0].size(), std::string("receive<--\r\n").size() + 1024 * 3 + 20 * 2 + 2);
    EXPECT_EQ(commLog[1], "receive<--\r\n\r\n");
}

// ---- which reply answers which request ----

Bytes Request(uint8_t control, uint16_t segment, uint8_t type, uint8_t function, const Bytes& data = {}) {
    uint8_t buf[MaxFrameSize];
    return Bytes(buf, buf + BuildFrame(buf, control, segment, 0, type, function, data.data(), data.size()));
}

FrameHeader ReplyHeader(uint8_t type, uint8_t function, uint16_t segment) {
    FrameHeader h;
    h.type = type;
    h.function = function;
    h.segment = segment;
    return h;
}

TEST(ReplyCheck, RefusesRepliesToAnotherRequestWithTheReason) {
    const Bytes status = Request(CTRL_LAST, 0, TYPE_READ, FC_STATUS);
    const Bytes readPiece2 = Request(CTRL_LAST, 2, TYPE_READ, FC_CONFIG);
    const Bytes writePiece1 = Request(CTRL_MORE, 1, TYPE_WRITE, FC_CONFIG, Bytes(928, 7));
    const Bytes outputTest = Request(CTRL_SIMPLE, 0, TYPE_WRITE, FC_OUTPUT_TEST, Bytes(8, 0));
    const struct {
        const char* name;
        Bytes request;
        FrameHeader reply;
        ReplyMatch expected;
    } cases[] = {
        {"status data", status, ReplyHeader(TYPE_DATA, FC_STATUS, 0), ReplyMatch::Answers},
        {"segment counts only for configuration", status, ReplyHeader(TYPE_DATA, FC_STATUS, 3),
         ReplyMatch::Answers},
        {"clock for status", status, ReplyHeader(TYPE_DATA, FC_CLOCK, 0), ReplyMatch::OtherFunction},
        {"ack for a read", status, ReplyHeader(TYPE_ACK, FC_STATUS, 0), ReplyMatch::OtherKind},
        {"piece asked for", readPiece2, ReplyHeader(TYPE_DATA, FC_CONFIG, 2), ReplyMatch::Answers},
        {"piece of another segment", readPiece2, ReplyHeader(TYPE_DATA, FC_CONFIG, 1),
         ReplyMatch::OtherSegment},
        {"write acknowledged", writePiece1, ReplyHeader(TYPE_ACK, FC_CONFIG, 1), ReplyMatch::Answers},
        {"ack of another piece", writePiece1, ReplyHeader(TYPE_ACK, FC_CONFIG, 0), ReplyMatch::OtherSegment},
        {"data for a configuration write", writePiece1, ReplyHeader(TYPE_DATA, FC_CONFIG, 1),
         ReplyMatch::OtherKind},
        {"output test state", outputTest, ReplyHeader(TYPE_DATA, FC_OUTPUT_TEST, 0), ReplyMatch::Answers},
        {"nothing sent", {}, ReplyHeader(TYPE_DATA, FC_STATUS, 0), ReplyMatch::NoRequest},
        {"request cut short", Bytes(status.begin(), status.begin() + 9), ReplyHeader(TYPE_DATA, FC_STATUS, 0),
         ReplyMatch::NoRequest},
    };
    for (const auto& c : cases) EXPECT_EQ(CheckReply(c.request, c.reply), c.expected) << c.name;
}

// ---- validation verdicts ----

TEST(FrameCheck, TheFirstFailingRuleNamesTheVerdict) {
    const struct {
        const char* name;
        Bytes bytes;
        FrameVerdict expected;
    } cases[] = {
        {"good",
         {0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x30, 0x80, 0x00, 0x00, 0x00, 0x16},
         FrameVerdict::Good},
        {"trailing bytes",
         {0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x30, 0x80, 0x00, 0x00, 0x00, 0x16, 0xEE},
         FrameVerdict::Good},
        {"empty", {}, FrameVerdict::TooShort},
        {"six bytes", {0x58, 0x07, 0x00, 0x40, 0x00, 0x00}, FrameVerdict::TooShort},
        {"six bytes, bad start", {0x59, 0x07, 0x00, 0x40, 0x00, 0x00}, FrameVerdict::TooShort},
        {"bad start",
         {0x59, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x30, 0x80, 0x00, 0x00, 0x00, 0x16},
         FrameVerdict::BadStart},
        {"end missing",
         {0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x30, 0x80, 0x00, 0x00, 0x00},
         FrameVerdict::Incomplete},
        {"length claims more",
         {0x58, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x30, 0x80, 0x00, 0x00, 0x00, 0x16},
         FrameVerdict::Incomplete},
        {"bad checksum",
         {0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x30, 0x81, 0x00, 0x00, 0x00, 0x16},
         FrameVerdict::BadChecksum},
        {"bad checksum and end",
         {0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x30, 0x81, 0x00, 0x00, 0x00, 0x17},
         FrameVerdict::BadChecksum},
        {"bad end",
         {0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x30, 0x80, 0x00, 0x00, 0x00, 0x17},
         FrameVerdict::BadEnd},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckFrame(c.bytes.data(), c.bytes.size()), c.expected) << c.name;
        EXPECT_EQ(ValidateFrame(c.bytes.data(), c.bytes.size()), c.expected == FrameVerdict::Good) << c.name;
    }
    EXPECT_EQ(CheckFrame(nullptr, 15), FrameVerdict::TooShort);
}

}  // namespace
}  // namespace corvix::test
