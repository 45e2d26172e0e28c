// SPDX-License-Identifier: Apache-2.0
// corvix-cli and the settings history, end to end with the simulated device: what the device
// and project commands record, the history commands, project check's exit codes, a broken
// history that never fails the device operation, and two clones shared through a server
// repository with the real git.
#include <sys/mount.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>

#include "history/history_support.h"
#include "test_cli_device_support.h"

namespace cli_device_test {
namespace {

using history_test::Git;
namespace sh = history_test;
using Json = nlohmann::json;

// A project of one device at the simulated device's address, with its own history folder.
struct Bench {
    history_test::TempDir dir;
    SimulatedDevice device;
    std::string project = dir / "p.mac";
    std::string history = dir / "history";

    Bench() { WriteProject(project, *MakeProject({1})); }
    Result Cli(std::vector<std::string> args, const std::string& folder = "") {
        args.push_back("--history");
        args.push_back(folder.empty() ? history : folder);
        return RunCli(args);
    }
    Result Read(const std::string& folder = "") {
        return Cli({"device", "read-config", project, "--port", device.Path()}, folder);
    }
    Json List(const std::string& folder = "") {
        const Result r = Cli({"history", "list", project, "--device", "0", "--json"}, folder);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return Json::parse(r.out, nullptr, false);
    }
    Result Check(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"project", "check", project, "--port", device.Path()};
        args.insert(args.end(), extra.begin(), extra.end());
        return Cli(args);
    }
};

std::vector<std::string> Operations(const Json& list) {
    std::vector<std::string> ops;
    for (const Json& s : list) ops.push_back(s.value("operation", ""));
    return ops;
}

TEST(CliHistory, ReadsWritesAndSavesAreListedNewestFirst) {
    Bench b;
    ASSERT_EQ(b.Cli({"project", "add-device", b.project, "second"}).exitCode, 0);  // a save; device 0 unchanged
    ASSERT_EQ(b.Read().exitCode, 0);
    ASSERT_EQ(b.Read().exitCode, 0);
    ASSERT_EQ(b.Cli({"device", "write-config", b.project, "--device", "0", "--port", b.device.Path()}).exitCode, 0);
    const Json list = b.List();
    ASSERT_TRUE(list.is_array()) << list;
    EXPECT_EQ(Operations(list), (std::vector<std::string>{"write", "check", "read", "save"}));
    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
    for (const Json& s : list) {
        EXPECT_TRUE(std::regex_match(s["time"].get<std::string>(), iso)) << s;
        EXPECT_FALSE(s["user"].get<std::string>().empty());
        EXPECT_EQ(s["port"], s["operation"] == "save" ? "" : b.device.Path());
        EXPECT_EQ(s["baseline"], false);
        EXPECT_EQ(s["rev"].get<std::string>().size(), 40u);
    }
    EXPECT_EQ(list[1]["changed"], 0);
    EXPECT_GT(list[2]["changed"], 0);  // the device's names differ from the new project's
    // Device 1, added by the first save, has a history of its own.
    const Result other = b.Cli({"history", "list", b.project, "--device", "1", "--json"});
    // It answers at the same address, so the reads took it too.
    EXPECT_EQ(Operations(Json::parse(other.out)), (std::vector<std::string>{"check", "read", "save"}));

    const std::string save = list[3]["rev"], read = list[2]["rev"];
    Result r = b.Cli({"history", "diff", b.project, "--device", "0", save, read, "--json"});
    EXPECT_EQ(r.exitCode, 6) << r.err;
    EXPECT_EQ(Json::parse(r.out)["differences"].size(), list[2]["changed"].get<std::size_t>());
    r = b.Cli({"history", "diff", b.project, "--device", "0", read});  // against the project now
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    r = b.Cli({"history", "show", b.project, "--device", "0", read, "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Json shown = Json::parse(r.out);
    EXPECT_EQ(shown["operation"], "read");
    EXPECT_EQ(shown["settings"]["format"], "corvix-device");
    r = b.Cli({"history", "show", b.project, "--device", "0", "0000000"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(Git(b.history, "status --porcelain"), "");
}

// Device 0's signal name 1 changed on the device itself, as a technician at the panel would.
void RenameOnDevice(SimulatedDevice& device, const char* name) {
    auto image = device.Device().Image();
    char* signal = reinterpret_cast<char*>(image.data()) + offsetof(corvix::DeviceRecord, signalNames);
    std::memset(signal, 0, corvix::SignalNameSize);
    std::strcpy(signal, name);
    device.Device().SetImage(image);
}

std::string DeviceName0(SimulatedDevice& device) {
    const auto image = device.Device().Image();
    return reinterpret_cast<const char*>(image.data()) + offsetof(corvix::DeviceRecord, signalNames);
}

// A recorded state taken back into the project: its settings, not its event log.
TEST(CliHistory, RestoreTakesAStateBackIntoTheProject) {
    Bench b;
    ASSERT_EQ(b.Read().exitCode, 0);
    const std::string first = b.List()[0]["rev"];
    const std::string original = DeviceName0(b.device);
    RenameOnDevice(b.device, "renamed at the panel");
    ASSERT_EQ(b.Read().exitCode, 0);
    auto project = LoadProject(b.project);
    ASSERT_STREQ(project->devices[0].signalNames[0], "renamed at the panel");
    project->devices[0].eventCount = 2;
    project->devices[0].events[1].year = 2026;
    WriteProject(b.project, *project);

    const Result r = b.Cli({"history", "restore", b.project, "--device", "0", first});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    project = LoadProject(b.project);
    EXPECT_EQ(std::string(project->devices[0].signalNames[0]), original);
    EXPECT_EQ(project->devices[0].eventCount, 2);
    EXPECT_EQ(project->devices[0].events[1].year, 2026);
    const Json list = b.List();
    EXPECT_EQ(Operations(list), (std::vector<std::string>{"restore", "read", "read"}));
    EXPECT_EQ(list[0]["changed"], 1);
    EXPECT_EQ(b.Cli({"history", "diff", b.project, "--device", "0", first}).exitCode, 0);
    EXPECT_EQ(b.Cli({"history", "restore", b.project, "--device", "0", "no-such-rev"}).exitCode, 3);
}

TEST(CliHistory, ProjectCheckExitCodes) {
    Bench b;
    ASSERT_EQ(b.Read().exitCode, 0);
    // The name of the first input as the device holds it at first.
    const std::string original = LoadProject(b.project)->devices[0].signalNames[0];
    struct Step {
        const char* what;
        std::function<void()> before;
        int exit;
        const char* result;
    } steps[] = {
        {"no baseline yet", nullptr, 5, "no-baseline"},
        {"baseline marked", [&] { ASSERT_EQ(b.Cli({"history", "baseline", b.project, "--device", "0"}).exitCode, 0); },
         0, "match"},
        {"changed behind the project's back", [&] { RenameOnDevice(b.device, "tampered"); }, 6, "drift"},
        {"changed back", [&] { RenameOnDevice(b.device, original.c_str()); }, 0, "match"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.before) step.before();
        const Result r = b.Check({"--json"});
        EXPECT_EQ(r.exitCode, step.exit) << r.out << r.err;
        const Json out = Json::parse(r.out, nullptr, false);
        EXPECT_EQ(out["result"], step.result) << r.out;
        if (step.exit == 6) {
            ASSERT_EQ(out["devices"][0]["differences"].size(), 1u);
            EXPECT_EQ(out["devices"][0]["differences"][0]["device"], "tampered");
        }
    }
    // Each check is recorded: a drifted one as a check with its changed field.
    const Json list = b.List();
    ASSERT_GE(list.size(), 4u);
    EXPECT_EQ(list[0]["operation"], "check");
    EXPECT_EQ(list[1]["operation"], "check");
    EXPECT_EQ(list[1]["changed"], 1);
    // The text form names the differing field, and the project file is left alone.
    const auto before = ReadAll(b.project);
    RenameOnDevice(b.device, "tampered");
    const Result text = b.Check({"--lang", "en"});
    EXPECT_EQ(text.exitCode, 6);
    EXPECT_NE(text.out.find("differs from its baseline"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("tampered"), std::string::npos) << text.out;
    EXPECT_EQ(ReadAll(b.project), before);
}

TEST(CliHistory, ProjectCheckOfADeviceThatDoesNotAnswerExitsOne) {
    Bench b;
    corvix::sim::SimOptions silent;
    silent.faults.silent = true;
    SimulatedDevice mute(silent);
    const Result r = RunCli({"project", "check", b.project, "--port", mute.Path(), "--history", b.history});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
}

// Whatever is wrong with the history, the device operation succeeds, and stderr says so once.
TEST(CliHistory, ABrokenHistoryNeverFailsTheRead) {
    Bench b;
    std::ofstream(b.dir / "plain-file") << "x";
    struct Case {
        const char* what;
        std::string folder;
        bool mountFull;
    } cases[] = {
        {"a folder that cannot be made", b.dir / "plain-file/history", false},
        {"a full disk", b.dir / "full", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.mountFull) {
            std::filesystem::create_directory(c.folder);
            if (geteuid() != 0 || mount("tmpfs", c.folder.c_str(), "tmpfs", 0, "size=256k") != 0) continue;
            ASSERT_EQ(sh::Run("git init -q --template= '" + c.folder + "/h' && dd if=/dev/zero of='" + c.folder +
                          "/fill' bs=4k 2>/dev/null; true").code, 0);
        }
        const std::string folder = c.mountFull ? c.folder + "/h" : c.folder;
        WriteProject(b.project, *MakeProject({1}));
        const Result r = b.Read(folder);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Count(r.err, "\n"), 1) << r.err;
        EXPECT_NE(r.err.find("could not be recorded"), std::string::npos) << r.err;
        EXPECT_EQ(std::string(LoadProject(b.project)->devices[0].signalNames[0]), DeviceName0(b.device));
        if (c.mountFull) umount2(c.folder.c_str(), MNT_DETACH);
    }
    // --no-history: nothing made, nothing said.
    const Result off = RunCli({"device", "read-config", b.project, "--port", b.device.Path(), "--history",
                               b.dir / "never", "--no-history"});
    EXPECT_EQ(off.exitCode, 0);
    EXPECT_EQ(off.err, "");
    EXPECT_FALSE(std::filesystem::exists(b.dir / "never"));
}

// A team's history: a bare repository as the server, two clones recording reads while the
// other one does, shared with the real git's push and pull.
TEST(CliHistory, TwoClonesShareTheirStatesThroughAServer) {
    Bench b;
    const std::string server = b.dir / "server.git", one = b.dir / "one", two = b.dir / "two";
    const std::string git = "git -c user.name=T -c user.email=t@example.org ";
    auto in = [&](const std::string& clone, const std::string& args) {
        const history_test::Shell r = sh::Run(git + "-C '" + clone + "' " + args);
        EXPECT_EQ(r.code, 0) << args << ": " << r.out;
    };
    ASSERT_EQ(sh::Run(git + "init -q --bare -b main '" + server + "'").code, 0);
    ASSERT_EQ(sh::Run(git + "clone -q '" + server + "' '" + one + "'").code, 0);
    in(one, "symbolic-ref HEAD refs/heads/main");
    ASSERT_EQ(b.Read(one).exitCode, 0);
    in(one, "push -q origin main");
    ASSERT_EQ(sh::Run(git + "clone -q '" + server + "' '" + two + "'").code, 0);

    const std::string original = DeviceName0(b.device);
    RenameOnDevice(b.device, "changed in bay two");
    ASSERT_EQ(b.Read(two).exitCode, 0);
    in(two, "push -q origin main");
    // Meanwhile the first clone checks the device, still holding the first state.
    RenameOnDevice(b.device, original.c_str());
    ASSERT_EQ(b.Read(one).exitCode, 0);
    in(one, "pull -q --no-rebase --no-edit origin main");
    in(one, "push -q origin main");
    in(two, "pull -q --no-rebase --no-edit origin main");
    for (const std::string& clone : {one, two}) {
        SCOPED_TRACE(clone);
        std::vector<std::string> ops = Operations(b.List(clone));
        std::sort(ops.begin(), ops.end());
        EXPECT_EQ(ops, (std::vector<std::string>{"check", "read", "read"}));
        EXPECT_EQ(sh::Run("git -C '" + clone + "' fsck --strict").code, 0);
        EXPECT_EQ(Git(clone, "status --porcelain"), "");
    }
}

}  // namespace
}  // namespace cli_device_test
