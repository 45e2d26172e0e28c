// SPDX-License-Identifier: Apache-2.0
// The settings history: what each operation records, how devices are known, the baseline,
// and two writers at once, checked with the real git.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "history/device_key.h"
#include "history/recorder.h"
#include "history/repository.h"
#include "history/trailers.h"
#include "history_support.h"

namespace corvix::history {
namespace {

using history_test::Git;
using history_test::Project;
using history_test::TempDir;

Settings In(const std::string& folder) {
    Settings s;
    s.folder = folder;
    s.program = "corvix-test 1";
    s.author = Author{"Test Engineer", "test@example.org"};
    return s;
}

// Each step changes the project (or not), records, and says what device 0's newest state is.
struct Step {
    const char* what;
    std::function<void(ProjectBlock&)> change;
    Operation operation;
    bool recorded;          // a new state of device 0
    const char* listedAs;   // its operation in the list
    int changed;
};

TEST(HistoryStates, EachOperationIsRecordedAndAnIdenticalReadIsACheckOnly) {
    TempDir dir;
    auto project = Project(1);
    Recorder recorder(In(dir / "h"));
    const ProjectIdentity id = recorder.Identify(*project, dir / "p.mac", true);
    const std::string path = Recorder::DevicePath(*project, 0, id);
    const Step steps[] = {
        {"first read", nullptr, Operation::Read, true, "read", -1},
        {"identical read", nullptr, Operation::Read, true, "check", 0},
        {"read of a changed address", [](ProjectBlock& p) { p.devices[0].address = 9; }, Operation::Read, true, "read", 1},
        {"write", [](ProjectBlock& p) { p.devices[0].baudRate[0] = 9600; }, Operation::Write, true, "write", 1},
        {"save without changes", nullptr, Operation::Save, false, "", 0},
        {"save of two changed signal names",
         [](ProjectBlock& p) {
             std::strcpy(p.devices[0].signalNames[0], "breaker");
             std::strcpy(p.devices[0].signalNames[1], "isolator");
         },
         Operation::Save, true, "save", 2},
        {"event log read: no settings change", [](ProjectBlock& p) { p.devices[0].eventCount = 3; }, Operation::Save,
         false, "", 0},
    };
    std::size_t expected = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.change) step.change(*project);
        std::string rev;
        if (step.operation == Operation::Save)
            rev = recorder.RecordSave(*project, id);
        else if (step.operation == Operation::Write)
            rev = recorder.RecordWrite(*project, 0, id, "/dev/ttyS3");
        else
            rev = recorder.RecordRead(*project, {0}, id, "/dev/ttyS3");
        EXPECT_EQ(!rev.empty(), step.recorded);
        std::string error;
        auto states = recorder.Repo(false)->States(path, error);
        ASSERT_TRUE(states) << error;
        if (step.recorded) ++expected;
        ASSERT_EQ(states->size(), expected);
        if (!step.recorded) continue;
        const State& newest = states->front();
        EXPECT_EQ(newest.rev, rev);
        EXPECT_EQ(newest.operation, step.listedAs);
        if (step.changed >= 0) {
            EXPECT_EQ(newest.changed, step.changed);
        } else {
            EXPECT_GT(newest.changed, 10);  // every field of a new device
        }
        EXPECT_EQ(newest.user, "Test Engineer");
        EXPECT_EQ(newest.port, step.operation == Operation::Save ? "" : "/dev/ttyS3");
    }
    const std::string repo = dir / "h";
    // The check made no new tree; every commit is sound and the working folder is clean.
    const std::string log = Git(repo, "log --format=%T");
    const std::string trees[] = {Git(repo, "rev-parse HEAD~3^{tree}"), Git(repo, "rev-parse HEAD~4^{tree}")};
    EXPECT_EQ(trees[0], trees[1]);
    EXPECT_EQ(Git(repo, "status --porcelain"), "");
    EXPECT_EQ(history_test::Run("git -C '" + repo + "' fsck --full --strict").code, 0);
    // The file holds the device's canonical JSON, event log left out.
    auto restored = RecordFromSettings(Git(repo, "show HEAD:" + path));
    ASSERT_TRUE(restored);
    EXPECT_STREQ(restored->signalNames[1], "isolator");
    EXPECT_EQ(restored->address, 9);
    EXPECT_EQ(restored->eventCount, 0);
}

