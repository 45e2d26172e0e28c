// SPDX-License-Identifier: Apache-2.0
#include "link/project_ops.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "link/clock_timing.h"
#include "link/net_port.h"
#include "link/session_loop.h"

namespace corvix {

bool SharesCable(const SerialSettings& a, const SerialSettings& b) {
    return a.portName == b.portName && !IsNetPortName(a.portName);
}

struct ProjectOperation::Worker {
    std::thread thread;
    std::mutex lock;
    std::condition_variable answered;
    SessionLoop* active = nullptr;  // the session of the device under way
    std::optional<GuideAnswer> answer;
    bool asking = false;
    // Readable once the operation is cancelled: ends a network port's connect or negotiation,
    // which would otherwise run to its time-out.
    int cancelFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    Worker() = default;
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    ~Worker() {
        if (cancelFd >= 0) ::close(cancelFd);
    }
    void CallOff() const {
        if (cancelFd < 0) return;
        const uint64_t one = 1;
        // A counter that cannot take more is readable already.
        if (::write(cancelFd, &one, sizeof one) < 0) return;
    }
};

namespace {

// The scratch document of a session that reads from the device only: read, compare and the
// clock never touch it (the session does not poll), so one serves every such session.
CBrondaleDoc& QuietDocument() {
    static CBrondaleDoc doc;
    return doc;
}

bool NeedsOwnDocument(ProjectOpKind kind) { return kind == ProjectOpKind::Write || kind == ProjectOpKind::EventLog; }

}  // namespace

ProjectOperation::ProjectOperation(ProjectOpKind kind, std::vector<DeviceTarget> targets, Options options, Hooks hooks)
    : kind_(kind), targets_(std::move(targets)), options_(std::move(options)), hooks_(std::move(hooks)) {
    if (!options_.now) options_.now = Clock::now;
    if (!options_.localClock) options_.localClock = SystemLocalTime;
    if (options_.maxJobs < 1) options_.maxJobs = 1;
    results_.resize(targets_.size());
    for (std::size_t i = 0; i < targets_.size(); ++i) results_[i].slot = targets_[i].slot;
    if (!NeedsOwnDocument(kind_)) QuietDocument();  // made here, on one thread, before any worker
}

ProjectOperation::~ProjectOperation() {
    Cancel();
    *alive_ = false;
    for (auto& w : workers_)
        if (w->thread.joinable()) w->thread.join();
}

void ProjectOperation::Start() {
    std::vector<std::size_t> all(targets_.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    Launch(std::move(all));
}

bool ProjectOperation::RetryFailed() {
    if (running_) return false;
    std::vector<std::size_t> failed;
    for (std::size_t i = 0; i < results_.size(); ++i)
        if (results_[i].state == DeviceOpState::Failed) failed.push_back(i);
    if (failed.empty()) return false;
    Launch(std::move(failed));
    return true;
}

void ProjectOperation::Launch(std::vector<std::size_t> which) {
    for (auto& w : workers_)
        if (w->thread.joinable()) w->thread.join();
    workers_.clear();
    cancelled_ = false;
    // Groups by port name, in the order of their first device; a group keeps its devices' order.
    std::vector<Group> groups;
    std::map<std::string, std::size_t> byPort;
    for (std::size_t i : which) {
        const std::string& port = targets_[i].line.portName;
        auto [it, added] = byPort.emplace(port, groups.size());
        if (added) groups.emplace_back();
        groups[it->second].members.push_back(i);
        results_[i] = DeviceOpResult{};
        results_[i].slot = targets_[i].slot;
    }
    if (groups.empty()) {
        if (hooks_.finished) hooks_.finished();
        return;
    }
    running_ = true;
    open_ = static_cast<int>(which.size());
    {
        std::lock_guard<std::mutex> g(lock_);
        queue_ = std::move(groups);
        nextGroup_ = 0;
    }
    const std::size_t jobs = std::min<std::size_t>(static_cast<std::size_t>(options_.maxJobs), queue_.size());
    for (std::size_t j = 0; j < jobs; ++j) workers_.push_back(std::make_unique<Worker>());
    for (auto& w : workers_) w->thread = std::thread([this, worker = w.get()] { RunWorker(*worker); });
}

void ProjectOperation::Cancel() {
    cancelled_ = true;
    for (auto& w : workers_) {
        w->CallOff();
        std::lock_guard<std::mutex> g(w->lock);
        if (w->active != nullptr) w->active->Stop();
        if (w->asking && !w->answer) {
            w->answer = GuideAnswer::Cancel;
            w->answered.notify_all();
        }
    }
}

void ProjectOperation::RunWorker(Worker& worker) {
    for (;;) {
        Group group;
        {
            std::lock_guard<std::mutex> g(lock_);
            if (nextGroup_ >= queue_.size()) break;
            group = queue_[nextGroup_++];
        }
        RunGroup(worker, group);
    }
}

void ProjectOperation::RunGroup(Worker& worker, const Group& group) {
    // A run of devices on one local serial port is one cable moved from device to device.
    const bool guided = options_.guide && group.members.size() > 1 &&
                        SharesCable(targets_[group.members[0]].line, targets_[group.members[1]].line);
    for (std::size_t i : group.members) {
        const DeviceTarget& target = targets_[i];
        DeviceOpResult row;
        row.slot = target.slot;
        if (!cancelled_ && guided) {
            const GuideAnswer answer = AskGuide(worker, target);
            if (answer == GuideAnswer::Cancel) cancelled_ = true;
            if (answer == GuideAnswer::Skip) {
                row.state = DeviceOpState::Skipped;
                row.failure = DeviceOpFailure::SkippedByUser;
                Post(row, true);
                continue;
            }
        }
        if (cancelled_) {
            row.state = DeviceOpState::Skipped;
            row.failure = DeviceOpFailure::Cancelled;
            Post(row, true);
            continue;
        }
        Post(RunDevice(worker, target, row), true);
    }
}

GuideAnswer ProjectOperation::AskGuide(Worker& worker, const DeviceTarget& target) {
    {
        std::lock_guard<std::mutex> g(worker.lock);
        worker.asking = true;
        worker.answer.reset();
    }
    auto answer = [&worker](GuideAnswer a) {
        std::lock_guard<std::mutex> g(worker.lock);
        if (worker.answer) return;
        worker.answer = a;
        worker.answered.notify_all();
    };
    // The worker outlives the question: it waits below until some answer comes (Cancel gives
    // one too), so the callback's reference stays good while it may be called.
    hooks_.post([this, alive = std::weak_ptr<bool>(alive_), target, answer] {
        if (!alive.lock()) return;
        options_.guide(target, answer);
    });
    std::unique_lock<std::mutex> g(worker.lock);
    worker.answered.wait(g, [&worker] { return worker.answer.has_value(); });
    worker.asking = false;
    return *worker.answer;
}

DeviceOpResult ProjectOperation::RunDevice(Worker& worker, const DeviceTarget& target, DeviceOpResult row) {
    const Clock::time_point start = options_.now();
    auto elapsed = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(options_.now() - start).count();
    };
    row.state = DeviceOpState::Connecting;
    Post(row, false);

    std::unique_ptr<CBrondaleDoc> own;
    if (NeedsOwnDocument(kind_)) {
        own = std::make_unique<CBrondaleDoc>();
        own->NewProject();
        if (target.record) own->Device(0) = *target.record;
        own->TakeDevice(KindDeviceFirst);
        if (kind_ == ProjectOpKind::EventLog) own->Device(0).eventCount = 0;
    }
    CBrondaleDoc& doc = own ? *own : QuietDocument();

    std::optional<OperationFailed> failed;
    bool lost = false;
    bool complete = false;
    LocalTime arrival{};
    DeviceOpResult* live = &row;
    SessionLoop loop(doc, [&](const EngineResult& r) {
        if (const auto* got = std::get_if<FrameReceived>(&r)) {
            if (got->verdict == FrameVerdict::Good) {
                ++live->segmentsDone;
                Post(*live, false);
            }
        } else if (const auto* f = std::get_if<ConfigurationFetched>(&r)) {
            live->record = f->record;
            live->answeredAddress = f->address;
            complete = true;
        } else if (std::holds_alternative<ConfigurationWritten>(r) || std::holds_alternative<ClockSet>(r)) {
            complete = true;
        } else if (const auto* c = std::get_if<ClockRead>(&r)) {
            arrival = options_.localClock();
            live->deviceTime = c->time;
            complete = true;
        } else if (std::holds_alternative<EventLogReceived>(r)) {
            complete = true;
        } else if (const auto* f2 = std::get_if<OperationFailed>(&r)) {
            failed = *f2;
        } else if (std::holds_alternative<LinkLost>(r)) {
            lost = true;
        }
    });
    LinkSession& session = loop.Session();
    session.Link().settings = target.line;
    if (options_.portFactory) session.Link().SetPortFactory([this, line = target.line] { return options_.portFactory(line); });
    {
        std::lock_guard<std::mutex> g(worker.lock);
        worker.active = &loop;
    }
    auto finish = [&](DeviceOpState state, DeviceOpFailure why) {
        {
            std::lock_guard<std::mutex> g(worker.lock);
            worker.active = nullptr;
        }
        session.Link().CloseLink();
        row.state = state;
        row.failure = why;
        row.ms = elapsed();
        return row;
    };
    if (cancelled_) return finish(DeviceOpState::Skipped, DeviceOpFailure::Cancelled);
    const LinkOpen opened = session.Connect(worker.cancelFd);
    if (!session.IsConnected()) {
        if (cancelled_) return finish(DeviceOpState::Failed, DeviceOpFailure::Cancelled);
        row.open = opened;
        return finish(DeviceOpState::Failed, DeviceOpFailure::PortOpen);
    }
    row.state = DeviceOpState::Working;
    Post(row, false);

    ProtocolEngine& engine = session.Engine();
    SessionLoop::Outcome outcome = SessionLoop::Outcome::Done;
    auto run = [&] {
        complete = false;
        // As the single-device commands do: the exchange is over when the engine is idle; what
        // it delivered tells how it went.
        outcome = loop.Run([&] { return engine.Idle(); });
        return outcome == SessionLoop::Outcome::Done && complete && !failed;
    };
    bool ok = false;
    switch (kind_) {
        case ProjectOpKind::Read:
        case ProjectOpKind::Compare:
            engine.FetchConfiguration();
            ok = run();
            break;
        case ProjectOpKind::Write:
            row.segmentsTotal = static_cast<int>((ConfigImageSize + ConfigPieceSize - 1) / ConfigPieceSize);
            engine.WriteConfiguration();
            ok = run();
            // What the device now holds: the record as sent, whatever was edited meanwhile.
            if (ok) row.record = std::make_shared<DeviceRecord>(own->Device(0));
            break;
        case ProjectOpKind::ClockSet:
            engine.WatchClock(true);
            engine.SetDeviceTime(ClockSetTime(options_.localClock, target.line));
            ok = run();
            if (!ok) break;
            [[fallthrough]];
        case ProjectOpKind::ClockCheck:
            engine.WatchClock(true);
            row.deviceTime.reset();
            engine.ReadDeviceTime();
            ok = run() && row.deviceTime;
            if (ok) row.offsetMs = DeviceClockOffsetMs(*row.deviceTime, arrival, target.line);
            break;
        case ProjectOpKind::EventLog:
            engine.ReadEventLog();
            ok = run();
            if (ok) row.record = std::make_shared<DeviceRecord>(own->Device(0));
            break;
    }
    if (ok && kind_ == ProjectOpKind::Read && row.answeredAddress != static_cast<uint8_t>(target.address)) {
        // The cable is on another device: its configuration must not land in this one.
        row.record.reset();
        return finish(DeviceOpState::Failed, DeviceOpFailure::WrongAddress);
    }
    if (ok) return finish(DeviceOpState::Done, DeviceOpFailure::None);
    if (outcome == SessionLoop::Outcome::Stopped || cancelled_)
        return finish(DeviceOpState::Failed, DeviceOpFailure::Cancelled);
    DeviceOpFailure why = DeviceOpFailure::NoAnswer;
    if (lost)
        why = DeviceOpFailure::LinkLost;
    else if (failed && failed->reason == FailReason::SendFailed)
        why = DeviceOpFailure::SendFailed;
    else if (failed && failed->reason == FailReason::Refused)
        why = DeviceOpFailure::Refused;
    return finish(DeviceOpState::Failed, why);
}

void ProjectOperation::Post(DeviceOpResult row, bool ended) {
    hooks_.post([this, alive = std::weak_ptr<bool>(alive_), row = std::move(row), ended] {
        if (!alive.lock()) return;
        for (std::size_t i = 0; i < targets_.size(); ++i) {
            if (targets_[i].slot != row.slot) continue;
            results_[i] = row;
            break;
        }
        if (hooks_.changed) hooks_.changed(row);
        if (!ended) return;
        if (hooks_.ended) hooks_.ended(row);
        if (--open_ == 0) Joined();
    });
}

void ProjectOperation::Joined() {
    // Every device has ended: the workers are leaving (or gone) and are joined before anything
    // runs again.
    for (auto& w : workers_)
        if (w->thread.joinable()) w->thread.join();
    running_ = false;
    if (hooks_.finished) hooks_.finished();
}

bool ApplyDeviceResult(CBrondaleDoc& doc, ProjectOpKind kind, const DeviceOpResult& result) {
    if (result.state != DeviceOpState::Done || !result.record) return false;
    if (result.slot < 0 || result.slot >= doc.Project().DeviceCountClamped()) return false;
    DeviceRecord& device = doc.Device(result.slot);
    if (kind == ProjectOpKind::Read) {
        std::memcpy(&device, result.record.get(), ConfigImageSize);
        doc.MarkUnsavedChanges(StepKind::ReadConfiguration, true);
        doc.DeviceState().Set(result.slot, doc.Project());
        return true;
    }
    if (kind == ProjectOpKind::Write) {
        // The project is unchanged; only what the device holds is known now.
        doc.DeviceState().Set(result.slot, doc.Project(), *result.record);
        return false;
    }
    if (kind == ProjectOpKind::EventLog) {
        device.eventCount = result.record->eventCount;
        std::memcpy(device.events, result.record->events, sizeof device.events);
        doc.MarkUnsavedChanges(StepKind::ReadEventLog, true);
        return true;
    }
    return false;
}

void AddToPortList(std::string& list, const std::string& port) {
    if (("," + list + ",").find("," + port + ",") == std::string::npos) list += (list.empty() ? "" : ",") + port;
}

}  // namespace corvix
