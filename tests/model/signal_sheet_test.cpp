// SPDX-License-Identifier: Apache-2.0
// Signal names to and from CSV: files written by hand as bytes and by python's csv module,
// the refused files with their rows, and the import through the document.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fakes/run_program.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/signal_sheet.h"
#include "model_fakes.h"

namespace corvix {
namespace {

const std::string Gbk3 = "\xBF\xAA\xB9\xD8\xC1\xBF";  // "开关量" in GBK
const std::string Utf3 = "开关量";

std::vector<std::string> Utf8Names(const SignalSheet& sheet) {
    std::vector<std::string> out;
    for (const std::string& gbk : sheet.namesGbk) out.push_back(GbkToUtf8(gbk));
    return out;
}

struct ReadCase {
    const char* what;
    std::string bytes;
    std::vector<std::string> names;
};

TEST(SignalSheetRead, AcceptsWhatSpreadsheetProgramsSave) {
    const ReadCase cases[] = {
        {"UTF-8 with BOM, CR LF, title", "\xEF\xBB\xBFNumber,Signal name\r\n1,Breaker\r\n2," + Utf3 + "\r\n",
         {"Breaker", Utf3}},
        {"UTF-8 without BOM, LF, no title", "1,a\n2,b\n", {"a", "b"}},
        {"GBK, title in GBK", "\xD0\xF2\xBA\xC5,\xD0\xC5\xCF\xA2\xB6\xA8\xD2\xE5\r\n1," + Gbk3 + "01\r\n2,x\r\n",
         {Utf3 + "01", "x"}},
        {"semicolon, names with commas", "No;Name\r\n1;a,b\r\n2;c\r\n", {"a,b", "c"}},
        {"tab", "No\tName\n1\tone two\n2\t\n", {"one two", ""}},
        {"quoted: doubled quotes, separators", "No,Name\r\n\"1\",\"say \"\"hi\"\", then, go\"\r\n",
         {"say \"hi\", then, go"}},
        {"CR line ends (old Mac)", "No,Name\r1,a\r2,b\r", {"a", "b"}},
        {"blank rows and empty trailing cells", "No,Name,,\r\n\r\n1,a,,\r\n,,\r\n2,b\r\n\r\n", {"a", "b"}},
        {"no line end after the last row, blanks around the number", "No,Name\n 1 ,a\n2,b", {"a", "b"}},
        {"a tie goes to the separator that leaves a number first", "1,a;b\n2,c\n", {"a;b", "c"}},
        {"names kept exactly: spaces and a quote inside", "1, lead\n2,mid\"dle \n", {" lead", "mid\"dle "}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        const SignalSheet sheet = ReadSignalSheet(c.bytes);
        ASSERT_TRUE(sheet.Ok()) << SheetErrorText(sheet.error, LangEnglish);
        EXPECT_EQ(Utf8Names(sheet), c.names);
    }
}

TEST(SignalSheetRead, QuotedLineBreaksStayInOneRecordAndRow) {
    SheetError error;
    const std::vector<CsvRecord> records = ParseCsv("a,\"x\r\ny\"\r\nb,\"p\nq\"\nc,d", ',', error);
    ASSERT_EQ(error.problem, SheetProblem::None);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].fields[1], "x\r\ny");
    EXPECT_EQ(records[1].fields[1], "p\nq");
    EXPECT_EQ(records[2].row, 3);  // a spreadsheet shows each record as one row
    EXPECT_EQ(records[2].fields, (std::vector<std::string>{"c", "d"}));
}

struct RefusedCase {
    const char* what;
    std::string bytes;
    SheetProblem problem;
    int row;
};

std::string Rows(int count, int from = 1) {
    std::string out = "No,Name\r\n";
    for (int i = from; i < from + count; ++i) out += std::to_string(i) + ",n" + std::to_string(i) + "\r\n";
    return out;
}

TEST(SignalSheetRead, RefusesNamingTheRow) {
    const RefusedCase cases[] = {
        {"empty file", "", SheetProblem::Empty, 0},
        {"only a BOM and blank lines", "\xEF\xBB\xBF\r\n\r\n", SheetProblem::Empty, 0},
        {"only a title row", "No,Name\r\n", SheetProblem::Empty, 0},
        {"73 rows", Rows(73), SheetProblem::TooManyRows, 74},
        {"unterminated quote", "No,Name\r\n1,a\r\n2,\"b\r\n3,c\r\n", SheetProblem::OpenQuote, 3},
        {"text after a closing quote", "No,Name\r\n1,\"a\"b\r\n", SheetProblem::TextAfterQuote, 2},
        {"unquoted separator in a name", "No,Name\r\n1,a\r\n2,b,c\r\n", SheetProblem::ColumnCount, 3},
        {"one column", "No,Name\r\n1\r\n", SheetProblem::ColumnCount, 2},
        {"a row went missing", "No,Name\r\n1,a\r\n3,c\r\n", SheetProblem::BadNumber, 3},
        {"number not a number", "No,Name\r\n1,a\r\nx,b\r\n", SheetProblem::BadNumber, 3},
        {"32 bytes in GBK", "1," + std::string(22, 'x') + "开关量开关" + "\n", SheetProblem::NameTooLong, 1},
        {"a character GBK lacks", "No,Name\r\n1,\xF0\x9F\x98\x80\r\n", SheetProblem::NameNotGbk, 2},
        {"a line break in a name", "No,Name\r\n1,\"a\nb\"\r\n", SheetProblem::NameControl, 2},
        {"UTF-16 with BOM", std::string("\xFF\xFE" "1\0,\0a\0", 8), SheetProblem::NotText, 0},
        {"neither UTF-8 nor GBK", "1,\x80\xFF\n", SheetProblem::NotText, 0},
        {"BOM but not UTF-8", "\xEF\xBB\xBF" "1," + Gbk3 + "\n", SheetProblem::NotText, 0},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.what);
        const SignalSheet sheet = ReadSignalSheet(c.bytes);
        EXPECT_EQ(sheet.error.problem, c.problem);
        EXPECT_EQ(sheet.error.row, c.row);
        const std::string en = SheetErrorText(sheet.error, LangEnglish);
        const std::string zh = SheetErrorText(sheet.error, LangChinese);
        EXPECT_NE(en, zh);
        if (c.row > 0) {
            EXPECT_NE(en.find("Row " + std::to_string(c.row) + ":"), std::string::npos) << en;
            EXPECT_NE(zh.find("第 " + std::to_string(c.row) + " 行"), std::string::npos) << zh;
        }
    }
    // Exactly 72 rows and a name of exactly 31 GBK bytes are fine.
    EXPECT_TRUE(ReadSignalSheet(Rows(72)).Ok());
    EXPECT_TRUE(ReadSignalSheet("1," + std::string(21, 'x') + "开关量开关\n").Ok());
}

