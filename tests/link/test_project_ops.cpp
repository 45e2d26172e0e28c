// SPDX-License-Identifier: Apache-2.0
// Operations over several devices: ports in parallel, one port device after device, a failed
// device leaving the others alone, Cancel, Retry Failed, the address check, the cable prompt
// and what reaches the document. Ports are fakes answered by the simulated device in process;
// the time a device takes comes from an injected clock.
#include <gtest/gtest.h>
#include <poll.h>

#include <condition_variable>
#include <cstring>
#include <set>
#include <deque>
#include <map>
#include <mutex>

#include "devsim/sim_device.h"
#include "fakes/fake_serial_port.h"
#include "fakes/loopback_listener.h"
#include "link/project_ops.h"
#include "model/compare.h"
#include "model/gbk.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;

// What every fake port of a test shares: the simulated device behind each port name, how many
// ports are open at once, and a gate that holds replies until enough requests are waiting.
struct Wire {
    std::mutex lock;
    std::condition_variable changed;
    std::map<std::string, std::shared_ptr<sim::SimDevice>> devices;
    std::map<std::string, int> openErrors;  // port name -> errno its open fails with
    std::set<std::string> silent;
    int openNow = 0, openMost = 0;
    std::vector<std::string> opened;  // in order
    int gate = 0;                     // replies wait until this many ports have sent a request
    std::set<std::string> requested;

    bool WaitForRequest() {
        std::unique_lock<std::mutex> g(lock);
        return changed.wait_for(g, 10s, [this] { return !requested.empty(); });
    }
};

class SimPort : public FakeSerialPort {
  public:
    SimPort(Wire& wire, std::string name) : wire_(wire), name_(std::move(name)) {}
    ~SimPort() override { Close(); }
    bool Open(const std::string& path) override {
        {
            std::lock_guard<std::mutex> g(wire_.lock);
            const auto e = wire_.openErrors.find(name_);
            FailOpen(e == wire_.openErrors.end() ? 0 : e->second);
        }
        if (!FakeSerialPort::Open(path)) return false;
        std::lock_guard<std::mutex> g(wire_.lock);
        wire_.openMost = std::max(wire_.openMost, ++wire_.openNow);
        wire_.opened.push_back(name_);
        counted_ = true;
        return true;
    }
    void Close() override {
        if (counted_) {
            std::lock_guard<std::mutex> g(wire_.lock);
            --wire_.openNow;
            counted_ = false;
        }
        FakeSerialPort::Close();
    }
    std::size_t Write(const uint8_t* bytes, std::size_t length, int cancelFd) override {
        const std::size_t n = FakeSerialPort::Write(bytes, length, cancelFd);
        std::shared_ptr<sim::SimDevice> device;
        {
            std::unique_lock<std::mutex> g(wire_.lock);
            wire_.requested.insert(name_);
            wire_.changed.notify_all();
            // A port that has to wait for the others proves they are open at the same time.
            wire_.changed.wait_for(g, 5s, [this] { return static_cast<int>(wire_.requested.size()) >= wire_.gate; });
            if (wire_.silent.count(name_) != 0) return n;
            device = wire_.devices[name_];
        }
        const std::vector<uint8_t> reply = device->HandleRequest(bytes, length);
        if (!reply.empty()) Feed(reply.data(), reply.size());
        return n;
    }

  private:
    Wire& wire_;
    std::string name_;
    bool counted_ = false;
};

// The host's loop: posted work runs when the test pumps it.
class Host {
  public:
    ProjectOperation::PostFn Post() {
        return [this](std::function<void()> fn) {
            std::lock_guard<std::mutex> g(lock_);
            queue_.push_back(std::move(fn));
            ready_.notify_all();
        };
    }
    bool RunUntil(const std::function<bool()>& done) {
        while (!done()) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> g(lock_);
                if (!ready_.wait_for(g, 10s, [this] { return !queue_.empty(); })) return false;
                fn = std::move(queue_.front());
                queue_.pop_front();
            }
            fn();
        }
        return true;
    }

  private:
    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
};

class ProjectOps : public ::testing::Test {
  protected:
    // Device `slot` at `address` behind `port`, whose simulated device answers with `simAddress`.
    void AddDevice(int slot, int address, const std::string& port, int simAddress = -1) {
        DeviceTarget t;
        t.slot = slot;
        t.nameGbk = Utf8ToGbk("装置 " + std::to_string(slot));
        t.address = address;
        t.line.portName = port;
        auto rec = std::make_shared<DeviceRecord>();
        InitialiseNewDevice(*rec, t.nameGbk.c_str(), LangEnglish);
        rec->address = static_cast<int16_t>(address);
        t.record = rec;
        targets.push_back(t);
        if (wire.devices.count(port) == 0) {
            sim::DeviceSetup setup;
            setup.address = simAddress >= 0 ? simAddress : address;
            setup.initialEvents = 3 + slot;
            wire.devices[port] = std::make_shared<sim::SimDevice>(setup);
        }
    }

