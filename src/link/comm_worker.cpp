// SPDX-License-Identifier: Apache-2.0
#include "link/comm_worker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <system_error>

#include "link/frame.h"
#include "link/garbage_pacer.h"

namespace corvix {

namespace {

using Clock = std::chrono::steady_clock;

void Signal(int fd) {
    if (fd < 0) return;
    const uint64_t one = 1;
    // A full counter already means "wake up"; nothing else can go wrong here.
    ssize_t r = ::write(fd, &one, sizeof one);
    (void)r;
}

void Drain(int fd) {
    uint64_t value;
    ssize_t r = ::read(fd, &value, sizeof value);
    (void)r;
}

bool IsGone(short revents) { return (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0; }

}  // namespace

// ---------------------------------------------------------------------------------------
// LinkBuffers

void LinkBuffers::Submit(const uint8_t* bytes, std::size_t length) {
    const std::size_t n = std::min(length, LinkBufferSize);
    std::lock_guard<std::mutex> g(txLock);
    if (n > 0) std::memcpy(txBuffer, bytes, n);
    txLength = static_cast<uint32_t>(n);
    txPending = true;
}

std::size_t LinkBuffers::Take(uint8_t* out, std::size_t capacity) {
    bool more, wasFull;
    std::lock_guard<std::mutex> g(rxLock);
    const std::size_t n = TakeNext(out, capacity, more, wasFull);
    rxAnnounced = false;
    return n;
}

// Under rxLock.
std::size_t LinkBuffers::TakeNext(uint8_t* out, std::size_t capacity, bool& more, bool& wasFull) {
    more = false;
    wasFull = Full();
    if (!rxReady) {
        rxAnnounced = false;
        return 0;
    }
    const std::size_t n = std::min<std::size_t>({rxLength, capacity, LinkBufferSize});
    if (n > 0) std::memcpy(out, rxBuffer, n);
    if (rxQueueCount > 0) {
        rxLength = std::min<uint32_t>(rxQueueLength[rxQueueHead], LinkBufferSize);
        std::memcpy(rxBuffer, rxQueue[rxQueueHead], rxLength);
        rxQueueHead = (rxQueueHead + 1) % RxQueueDepth;
        --rxQueueCount;
        more = true;
    } else {
        rxReady = false;
        rxAnnounced = false;
    }
    return n;
}

bool LinkBuffers::Put(const uint8_t* bytes, std::size_t length) {
    const uint32_t n = static_cast<uint32_t>(std::min(length, LinkBufferSize));
    if (!rxReady) {
        std::memcpy(rxBuffer, bytes, n);
        rxLength = n;
        rxReady = true;
        return true;
    }
    if (rxQueueCount == RxQueueDepth) return false;
    const uint32_t slot = (rxQueueHead + rxQueueCount) % RxQueueDepth;
    std::memcpy(rxQueue[slot], bytes, n);
    rxQueueLength[slot] = n;
    ++rxQueueCount;
    return true;
}

void LinkBuffers::Clear() {
    {
        std::lock_guard<std::mutex> g(txLock);
        txPending = false;
        txLength = 0;
    }
    std::lock_guard<std::mutex> g(rxLock);
    rxReady = false;
    rxLength = 0;
    rxQueueHead = rxQueueCount = 0;
    rxAnnounced = false;
}

// ---------------------------------------------------------------------------------------
// One run of the thread. The thread holds its own reference, so a run that overstays Stop
// can finish without touching freed memory or a reused descriptor.

struct CommWorker::Run {
    std::shared_ptr<LinkBuffers> buffers;
    std::shared_ptr<SerialPort> port;
    CommNoticeFn notify;
    std::atomic<bool> connected{false};
    std::atomic<bool> hungUp{false};
    bool hangUpTold = false;  // worker thread only
    GarbagePacer pacer;       // worker thread only
    std::atomic<uint64_t> loops{0};
    int wakeFd = -1;  // submit, reception taken, stop
    int stopFd = -1;  // stop only: interrupts a gathering or a stalled write

    std::mutex doneLock;
    std::condition_variable doneCv;
    bool done = false;

    ~Run() {
        if (wakeFd >= 0) ::close(wakeFd);
        if (stopFd >= 0) ::close(stopFd);
    }

