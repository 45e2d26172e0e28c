// SPDX-License-Identifier: Apache-2.0
// Record operations and the GBK text layer.
#include "model/record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "model/gbk.h"
#include "model/texts.h"
#include "model_fakes.h"

namespace corvix {
namespace {

using test::Bytes;

// A record whose every byte is 0xAA, so untouched bytes are visible.
std::unique_ptr<DeviceRecord> DirtyRecord() {
    auto rec = std::make_unique<DeviceRecord>();
    std::memset(static_cast<void*>(rec.get()), 0xAA, sizeof(DeviceRecord));
    return rec;
}

std::string Name(const DeviceRecord& r, int i) { return FieldText(r.signalNames[i], SignalNameSize); }

TEST(NewDevice, LayoutOfTheFixedFields) {
    auto rec = DirtyRecord();
    InitialiseNewDevice(*rec, "1", LangEnglish);
    const auto* b = reinterpret_cast<const uint8_t*>(rec.get());
    EXPECT_EQ(Bytes(b, 2), std::string("1\0", 2));
    const uint8_t expected[24] = {0x01, 0x00, 0x00, 0x00, 0x00, 0,    0,    0,    0x00, 0x4B, 0x00, 0x00,
                                  0x00, 0x4B, 0x00, 0x00, 0x08, 0x08, 0x00, 0x00, 0x01, 0x01, 0x41, 0x00};
    for (int i = 0; i < 24; ++i) {
        if (i >= 5 && i <= 7) continue;  // padding
        EXPECT_EQ(b[156 + i], expected[i]) << "byte " << 156 + i;
    }
    EXPECT_EQ(rec->eventCount, 0);
    // Creation assigns nothing else.
    EXPECT_EQ(rec->deviceType[0], '\xAA');
    EXPECT_EQ(rec->serialNumber[19], '\xAA');
    EXPECT_EQ(rec->reserved[0], 0xAA);
    EXPECT_EQ(rec->signalNames[65][0], '\xAA');
    EXPECT_EQ(rec->events[0].year, 0xAAAA);
    EXPECT_STREQ(txt::TimeSyncText(rec->timeSync, LangEnglish), "IRIG B");
}

TEST(NewDevice, DefaultNamesInTheCreationLanguage) {
    auto en = DirtyRecord();
    InitialiseNewDevice(*en, "1", LangEnglish);
    EXPECT_EQ(Name(*en, 0), "matrix in01");
    EXPECT_EQ(Name(*en, 53), "matrix in54");
    EXPECT_EQ(Name(*en, 54), "matrix out01");
    EXPECT_EQ(Name(*en, 64), "matrix out11");

    auto zh = DirtyRecord();
    InitialiseNewDevice(*zh, "1", LangChinese);
    // 矩阵输入 / 矩阵输出 in code page 936.
    EXPECT_EQ(Bytes(zh->signalNames[0], 11),
              "\xBE\xD8\xD5\xF3\xCA\xE4\xC8\xEB"
              "01" +
                  std::string(1, '\0'));
    EXPECT_EQ(Bytes(zh->signalNames[54], 11),
              "\xBE\xD8\xD5\xF3\xCA\xE4\xB3\xF6"
              "01" +
                  std::string(1, '\0'));
    EXPECT_EQ(GbkToUtf8(Name(*zh, 64)), "矩阵输出11");
    EXPECT_EQ(GbkToUtf8(Name(*zh, 53)), "矩阵输入54");
}

TEST(SignalNames, InsertAtTheEdges) {
    auto rec = DirtyRecord();
    InitialiseNewDevice(*rec, "1", LangEnglish);
    auto before = std::make_unique<DeviceRecord>(*rec);
    InsertSignalName(*rec, -1, "x");
    InsertSignalName(*rec, 66, "x");
    EXPECT_EQ(std::memcmp(rec.get(), before.get(), sizeof(DeviceRecord)), 0);

    InsertSignalName(*rec, 65, "last");
    EXPECT_EQ(rec->signalCount, 66);
    EXPECT_EQ(Name(*rec, 65), "last");
    InsertSignalName(*rec, 0, "first");
    EXPECT_EQ(Name(*rec, 0), "first");
    EXPECT_EQ(Name(*rec, 1), "matrix in01");
    EXPECT_EQ(Name(*rec, 66), "last");
    // A moved name is copied as text: the target's bytes after the NUL stay.
    EXPECT_EQ(rec->signalNames[66][31], '\xAA');

    while (rec->signalCount < MaxSignalNames) InsertSignalName(*rec, rec->signalCount, "fill");
    auto full = std::make_unique<DeviceRecord>(*rec);
    InsertSignalName(*rec, 0, "73rd");
    InsertSignalName(*rec, 72, "73rd");
    EXPECT_EQ(std::memcmp(rec.get(), full.get(), sizeof(DeviceRecord)), 0);
}

TEST(SignalNames, RemoveAtTheEdges) {
    auto rec = DirtyRecord();
    InitialiseNewDevice(*rec, "1", LangEnglish);
    RemoveSignalName(*rec, 65);
    RemoveSignalName(*rec, -1);
    EXPECT_EQ(rec->signalCount, 65);
    RemoveSignalName(*rec, 0);
    EXPECT_EQ(rec->signalCount, 64);
    EXPECT_EQ(Name(*rec, 0), "matrix in02");
    EXPECT_EQ(Name(*rec, 63), "matrix out11");
    EXPECT_EQ(Name(*rec, 64), "matrix out11");  // beyond the count, keeps its old text

    rec->signalCount = 1;
    RemoveSignalName(*rec, 0);
    EXPECT_EQ(rec->signalCount, 0);
    RemoveSignalName(*rec, 0);
    EXPECT_EQ(rec->signalCount, 0);
}

TEST(SignalNames, CountBeyondTheArrayIsClamped) {
    auto rec = DirtyRecord();  // signalCount 0xAAAA
    InsertSignalName(*rec, 72, "x");
    EXPECT_EQ(rec->signalCount, 0xAAAA);
    RemoveSignalName(*rec, 71);
    EXPECT_EQ(rec->signalCount, 71);
    RemoveSignalName(*rec, 0);
    EXPECT_EQ(rec->signalCount, 70);
}

TEST(TextField, CutToWidthWithoutSplittingACharacter) {
    char field[8];
    std::memset(field, 'z', sizeof field);
    const std::string gbk = Utf8ToGbk("a矩阵");  // 61 BE D8 D5 F3
    CopyTextField(field, 4, gbk.c_str());
    EXPECT_EQ(Bytes(field, 5), "a\xBE\xD8" + std::string(1, '\0') + "z");
    CopyTextField(field, 3, gbk.c_str());
    EXPECT_EQ(Bytes(field, 3), std::string("a\0\xD8", 3));
    CopyTextField(field, 8, "abcdefghij");
    EXPECT_EQ(Bytes(field, 8), std::string("abcdefg\0", 8));
    EXPECT_EQ(GbkPrefixLength(gbk, 2), 1u);
    EXPECT_EQ(GbkPrefixLength(gbk, 100), 5u);
    EXPECT_EQ(GbkPrefixLength("\xBE", 5), 1u);  // a lone lead byte counts as one
}

TEST(Gbk, ConversionAtTheEdges) {
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk("新工程 matrix")), "新工程 matrix");
    EXPECT_EQ(GbkToUtf8("a\xFF"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(GbkToUtf8("x\xBE"), "x\xEF\xBF\xBD");     // truncated double-byte character
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80z"), "a?z");  // not in code page 936
    EXPECT_EQ(FieldText("abc", 2), "ab");
    char unterminated[4] = {'w', 'x', 'y', 'z'};
    EXPECT_EQ(FieldText(unterminated, 4), "wxyz");
}

TEST(Gbk, PrintableTextEscapesControlCharacters) {
    const struct {
        const char* in;
        bool keepLineEnds;
        const char* out;
    } cases[] = {
        {"plain 新工程", false, "plain 新工程"},
        {"a\x1B[2Jb\x07\x7F\t", false, "a\\x1B[2Jb\\x07\\x7F\\x09"},
        {"csi\xC2\x9B"
         "1m \xC2\xA0",
         false, "csi\\u009B1m \xC2\xA0"},  // C1 escaped, no-break space kept
        {"l1\r\nl2\n\rx", true, "l1\r\nl2\n\\x0Dx"},
        {"l1\r\n", false, "l1\\x0D\\x0A"},
    };
    for (const auto& c : cases) EXPECT_EQ(PrintableText(c.in, c.keepLineEnds), c.out) << c.in;
}

TEST(Texts, CodesOutsideTheirListHaveNoText) {
    EXPECT_STREQ(txt::PortProtocolText(1, LangChinese), "Modbus RTU");
    EXPECT_EQ(txt::PortProtocolText(2, LangEnglish), nullptr);
    EXPECT_STREQ(txt::TimeSyncText(2, LangChinese), "无对时");
    EXPECT_EQ(txt::TimeSyncText(-1, LangChinese), nullptr);
    EXPECT_STREQ(txt::StopBitsText(1, LangEnglish), "1.5");
    EXPECT_EQ(txt::ParityText(3, LangEnglish), nullptr);
    EXPECT_STREQ(txt::TransitionText(0, LangChinese), "分->合");
    EXPECT_STREQ(txt::TransitionText(7, LangEnglish), "On->Off");
}

}  // namespace
}  // namespace corvix
