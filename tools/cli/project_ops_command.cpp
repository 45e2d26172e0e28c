// SPDX-License-Identifier: Apache-2.0
// corvix-cli project read | compare | write | clock | events: one operation over the devices of
// a project, ports in parallel, for scheduled jobs.
#include "cli/project_ops_command.h"

#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "cli/compare_command.h"
#include "cli/device_session.h"
#include "cli/history_options.h"
#include "link/project_ops.h"
#include "model/compare.h"
#include "model/doc.h"
#include "model/event_csv.h"
#include "model/formats.h"
#include "model/gbk.h"
#include "model/merged_events.h"
#include "model/texts.h"
#include "present/link_messages.h"
#include "present/project_ops_text.h"

namespace corvix::cli {

const char* const kProjectOpsUsage =
    "usage: corvix-cli project read|compare|write|clock|events FILE [--devices 0,3,5] [--jobs N]\n"
    "                  [--json] [--lang zh|en] [--port P [--baud B] [--parity none|even|odd]\n"
    "                  [--data-bits 8|9] [--stop-bits 1|1.5|2]]\n"
    "  read [--partial]             read every device's configuration into FILE\n"
    "  compare                      list what differs between each device and FILE\n"
    "  write --yes                  write each device of FILE to its device\n"
    "  clock [--set] [--max-offset SECONDS]  read (and set to the PC clock) every device clock\n"
    "  events [--merged [--csv]]    read every device's event log into FILE\n"
    "\n"
    "Each device is reached on its own port (see project connect / connections); a device\n"
    "without one uses the common port --port with its line options. Devices on different ports\n"
    "work at the same time (--jobs, default 8); devices on one port one after another.\n"
    "--devices chooses devices by slot (0-based); default all.\n"
    "read (and events) store into FILE, atomically, only when every device succeeded, unless\n"
    "--partial: then the devices that succeeded are stored. A read from a device that answers\n"
    "with another address than the project's device is not stored (wrong cable).\n"
    "write needs --yes; without it the devices and their ports are listed and nothing is sent.\n"
    "clock --set sets each clock to the PC clock, then reads it; --max-offset makes an offset\n"
    "beyond SECONDS exit 6. events --merged prints one timeline of the devices' events sorted by\n"
    "device time (--csv: the event export's CSV with a device column).\n"
    "--json prints {\"devices\": [{\"device\": N, \"name\", \"port\", \"state\":\n"
    "\"done|failed|skipped\", \"reason\", \"ms\", ...}]} with, per operation: read \"address\",\n"
    "\"stored\"; compare \"equal\", \"differences\"; write \"written\"; clock \"time\", \"offsetMs\",\n"
    "\"withinLimit\"; events \"events\", \"stored\" (and with --merged \"timeline\").\n"
    "Exit codes: 0 all devices done (and equal, and within the offset), 6 a difference or an\n"
    "offset beyond the limit, 1 a device failed, 4 a port could not be opened, 2 usage, 3 file.\n"
    "SIGINT or SIGTERM cancels: running devices fail, waiting ones are skipped.\n";

bool IsProjectOpsSubcommand(const std::string& sub) {
    return sub == "read" || sub == "compare" || sub == "write" || sub == "clock" || sub == "events";
}

namespace {

struct OpsArgs {
    ProjectOpKind kind = ProjectOpKind::Read;
    std::string file;
    std::optional<std::vector<int>> devices;
    int jobs = 8;
    bool json = false, partial = false, yes = false, set = false, merged = false, csv = false;
    std::optional<double> maxOffset;
    int lang = LangEnglish;
    SerialSettings common;
    bool haveCommon = false;
};

int Usage(const std::string& error) {
    std::fprintf(stderr, "corvix-cli project: %s\n\n%s", error.c_str(), kProjectOpsUsage);
    return ExitUsage;
}

std::optional<long> Number(const std::string& text, long low, long high) {
    try {
        std::size_t used = 0;
        const long v = std::stol(text, &used);
        if (used != text.size() || v < low || v > high) return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

// Empty string: parsed; else the usage error.
std::string Parse(const std::vector<std::string>& args, OpsArgs& a) {
    const std::string& sub = args[0];
    a.kind = sub == "read"      ? ProjectOpKind::Read
             : sub == "compare" ? ProjectOpKind::Compare
             : sub == "write"   ? ProjectOpKind::Write
             : sub == "clock"   ? ProjectOpKind::ClockCheck
                                : ProjectOpKind::EventLog;
    std::vector<std::string> positional;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& o = args[i];
        const bool takesValue = o == "--devices" || o == "--jobs" || o == "--lang" || o == "--port" || o == "--baud" ||
                                o == "--parity" || o == "--data-bits" || o == "--stop-bits" || o == "--max-offset";
        if (takesValue && i + 1 >= args.size()) return o + " needs a value";
        const std::string v = takesValue ? args[++i] : std::string();
        if (o == "--devices") {
            std::vector<int> list;
            std::size_t start = 0;
            while (start <= v.size()) {
                const std::size_t comma = std::min(v.find(',', start), v.size());
                const auto n = Number(v.substr(start, comma - start), 0, MaxDevices - 1);
                if (!n) return "--devices needs slots like 0,3,5, not '" + v + "'";
                list.push_back(static_cast<int>(*n));
                start = comma + 1;
            }
            a.devices = list;
        } else if (o == "--jobs") {
            const auto n = Number(v, 1, 64);
            if (!n) return "--jobs needs a number from 1 to 64";
            a.jobs = static_cast<int>(*n);
        } else if (o == "--lang") {
            if (!ParseLanguage(v)) return "unknown language '" + v + "' (zh or en)";
            a.lang = *ParseLanguage(v);
        } else if (o == "--port") {
            if (v.empty()) return "--port needs a port name";
            a.common.portName = v;
            a.haveCommon = true;
        } else if (o == "--baud") {
            const auto n = Number(v, 1, 100000000);
            if (!n) return "--baud needs a positive number";
            a.common.baudRate = static_cast<int>(*n);
        } else if (o == "--data-bits") {
            if (v != "8" && v != "9") return "--data-bits needs 8 or 9";
            a.common.dataBits = v == "8" ? 8 : 9;
        } else if (o == "--parity") {
            if (!ParityCodeOf(v)) return "--parity needs none, even or odd";
            a.common.parity = *ParityCodeOf(v);
        } else if (o == "--stop-bits") {
            if (!StopBitsCodeOf(v)) return "--stop-bits needs 1, 1.5 or 2";
            a.common.stopBits = *StopBitsCodeOf(v);
        } else if (o == "--max-offset" && a.kind == ProjectOpKind::ClockCheck) {
            try {
                std::size_t used = 0;
                a.maxOffset = std::stod(v, &used);
                if (used != v.size() || *a.maxOffset < 0) throw 0;
            } catch (...) {
                return "--max-offset needs seconds (0 or more)";
            }
        } else if (o == "--json") {
            a.json = true;
        } else if (o == "--partial" && (a.kind == ProjectOpKind::Read || a.kind == ProjectOpKind::EventLog)) {
            a.partial = true;
        } else if (o == "--yes" && a.kind == ProjectOpKind::Write) {
            a.yes = true;
        } else if (o == "--set" && a.kind == ProjectOpKind::ClockCheck) {
            a.set = true;
        } else if (o == "--merged" && a.kind == ProjectOpKind::EventLog) {
            a.merged = true;
        } else if (o == "--csv" && a.kind == ProjectOpKind::EventLog) {
            a.csv = true;
        } else if (o.size() > 1 && o[0] == '-') {
            return "unknown option '" + o + "' for " + args[0];
        } else {
            positional.push_back(o);
        }
    }
    if (positional.size() != 1) return "expected one project FILE";
    if (a.csv && !a.merged) return "--csv goes with --merged";
    if (a.set) a.kind = ProjectOpKind::ClockSet;
    a.file = positional[0];
    return {};
}

// The command line's loop for the operation's posts; a stop signal cancels the operation.
class Host {
  public:
    void Post(std::function<void()> fn) {
        std::lock_guard<std::mutex> g(lock_);
        queue_.push_back(std::move(fn));
        ready_.notify_one();
    }
    void RunUntil(const std::function<bool()>& done) {
        while (!done()) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> g(lock_);
                ready_.wait(g, [this] { return !queue_.empty(); });
                fn = std::move(queue_.front());
                queue_.pop_front();
            }
            fn();
        }
    }

