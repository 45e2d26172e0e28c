// SPDX-License-Identifier: Apache-2.0
// Event-log and new-event replies: storage into the current device and event-window text.
#include <cstdio>
#include <cstring>

#include "test_engine_fakes.h"

namespace corvix::test {
namespace {

Bytes Event(const char* name, uint16_t number, uint8_t direction, uint8_t second = 30) {
    WireEvent e;
    std::snprintf(e.designation, sizeof e.designation, "%s", name);
    e.eventNumber = number;
    e.year = 2012;
    e.month = 5;
    e.day = 10;
    e.hour = 8;
    e.minute = 15;
    e.second = second;
    e.millisecond = 123;
    e.direction = direction;
    Bytes b(WireEventSize);
    EncodeWireEvent(e, b.data());
    return b;
}

// Segment 0 carries the 4-byte prefix.
Bytes Segment(uint16_t segment, const std::vector<Bytes>& events) {
    Bytes d;
    if (segment == 0) d = {0xDE, 0xAD, 0xBE, 0xEF};
    for (const Bytes& e : events) d.insert(d.end(), e.begin(), e.end());
    return d;
}

class EngineEventLog : public EngineFixture {
  protected:
    void SetUp() override {
        doc.Project().deviceCount = 1;
        doc.TakeDevice(KindDeviceFirst + 0);
    }
    DeviceRecord& Dev() { return doc.CurrentDevice(); }
};

TEST_F(EngineEventLog, SegmentsAccumulateAndContinueOnlyOn0x80) {
    Dev().eventCount = 42;
    engine.ReadEventLog();
    EXPECT_TRUE(engine.TransferBusy());
    EXPECT_EQ(LastHeader().function, FC_EVENT_LOG);
    EXPECT_EQ(LastHeader().segment, 0);

    ReceiveData(FC_EVENT_LOG, CTRL_REPLY_MORE, 0,
                Segment(0, {Event("A", 0, 1), Event("B", 1, 0), Event("C", 2, 1)}));
    EXPECT_EQ(Dev().eventCount, 3);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(LastHeader().function, FC_EVENT_LOG);
    EXPECT_EQ(LastHeader().segment, 1);
    EXPECT_EQ(log.Count<EventLogReceived>(), 0u);

    ReceiveData(FC_EVENT_LOG, CTRL_LAST, 1, Segment(1, {Event("D", 3, 1), Event("E", 4, 0)}));
    EXPECT_EQ(Dev().eventCount, 5);
    EXPECT_EQ(sink.frames.size(), 2u);
    const std::vector<EventLogReceived> done = log.All<EventLogReceived>();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].count, 5);
    EXPECT_FALSE(engine.TransferBusy());

    const EventRecord& b = Dev().events[1];
    EXPECT_STREQ(b.signalName, "B");
    EXPECT_EQ(b.year, 2012);
    EXPECT_EQ(b.millisecond, 123);
    EXPECT_EQ(b.transition, 1);
    EXPECT_EQ(Dev().events[0].transition, 0);
}

TEST_F(EngineEventLog, NumbersDecideTheSlotAndTheLimit) {
    ReceiveData(FC_EVENT_LOG, CTRL_LAST, 0,
                Segment(0, {Event("LAST", 499, 1), Event("OUT", 500, 1), Event("FAR", 65535, 1)}));
    EXPECT_EQ(Dev().eventCount, 1);
    EXPECT_STREQ(Dev().events[499].signalName, "LAST");

    // The same number twice overwrites one slot but counts twice.
    ReceiveData(FC_EVENT_LOG, CTRL_LAST, 0, Segment(0, {Event("X", 7, 1, 1), Event("Y", 7, 1, 2)}));
    EXPECT_EQ(Dev().eventCount, 2);
    EXPECT_STREQ(Dev().events[7].signalName, "Y");
    EXPECT_EQ(Dev().events[7].second, 2);
}

TEST_F(EngineEventLog, CountStopsAt500AndSegmentZeroResets) {
    Dev().eventCount = 499;
    ReceiveData(FC_EVENT_LOG, CTRL_LAST, 4, Segment(4, {Event("A", 1, 1), Event("B", 2, 1)}));
    EXPECT_EQ(Dev().eventCount, 500);
    // A count from a damaged file is brought back into range before it is counted on.
    Dev().eventCount = -9;
    ReceiveData(FC_EVENT_LOG, CTRL_LAST, 4, Segment(4, {Event("A", 1, 1)}));
    EXPECT_EQ(Dev().eventCount, 1);
    ReceiveData(FC_EVENT_LOG, CTRL_LAST, 0, Segment(0, {}));
    EXPECT_EQ(Dev().eventCount, 0);
}

TEST_F(EngineEventLog, SegmentOfTwentyOneIsRejectedWhole) {
    engine.ReadEventLog();
    std::vector<Bytes> many;
    for (uint16_t i = 0; i < 21; ++i) many.push_back(Event("N", i, 1));
    ReceiveData(FC_EVENT_LOG, CTRL_REPLY_MORE, 3, Segment(3, many));
    EXPECT_EQ(Dev().eventCount, 0);
    EXPECT_EQ(Dev().events[0].signalName[0], 0);
    EXPECT_FALSE(engine.TransferBusy());
    EXPECT_EQ(sink.frames.size(), 1u);  // no request for a further segment
    EXPECT_EQ(log.Count<EventLogReceived>(), 0u);
    const std::vector<OperationFailed> failed = log.All<OperationFailed>();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].operation, Operation::EventLog);
    EXPECT_EQ(failed[0].reason, FailReason::Refused);
    EXPECT_TRUE(log.Messages(doc.Language()).empty());  // the transfer only ends
}

