// SPDX-License-Identifier: Apache-2.0
// The communication worker: a thread that writes the frame the UI put into txBuffer and
// gathers what arrives into rxBuffer. A reception ends as soon as it holds one complete frame
// (only the frame's geometry is looked at, never its meaning), otherwise after 100 ms of line
// quiet. While bytes keep coming it gathers several receptions in a row. It tells its owner
// through a callback run on the worker thread, once per batch.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "link/serial_port.h"

namespace corvix {

inline constexpr std::size_t LinkBufferSize = 1024;
inline constexpr int QuietGapMs = 100;
inline constexpr int WorkerStopWaitMs = 3000;

enum class CommNotice { Sent, SendFailed, Received, HungUp };

// Called on the worker thread. For Sent, `bytes`/`length` are a copy of the frame written;
// for SendFailed, Received and HungUp they are null/0 (the reception is fetched with TakeReception).
using CommNoticeFn = std::function<void(CommNotice notice, const uint8_t* bytes, std::size_t length)>;

// The buffers the UI thread and the worker share. They outlive any one run of the worker,
// so a reception announced just before the link closed can still be taken.
struct LinkBuffers {
    std::mutex txLock;
    uint8_t txBuffer[LinkBufferSize] = {};
    uint32_t txLength = 0;
    bool txPending = false;

    // The oldest reception waiting to be taken is in rxBuffer (rxReady); the worker may gather
    // up to RxQueueDepth more behind it, so that a busy line costs one hand-over per batch
    // instead of one per reception.
    std::mutex rxLock;
    uint8_t rxBuffer[LinkBufferSize] = {};
    uint32_t rxLength = 0;
    bool rxReady = false;
    static constexpr uint32_t RxQueueDepth = 31;
    uint8_t rxQueue[RxQueueDepth][LinkBufferSize] = {};
    uint32_t rxQueueLength[RxQueueDepth] = {};
    uint32_t rxQueueHead = 0, rxQueueCount = 0;
    // A Received notice is on its way and nobody has taken since: no second one is needed.
    bool rxAnnounced = false;

    // Copies at most LinkBufferSize bytes into txBuffer and raises txPending.
    void Submit(const uint8_t* bytes, std::size_t length);
    // Copies the oldest waiting reception out (at most `capacity` bytes); the next one moves
    // up, or rxReady clears. Returns 0 when no reception is waiting. The owner is to be told
    // again about what is left.
    std::size_t Take(uint8_t* out, std::size_t capacity);
    // Take for a host that drains every reception it is told of: the notice stays good for
    // what is left. `more` says whether another one waits; `wasFull` whether the worker had
    // stopped reading for want of room (it needs a wake-up).
    std::size_t TakeNext(uint8_t* out, std::size_t capacity, bool& more, bool& wasFull);
    // Worker side, under rxLock: queues a finished reception. False when there is no room.
    bool Put(const uint8_t* bytes, std::size_t length);
    bool Full() const { return rxReady && rxQueueCount == RxQueueDepth; }
    // Clears txPending, rxReady, rxLength, txLength and the receptions queued behind.
    void Clear();
};

class CommWorker {
  public:
    CommWorker(std::shared_ptr<LinkBuffers> buffers, CommNoticeFn notify);
    ~CommWorker();
    CommWorker(const CommWorker&) = delete;
    CommWorker& operator=(const CommWorker&) = delete;

    // Starts the thread on an open, configured port. False if it is already running or the
    // thread or its wake-up descriptors cannot be created.
    bool Start(std::shared_ptr<SerialPort> port);
    // Clears `connected`, wakes the thread and waits for it at most `wait`. True when it
    // ended in time. Otherwise it is let go: it keeps its own references to the port and the
    // buffers and releases them when it finally ends.
    bool Stop(std::chrono::milliseconds wait = std::chrono::milliseconds(WorkerStopWaitMs));
    bool Running() const;

    // UI side: hand a frame over / take a reception; both wake the thread.
    void Submit(const uint8_t* bytes, std::size_t length);
    std::size_t TakeReception(uint8_t* out, std::size_t capacity);
    // Takes the oldest reception for a host that takes them all per notice (LinkBuffers::
    // TakeNext); wakes the thread only when it waits for room.
    std::size_t TakeNextReception(uint8_t* out, std::size_t capacity, bool& more);
    // Tells the thread to look at the buffers again (txPending raised, rxReady cleared).
    void Wake();

    // True once the port reported a hang-up; the worker then no longer reads from it.
    bool PortHungUp() const;
    // Rounds of the worker's loop so far. Tests use it to see that an idle or hung-up link
    // does not spin.
    uint64_t LoopCount() const;

  private:
    struct Run;
    std::shared_ptr<LinkBuffers> buffers_;
    CommNoticeFn notify_;
    std::shared_ptr<Run> run_;
    std::thread thread_;
};

}  // namespace corvix