    std::unique_ptr<ProjectOperation> Make(ProjectOpKind kind, int jobs = 8) {
        ProjectOperation::Options options;
        options.maxJobs = jobs;
        options.now = [this] { return ProjectOperation::Clock::time_point(fakeMs.fetch_add(10) * 1ms); };
        options.portFactory = [this](const SerialSettings& line) {
            return std::make_shared<SimPort>(wire, line.portName);
        };
        options.guide = guide;
        ProjectOperation::Hooks hooks;
        hooks.post = host.Post();
        hooks.ended = [this](const DeviceOpResult& r) { ended.push_back(r); };
        hooks.finished = [this] { ++finished; };
        return std::make_unique<ProjectOperation>(kind, targets, options, hooks);
    }

    bool RunToEnd(ProjectOperation&) {
        const int before = finished;
        return host.RunUntil([&] { return finished > before; });
    }

    const DeviceOpResult& Row(const ProjectOperation& op, int slot) {
        for (const DeviceOpResult& r : op.Results())
            if (r.slot == slot) return r;
        throw std::runtime_error("no row");
    }

    Wire wire;
    Host host;
    std::vector<DeviceTarget> targets;
    std::vector<DeviceOpResult> ended;
    int finished = 0;
    std::atomic<long long> fakeMs{0};
    std::function<void(const DeviceTarget&, std::function<void(GuideAnswer)>)> guide;
};

TEST_F(ProjectOps, DifferentPortsRunAtTheSameTimeUpToTheLimit) {
    for (int i = 0; i < 4; ++i) AddDevice(i, i + 1, "tcp://server:" + std::to_string(4001 + i));
    for (const int jobs : {4, 2}) {
        SCOPED_TRACE(jobs);
        wire.openMost = 0;
        wire.requested.clear();
        wire.gate = jobs;  // each reply waits until `jobs` ports have asked
        auto op = Make(ProjectOpKind::Read, jobs);
        op->Start();
        ASSERT_TRUE(RunToEnd(*op));
        EXPECT_EQ(wire.openMost, jobs);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(Row(*op, i).state, DeviceOpState::Done);
            EXPECT_GT(Row(*op, i).segmentsDone, 0);
            EXPECT_GT(Row(*op, i).ms, 0);  // from the injected clock
        }
    }
}

TEST_F(ProjectOps, DevicesOnOnePortRunOneAfterAnotherInTheirOrder) {
    AddDevice(2, 1, "tcp://a:1");
    AddDevice(0, 1, "tcp://b:1");
    AddDevice(5, 1, "tcp://a:1");
    AddDevice(7, 1, "tcp://a:1");
    auto op = Make(ProjectOpKind::Compare);
    op->Start();
    ASSERT_TRUE(RunToEnd(*op));
    std::vector<std::string> onA;
    for (const std::string& p : wire.opened)
        if (p == "tcp://a:1") onA.push_back(p);
    EXPECT_EQ(onA.size(), 3u);
    EXPECT_LE(wire.openMost, 2);
    std::vector<int> aOrder;
    for (const DeviceOpResult& r : ended)
        if (r.slot != 0) aOrder.push_back(r.slot);
    EXPECT_EQ(aOrder, (std::vector<int>{2, 5, 7}));
    ASSERT_EQ(ended.size(), 4u);
}

TEST_F(ProjectOps, AFailedDeviceLeavesTheOthersAndRetryRunsOnlyIt) {
    AddDevice(0, 1, "tcp://a:1");
    AddDevice(1, 2, "tcp://b:1");
    AddDevice(2, 3, "tcp://c:1");
    wire.openErrors["tcp://b:1"] = ECONNREFUSED;
    auto op = Make(ProjectOpKind::ClockCheck);
    op->Start();
    ASSERT_TRUE(RunToEnd(*op));
    EXPECT_EQ(Row(*op, 0).state, DeviceOpState::Done);
    EXPECT_TRUE(Row(*op, 0).offsetMs.has_value());
    EXPECT_EQ(Row(*op, 1).state, DeviceOpState::Failed);
    EXPECT_EQ(Row(*op, 1).failure, DeviceOpFailure::PortOpen);
    EXPECT_EQ(Row(*op, 2).state, DeviceOpState::Done);

    wire.openErrors.clear();
    wire.opened.clear();
    ended.clear();
    ASSERT_TRUE(op->RetryFailed());
    ASSERT_TRUE(RunToEnd(*op));
    EXPECT_EQ(wire.opened, (std::vector<std::string>{"tcp://b:1"}));
    EXPECT_EQ(Row(*op, 1).state, DeviceOpState::Done);
    EXPECT_EQ(Row(*op, 0).state, DeviceOpState::Done);
    EXPECT_FALSE(op->RetryFailed());  // nothing failed any more
}

