// SPDX-License-Identifier: Apache-2.0
// corvix-cli project connect | connections | read | compare | write | clock | events against
// several simulated devices, each on its own pseudo-terminal, and through one real ser2net
// with a port per device: exit codes, JSON and what reaches the project file.
#include <fstream>
#include <nlohmann/json.hpp>

#include "fakes/ser2net_ports.h"
#include "model/merged_events.h"
#include "model/project_connections.h"
#include "test_cli_device_support.h"

namespace {

using namespace corvix;
using namespace cli_device_test;
using Json = nlohmann::json;

// Simulated devices with the given addresses, each started as corvix-devsim on a pty.
class Devices {
  public:
    explicit Devices(const std::vector<int>& addresses, const std::vector<std::string>& extra = {}) {
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            std::vector<std::string> args = {"--address", std::to_string(addresses[i]), "--change-every-ms", "0",
                                             "--english", "--events", std::to_string(2 + i), "--seed",
                                             std::to_string(11 + i)};
            args.insert(args.end(), extra.begin(), extra.end());
            sims_.push_back(std::make_unique<test::Program>(test::BuiltProgram("corvix-devsim"), args));
            paths_.push_back(sims_.back()->FirstLine(WaitMs));
        }
    }
    bool Ok() const {
        for (const std::string& p : paths_)
            if (p.empty()) return false;
        return true;
    }
    const std::string& Path(std::size_t i) const { return paths_[i]; }
    std::size_t Size() const { return paths_.size(); }

  private:
    std::vector<std::unique_ptr<test::Program>> sims_;
    std::vector<std::string> paths_;
};

class CliProjectOps : public ::testing::Test {
  protected:
    void SetUp() override {
        file = dir.File("plant.mac");
        sidecar = dir.File("plant.corvix.json");
        WriteProject(file, *MakeProject({1, 2, 3}));
    }
    void Connect(const std::vector<std::string>& ports) {
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const Result r = RunCli({"project", "connect", file, "--device", std::to_string(i), "--port", ports[i]});
            ASSERT_EQ(r.exitCode, 0) << r.err;
        }
    }
    static Json Parse(const Result& r) {
        const Json j = Json::parse(r.out, nullptr, false);
        EXPECT_FALSE(j.is_discarded()) << r.out << r.err;
        return j;
    }

    TempDir dir;
    std::string file, sidecar;
};

TEST_F(CliProjectOps, ConnectionsAreSetListedAndRemovedBesideTheProject) {
    const Bytes before = ReadAll(file);
    const Result set = RunCli({"project", "connect", file, "--device", "1", "--port", "rfc2217://srv:4002", "--baud",
                               "9600", "--parity", "even", "--stop-bits", "2"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(ReadAll(file), before);  // the project file stays as it is
    Json list = Parse(RunCli({"project", "connections", file, "--json"}));
    ASSERT_EQ(list["devices"].size(), 3u);
    EXPECT_TRUE(list["devices"][0]["port"].is_null());
    EXPECT_EQ(list["devices"][1]["port"], "rfc2217://srv:4002");
    EXPECT_EQ(list["devices"][1]["baud"], 9600);
    EXPECT_EQ(list["devices"][1]["parity"], "even");
    EXPECT_EQ(list["devices"][1]["stopBits"], "2");
    ASSERT_EQ(RunCli({"project", "connect", file, "--device", "1", "--common"}).exitCode, 0);
    list = Parse(RunCli({"project", "connections", file, "--json"}));
    EXPECT_TRUE(list["devices"][1]["port"].is_null());

    // Usage errors: no such device, both or neither of --port and --common, bad values.
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--device", "3", "--port", "/dev/x"},
             {"--device", "0"},
             {"--device", "0", "--port", "/dev/x", "--common"},
             {"--device", "0", "--port", "/dev/x", "--parity", "mark"},
             {"--device", "0", "--port", "/dev/x", "--data-bits", "7"}}) {
        std::vector<std::string> args = {"project", "connect", file};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(RunCli(args).exitCode, 2) << bad[0] << " " << bad[1];
    }
}

