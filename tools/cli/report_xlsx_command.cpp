// SPDX-License-Identifier: Apache-2.0
#include "cli/report_xlsx_command.h"

#include <filesystem>
#include <optional>

#include "cli/cli.h"
#include "model/texts.h"
#include "present/report.h"
#include "report/report_xlsx.h"

namespace corvix::cli {
namespace {

constexpr const char* kXlsxUsage =
    "usage: corvix-cli project report FILE --xlsx OUT [--lang zh|en]\n"
    "Writes the settings report of the project in FILE to OUT as a workbook: a first sheet\n"
    "with the project name, its file, the date and time and the program version, then one\n"
    "sheet per device with every parameter page as the list shows it and the stored event\n"
    "log, where there is one. The texts are in the language of --lang (default zh). An\n"
    "existing OUT is replaced.\n"
    "Exit codes: 0 ok, 2 usage, 3 file error (FILE cannot be read or OUT cannot be written).\n";

int Usage(const std::string& error) {
    std::fprintf(stderr, "corvix-cli project report: %s\n\n%s", error.c_str(), kXlsxUsage);
    return ExitUsage;
}

}  // namespace

bool WantsXlsxReport(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "--xlsx" || a.rfind("--xlsx=", 0) == 0) return true;
    return false;
}

int RunProjectReportXlsx(const std::vector<std::string>& args) {
    std::optional<std::string> out;
    std::string error;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--html" || a == "--pdf" || a.rfind("--html=", 0) == 0 || a.rfind("--pdf=", 0) == 0) {
            error = "give one of --html OUT, --pdf OUT or --xlsx OUT";
        } else if (a == "--xlsx" || a.rfind("--xlsx=", 0) == 0) {
            if (out) error = "--xlsx given twice";
            if (a.size() > 6)
                out = a.substr(7);
            else if (i + 1 < args.size())
                out = args[++i];
            if (!out || out->empty()) error = "--xlsx needs a file";
        } else {
            rest.push_back(a);
        }
    }
    CommandLine cl = ParseCommandLine(rest, 1, false);
    if (cl.help) {
        std::fputs(kXlsxUsage, stdout);
        return ExitOk;
    }
    if (!cl.error.empty()) return Usage(cl.error);
    if (!error.empty()) return Usage(error);
    if (cl.positional.size() != 1) return Usage("expected exactly one FILE");

    CliUserInterface ui;
    CBrondaleDoc doc;
    doc.SetLanguage(cl.language);
    doc.SetUserInterface(&ui);
    const std::string& file = cl.positional[0];
    if (!doc.ImportProjectFrom(file)) return ExitFile;
    ReportRequest request;
    request.project = &doc.Project();
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    request.projectPath = ec ? file : absolute.lexically_normal().string();
    request.language = cl.language;
    request.dateOrder = DateChina;
    if (!WriteReportXlsx(BuildReport(request), *out)) {
        ui.ShowMessage(Pick(txt::ReportWriteFailed, cl.language) + *out, txt::AppName);
        return ExitFile;
    }
    return ExitOk;
}

}  // namespace corvix::cli
