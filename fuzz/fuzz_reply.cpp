// Fuzz target for device replies: arbitrary receptions through ValidateFrame, the header
// decoder and the protocol engine's reply handling, with a fake line and a fake screen.
// Each input is used twice: as raw received bytes (mostly rejected by validation) and wrapped
// into a well-formed frame, so that every payload reader sees hostile data.
//
// With libFuzzer (from fuzz/):
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I../src fuzz_reply.cpp
//       ../src/link/{frame,engine,events}.cpp ../src/model/*.cpp
// ctest runs it through smoke_main.cpp over a fixed input stream.
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/engine.h"
#include "link/frame.h"
#include "model/doc.h"

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

class NullHost : public SilentEngineHost {
  public:
    void AppendCommLog(const std::string& entry) override { logged += entry.size(); }
    bool ClockWindowOpen() const override { return clockOpen; }
    void AppendEventText(const std::string& text) override { logged += text.size(); }
    bool clockOpen = false;
    std::size_t logged = 0;
};

const uint8_t kTypes[] = {TYPE_ACK, TYPE_DATA, TYPE_DATA, TYPE_READ};
const uint8_t kFunctions[] = {FC_CONFIG,    FC_CLOCK,      FC_STATUS, FC_OUTPUT_TEST,
                              FC_EVENT_LOG, FC_NEW_EVENTS, 0x77};

void StartOperation(ProtocolEngine& engine, int which) {
    switch (which % 8) {
        case 0:
            engine.PollStatus();
            break;
        case 1:
            engine.ReadDeviceTime();
            break;
        case 2:
            engine.ReadConfiguration(-1);
            break;
        case 3:
            engine.WriteConfiguration(-1);
            break;
        case 4:
            engine.SetDeviceTime();
            break;
        case 5:
            engine.ExecuteOutputTest();
            break;
        case 6:
            engine.ReadEventLog(-1);
            break;
        default:
            engine.ReadNewEvents();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CBrondaleDoc doc;
    if (size < 2) return 0;
    NullSink sink;
    NullHost host;
    ProtocolEngine engine(doc, sink, host);

    const uint8_t mode = data[0];
    const uint8_t flags = data[1];
    data += 2;
    size -= 2;
    doc.project->deviceCount = static_cast<int32_t>(flags & 0x1F) - 4;  // also out of range
    doc.currentDevice = &doc.project->devices[flags % MaxDevices];
    doc.project->devices[0].address = 1;
    doc.uiLanguage = flags & 0x20 ? LangEnglish : LangChinese;
    engine.dateFormat = flags & 0x40 ? DateWorld : DateChina;
    host.clockOpen = (flags & 0x80) != 0;
    static const int32_t pages[] = {0, KindDeviceAddress, KindInputStatus, KindEventLog};
    doc.currentPage = pages[mode >> 6];
    doc.cpuFailureTest = mode;

    StartOperation(engine, mode);

    // As received. Every valid frame is complete where the worker would end its reception,
    // and a complete frame neither passes the bytes received nor waits for more.
    const std::size_t complete = CompleteFrameSize(data, size);
    if (complete > size || (complete > 0 && FrameBytesMissing(data, complete) != 0)) __builtin_trap();
    if (ValidateFrame(data, size) && complete == 0) __builtin_trap();
    (void)DecodeHeader(data, size);
    engine.OnReceived(data, size);

    // Wrapped into a valid frame: control, segment and address from the input, then the data.
    if (size >= 4) {
        uint8_t frame[MaxFrameSize];
        const uint8_t type = kTypes[(mode >> 3) & 3];
        const uint8_t function = kFunctions[data[3] % sizeof kFunctions];
        const uint16_t segment = static_cast<uint16_t>(data[1] & 3);
        const std::size_t n =
            BuildFrame(frame, data[0], segment, data[2], type, function, data + 4, size - 4);
        if (!ValidateFrame(frame, n)) __builtin_trap();
        engine.OnReceived(frame, n);
    }

    for (int i = 0; i < 20; ++i) engine.OnTimer(i % 3 + 1);
    if (engine.repeatCount > 3 || engine.tickCount > 4) __builtin_trap();
    return 0;
}
