// SPDX-License-Identifier: Apache-2.0
// The settings report: what it holds in both languages, its HTML, its file writing, and
// corvix-cli project report end to end (the PDF read back with pdftotext).
#include "present/report.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../model/model_fakes.h"
#include "fakes/run_program.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/project_file.h"
#include "model/record.h"

namespace corvix {
namespace {

// Two devices; the second has a Chinese signal name whose characters share glyphs with
// radicals in CJK fonts (工, 方) and a stored event.
std::unique_ptr<ProjectBlock> SampleProject(const std::string& projectName, const std::string& deviceName) {
    auto p = std::make_unique<ProjectBlock>();
    p->projectOpen = 1;
    p->deviceCount = 2;
    CopyTextField(p->projectName, ProjectNameSize, Utf8ToGbk(projectName).c_str());
    InitialiseNewDevice(p->devices[0], Utf8ToGbk(deviceName).c_str(), LangChinese);
    InitialiseNewDevice(p->devices[1], "B2", LangEnglish);
    DeviceRecord& d = p->devices[1];
    CopyTextField(d.signalNames[2], SignalNameSize, Utf8ToGbk("主变工况方式").c_str());
    CopyTextField(d.serialNumber, SerialNumberSize, "SN-77");
    d.eventCount = 1;
    d.events[0] = {};
    d.events[0].year = 2026;
    d.events[0].month = 3;
    d.events[0].day = 4;
    CopyTextField(d.events[0].signalName, 32, Utf8ToGbk("主变工况方式").c_str());
    return p;
}

LocalTime FixedTime() {
    LocalTime t;
    t.year = 2026, t.month = 1, t.day = 2, t.hour = 3, t.minute = 4, t.second = 5;
    return t;
}

Report Build(const ProjectBlock& project, int language, int dateOrder = DateChina) {
    ReportRequest request;
    request.project = &project;
    request.projectPath = "/plant/feeders.mac";
    request.language = language;
    request.dateOrder = dateOrder;
    request.clock = FixedTime;
    return BuildReport(request);
}

std::vector<std::string> Captions(const ReportDevice& device) {
    std::vector<std::string> captions;
    for (const ReportPage& page : device.pages) captions.push_back(page.caption);
    return captions;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Report, HoldsTheProjectAndEveryParameterPageInTheInterfaceLanguage) {
    const auto project = SampleProject("变电站一", "主变");
    const Report zh = Build(*project, LangChinese);
    ASSERT_EQ(zh.facts.size(), 5u);
    EXPECT_EQ(zh.facts[0].value, "变电站一");
    EXPECT_EQ(zh.facts[1].value, "/plant/feeders.mac");
    EXPECT_EQ(zh.facts[2].value, "2026.01.02 03:04:05");
    EXPECT_EQ(zh.facts[3].value.size(), 8u);  // "01.01.11"
    EXPECT_EQ(zh.facts[3].value[2], '.');
    ASSERT_EQ(zh.devices.size(), 2u);
    EXPECT_EQ(zh.devices[0].facts[0].value, "主变");
    // Without events a device has the five parameter pages; with them, the event log too.
    EXPECT_EQ(Captions(zh.devices[0]), (std::vector<std::string>{"装置地址", "对时方式", "RS485 系统接口 B1",
                                                                 "RS485 系统接口 B2", "开关量信息定义"}));
    ASSERT_EQ(zh.devices[1].pages.size(), 6u);
    EXPECT_EQ(zh.devices[1].pages[5].caption, "事件信息");
    EXPECT_EQ(zh.devices[1].facts.back().value, "SN-77");
    const ReportPage& signals = zh.devices[1].pages[4];
    ASSERT_EQ(signals.rows.size(), static_cast<std::size_t>(NewDeviceSignalCount));
    EXPECT_EQ(signals.rows[2], (std::vector<std::string>{"03", "开关量3", "主变工况方式"}));
    EXPECT_EQ(zh.devices[1].pages[5].rows[0][2], "主变工况方式");

    const Report en = Build(*project, LangEnglish, DateWorld);
    EXPECT_EQ(en.facts[0].label, "Project name");
    EXPECT_EQ(en.facts[2].value, "02.01.2026 03:04:05");
    EXPECT_EQ(Captions(en.devices[1])[2], "RS485 Port B1 - System");
    EXPECT_EQ(en.devices[1].pages[4].titles[2], "Assignment");
    EXPECT_EQ(en.devices[1].pages[4].rows[2][2], "主变工况方式");
    EXPECT_EQ(en.devices[1].pages[1].rows[0][2], "IRIG B");
    EXPECT_EQ(en.devices[1].pages[5].rows[0][1].substr(0, 10), "04.03.2026");

    // A project never saved says so instead of naming a file.
    ReportRequest unsaved;
    unsaved.project = project.get();
    unsaved.clock = FixedTime;
    EXPECT_EQ(BuildReport(unsaved).facts[1].value, "（未保存到文件）");
}

TEST(Report, HtmlIsOneSelfContainedEscapedDocument) {
    const auto project = SampleProject("A<b>&\"c\"", "<script>x</script>");
    CopyTextField(project->devices[1].name, DeviceNameSize, "bell\x07");
    Report report = Build(*project, LangEnglish);
    report.facts[1].value = "/data/\xff\xfe.mac";  // a path that is no UTF-8
    const std::string html = ReportHtml(report);
    EXPECT_TRUE(Contains(html, "<html lang=\"en\">"));
    EXPECT_TRUE(Contains(html, "<meta charset=\"utf-8\">"));
    EXPECT_TRUE(Contains(html, "A&lt;b&gt;&amp;&quot;c&quot;"));
    EXPECT_TRUE(Contains(html, "&lt;script&gt;x&lt;/script&gt;"));
    EXPECT_FALSE(Contains(html, "<script>"));
    EXPECT_FALSE(Contains(html, "<b>"));
    EXPECT_TRUE(Contains(html, "bell\\x07"));
    EXPECT_FALSE(Contains(html, "\x07"));
    EXPECT_TRUE(Contains(html, "/data/\xEF\xBF\xBD\xEF\xBF\xBD.mac"));
    EXPECT_TRUE(Contains(html, "主变工况方式"));
    EXPECT_TRUE(Contains(html, "RS485 Port B2 - System"));
    // Nothing outside the file is referred to.
    for (const char* outside : {"src=", "href=", "url(", "@import"})
        EXPECT_FALSE(Contains(html, outside)) << outside;
    EXPECT_TRUE(Contains(ReportHtml(Build(*project, LangChinese)), "<html lang=\"zh-CN\">"));
}

TEST(Report, FormatFollowsTheFileName) {
    EXPECT_EQ(ReportFormatOf("/a/r.PDF", ReportFormat::Html), ReportFormat::Pdf);
    EXPECT_EQ(ReportFormatOf("r.htm", ReportFormat::Pdf), ReportFormat::Html);
    EXPECT_EQ(ReportFormatOf("r.html", ReportFormat::Pdf), ReportFormat::Html);
    EXPECT_EQ(ReportFormatOf("pdf", ReportFormat::Html), ReportFormat::Html);
    EXPECT_EQ(ReportFormatOf("r.pdf.txt", ReportFormat::Pdf), ReportFormat::Pdf);
}

TEST(Report, FileIsReplacedWholeOrNotAtAll) {
    test::TempDir dir;
    const std::string file = dir / "r.html";
    ASSERT_TRUE(WriteReportFile(file, "old"));
    ASSERT_TRUE(WriteReportFile(file, "new text"));
    EXPECT_EQ(test::ReadBytes(file), "new text");
    EXPECT_FALSE(WriteReportFile(dir / "missing/r.html", "x"));
    ASSERT_EQ(mkdir((dir / "folder").c_str(), 0700), 0);
    EXPECT_FALSE(WriteReportFile(dir / "folder", "x"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 2);  // no temporary left
}

// ---- corvix-cli project report ----

struct ReportCli : ::testing::Test {
    test::TempDir dir;
    std::string project = dir / "plant.mac";

    void SetUp() override {
        ASSERT_EQ(WriteProjectFileAtomic(project, *SampleProject("新工程", "主变")), FileError::None);
    }
    // Run as a script would: no display and no platform chosen.
    test::ProgramResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"-u", "QT_QPA_PLATFORM", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY",
                                   test::BuiltProgram("corvix-cli"), "project", "report"});
        return test::RunProgram("/usr/bin/env", args);
    }
};

