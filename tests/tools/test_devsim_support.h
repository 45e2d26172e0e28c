// SPDX-License-Identifier: Apache-2.0
// Shared by the simulated-device tests: hand-built requests and a PC end on a server's pty.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "devsim/devsim.h"
#include "link/frame.h"

namespace devsim_test {

using Bytes = std::vector<uint8_t>;

// Long enough for a loaded machine; never reached when things work.
inline constexpr int WaitMs = 5000;

inline Bytes Request(uint8_t control, uint16_t segment, uint8_t type, uint8_t function,
                     const Bytes& data = {}) {
    Bytes frame(corvix::MaxFrameSize);
    frame.resize(
        corvix::BuildFrame(frame.data(), control, segment, 0, type, function, data.data(), data.size()));
    return frame;
}

inline Bytes Reply(uint8_t control, uint16_t segment, uint8_t address, uint8_t type, uint8_t function,
                   const Bytes& data = {}) {
    Bytes frame(corvix::MaxFrameSize);
    frame.resize(corvix::BuildFrame(frame.data(), control, segment, address, type, function, data.data(),
                                    data.size()));
    return frame;
}

inline Bytes DataOf(const Bytes& frame) {
    const corvix::FrameHeader h = corvix::DecodeHeader(frame.data(), frame.size());
    auto d = corvix::FrameData(frame.data(), h);
    return Bytes(d.begin(), d.end());
}

// Polls until the server has dealt with `count` requests (or the generous wait runs out).
inline bool WaitForRequests(const corvix::sim::SimServer& server, uint64_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WaitMs);
    while (server.Stats().requests < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A running simulated device with the PC's end of its line open.
class DeviceLine : public ::testing::Test {
  protected:
    void Begin(corvix::sim::SimOptions options) {
        options.changeEveryMs = 0;  // inputs change only when a test says so
        server_ = std::make_unique<corvix::sim::SimServer>(options);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        ASSERT_TRUE(pc_.Open(server_->DevicePath(), &error)) << error;
    }
    void TearDown() override {
        pc_.Close();
        if (server_) server_->Stop();
    }

  public:
    // Every helper below counts the whole requests it sends and waits until the server has
    // dealt with all of them, so that nothing of one step leaks into the next.
    bool Send(const Bytes& request) {
        ++sent_;
        return pc_.Write(request);
    }
    Bytes Exchange(const Bytes& request) {
        EXPECT_TRUE(Send(request));
        Bytes reply = pc_.ReadFrame(WaitMs);
        EXPECT_TRUE(WaitForRequests(*server_, sent_));
        return reply;
    }
    // Sends a request and checks that it was dealt with and nothing came back.
    void ExpectNoAnswer(const Bytes& request) {
        ASSERT_TRUE(Send(request));
        ASSERT_TRUE(WaitForRequests(*server_, sent_));
        EXPECT_EQ(pc_.Available(), 0u);
    }
    corvix::sim::SimDevice& Device() { return server_->Device(); }

    std::unique_ptr<corvix::sim::SimServer> server_;
    corvix::sim::PortEnd pc_;
    uint64_t sent_ = 0;
};

}  // namespace devsim_test
