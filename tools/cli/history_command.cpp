// SPDX-License-Identifier: Apache-2.0
// corvix-cli history ...: the recorded states of one device, one state, the differences
// between two states (or a state and the project now), and the device's baseline.
#include "cli/history_command.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "cli/compare_command.h"
#include "cli/history_options.h"
#include "history/device_key.h"
#include "history/recorder.h"
#include "model/compare.h"
#include "model/texts_githistory.h"

namespace corvix::cli {
namespace {

constexpr const char* kHistoryUsage =
    "usage: corvix-cli history <subcommand> FILE.mac --device N [arguments]\n"
    "\n"
    "subcommands:\n"
    "  list FILE --device N [--json]          the recorded states of device N, newest first:\n"
    "                                         revision, time, operation, user, port, changed\n"
    "                                         fields, baseline mark\n"
    "  show FILE --device N REV [--json]      one state: its facts and the device's settings\n"
    "                                         (canonical JSON)\n"
    "  diff FILE --device N REV1 [REV2] [--json]\n"
    "                                         the fields that differ between two states, or\n"
    "                                         between REV1 and device N of FILE as it is now;\n"
    "                                         exit 0 equal, 6 different\n"
    "  restore FILE --device N REV            take state REV's settings into device N of FILE\n"
    "                                         (its event log stays) and write FILE\n"
    "  baseline FILE --device N [REV]         mark state REV (default: the newest) as the\n"
    "                                         device's baseline, which project check compares\n"
    "                                         with\n"
    "\n"
    "N counts from 0. REV is a revision of the history repository (a commit id, or any name\n"
    "git understands, such as HEAD~1). --json of list prints [{\"rev\", \"time\" (ISO 8601 with\n"
    "offset), \"operation\" (read, write, save, check, restore), \"user\", \"port\", \"changed\",\n"
    "\"baseline\"}]; a read that found the device as last recorded is listed as a check.\n"
    "--lang zh|en chooses the language of the texts (default en).\n"
    "Exit codes: 0 ok, 2 usage, 3 the file, the history or the revision cannot be read,\n"
    "6 (diff) the two differ.\n";

int Usage(const std::string& error) {
    std::fprintf(stderr, "corvix-cli history: %s\n\n%s\n%s", error.c_str(), kHistoryUsage, kHistoryOptionsHelp);
    return ExitUsage;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "corvix-cli: %s\n", PrintableText(text, true).c_str());
    return ExitFile;
}

const char* OperationText(const std::string& op, int lang) {
    if (op == "read") return Pick(txt::GitOpRead, lang);
    if (op == "write") return Pick(txt::GitOpWrite, lang);
    if (op == "save") return Pick(txt::GitOpSave, lang);
    if (op == "check") return Pick(txt::GitOpCheck, lang);
    if (op == "restore") return Pick(txt::GitOpRestore, lang);
    return op.c_str();
}

nlohmann::ordered_json StateJson(const history::State& s) {
    return {{"rev", s.rev},        {"time", history::IsoTime(s.time, s.offsetMinutes)},
            {"operation", s.operation}, {"user", s.user},
            {"port", s.port},      {"changed", s.changed},
            {"baseline", s.baseline}};
}

void PrintJson(const nlohmann::ordered_json& json) {
    std::printf("%s\n", json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

// What every subcommand starts from: the project, the device's file in the history, and the
// repository (null when none has been made yet).
struct Target {
    std::unique_ptr<ProjectBlock> block = std::make_unique<ProjectBlock>();
    int device = 0;
    std::string path;
    std::unique_ptr<history::Recorder> recorder;
    history::Repository* repo = nullptr;
};

int OpenTarget(const CommandLine& cl, int device, Target& t) {
    const std::string& file = cl.positional[1];
    if (ReadProjectFile(file, *t.block) != FileError::None)
        return Fail(file + ": " + Pick(txt::FileFormatError, cl.language));
    if (device >= t.block->DeviceCountClamped())
        return Usage("the project has no device " + std::to_string(device) + " (it has " +
                     std::to_string(t.block->DeviceCountClamped()) + ")");
    t.device = device;
    history::Settings settings = CliHistorySettings();
    settings.enabled = true;  // reading the history is not recording
    t.recorder = std::make_unique<history::Recorder>(settings);
    const history::ProjectIdentity identity = t.recorder->Identify(*t.block, file, false);
    t.path = history::Recorder::DevicePath(*t.block, device, identity);
    t.repo = t.recorder->Repo(false);
    return ExitOk;
}

int RunList(const CommandLine& cl, Target& t) {
    std::vector<history::State> states;
    if (t.repo != nullptr && !t.path.empty()) {
        std::string error;
        auto found = t.repo->States(t.path, error);
        if (!found) return Fail(error);
        states = std::move(*found);
    }
    const int lang = cl.language;
    if (cl.json) {
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const history::State& s : states) out.push_back(StateJson(s));
        PrintJson(out);
    } else if (states.empty()) {
        std::printf("%s\n", Pick(txt::GitNoStates, lang));
    } else {
        std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\n", Pick(txt::GitColRev, lang), Pick(txt::GitColTime, lang),
                    Pick(txt::GitColOperation, lang), Pick(txt::GitColUser, lang), Pick(txt::GitColPort, lang),
                    Pick(txt::GitColChanged, lang), Pick(txt::GitColBaseline, lang));
        for (const history::State& s : states)
            std::printf("%s\t%s\t%s\t%s\t%s\t%d\t%s\n", s.rev.substr(0, 12).c_str(),
                        history::IsoTime(s.time, s.offsetMinutes).c_str(), OperationText(s.operation, lang),
                        PrintableText(s.user).c_str(), PrintableText(s.port).c_str(), s.changed,
                        s.baseline ? "*" : "");
    }
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

std::optional<std::pair<history::State, std::string>> StateOf(Target& t, const std::string& rev, int lang) {
    if (t.repo == nullptr || t.path.empty()) {
        Fail(Pick(txt::GitNoStates, lang));
        return std::nullopt;
    }
    std::string error;
    auto state = t.repo->StateAt(rev, t.path, error);
    if (!state) Fail(error);
    return state;
}

int RunShow(const CommandLine& cl, Target& t) {
    if (cl.positional.size() != 3) return Usage("show needs FILE and REV");
    auto state = StateOf(t, cl.positional[2], cl.language);
    if (!state) return ExitFile;
    const history::State& s = state->first;
    if (cl.json) {
        nlohmann::ordered_json out = StateJson(s);
        out["settings"] = nlohmann::ordered_json::parse(state->second, nullptr, false);
        PrintJson(out);
    } else {
        std::printf("%s %s\n%s: %s\n%s: %s\n%s: %s\n%s: %s\n%s: %d\n", Pick(txt::GitColRev, cl.language),
                    s.rev.c_str(), Pick(txt::GitColTime, cl.language), history::IsoTime(s.time, s.offsetMinutes).c_str(),
                    Pick(txt::GitColOperation, cl.language), OperationText(s.operation, cl.language),
                    Pick(txt::GitColUser, cl.language), PrintableText(s.user).c_str(), Pick(txt::GitColPort, cl.language),
                    PrintableText(s.port).c_str(), Pick(txt::GitColChanged, cl.language), s.changed);
        if (s.baseline) std::printf("%s\n", Pick(txt::GitColBaseline, cl.language));
        std::printf("\n%s", state->second.c_str());
    }
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

int RunDiff(const CommandLine& cl, Target& t) {
    if (cl.positional.size() != 3 && cl.positional.size() != 4) return Usage("diff needs FILE, REV1 and maybe REV2");
    const int lang = cl.language;
    auto left = StateOf(t, cl.positional[2], lang);
    if (!left) return ExitFile;
    std::unique_ptr<DeviceRecord> leftRec = history::RecordFromSettings(left->second);
    std::unique_ptr<DeviceRecord> rightRec;
    if (cl.positional.size() == 4) {
        auto right = StateOf(t, cl.positional[3], lang);
        if (!right) return ExitFile;
        rightRec = history::RecordFromSettings(right->second);
    } else {
        // The project now, as the history would keep it (without the event log).
        rightRec = history::AsRecorded(t.block->devices[t.device], t.device);
    }
    if (!leftRec || !rightRec) return Fail("a recorded state is no device's settings");
    const std::vector<Difference> rows = DiffDevices(*leftRec, *rightRec, lang);
    if (cl.json) {
        nlohmann::ordered_json out{{"equal", rows.empty()}, {"differences", nlohmann::ordered_json::array()}};
        for (const Difference& d : rows)
            out["differences"].push_back(
                {{"page", d.pageName}, {"field", d.field}, {"left", d.projectText}, {"right", d.deviceText}});
        PrintJson(out);
    } else if (rows.empty()) {
        std::printf("%s\n", Pick(txt::DiffEqual, lang));
    } else {
        std::printf("%s\t%s\t%s\t%s\n", Pick(txt::CompareColPage, lang), Pick(txt::CompareColField, lang),
                    Pick(txt::DiffColLeft, lang), Pick(txt::DiffColRight, lang));
        for (const Difference& d : rows)
            std::printf("%s\t%s\t%s\t%s\n", d.pageName.c_str(), d.field.c_str(), PrintableText(d.projectText).c_str(),
                        PrintableText(d.deviceText).c_str());
    }
    if (std::fflush(stdout) != 0) return ExitFile;
    return rows.empty() ? ExitOk : ExitDiffers;
}

int RunBaseline(const CommandLine& cl, Target& t) {
    if (cl.positional.size() > 3) return Usage("baseline takes FILE and at most one REV");
    const int lang = cl.language;
    std::string rev;
    if (cl.positional.size() == 3) {
        rev = cl.positional[2];
    } else {
        std::string error;
        auto states = t.repo != nullptr && !t.path.empty() ? t.repo->States(t.path, error)
                                                           : std::optional<std::vector<history::State>>();
        if (!states || states->empty()) return Fail(error.empty() ? Pick(txt::GitNoStates, lang) : error);
        rev = states->front().rev;
    }
    auto state = StateOf(t, rev, lang);
    if (!state) return ExitFile;
    std::string error;
    if (!t.repo->SetBaseline(t.path, state->first.rev, error)) return Fail(error);
    std::printf(Pick(txt::GitBaselineSet, lang), state->first.rev.c_str());
    std::printf("\n");
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

int RunRestore(const CommandLine& cl, Target& t) {
    if (cl.positional.size() != 3) return Usage("restore needs FILE and REV");
    const std::string& file = cl.positional[1];
    auto state = StateOf(t, cl.positional[2], cl.language);
    if (!state) return ExitFile;
    std::unique_ptr<DeviceRecord> restored = history::RecordFromSettings(state->second);
    if (!restored) return Fail("a recorded state is no device's settings");
    // Everything the history keeps comes back; the event log is the project's own.
    DeviceRecord& device = t.block->devices[t.device];
    restored->eventCount = device.eventCount;
    std::memcpy(restored->events, device.events, sizeof device.events);
    const history::ProjectIdentity identity = t.recorder->Identify(*t.block, file, true);
    device = *restored;
    if (WriteProjectFileAtomic(file, *t.block) != FileError::None)
        return Fail(file + ": " + Pick(txt::WriteFileError, cl.language));
    CliRecording recording(cl.language);
    recording.Restored(*t.block, identity, t.device);
    return ExitOk;
}

// --device N out of the arguments.
std::vector<std::string> TakeDevice(const std::vector<std::string>& args, std::optional<std::string>& device) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--device" && i + 1 < args.size())
            device = args[++i];
        else if (args[i].rfind("--device=", 0) == 0)
            device = args[i].substr(9);
        else
            rest.push_back(args[i]);
    }
    return rest;
}

}  // namespace

int RunHistoryCommand(const std::vector<std::string>& args) {
    if (args.empty()) return Usage("missing subcommand");
    if (IsHelp(args[0])) {
        std::printf("%s\n%s", kHistoryUsage, kHistoryOptionsHelp);
        return ExitOk;
    }
    std::optional<std::string> deviceText;
    CommandLine cl = ParseCommandLine(TakeDevice(args, deviceText), 0, true);
    if (cl.help) {
        std::printf("%s\n%s", kHistoryUsage, kHistoryOptionsHelp);
        return ExitOk;
    }
    if (!cl.error.empty()) return Usage(cl.error);
    if (cl.positional.empty()) return Usage("missing subcommand");
    // Messages and texts in English unless asked otherwise, as the device commands print them.
    if (!cl.languageGiven) cl.language = LangEnglish;
    const std::string& sub = cl.positional[0];
    if (sub != "list" && sub != "show" && sub != "diff" && sub != "baseline" && sub != "restore")
        return Usage("unknown subcommand '" + sub + "'");
    if (cl.positional.size() < 2) return Usage("expected FILE.mac");
    if (!deviceText) return Usage("--device N is required");
    const std::string& d = *deviceText;
    if (d.empty() || d.size() > 2 || d.find_first_not_of("0123456789") != std::string::npos ||
        std::atoi(d.c_str()) >= MaxDevices)
        return Usage("--device needs a device index from 0 to 19");
    if (sub == "list" && cl.positional.size() != 2) return Usage("list takes only FILE");
    Target t;
    if (const int rc = OpenTarget(cl, std::atoi(d.c_str()), t); rc != ExitOk) return rc;
    if (sub == "list") return RunList(cl, t);
    if (sub == "show") return RunShow(cl, t);
    if (sub == "diff") return RunDiff(cl, t);
    if (sub == "restore") return RunRestore(cl, t);
    return RunBaseline(cl, t);
}

}  // namespace corvix::cli
