// SPDX-License-Identifier: Apache-2.0
#include "cli/report_command.h"

#include <filesystem>
#include <optional>

#include "cli/cli.h"
#include "cli/report_xlsx_command.h"
#include "model/doc.h"
#include "model/texts.h"
#include "present/report.h"
#if CORVIX_CLI_PDF
#include "cli/report_pdf_process.h"
#include "ui/report/pdf_document.h"
#endif

namespace corvix::cli {
namespace {

constexpr const char* kReportUsage =
    "usage: corvix-cli project report FILE --html OUT [--lang zh|en]\n"
    "       corvix-cli project report FILE --pdf OUT [--lang zh|en]\n"
    "       corvix-cli project report FILE --xlsx OUT [--lang zh|en]\n"
    "Writes the settings report of the project in FILE to OUT: the project name, its file,\n"
    "the date and time, the program version and, per device, every parameter page as the\n"
    "list shows it (and the stored event log, where there is one). --html writes one\n"
    "self-contained HTML file, --pdf an A4 PDF file. The report and the messages are in the\n"
    "language of --lang (default zh). An existing OUT is replaced.\n"
    "Exit codes: 0 ok, 2 usage, 3 file error (FILE cannot be read or OUT cannot be written;\n"
    "also: the PDF writer program, corvix-report-pdf, is missing or failed).\n";

struct Output {
    std::optional<std::string> html, pdf;
    std::string error;
};

// Takes --html OUT and --pdf OUT (also --html=OUT) out of the arguments.
std::vector<std::string> TakeOutputs(const std::vector<std::string>& args, Output& out) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const std::string name = a.substr(0, a.find('='));
        std::optional<std::string>* slot = name == "--html"  ? &out.html
                                           : name == "--pdf" ? &out.pdf
                                                             : nullptr;
        if (slot == nullptr) {
            rest.push_back(a);
            continue;
        }
        if (slot->has_value()) out.error = name + " given twice";
        if (name.size() < a.size())
            *slot = a.substr(name.size() + 1);
        else if (i + 1 < args.size())
            *slot = args[++i];
        else
            out.error = name + " needs a file";
        if (slot->has_value() && slot->value().empty()) out.error = name + " needs a file";
    }
    return rest;
}

int Usage(const std::string& error) {
    std::fprintf(stderr, "corvix-cli project report: %s\n\n%s", error.c_str(), kReportUsage);
    return ExitUsage;
}

}  // namespace

int RunProjectReport(const std::vector<std::string>& args) {
    if (WantsXlsxReport(args)) return RunProjectReportXlsx(args);
    Output output;
    CommandLine cl = ParseCommandLine(TakeOutputs(args, output), 1, false);
    if (cl.help) {
        std::fputs(kReportUsage, stdout);
        return ExitOk;
    }
    if (!cl.error.empty()) return Usage(cl.error);
    if (!output.error.empty()) return Usage(output.error);
    if (cl.positional.size() != 1) return Usage("expected exactly one FILE");
    if (output.html.has_value() == output.pdf.has_value())
        return Usage("give either --html OUT or --pdf OUT");
    const bool pdf = output.pdf.has_value();
    const std::string& target = pdf ? *output.pdf : *output.html;

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
    const Report report = BuildReport(request);

    bool written = false;
    if (pdf) {
#if CORVIX_CLI_PDF
        const PdfWriterRun run = RunPdfWriter(ui::EncodePdfDocument(ui::PdfDocumentOf(report)), target);
        if (run.outcome == PdfWriterRun::Missing) {
            std::string looked;
            for (const std::string& candidate : PdfWriterCandidates())
                looked += (looked.empty() ? "" : ", ") + candidate;
            ui.ShowMessage(Pick(txt::ReportPdfWriterMissing, cl.language) + looked, txt::AppName);
            return ExitFile;
        }
        if (run.outcome == PdfWriterRun::Failed) {
            char failed[256];
            std::snprintf(failed, sizeof failed, Pick(txt::ReportPdfWriterFailed, cl.language), run.status);
            ui.ShowMessage(failed + target, txt::AppName);
            return ExitFile;
        }
        written = run.outcome == PdfWriterRun::Written;
#else
        ui.ShowMessage(Pick(txt::ReportNoPdfWriter, cl.language) + target, txt::AppName);
        return ExitUsage;
#endif
    } else {
        written = WriteReportFile(target, ReportHtml(report));
    }
    if (!written) {
        ui.ShowMessage(Pick(txt::ReportWriteFailed, cl.language) + target, txt::AppName);
        return ExitFile;
    }
    return ExitOk;
}

}  // namespace corvix::cli
