// SPDX-License-Identifier: Apache-2.0
// Fakes for driving the protocol engine tick by tick and reply by reply.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "link/engine.h"
#include "link/frame.h"
#include "model/doc.h"
#include "present/link_messages.h"

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

// Every result the engine reported, in order. The text helpers run the results through the
// front ends' own formatting, so the tests see what a user would.
class ResultLog {
  public:
    void Record(const EngineResult& r) {
        results.push_back(r);
        if (during) during(r);
    }

    template <class T>
    std::vector<T> All() const {
        std::vector<T> out;
        for (const EngineResult& r : results)
            if (const T* t = std::get_if<T>(&r)) out.push_back(*t);
        return out;
    }
    template <class T>
    std::size_t Count() const {
        return All<T>().size();
    }

    // The communication bar's entries.
    std::vector<std::string> CommLog() const {
        std::vector<std::string> out;
        for (const EngineResult& r : results) {
            if (const auto* s = std::get_if<FrameSent>(&r))
                out.push_back(FormatCommEntry(true, s->repeat, s->bytes.data(), s->bytes.size()));
            else if (const auto* v = std::get_if<FrameReceived>(&r))
                out.push_back(FormatCommEntry(false, 0, v->bytes.data(), v->bytes.size()));
        }
        return out;
    }
    // The message boxes a front end shows.
    std::vector<UserMessage> Messages(int lang) const {
        std::vector<UserMessage> out;
        for (const EngineResult& r : results) {
            if (const auto* f = std::get_if<OperationFailed>(&r)) {
                if (auto m = FailureMessage(*f, lang)) out.push_back(*m);
            } else if (std::holds_alternative<ConfigurationWritten>(r)) {
                out.push_back(WriteSuccessMessage(lang));
            }
        }
        return out;
    }
    // The event window's text.
    std::string EventWindowText(int dateOrder, int lang) const {
        std::string text;
        for (const NewEvents& n : All<NewEvents>())
            for (const WireEvent& e : n.events) text += EventText(e, dateOrder, lang);
        return text;
    }
    // Results other than the comm-bar traffic.
    std::size_t OutcomeCount() const { return results.size() - Count<FrameSent>() - Count<FrameReceived>(); }

    std::vector<EngineResult> results;
    std::function<void(const EngineResult&)> during;  // runs as each result is reported
};

// A document, the fakes and an engine wired together.
class EngineFixture : public ::testing::Test {
  protected:
    EngineFixture() : engine(doc, sink, [this](const EngineResult& r) { log.Record(r); }) {}

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
    ResultLog log;
    ProtocolEngine engine;
};

}  // namespace corvix::test