TEST_F(ProjectOps, CancelEndsTheRunningDeviceAndSkipsTheWaitingOnes) {
    AddDevice(0, 1, "tcp://a:1");
    AddDevice(1, 1, "tcp://a:1");
    AddDevice(2, 1, "tcp://a:1");
    wire.silent.insert("tcp://a:1");
    auto op = Make(ProjectOpKind::Read);
    ProjectOperation* raw = op.get();
    op->Start();
    // Once the first device is waiting for its silent answer, cancel.
    ASSERT_TRUE(host.RunUntil([&] { return Row(*raw, 0).state == DeviceOpState::Working; }));
    ASSERT_TRUE(wire.WaitForRequest());
    op->Cancel();
    ASSERT_TRUE(RunToEnd(*op));
    EXPECT_EQ(Row(*op, 0).state, DeviceOpState::Failed);
    EXPECT_EQ(Row(*op, 0).failure, DeviceOpFailure::Cancelled);
    for (int slot : {1, 2}) {
        EXPECT_EQ(Row(*op, slot).state, DeviceOpState::Skipped);
        EXPECT_EQ(Row(*op, slot).failure, DeviceOpFailure::Cancelled);
    }
    EXPECT_EQ(wire.opened.size(), 1u);
}

// A serial server that takes the connection and never answers the RFC 2217 offer: Cancel ends
// the wait at once, and the row says cancelled rather than that the port could not be opened.
TEST_F(ProjectOps, CancelCallsOffANetworkPortStillConnecting) {
    test::LoopbackListener silent;
    ASSERT_TRUE(silent.Ok());
    AddDevice(0, 1, "rfc2217://" + silent.Where());
    ProjectOperation::Options options;  // the real network port, by its name
    ProjectOperation::Hooks hooks;
    hooks.post = host.Post();
    hooks.finished = [this] { ++finished; };
    ProjectOperation op(ProjectOpKind::Read, targets, options, hooks);
    op.Start();
    // Cancelled once the connection waits in the server's backlog: the open is under way.
    pollfd pending{silent.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&pending, 1, 10000), 1);
    op.Cancel();
    ASSERT_TRUE(RunToEnd(op));
    EXPECT_EQ(Row(op, 0).state, DeviceOpState::Failed);
    EXPECT_EQ(Row(op, 0).failure, DeviceOpFailure::Cancelled);
}

TEST_F(ProjectOps, AReadFromAnotherAddressIsNotStoredAndEachGoodOneIsOneStep) {
    CBrondaleDoc doc;
    doc.NewProject();
    doc.Project().deviceCount = 2;
    for (int i = 0; i < 2; ++i) {
        InitialiseNewDevice(doc.Device(i), "x", LangEnglish);
        doc.Device(i).address = static_cast<int16_t>(i == 0 ? 4 : 5);
    }
    doc.SaveProject();  // no path: nothing written; the baseline is what it is
    AddDevice(0, 4, "tcp://a:1");
    AddDevice(1, 5, "tcp://b:1", 9);  // the cable is on the device with address 9
    auto op = Make(ProjectOpKind::Read);
    int applied = 0;
    op->Start();
    ASSERT_TRUE(RunToEnd(*op));
    for (const DeviceOpResult& r : ended) applied += ApplyDeviceResult(doc, ProjectOpKind::Read, r);
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(Row(*op, 1).failure, DeviceOpFailure::WrongAddress);
    EXPECT_EQ(Row(*op, 1).answeredAddress, 9);
    EXPECT_EQ(Row(*op, 1).record, nullptr);
    EXPECT_EQ(doc.Device(1).address, 5);
    // Device 0 now holds the device's image, as one step that undo takes back.
    const sim::ConfigImage image = wire.devices["tcp://a:1"]->Image();
    EXPECT_EQ(std::memcmp(&doc.Device(0), image.data(), ConfigImageSize), 0);
    EXPECT_TRUE(doc.HasUnsavedChanges() || !doc.ProjectOpen());
    // What the device holds is known for the device read, not for the refused one.
    ASSERT_NE(doc.DeviceState().StateOf(0), nullptr);
    EXPECT_EQ(std::memcmp(doc.DeviceState().StateOf(0), image.data(), ConfigImageSize), 0);
    EXPECT_EQ(doc.DeviceState().StateOf(1), nullptr);
    ASSERT_TRUE(doc.CanUndo());
    doc.Undo();
    EXPECT_EQ(std::string(doc.Device(0).name), "x");
}

