// SPDX-License-Identifier: Apache-2.0
// One link session: the serial link (port and worker), the protocol engine and the timer
// schedule, with the worker's notices pumped in this one place. Hosts adapt it to their loop:
// they hand in `post`, which runs a function on the host's own thread (it is called from the
// worker thread), and call RunDueTimers() at NextDue(). The monotonic clock is injectable, so
// tests run the schedule in fake time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "link/comm_link.h"
#include "link/engine.h"
#include "link/status_freshness.h"
#include "model/doc.h"
#include "model/local_time.h"

namespace corvix {

class LinkSession {
  public:
    using Clock = std::chrono::steady_clock;
    using NowFn = std::function<Clock::time_point()>;
    using PostFn = std::function<void(std::function<void()>)>;
    static constexpr std::chrono::milliseconds PollPeriod{3000};     // timer 1
    static constexpr std::chrono::milliseconds TimeOutPeriod{1000};  // timer 3
    // How often a lost port is tried again while the session waits for it.
    static constexpr std::chrono::milliseconds RetryPeriod{500};
    // The live status counts as current for two poll periods after an answer.
    static constexpr std::chrono::milliseconds StatusFreshFor{2 * PollPeriod};

    // `report` receives every engine result on the host's thread. `now` defaults to the
    // steady clock.
    LinkSession(CBrondaleDoc& doc, PostFn post, ResultFn report, NowFn now = {});
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    CommLink& Link() { return *link_; }
    const CommLink& Link() const { return *link_; }
    ProtocolEngine& Engine() { return *engine_; }
    const ProtocolEngine& Engine() const { return *engine_; }
    bool IsConnected() const { return link_->IsConnected(); }

    // Both end a wait for a lost port, and an open in the background, first. `cancelFd`
    // turning readable calls off a slow open (a network port).
    LinkOpen Connect(int cancelFd = -1);
    void Disconnect();
    // Connect without holding the host's loop: a network port (whose server may take seconds
    // to answer or to fail) is opened and set up on a thread of its own and `done` runs on the
    // host's thread with how it ended; any other port opens at once and `done` runs before
    // this returns. `done` never runs when Disconnect, Connect, a new port name or the
    // session's end came first.
    void ConnectInBackground(std::function<void(LinkOpen)> done);
    // A background open has not answered yet.
    bool Connecting() const { return connectDone_ != nullptr; }
    // A background open under way starts over on the new name.
    PortChange ApplyPortName(const std::string& name);

    // ---- timer schedule ----
    // Starts both timers from now (first time-out tick after 1 s, first poll after 3 s).
    void StartTimers();
    void StopTimers() { timersRunning_ = false; }
    bool TimersRunning() const { return timersRunning_; }
    // Whether timer 1 reaches the engine (the desktop polls always; the command line only
    // while monitoring).
    void SetPolling(bool on) { polling_ = on; }
    // When RunDueTimers has work next (time_point::max() when the timers are stopped).
    Clock::time_point NextDue() const;
    // Fires each timer whose time has come, at most once each: a late host does not get a
    // burst of missed ticks.
    void RunDueTimers();
    // One tick of timer `id` now, as a host timer of its own delivers it.
    void OnTimer(int id) { engine_->OnTimer(id); }

    Clock::time_point Now() const { return now_(); }

    // ---- a lost link (link_recovery.cpp) ----
    // With reconnect on, a hang-up of the open port closes the link (the outstanding request
    // is dropped) and the session waits for the port: every RetryPeriod of its schedule it
    // opens the same port name again, quietly. When that works it reports LinkRestored and
    // polls at once. Off (the default) leaves a hang-up to the engine's rules. Turning it off
    // ends a wait.
    void SetReconnect(bool on);
    bool Reconnect() const { return reconnect_; }
    // Waiting for a lost port (the link is closed meanwhile).
    bool WaitingForPort() const { return waiting_; }

    // ---- age of the live status ----
    // Where the PC's local time of a status answer comes from (default: the system clock).
    void SetLocalClock(LocalClockFn clock) { localClock_ = std::move(clock); }
    // The states on screen are older than StatusFreshFor (see StatusFreshness).
    bool StatusStale() const { return freshness_.Stale(now_()); }
    const std::optional<LocalTime>& LastStatusUpdate() const { return freshness_.LastUpdate(); }

  private:
    void OnNotice(CommNotice notice, std::vector<uint8_t> bytes);
    void Report(const EngineResult& result);
    // The open link's worker found its port gone: with reconnect on, close it and wait.
    // True when the session took the loss over.
    bool TakeOverLostLink();
    void TryReopen(Clock::time_point now);
    void Reopened(Clock::time_point now);
    // Runs PreparePort for the link's settings on a thread of its own; `then` gets the port
    // on the host's thread unless the attempt was ended meanwhile.
    void PrepareInBackground(std::function<void(PreparedPort)> then);
    void EndAttempt();
    // For the session's end: no thread posts any more once this returns.
    void EndAttempts();

    CBrondaleDoc& doc_;
    PostFn post_;
    NowFn now_;
    ResultFn report_;
    LocalClockFn localClock_ = SystemLocalTime;
    std::unique_ptr<CommLink> link_;
    std::unique_ptr<ProtocolEngine> engine_;
    // Posted notices may still be queued on the host's loop when the session goes; they check this.
    std::shared_ptr<bool> alive_;
    bool timersRunning_ = false;
    bool polling_ = true;
    Clock::time_point nextPoll_{}, nextTimeOut_{};
    bool reconnect_ = false;
    bool waiting_ = false;
    Clock::time_point nextRetry_{};
    // A network port can take seconds to answer or to fail, which the host's thread must not
    // wait for (an open from ConnectInBackground, or a retry while waiting for a lost port).
    // The threads post through `poster_`, under its lock, so the session's end waits for a
    // post under way and none comes after it.
    struct Poster;
    std::shared_ptr<Poster> poster_;
    uint64_t attempt_ = 0;  // the attempt whose answer is awaited; 0: none
    struct CancelEvent;
    std::shared_ptr<CancelEvent> attemptCancel_;  // calls that attempt off
    uint64_t lastAttempt_ = 0;
    std::function<void(LinkOpen)> connectDone_;  // set while a ConnectInBackground is out
    StatusFreshness freshness_{StatusFreshFor};
};

}  // namespace corvix
