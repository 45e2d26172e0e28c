// SPDX-License-Identifier: Apache-2.0
// Whole-record work against hand-made records: the comparison of a project device with a
// device's configuration and taking the device's values, the events' CSV bytes, and the
// calendar arithmetic of the clock offset.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/clock_offset.h"
#include "model/compare.h"
#include "model/doc.h"
#include "model/event_csv.h"
#include "model/gbk.h"

namespace corvix {
namespace {

void SetName(char* field, int width, const char* utf8) { CopyTextField(field, width, Utf8ToGbk(utf8).c_str()); }

std::unique_ptr<DeviceRecord> Record() {
    auto rec = std::make_unique<DeviceRecord>();
    rec->address = 5, rec->timeSync = TimeSyncIrigB, rec->signalCount = 3;
    rec->baudRate[0] = rec->baudRate[1] = 57600, rec->dataBits[0] = rec->dataBits[1] = 8;
    SetName(rec->signalNames[0], SignalNameSize, "断路器合位");
    SetName(rec->signalNames[1], SignalNameSize, "in02");
    SetName(rec->signalNames[2], SignalNameSize, "主变跳闸");
    return rec;
}

std::vector<std::string> Rows(const std::vector<Difference>& diffs) {
    std::vector<std::string> out;
    for (const Difference& d : diffs)
        out.push_back(d.pageName + "|" + d.field + "|" + d.projectText + "|" + d.deviceText);
    return out;
}

TEST(CompareRecords, ListsEveryDifferingRowAsThePagesShowIt) {
    auto project = Record(), device = Record();
    EXPECT_TRUE(CompareRecords(*project, *device, LangEnglish).empty());
    // Bytes after a name's terminator are not shown, so they do not differ.
    device->signalNames[1][10] = 'x';
    EXPECT_TRUE(CompareRecords(*project, *device, LangChinese).empty());

    device->address = 12;
    device->parity[1] = ParityOdd;
    device->timeSync = 9;  // no text on the device side
    device->baudRate[0] = 9600;
    SetName(device->signalNames[2], SignalNameSize, "母线失压");
    device->signalCount = 4;  // one signal more on the device
    SetName(device->signalNames[3], SignalNameSize, "备用");
    EXPECT_EQ(Rows(CompareRecords(*project, *device, LangChinese)),
              (std::vector<std::string>{"装置地址|装置地址|5|12", "对时方式|对时方式|B码对时|",
                                        "RS485 系统接口 B1|波特率|57600|9600",
                                        "RS485 系统接口 B2|校验方式|NONE|ODD",
                                        "开关量信息定义|开关量3|主变跳闸|母线失压", "开关量信息定义|开关量4|（无）|备用"}));
    // A signal only the project has, in English.
    device->signalCount = 2;
    const std::vector<Difference> en = CompareRecords(*project, *device, LangEnglish);
    EXPECT_EQ(Rows({en[3], en.back()}), (std::vector<std::string>{"RS485 Port B2 - System|Parity|NONE|ODD",
                                                                    "Matrix I/O Assignment|Binary3|主变跳闸|(none)"}));
    EXPECT_EQ(en.back().page, KindSignalNames);
    EXPECT_EQ(en.back().row, 2);
}

TEST(CompareRecords, TakingDeviceValuesRowByRowAndAll) {
    auto project = Record(), device = Record();
    device->address = -3, device->timeSync = 9, device->stopBits[1] = StopBits2, device->baudRate[1] = 1234;
    SetName(device->signalNames[0], SignalNameSize, "母线失压");

    EXPECT_TRUE(TakeDeviceValue(*project, *device, KindDeviceAddress, 0));
    EXPECT_TRUE(TakeDeviceValue(*project, *device, KindTimeSync, 0));
    EXPECT_TRUE(TakeDeviceValue(*project, *device, KindPortB2, 0));
    // The stored numbers, also outside the choices; only the rows asked for.
    EXPECT_EQ((std::vector<long>{project->address, project->timeSync, project->baudRate[1], project->stopBits[1]}),
              (std::vector<long>{-3, 9, 1234, StopBits1}));
    EXPECT_FALSE(TakeDeviceValue(*project, *device, KindSignalNames, 3));

    // Signal rows: one the device has beyond the project's list brings the rows before it.
    device->signalCount = 6;
    for (int i = 3; i < 6; ++i) SetName(device->signalNames[i], SignalNameSize, i == 3 ? "d4" : "dx");
    EXPECT_TRUE(TakeDeviceValue(*project, *device, KindSignalNames, 4));
    EXPECT_EQ(project->signalCount, 5);
    // One only the project has is removed.
    device->signalCount = 2;
    EXPECT_TRUE(TakeDeviceValue(*project, *device, KindSignalNames, 2));
    EXPECT_EQ(project->signalCount, 4);
    EXPECT_EQ(GbkToUtf8(FieldText(project->signalNames[2], SignalNameSize)), "d4");

    EXPECT_TRUE(TakeAllDeviceValues(*project, *device));
    EXPECT_TRUE(CompareRecords(*project, *device, LangChinese).empty());
    EXPECT_FALSE(TakeAllDeviceValues(*project, *device));
}

TEST(EventCsv, BytesOfTheLogNewestFirst) {
    auto rec = std::make_unique<DeviceRecord>();
    rec->eventCount = 2;
    EventRecord& a = rec->events[0];
    a.year = 2026, a.month = 12, a.day = 8, a.hour = 7, a.minute = 25, a.second = 25, a.millisecond = 173;
    SetName(a.signalName, sizeof a.signalName, "断路器");
    EventRecord& b = rec->events[1];
    b.year = 2027, b.month = 1, b.day = 2, b.hour = 3, b.minute = 4, b.second = 5, b.millisecond = 6;
    b.transition = 1;
    SetName(b.signalName, sizeof b.signalName, "a,\"b\"");
    EXPECT_EQ(EventLogCsv(*rec, LangEnglish),
              "\xEF\xBB\xBFNumber,Time,Name,State\r\n"
              "1,2027-01-02T03:04:05.006,\"a,\"\"b\"\"\",On->Off\r\n"
              "2,2026-12-08T07:25:25.173,\xE6\x96\xAD\xE8\xB7\xAF\xE5\x99\xA8,Off->On\r\n");
    rec->eventCount = -4;
    EXPECT_EQ(EventLogCsv(*rec, LangChinese), "\xEF\xBB\xBF序号,时间,名称,状态\r\n");
}

TEST(ClockOffset, CalendarArithmetic) {
    LocalTime t;
    t.year = 2024, t.month = 12, t.day = 31, t.hour = 23, t.minute = 59, t.second = 59, t.millisecond = 900;
    const LocalTime next = AddMilliseconds(t, 150);
    EXPECT_EQ((std::vector<int>{next.year, next.month, next.day, next.hour, next.second, next.millisecond,
                                next.dayOfWeek}),
              (std::vector<int>{2025, 1, 1, 0, 0, 50, 3}));
    const LocalTime leap = AddMilliseconds(t, -306LL * 86400000);  // back across 29 February
    EXPECT_EQ((std::vector<int>{leap.month, leap.day, leap.dayOfWeek}), (std::vector<int>{2, 29, 4}));
    EXPECT_EQ(MillisecondsBetween(next, leap), -(306LL * 86400000 + 150));
}

}  // namespace
}  // namespace corvix
