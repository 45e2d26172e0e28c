// SPDX-License-Identifier: Apache-2.0
// The PDF path of `corvix-cli project report`: the document handed to the PDF writer program,
// that program on its own, and how corvix-cli finds it and reports a missing or failing one.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../model/model_fakes.h"
#include "fakes/run_program.h"
#include "model/gbk.h"
#include "model/project_file.h"
#include "model/record.h"
#include "ui/report/pdf_document.h"

namespace corvix {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(PdfDocument, PassesAnyBytesAndRefusesWhatIsNoDocument) {
    ui::PdfDocument document;
    document.title = std::string("报告 \xff\xfe\0 end", 13);  // no UTF-8, and a NUL
    document.htmlParts = {"<p>主变</p>", "", std::string(200000, 'x')};
    const std::string bytes = ui::EncodePdfDocument(document);
    const auto back = ui::DecodePdfDocument(bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->title, document.title);
    EXPECT_EQ(back->htmlParts, document.htmlParts);

    // {"title": "t", "parts": ["a"]}, keys in either order.
    const std::string minimal("\xa2\x65title\x61t\x65parts\x81\x61\x61", 18);
    const auto small = ui::DecodePdfDocument(minimal);
    ASSERT_TRUE(small.has_value());
    EXPECT_EQ(small->title, "t");
    EXPECT_EQ(small->htmlParts, std::vector<std::string>{"a"});

    const std::vector<std::string> refused = {
        "",
        bytes.substr(0, bytes.size() - 1),                          // cut short
        bytes + "x",                                                // trailing bytes
        R"({"title":"t","parts":[]})",                              // JSON text, not the binary form
        std::string("\xa2\x65title\x01\x65parts\x80", 15),          // the title a number
        std::string("\xa2\x65title\x61t\x65parts\x82\x61\x61\x02", 19),  // a part a number
        std::string("\xa1\x65title\x61t", 8),                       // no parts
        std::string("\x82\x61t\x80", 4),                            // an array
    };
    for (std::size_t i = 0; i < refused.size(); ++i)
        EXPECT_FALSE(ui::DecodePdfDocument(refused[i]).has_value()) << "row " << i;

    // The writer program refuses such input without writing anything.
    test::TempDir dir;
    const std::string out = dir / "r.pdf";
    test::ProgramResult r = test::RunProgram(test::BuiltProgram("corvix-report-pdf"), {out}, refused[1]);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Contains(r.err, "no report document")) << r.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(test::RunProgram(test::BuiltProgram("corvix-report-pdf"), {}).exitCode, 2);
}

// corvix-cli copied into bin/ of a scratch tree, so where the writer lies is up to the test:
// beside it, as in the build folder, or in libexec/corvix/, as installed.
struct ReportPdfWriter : ::testing::Test {
    test::TempDir dir;
    std::string project = dir / "plant.mac";
    fs::path bin = dir.path / "bin";
    fs::path libexec = dir.path / "libexec/corvix";

    void SetUp() override {
        auto p = std::make_unique<ProjectBlock>();
        p->projectOpen = 1;
        p->deviceCount = 1;
        CopyTextField(p->projectName, ProjectNameSize, Utf8ToGbk("新工程").c_str());
        InitialiseNewDevice(p->devices[0], Utf8ToGbk("主变").c_str(), LangChinese);
        ASSERT_EQ(WriteProjectFileAtomic(project, *p), FileError::None);
        fs::create_directories(bin);
        fs::create_directories(libexec);
        fs::copy_file(test::BuiltProgram("corvix-cli"), bin / "corvix-cli");
    }
    void PlaceWriter(const fs::path& where, const std::string& script) {
        for (const fs::path& folder : {bin, libexec}) fs::remove(folder / "corvix-report-pdf");
        if (where.empty()) return;
        if (script.empty()) {
            fs::create_symlink(test::BuiltProgram("corvix-report-pdf"), where / "corvix-report-pdf");
        } else {
            test::WriteBytes(where / "corvix-report-pdf", "#!/bin/sh\n" + script + "\n");
            fs::permissions(where / "corvix-report-pdf", fs::perms::owner_all);
        }
    }
    test::ProgramResult Report(const std::string& out, const std::string& lang) {
        return test::RunProgram("/usr/bin/env", {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", (bin / "corvix-cli").string(),
                                                 "project", "report", project, "--pdf", out, "--lang", lang});
    }
};

TEST_F(ReportPdfWriter, IsFoundBesideOrInstalledAndItsFailuresAreReportedAsFileErrors) {
    struct Row {
        const char* what;
        fs::path where;      // empty: no writer anywhere
        std::string script;  // empty: the real writer
        std::string lang;
        int exitCode;
        std::string message;  // in stderr
    };
    const std::vector<Row> rows = {
        {"installed", libexec, "", "en", 0, ""},
        {"beside", bin, "", "zh", 0, ""},
        {"missing", {}, "", "en", 3, "corvix-report-pdf was not found"},
        {"missing zh", {}, "", "zh", 3, "找不到 PDF 输出程序"},
        {"fails", bin, "exit 1", "en", 3, "failed (status 1)"},
        {"killed", libexec, "cat >/dev/null; kill -SEGV $$", "en", 3, "failed (status 139)"},
        {"cannot write", bin, "cat >/dev/null; exit 3", "zh", 3, "报告无法写入"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PlaceWriter(row.where, row.script);
        const std::string out = dir / (std::string(row.what) + ".pdf");
        const test::ProgramResult r = Report(out, row.lang);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        if (row.exitCode == 0) {
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(test::ReadBytes(out).substr(0, 5), "%PDF-");
            continue;
        }
        EXPECT_TRUE(Contains(r.err, row.message)) << r.err;
        EXPECT_FALSE(fs::exists(out));
        if (row.where.empty()) {  // it names where it looked
            EXPECT_TRUE(Contains(r.err, (bin / "corvix-report-pdf").string())) << r.err;
            EXPECT_TRUE(Contains(r.err, (libexec / "corvix-report-pdf").string())) << r.err;
        }
    }
}

}  // namespace
}  // namespace corvix
