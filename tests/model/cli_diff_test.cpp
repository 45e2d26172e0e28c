// SPDX-License-Identifier: Apache-2.0
// corvix-cli diff and project textconv as separate processes, and textconv under the real git.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/run_program.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/project_text.h"
#include "model_fakes.h"

namespace corvix {
namespace {

std::unique_ptr<ProjectBlock> TwoDevices() {
    auto p = std::make_unique<ProjectBlock>();
    p->projectOpen = 1;
    p->deviceCount = 2;
    CopyTextField(p->projectName, ProjectNameSize, "plant");
    InitialiseNewDevice(p->devices[0], "Feeder 1", LangEnglish);
    InitialiseNewDevice(p->devices[1], Utf8ToGbk("馈线2").c_str(), LangChinese);
    return p;
}

struct CliDiff : ::testing::Test {
    test::TempDir dir;
    std::string a = dir / "a.mac", b = dir / "b.mac";

    void SetUp() override {
        auto p = TwoDevices();
        ASSERT_EQ(WriteProjectFileAtomic(a, *p), FileError::None);
        p->devices[1].baudRate[0] = 9600;
        ASSERT_EQ(WriteProjectFileAtomic(b, *p), FileError::None);
        test::WriteBytes(dir / "b.json", ProjectToJson(*p));
        test::WriteBytes(dir / "junk.mac", "not a project");
    }
    static test::ProgramResult Run(const std::string& program, const std::vector<std::string>& args) {
        return test::RunProgram(program, args);
    }
    static test::ProgramResult Cli(const std::vector<std::string>& args) {
        return Run(test::BuiltProgram("corvix-cli"), args);
    }
};

TEST_F(CliDiff, RowsAndExitCodes) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;  // stdout (exact), when the case checks it
    };
    const std::string en = "Device\tPage\tField\tLeft value\tRight value\n";
    const Case cases[] = {
        {{a, a}, 0, "两侧一致\n"},
        {{a, b + "@1", "--lang", "en"}, 2, ""},  // a whole project against a device
        {{a, b, "--lang", "en"}, 6, en + "1\tRS485 Port B1 - System\tBaud rate\t19200\t9600\n"},
        {{a, dir / "b.json", "--lang=en"}, 6, en + "1\tRS485 Port B1 - System\tBaud rate\t19200\t9600\n"},
        {{a + "@1", b + "@1"}, 6,
         "装置\t页面\t项目\t左侧的值\t右侧的值\n1\tRS485 系统接口 B1\t波特率\t19200\t9600\n"},
        {{a + "@0", b + "@0"}, 0, "两侧一致\n"},
        {{a + "@0", b + "@1", "--lang", "en"}, 6, ""},
        {{a}, 2, ""},
        {{a, b, "--lang", "fr"}, 2, ""},
        {{a, b + "@2"}, 2, ""},
        {{a, dir / "none.mac"}, 3, ""},
        {{dir / "junk.mac", a}, 3, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"diff"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const test::ProgramResult r = Cli(args);
        const std::string what = ::testing::PrintToString(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << what << r.err;
        if (!c.out.empty()) {
            EXPECT_EQ(r.out, c.out) << what;
        }
        if (c.exitCode == 2 || c.exitCode == 3) {
            EXPECT_FALSE(r.err.empty()) << what;
        }
    }
    // Messages speak the language asked for.
    EXPECT_NE(Cli({"diff", a, dir / "none.mac", "--lang", "en"}).err.find("Can not read the file: "), std::string::npos);
    EXPECT_NE(Cli({"diff", a, dir / "none.mac"}).err.find("无法读取文件："), std::string::npos);
}

TEST_F(CliDiff, JsonOutput) {
    const test::ProgramResult r = Cli({"diff", a + "@0", b + "@1", "--json", "--lang", "en"});
    ASSERT_EQ(r.exitCode, 6) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j.at("equal"), false);
    const nlohmann::json& rows = j.at("differences");
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0], nlohmann::json({{"device", 0}, {"page", "Device"}, {"field", "Device name"},
                                       {"left", "Feeder 1"}, {"right", "馈线2"}}));
    // The project's own rows have no device.
    auto renamed = TwoDevices();
    CopyTextField(renamed->projectName, ProjectNameSize, "other");
    ASSERT_EQ(WriteProjectFileAtomic(dir / "c.mac", *renamed), FileError::None);
    const nlohmann::json whole = nlohmann::json::parse(Cli({"diff", a, dir / "c.mac", "--json"}).out);
    EXPECT_EQ(whole.at("differences").size(), 1u);
    EXPECT_TRUE(whole.at("differences")[0].at("device").is_null());
    EXPECT_EQ(nlohmann::json::parse(Cli({"diff", a, a, "--json"}).out),
              nlohmann::json({{"equal", true}, {"differences", nlohmann::json::array()}}));
}

