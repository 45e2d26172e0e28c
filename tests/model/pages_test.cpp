// SPDX-License-Identifier: Apache-2.0
// The page description against hand-made records: every page in both languages, the
// editors the values open with, and the write-back of every editable value.
#include "model/pages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "model/formats.h"
#include "model/gbk.h"

namespace corvix {
namespace {

using Texts = std::vector<std::string>;

void SetName(char* field, int width, const char* utf8) {
    CopyTextField(field, width, Utf8ToGbk(utf8).c_str());
}

struct PagesTest : ::testing::Test {
    std::unique_ptr<DeviceRecord> rec = std::make_unique<DeviceRecord>();
    uint8_t live[LiveStatusSize] = {1, 0, 7};
    int32_t cpu = 1;

    PagesTest() {
        rec->address = 254, rec->timeSync = TimeSyncProtocol, rec->signalCount = 3, rec->eventCount = 2;
        rec->baudRate[0] = 9600, rec->baudRate[1] = 38400, rec->dataBits[0] = 8, rec->dataBits[1] = 9;
        rec->stopBits[1] = StopBits1_5, rec->parity[0] = ParityEven, rec->protocol[1] = ProtocolModbusRtu;
        rec->parity[1] = 7;  // no text: the cell stays empty
        SetName(rec->signalNames[0], SignalNameSize, "断路器合位");
        SetName(rec->signalNames[1], SignalNameSize, "in02");
        EventRecord& a = rec->events[0];
        a.year = 2012, a.month = 5, a.day = 10, a.hour = 8, a.minute = 7, a.second = 6, a.millisecond = 5;
        SetName(a.signalName, sizeof a.signalName, "断路器合位");
        EventRecord& b = rec->events[1];
        b.year = 2013, b.month = 12, b.day = 31, b.hour = 23, b.minute = 59, b.second = 58;
        b.millisecond = 999, b.transition = 1;
        SetName(b.signalName, sizeof b.signalName, "in02");
    }
    PageSource Source(int lang, int dateFormat = DateChina) const {
        return {rec.get(), lang, dateFormat, live, cpu};
    }
};

// A page as lines of cells separated by '|', the column titles first.
std::string Dump(const PageTable& table) {
    std::string out;
    auto line = [&out](const Texts& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) out += (i > 0 ? "|" : "") + cells[i];
        out += '\n';
    };
    line(table.titles);
    for (const Texts& row : table.rows) line(row);
    return out;
}

TEST_F(PagesTest, EveryPageInBothLanguages) {
    const std::tuple<int32_t, int, int, const char*> cases[] = {
        {KindDeviceAddress, LangChinese, DateChina, "序号|名称|数值(1-254)\n1|装置地址|254\n"},
        {KindDeviceAddress, LangEnglish, DateChina, "Number|Name|Data(1-254)\n1|Device Address|254\n"},
        {KindTimeSync, LangChinese, DateChina, "序号|名称|数值\n1|对时方式|协议对时\n"},
        {KindTimeSync, LangEnglish, DateChina,
         "Number|Name|Data\n1|Source of time synchronization|Protocol\n"},
        {KindPortB1, LangChinese, DateChina,
         "序号|名称|数值\n1|波特率|9600\n2|数据位|8\n3|停止位|1\n"
         "4|校验方式|EVEN\n5|通讯协议|IEC 60870-5-103\n"},
        {KindPortB2, LangEnglish, DateChina,
         "Number|Name|Data\n1|Baud rate|38400\n2|Data bits|9\n3|Stop bits|1.5\n"
         "4|Parity|\n5|Protocol|Modbus RTU\n"},
        {KindSignalNames, LangChinese, DateChina,
         "序号|名称|信息定义\n01|开关量1|断路器合位\n02|开关量2|in02\n03|开关量3|\n"},
        {KindSignalNames, LangEnglish, DateChina,
         "Number|Designation|Assignment\n01|Binary1|断路器合位\n02|Binary2|in02\n03|Binary3|\n"},
        {KindInputStatus, LangChinese, DateChina,
         "序号|名称|状态\n1|断路器合位|合上\n2|in02|断开\n3||未知\n"},
        {KindInputStatus, LangEnglish, DateChina,
         "Number|Assignment|State\n1|断路器合位|On\n2|in02|Off\n3||Unkown\n"},
        // The fourth column is the Execute button's: the rows leave it blank.
        {KindCpuSupervision, LangChinese, DateChina, "序号|名称|状态| \n1|CPU 出错|合上\n"},
        {KindCpuSupervision, LangEnglish, DateChina, "Number|Assignment|Operation| \n1|CPU Failure|On\n"},
        {KindEventLog, LangChinese, DateChina,
         "序号|时间|名称|状态\n1|2013.12.31 23:59:58. 999|in02|合->分\n"
         "2|2012.05.10 08:07:06.   5|断路器合位|分->合\n"},
        {KindEventLog, LangEnglish, DateWorld,
         "Number|Time|Name|State\n1|31.12.2013 23:59:58. 999|in02|On->Off\n"
         "2|10.05.2012 08:07:06.   5|断路器合位|Off->On\n"},
    };
    for (const auto& [kind, lang, dateFormat, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "page " << kind << " lang " << lang);
        const PageDef* page = FindPage(kind);
        ASSERT_NE(page, nullptr);
        const PageTable table = BuildPage(*page, Source(lang, dateFormat));
        EXPECT_EQ(Dump(table), expected);
        std::vector<int> widths{100, 200, 200};
        if (table.titles.size() == 4) widths.push_back(kind == KindEventLog ? 80 : 200);
        EXPECT_EQ(table.widths, widths);
    }
    // Nodes that are not pages have no description.
    for (int32_t kind : {KindProject, KindConfiguration, KindDeviceFirst}) EXPECT_EQ(FindPage(kind), nullptr);
    // Without live data the input states are unknown rather than read from nowhere.
    EXPECT_EQ(CellText(*FindPage(KindInputStatus), {rec.get(), LangEnglish}, 0, 2), "Unkown");
}

TEST_F(PagesTest, EditorsOfTheValues) {
    rec->baudRate[0] = 19200;
    // Page, row, editor, preselected entry, number of entries.
    const std::tuple<int32_t, int, EditorKind, int, std::size_t> cases[] = {
        {KindDeviceAddress, 0, EditorKind::Text, -1, 0}, {KindSignalNames, 2, EditorKind::Text, -1, 0},
        {KindPortB1, 0, EditorKind::Choice, 2, 5},       {KindPortB2, 0, EditorKind::Choice, -1, 5},  // 38400
        {KindPortB2, 1, EditorKind::Choice, 1, 2},       {KindPortB2, 2, EditorKind::Choice, 1, 3},
        {KindPortB2, 3, EditorKind::Choice, -1, 3},      {KindPortB2, 4, EditorKind::Choice, 1, 2},
        {KindTimeSync, 0, EditorKind::Choice, 1, 3},     {KindCpuSupervision, 0, EditorKind::Choice, 1, 2},
        {KindPortB1, 5, EditorKind::None, -1, 0},        {KindInputStatus, 0, EditorKind::None, -1, 0},
        {KindEventLog, 0, EditorKind::None, -1, 0},
    };
    for (const auto& [kind, row, editorKind, preselect, entries] : cases) {
        SCOPED_TRACE(testing::Message() << "page " << kind << " row " << row);
        const RowEditor editor = EditorFor(*FindPage(kind), Source(LangEnglish), row);
        EXPECT_EQ(editor.kind, editorKind);
        EXPECT_EQ(editor.preselect, preselect);
        EXPECT_EQ(editor.choices.size(), entries);
    }
    EXPECT_EQ(EditorFor(*FindPage(KindCpuSupervision), Source(LangChinese), 0).choices,
              Texts({"断开", "合上"}));
}

TEST_F(PagesTest, WriteBackChangesExactlyItsValue) {
    struct Case {
        int32_t kind;
        int row, entry;  // entry -1: the text is typed
        std::string text;
        std::function<void(DeviceRecord&)> expect;
        bool written;
        std::optional<std::string> cell;
        int32_t cpuAfter = 1;
    };
    const Case cases[] = {
        {KindDeviceAddress, 0, -1, "12ab", [](DeviceRecord& r) { r.address = 12; }, true, "12ab"},
        {KindSignalNames, 2, -1, "开关量X",
         [](DeviceRecord& r) { SetName(r.signalNames[2], SignalNameSize, "开关量X"); }, true, "开关量X"},
        {KindSignalNames, 3, -1, "beyond the list", nullptr, false, std::nullopt},
        {KindPortB2, 0, 3, "", [](DeviceRecord& r) { r.baudRate[1] = 57600; }, true, "57600"},
        {KindPortB2, 1, 0, "", [](DeviceRecord& r) { r.dataBits[1] = 8; }, true, "8"},
        {KindPortB1, 2, 2, "", [](DeviceRecord& r) { r.stopBits[0] = StopBits2; }, true, "2"},
        {KindPortB2, 3, 2, "", [](DeviceRecord& r) { r.parity[1] = ParityOdd; }, true, "ODD"},
        {KindPortB1, 4, 1, "", [](DeviceRecord& r) { r.protocol[0] = ProtocolModbusRtu; }, true,
         "Modbus RTU"},
        {KindTimeSync, 0, 2, "", [](DeviceRecord& r) { r.timeSync = TimeSyncNone; }, true, "None"},
        {KindPortB2, 1, 2, "", nullptr, false, std::nullopt},         // no such entry
        {KindPortB1, 0, -1, "4800", nullptr, false, std::nullopt},    // a choice takes no text
        {KindDeviceAddress, 0, 1, "", nullptr, false, std::nullopt},  // a text takes no entry
        {KindInputStatus, 0, 1, "", nullptr, false, std::nullopt},
        // The CPU operation is only chosen for Execute, not stored in the project.
        {KindCpuSupervision, 0, 0, "", nullptr, false, "Off", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "page " << c.kind << " row " << c.row);
        auto expected = std::make_unique<DeviceRecord>(*rec);
        if (c.expect) c.expect(*expected);
        const PageDef& page = *FindPage(c.kind);
        const PageTarget target{rec.get(), &cpu};
        const StoreResult r = c.entry < 0 ? StoreText(page, target, c.row, c.text)
                                          : StoreChoice(page, target, c.row, c.entry, LangEnglish);
        EXPECT_EQ(r.projectWritten, c.written);
        EXPECT_EQ(r.cellText, c.cell);
        EXPECT_EQ(std::memcmp(expected.get(), rec.get(), sizeof(DeviceRecord)), 0);
        EXPECT_EQ(cpu, c.cpuAfter);
    }
}

TEST(Formats, ClockTextInBothOrders) {
    EXPECT_EQ(FormatClock(DateChina, 2026, 1, 2, 3, 4, 5), "2026.01.02 03:04:05");
    EXPECT_EQ(FormatClock(DateWorld, 2026, 1, 2, 3, 4, 5), "02.01.2026 03:04:05");
}

}  // namespace
}  // namespace corvix
