// SPDX-License-Identifier: Apache-2.0
// corvix-cli project commands, run as a separate process, and the JSON view they print.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fakes/run_program.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/project_file.h"
#include "model/project_json.h"
#include "model_fakes.h"

namespace corvix {
namespace {

using test::ReadBytes;
using test::WriteBytes;

using CliRun = test::ProgramResult;

struct CliTest : ::testing::Test {
    test::TempDir dir;

    CliRun Cli(const std::vector<std::string>& args) {
        return test::RunProgram(test::BuiltProgram("corvix-cli"), args);
    }
};

TEST_F(CliTest, NewEnglishProjectFile) {
    const std::string file = dir / "x.mac";
    CliRun r = Cli({"project", "new", file, "--lang", "en"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string bytes = ReadBytes(file);
    ASSERT_EQ(bytes.size(), 609872u);
    EXPECT_EQ(bytes.substr(0, 24), std::string("\xB3\x15\0\0\x01\0\0\0\x01\0\0\0new project\0", 24));
    EXPECT_EQ(bytes.substr(112, 2), std::string("1\0", 2));
    EXPECT_EQ(bytes.substr(112 + 156, 24),
              std::string("\x01\0\0\0\0", 5) + bytes.substr(112 + 161, 3) +
                  std::string("\0\x4B\0\0\0\x4B\0\0\x08\x08\0\0\x01\x01\x41\0", 16));
    EXPECT_EQ(bytes.substr(112 + 180 + 64 * 32, 13), std::string("matrix out11\0", 13));
}

TEST_F(CliTest, NewChineseProjectStoresGbkNames) {
    const std::string file = dir / "zh.mac";
    ASSERT_EQ(Cli({"project", "new", file, "--lang=zh"}).exitCode, 0);
    const std::string bytes = ReadBytes(file);
    EXPECT_EQ(bytes.substr(12, 7), std::string("\xD0\xC2\xB9\xA4\xB3\xCC\0", 7));
    EXPECT_EQ(bytes.substr(112 + 180, 11), std::string("\xBE\xD8\xD5\xF3\xCA\xE4\xC8\xEB"
                                                       "01\0",
                                                       11));
}

TEST_F(CliTest, BrokenFilesExitThreeWithTheMessageAndNoOutput) {
    const std::string good = dir / "good.mac";
    ASSERT_EQ(Cli({"project", "new", good}).exitCode, 0);
    std::string bytes = ReadBytes(good);
    std::string magic = bytes;
    magic[1] = 0;
    WriteBytes(dir / "magic.mac", magic);
    WriteBytes(dir / "short.mac", bytes.substr(0, 1000));
    ASSERT_EQ(mkfifo((dir / "fifo.mac").c_str(), 0600), 0);  // no writer: opening it must not wait
    struct Case {
        std::string file, lang, message;
    } cases[] = {{"magic.mac", "en", "file format error"},
                 {"short.mac", "en", "file format error"},
                 {"missing.mac", "en", "Can not open file"},
                 {"magic.mac", "zh", "配置文件格式不符"},
                 {"missing.mac", "zh", "文件打不开"},
                 {"magic.mac", "", "file format error"},  // show reports in English by default
                 {"short.mac", "", "file format error"},
                 {"missing.mac", "", "Can not open file"},
                 {"fifo.mac", "en", "Can not open file"}};
    for (const Case& c : cases) {
        std::vector<std::string> args = {"project", "show", dir / c.file, "--json"};
        if (!c.lang.empty()) {
            args.push_back("--lang");
            args.push_back(c.lang);
        }
        CliRun r = Cli(args);
        EXPECT_EQ(r.exitCode, 3) << c.file;
        EXPECT_TRUE(r.out.empty()) << c.file;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.file << ": " << r.err;
    }
    for (std::vector<std::string> args :
         {std::vector<std::string>{"project", "add-device", dir / "fifo.mac", "x"},
          {"device", "read-config", dir / "fifo.mac", "--port", dir / "none"}})
        EXPECT_EQ(Cli(args).exitCode, 3) << args[1];
}

// Names in a file reach the terminal only as visible text: no escape sequence, bell or
// carriage return of a crafted file can act on it.
TEST_F(CliTest, ShowTextEscapesControlCharacters) {
    const std::string file = dir / "evil.mac";
    ASSERT_EQ(Cli({"project", "new", file, "--lang", "en"}).exitCode, 0);
    std::string bytes = ReadBytes(file);
    bytes.replace(12, 12, std::string("\x1B]0;owned\x07\r\0", 12));  // project name
    bytes.replace(112, 6, std::string("d\x1B[2J\0", 6));             // name of device 1
    WriteBytes(file, bytes);
    CliRun r = Cli({"project", "show", file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(
        std::count_if(r.out.begin(), r.out.end(), [](char c) { return c != '\n' && c > 0 && c < 0x20; }), 0);
    EXPECT_NE(r.out.find("project: \\x1B]0;owned\\x07\\x0D\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  1  d\\x1B[2J  address"), std::string::npos) << r.out;
}

TEST_F(CliTest, AddDeviceUntilFull) {
    const std::string file = dir / "p.mac";
    ASSERT_EQ(Cli({"project", "new", file, "--lang", "en"}).exitCode, 0);
    for (int i = 2; i <= MaxDevices; ++i)
        ASSERT_EQ(Cli({"project", "add-device", file, "设备" + std::to_string(i)}).exitCode, 0);
    const std::string full = ReadBytes(file);
    CliRun r = Cli({"project", "add-device", file, "one more", "--lang", "en"});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(ReadBytes(file), full);

    auto block = std::make_unique<ProjectBlock>();
    ASSERT_EQ(ReadProjectFile(file, *block), FileError::None);
    EXPECT_EQ(block->deviceCount, 20);
    EXPECT_EQ(GbkToUtf8(block->devices[19].name), "设备20");
    // Added under the default (Chinese) language.
    EXPECT_EQ(GbkToUtf8(FieldText(block->devices[19].signalNames[0], SignalNameSize)), "矩阵输入01");
}

TEST_F(CliTest, ShowJsonOfAProject) {
    const std::string file = dir / "j.mac";
    ASSERT_EQ(Cli({"project", "new", file, "--lang", "en"}).exitCode, 0);
    CliRun r = Cli({"project", "show", file, "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(
        r.out.rfind(
            "{\"projectOpen\":1,\"projectName\":\"new "
            "project\",\"deviceCount\":1,\"devices\":[{\"name\":\"1\","
            "\"deviceType\":\"\",\"serialNumber\":\"\",\"address\":1,\"timeSync\":0,\"ports\":[{\"protocol\":"
            "0,"
            "\"baudRate\":19200,\"dataBits\":8,\"stopBits\":0,\"parity\":1},{\"protocol\":0,\"baudRate\":"
            "19200,"
            "\"dataBits\":8,\"stopBits\":0,\"parity\":1}],\"signalNames\":[\"matrix in01\",\"matrix in02\"",
            0),
        0u)
        << r.out;
    EXPECT_NE(r.out.find("\"matrix out11\"],\"eventCount\":0,\"events\":[]}]}\n"), std::string::npos);
}

TEST_F(CliTest, UsageAndHelp) {
    for (std::vector<std::string> help : {std::vector<std::string>{"--help"},
                                          {"project", "--help"},
                                          {"project", "new", "--help"},
                                          {"project", "add-device", "--help"},
                                          {"project", "show", "--help"}}) {
        CliRun r = Cli(help);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_NE(r.out.find("usage:"), std::string::npos);
    }
    for (std::vector<std::string> bad :
         {std::vector<std::string>{},
          {"frobnicate"},
          {"project"},
          {"project", "new"},
          {"project", "new", dir / "a.mac", "--lang", "fr"},
          {"project", "show", dir / "a.mac", "--bogus"},
          {"project", "show", dir / "a.mac", "--device=0", "--page=status"},
          {"project", "show", dir / "a.mac", "--device=x", "--page=b1"},
          {"project", "show", dir / "a.mac", "--page", "b1"},
          {"project", "show", dir / "a.mac", "--device=0", "--page=events", "--date-order=usa"},
          {"project", "add-device", dir / "a.mac"}}) {
        CliRun r = Cli(bad);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "a.mac"));
}

TEST_F(CliTest, ShowOnePageAsTheListShowsIt) {
    const std::string file = dir / "page.mac";
    ASSERT_EQ(Cli({"project", "new", file, "--lang", "zh"}).exitCode, 0);
    auto block = std::make_unique<ProjectBlock>();
    ASSERT_EQ(ReadProjectFile(file, *block), FileError::None);
    block->devices[0].baudRate[0] = 38400;
    block->devices[0].eventCount = 1;
    EventRecord& ev = block->devices[0].events[0];
    ev.year = 2012, ev.month = 5, ev.day = 10, ev.hour = 8, ev.millisecond = 5;
    CopyTextField(ev.signalName, SignalNameSize, Utf8ToGbk("断路器\"合\"").c_str());
    ASSERT_EQ(WriteProjectFileAtomic(file, *block), FileError::None);

    CliRun r = Cli({"project", "show", file, "--device", "0", "--page", "b1", "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"device\":0,\"page\":\"b1\",\"columns\":[\"Number\",\"Name\",\"Data\"],\"rows\":["
              "[\"1\",\"Baud rate\",\"38400\"],[\"2\",\"Data bits\",\"8\"],[\"3\",\"Stop bits\",\"1\"],"
              "[\"4\",\"Parity\",\"EVEN\"],[\"5\",\"Protocol\",\"IEC 60870-5-103\"]]}\n");
    r = Cli({"project", "show", file, "--device=0", "--page=signals", "--lang", "zh"});
    EXPECT_EQ(r.out.substr(0, r.out.find("02\t")), "序号\t名称\t信息定义\n01\t开关量1\t矩阵输入01\n");
    r = Cli({"project", "show", file, "--device=0", "--page=events", "--json", "--date-order", "world"});
    EXPECT_NE(r.out.find("\"rows\":[[\"1\",\"10.05.2012 08:00:00.   5\",\"断路器\\\"合\\\"\",\"Off->On\"]]}"),
              std::string::npos)
        << r.out;
    r = Cli({"project", "show", file, "--device", "0", "--page", "events"});
    EXPECT_EQ(r.out, "Number\tTime\tName\tState\n1\t2012.05.10 08:00:00.   5\t断路器\"合\"\tOff->On\n");

    EXPECT_EQ(Cli({"project", "show", file, "--device", "1", "--page", "b1"}).exitCode, 2);  // one device
    EXPECT_EQ(Cli({"project", "show", dir / "missing.mac", "--device", "0", "--page", "b1"}).exitCode, 3);
}

TEST(ProjectJson, TextsEscapedAndCountsClamped) {
    auto block = std::make_unique<ProjectBlock>();
    block->projectOpen = 1;
    block->deviceCount = 25;
    std::strcpy(block->projectName, "a\"b\\c\n\x01\xFF");
    DeviceRecord& d = block->devices[19];
    d.signalCount = 100;
    d.eventCount = 2;
    d.events[1] = EventRecord{};
    d.events[1].year = 2012;
    d.events[1].millisecond = 123;
    d.events[1].transition = 1;
    std::strcpy(d.events[1].signalName, "IN1");
    const std::string json = ProjectJson(*block);
    EXPECT_NE(json.find("\"projectName\":\"a\\\"b\\\\c\\n\\u0001\xEF\xBF\xBD\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"deviceCount\":20,"), std::string::npos);
    std::size_t names = 0;
    for (std::size_t at = json.find("\"signalNames\":["); at != std::string::npos;
         at = json.find("\"signalNames\":[", at + 1))
        ++names;
    EXPECT_EQ(names, 20u);
    const std::string last = DeviceJson(d);
    const std::size_t open = last.find("\"signalNames\":[") + 15;
    const std::string namesJson = last.substr(open, last.find(']', open) - open);
    EXPECT_EQ(std::count(namesJson.begin(), namesJson.end(), ','), 71);  // 72 names, no more
    EXPECT_NE(last.find("\"eventCount\":2,\"events\":[{\"slot\":0,"), std::string::npos);
    EXPECT_NE(
        last.find("{\"slot\":1,\"year\":2012,\"month\":0,\"day\":0,\"hour\":0,\"minute\":0,\"second\":0,"
                  "\"millisecond\":123,\"transition\":1,\"signalName\":\"IN1\"}]}"),
        std::string::npos)
        << last;
}

}  // namespace
}  // namespace corvix
