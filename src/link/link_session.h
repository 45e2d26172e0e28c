// One link session: the serial link (port and worker), the protocol engine and the timer
// schedule, with the worker's notices pumped in this one place. Hosts adapt it to their loop:
// they hand in `post`, which runs a function on the host's own thread (it is called from the
// worker thread), and call RunDueTimers() at NextDue(). The monotonic clock is injectable, so
// tests run the schedule in fake time.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "link/comm_link.h"
#include "link/engine.h"
#include "model/doc.h"

namespace corvix {

class LinkSession {
  public:
    using Clock = std::chrono::steady_clock;
    using NowFn = std::function<Clock::time_point()>;
    using PostFn = std::function<void(std::function<void()>)>;
    static constexpr std::chrono::milliseconds PollPeriod{3000};     // timer 1
    static constexpr std::chrono::milliseconds TimeOutPeriod{1000};  // timer 3

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

    LinkOpen Connect() { return link_->Connect(); }
    void Disconnect() { link_->Disconnect(); }
    PortChange ApplyPortName(const std::string& name) { return link_->ApplyPortName(name); }

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

  private:
    void OnNotice(CommNotice notice, std::vector<uint8_t> bytes);

    CBrondaleDoc& doc_;
    PostFn post_;
    NowFn now_;
    std::unique_ptr<CommLink> link_;
    std::unique_ptr<ProtocolEngine> engine_;
    // Posted notices may still be queued on the host's loop when the session goes; they check this.
    std::shared_ptr<bool> alive_;
    bool timersRunning_ = false;
    bool polling_ = true;
    Clock::time_point nextPoll_{}, nextTimeOut_{};
};

}  // namespace corvix
