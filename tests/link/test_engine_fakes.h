// Fakes for driving the protocol engine tick by tick and reply by reply.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "link/engine.h"
#include "link/frame.h"
#include "model/doc.h"

namespace corvix::test {

using Bytes = std::vector<uint8_t>;

class FakeSink : public IFrameSink {
  public:
    void SubmitFrame(const uint8_t* bytes, std::size_t length) override {
        frames.emplace_back(bytes, bytes + length);
    }
    bool IsConnected() const override { return connected; }
    void CloseLink() override {
        ++closeCount;
        connected = false;
    }
    std::vector<Bytes> frames;
    bool connected = true;
    int closeCount = 0;
};

struct Message {
    std::string text, caption;
};

class FakeHost : public IEngineHost {
  public:
    void AppendCommLog(const std::string& entry) override { commLog.push_back(entry); }
    void ShowMessage(const std::string& text, const std::string& caption) override {
        messages.push_back({text, caption});
        if (duringMessage) duringMessage();
    }
    void RefreshInputStates() override { ++refreshInputs; }
    void FillEventLogPage() override { ++fillEventLog; }
    void FillCpuSupervisionPage() override { ++fillCpu; }
    bool ClockWindowOpen() const override { return clockOpen; }
    void ShowDeviceTime(const std::string& text) override { deviceTimes.push_back(text); }
    void ShowEventWindowForNewEvents() override { ++showEventWindow; }
    void AppendEventText(const std::string& text) override {
        eventText += text;
        ++eventTexts;
    }

    std::vector<std::string> commLog;
    std::vector<Message> messages;
    std::function<void()> duringMessage;  // runs while the "modal" message shows
    int refreshInputs = 0, fillEventLog = 0, fillCpu = 0, showEventWindow = 0, eventTexts = 0;
    bool clockOpen = false;
    std::vector<std::string> deviceTimes;
    std::string eventText;
};

class FakeViews : public IDocViews {
  public:
    void RebuildTree() override {}
    void ShowPage() override { ++showPage; }
    void ClearPage() override { ++clearPage; }
    void UpdateAllViews() override { ++updateAll; }
    void TitleChanged() override { ++titleChanged; }
    int showPage = 0, clearPage = 0, updateAll = 0, titleChanged = 0;
};

// A document, the fakes and an engine wired together.
class EngineFixture : public ::testing::Test {
  protected:
    EngineFixture() : engine(doc, sink, host) { doc.SetViews(&views); }

    // A device reply, built with the codec.
    static Bytes Reply(uint8_t type, uint8_t function, uint8_t control, uint16_t segment, uint8_t address,
                       const Bytes& data = {}) {
        uint8_t buf[MaxFrameSize];
        const std::size_t n =
            BuildFrame(buf, control, segment, address, type, function, data.data(), data.size());
        return Bytes(buf, buf + n);
    }
    void Receive(const Bytes& b) { engine.OnReceived(b.data(), b.size()); }
    void ReceiveData(uint8_t function, uint8_t control, uint16_t segment, const Bytes& data = {},
                     uint8_t address = 1) {
        Receive(Reply(TYPE_DATA, function, control, segment, address, data));
    }
    // The worker wrote the last submitted frame.
    void WorkerWroteLast() { engine.OnSent(sink.frames.back().data(), sink.frames.back().size()); }

    FrameHeader LastHeader() const {
        return DecodeHeader(sink.frames.back().data(), sink.frames.back().size());
    }

    void Ticks(int n) {
        for (int i = 0; i < n; ++i) engine.OnTimer(3);
    }

    CBrondaleDoc doc;
    FakeSink sink;
    FakeHost host;
    FakeViews views;
    ProtocolEngine engine;
};

}  // namespace corvix::test