TEST(HistoryStates, TrailersAreWhatGitParses) {
    TempDir dir;
    auto project = Project(3);
    Recorder recorder(In(dir / "h"));
    const ProjectIdentity id = recorder.Identify(*project, dir / "p.mac", true);
    ASSERT_FALSE(recorder.RecordRead(*project, {0, 2}, id, "tcp://bay\n3:4001").empty());
    const std::string repo = dir / "h";
    EXPECT_EQ(Git(repo, "log -1 --format='%(trailers:key=Corvix-Operation,valueonly)'"), "read\n\n");
    EXPECT_EQ(Git(repo, "log -1 --format='%(trailers:key=Corvix-Port,valueonly)'"), "tcp://bay 3:4001\n\n");
    EXPECT_EQ(Git(repo, "log -1 --format='%(trailers:key=Corvix-Version,valueonly)'"), "corvix-test 1\n\n");
    const std::string devices = Git(repo, "log -1 --format='%(trailers:key=Corvix-Device,valueonly)'");
    EXPECT_NE(devices.find(" " + Recorder::DevicePath(*project, 0, id) + "\n"), std::string::npos) << devices;
    EXPECT_NE(devices.find(" " + Recorder::DevicePath(*project, 2, id) + "\n"), std::string::npos) << devices;
    EXPECT_EQ(devices.find(Recorder::DevicePath(*project, 1, id)), std::string::npos) << devices;
    EXPECT_EQ(Git(repo, "log -1 --format=%s"), "read 1, 3 on tcp://bay 3:4001\n");
    EXPECT_EQ(Git(repo, "log -1 --format=%an/%ae"), "Test Engineer/test@example.org\n");
}

TEST(HistoryIdentity, DevicesAreKnownBySerialElseByProjectAndSlot) {
    TempDir dir;
    auto a = Project(2);
    auto b = Project(2);
    std::strcpy(a->devices[1].deviceType, "RX/2");
    std::strcpy(a->devices[1].serialNumber, "  SN 0042 ");
    Recorder recorder(In(dir / "h"));
    const ProjectIdentity ia = recorder.Identify(*a, dir / "a.mac", true);
    const ProjectIdentity ib = recorder.Identify(*b, dir / "b.mac", true);
    ASSERT_TRUE(IsProjectId(ia.id));
    ASSERT_TRUE(IsProjectId(ib.id));
    // Two projects' device "1" stay apart; a device with a serial number is the same device in any project.
    EXPECT_NE(Recorder::DevicePath(*a, 0, ia), Recorder::DevicePath(*b, 0, ib));
    EXPECT_EQ(Recorder::DevicePath(*a, 0, ia), "projects/" + ia.id + "/0.json");
    EXPECT_EQ(Recorder::DevicePath(*a, 1, ia), "devices/RX_2/SN_0042.json");
    EXPECT_EQ(Recorder::DevicePath(*a, 1, ib), "devices/RX_2/SN_0042.json");
    // A copied device with the same type and serial: neither may write the other's file.
    b->devices[0] = b->devices[1] = a->devices[1];
    EXPECT_EQ(Recorder::DevicePath(*b, 0, ib), "projects/" + ib.id + "/0.json");
    EXPECT_EQ(Recorder::DevicePath(*b, 1, ib), "projects/" + ib.id + "/1.json");
    // The id is kept beside the file and read back.
    EXPECT_EQ(recorder.Identify(*a, dir / "a.mac", true).id, ia.id);

    // Moved without the file beside it: found again by the recorded content.
    ASSERT_FALSE(recorder.RecordSave(*a, ia).empty());
    std::filesystem::remove(SidecarPath(dir / "a.mac"));
    EXPECT_EQ(recorder.Identify(*a, dir / "moved.mac", false).id, ia.id);
    // A project whose devices differ from every recorded one is new, and only made with `create`.
    a->devices[0].address = 77;
    EXPECT_EQ(recorder.Identify(*a, dir / "other.mac", false).id, "");
    const std::string fresh = recorder.Identify(*a, dir / "other.mac", true).id;
    EXPECT_TRUE(IsProjectId(fresh));
    EXPECT_NE(fresh, ia.id);
}

