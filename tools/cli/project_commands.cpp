// corvix-cli project new | add-device | show: the document's own commands, run headless.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/project_json.h"
#include "model/texts.h"

namespace corvix::cli {
namespace {

constexpr const char* kProjectUsage =
    "usage: corvix-cli project <subcommand> [arguments]\n"
    "\n"
    "subcommands:\n"
    "  new FILE [--lang zh|en]              write a new project with one device\n"
    "  add-device FILE NAME [--lang zh|en]  append a new device named NAME\n"
    "  show FILE [--json] [--lang zh|en]    print the project\n"
    "\n"
    "--lang chooses the language of new texts and messages (default zh; show reports in en).\n"
    "Exit codes: 0 ok, 2 usage, 3 file error, 5 project full.\n";

constexpr const char* kNewUsage =
    "usage: corvix-cli project new FILE [--lang zh|en]\n"
    "Writes FILE as a new project: one device named 1 with the default signal names of\n"
    "the chosen language. An existing FILE is replaced.\n";

constexpr const char* kAddUsage =
    "usage: corvix-cli project add-device FILE NAME [--lang zh|en]\n"
    "Appends a new device named NAME (at most 99 bytes once stored) to the project in FILE\n"
    "and writes FILE again. A project holds at most 20 devices (exit code 5).\n";

constexpr const char* kShowUsage =
    "usage: corvix-cli project show FILE [--json] [--lang zh|en]\n"
    "Prints the project in FILE; --json prints one JSON object. Messages are in English\n"
    "unless --lang zh is given: show creates no texts, and scripts read its errors.\n";

int Usage(const char* usage, const std::string& error) {
    std::fprintf(stderr, "corvix-cli project: %s\n\n%s", error.c_str(), usage);
    return ExitUsage;
}

// A document hosted by the command line, in the requested language.
struct Host {
    explicit Host(int language) {
        doc.uiLanguage = language;
        doc.SetUserInterface(&ui);
    }
    CliUserInterface ui;
    CBrondaleDoc doc;
};

int RunNew(const std::vector<std::string>& args) {
    CommandLine cl = ParseCommandLine(args, 1, false);
    if (cl.help) {
        std::fputs(kNewUsage, stdout);
        return ExitOk;
    }
    if (!cl.error.empty()) return Usage(kNewUsage, cl.error);
    if (cl.positional.size() != 1) return Usage(kNewUsage, "expected exactly one FILE");
    Host host(cl.language);
    host.doc.NewProject();
    return host.doc.WriteProjectFile(cl.positional[0]) ? ExitOk : ExitFile;
}

int RunAddDevice(const std::vector<std::string>& args) {
    CommandLine cl = ParseCommandLine(args, 1, false);
    if (cl.help) {
        std::fputs(kAddUsage, stdout);
        return ExitOk;
    }
    if (!cl.error.empty()) return Usage(kAddUsage, cl.error);
    if (cl.positional.size() != 2) return Usage(kAddUsage, "expected FILE and NAME");
    Host host(cl.language);
    const std::string& file = cl.positional[0];
    if (!host.doc.ImportProjectFrom(file)) return ExitFile;
    if (!host.doc.CanAddDevice()) {
        host.ui.ShowMessage(Pick(txt::ProjectFull, cl.language), txt::AppName);
        return ExitFull;
    }
    host.ui.SetName(cl.positional[1]);
    host.doc.AddDevice();
    return host.doc.WriteProjectFile(file) ? ExitOk : ExitFile;
}

// Names come from the file as they are: printed so that none can drive the terminal.
void PrintText(const CBrondaleDoc& doc) {
    const ProjectBlock& p = *doc.project;
    std::printf("project: %s\n", PrintableText(GbkToUtf8(FieldText(p.projectName, ProjectNameSize))).c_str());
    std::printf("open: %d\n", p.projectOpen);
    const int count = p.DeviceCountClamped();
    std::printf("devices: %d\n", count);
    for (int i = 0; i < count; ++i) {
        const DeviceRecord& d = p.devices[i];
        std::printf("  %d  %s  address %d  signals %d  events %d\n", i + 1,
                    PrintableText(GbkToUtf8(FieldText(d.name, DeviceNameSize))).c_str(), d.address,
                    d.SignalCountClamped(), d.EventCountClamped());
    }
}

int RunShow(const std::vector<std::string>& args) {
    CommandLine cl = ParseCommandLine(args, 1, true);
    if (cl.help) {
        std::fputs(kShowUsage, stdout);
        return ExitOk;
    }
    if (!cl.error.empty()) return Usage(kShowUsage, cl.error);
    if (cl.positional.size() != 1) return Usage(kShowUsage, "expected exactly one FILE");
    Host host(cl.languageGiven ? cl.language : LangEnglish);
    if (!host.doc.ImportProjectFrom(cl.positional[0])) return ExitFile;
    if (cl.json)
        std::printf("%s\n", ProjectJson(*host.doc.project).c_str());
    else
        PrintText(host.doc);
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

}  // namespace

int RunProjectCommand(const std::vector<std::string>& args) {
    if (args.empty()) return Usage(kProjectUsage, "missing subcommand");
    const std::string& sub = args[0];
    if (IsHelp(sub)) {
        std::fputs(kProjectUsage, stdout);
        return ExitOk;
    }
    if (sub == "new") return RunNew(args);
    if (sub == "add-device") return RunAddDevice(args);
    if (sub == "show") return RunShow(args);
    return Usage(kProjectUsage, "unknown subcommand '" + sub + "'");
}

}  // namespace corvix::cli