  private:
    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
};

std::string PortOf(const DeviceTarget& t) { return t.line.portName; }

void Complain(const std::string& text) {
    std::fprintf(stderr, "corvix-cli: %s\n", text.c_str());
    std::fflush(stderr);
}

}  // namespace

std::string ProjectTargets(const CBrondaleDoc& doc, const std::vector<int>& slots, const SerialSettings* common,
                           std::vector<DeviceTarget>& targets) {
    const ProjectBlock& project = doc.Project();
    for (int slot : slots) {
        if (slot >= project.DeviceCountClamped())
            return "the project has no device " + std::to_string(slot) + " (it has " +
                   std::to_string(project.DeviceCountClamped()) + ")";
        DeviceTarget t;
        t.slot = slot;
        t.nameGbk = FieldText(project.devices[slot].name, DeviceNameSize);
        t.address = project.devices[slot].address;
        t.record = std::make_shared<DeviceRecord>(project.devices[slot]);
        if (const std::optional<DeviceConnection> c = doc.Connections().For(project, slot)) {
            t.line.portName = c->port;
            t.line.baudRate = c->baudRate;
            t.line.dataBits = c->dataBits;
            t.line.stopBits = c->stopBits;
            t.line.parity = c->parity;
        } else if (common != nullptr) {
            t.line = *common;
        } else {
            return "device " + std::to_string(slot) +
                   " has no port of its own: give the common port with --port, or set one with 'project connect'";
        }
        targets.push_back(std::move(t));
    }
    return {};
}

