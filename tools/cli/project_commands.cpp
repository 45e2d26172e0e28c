// SPDX-License-Identifier: Apache-2.0
// corvix-cli project new | add-device | show: the document's own commands, run headless.
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/history_command.h"
#include "cli/history_options.h"
#include "cli/project_ops_command.h"
#include "cli/report_command.h"
#include "cli/text_commands.h"
#include "cli/textconv_command.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/pages.h"
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
    "  show FILE --device N --page PAGE     print one page of device N as the list shows it\n"
    "  report FILE --html OUT | --pdf OUT   write the settings report as HTML or PDF\n"
    "  report FILE --xlsx OUT               ... or as a workbook, one sheet per device\n"
    "  export FILE [--device N] [-o OUT]    write the project (or device N) as canonical JSON\n"
    "  import IN.json -o FILE               write the project a JSON export holds to FILE\n"
    "  textconv FILE [--lang zh|en]         print the project as lines of text, one field a\n"
    "                                       line, for git diff (see textconv --help)\n"
    "  connect FILE --device N --port P ... a device's own port and line settings (--common:\n"
    "                                       back to the common port)\n"
    "  connections FILE [--json]            list the devices' ports\n"
    "  read FILE [--partial]                read every device, ports in parallel\n"
    "  compare FILE                         compare every device with the project\n"
    "  write FILE --yes                     write every device of the project\n"
    "  clock FILE [--set]                   check (or set) every device clock\n"
    "  events FILE [--merged [--csv]]       read every device's event log\n"
    "  check FILE --port PATH [--json]      read every device and compare it with its baseline\n"
    "                                       in the settings history (see check --help)\n"
    "\n"
    "--lang chooses the language of new texts, reports and messages (default zh; show\n"
    "reports its errors in en).\n"
    "Exit codes: 0 ok, 2 usage, 3 file error, 5 project full; the operations over all\n"
    "devices also 1 a device failed, 4 a port could not be opened, 6 a difference.\n"
    "new, add-device and import record the saved devices in the settings history\n"
    "(--history DIR, --no-history; see corvix-cli history --help).\n";

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
    "       corvix-cli project show FILE --device N --page PAGE [--json] [--lang zh|en]\n"
    "                               [--date-order china|world]\n"
    "Prints the project in FILE; --json prints one JSON object. Messages are in English\n"
    "unless --lang zh is given, so that scripts can read its errors.\n"
    "\n"
    "With --page, prints one page of device N (0 is the first device) as the parameter list\n"
    "shows it, its texts in the language of --lang (default en): a line of column titles, then\n"
    "one line per row, cells separated by tabs. With --json:\n"
    "  {\"device\":N,\"page\":PAGE,\"columns\":[titles],\"rows\":[[cells],...]}\n"
    "PAGE is one of address, b1, b2, signals, timesync, events. --date-order sets how the\n"
    "event log writes dates: china (year.month.day, the default) or world (day.month.year).\n";

// The pages show can print, by the name given to --page.
struct PageName {
    const char* name;
    int32_t kind;
};
constexpr PageName kPageNames[] = {
    {"address", KindDeviceAddress}, {"b1", KindPortB1},         {"b2", KindPortB2},
    {"signals", KindSignalNames},   {"timesync", KindTimeSync}, {"events", KindEventLog}};

// The page options of show, taken out of its arguments before the common ones are read.
struct PageOptions {
    std::optional<std::string> device, page, dateOrder;
    std::string error;
};

std::vector<std::string> TakePageOptions(const std::vector<std::string>& args, PageOptions& out) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::optional<std::string>* slot = nullptr;
        std::string name = a.substr(0, a.find('='));
        if (name == "--device")
            slot = &out.device;
        else if (name == "--page")
            slot = &out.page;
        else if (name == "--date-order")
            slot = &out.dateOrder;
        if (slot == nullptr) {
            rest.push_back(a);
        } else if (name.size() < a.size()) {
            *slot = a.substr(name.size() + 1);
        } else if (i + 1 < args.size()) {
            *slot = args[++i];
        } else {
            out.error = name + " needs a value";
        }
    }
    return rest;
}

// The device index of --device: a decimal number, nothing else; -1 when it is not one.
int ParseDevice(const std::string& text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::atoi(text.c_str());
}

