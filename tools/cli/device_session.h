// SPDX-License-Identifier: Apache-2.0
// The command line as one more host of the link session: a blocking session loop, stop
// signals, and the engine's results turned into stdout/stderr lines and hooks for the device
// commands.
#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cli/cli.h"
#include "link/session_loop.h"
#include "model/doc.h"
#include "present/comm_log.h"
#include "present/pcapng.h"

namespace corvix::cli {

inline constexpr int ExitNoAnswer = 1;
inline constexpr int ExitPort = 4;

struct LinkOptions {
    SerialSettings serial;
    int language = LangEnglish;
    bool log = false;  // communication-bar text to stderr
    std::string pcap;  // capture file written as it goes (--pcap); empty: none
};

class DeviceSession {
  public:
    using Outcome = SessionLoop::Outcome;

    DeviceSession(CBrondaleDoc& doc, const LinkOptions& options);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // SIGINT and SIGTERM end Run with Outcome::Stopped instead of killing the program.
    // Must be called before Open, so that no thread of ours takes the signals itself.
    void CatchStopSignals();
    // Creates the capture file (if asked for), then opens and programs the port; ExitOk,
    // ExitFile or ExitPort (the message is already on stderr). No byte goes out when the capture
    // file cannot be made.
    int Open();
    void Close() { loop_.Session().Link().CloseLink(); }

    ProtocolEngine& Engine() { return loop_.Session().Engine(); }
    // A lost port is awaited and reopened (see LinkSession::SetReconnect); stderr says both.
    void SetReconnect(bool on) { loop_.Session().SetReconnect(on); }
    bool WaitingForPort() const { return loop_.Session().WaitingForPort(); }
    bool Connected() const { return loop_.Session().IsConnected(); }

    // See SessionLoop::Run; a stop signal ends it with Outcome::Stopped.
    Outcome Run(const std::function<bool()>& done,
                std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt,
                bool poll = false) {
        return loop_.Run(done, deadline, poll);
    }
    Outcome RunUntilIdle() { return loop_.RunUntilIdle(); }

    // Every result, after the session's own output (frames to the log, failures to stderr,
    // new-event lines, the write confirmation).
    std::function<void(const EngineResult&)> onResult;
    // New-event lines (default: stdout).
    std::function<void(const std::string&)> onEventText;
    // Where the capture's packet times come from.
    UtcClockFn utcClock = SystemUtcMicros;

    // Closes the capture file; false (said on stderr) when some of it could not be written.
    bool FinishCapture();

  private:
    void OnResult(const EngineResult& result);
    void StopSignalThread();

    CBrondaleDoc& doc_;
    LinkOptions options_;
    SessionLoop loop_;
    PcapngStream pcap_;

    std::thread signalThread_;
    std::atomic<bool> signalThreadEnded_{false};
};

}  // namespace corvix::cli
