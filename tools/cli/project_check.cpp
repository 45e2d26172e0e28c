// SPDX-License-Identifier: Apache-2.0
// corvix-cli project check: reads every device of a project, compares each with its baseline
// in the settings history and records the check; the exit code says how it went, for a
// scheduled audit.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "cli/compare_command.h"
#include "cli/device_session.h"
#include "cli/history_command.h"
#include "cli/history_options.h"
#include "cli/project_ops_command.h"
#include "history/device_key.h"
#include "history/recorder.h"
#include "model/compare.h"
#include "model/texts_githistory.h"
#include "present/project_ops_text.h"

namespace corvix::cli {
namespace {

constexpr const char* kCheckUsage =
    "usage: corvix-cli project check FILE.mac [--port PATH [--port PATH ...] [--baud N]]\n"
    "                                [--jobs N] [--json] [--lang zh|en]\n"
    "Without --port, reads every device of FILE on its own port (see corvix-cli project\n"
    "connect), up to --jobs ports at once (default 8). With --port, reads the configuration of\n"
    "the device on each port given (one after another) and takes it as the project's devices\n"
    "whose address it answers with. Then compares each device of FILE with\n"
    "its baseline in the settings history (see corvix-cli history baseline) and records the\n"
    "check. FILE is not changed. Prints one line per device and, for a device that differs,\n"
    "its differing fields (page, field, baseline value, device value).\n"
    "--json prints {\"result\": \"match|drift|unread|no-baseline\", \"devices\": [{\"device\": N,\n"
    "\"name\", \"status\", \"port\", \"baseline\", \"rev\", \"differences\": [{\"page\",\n"
    "\"field\", \"baseline\", \"device\"}]}]}.\n"
    "Exit codes: 0 every device matches its baseline, 6 a device differs, 5 a device has no\n"
    "baseline, 1 a device could not be read (the first of 1, 5, 6 that applies), 2 usage,\n"
    "3 file error, 4 a port given with --port could not be opened (without --port, a device\n"
    "that cannot be reached is one that could not be read).\n";

constexpr int ExitNoBaseline = 5;

int Usage(const std::string& error) {
    std::fprintf(stderr, "corvix-cli project check: %s\n\n%s\n%s", error.c_str(), kCheckUsage, kHistoryOptionsHelp);
    return ExitUsage;
}

struct CheckArgs {
    std::string file;
    std::vector<std::string> ports;
    int baud = 57600;
    int jobs = 8;
    bool json = false;
    int language = LangEnglish;
    std::string error;
};

CheckArgs Parse(const std::vector<std::string>& args) {
    CheckArgs a;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i], value;
        const bool valued = name == "--port" || name == "--baud" || name == "--jobs" || name == "--lang";
        if (valued) {
            if (i + 1 >= args.size()) {
                a.error = name + " needs a value";
                break;
            }
            value = args[++i];
        }
        if (name == "--port") {
            a.ports.push_back(value);
        } else if (name == "--baud" || name == "--jobs") {
            char* end = nullptr;
            const long v = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || v < 1 || v > 4000000) a.error = name + " needs a positive number";
            (name == "--baud" ? a.baud : a.jobs) = static_cast<int>(v);
        } else if (name == "--lang") {
            const std::optional<int> lang = ParseLanguage(value);
            if (!lang) a.error = "unknown language '" + value + "' (zh or en)";
            else a.language = *lang;
        } else if (name == "--json") {
            a.json = true;
        } else if (name.size() > 1 && name[0] == '-') {
            a.error = "unknown option '" + name + "'";
        } else if (a.file.empty()) {
            a.file = name;
        } else {
            a.error = "unexpected argument '" + name + "'";
        }
    }
    if (a.error.empty() && a.file.empty()) a.error = "expected FILE.mac";
    if (a.error.empty() && a.jobs > 64) a.error = "--jobs needs a number from 1 to 64";
    return a;
}

enum class Status { Match, Drift, Unread, NoBaseline };
const char* StatusName(Status s) {
    switch (s) {
    case Status::Match: return "match";
    case Status::Drift: return "drift";
    case Status::Unread: return "unread";
    case Status::NoBaseline: return "no-baseline";
    }
    return "";
}

struct DeviceCheck {
    Status status = Status::Unread;
    std::string port, baseline, rev;
    std::vector<Difference> rows;
};