TEST_F(EngineEventLog, ReadMarksUnsavedChanges) {
    doc.Project().projectOpen = 1;
    ASSERT_FALSE(doc.HasUnsavedChanges());
    engine.ReadEventLog();
    ReceiveData(FC_EVENT_LOG, CTRL_LAST, 0, Segment(0, {Event("A", 0, 1)}));
    EXPECT_TRUE(doc.HasUnsavedChanges());
}

// However many segments it takes, a read of the log is one step.
TEST_F(EngineEventLog, ReadInSegmentsIsOneStep) {
    doc.Project().projectOpen = 1;
    Dev().eventCount = 2;
    doc.MarkUnsavedChanges();  // the set-up is a step of its own
    const ProjectBlock before = doc.Project();
    engine.ReadEventLog();
    ReceiveData(FC_EVENT_LOG, CTRL_REPLY_MORE, 0, Segment(0, {Event("A", 0, 1), Event("B", 1, 0)}));
    ReceiveData(FC_EVENT_LOG, CTRL_LAST, 1, Segment(1, {Event("C", 2, 1)}));
    ASSERT_EQ(doc.History().StepCount(), 2u);
    EXPECT_EQ(doc.History().NextUndo()->kind, StepKind::ReadEventLog);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(std::memcmp(&doc.Project(), &before, sizeof before), 0);
}

using EngineNewEvents = EngineEventLog;

TEST_F(EngineNewEvents, WorldEnglishTextOfTheExample) {
    doc.SetLanguage(LangEnglish);
    doc.SetDateOrder(DateWorld);
    engine.ReadNewEvents();
    ReceiveData(FC_NEW_EVENTS, CTRL_LAST, 0, Segment(0, {Event("IN1", 0, 1)}));
    EXPECT_EQ(log.Count<NewEvents>(), 1u);
    EXPECT_EQ(log.EventWindowText(doc.DateOrder(), doc.Language()),
              "Event：10.05.2012 08:15:30.123\r\n           IN1    Off->On\r\n");
    EXPECT_FALSE(engine.TransferBusy());
}

TEST_F(EngineNewEvents, ChinaOrderChineseTextPerEvent) {
    ReceiveData(FC_NEW_EVENTS, CTRL_LAST, 0, Segment(0, {Event("IN1", 0, 1), Event("IN2", 0, 0)}));
    ASSERT_EQ(log.Count<NewEvents>(), 1u);
    EXPECT_EQ(log.All<NewEvents>()[0].events.size(), 2u);
    EXPECT_EQ(log.EventWindowText(doc.DateOrder(), doc.Language()),
              "事件：2012.05.10 08:15:30.123\r\n           IN1    分->合\r\n"
              "事件：2012.05.10 08:15:30.123\r\n           IN2    合->分\r\n");
}

TEST(EngineEventText, DesignationIsGbkAndAtMost32Bytes) {
    WireEvent e;
    std::memset(e.designation, 'x', sizeof e.designation);  // no terminator
    e.direction = 1;
    e.year = 999;
    const std::string text = EventText(e, DateChina, LangEnglish);
    EXPECT_EQ(text,
              "Event： 999.00.00 00:00:00.000\r\n           " + std::string(32, 'x') + "    Off->On\r\n");
    std::memset(e.designation, 0, sizeof e.designation);
    std::memcpy(e.designation, "\xCA\xE4\xC8\xEB", 4);  // "输入" in GBK
    EXPECT_NE(EventText(e, DateChina, LangChinese).find("           输入    分->合"), std::string::npos);
}

TEST_F(EngineNewEvents, SegmentZeroEmptiesTheStoredListWithoutStoring) {
    Dev().eventCount = 12;
    std::memset(&Dev().events[0], 0x5A, sizeof(EventRecord));
    ReceiveData(FC_NEW_EVENTS, CTRL_LAST, 0, Segment(0, {Event("IN1", 0, 1)}));
    EXPECT_EQ(Dev().eventCount, 0);
    EXPECT_EQ(Dev().events[0].year, 0x5A5A);
    EXPECT_EQ(log.Count<EventLogReceived>(), 0u);
}

TEST_F(EngineNewEvents, ContinuationAsksTheEventLogForTheNextSegment) {
    engine.ReadNewEvents();
    ReceiveData(FC_NEW_EVENTS, CTRL_REPLY_MORE, 0, Segment(0, {Event("IN1", 0, 1)}));
    ASSERT_EQ(sink.frames.size(), 2u);
    const FrameHeader h = LastHeader();
    EXPECT_EQ(h.function, FC_EVENT_LOG);
    EXPECT_EQ(h.type, TYPE_READ);
    EXPECT_EQ(h.segment, 1);
    EXPECT_TRUE(engine.TransferBusy());
    ReceiveData(FC_EVENT_LOG, CTRL_LAST, 1, Segment(1, {Event("IN2", 5, 1)}));
    EXPECT_EQ(Dev().eventCount, 1);
    EXPECT_EQ(log.Count<EventLogReceived>(), 1u);
    EXPECT_FALSE(engine.TransferBusy());
}

TEST_F(EngineNewEvents, RejectedSegmentStillShowsTheWindowButWritesNothing) {
    engine.ReadNewEvents();
    std::vector<Bytes> many(21, Event("N", 1, 1));
    ReceiveData(FC_NEW_EVENTS, CTRL_REPLY_MORE, 0, Segment(0, many));
    ASSERT_EQ(log.Count<NewEvents>(), 1u);
    EXPECT_TRUE(log.All<NewEvents>()[0].events.empty());
    EXPECT_FALSE(engine.TransferBusy());
    EXPECT_EQ(sink.frames.size(), 1u);
}

}  // namespace
}  // namespace corvix::test