TEST_F(CliProjectOps, ReadCompareClockAndEventsOverSeveralDevices) {
    Devices devices({1, 2, 3});
    ASSERT_TRUE(devices.Ok());
    Connect({devices.Path(0), devices.Path(1), devices.Path(2)});

    const Result read = RunCli({"project", "read", file, "--json", "--jobs", "3"});
    ASSERT_EQ(read.exitCode, 0) << read.out << read.err;
    const Json j = Parse(read);
    ASSERT_EQ(j["devices"].size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const Json& d = j["devices"][i];
        EXPECT_EQ(d["device"], i);
        EXPECT_EQ(d["port"], devices.Path(i));
        EXPECT_EQ(d["state"], "done");
        EXPECT_EQ(d["address"], i + 1);
        EXPECT_EQ(d["stored"], true);
        EXPECT_TRUE(d["ms"].is_number());
    }
    // Stored: the devices' English names replaced the project's Chinese defaults.
    auto stored = LoadProject(file);
    EXPECT_EQ(std::string(stored->devices[2].signalNames[0]), "matrix in01");

    EXPECT_EQ(RunCli({"project", "compare", file}).exitCode, 0);
    const Result clock = RunCli({"project", "clock", file, "--max-offset", "5", "--json"});
    ASSERT_EQ(clock.exitCode, 0) << clock.err;
    EXPECT_TRUE(Parse(clock)["devices"][1]["offsetMs"].is_number());

    const Result events = RunCli({"project", "events", file, "--merged", "--csv", "--devices", "0,2"});
    ASSERT_EQ(events.exitCode, 0) << events.err;
    const std::vector<std::string> rows = Lines(events.out);
    ASSERT_EQ(rows.size(), 1u + 2 + 4);  // title, then 2 and 4 events
    EXPECT_NE(rows[0].find("Device"), std::string::npos);
    for (std::size_t i = 2; i < rows.size(); ++i)
        EXPECT_LE(rows[i - 1].substr(rows[i - 1].find(',') + 1, 23), rows[i].substr(rows[i].find(',') + 1, 23));
    EXPECT_EQ(LoadProject(file)->devices[2].eventCount, 4);
}

TEST_F(CliProjectOps, WrongCableFailedPortAndDifferencesGiveTheirExitCodes) {
    Devices devices({1, 9, 3});  // the second cable is on the device with address 9
    ASSERT_TRUE(devices.Ok());
    Connect({devices.Path(0), devices.Path(1), devices.Path(2)});
    const Bytes before = ReadAll(file);

    const Result read = RunCli({"project", "read", file, "--json"});
    EXPECT_EQ(read.exitCode, 1);
    const Json j = Parse(read);
    EXPECT_EQ(j["devices"][1]["state"], "failed");
    EXPECT_EQ(j["devices"][1]["reason"], "the device at the cable answered with address 9");
    EXPECT_EQ(j["devices"][0]["stored"], false);
    EXPECT_EQ(ReadAll(file), before);  // all or nothing

    const Result partial = RunCli({"project", "read", file, "--partial"});
    EXPECT_EQ(partial.exitCode, 1);
    auto after = LoadProject(file);
    EXPECT_EQ(after->devices[1].address, 2);  // never the wrong device's image
    EXPECT_EQ(std::string(after->devices[0].signalNames[0]), "matrix in01");

    // Device 1 differs (address and names), the others are equal now.
    const Result compare = RunCli({"project", "compare", file, "--json", "--devices", "0,1"});
    EXPECT_EQ(compare.exitCode, 6);
    EXPECT_EQ(Parse(compare)["devices"][0]["equal"], true);
    EXPECT_EQ(Parse(compare)["devices"][1]["equal"], false);

    // A port that cannot be opened: 4, and the others still done.
    Connect({devices.Path(0), dir.File("absent-port")});
    const Result clock = RunCli({"project", "clock", file, "--json"});
    EXPECT_EQ(clock.exitCode, 4);
    EXPECT_EQ(Parse(clock)["devices"][0]["state"], "done");
    EXPECT_EQ(Parse(clock)["devices"][1]["state"], "failed");
    EXPECT_EQ(Parse(clock)["devices"][2]["state"], "done");

    // Writing needs --yes; nothing is sent without it.
    EXPECT_EQ(RunCli({"project", "write", file}).exitCode, 2);
    const Result write = RunCli({"project", "write", file, "--yes", "--devices", "0"});
    EXPECT_EQ(write.exitCode, 0) << write.err;
    // A device without a port of its own and no common port is a usage error.
    ASSERT_EQ(RunCli({"project", "connect", file, "--device", "2", "--common"}).exitCode, 0);
    EXPECT_EQ(RunCli({"project", "compare", file}).exitCode, 2);
    // Through the common port: device 2 was stored by the partial read, so it is equal.
    EXPECT_EQ(RunCli({"project", "compare", file, "--devices", "2", "--port", devices.Path(2)}).exitCode, 0);
}

TEST_F(CliProjectOps, ThroughOneSer2netWithAPortPerDevice) {
    CORVIX_REQUIRE_SER2NET();
    Devices devices({1, 2, 3});
    ASSERT_TRUE(devices.Ok());
    test::Ser2netPorts server({devices.Path(0), devices.Path(1), devices.Path(2)});
    ASSERT_TRUE(server.Ok()) << "ser2net did not start";
    Connect({server.Name(0), server.Name(1), server.Name(2)});
    const Result read = RunCli({"project", "read", file, "--json"});
    ASSERT_EQ(read.exitCode, 0) << read.out << read.err;
    const Json j = Parse(read);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(j["devices"][i]["state"], "done");
        EXPECT_EQ(j["devices"][i]["port"], server.Name(i));
    }
    EXPECT_EQ(RunCli({"project", "clock", file, "--set", "--max-offset", "2"}).exitCode, 0);
}