std::vector<DeviceOpResult> RunOperation(ProjectOpKind kind, const std::vector<DeviceTarget>& targets, int jobs) {
    // Stop signals cancel; blocked before any thread starts so that only the waiter gets them.
    Host host;
    sigset_t set, before;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set, &before);
    bool finished = false;
    ProjectOperation::Options options;
    options.maxJobs = jobs;
    ProjectOperation::Hooks hooks;
    hooks.post = [&host](std::function<void()> fn) { host.Post(std::move(fn)); };
    hooks.finished = [&finished] { finished = true; };
    ProjectOperation op(kind, targets, options, hooks);
    std::thread signals([&] {
        int signal = 0;
        sigwait(&set, &signal);
        if (signal != SIGUSR1) host.Post([&op] { op.Cancel(); });
    });
    op.Start();
    host.RunUntil([&] { return finished; });
    pthread_kill(signals.native_handle(), SIGUSR1);
    signals.join();
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return op.Results();
}

int RunProjectOpsCommand(const std::vector<std::string>& args) {
    if (args.size() > 1 && IsHelp(args[1])) {
        std::fputs(kProjectOpsUsage, stdout);
        return ExitOk;
    }
    OpsArgs a;
    if (const std::string error = Parse(args, a); !error.empty()) return Usage(error);
    CBrondaleDoc doc;
    doc.SetLanguage(a.lang);
    CliUserInterface ui;
    doc.SetUserInterface(&ui);
    if (!doc.ImportProjectFrom(a.file)) return ExitFile;
    const ProjectBlock& project = doc.Project();
    std::vector<int> slots;
    if (a.devices) {
        slots = *a.devices;
    } else {
        for (int i = 0; i < project.DeviceCountClamped(); ++i) slots.push_back(i);
    }
    std::vector<DeviceTarget> targets;
    if (const std::string error = ProjectTargets(doc, slots, a.haveCommon ? &a.common : nullptr, targets); !error.empty())
        return Usage(error);
    if (a.kind == ProjectOpKind::Write && !a.yes) {
        Complain(Pick(txt::CliOpWriteNeedsYes, a.lang));
        for (const DeviceTarget& t : targets)
            std::fprintf(stderr, "  %d\t%s\t%s\n", t.slot, PrintableText(GbkToUtf8(t.nameGbk)).c_str(), PortOf(t).c_str());
        return ExitUsage;
    }

    // The settings history knows the project as it was loaded.
    CliRecording recording(a.lang);
    const bool records = a.kind == ProjectOpKind::Read || a.kind == ProjectOpKind::Write;
    if (records) recording.Loaded(project, a.file);
    const std::vector<DeviceOpResult> results = RunOperation(a.kind, targets, a.jobs);
    bool anyFailed = false, anyPort = false, anyDiffers = false;
    for (const DeviceOpResult& r : results) {
        anyFailed |= r.state != DeviceOpState::Done;
        anyPort |= r.failure == DeviceOpFailure::PortOpen;
    }
    // What reaches FILE: all or nothing, unless --partial.
    bool stored = false;
    const bool stores = a.kind == ProjectOpKind::Read || a.kind == ProjectOpKind::EventLog;
    if (stores && (!anyFailed || a.partial)) {
        bool changed = false;
        for (const DeviceOpResult& r : results) changed |= ApplyDeviceResult(doc, a.kind, r);
        if (changed) {
            if (!doc.WriteProjectFile(a.file)) return ExitFile;
            stored = true;
        }
    } else if (stores) {
        Complain(Pick(txt::CliOpNotStored, a.lang));
    }
    // One commit for the run, naming every port; a read only once the project holds what was
    // read (an unchanged read is recorded as a check).
    if (records && (a.kind == ProjectOpKind::Write || !anyFailed || a.partial)) {
        std::vector<int> done;
        std::string ports;
        for (std::size_t i = 0; i < results.size(); ++i) {
            if (results[i].state != DeviceOpState::Done) continue;
            done.push_back(targets[i].slot);
            AddToPortList(ports, PortOf(targets[i]));
        }
        if (!done.empty())
            recording.Read(doc.Project(), done, ports,
                           a.kind == ProjectOpKind::Write ? history::Operation::Write : history::Operation::Read);
    }

    nlohmann::ordered_json json{{"devices", nlohmann::ordered_json::array()}};
    for (std::size_t i = 0; i < results.size(); ++i) {
        const DeviceOpResult& r = results[i];
        const DeviceTarget& t = targets[i];
        const bool done = r.state == DeviceOpState::Done;
        std::vector<Difference> differences;
        if (done && a.kind == ProjectOpKind::Compare && r.record)
            differences = CompareRecords(project.devices[t.slot], *r.record, a.lang);
        anyDiffers |= !differences.empty();
        bool within = true;
        if (done && a.maxOffset && r.offsetMs) within = std::llabs(*r.offsetMs) <= std::llround(*a.maxOffset * 1000.0);
        anyDiffers |= !within;
        const std::string name = PrintableText(GbkToUtf8(t.nameGbk));
        const std::string outcome = DeviceOpOutcomeText(a.kind, r, PortOf(t), static_cast<int>(differences.size()), a.lang);
        if (!a.json) {
            if (!a.merged)
                std::printf("%d\t%s\t%s\t%s\t%s\t%lld ms\n", t.slot, name.c_str(), PortOf(t).c_str(),
                            DeviceOpStateText(r.state, a.lang).c_str(), outcome.c_str(), r.ms);
            if (!a.merged && !differences.empty())
                for (const Difference& d : differences)
                    std::printf("\t%s\t%s\t%s\t%s\n", d.pageName.c_str(), d.field.c_str(),
                                PrintableText(d.projectText).c_str(), PrintableText(d.deviceText).c_str());
            continue;
        }
        nlohmann::ordered_json row{{"device", t.slot},
                                   {"name", name},
                                   {"port", PortOf(t)},
                                   {"state", DeviceOpStateName(r.state)},
                                   {"reason", DeviceOpReasonText(r, PortOf(t), a.lang)},
                                   {"ms", r.ms}};
        switch (a.kind) {
            case ProjectOpKind::Read:
                row["address"] = r.answeredAddress >= 0 ? nlohmann::ordered_json(r.answeredAddress) : nullptr;
                row["stored"] = stored && done;
                break;
            case ProjectOpKind::Compare:
                row["equal"] = done ? nlohmann::ordered_json(differences.empty()) : nullptr;
                row["differences"] = nlohmann::ordered_json::array();
                for (const Difference& d : differences)
                    row["differences"].push_back({{"page", d.pageName},
                                                  {"field", d.field},
                                                  {"project", d.projectText},
                                                  {"device", d.deviceText}});
                break;
            case ProjectOpKind::Write:
                row["written"] = done;
                break;
            case ProjectOpKind::ClockCheck:
            case ProjectOpKind::ClockSet:
                row["time"] = r.deviceTime ? nlohmann::ordered_json(ClockText(DateChina, *r.deviceTime)) : nullptr;
                row["offsetMs"] = r.offsetMs ? nlohmann::ordered_json(*r.offsetMs) : nullptr;
                row["withinLimit"] = done ? nlohmann::ordered_json(within) : nullptr;
                if (a.kind == ProjectOpKind::ClockSet) row["set"] = done;
                break;
            case ProjectOpKind::EventLog:
                row["events"] = done && r.record ? nlohmann::ordered_json(r.record->EventCountClamped()) : nullptr;
                row["stored"] = stored && done;
                break;
        }
        json["devices"].push_back(row);
    }

    if (a.merged) {
        // The timeline of what FILE now holds for these devices (the logs just read when stored).
        std::vector<int> read;
        for (std::size_t i = 0; i < results.size(); ++i)
            if (results[i].state == DeviceOpState::Done) read.push_back(targets[i].slot);
        const std::vector<MergedEvent> timeline = MergeEventLogs(doc.Project(), read);
        if (a.csv && !a.json) {
            const std::string csv = MergedEventsCsv(doc.Project(), timeline, a.lang);
            std::fwrite(csv.data(), 1, csv.size(), stdout);
        } else if (a.json) {
            json["timeline"] = nlohmann::ordered_json::array();
            for (const MergedEvent& m : timeline)
                json["timeline"].push_back(
                    {{"time", IsoEventTime(m.event)},
                     {"device", m.device},
                     {"signal", GbkToUtf8(FieldText(m.event.signalName, sizeof m.event.signalName))},
                     {"transition", m.event.transition == 0 ? "on" : "off"}});
        } else {
            for (const MergedEvent& m : timeline)
                std::printf("%s\t%s\t%s\t%s\n", IsoEventTime(m.event).c_str(),
                            PrintableText(GbkToUtf8(FieldText(doc.Project().devices[m.device].name, DeviceNameSize))).c_str(),
                            PrintableText(GbkToUtf8(FieldText(m.event.signalName, sizeof m.event.signalName))).c_str(),
                            TransitionText(m.event.transition, a.lang));
        }
    }
    if (a.json)
        std::printf("%s\n", json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
    else if (!a.merged)
        std::printf("%s\n", DeviceOpSummaryText(results, a.lang).c_str());
    if (std::fflush(stdout) != 0) return ExitFile;
    if (anyPort) return ExitPort;
    if (anyFailed) return ExitNoAnswer;
    return anyDiffers ? ExitDiffers : ExitOk;
}

}  // namespace corvix::cli
