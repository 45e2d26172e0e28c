// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the protocol engine: after a chosen operation starts, the input is a
// schedule of driver calls (timer ticks, worker notices, hang-ups and receptions of fuzzed
// bytes, raw or wrapped into valid frames), so every path of the engine is reachable, the
// give-up included. Every result goes through the front ends' formatting, and failure reports
// run a nested tick as a modal message's loop would.
//
// With libFuzzer (from fuzz/):
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -pthread -I../src fuzz_reply.cpp
//       ../src/link/*.cpp ../src/present/*.cpp ../src/model/*.cpp
// ctest runs it through smoke_main.cpp over a fixed input stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "link/engine.h"
#include "link/frame.h"
#include "link/frame_check.h"
#include "model/doc.h"
#include "present/link_messages.h"

namespace {

using namespace corvix;

class NullSink : public IFrameSink {
  public:
    void SubmitFrame(const uint8_t* bytes, std::size_t length) override {
        if (length > MaxFrameSize || !ValidateFrame(bytes, length)) __builtin_trap();
    }
    bool IsConnected() const override { return connected; }
    void CloseLink() override { connected = false; }
    bool connected = true;
};

// The unread rest of the input; reads past the end give zeros.
struct Input {
    const uint8_t* data;
    std::size_t size;
    uint8_t Byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    std::size_t Take(std::size_t want, const uint8_t*& out) {
        const std::size_t n = std::min(want, size);
        out = data;
        data += n;
        size -= n;
        return n;
    }
};

const uint8_t kTypes[] = {TYPE_ACK, TYPE_DATA, TYPE_DATA, TYPE_READ};
const uint8_t kFunctions[] = {FC_CONFIG,    FC_CLOCK,      FC_STATUS, FC_OUTPUT_TEST,
                              FC_EVENT_LOG, FC_NEW_EVENTS, 0x77};
const uint8_t kControls[] = {CTRL_LAST, CTRL_REPLY_MORE, CTRL_SIMPLE, CTRL_MORE};

void StartOperation(ProtocolEngine& engine, int which) {
    switch (which % 8) {
        case 0:
            engine.PollStatus();
            break;
        case 1:
            engine.ReadDeviceTime();
            break;
        case 2:
            engine.ReadConfiguration();
            break;
        case 3:
            engine.WriteConfiguration();
            break;
        case 4:
            engine.SetDeviceTime(LocalTime{2000 + which, which % 13, 0, which % 32, 23, 59, 59, 999});
            break;
        case 5:
            engine.ExecuteOutputTest();
            break;
        case 6:
            engine.ReadEventLog();
            break;
        default:
            engine.ReadNewEvents();
            break;
    }
}

// A reception wrapped into a valid frame. In answer mode its header answers the frame last
// sent (same function and segment, the kind a device answers with), so transfers go deep;
// otherwise the header fields come from the input. A damaged frame has one byte flipped, which
// reaches the validation rules that random bytes hardly pass the earlier ones for.
void ReceiveWrapped(ProtocolEngine& engine, Input& in, bool answer, bool damaged) {
    const uint8_t controlPick = in.Byte();
    const uint8_t control = controlPick & 0x80 ? controlPick : kControls[controlPick & 3];
    uint16_t segment = static_cast<uint16_t>(in.Byte() & 3);
    const uint8_t address = in.Byte();
    uint8_t type = kTypes[in.Byte() & 3];
    uint8_t function = kFunctions[in.Byte() % sizeof kFunctions];
    const std::span<const uint8_t> request = engine.OutgoingFrame();
    if (answer && request.size() >= FrameHeaderSize) {
        segment = GetU16(request.data() + 4);
        function = request[9];
        type = request[8] == TYPE_READ || (type == TYPE_DATA && function != FC_CONFIG) ? TYPE_DATA : TYPE_ACK;
    }
    const uint8_t* data = nullptr;
    const std::size_t length = in.Take(std::size_t{in.Byte()} * 4, data);
    uint8_t frame[MaxFrameSize];
    const std::size_t n = BuildFrame(frame, control, segment, address, type, function, data, length);
    if (CheckFrame(frame, n) != FrameVerdict::Good) __builtin_trap();
    if (damaged) frame[in.Byte() % n] ^= static_cast<uint8_t>(in.Byte() | 1);
    engine.OnReceived(frame, n);
}

// One driver call per step; returns false at the end of the input.
bool Step(ProtocolEngine& engine, NullSink& sink, Input& in) {
    if (in.size == 0) return false;
    const uint8_t op = in.Byte();
    switch (op % 10) {
        case 0:
            engine.OnTimer(1);
            break;
        case 1:  // a burst of time-out ticks, enough for a give-up in a few steps
            for (int i = 0; i <= (op >> 4); ++i) engine.OnTimer(3);
            break;
        case 2: {
            const std::span<const uint8_t> f = engine.OutgoingFrame();
            engine.OnSent(op & 0x80 ? nullptr : f.data(), f.size());
            break;
        }
        case 3:
            engine.OnSendFailed();
            break;
        case 4:
            engine.OnHangUp();
            sink.connected = (op & 0x80) != 0;  // the port may come back
            break;
        case 5: {  // raw bytes, at times more than a reception buffer holds
            const uint8_t* data = nullptr;
            const std::size_t want = std::size_t{in.Byte()} * (op & 0x80 ? 8 : 1);
            const std::size_t n = in.Take(want, data);
            engine.OnReceived(op & 0x40 ? data : nullptr, n);
            break;
        }
        case 6:
        case 7:
            ReceiveWrapped(engine, in, op % 10 == 7, (op & 0xC0) == 0xC0);
            break;
        case 8:
            engine.WatchClock((op & 0x80) != 0);
            engine.OnTimer(2);
            break;
        default:
            StartOperation(engine, op >> 4);
            break;
    }
    return true;
}

// What the front ends make of a result, so their formatting sees hostile data too.
std::size_t Present(const EngineResult& r, int dateOrder, int lang) {
    if (const auto* s = std::get_if<FrameSent>(&r)) {
        if (s->repeat < 0 || s->repeat > 3) __builtin_trap();
        return FormatCommEntry(true, s->repeat, s->bytes.data(), s->bytes.size()).size();
    }
    if (const auto* v = std::get_if<FrameReceived>(&r)) {
        if (v->bytes.size() > MaxReceptionSize) __builtin_trap();
        return FormatCommEntry(false, 0, v->bytes.data(), v->bytes.size()).size() +
               std::string(VerdictName(v->verdict)).size();
    }
    if (const auto* c = std::get_if<ClockRead>(&r)) return ClockText(dateOrder, c->time).size();
    if (const auto* f = std::get_if<OperationFailed>(&r)) {
        const auto m = FailureMessage(*f, lang);
        return m ? m->text.size() : 0;
    }
    if (const auto* n = std::get_if<NewEvents>(&r)) {
        if (n->events.size() > MaxEventsPerSegment) __builtin_trap();
        std::size_t size = 0;
        for (const WireEvent& e : n->events) size += EventText(e, dateOrder, lang).size();
        return size;
    }
    if (const auto* d = std::get_if<ConfigurationReceived>(&r)) return d->devicesUpdated.size();
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CBrondaleDoc doc;
    // The input as one reception: every valid frame is complete where the worker would end its
    // reception, and a complete frame neither passes the bytes received nor waits for more.
    const std::size_t complete = CompleteFrameSize(data, size);
    if (complete > size || (complete > 0 && FrameBytesMissing(data, complete) != 0)) __builtin_trap();
    if (ValidateFrame(data, size) && complete == 0) __builtin_trap();
    if (size < 2) return 0;
    NullSink sink;
    const uint8_t mode = data[0];
    const uint8_t flags = data[1];
    Input in{data + 2, size - 2};
    doc.Project().deviceCount = static_cast<int32_t>(flags & 0x1F) - 4;  // also out of range
    doc.TakeDevice(KindDeviceFirst + flags % MaxDevices);
    doc.Project().devices[0].address = 1;
    doc.SetLanguage(flags & 0x20 ? LangEnglish : LangChinese);
    doc.SetDateOrder(flags & 0x40 ? DateWorld : DateChina);
    doc.SetCpuFailureTest(mode);
    const bool nestedLoop = (flags & 0x80) != 0;

    std::size_t presented = 0;
    int giveUpsShowing = 0;
    ProtocolEngine* running = nullptr;
    ProtocolEngine engine(doc, sink, [&](const EngineResult& r) {
        presented += Present(r, doc.DateOrder(), doc.Language());
        const auto* failed = std::get_if<OperationFailed>(&r);
        if (failed == nullptr || !nestedLoop || running == nullptr) return;
        // While the failure shows, the modal loop lets the timers run; a give-up must not be
        // reported again from inside it.
        const bool giveUp = failed->reason == FailReason::NoAnswer;
        if (giveUp && giveUpsShowing > 0) __builtin_trap();
        giveUpsShowing += giveUp;
        running->OnTimer(3);
        running->OnTimer(1);
        giveUpsShowing -= giveUp;
    });
    running = &engine;

    StartOperation(engine, mode);
    while (Step(engine, sink, in)) {
        if (engine.RepeatCount() > 3 || engine.TickCount() > 3) __builtin_trap();
        if (engine.Idle() != (!engine.AwaitingReply() && !engine.TransferBusy())) __builtin_trap();
        if ((engine.Outstanding() == Operation::None) == engine.AwaitingReply()) __builtin_trap();
    }
    for (int i = 0; i < 20; ++i) engine.OnTimer(i % 3 + 1);
    if (engine.RepeatCount() > 3 || engine.TickCount() > 3) __builtin_trap();
    static volatile std::size_t presentedTotal;  // keeps the formatting from being optimised away
    presentedTotal = presentedTotal + presented;
    return 0;
}