TEST_F(ReportCli, WritesHtmlAndRefusesWhatItCannotDo) {
    const std::string out = dir / "r.html";
    test::ProgramResult r = Cli({project, "--html", out, "--lang", "en"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string html = test::ReadBytes(out);
    EXPECT_TRUE(Contains(html, "<html lang=\"en\">"));
    EXPECT_TRUE(Contains(html, "新工程"));
    EXPECT_TRUE(Contains(html, project));

    EXPECT_EQ(Cli({project}).exitCode, 2);
    EXPECT_EQ(Cli({project, "--html", out, "--pdf", dir / "r.pdf"}).exitCode, 2);
    EXPECT_EQ(Cli({project, "--html"}).exitCode, 2);
    r = Cli({dir / "missing.mac", "--html", out, "--lang", "en"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(Contains(r.err, "Can not open file")) << r.err;
    r = Cli({project, "--html=" + dir / "no/r.html"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(Contains(r.err, "报告无法写入")) << r.err;
}

TEST_F(ReportCli, PdfHoldsTheProjectNameAndChineseSignalNamesAsText) {
#if !CORVIX_CLI_PDF
    GTEST_SKIP() << "corvix-cli is built without the GUI, so without its PDF writer";
#endif
    if (std::system("command -v pdftotext >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed: scripts/deps.sh installs it";
    const std::string out = dir / "r.pdf";
    test::ProgramResult r = Cli({project, "--pdf", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(test::ReadBytes(out).substr(0, 5), "%PDF-");
    r = test::RunProgram("/usr/bin/env", {"pdftotext", "-enc", "UTF-8", out, "-"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "新工程")) << r.out.substr(0, 400);
    EXPECT_TRUE(Contains(r.out, "主变工况方式"));
    EXPECT_TRUE(Contains(r.out, "RS485 系统接口 B1"));
    EXPECT_TRUE(Contains(r.out, "IEC 60870-5-103"));

    r = Cli({project, "--pdf", dir / "no/r.pdf", "--lang", "en"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(Contains(r.err, "The report could not be written")) << r.err;
}

}  // namespace
}  // namespace corvix
