// The command line as one more host of the protocol engine: the serial link, a loop that
// feeds the engine the worker's notices and its timer ticks, and the engine's screen
// effects turned into stdout/stderr lines and hooks for the device commands.
#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "link/comm_link.h"
#include "link/engine.h"
#include "model/doc.h"

namespace corvix::cli {

inline constexpr int ExitNoAnswer = 1;
inline constexpr int ExitPort = 4;

inline constexpr int PollPeriodMs = 3000;     // timer 1
inline constexpr int TimeOutPeriodMs = 1000;  // timer 3

struct LinkOptions {
    SerialSettings serial;
    int language = LangEnglish;
    bool log = false;  // communication-bar text to stderr
};

// Worker notices, handed from the worker thread to the loop.
class NoticeQueue {
  public:
    enum class Kind { Sent, SendFailed, Received, Stop };
    struct Notice {
        Kind kind = Kind::Sent;
        std::vector<uint8_t> bytes;
    };

    void Push(Notice notice);
    // Takes the oldest notice, waiting until `until` at most. False when none came.
    bool PopUntil(std::chrono::steady_clock::time_point until, Notice& out);

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Notice> queue_;
};

class DeviceSession : private IEngineHost {
  public:
    enum class Outcome { Done, GaveUp, TimedOut, Stopped };

    DeviceSession(CBrondaleDoc& doc, const LinkOptions& options);
    ~DeviceSession() override;
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // SIGINT and SIGTERM end Run with Outcome::Stopped instead of killing the program.
    // Must be called before Open, so that no thread of ours takes the signals itself.
    void CatchStopSignals();
    // Opens and programs the port; ExitOk or ExitPort (the message is already on stderr).
    int Open();
    void Close() { link_.CloseLink(); }

    ProtocolEngine& Engine() { return engine_; }
    bool Connected() const { return link_.IsConnected(); }

    // Runs until `done` holds (checked after every notice and tick), the engine gives up
    // (the link is closed), `deadline` passes or a stop signal arrives. Timer 1 ticks reach
    // the engine only with `poll`; the one-second time-out timer always runs.
    Outcome Run(const std::function<bool()>& done,
                std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt,
                bool poll = false);
    // Run until no request is outstanding and no transfer is running.
    Outcome RunUntilIdle() {
        return Run([this] { return !engine_.awaitingReply && !engine_.transferBusy; });
    }

    // ---- what the commands watch ----
    // Every valid reception, decoded, before the engine acts on it.
    std::function<void(const FrameHeader&, std::span<const uint8_t>)> onReply;
    std::function<void()> onInputStates;                  // a status reply reached the states page
    std::function<void(const std::string&)> onEventText;  // new-event lines (default: stdout)
    bool clockWindowOpen = false;  // clock replies reach deviceTime (and timer 1 reads the clock)
    std::string deviceTime;
    int eventLogFills = 0;
    int cpuPageFills = 0;
    bool writeSucceeded = false;

  private:
    // IEngineHost
    void AppendCommLog(const std::string& entry) override;
    void ShowMessage(const std::string& textUtf8, const std::string& captionUtf8) override;
    void RefreshInputStates() override;
    void FillEventLogPage() override { ++eventLogFills; }
    void FillCpuSupervisionPage() override { ++cpuPageFills; }
    bool ClockWindowOpen() const override { return clockWindowOpen; }
    void ShowDeviceTime(const std::string& text) override { deviceTime = text; }
    void ShowEventWindowForNewEvents() override {}
    void AppendEventText(const std::string& text) override;

    void Handle(const NoticeQueue::Notice& notice);
    void StopSignalThread();

    CBrondaleDoc& doc_;
    LinkOptions options_;
    CliUserInterface ui_;
    NoticeQueue queue_;
    CommLink link_;
    ProtocolEngine engine_;
    std::chrono::steady_clock::time_point nextPoll_, nextTimeOut_;
    bool timersStarted_ = false;

    std::thread signalThread_;
    std::atomic<bool> signalThreadEnded_{false};
};

}  // namespace corvix::cli