    void Loop();
    bool Transmit(uint8_t* sent, std::size_t& sentLength);
    void Gather();
    std::size_t GatherOne(uint8_t* rx);
    void Announce();
    void WaitForWork();
    void Notify(CommNotice n, const uint8_t* bytes, std::size_t length) {
        if (notify && connected.load()) notify(n, bytes, length);
    }
};

void CommWorker::Run::Loop() {
    uint8_t sent[LinkBufferSize];
    while (connected.load()) {
        loops.fetch_add(1, std::memory_order_relaxed);

        // 1-2: send what is pending, then tell.
        std::size_t sentLength = 0;
        bool attempted = false;
        bool ok = false;
        {
            std::lock_guard<std::mutex> g(buffers->txLock);
            if (buffers->txPending) {
                attempted = true;
                ok = Transmit(sent, sentLength);
                buffers->txPending = false;
            }
        }
        if (attempted) {
            if (ok)
                Notify(CommNotice::Sent, sent, sentLength);
            else
                Notify(CommNotice::SendFailed, nullptr, 0);
        }
        if (!connected.load()) break;

        // 3-4: gather receptions while there is room, telling as they come; tell again about
        // receptions left behind by a Take.
        Gather();
        Announce();
        // Once per run: the owner learns that the line is gone.
        if (hungUp.load() && !hangUpTold) {
            hangUpTold = true;
            Notify(CommNotice::HungUp, nullptr, 0);
        }

        WaitForWork();
    }
}

// Runs under txLock.
bool CommWorker::Run::Transmit(uint8_t* sent, std::size_t& sentLength) {
    const std::size_t length = std::min<std::size_t>(buffers->txLength, LinkBufferSize);
    if (hungUp.load() || port->HungUp()) {
        hungUp = true;
        return false;
    }
    const std::size_t written = port->Write(buffers->txBuffer, length, stopFd);
    if (port->HungUp()) hungUp = true;
    if (written != buffers->txLength) return false;
    std::memcpy(sent, buffers->txBuffer, written);
    sentLength = written;
    return true;
}

// Gathers receptions while bytes are waiting and there is room for them; a frame to send
// ends the row, so it never waits behind a long flood.
void CommWorker::Run::Gather() {
    uint8_t rx[LinkBufferSize];
    for (bool first = true;; first = false) {
        if (hungUp.load() || !connected.load()) return;
        if (pacer.Pause(Clock::now()).count() > 0) return;
        {
            std::lock_guard<std::mutex> g(buffers->rxLock);
            if (buffers->Full()) return;
        }
        if (port->BytesQueued() == 0) return;
        if (!first) {
            std::lock_guard<std::mutex> g(buffers->txLock);
            if (buffers->txPending) return;
        }
        const std::size_t total = GatherOne(rx);
        if (total == 0) return;
        if (CompleteFrameSize(rx, total) == 0) pacer.Charge(total, Clock::now());
        {
            std::lock_guard<std::mutex> g(buffers->rxLock);
            buffers->Put(rx, total);
        }
        Announce();
    }
}

// Tells the owner that receptions wait, unless a notice about them is already on its way.
void CommWorker::Run::Announce() {
    bool tell = false;
    {
        std::lock_guard<std::mutex> g(buffers->rxLock);
        if (buffers->rxReady && !buffers->rxAnnounced && connected.load()) {
            buffers->rxAnnounced = true;
            tell = true;
        }
    }
    if (tell) Notify(CommNotice::Received, nullptr, 0);
}

// Reads one reception into `rx` until it holds one complete frame, the line has been quiet
// for QuietGapMs or it is full. While the bytes can still become a frame, reads stop at its
// declared end, so bytes behind a complete frame stay queued in the driver and start the next
// reception, as do bytes beyond a full buffer.
std::size_t CommWorker::Run::GatherOne(uint8_t* rx) {
    std::size_t total = 0;
    const int portFd = port->PollFd();
    for (;;) {
        const std::size_t space = LinkBufferSize - total;
        const std::size_t missing = FrameBytesMissing(rx, total);
        total += port->Read(rx + total, missing > 0 ? std::min(missing, space) : space);
        if (total >= LinkBufferSize || CompleteFrameSize(rx, total) > 0) break;
        if (port->HungUp()) {
            hungUp = true;
            break;
        }
        // Wait for the next byte, at most QuietGapMs after the last one. Bytes already
        // queued (a read cut short at the length field) make poll return at once.
        const auto deadline = Clock::now() + std::chrono::milliseconds(QuietGapMs);
        bool more = false;
        for (;;) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            pollfd fds[2] = {{portFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
            int r = ::poll(fds, 2, static_cast<int>(left));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            if (fds[1].revents & POLLIN) break;  // stopping: keep what came
            if (IsGone(fds[0].revents)) {
                hungUp = true;
                break;
            }
            if (fds[0].revents & POLLIN) {
                more = true;
                break;
            }
        }
        if (!more || !connected.load()) break;
    }
    return total;
}

// Blocks until there is something to do: a frame to send, a reception taken (more bytes
// may be waiting), bytes arriving, or Stop. The port is left out while there is no room for
// another reception (its bytes would keep it readable), after a hang-up (it would poll HUP
// forever) and while a flood of garbage has used up its budget (until the budget refills).
void CommWorker::Run::WaitForWork() {
    const auto pause = pacer.Pause(Clock::now());
    bool watchPort;
    {
        std::lock_guard<std::mutex> g(buffers->rxLock);
        watchPort = !buffers->Full() && !hungUp.load() && pause.count() == 0;
    }
    pollfd fds[3] = {{wakeFd, POLLIN, 0}, {stopFd, POLLIN, 0}, {watchPort ? port->PollFd() : -1, POLLIN, 0}};
    const nfds_t count = (watchPort && fds[2].fd >= 0) ? 3 : 2;
    const int timeout = pause.count() > 0 ? static_cast<int>(pause.count()) : -1;
    int r;
    do {
        r = ::poll(fds, count, timeout);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return;
    if (fds[0].revents & POLLIN) Drain(wakeFd);
    if (count == 3 && IsGone(fds[2].revents)) hungUp = true;
}

// ---------------------------------------------------------------------------------------
// CommWorker

CommWorker::CommWorker(std::shared_ptr<LinkBuffers> buffers, CommNoticeFn notify)
    : buffers_(buffers ? std::move(buffers) : std::make_shared<LinkBuffers>()), notify_(std::move(notify)) {}

CommWorker::~CommWorker() { Stop(); }

bool CommWorker::Start(std::shared_ptr<SerialPort> port) {
    if (thread_.joinable() || !port || !port->IsOpen()) return false;
    auto run = std::make_shared<Run>();
    run->buffers = buffers_;
    run->port = std::move(port);
    run->notify = notify_;
    run->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    run->stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (run->wakeFd < 0 || run->stopFd < 0) return false;
    run->connected = true;
    try {
        thread_ = std::thread([run] {
            run->Loop();
            {
                std::lock_guard<std::mutex> g(run->doneLock);
                run->done = true;
            }
            run->doneCv.notify_all();
        });
    } catch (const std::system_error&) {
        run->connected = false;
        return false;
    }
    run_ = std::move(run);
    return true;
}

bool CommWorker::Stop(std::chrono::milliseconds wait) {
    if (!thread_.joinable()) return true;
    std::shared_ptr<Run> run = std::move(run_);
    run->connected = false;
    Signal(run->stopFd);
    Signal(run->wakeFd);
    if (thread_.get_id() == std::this_thread::get_id()) {
        // Asked from a notice callback: the loop ends as soon as the callback returns.
        thread_.detach();
        return true;
    }
    bool ended;
    {
        std::unique_lock<std::mutex> g(run->doneLock);
        ended = run->doneCv.wait_for(g, wait, [&] { return run->done; });
    }
    if (ended)
        thread_.join();
    else
        thread_.detach();
    return ended;
}

bool CommWorker::Running() const { return thread_.joinable(); }

void CommWorker::Submit(const uint8_t* bytes, std::size_t length) {
    buffers_->Submit(bytes, length);
    Wake();
}

std::size_t CommWorker::TakeReception(uint8_t* out, std::size_t capacity) {
    const std::size_t n = buffers_->Take(out, capacity);
    Wake();
    return n;
}

void CommWorker::Wake() {
    if (run_) Signal(run_->wakeFd);
}

std::size_t CommWorker::TakeNextReception(uint8_t* out, std::size_t capacity, bool& more) {
    bool wasFull;
    std::size_t n;
    {
        std::lock_guard<std::mutex> g(buffers_->rxLock);
        n = buffers_->TakeNext(out, capacity, more, wasFull);
    }
    if (wasFull) Wake();
    return n;
}

bool CommWorker::PortHungUp() const { return run_ && run_->hungUp.load(); }

uint64_t CommWorker::LoopCount() const { return run_ ? run_->loops.load() : 0; }

}  // namespace corvix
