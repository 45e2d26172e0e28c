// SPDX-License-Identifier: Apache-2.0
// One operation over several devices of a project: read, compare, write, clock check, clock
// set or event logs. Devices are grouped by port; groups run at the same time (up to a limit),
// each on a thread of its own with its own link session, and the devices of one group run one
// after another. Every device gets its own session on a scratch document, so a session never
// touches the project: the host receives typed per-device results on its own loop and applies
// them to the document in one place (ApplyDeviceResult).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/comm_link.h"
#include "link/engine_results.h"
#include "link/serial_port.h"
#include "model/doc.h"
#include "model/local_time.h"

namespace corvix {

enum class ProjectOpKind : uint8_t { Read, Compare, Write, ClockCheck, ClockSet, EventLog };

enum class DeviceOpState : uint8_t { Waiting, Connecting, Working, Done, Failed, Skipped };

enum class DeviceOpFailure : uint8_t {
    None,
    PortOpen,       // the port could not be opened or set up (see `open`)
    NoAnswer,       // the session gave up after its resends
    SendFailed,
    Refused,        // the device's answer could not be used
    LinkLost,       // the port went away during the exchange
    WrongAddress,   // a configuration read answered with another address (`answeredAddress`)
    Cancelled,      // the operation was cancelled before or during this device
    SkippedByUser,  // skipped at the cable prompt
};

// One device to work on.
struct DeviceTarget {
    int slot = 0;
    std::string nameGbk;
    int address = 0;
    SerialSettings line;
    // The project's record: what Write sends.
    std::shared_ptr<const DeviceRecord> record;
};

struct DeviceOpResult {
    int slot = 0;
    DeviceOpState state = DeviceOpState::Waiting;
    DeviceOpFailure failure = DeviceOpFailure::None;
    LinkOpen open = LinkOpen::Opened;  // with PortOpen: how the open failed
    int answeredAddress = -1;          // with WrongAddress
    int segmentsDone = 0;              // replies taken in so far
    int segmentsTotal = 0;             // 0: not known in advance
    long long ms = 0;                  // from connecting to the end
    // Read and Compare: the device's configuration (image part only); EventLog: a record
    // holding the device's stored events.
    std::shared_ptr<const DeviceRecord> record;
    std::optional<ClockFields> deviceTime;  // ClockCheck, ClockSet: the clock after the operation
    std::optional<long long> offsetMs;      // the device clock ahead of the PC (negative: behind)

    bool Ended() const { return state >= DeviceOpState::Done; }
};

enum class GuideAnswer { Continue, Skip, Cancel };

// Devices that follow one another on one local serial port share a cable that the user moves
// from device to device.
bool SharesCable(const SerialSettings& a, const SerialSettings& b);

class ProjectOperation {
  public:
    using Clock = std::chrono::steady_clock;
    using PostFn = std::function<void(std::function<void()>)>;
    using PortFactoryFn = std::function<std::shared_ptr<SerialPort>(const SerialSettings&)>;

    struct Options {
        int maxJobs = 8;
        std::function<Clock::time_point()> now;  // for the time each device takes
        LocalClockFn localClock;                 // the PC clock (ClockSet's time, offsets)
        PortFactoryFn portFactory;               // tests: fake ports; empty: by the port name
        // Asked on the host's loop before each device of a run on one local serial port; the
        // answer is handed to `answer`, at any time, on any thread. Empty: no prompt.
        std::function<void(const DeviceTarget&, std::function<void(GuideAnswer)> answer)> guide;
    };
    struct Hooks {
        PostFn post;  // runs a function on the host's loop (called from the worker threads)
        // Every change of a device's row (state, progress), on the host's loop.
        std::function<void(const DeviceOpResult&)> changed;
        // A device ended (done, failed or skipped), after its last `changed`; apply it here.
        std::function<void(const DeviceOpResult&)> ended;
        // Every device has ended.
        std::function<void()> finished;
    };

    ProjectOperation(ProjectOpKind kind, std::vector<DeviceTarget> targets, Options options, Hooks hooks);
    // Cancels what still runs and waits for the threads.
    ~ProjectOperation();
    ProjectOperation(const ProjectOperation&) = delete;
    ProjectOperation& operator=(const ProjectOperation&) = delete;

    ProjectOpKind Kind() const { return kind_; }
    const std::vector<DeviceTarget>& Targets() const { return targets_; }
    // The rows as the host has seen them (host's loop only).
    const std::vector<DeviceOpResult>& Results() const { return results_; }

    void Start();
    // Devices not started yet are skipped; a running exchange ends at once as failed.
    void Cancel();
    // Runs the failed devices again (after the operation has finished); false when none.
    bool RetryFailed();
    bool Running() const { return running_; }

  private:
    struct Group {
        std::vector<std::size_t> members;  // indexes into targets_
    };
    struct Worker;

    void Launch(std::vector<std::size_t> which);
    void RunWorker(Worker& worker);
    void RunGroup(Worker& worker, const Group& group);
    DeviceOpResult RunDevice(Worker& worker, const DeviceTarget& target, DeviceOpResult row);
    GuideAnswer AskGuide(Worker& worker, const DeviceTarget& target);
    void Post(DeviceOpResult row, bool ended);
    void Joined();

    const ProjectOpKind kind_;
    const std::vector<DeviceTarget> targets_;
    Options options_;
    Hooks hooks_;
    std::vector<DeviceOpResult> results_;  // host's view

    std::mutex lock_;
    std::vector<Group> queue_;  // groups not yet taken
    std::size_t nextGroup_ = 0;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::atomic<bool> cancelled_{false};
    bool running_ = false;
    int open_ = 0;  // devices not ended yet (host's loop)
    // Posted work checks this: the operation may be gone when it runs.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Puts what a device delivered into the project: a read's configuration image, an event log.
// Each device becomes one step of the history and sets the unsaved mark. Compare, write and
// clock results change nothing in it (a write sets what the device holds). Returns whether the
// project changed.
bool ApplyDeviceResult(CBrondaleDoc& doc, ProjectOpKind kind, const DeviceOpResult& result);

// Adds `port` to a comma-separated list of ports unless it is there already (the settings
// history names every port of a run once).
void AddToPortList(std::string& list, const std::string& port);

}  // namespace corvix
