// SPDX-License-Identifier: Apache-2.0
// The record diff over hand-made records: which rows two devices or two projects differ in,
// the bytes no row shows, the line text git diffs, and how a diff side is named and read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "model/compare.h"
#include "model/diff_sides.h"
#include "model/gbk.h"
#include "model/project_text.h"
#include "model/project_textconv.h"
#include "model_fakes.h"

namespace corvix {
namespace {

void SetText(char* field, int width, const char* utf8) { CopyTextField(field, width, Utf8ToGbk(utf8).c_str()); }

std::unique_ptr<ProjectBlock> Project(int devices) {
    auto p = std::make_unique<ProjectBlock>();
    p->projectOpen = 1;
    p->deviceCount = devices;
    SetText(p->projectName, ProjectNameSize, "站一");
    for (int i = 0; i < devices; ++i) {
        InitialiseNewDevice(p->devices[i], Utf8ToGbk("馈线" + std::to_string(i)).c_str(), LangEnglish);
        DeviceRecord& d = p->devices[i];
        d.eventCount = 2;
        for (int e = 0; e < 2; ++e) {
            EventRecord& ev = d.events[e];
            ev.year = 2026, ev.month = 3, ev.day = 4, ev.hour = 5, ev.minute = 6, ev.second = 7;
            ev.millisecond = static_cast<uint16_t>(e);
            SetText(ev.signalName, sizeof ev.signalName, "断路器");
        }
    }
    return p;
}

std::vector<std::string> Rows(const std::vector<Difference>& diffs) {
    std::vector<std::string> out;
    for (const Difference& d : diffs)
        out.push_back(std::to_string(d.device) + "|" + d.pageName + "|" + d.field + "|" + d.projectText + "|" +
                      d.deviceText);
    return out;
}

struct DeviceCase {
    const char* what;
    std::function<void(DeviceRecord&)> change;
    std::vector<std::string> rows;  // DiffDevices, in English
};

TEST(RecordDiff, DevicesDifferFieldByField) {
    const DeviceCase cases[] = {
        {"name", [](DeviceRecord& d) { SetText(d.name, DeviceNameSize, "Feeder 9"); },
         {"-1|Device|Device name|馈线0|Feeder 9"}},
        {"type and serial",
         [](DeviceRecord& d) {
             SetText(d.deviceType, DeviceTypeSize, "7SJ");
             SetText(d.serialNumber, SerialNumberSize, "BF123");
         },
         {"-1|Device|Device type||7SJ", "-1|Device|Serial number||BF123"}},
        {"a code without a text shows its number", [](DeviceRecord& d) { d.timeSync = 9; },
         {"-1|Time Synchronization|Source of time synchronization|IRIG B|(code 9)"}},
        {"an event more, paired by slot",
         [](DeviceRecord& d) {
             d.events[2] = d.events[1];
             d.events[2].transition = 1;
             d.eventCount = 3;
         },
         {"-1|Event Log|Event 3|(none)|2026.03.04 05:06:07.   1  断路器  On->Off"}},
        {"an event renamed", [](DeviceRecord& d) { SetText(d.events[0].signalName, 32, "母线"); },
         {"-1|Event Log|Event 1|2026.03.04 05:06:07.   0  断路器  Off->On|2026.03.04 05:06:07.   0  母线  Off->On"}},
        // What no row shows is one row: the first differing byte and its neighbours.
        {"a text tail", [](DeviceRecord& d) { d.name[60] = 'x'; },
         {"-1|Other bytes|1 bytes differ, the first at 60|00 00 00 00 00 00 00 00|78 00 00 00 00 00 00 00"}},
        {"reserved and an event's unused bytes",
         [](DeviceRecord& d) {
             d.reserved[19] = 1;
             d.events[0].reserved52[0] = 2;
         },
         {"-1|Other bytes|2 bytes differ, the first at 119|00 00 00 00 00 00 00 00|01 00 00 00 00 00 00 00"}},
        // Bytes that are no GBK read alike; the bytes still tell them apart.
        {"undecodable names", [](DeviceRecord& d) { d.signalNames[0][0] = '\xFE'; },
         {"-1|Other bytes|1 bytes differ, the first at 180|FF 00 00 00 00 00 00 00|FE 00 00 00 00 00 00 00"}},
        {"counts beyond their lists", [](DeviceRecord& d) { d.signalCount = 90; },
         {"-1|Other bytes|1 bytes differ, the first at 178|50 00 FF 00 00 00 00 00|5A 00 FF 00 00 00 00 00"}},
    };
    for (const DeviceCase& c : cases) {
        auto left = Project(1), right = Project(1);
        for (DeviceRecord* d : {&left->devices[0], &right->devices[0]}) {
            std::memset(d->signalNames[0], 0, SignalNameSize);
            d->signalNames[0][0] = '\xFF';
        }
        if (std::string(c.what) == "counts beyond their lists") left->devices[0].signalCount = 80;
        c.change(right->devices[0]);
        EXPECT_EQ(Rows(DiffDevices(left->devices[0], right->devices[0], LangEnglish)), c.rows) << c.what;
        EXPECT_TRUE(DiffDevices(right->devices[0], right->devices[0], LangEnglish).empty()) << c.what;
    }
}

TEST(RecordDiff, DeviceCompareKeepsToTheConfiguration) {
    auto left = Project(1), right = Project(1);
    DeviceRecord& d = right->devices[0];
    SetText(d.name, DeviceNameSize, "other");
    d.eventCount = 0;
    d.reserved[0] = 1;
    d.baudRate[1] = 9600;
    // A device read carries no name, identity or events: Compare With Device lists the port only.
    EXPECT_EQ(Rows(CompareRecords(left->devices[0], d, LangChinese)),
              (std::vector<std::string>{"-1|RS485 系统接口 B2|波特率|19200|9600"}));
    const std::vector<Difference> whole = DiffDevices(left->devices[0], d, LangChinese);
    ASSERT_EQ(whole.size(), 5u);
    EXPECT_EQ(Rows({whole[0], whole[1]}), (std::vector<std::string>{"-1|装置|装置名称|馈线0|other",
                                                                    "-1|RS485 系统接口 B2|波特率|19200|9600"}));
    EXPECT_EQ(whole[2].page, KindEventLog);
    EXPECT_EQ(whole[2].deviceText, "（无）");
    EXPECT_EQ(whole[4].page, DiffOtherBytesPage);
    EXPECT_FALSE(CanTakePage(KindEventLog));
    EXPECT_TRUE(CanTakePage(KindPortB2));
}

TEST(RecordDiff, ProjectsPairDevicesBySlot) {
    auto left = Project(3), right = Project(2);
    SetText(right->projectName, ProjectNameSize, "Plant B");
    right->devices[1].address = 77;
    right->devices[2].address = 5;  // beyond the right's count: not a device, other bytes only
    const std::vector<std::string> rows = Rows(DiffProjects(*left, *right, LangEnglish));
    EXPECT_EQ(rows, (std::vector<std::string>{"-1|Project|Project name|站一|Plant B",
                                              "1|Device Address|Device Address|1|77",
                                              "2|Device|Device|馈线2|(no such device)"}));
    // The other way round the device is on the right; equal projects have no rows.
    EXPECT_EQ(Rows(DiffProjects(*right, *left, LangEnglish)).back(), "2|Device|Device|(no such device)|馈线2");
    EXPECT_TRUE(DiffProjects(*left, *left, LangEnglish).empty());

    // A slot beyond both counts is only bytes: offsets count from the file's start.
    auto unused = Project(2);
    unused->devices[5].address = 1;
    const std::vector<Difference> other = DiffProjects(*Project(2), *unused, LangEnglish);
    ASSERT_EQ(other.size(), 1u);
    const std::size_t at = 4 + offsetof(ProjectBlock, devices) + 5 * sizeof(DeviceRecord) + offsetof(DeviceRecord, address);
    EXPECT_EQ(other.back().field, "1 bytes differ, the first at " + std::to_string(at));
    EXPECT_EQ(other.back().device, -1);
}

// The lines of the text form that only one of two texts has.
std::vector<std::string> ChangedLines(const std::string& a, const std::string& b) {
    auto lines = [](const std::string& text) {
        std::multiset<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) out.insert(line);
        return out;
    };
    const auto la = lines(a), lb = lines(b);
    std::vector<std::string> out;
    std::set_symmetric_difference(la.begin(), la.end(), lb.begin(), lb.end(), std::back_inserter(out));
    return out;
}

TEST(ProjectLines, OneChangedFieldIsOneChangedLine) {
    struct Case {
        const char* what;
        std::function<void(ProjectBlock&)> change;
        std::vector<std::string> lines;  // sorted
    };
    const Case cases[] = {
        {"baud rate", [](ProjectBlock& p) { p.devices[1].baudRate[0] = 9600; },
         {"device 1 / RS485 Port B1 - System / Baud rate: 19200", "device 1 / RS485 Port B1 - System / Baud rate: 9600"}},
        {"a rename is the name line only", [](ProjectBlock& p) { SetText(p.devices[0].name, DeviceNameSize, "Feed\nx"); },
         {"device 0 / Device / Device name: Feed\\x0Ax", "device 0 / Device / Device name: 馈线0"}},
        {"a signal name", [](ProjectBlock& p) { SetText(p.devices[1].signalNames[64], SignalNameSize, "跳闸出口动作"); },
         {"device 1 / Matrix I/O Assignment / Binary65: matrix out11",
          "device 1 / Matrix I/O Assignment / Binary65: 跳闸出口动作"}},
        {"a text tail", [](ProjectBlock& p) { p.devices[0].serialNumber[19] = 7; },
         {"device 0 / Other bytes: 1 non-zero bytes, hash d223225c0e32b8f0", "device 0 / Other bytes: none"}},
    };
    for (const Case& c : cases) {
        auto before = Project(2), after = Project(2);
        c.change(*after);
        EXPECT_EQ(ChangedLines(ProjectLines(*before, LangEnglish), ProjectLines(*after, LangEnglish)), c.lines) << c.what;
    }
    // Appending an event adds its line and changes the count's; nothing else moves.
    auto before = Project(1), after = Project(1);
    after->devices[0].events[2] = after->devices[0].events[0];
    after->devices[0].eventCount = 3;
    EXPECT_EQ(ChangedLines(ProjectLines(*before, LangEnglish), ProjectLines(*after, LangEnglish)),
              (std::vector<std::string>{"device 0 / Event Log / Count: 2", "device 0 / Event Log / Count: 3",
                                        "device 0 / Event Log / Event 3: 2026.03.04 05:06:07.   0  断路器  Off->On"}));
    // Undecodable names that read alike still differ, and a device beyond the count is the
    // project's bytes.
    after = Project(1);
    std::memset(before->devices[0].signalNames[3], 0, SignalNameSize);
    std::memset(after->devices[0].signalNames[3], 0, SignalNameSize);
    before->devices[0].signalNames[3][0] = '\xFF';
    after->devices[0].signalNames[3][0] = '\xFE';
    after->devices[4].address = 3;
    const std::vector<std::string> changed = ChangedLines(ProjectLines(*before, LangEnglish), ProjectLines(*after, LangEnglish));
    ASSERT_EQ(changed.size(), 4u);
    EXPECT_EQ(changed[0].rfind("device 0 / Other bytes: 1 non-zero bytes, hash ", 0), 0u);
    EXPECT_EQ(changed[3], "project / Other bytes: none");
    // Chinese names throughout with --lang zh.
    EXPECT_NE(ProjectLines(*before, LangChinese).find("装置 0 / RS485 系统接口 B1 / 波特率: 19200\n"), std::string::npos);
}

TEST(DiffSides, NamesAndFiles) {
    test::TempDir dir;
    const std::string whole = dir / "p@2";
    test::WriteBytes(whole, "x");
    struct NameCase {
        std::string text, path;
        int device;  // -1: whole
    } names[] = {{"a.mac@2", "a.mac", 2}, {"a.mac", "a.mac", -1},     {"x@y.mac", "x@y.mac", -1},
                 {"@3", "@3", -1},         {"a.mac@", "a.mac@", -1}, {"a.mac@12345", "a.mac@12345", -1},
                 {"a@1@0", "a@1", 0},      {whole, whole, -1}};
    for (const NameCase& c : names) {
        const SideName n = ParseSideName(c.text);
        EXPECT_EQ(n.path, c.path) << c.text;
        EXPECT_EQ(n.device.value_or(-1), c.device) << c.text;
    }

    auto project = Project(2);
    const std::string mac = dir / "p.mac", json = dir / "p.json", one = dir / "d.json", bad = dir / "bad.json";
    ASSERT_EQ(WriteProjectFileAtomic(mac, *project), FileError::None);
    test::WriteBytes(json, ProjectToJson(*project));
    test::WriteBytes(one, DeviceToJson(*project, 1));
    test::WriteBytes(bad, "{\"format\": ");
    ::mkfifo((dir / "fifo").c_str(), 0600);

    SideLoad m = LoadSide({mac, std::nullopt}, LangEnglish), j = LoadSide({json, std::nullopt}, LangEnglish);
    ASSERT_EQ(m.problem, SideProblem::None);
    ASSERT_EQ(j.problem, SideProblem::None) << j.message;
    EXPECT_TRUE(DiffSides(m.side, j.side, LangEnglish).empty());
    SideLoad d = LoadSide({one, std::nullopt}, LangEnglish), m1 = LoadSide({mac, 1}, LangEnglish);
    ASSERT_EQ(d.side.device, 1);
    EXPECT_TRUE(DiffSides(d.side, m1.side, LangEnglish).empty());
    EXPECT_FALSE(SameKind(d.side, m.side));
    SideLoad m0 = LoadSide({mac, 0}, LangEnglish);
    EXPECT_EQ(Rows(DiffSides(m0.side, d.side, LangEnglish)).front(), "0|Device|Device name|馈线0|馈线1");

    struct Refused {
        SideName name;
        SideProblem problem;
    } refused[] = {{{dir / "none.mac", std::nullopt}, SideProblem::CannotRead},
                   {{dir / "fifo", std::nullopt}, SideProblem::CannotRead},
                   {{dir.path.string(), std::nullopt}, SideProblem::CannotRead},
                   {{bad, std::nullopt}, SideProblem::NotProject},
                   {{whole, std::nullopt}, SideProblem::NotProject},
                   {{mac, 2}, SideProblem::NoDevice},
                   {{one, 0}, SideProblem::NoDevice}};
    for (const Refused& r : refused) {
        const SideLoad load = LoadSide(r.name, LangEnglish);
        EXPECT_EQ(load.problem, r.problem) << r.name.path;
        EXPECT_NE(load.message.find(r.name.path), std::string::npos) << load.message;
    }
}

}  // namespace
}  // namespace corvix