int Usage(const char* usage, const std::string& error) {
    std::fprintf(stderr, "corvix-cli project: %s\n\n%s", error.c_str(), usage);
    return ExitUsage;
}

// A document hosted by the command line, in the requested language.
struct Host {
    explicit Host(int language) {
        doc.SetLanguage(language);
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
    if (!host.doc.WriteProjectFile(cl.positional[0])) return ExitFile;
    CliRecording recording(cl.language);
    recording.Created(cl.positional[0]);
    recording.Saved(host.doc.Project());
    return ExitOk;
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
    CliRecording recording(cl.language);
    recording.Loaded(host.doc.Project(), file);
    host.ui.SetName(cl.positional[1]);
    host.doc.AddDevice();
    if (!host.doc.WriteProjectFile(file)) return ExitFile;
    recording.Saved(host.doc.Project());
    return ExitOk;
}

// Names come from the file as they are: printed so that none can drive the terminal.
void PrintText(const CBrondaleDoc& doc) {
    const ProjectBlock& p = doc.Project();
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

std::string Joined(const std::vector<std::string>& cells) {
    std::string out;
    for (std::size_t i = 0; i < cells.size(); ++i) out += (i > 0 ? "\t" : "") + cells[i];
    return out;
}

void PrintPage(const PageTable& table, int device, const std::string& name, bool json) {
    if (!json) {
        std::printf("%s\n", Joined(table.titles).c_str());
        for (const std::vector<std::string>& row : table.rows) std::printf("%s\n", Joined(row).c_str());
        return;
    }
    const nlohmann::ordered_json out{
        {"device", device}, {"page", name}, {"columns", table.titles}, {"rows", table.rows}};
    std::printf("%s\n", out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

int RunShow(const std::vector<std::string>& args) {
    PageOptions po;
    CommandLine cl = ParseCommandLine(TakePageOptions(args, po), 1, true);
    if (cl.help) {
        std::fputs(kShowUsage, stdout);
        return ExitOk;
    }
    if (!cl.error.empty()) return Usage(kShowUsage, cl.error);
    if (!po.error.empty()) return Usage(kShowUsage, po.error);
    if (cl.positional.size() != 1) return Usage(kShowUsage, "expected exactly one FILE");
    const PageName* page = nullptr;
    for (const PageName& p : kPageNames)
        if (po.page && *po.page == p.name) page = &p;
    const int device = po.device ? ParseDevice(*po.device) : -1;
    int dateFormat = DateChina;
    if (po.page || po.device || po.dateOrder) {
        if (!po.page || !po.device) return Usage(kShowUsage, "--device and --page go together");
        if (page == nullptr) return Usage(kShowUsage, "unknown page '" + *po.page + "'");
        if (device < 0) return Usage(kShowUsage, "--device needs a device number, not '" + *po.device + "'");
        if (po.dateOrder && *po.dateOrder != "china" && *po.dateOrder != "world")
            return Usage(kShowUsage, "unknown date order '" + *po.dateOrder + "' (china or world)");
        if (po.dateOrder && *po.dateOrder == "world") dateFormat = DateWorld;
    }
    Host host(cl.languageGiven ? cl.language : LangEnglish);
    if (!host.doc.ImportProjectFrom(cl.positional[0])) return ExitFile;
    if (page != nullptr) {
        const int count = host.doc.Project().DeviceCountClamped();
        if (device >= count)
            return Usage(kShowUsage, "the project has no device " + *po.device + " (it has " +
                                         std::to_string(count) + ")");
        PageSource source;
        source.record = &host.doc.Project().devices[device];
        source.uiLanguage = host.doc.Language();
        source.dateFormat = dateFormat;
        PrintPage(BuildPage(*FindPage(page->kind), source), device, page->name, cl.json);
    } else if (cl.json)
        std::printf("%s\n", ProjectJson(host.doc.Project()).c_str());
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
    if (sub == "report") return RunProjectReport(args);
    if (sub == "export") return RunProjectExport(args);
    if (sub == "import") return RunProjectImport(args);
    if (sub == "textconv") return RunProjectTextconv(args);
    if (IsProjectOpsSubcommand(sub)) return RunProjectOpsCommand(args);
    if (sub == "connect" || sub == "connections") return RunConnectionsCommand(args);
    if (sub == "check") return RunProjectCheck(args);
    return Usage(kProjectUsage, "unknown subcommand '" + sub + "'");
}

}  // namespace corvix::cli
