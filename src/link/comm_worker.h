// The communication worker: a thread that writes the frame the UI put into txBuffer and
// gathers what arrives into rxBuffer. A reception ends as soon as it holds one complete frame
// (only the frame's geometry is looked at, never its meaning), otherwise after 100 ms of line
// quiet. It tells its owner through a callback run on the worker thread.
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

    std::mutex rxLock;
    uint8_t rxBuffer[LinkBufferSize] = {};
    uint32_t rxLength = 0;
    bool rxReady = false;

    // Copies at most LinkBufferSize bytes into txBuffer and raises txPending.
    void Submit(const uint8_t* bytes, std::size_t length);
    // Copies the waiting reception out (at most `capacity` bytes), then clears rxReady.
    // Returns 0 when no reception is waiting.
    std::size_t Take(uint8_t* out, std::size_t capacity);
    // Clears txPending, rxReady, rxLength and txLength.
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
