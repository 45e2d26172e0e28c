// SPDX-License-Identifier: Apache-2.0
// corvix-cli device compare against the simulated device: the differing rows as the pages
// show them, the exit codes, and a project file left as it was.
#include <algorithm>
#include <nlohmann/json.hpp>

#include "model/gbk.h"
#include "test_cli_device_support.h"

namespace {

using namespace corvix;
using namespace cli_device_test;

TEST(CliDeviceCompare, ListsDifferencesWithoutTouchingTheFile) {
    sim::SimOptions o;
    o.device.address = 1;
    o.device.uiLanguage = LangEnglish;
    SimulatedDevice sim(o);
    TempDir dir;
    const std::string file = dir.File("p.mac");
    auto project = MakeProject({1, 1});
    WriteProject(file, *project);

    Result equal = RunCli({"device", "compare", file, "--device", "1", "--port", sim.Path()});
    ASSERT_EQ(equal.exitCode, 0) << equal.err << equal.out;
    EXPECT_EQ(equal.out, "The project and the device are equal\n");

    project->devices[1].address = 7;
    CopyTextField(project->devices[1].signalNames[2], SignalNameSize, Utf8ToGbk("主变跳闸").c_str());
    WriteProject(file, *project);
    const Bytes before = ReadAll(file);
    const std::string deviceName = GbkToUtf8(sim.Device().Designation(2));

    Result json =
        RunCli({"device", "compare", file, "--device", "1", "--port", sim.Path(), "--json", "--lang", "zh"});
    EXPECT_EQ(json.exitCode, 6) << json.err;
    // One line of JSON, its keys in this order.
    ASSERT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1) << json.out;
    EXPECT_EQ(nlohmann::ordered_json::parse(json.out),
              nlohmann::ordered_json::parse("{\"device\": 1, \"equal\": false, \"differences\": ["
                                            "{\"page\": \"装置地址\", \"field\": \"装置地址\", \"project\": \"7\", \"device\": \"1\"}, "
                                            "{\"page\": \"开关量信息定义\", \"field\": \"开关量3\", \"project\": \"主变跳闸\", "
                                            "\"device\": \"" + deviceName + "\"}]}"));
    Result text = RunCli({"device", "compare", file, "--device", "1", "--port", sim.Path()});
    EXPECT_EQ(text.exitCode, 6) << text.err;
    EXPECT_EQ(Lines(text.out).at(1), "Device Address\tDevice Address\t7\t1");
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(RunCli({"device", "compare", file, "--device", "0", "--port", dir.File("none")}).exitCode, 4);
}

}  // namespace
