// SPDX-License-Identifier: Apache-2.0
// The XLSX writers, read back by an independent reader (Debian's python with openpyxl).
#include "report/report_xlsx.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fakes/run_program.h"
#include "model/gbk.h"
#include "model/signal_sheet.h"
#include "model/texts.h"

namespace corvix {
namespace {

namespace fs = std::filesystem;

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("corvix-xlsx-test-" + std::to_string(getpid()) + "-" +
                                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

// Every sheet of the workbook, in order: {"sheets": [name, ...], "cells": {name: [[text]]}}.
// Empty cells are "" and numbers come back as their text, so rows compare as the list shows them.
nlohmann::json ReadWorkbook(const std::string& path) {
    const std::string script =
        "import json, sys, openpyxl\n"
        "wb = openpyxl.load_workbook(sys.argv[1])\n"
        "def text(v):\n"
        "    if v is None: return ''\n"
        "    if isinstance(v, float) and v.is_integer(): return str(int(v))\n"
        "    return str(v)\n"
        "out = {'sheets': wb.sheetnames, 'cells': {}}\n"
        "for ws in wb.worksheets:\n"
        "    rows = [[text(v) for v in r] for r in ws.iter_rows(values_only=True)]\n"
        "    out['cells'][ws.title] = [r[:max([i + 1 for i, v in enumerate(r) if v] or [0])] for r in rows]\n"
        "print(json.dumps(out))\n";
    const test::ProgramResult run = test::RunProgram("/usr/bin/python3", {"-c", script, path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.exitCode == 0 ? nlohmann::json::parse(run.out) : nlohmann::json();
}

TEST(SheetName, IsAcceptedUniqueAndShort) {
    struct Case {
        std::string wanted;
        std::string name;
    };
    std::vector<std::string> taken;
    const Case cases[] = {
        {"1 Feeder", "1 Feeder"},
        {"a[b]c:d*e?f/g\\h", "a_b_c_d_e_f_g_h"},
        {"'quoted'", "_quoted_"},
        {"", "_"},
        {"tab\there", "tab_here"},
        {std::string(40, 'x'), std::string(31, 'x')},
        {std::string(40, 'X'), std::string(27, 'X') + " (2)"},  // case does not make it another name
        {"1 FEEDER", "1 FEEDER (2)"},
        // 31 UTF-16 units: a character outside the BMP counts twice and is never cut in half.
        {std::string(30, 'y') + "\xF0\x9F\x98\x80", std::string(30, 'y')},
        {std::string(15, 'z') + std::string("装置一二三四五六七八九十一二三四五六七"), std::string(15, 'z') + "装置一二三四五六七八九十一二三四"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wanted);
        EXPECT_EQ(UniqueSheetName(c.wanted, taken), c.name);
    }
}

TEST(SignalsXlsx, HoldsEveryNameReadByAnIndependentReader) {
    TempDir dir;
    auto device = std::make_unique<DeviceRecord>();
    InitialiseNewDevice(*device, "d", LangChinese);
    ApplySignalNames(*device, {Utf8ToGbk("开关量01"), "=1+1", Utf8ToGbk("a,\"b\""), "", "bell\x07"});
    const std::string path = dir / "signals.xlsx";
    ASSERT_TRUE(WriteSignalsXlsx(*device, LangEnglish, path));
    const nlohmann::json book = ReadWorkbook(path);
    ASSERT_EQ(book["sheets"], nlohmann::json::array({"Signal name"}));
    const nlohmann::json expected = {{"Number", "Signal name"}, {"1", "开关量01"}, {"2", "=1+1"},
                                     {"3", "a,\"b\""},          {"4"}};
    nlohmann::json cells = book["cells"]["Signal name"];
    // A control character is written in the workbook's own escape (the XML would not hold it).
    ASSERT_EQ(cells.size(), 6u);
    EXPECT_EQ(cells[5][1].get<std::string>().substr(0, 4), "bell");
    cells.erase(5);
    EXPECT_EQ(cells, expected);

    // A failed write leaves the earlier file as it was.
    EXPECT_FALSE(WriteSignalsXlsx(*device, LangEnglish, dir / "missing/signals.xlsx"));
    EXPECT_TRUE(IsXlsxPath("A.XLSX"));
    EXPECT_FALSE(IsXlsxPath("a.xls"));
}

TEST(ReportXlsx, OneSheetPerDeviceWithEveryPageAsTheReportHoldsIt) {
    TempDir dir;
    auto project = std::make_unique<ProjectBlock>();
    project->projectOpen = 1;
    project->deviceCount = 3;
    CopyTextField(project->projectName, ProjectNameSize, Utf8ToGbk("变电站").c_str());
    InitialiseNewDevice(project->devices[0], Utf8ToGbk("主变:A/B").c_str(), LangChinese);
    InitialiseNewDevice(project->devices[1], Utf8ToGbk("主变:A/B").c_str(), LangChinese);
    InitialiseNewDevice(project->devices[2], "", LangChinese);
    DeviceRecord& d = project->devices[1];
    d.eventCount = 2;
    for (int i = 0; i < 2; ++i) {
        d.events[i] = {};
        d.events[i].year = 2026, d.events[i].month = 3, d.events[i].day = static_cast<uint8_t>(4 + i);
        CopyTextField(d.events[i].signalName, 32, Utf8ToGbk("开关量01").c_str());
    }
    ReportRequest request;
    request.project = project.get();
    request.projectPath = "/plant/a.mac";
    request.language = LangChinese;
    const Report report = BuildReport(request);

    const std::string path = dir / "report.xlsx";
    ASSERT_TRUE(WriteReportXlsx(report, path));
    const nlohmann::json book = ReadWorkbook(path);
    ASSERT_EQ(book["sheets"], nlohmann::json::array({"工程", "1 主变_A_B", "2 主变_A_B", "装置 3"}));

    const nlohmann::json& front = book["cells"]["工程"];
    EXPECT_EQ(front[0], nlohmann::json::array({report.title}));
    EXPECT_EQ(front[2], nlohmann::json::array({report.facts[0].label, "变电站"}));
    for (std::size_t dev = 0; dev < report.devices.size(); ++dev) {
        SCOPED_TRACE(dev);
        const ReportDevice& device = report.devices[dev];
        const nlohmann::json& cells = book["cells"][book["sheets"][dev + 1].get<std::string>()];
        // The sheet is the device's heading, its facts, then per page a caption, titles, rows.
        std::vector<std::vector<std::string>> expected = {{device.heading}, {}};
        for (const ReportFact& fact : device.facts) expected.push_back({fact.label, fact.value});
        for (const ReportPage& page : device.pages) {
            expected.push_back({});
            expected.push_back({page.caption});
            expected.push_back(page.titles);
            for (const auto& row : page.rows) expected.push_back(row);
            if (page.rows.empty()) expected.push_back({report.emptyPage});
        }
        // Cells the list leaves empty at the end of a row come back as nothing.
        for (auto& row : expected)
            while (!row.empty() && row.back().empty()) row.pop_back();
        EXPECT_EQ(cells, nlohmann::json(expected));
    }
    // The second device holds its event log: both events are on its sheet.
    EXPECT_EQ(report.devices[1].pages.back().rows.size(), 2u);
}

}  // namespace
}  // namespace corvix