// Fetches the configuration of the device on `port` without changing the project; null when
// it did not answer. `exit` gets ExitPort when the port could not be opened.
std::shared_ptr<const DeviceRecord> Fetch(CBrondaleDoc& doc, const CheckArgs& a, const std::string& port, int& exit) {
    LinkOptions options;
    options.serial.portName = port;
    options.serial.baudRate = a.baud;
    options.language = a.language;
    DeviceSession session(doc, options);
    if (const int opened = session.Open(); opened != ExitOk) {
        exit = opened;
        return nullptr;
    }
    std::shared_ptr<const DeviceRecord> fetched;
    session.onResult = [&fetched](const EngineResult& result) {
        if (const auto* f = std::get_if<ConfigurationFetched>(&result)) fetched = f->record;
    };
    session.Engine().FetchConfiguration();
    const DeviceSession::Outcome outcome = session.RunUntilIdle();
    session.Close();
    if (outcome != DeviceSession::Outcome::Done || !fetched) {
        if (outcome != DeviceSession::Outcome::GaveUp) std::fprintf(stderr, "corvix-cli: %s: %s\n", port.c_str(), Pick(txt::CliNoReply, a.language));
        return nullptr;
    }
    return fetched;
}

}  // namespace

int RunProjectCheck(const std::vector<std::string>& args) {
    for (const std::string& arg : args)
        if (IsHelp(arg)) {
            std::printf("%s\n%s", kCheckUsage, kHistoryOptionsHelp);
            return ExitOk;
        }
    const CheckArgs a = Parse(args);
    if (!a.error.empty()) return Usage(a.error);
    const int lang = a.language;
    CBrondaleDoc doc;
    doc.SetLanguage(lang);
    if (const FileError err = ReadProjectFile(a.file, doc.Project()); err != FileError::None) {
        std::fprintf(stderr, "corvix-cli: %s: %s\n", a.file.c_str(),
                     Pick(err == FileError::CannotOpen ? txt::CannotOpenFile : txt::FileFormatError, lang));
        return ExitFile;
    }
    const ProjectBlock& project = doc.Project();
    const int count = project.DeviceCountClamped();

    history::Recorder recorder(CliHistorySettings());
    recorder.onWarning = [lang](const std::string& reason) {
        std::fprintf(stderr, "corvix-cli: ");
        std::fprintf(stderr, Pick(txt::GitHistoryNotRecorded, lang), reason.c_str());
        std::fprintf(stderr, "\n");
    };
    const history::ProjectIdentity identity = recorder.Identify(project, a.file, recorder.Enabled());
    // What the devices hold now: the project's records with the configuration each answered.
    auto read = std::make_unique<ProjectBlock>();
    std::memcpy(read.get(), &project, sizeof project);
    std::vector<DeviceCheck> checks(count);
    if (a.ports.empty()) {
        // Every device on its own port, through the whole-project operations: ports in parallel.
        std::string reason;
        if (doc.Connections().LoadFor(a.file, &reason) == ProjectConnections::Load::Corrupt) {
            std::fprintf(stderr, "corvix-cli: %s: %s\n", ProjectConnections::SidecarPath(a.file).c_str(), reason.c_str());
            return ExitFile;
        }
        std::vector<int> slots;
        for (int slot = 0; slot < count; ++slot) slots.push_back(slot);
        std::vector<DeviceTarget> targets;
        if (const std::string error = ProjectTargets(doc, slots, nullptr, targets); !error.empty()) return Usage(error);
        const std::vector<DeviceOpResult> results = RunOperation(ProjectOpKind::Compare, targets, a.jobs);
        std::vector<int> done;
        std::string ports;
        for (std::size_t i = 0; i < results.size(); ++i) {
            DeviceOpResult r = results[i];
            const std::string& port = targets[i].line.portName;
            if (r.state == DeviceOpState::Done && r.answeredAddress != static_cast<uint8_t>(targets[i].address)) {
                // Another device answered on this device's port: its settings say nothing of this one.
                r.state = DeviceOpState::Failed;
                r.failure = DeviceOpFailure::WrongAddress;
            }
            if (r.state != DeviceOpState::Done || !r.record) {
                std::fprintf(stderr, "corvix-cli: %s: %s\n", port.c_str(), DeviceOpReasonText(r, port, lang).c_str());
                continue;
            }
            std::memcpy(&read->devices[r.slot], r.record.get(), ConfigImageSize);
            checks[r.slot].port = port;
            checks[r.slot].status = Status::Match;
            done.push_back(r.slot);
            AddToPortList(ports, port);
        }
        // One recorded check for the whole run, as a read of several devices is one commit.
        const std::string rev = done.empty() ? std::string() : recorder.RecordRead(*read, done, identity, ports, history::Operation::Check);
        for (int slot : done) checks[slot].rev = rev;
    }
    for (const std::string& port : a.ports) {
        int exit = ExitOk;
        std::shared_ptr<const DeviceRecord> fetched = Fetch(doc, a, port, exit);
        if (exit == ExitPort || exit == ExitFile) return exit;
        if (!fetched) continue;
        std::vector<int> slots;
        for (int slot = 0; slot < count; ++slot)
            if (project.devices[slot].address == fetched->address) {
                std::memcpy(&read->devices[slot], fetched.get(), ConfigImageSize);
                checks[slot].port = port;
                checks[slot].status = Status::Match;
                slots.push_back(slot);
            }
        const std::string rev = recorder.RecordRead(*read, slots, identity, port, history::Operation::Check);
        for (int slot : slots) checks[slot].rev = rev;
    }

    history::Repository* repo = recorder.Repo(false);
    for (int slot = 0; slot < count; ++slot) {
        DeviceCheck& c = checks[slot];
        if (c.status == Status::Unread) continue;
        const std::string path = history::Recorder::DevicePath(project, slot, identity);
        std::optional<std::string> baseline = repo != nullptr && !path.empty() ? repo->Baseline(path) : std::nullopt;
        std::string error;
        auto state = baseline ? repo->StateAt(*baseline, path, error) : std::nullopt;
        std::unique_ptr<DeviceRecord> base = state ? history::RecordFromSettings(state->second) : nullptr;
        if (!base) {
            c.status = Status::NoBaseline;
            continue;
        }
        c.baseline = *baseline;
        c.rows = CompareRecords(*base, read->devices[slot], lang);
        c.status = c.rows.empty() ? Status::Match : Status::Drift;
    }

    Status worst = Status::Match;
    for (Status s : {Status::Drift, Status::NoBaseline, Status::Unread})
        for (const DeviceCheck& c : checks)
            if (c.status == s) worst = s;
    auto name = [&](int slot) { return PrintableText(GbkToUtf8(FieldText(project.devices[slot].name, DeviceNameSize))); };
    if (a.json) {
        nlohmann::ordered_json out{{"result", StatusName(worst)}, {"devices", nlohmann::ordered_json::array()}};
        for (int slot = 0; slot < count; ++slot) {
            const DeviceCheck& c = checks[slot];
            nlohmann::ordered_json d{{"device", slot}, {"name", name(slot)}, {"status", StatusName(c.status)},
                                     {"port", c.port}, {"baseline", c.baseline}, {"rev", c.rev},
                                     {"differences", nlohmann::ordered_json::array()}};
            for (const Difference& r : c.rows)
                d["differences"].push_back(
                    {{"page", r.pageName}, {"field", r.field}, {"baseline", r.projectText}, {"device", r.deviceText}});
            out["devices"].push_back(std::move(d));
        }
        std::printf("%s\n", out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
    } else {
        for (int slot = 0; slot < count; ++slot) {
            const DeviceCheck& c = checks[slot];
            const BiText& line = c.status == Status::Match   ? txt::GitCheckMatch
                                 : c.status == Status::Drift ? txt::GitCheckDrift
                                 : c.status == Status::Unread ? txt::GitCheckUnread
                                                              : txt::GitCheckNoBaseline;
            std::printf(Pick(line, lang), slot, name(slot).c_str());
            std::printf("\n");
            if (!c.rows.empty())
                std::printf("  %s\t%s\t%s\t%s\n", Pick(txt::CompareColPage, lang), Pick(txt::CompareColField, lang),
                            Pick(txt::GitColBaselineValue, lang), Pick(txt::GitColDeviceValue, lang));
            for (const Difference& r : c.rows)
                std::printf("  %s\t%s\t%s\t%s\n", r.pageName.c_str(), r.field.c_str(),
                            PrintableText(r.projectText).c_str(), PrintableText(r.deviceText).c_str());
        }
    }
    if (std::fflush(stdout) != 0) return ExitFile;
    switch (worst) {
    case Status::Unread: return ExitNoAnswer;
    case Status::NoBaseline: return ExitNoBaseline;
    case Status::Drift: return ExitDiffers;
    case Status::Match: break;
    }
    return ExitOk;
}

}  // namespace corvix::cli