TEST_F(ProjectOps, WriteEventLogsAndClockSetReachTheDevices) {
    AddDevice(0, 1, "tcp://a:1");
    AddDevice(1, 2, "tcp://b:1");
    CopyTextField(const_cast<DeviceRecord&>(*targets[0].record).name, DeviceNameSize, "written");
    auto write = Make(ProjectOpKind::Write);
    write->Start();
    ASSERT_TRUE(RunToEnd(*write));
    EXPECT_EQ(Row(*write, 0).state, DeviceOpState::Done);
    EXPECT_EQ(Row(*write, 0).segmentsTotal, Row(*write, 0).segmentsDone);
    const sim::ConfigImage image = wire.devices["tcp://a:1"]->Image();
    EXPECT_EQ(std::memcmp(image.data(), targets[0].record.get(), ConfigImageSize), 0);
    {
        // Edited while the write ran: the device holds what was sent, so the edit differs from it.
        CBrondaleDoc edited;
        edited.NewProject();
        edited.Project().deviceCount = 2;
        edited.Device(0) = *targets[0].record;
        edited.Device(0).address = static_cast<int16_t>(edited.Device(0).address + 1);
        EXPECT_FALSE(ApplyDeviceResult(edited, ProjectOpKind::Write, Row(*write, 0)));
        ASSERT_NE(edited.DeviceState().StateOf(0), nullptr);
        EXPECT_EQ(std::memcmp(edited.DeviceState().StateOf(0), image.data(), ConfigImageSize), 0);
        EXPECT_FALSE(edited.DeviceState().Changed(edited.Project(), 0, LangEnglish).empty());
    }

    CBrondaleDoc doc;
    doc.NewProject();
    doc.Project().deviceCount = 2;
    auto events = Make(ProjectOpKind::EventLog);
    events->Start();
    ASSERT_TRUE(RunToEnd(*events));
    for (const DeviceOpResult& r : ended) ApplyDeviceResult(doc, ProjectOpKind::EventLog, r);
    EXPECT_EQ(doc.Device(0).eventCount, 3);
    EXPECT_EQ(doc.Device(1).eventCount, 4);

    auto clock = Make(ProjectOpKind::ClockSet);
    clock->Start();
    ASSERT_TRUE(RunToEnd(*clock));
    for (int slot : {0, 1}) {
        ASSERT_TRUE(Row(*clock, slot).offsetMs.has_value());
        EXPECT_LT(std::llabs(*Row(*clock, slot).offsetMs), 2000);
    }
}

TEST_F(ProjectOps, OneCableIsMovedFromDeviceToDeviceOnTheUsersWord) {
    for (int i = 0; i < 4; ++i) AddDevice(i, i + 1, "/dev/ttyUSB0");
    std::vector<int> asked;
    std::deque<GuideAnswer> answers = {GuideAnswer::Continue, GuideAnswer::Skip, GuideAnswer::Continue,
                                       GuideAnswer::Cancel};
    guide = [&](const DeviceTarget& t, std::function<void(GuideAnswer)> answer) {
        asked.push_back(t.slot);
        // Each device's own simulated device sits behind the one cable now.
        wire.devices["/dev/ttyUSB0"] = std::make_shared<sim::SimDevice>(sim::DeviceSetup{.address = t.address});
        answer(answers.front());
        answers.pop_front();
    };
    auto op = Make(ProjectOpKind::Read);
    op->Start();
    ASSERT_TRUE(RunToEnd(*op));
    EXPECT_EQ(asked, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(Row(*op, 0).state, DeviceOpState::Done);
    EXPECT_EQ(Row(*op, 1).failure, DeviceOpFailure::SkippedByUser);
    EXPECT_EQ(Row(*op, 2).state, DeviceOpState::Done);
    EXPECT_EQ(Row(*op, 3).failure, DeviceOpFailure::Cancelled);
    EXPECT_EQ(Row(*op, 3).state, DeviceOpState::Skipped);
}

}  // namespace
}  // namespace corvix