TEST(SignalSheetWrite, RoundTripsEveryNameAndQuotesAsNeeded) {
    auto device = std::make_unique<DeviceRecord>();
    std::memset(device.get(), 0, sizeof *device);
    const std::vector<std::string> names = {"plain", "a,b", "say \"hi\"", " edge ", "x;y", Utf3 + "07", ""};
    std::vector<std::string> gbk;
    for (const std::string& n : names) gbk.push_back(Utf8ToGbk(n));
    ApplySignalNames(*device, gbk);

    const std::string csv = SignalSheetCsv(*device, LangChinese);
    EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(csv.substr(3, csv.find("\r\n") - 3), "序号,信息定义");
    EXPECT_NE(csv.find("\r\n2,\"a,b\"\r\n3,\"say \"\"hi\"\"\"\r\n4,\" edge \"\r\n"), std::string::npos);
    const SignalSheet back = ReadSignalSheet(csv);
    ASSERT_TRUE(back.Ok()) << SheetErrorText(back.error, LangEnglish);
    EXPECT_EQ(Utf8Names(back), names);
}

TEST(SignalSheetWrite, TakingNamesSetsTheCountAndKeepsLaterSlots) {
    auto device = std::make_unique<DeviceRecord>();
    InitialiseNewDevice(*device, "d", LangEnglish);
    const std::string slot10 = FieldText(device->signalNames[10], SignalNameSize);
    ApplySignalNames(*device, {"one", Gbk3});
    EXPECT_EQ(device->signalCount, 2);
    EXPECT_EQ(FieldText(device->signalNames[1], SignalNameSize), Gbk3);
    EXPECT_EQ(FieldText(device->signalNames[10], SignalNameSize), slot10);
    ApplySignalNames(*device, std::vector<std::string>(80, "n"));
    EXPECT_EQ(device->signalCount, MaxSignalNames);
}

TEST(SignalSheetDoc, AnImportIsAnEditOfTheProject) {
    test::FakeUi ui;
    CBrondaleDoc doc;
    test::FakeViews views{doc};
    doc.SetUserInterface(&ui);
    doc.SetViews(&views);
    EXPECT_FALSE(doc.SetSignalNames(0, {"a"}));  // no project yet
    doc.NewProject();
    doc.SetModified(false);
    EXPECT_FALSE(doc.SetSignalNames(1, {"a"}));  // the new project has one device
    EXPECT_FALSE(doc.HasUnsavedChanges());
    ASSERT_TRUE(doc.SetSignalNames(0, {"a", "b", "c"}));
    EXPECT_EQ(doc.Project().devices[0].signalCount, 3);
    EXPECT_TRUE(doc.Modified());
    EXPECT_TRUE(doc.HasUnsavedChanges());
}

// python's csv module, an independent writer, in GBK with semicolons (as a spreadsheet on a
// Chinese system saves), with quoting wherever it likes.
TEST(SignalSheetRead, ReadsWhatPythonsCsvModuleWritesInGbk) {
    const auto dir = std::filesystem::temp_directory_path() / ("corvix-sheet-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "gbk.csv").string();
    const std::string script =
        "import csv, sys\n"
        "with open(sys.argv[1], 'w', encoding='gbk', newline='') as f:\n"
        "    w = csv.writer(f, delimiter=';', quoting=csv.QUOTE_ALL)\n"
        "    w.writerow(['序号', '信息定义'])\n"
        "    for i in range(1, 73):\n"
        "        w.writerow([i, '开关量%02d;\"甲\"' % i])\n";
    const test::ProgramResult run = test::RunProgram("/usr/bin/python3", {"-c", script, path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::filesystem::remove_all(dir);
    const SignalSheet sheet = ReadSignalSheet(bytes);
    ASSERT_TRUE(sheet.Ok()) << SheetErrorText(sheet.error, LangEnglish);
    ASSERT_EQ(sheet.namesGbk.size(), 72u);
    EXPECT_EQ(GbkToUtf8(sheet.namesGbk[71]), "开关量72;\"甲\"");
}

}  // namespace
}  // namespace corvix
