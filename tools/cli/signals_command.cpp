// SPDX-License-Identifier: Apache-2.0
// corvix-cli signals export | import: a device's signal names to and from spreadsheets.
#include "cli/signals_command.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "cli/cli.h"
#include "cli/history_options.h"
#include "model/signal_sheet.h"
#include "model/texts.h"
#include "report/report_xlsx.h"

namespace corvix::cli {
namespace {

constexpr const char* kSignalsUsage =
    "usage: corvix-cli signals export FILE --device N (--csv | --xlsx) [-o OUT] [--lang zh|en]\n"
    "       corvix-cli signals import FILE --device N IN.csv [--lang zh|en]\n"
    "\n"
    "export writes the signal names of device N (0 is the first device) of the project in\n"
    "FILE: --csv as CSV (UTF-8 with a byte-order mark, a title row, then number and name per\n"
    "row; to standard output without -o), --xlsx as a workbook with one sheet (-o needed).\n"
    "The titles are in the language of --lang (default zh).\n"
    "\n"
    "import makes the rows of IN.csv the signal names and count of device N and writes FILE\n"
    "again (through a temporary file, as every save does). IN.csv may be UTF-8 (with or\n"
    "without a byte-order mark) or GBK, separated by commas, semicolons or tabs, with quoted\n"
    "fields. A first row whose first cell is not a number is a title row; blank rows are\n"
    "skipped; every other row holds its number (1, 2, 3, ... in order) and the name. A file\n"
    "with no names or more than 72, a name over 31 bytes in GBK or with a character GBK\n"
    "cannot hold, or a malformed row is refused: the message names the row, and FILE is not\n"
    "changed. Messages are in the language of --lang. The import is recorded as a save in the\n"
    "settings history (--history DIR, --no-history; see corvix-cli history --help).\n"
    "\n"
    "Exit codes: 0 ok, 2 usage (also: no device N), 3 file error (FILE or IN.csv cannot be\n"
    "read, OUT or FILE cannot be written, or the import was refused).\n";

struct Options {
    std::optional<std::string> device, output;
    bool csv = false, xlsx = false;
    std::string error;
};

// Takes --device N, -o OUT (also --device=N, -o=OUT, --output OUT), --csv and --xlsx out of
// the arguments.
std::vector<std::string> TakeOptions(const std::vector<std::string>& args, Options& out) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--csv" || a == "--xlsx") {
            (a == "--csv" ? out.csv : out.xlsx) = true;
            continue;
        }
        const std::string name = a.substr(0, a.find('='));
        std::optional<std::string>* slot = name == "--device"                   ? &out.device
                                           : name == "-o" || name == "--output" ? &out.output
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
            out.error = name + " needs a value";
        if (slot->has_value() && slot->value().empty()) out.error = name + " needs a value";
    }
    return rest;
}

int Usage(const std::string& error) {
    std::fprintf(stderr, "corvix-cli signals: %s\n\n%s", error.c_str(), kSignalsUsage);
    return ExitUsage;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) return std::nullopt;
    return bytes;
}

}  // namespace

int RunSignalsCommand(const std::vector<std::string>& args) {
    Options options;
    CommandLine cl = ParseCommandLine(TakeOptions(args, options), 0, false);
    if (cl.help || args.empty()) {
        std::fputs(kSignalsUsage, cl.help ? stdout : stderr);
        return cl.help ? ExitOk : ExitUsage;
    }
    if (!cl.error.empty()) return Usage(cl.error);
    if (!options.error.empty()) return Usage(options.error);
    if (cl.positional.empty()) return Usage("expected export or import");
    const std::string sub = cl.positional[0];
    const bool isExport = sub == "export";
    if (!isExport && sub != "import") return Usage("unknown subcommand '" + sub + "' (export or import)");
    const std::size_t wanted = isExport ? 2 : 3;
    if (cl.positional.size() != wanted)
        return Usage(isExport ? "export takes exactly one FILE" : "import takes exactly FILE and IN.csv");
    if (!options.device) return Usage("--device N is needed");
    if (isExport && options.csv == options.xlsx) return Usage("give either --csv or --xlsx");
    if (!isExport && (options.csv || options.xlsx || options.output))
        return Usage("import reads IN.csv and writes FILE; --csv, --xlsx and -o are for export");
    if (options.xlsx && !options.output) return Usage("--xlsx needs -o OUT");
    const std::string& device = *options.device;
    if (device.empty() || device.size() > 4 || device.find_first_not_of("0123456789") != std::string::npos)
        return Usage("--device needs a device number, not '" + device + "'");
    const int index = std::stoi(device);

    CliUserInterface ui;
    CBrondaleDoc doc;
    doc.SetLanguage(cl.language);
    doc.SetUserInterface(&ui);
    const std::string& file = cl.positional[1];
    if (!doc.ImportProjectFrom(file)) return ExitFile;
    const int count = doc.Project().DeviceCountClamped();
    if (index >= count)
        return Usage("the project has no device " + device + " (it has " + std::to_string(count) + ")");
    const int lang = cl.language;

    if (isExport) {
        const DeviceRecord& record = doc.Project().devices[index];
        bool written = false;
        if (options.xlsx) {
            written = WriteSignalsXlsx(record, lang, *options.output);
        } else if (!options.output || *options.output == "-") {
            const std::string csv = SignalSheetCsv(record, lang);
            written = std::fwrite(csv.data(), 1, csv.size(), stdout) == csv.size() && std::fflush(stdout) == 0;
        } else {
            written = WriteReportFile(*options.output, SignalSheetCsv(record, lang));
        }
        if (!written) {
            ui.ShowMessage(Pick(txt::SheetWriteFailed, lang) + options.output.value_or("-"), txt::AppName);
            return ExitFile;
        }
        return ExitOk;
    }

    const std::string& input = cl.positional[2];
    const std::optional<std::string> bytes = ReadWholeFile(input);
    if (!bytes) {
        ui.ShowMessage(Pick(txt::SheetCannotRead, lang) + input, txt::AppName);
        return ExitFile;
    }
    const SignalSheet sheet = ReadSignalSheet(*bytes);
    if (!sheet.Ok()) {
        ui.ShowMessage(input + ": " + SheetErrorText(sheet.error, lang), txt::AppName);
        return ExitFile;
    }
    CliRecording recording(lang);
    recording.Loaded(doc.Project(), file);
    doc.SetSignalNames(index, sheet.namesGbk);
    if (!doc.WriteProjectFile(file)) return ExitFile;
    recording.Saved(doc.Project());  // every save of a project is kept in the settings history
    return ExitOk;
}

}  // namespace corvix::cli
