// SPDX-License-Identifier: Apache-2.0
// Serves a SimDevice on a new pseudo-terminal: reads requests, answers them, changes inputs
// now and then, and misbehaves on demand. Runs its own thread (Start) or is driven by the
// caller (Open + Pump). Every member may be called from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devsim/frame_assembler.h"
#include "devsim/options.h"
#include "devsim/pty.h"
#include "devsim/sim_device.h"

namespace corvix::sim {

struct ServerStats {
    uint64_t requests = 0;   // whole valid frames dealt with (dropped and unanswered ones included)
    uint64_t dropped = 0;    // ignored by the drop-every switch
    uint64_t replies = 0;    // replies written
    uint64_t corrupted = 0;  // replies written with a bad checksum
    uint64_t noiseBytes = 0;
};

class SimServer {
  public:
    using Clock = std::chrono::steady_clock;

    explicit SimServer(const SimOptions& options = SimOptions{});
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Opens the pty (and the --link symlink) without a thread; answer requests with Pump.
    bool Open(std::string* error = nullptr);
    // Opens if needed and answers on a thread of its own.
    bool Start(std::string* error = nullptr);
    // Ends the thread (within about 100 ms, also in the middle of a split reply), closes the pty
    // and removes the link. Safe to call more than once.
    void Stop();
    bool IsOpen() const;
    bool IsRunning() const { return running_; }
    std::string DevicePath() const;

    // Caller-driven mode: waits up to timeoutMs for request bytes and answers every whole
    // request that has arrived. Returns the number of requests handled, -1 when the pty is not
    // open or the thread runs. Inputs change by themselves only on the thread; here the caller
    // changes them through Device().
    int Pump(int timeoutMs);

    SimDevice& Device() { return device_; }
    const SimDevice& Device() const { return device_; }

    void SetFaults(const FaultSwitches& faults);
    FaultSwitches Faults() const;
    void SetPacing(const LinePacing& pacing);
    LinePacing Pacing() const;
    void SetChangeEveryMs(int ms);
    ServerStats Stats() const;

  private:
    int RunOnce(int timeoutMs);
    void HandleFrame(const std::vector<uint8_t>& frame);
    void WriteReply(std::vector<uint8_t> reply, const FaultSwitches& faults, bool corrupt);
    bool WriteAll(const uint8_t* bytes, std::size_t count);
    bool WriteAtLineRate(const uint8_t* bytes, std::size_t count, double byteSeconds);
    bool WaitSplitGap();
    // Waits until `until`, or less when the server stops (then false).
    bool SleepUntil(Clock::time_point until);
    // Seconds one byte takes on the line as the PC programmed it; 0 when not pacing.
    double ByteSeconds(const LinePacing& pacing) const;
    void Wake();
    void DrainWake();
    void ThreadMain();

    SimDevice device_;
    Pty pty_;
    PathLink link_;
    const std::string linkPath_;
    FrameAssembler assembler_;
    std::thread thread_;
    int wakeRead_ = -1, wakeWrite_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> running_{false};
    std::atomic<int> changeEveryMs_;

    mutable std::mutex mutex_;  // faults_, pacing_, stats_, the pty's open state
    FaultSwitches faults_;
    LinePacing pacing_;
    ServerStats stats_;
    uint64_t repliesCounted_ = 0;
    std::mutex ioMutex_;               // one user of the pty at a time (Pump against Stop)
    Clock::time_point inboundDone_{};  // paced: when the last request byte read is through
};

}  // namespace corvix::sim