TEST(HistoryBaseline, MarkedStateIsListedAndReadBack) {
    TempDir dir;
    auto project = Project(1);
    Recorder recorder(In(dir / "h"));
    const ProjectIdentity id = recorder.Identify(*project, dir / "p.mac", true);
    const std::string first = recorder.RecordRead(*project, {0}, id, "p");
    project->devices[0].address = 5;
    const std::string second = recorder.RecordRead(*project, {0}, id, "p");
    Repository& repo = *recorder.Repo(false);
    const std::string path = Recorder::DevicePath(*project, 0, id);
    EXPECT_FALSE(repo.Baseline(path));
    std::string error;
    ASSERT_TRUE(repo.SetBaseline(path, first, error)) << error;
    EXPECT_EQ(repo.Baseline(path), first);
    auto states = repo.States(path, error);
    ASSERT_EQ(states->size(), 2u);
    EXPECT_FALSE((*states)[0].baseline);
    EXPECT_TRUE((*states)[1].baseline);
    auto at = repo.StateAt(*repo.Baseline(path), path, error);
    ASSERT_TRUE(at);
    EXPECT_EQ(RecordFromSettings(at->second)->address, 1);
    // The baseline is a tag real git sees; an unknown revision is refused.
    EXPECT_EQ(Git(dir / "h", "rev-parse baseline/" + path.substr(0, path.size() - 5)), first + "\n");
    EXPECT_FALSE(repo.SetBaseline(path, "no-such-rev", error));
    ASSERT_TRUE(repo.SetBaseline(path, "HEAD", error)) << error;
    EXPECT_EQ(repo.Baseline(path), second);
}

// The list is kept in a cache beside the objects; whatever happens to the branch or the
// cache, the list is what the commits say.
TEST(HistoryStates, ListingFollowsTheBranchWhateverTheCacheHolds) {
    TempDir dir;
    auto project = Project(1);
    Recorder recorder(In(dir / "h"));
    const ProjectIdentity id = recorder.Identify(*project, dir / "p.mac", true);
    const std::string path = Recorder::DevicePath(*project, 0, id);
    const std::string repo = dir / "h";
    auto read = [&](int address) {
        project->devices[0].address = static_cast<int16_t>(address);
        return recorder.RecordRead(*project, {0}, id, "p");
    };
    auto revs = [&] {
        std::string error;
        std::vector<std::string> out;
        const auto states = recorder.Repo(false)->States(path, error);
        EXPECT_TRUE(states) << error;
        for (const State& s : states.value_or(std::vector<State>{})) out.push_back(s.rev);
        return out;
    };
    const std::string a = read(1), b = read(2);
    EXPECT_EQ(revs(), (std::vector<std::string>{b, a}));  // made the cache
    const std::string c = read(3);
    EXPECT_EQ(revs(), (std::vector<std::string>{c, b, a}));  // only c walked
    history_test::Run("git -C '" + repo + "' reset -q --hard " + a);
    EXPECT_EQ(revs(), (std::vector<std::string>{a}));  // rewritten under the cache
    const std::string d = read(4);
    for (const std::string& damage : {std::string("garbage"), "corvix-states 1 " + std::string(40, '0') + "\n"}) {
        for (const auto& f : std::filesystem::directory_iterator(repo + "/.git/corvix-states"))
            std::ofstream(f.path(), std::ios::trunc) << damage;
        EXPECT_EQ(revs(), (std::vector<std::string>{d, a})) << damage;
    }
}

TEST(HistoryTime, IsoTimesCarryTheRecordersOffset) {
    const struct {
        int64_t time;
        int offset;
        const char* text;
    } cases[] = {
        {0, 0, "1970-01-01T00:00:00+00:00"},
        {1733724000, 480, "2024-12-09T14:00:00+08:00"},
        {1733724000, -330, "2024-12-09T00:30:00-05:30"},
    };
    for (const auto& c : cases) EXPECT_EQ(IsoTime(c.time, c.offset), c.text);
}

// Two processes record at the same time, each its own device, many times: no commit is lost
// and the repository stays sound.
TEST(HistoryConcurrency, TwoProcessesRecordingAtOnceLoseNothing) {
    TempDir dir;
    const std::string folder = dir / "h";
    constexpr int PerProcess = 40;
    {
        auto project = Project(2);
        Recorder recorder(In(folder));
        ASSERT_NE(recorder.Repo(true), nullptr);  // both start on one existing repository
    }
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            auto project = Project(2);
            Recorder recorder(In(folder));
            const ProjectIdentity id{dir / "p.mac", std::string(32, static_cast<char>('a' + c))};
            int failures = 0;
            for (int i = 0; i < PerProcess; ++i) {
                project->devices[c].address = static_cast<int16_t>(100 + i);
                if (recorder.RecordRead(*project, {c}, id, "port" + std::to_string(c)).empty()) ++failures;
            }
            _exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(history_test::Run("git -C '" + folder + "' fsck --full --strict").code, 0);
    EXPECT_EQ(Git(folder, "rev-list --count HEAD"), std::to_string(2 * PerProcess) + "\n");
    for (char c : {'a', 'b'}) {
        const std::string log = Git(folder, "log --format=%H -- projects/" + std::string(32, c));
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), PerProcess);
    }
    EXPECT_EQ(Git(folder, "status --porcelain"), "");
}

}  // namespace
}  // namespace corvix::history
