// SPDX-License-Identifier: Apache-2.0
// The protocol engine: device operations, waiting, resends and give-up, reply handling and
// event retrieval. Driven by calls (timer ticks, worker notices, operations); it writes what
// the device tells into the document, sends on the line through IFrameSink and reports every
// outcome as an EngineResult. It never shows anything and holds no threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "link/engine_results.h"
#include "link/frame.h"
#include "model/doc.h"
#include "model/local_time.h"

namespace corvix {

// The link side: the worker's transmit buffer and the open/close state.
class IFrameSink {
  public:
    virtual ~IFrameSink() = default;
    // Copies the frame into txBuffer and raises txPending (does not wait).
    virtual void SubmitFrame(const uint8_t* bytes, std::size_t length) = 0;
    virtual bool IsConnected() const = 0;
    virtual void CloseLink() = 0;
};

// Results are reported synchronously, in the order things happen; a handler may run a nested
// event loop (a modal message) in which further ticks and receptions reach the engine.
using ResultFn = std::function<void(const EngineResult&)>;

class ProtocolEngine {
  public:
    ProtocolEngine(CBrondaleDoc& doc, IFrameSink& sink, ResultFn report);
    ProtocolEngine(const ProtocolEngine&) = delete;
    ProtocolEngine& operator=(const ProtocolEngine&) = delete;

    // ---- operations (each replaces an outstanding request) ----
    // Transfers mark the engine busy until they end; a single request ends any transfer it
    // replaces.
    void PollStatus();
    void ReadDeviceTime();
    void ReadConfiguration();   // all segments, from 0
    // All segments into a record of its own, reported as ConfigurationFetched; the project
    // stays as it is.
    void FetchConfiguration();
    void WriteConfiguration();  // the current device's image, piece by piece
    void SetDeviceTime(const LocalTime& time);
    void ExecuteOutputTest();  // sends the document's cpuFailureTest
    void ReadEventLog();       // all segments into the current device
    void ReadNewEvents();

    // While the clock is watched (the clock window is open), timer 1 reads the device clock
    // instead of polling the status.
    void WatchClock(bool on) { watchClock_ = on; }
    bool WatchingClock() const { return watchClock_; }

    // ---- drivers ----
    void OnTimer(int id);  // 1: poll (3 s), 2: nothing (10 s), 3: time-out rule (1 s)
    void OnSent(const uint8_t* bytes, std::size_t length);  // the bytes the worker wrote
    void OnSendFailed();
    void OnReceived(const uint8_t* bytes, std::size_t length);  // one reception
    void OnHangUp();                                            // the port is gone
    // Forgets the outstanding request and any transfer without a report: the link under them
    // closed and the session waits for the port to come back.
    void Abandon();

    // ---- state, read-only ----
    bool AwaitingReply() const { return awaitingReply_; }
    bool TransferBusy() const { return transferBusy_; }
    // Nothing outstanding and no transfer running.
    bool Idle() const { return !awaitingReply_ && !transferBusy_; }
    int TickCount() const { return tickCount_; }
    int RepeatCount() const { return repeatCount_; }
    // The time the last SetDeviceTime sent.
    const LocalTime& TimeToSet() const { return timeToSet_; }
    Operation Outstanding() const { return awaitingReply_ ? operation_ : Operation::None; }
    // The frame last built (kept for resends).
    std::span<const uint8_t> OutgoingFrame() const { return {outgoing_, outgoingSize_}; }

  private:
    void Send(Operation op, uint8_t control, uint16_t segment, uint8_t type, uint8_t function,
              const uint8_t* data, std::size_t dataLength);
    void ReadConfigurationSegment(uint16_t segment);
    void WriteConfigurationPiece(uint16_t segment);
    void ReadEventLogSegment(uint16_t segment);
    void ResendFrame();
    void ClearWaiting();
    void TimeOutTick();
    void DispatchReply(const FrameHeader& h, std::span<const uint8_t> data, ReplyMatch match);
    void OnConfigPiece(const FrameHeader& h, std::span<const uint8_t> data);
    void OnStatus(std::span<const uint8_t> data);
    void OnClock(std::span<const uint8_t> data);
    void OnOutputTest(std::span<const uint8_t> data);
    void OnEventLog(const FrameHeader& h, std::span<const uint8_t> data);
    void OnNewEvents(const FrameHeader& h, std::span<const uint8_t> data);
    void Report(EngineResult result);

    CBrondaleDoc& doc_;
    IFrameSink& sink_;
    ResultFn report_;
    bool awaitingReply_ = false;
    bool transferBusy_ = false;
    bool watchClock_ = false;
    bool givingUp_ = false;
    bool fetchOnly_ = false;  // the configuration being read goes to no project device
    int tickCount_ = 0;
    int repeatCount_ = 0;
    Operation operation_ = Operation::None;
    uint8_t outgoing_[MaxFrameSize] = {};
    std::size_t outgoingSize_ = 0;
    ConfigStaging staging_;
    LocalTime timeToSet_;
};

}  // namespace corvix