TEST_F(CliDiff, Textconv) {
    const test::ProgramResult r = Cli({"project", "textconv", b});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\ndevice 1 / RS485 Port B1 - System / Baud rate: 9600\n"), std::string::npos);
    EXPECT_NE(Cli({"project", "textconv", b, "--lang", "zh"}).out.find("\n装置 1 / 装置 / 装置名称: 馈线2\n"),
              std::string::npos);
    EXPECT_EQ(Cli({"project", "textconv", dir / "junk.mac"}).exitCode, 3);
    EXPECT_EQ(Cli({"project", "textconv"}).exitCode, 2);
}

// git's textconv: the diff of two commits shows the changed field's line and nothing else.
TEST_F(CliDiff, GitDiffShowsTheChangedLine) {
    const std::string git = "/usr/bin/git";
    if (::access(git.c_str(), X_OK) != 0) GTEST_SKIP() << "git is not installed";
    const std::string repo = dir / "repo", home = dir / "home";
    std::filesystem::create_directories(repo);
    std::filesystem::create_directories(home);
    // No configuration of the user or the system reaches this repository.
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    ::setenv("GIT_CONFIG_NOSYSTEM", "1", 1);
    ::setenv("GIT_CONFIG_GLOBAL", (dir / "home/gitconfig").c_str(), 1);
    ::unsetenv("GIT_DIR");
    ::unsetenv("GIT_WORK_TREE");
    auto Git = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"-C", repo});
        const test::ProgramResult r = Run(git, args);
        EXPECT_EQ(r.exitCode, 0) << ::testing::PrintToString(args) << r.err;
        return r.out;
    };
    Git({"init", "-q"});
    Git({"config", "user.name", "Test"});
    Git({"config", "user.email", "test@example.org"});
    Git({"config", "diff.corvix.textconv", test::BuiltProgram("corvix-cli") + " project textconv"});
    test::WriteBytes(repo + "/.gitattributes", "*.mac diff=corvix\n");
    auto p = TwoDevices();
    ASSERT_EQ(WriteProjectFileAtomic(repo + "/x.mac", *p), FileError::None);
    Git({"add", ".gitattributes", "x.mac"});
    Git({"commit", "-q", "-m", "first"});
    p->devices[1].parity[1] = ParityOdd;
    ASSERT_EQ(WriteProjectFileAtomic(repo + "/x.mac", *p), FileError::None);
    Git({"commit", "-q", "-a", "-m", "second"});

    std::vector<std::string> changed;
    std::istringstream diff(Git({"diff", "--no-color", "HEAD~1", "--", "x.mac"}));
    for (std::string line; std::getline(diff, line);)
        if ((line[0] == '+' || line[0] == '-') && line.rfind("+++", 0) != 0 && line.rfind("---", 0) != 0)
            changed.push_back(line);
    EXPECT_EQ(changed, (std::vector<std::string>{"-device 1 / RS485 Port B2 - System / Parity: EVEN",
                                                 "+device 1 / RS485 Port B2 - System / Parity: ODD"}));
}

}  // namespace
}  // namespace corvix
