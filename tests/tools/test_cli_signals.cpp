// SPDX-License-Identifier: Apache-2.0
// corvix-cli signals export | import and project report --xlsx, through the real program;
// the files it writes are read by independent tools (xlsx2csv, python with openpyxl).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fakes/run_program.h"

namespace corvix {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct CliSignals : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("corvix-cli-signals-" + std::to_string(getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::string project = (dir / "p.mac").string();

    void SetUp() override {
        fs::create_directories(dir);
        ASSERT_EQ(Cli({"project", "new", project, "--lang", "en"}).exitCode, 0);
        ASSERT_EQ(Cli({"project", "add-device", project, "Feeder 2", "--lang", "en"}).exitCode, 0);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    static test::ProgramResult Cli(const std::vector<std::string>& args) {
        return test::RunProgram(test::BuiltProgram("corvix-cli"), args);
    }
    std::string ExportCsv(int device, const std::string& lang = "en") {
        const test::ProgramResult r =
            Cli({"signals", "export", project, "--device", std::to_string(device), "--csv", "--lang", lang});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    }
};

TEST_F(CliSignals, ExportedNamesImportIntoAnotherDeviceAndOnlyItChanges) {
    WriteAll(Path("in.csv"), "\xD0\xF2\xBA\xC5;\xD0\xC5\xCF\xA2\xB6\xA8\xD2\xE5\r\n1;\xBF\xAA\xB9\xD8\xC1\xBF\r\n"
                             "2;\"a;\"\"b\"\"\"\r\n");  // GBK, semicolons, as a Chinese spreadsheet saves
    const std::string before = ReadAll(project);
    const test::ProgramResult imported = Cli({"signals", "import", project, "--device", "1", Path("in.csv")});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(ExportCsv(1), "\xEF\xBB\xBFNumber,Signal name\r\n1,开关量\r\n2,\"a;\"\"b\"\"\"\r\n");
    // The count and the two names of device 1 are all that changed (the first device's
    // record starts at byte 112, each is 30488 bytes, the names at 180, the count at 178).
    const std::string after = ReadAll(project);
    ASSERT_EQ(after.size(), before.size());
    const std::size_t device1 = 112 + 30488;
    for (std::size_t i = 0; i < after.size(); ++i)
        if (after[i] != before[i]) {
            ASSERT_GE(i, device1 + 178) << i;
            ASSERT_LT(i, device1 + 180 + 2 * 32) << i;
        }

    // Device 0's export, with its 65 names, goes into device 1 unchanged.
    WriteAll(Path("zero.csv"), ExportCsv(0, "zh"));
    ASSERT_EQ(Cli({"signals", "import", project, "--device", "1", Path("zero.csv")}).exitCode, 0);
    EXPECT_EQ(ExportCsv(1), ExportCsv(0));
}

TEST_F(CliSignals, RefusedImportsNameTheRowAndLeaveTheFile) {
    struct Case {
        const char* what;
        std::string csv;
        std::string en;  // part of the English message
        std::string zh;  // part of the Chinese message
    };
    std::string tooMany = "No,Name\n";
    for (int i = 1; i <= 73; ++i) tooMany += std::to_string(i) + ",n\n";
    const Case cases[] = {
        {"empty", "", "holds no signal names", "没有信息定义"},
        {"73 names", tooMany, "Row 74:", "第 74 行"},
        {"too long", "No,Name\n1,ok\n2," + std::string(32, 'x') + "\n", "Row 3:", "第 3 行"},
        {"open quote", "No,Name\n1,\"ok\n", "Row 2:", "第 2 行"},
        {"three columns", "No,Name\n1,a,b\n", "Row 2:", "第 2 行"},
    };
    const std::string before = ReadAll(project);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(Path("bad.csv"), c.csv);
        const test::ProgramResult en =
            Cli({"signals", "import", project, "--device", "0", Path("bad.csv"), "--lang", "en"});
        EXPECT_EQ(en.exitCode, 3);
        EXPECT_NE(en.err.find(c.en), std::string::npos) << en.err;
        const test::ProgramResult zh = Cli({"signals", "import", project, "--device", "0", Path("bad.csv")});
        EXPECT_EQ(zh.exitCode, 3);
        EXPECT_NE(zh.err.find(c.zh), std::string::npos) << zh.err;
        EXPECT_EQ(ReadAll(project), before);
    }
}

TEST_F(CliSignals, UsageAndFileErrors) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    };
    WriteAll(Path("ok.csv"), "1,a\n");
    const Case cases[] = {
        {{"signals"}, 2},
        {{"signals", "export", project, "--csv"}, 2},                                 // no --device
        {{"signals", "export", project, "--device", "2", "--csv"}, 2},                // no such device
        {{"signals", "export", project, "--device", "x", "--csv"}, 2},
        {{"signals", "export", project, "--device", "0", "--csv", "--xlsx"}, 2},
        {{"signals", "export", project, "--device", "0", "--xlsx"}, 2},              // needs -o
        {{"signals", "import", project, "--device", "0"}, 2},                        // no IN.csv
        {{"signals", "import", project, "--device", "0", Path("ok.csv"), "--csv"}, 2},
        {{"signals", "move", project}, 2},
        {{"signals", "import", project, "--device", "0", Path("missing.csv")}, 3},
        {{"signals", "import", Path("missing.mac"), "--device", "0", Path("ok.csv")}, 3},
        {{"signals", "export", project, "--device", "0", "--csv", "-o", Path("no/dir.csv")}, 3},
        {{"project", "report", project, "--xlsx", Path("r.xlsx"), "--pdf", Path("r.pdf")}, 2},
        {{"project", "report", project, "--xlsx"}, 2},
        {{"project", "report", project, "--xlsx", Path("no/dir.xlsx")}, 3},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        EXPECT_EQ(Cli(c.args).exitCode, c.exitCode);
    }
    EXPECT_EQ(Cli({"signals", "--help"}).exitCode, 0);
}

TEST_F(CliSignals, WorkbooksReadByIndependentTools) {
    const std::string sheet = Path("s.xlsx");
    ASSERT_EQ(Cli({"signals", "export", project, "--device", "1", "--xlsx", "-o", sheet, "--lang", "en"}).exitCode, 0);
    const test::ProgramResult csv = test::RunProgram("/usr/bin/xlsx2csv", {sheet});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out.substr(0, 44), "Number,Signal name\n1,matrix in01\n2,matrix in");
    EXPECT_NE(csv.out.find("\n65,matrix out11\n"), std::string::npos);

    const std::string book = Path("r.xlsx");
    const test::ProgramResult report = Cli({"project", "report", project, "--xlsx", book, "--lang", "en"});
    ASSERT_EQ(report.exitCode, 0) << report.err;
    const test::ProgramResult names = test::RunProgram(
        "/usr/bin/python3",
        {"-c", "import sys, openpyxl\nwb = openpyxl.load_workbook(sys.argv[1])\nprint('|'.join(wb.sheetnames))\n"
               "print(wb.worksheets[2]['A1'].value)",
         book});
    ASSERT_EQ(names.exitCode, 0) << names.err;
    EXPECT_EQ(names.out, "Project|1 1|2 Feeder 2\nDevice 2\n");
}

}  // namespace
}  // namespace corvix
