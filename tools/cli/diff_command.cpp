// SPDX-License-Identifier: Apache-2.0
#include "cli/diff_command.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "cli/compare_command.h"
#include "model/diff_sides.h"
#include "model/gbk.h"
#include "model/texts.h"

namespace corvix::cli {
namespace {

constexpr const char* kDiffUsage =
    "usage: corvix-cli diff LEFT RIGHT [--json] [--lang zh|en]\n"
    "Compares two projects, or two devices, and prints one row per field that differs:\n"
    "device, page, field, left value, right value (tab-separated, after a title line).\n"
    "\n"
    "Each side is PATH (a whole project; devices are paired by slot) or PATH@N (device N,\n"
    "counted from 0 like --device). PATH is a project file (.mac) or its JSON text form\n"
    "(project export); the JSON of one device is that device. Both sides are whole projects\n"
    "or both are devices.\n"
    "\n"
    "Pages and fields are named as Compare With Device names them; besides the configuration\n"
    "the diff covers the project name, each device's name, type and serial number, and its\n"
    "event log (events paired by their place in the log, oldest first). A device only one\n"
    "side holds is one row. Bytes no page shows (what follows a text's end, reserved bytes,\n"
    "unused slots) are not listed one by one: when any of them differ, one \"Other bytes\" row\n"
    "says how many and where the first is (in the device record, or in the file for the\n"
    "project's own bytes), so two files that differ in any byte are never reported equal.\n"
    "\n"
    "--json prints {\"equal\": bool, \"differences\": [{\"device\": N or null, \"page\": ...,\n"
    "\"field\": ..., \"left\": ..., \"right\": ...}]}; with PATH@N sides \"device\" is the left N.\n"
    "--lang chooses the language of the texts and messages (default zh).\n"
    "Exit codes: 0 equal, 6 different, 2 usage, 3 a file that cannot be read or is no project.\n";

int Usage(const std::string& error) {
    std::fprintf(stderr, "corvix-cli diff: %s\n\n%s", error.c_str(), kDiffUsage);
    return ExitUsage;
}

void PrintJson(const std::vector<Difference>& rows) {
    nlohmann::ordered_json out;
    out["equal"] = rows.empty();
    out["differences"] = nlohmann::ordered_json::array();
    for (const Difference& d : rows) {
        nlohmann::ordered_json row;
        row["device"] = d.device >= 0 ? nlohmann::ordered_json(d.device) : nlohmann::ordered_json(nullptr);
        row["page"] = d.pageName;
        row["field"] = d.field;
        row["left"] = d.projectText;
        row["right"] = d.deviceText;
        out["differences"].push_back(std::move(row));
    }
    // Texts come from files: anything that is no UTF-8 is replaced, never a failure.
    std::printf("%s\n", out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

void PrintTable(const std::vector<Difference>& rows, int lang) {
    if (rows.empty()) {
        std::printf("%s\n", Pick(txt::DiffEqual, lang));
        return;
    }
    std::printf("%s\t%s\t%s\t%s\t%s\n", Pick(txt::DiffColDevice, lang), Pick(txt::CompareColPage, lang),
                Pick(txt::CompareColField, lang), Pick(txt::DiffColLeft, lang), Pick(txt::DiffColRight, lang));
    for (const Difference& d : rows)
        std::printf("%s\t%s\t%s\t%s\t%s\n", d.device >= 0 ? std::to_string(d.device).c_str() : "-",
                    d.pageName.c_str(), d.field.c_str(), PrintableText(d.projectText).c_str(),
                    PrintableText(d.deviceText).c_str());
}

}  // namespace

int RunDiffCommand(const std::vector<std::string>& args) {
    CommandLine cl = ParseCommandLine(args, 0, true);
    if (cl.help) {
        std::fputs(kDiffUsage, stdout);
        return ExitOk;
    }
    if (!cl.error.empty()) return Usage(cl.error);
    if (cl.positional.size() != 2) return Usage("expected LEFT and RIGHT");
    const int lang = cl.language;
    SideLoad sides[2];
    for (int i = 0; i < 2; ++i) {
        sides[i] = LoadSide(ParseSideName(cl.positional[i]), lang);
        if (sides[i].problem == SideProblem::NoDevice) return Usage(sides[i].message);
        if (sides[i].problem != SideProblem::None) {
            std::fprintf(stderr, "corvix-cli: %s\n", PrintableText(sides[i].message, true).c_str());
            return ExitFile;
        }
    }
    if (!SameKind(sides[0].side, sides[1].side)) return Usage(Pick(txt::DiffMixedSides, lang));
    const std::vector<Difference> rows = DiffSides(sides[0].side, sides[1].side, lang);
    if (cl.json)
        PrintJson(rows);
    else
        PrintTable(rows, lang);
    if (std::fflush(stdout) != 0) return ExitFile;
    return rows.empty() ? ExitOk : ExitDiffers;
}

}  // namespace corvix::cli