// project check without --port reads every device on its own port, in parallel, compares each
// with its baseline and records one check for them all.
TEST_F(CliProjectOps, ProjectCheckReadsEachDeviceOnItsOwnPort) {
    Devices devices({1, 2, 3});
    // Device 1 as if edited at its panel: its signal names in the other language.
    test::Program changed(test::BuiltProgram("corvix-devsim"), {"--address", "2", "--change-every-ms", "0"});
    const std::string changedPath = changed.FirstLine(WaitMs);
    ASSERT_TRUE(devices.Ok() && !changedPath.empty());
    Connect({devices.Path(0), devices.Path(1), devices.Path(2)});
    const std::string history = dir.File("history");
    auto cli = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--history", history});
        return RunCli(args);
    };
    ASSERT_EQ(cli({"project", "read", file}).exitCode, 0);
    // The read is recorded as one commit naming every port.
    Json list = Parse(cli({"history", "list", file, "--device", "2", "--json"}));
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0]["operation"], "read");
    EXPECT_EQ(list[0]["port"], devices.Path(0) + "," + devices.Path(1) + "," + devices.Path(2));
    Result r = cli({"project", "check", file, "--json", "--jobs", "3"});
    EXPECT_EQ(r.exitCode, 5) << r.out << r.err;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(cli({"history", "baseline", file, "--device", std::to_string(i)}).exitCode, 0);
    r = cli({"project", "check", file, "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    Json j = Parse(r);
    EXPECT_EQ(j["result"], "match");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(j["devices"][i]["status"], "match");
        EXPECT_EQ(j["devices"][i]["port"], devices.Path(i));
        EXPECT_EQ(j["devices"][i]["rev"], j["devices"][0]["rev"]);  // one recorded check
    }
    ASSERT_EQ(RunCli({"project", "connect", file, "--device", "1", "--port", changedPath}).exitCode, 0);
    r = cli({"project", "check", file, "--json"});
    EXPECT_EQ(r.exitCode, 6) << r.out << r.err;
    j = Parse(r);
    EXPECT_EQ(j["devices"][0]["status"], "match");
    EXPECT_EQ(j["devices"][1]["status"], "drift");
    EXPECT_FALSE(j["devices"][1]["differences"].empty());
    EXPECT_EQ(j["devices"][2]["status"], "match");
    // The cable of device 1 on the device with address 1: not read, never compared.
    ASSERT_EQ(RunCli({"project", "connect", file, "--device", "1", "--port", devices.Path(0)}).exitCode, 0);
    r = cli({"project", "check", file, "--json", "--lang", "en"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_EQ(Parse(r)["devices"][1]["status"], "unread");
    EXPECT_NE(r.err.find("answered with address 1"), std::string::npos) << r.err;
    // A device without a port of its own needs --port.
    ASSERT_EQ(RunCli({"project", "connect", file, "--device", "2", "--common"}).exitCode, 0);
    EXPECT_EQ(cli({"project", "check", file}).exitCode, 2);
    // Signal names taken from a sheet are a save of the project, and recorded as one.
    const std::string sheet = dir.File("names.csv");
    std::ofstream(sheet) << "number,name\n1,Breaker closed\n";
    ASSERT_EQ(cli({"signals", "import", file, "--device", "0", sheet}).exitCode, 0);
    list = Parse(cli({"history", "list", file, "--device", "0", "--json"}));
    EXPECT_EQ(list[0]["operation"], "save");
    EXPECT_GT(list[0]["changed"], 0);
}

TEST(MergedEvents, TimesRoundTripAndOffsetsCorrectTheOrder) {
    EventRecord e{};
    for (const long long ms : {0LL, 951782400123LL, 1767225599999LL, 4102444800000LL}) {
        SetEventTimeMs(e, ms);
        EXPECT_EQ(EventTimeMs(e), ms);
    }
    auto project = MakeProject({1, 2});
    SetEventTimeMs(project->devices[0].events[0], 10'000);
    SetEventTimeMs(project->devices[1].events[0], 9'000);
    project->devices[0].eventCount = project->devices[1].eventCount = 1;
    auto merged = MergeEventLogs(*project, {0, 1});
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].device, 1);
    // Device 1's clock runs 1.5 s behind: corrected, its event comes after device 0's.
    merged = MergeEventLogs(*project, {0, 1}, {{1, -1500}});
    EXPECT_EQ(merged[0].device, 0);
    EXPECT_FALSE(merged[0].corrected);
    EXPECT_TRUE(merged[1].corrected && merged[1].offsetBeyond);
    EXPECT_EQ(EventTimeMs(merged[1].event), 10'500);
}

}  // namespace
