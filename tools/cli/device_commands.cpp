// SPDX-License-Identifier: Apache-2.0
// corvix-cli device ...: the device operations of the desktop program, run from a shell.
#include "cli/device_commands.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/clock_text.h"
#include "cli/compare_command.h"
#include "cli/device_args.h"
#include "cli/device_session.h"
#include "cli/history_options.h"
#include "link/clock_timing.h"
#include "model/doc.h"
#include "model/event_csv.h"
#include "model/formats.h"
#include "model/gbk.h"
#include "model/texts.h"
#include "present/clock_offset_text.h"
#include "present/link_messages.h"

namespace corvix::cli {
namespace {

void Complain(const char* text) {
    std::fprintf(stderr, "corvix-cli: %s\n", text);
    std::fflush(stderr);
}

// Reads FILE into the document; prints why not.
bool LoadProject(CBrondaleDoc& doc, const std::string& path) {
    const FileError err = ReadProjectFile(path, doc.Project());
    if (err == FileError::None) {
        doc.SetProjectPath(path);
        return true;
    }
    const BiText& text = err == FileError::CannotOpen ? txt::CannotOpenFile : txt::FileFormatError;
    std::fprintf(stderr, "corvix-cli: %s: %s\n", path.c_str(), Pick(text, doc.Language()));
    return false;
}

bool SaveProject(CBrondaleDoc& doc, const std::string& path) {
    if (WriteProjectFileAtomic(path, doc.Project()) == FileError::None) return true;
    std::fprintf(stderr, "corvix-cli: %s: %s\n", path.c_str(), Pick(txt::WriteFileError, doc.Language()));
    return false;
}

std::string InputName(int index, int lang) {
    char name[48];
    std::snprintf(name, sizeof name, Pick(txt::ListSignalDesignation, lang), index + 1);
    return name;
}

std::string FirmwareText(const CBrondaleDoc& doc) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%02d", doc.FirmwareVersion()[0], doc.FirmwareVersion()[1],
                  doc.FirmwareVersion()[2]);
    return text;
}

// Reports the end of a run that did not finish its operation; returns the exit code.
int Failed(DeviceSession::Outcome outcome, int lang) {
    // After the give-up the engine has already said "Can not connect to device".
    if (outcome != DeviceSession::Outcome::GaveUp) Complain(Pick(txt::CliNoReply, lang));
    return ExitNoAnswer;
}

// Remembers the input count of the last status reply the engine takes in.
struct StatusWatch {
    bool seen = false;
    std::size_t inputs = 0;
    bool newEvents = false;
    std::function<void()> then;  // after each status reply
    void Watch(DeviceSession& session) {
        session.onResult = [this](const EngineResult& result) {
            const auto* s = std::get_if<StatusUpdated>(&result);
            if (s == nullptr) return;
            seen = true;
            inputs = s->inputCount;
            newEvents = s->newEvents;
            if (then) then();
        };
    }
};

// ---- status ----

int RunStatus(const DeviceArgs& a, CBrondaleDoc& doc, DeviceSession& session) {
    const int lang = a.link.language;
    StatusWatch watch;
    watch.Watch(session);
    std::vector<std::string> events;
    session.onEventText = [&events](const std::string& text) { events.push_back(text); };
    session.Engine().PollStatus();
    // Waits for the new events a status reply announces as well, so that none is fetched
    // from the device and then dropped.
    const DeviceSession::Outcome outcome = session.RunUntilIdle();
    if (outcome != DeviceSession::Outcome::Done || !watch.seen) return Failed(outcome, lang);

    if (a.json) {
        nlohmann::ordered_json json{{"firmware", FirmwareText(doc)},
                                    {"states", nlohmann::ordered_json::array()}};
        for (std::size_t i = 0; i < watch.inputs; ++i) json["states"].push_back(doc.LiveStatus()[i]);
        json["newEvents"] = watch.newEvents;
        json["events"] = events;
        std::printf("%s\n",
                    json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
    } else {
        std::printf("%s: %s\n", Pick(txt::CliFirmware, lang), FirmwareText(doc).c_str());
        for (std::size_t i = 0; i < watch.inputs; ++i)
            std::printf("%s: %s\n", InputName(static_cast<int>(i), lang).c_str(),
                        InputStateText(doc.LiveStatus()[i], lang));
        std::printf("%s: %s\n", Pick(txt::CliNewEvents, lang),
                    Pick(watch.newEvents ? txt::CliYes : txt::CliNo, lang));
        for (const std::string& e : events) std::fputs(PrintableText(e, true).c_str(), stdout);
    }
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

// ---- read-config ----

int RunReadConfig(const DeviceArgs& a, CBrondaleDoc& doc, DeviceSession& session) {
    const int lang = a.link.language;
    const std::string& file = a.positional[0];
    CliRecording recording(lang);
    recording.Loaded(doc.Project(), file);
    bool complete = false;
    int address = 0;
    std::vector<int> matched;
    session.onResult = [&](const EngineResult& result) {
        const auto* received = std::get_if<ConfigurationReceived>(&result);
        if (received == nullptr) return;
        complete = true;
        address = received->address;
        matched = received->devicesUpdated;
    };
    session.Engine().ReadConfiguration();
    const DeviceSession::Outcome outcome = session.RunUntilIdle();
    if (outcome != DeviceSession::Outcome::Done || !complete) return Failed(outcome, lang);
    session.Close();
    if (matched.empty()) {
        std::printf(Pick(txt::CliNoDeviceMatched, lang), address);
        std::printf("\n");
        return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
    }
    // The read happened whether or not FILE can be written again.
    recording.Read(doc.Project(), matched, a.link.serial.portName);
    if (!SaveProject(doc, file)) return ExitFile;
    std::printf("%s:", Pick(txt::CliUpdatedDevices, lang));
    for (int i : matched) std::printf(" %d", i);
    std::printf("\n");
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

// ---- write-config ----

int RunWriteConfig(const DeviceArgs& a, CBrondaleDoc& doc, DeviceSession& session) {
    const int code = KindDeviceFirst + *a.device;
    doc.SelectNode(code, code);
    CliRecording recording(a.link.language);
    recording.Loaded(doc.Project(), a.positional[0]);
    bool written = false;
    session.onResult = [&written](const EngineResult& result) {
        if (std::holds_alternative<ConfigurationWritten>(result)) written = true;
    };
    session.Engine().WriteConfiguration();
    const DeviceSession::Outcome outcome = session.RunUntilIdle();
    if (outcome != DeviceSession::Outcome::Done || !written) return Failed(outcome, a.link.language);
    recording.Written(doc.Project(), *a.device, a.link.serial.portName);
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

// ---- clock ----

int RunClock(const DeviceArgs& a, CBrondaleDoc& doc, DeviceSession& session) {
    const int lang = a.link.language;
    ProtocolEngine& engine = session.Engine();
    bool answered = false;
    std::optional<ClockFields> deviceTime;
    LocalTime arrival;
    session.onResult = [&](const EngineResult& result) {
        if (std::holds_alternative<ClockSet>(result)) answered = true;
        if (const auto* read = std::get_if<ClockRead>(&result)) {
            answered = true;
            deviceTime = read->time;
            arrival = SystemLocalTime();
        }
    };
    engine.WatchClock(true);
    if (a.setText || a.setPc) {
        LocalTime time = engine.TimeToSet();
        if (a.setPc)
            time = ClockSetTime(SystemLocalTime, a.link.serial);
        else
            ParseClockText(*a.setText, time);
        engine.SetDeviceTime(time);
        const DeviceSession::Outcome outcome = session.RunUntilIdle();
        if (outcome != DeviceSession::Outcome::Done || !answered) return Failed(outcome, lang);
    }
    deviceTime.reset();
    engine.ReadDeviceTime();
    const DeviceSession::Outcome outcome = session.RunUntilIdle();
    if (outcome != DeviceSession::Outcome::Done || !deviceTime) return Failed(outcome, lang);
    std::printf("%s\n%s: %s\n", ClockText(doc.DateOrder(), *deviceTime).c_str(), Pick(txt::CliClockOffset, lang),
                ClockOffsetText(DeviceClockOffsetMs(*deviceTime, arrival, a.link.serial), lang).c_str());
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

// ---- events ----

int RunEvents(const DeviceArgs& a, CBrondaleDoc& doc, DeviceSession& session) {
    const int lang = a.link.language;
    const std::string& file = a.positional[0];
    const int code = KindDeviceFirst + *a.device;
    doc.SelectNode(KindEventLog, code);
    bool received = false;
    session.onResult = [&received](const EngineResult& result) {
        if (std::holds_alternative<EventLogReceived>(result)) received = true;
    };
    session.Engine().ReadEventLog();
    const DeviceSession::Outcome outcome = session.RunUntilIdle();
    if (outcome != DeviceSession::Outcome::Done) return Failed(outcome, lang);
    session.Close();
    if (!received) {
        // A refused segment ends the transfer with a partial log; keep the file as it was.
        Complain(Pick(txt::CliEventLogRefused, lang));
        return ExitNoAnswer;
    }
    if (!SaveProject(doc, file)) return ExitFile;

    const DeviceRecord& rec = doc.CurrentDevice();
    const int count = rec.EventCountClamped();
    if (a.csv) {
        const std::string csv = EventLogCsv(rec, lang);
        std::fwrite(csv.data(), 1, csv.size(), stdout);
        return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
    }
    std::printf("%s\t%s\t%s\t%s\n", Pick(txt::ListColNumber, lang), Pick(txt::ListColTime, lang),
                Pick(txt::ListColName, lang), Pick(txt::ListColState, lang));
    for (int i = 0; i < count; ++i) {
        const EventRecord& ev = rec.events[count - 1 - i];
        const std::string stamp = FormatEventStamp(ev, DateChina);
        const std::string name =
            PrintableText(GbkToUtf8(FieldText(ev.signalName, static_cast<int>(sizeof ev.signalName))));
        std::printf("%d\t%s\t%s\t%s\n", i + 1, stamp.c_str(), name.c_str(), TransitionText(ev.transition, lang));
    }
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

// ---- output test ----

int RunOutputTest(const DeviceArgs& a, CBrondaleDoc& doc, DeviceSession& session) {
    const int lang = a.link.language;
    bool answered = false;
    session.onResult = [&answered](const EngineResult& result) {
        if (std::holds_alternative<OutputTestDone>(result)) answered = true;
    };
    doc.SetCpuFailureTest(a.positional[0] == "on" ? 1 : 0);
    session.Engine().ExecuteOutputTest();
    const DeviceSession::Outcome outcome = session.RunUntilIdle();
    if (outcome != DeviceSession::Outcome::Done || !answered) return Failed(outcome, lang);
    // A data reply has put the reported state into cpuFailureTest; a bare acknowledgement
    // leaves the state that was sent.
    std::printf("%s: %s\n", Pick(txt::ListRowCpuFailure, lang),
                Pick(doc.CpuFailureTest() != 0 ? txt::ListStateOn : txt::ListStateOff, lang));
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

// ---- monitor ----

int RunMonitor(const DeviceArgs& a, CBrondaleDoc& doc, DeviceSession& session) {
    const int lang = a.link.language;
    StatusWatch watch;
    watch.Watch(session);
    std::vector<uint8_t> shown;  // the states printed so far
    bool firmwareShown = false;
    session.onEventText = [](const std::string& text) {
        std::fputs(PrintableText(text, true).c_str(), stdout);
        std::fflush(stdout);
    };
    watch.then = [&] {
        if (!firmwareShown) {
            std::printf("%s: %s\n", Pick(txt::CliFirmware, lang), FirmwareText(doc).c_str());
            firmwareShown = true;
        }
        for (std::size_t i = 0; i < watch.inputs; ++i) {
            if (i < shown.size() && shown[i] == doc.LiveStatus()[i]) continue;
            std::printf("%s: %s\n", InputName(static_cast<int>(i), lang).c_str(),
                        InputStateText(doc.LiveStatus()[i], lang));
        }
        shown.assign(doc.LiveStatus(), doc.LiveStatus() + watch.inputs);
        std::fflush(stdout);
    };
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (a.seconds)
        deadline = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<long long>(std::llround(*a.seconds * 1000.0)));
    session.SetReconnect(a.reconnect);
    // The first poll goes out at once; the timer keeps the three-second rhythm after it.
    session.Engine().PollStatus();
    DeviceSession::Outcome outcome = session.Run(nullptr, deadline, true);
    // At the end of the time the exchange under way is finished, so that events the device
    // has handed over are printed rather than lost; a stop signal ends at once.
    if (outcome == DeviceSession::Outcome::TimedOut) {
        // Time ran out while the port was gone: the device is no more answering than after a
        // give-up.
        if (session.WaitingForPort())
            outcome = DeviceSession::Outcome::GaveUp;
        else
            outcome = session.RunUntilIdle();
    }
    session.Close();
    std::fflush(stdout);
    return outcome == DeviceSession::Outcome::GaveUp ? ExitNoAnswer : ExitOk;
}

int RunOpened(const DeviceArgs& a, CBrondaleDoc& doc, DeviceSession& session) {
    const std::string name = a.sub->name;
    if (name == "status") return RunStatus(a, doc, session);
    if (name == "read-config") return RunReadConfig(a, doc, session);
    if (name == "write-config") return RunWriteConfig(a, doc, session);
    if (name == "clock") return RunClock(a, doc, session);
    if (name == "events") return RunEvents(a, doc, session);
    if (name == "compare") return RunCompare(doc, session, *a.device, a.link.language, a.json);
    if (name == "output-test") return RunOutputTest(a, doc, session);
    return RunMonitor(a, doc, session);
}

int RunSubcommand(const DeviceArgs& a) {
    CBrondaleDoc doc;
    doc.SetLanguage(a.link.language);
    const std::string name = a.sub->name;
    const bool needsFile =
        name == "read-config" || name == "write-config" || name == "events" || name == "compare";
    if (needsFile) {
        if (!LoadProject(doc, a.positional[0])) return ExitFile;
        if (a.device && *a.device >= doc.Project().DeviceCountClamped())
            return Usage(a.sub->usage, "the project has no device " + std::to_string(*a.device) +
                                           " (it has " + std::to_string(doc.Project().DeviceCountClamped()) +
                                           ")");
    }
    if (name == "output-test" && a.positional[0] != "on" && a.positional[0] != "off")
        return Usage(a.sub->usage, "expected on or off, not '" + a.positional[0] + "'");

    DeviceSession session(doc, a.link);
    if (name == "monitor") session.CatchStopSignals();
    if (const int opened = session.Open(); opened != ExitOk) return opened;
    const int code = RunOpened(a, doc, session);
    // A capture asked for and not written whole is a failure even when the device did its part.
    if (!session.FinishCapture() && code == ExitOk) return ExitFile;
    return code;
}

}  // namespace
}  // namespace corvix::cli

int RunDeviceCommand(const std::vector<std::string>& args) {
    using namespace corvix::cli;
    if (args.empty()) return Usage(kDeviceUsage, "missing subcommand");
    if (IsHelp(args[0])) {
        std::printf("%s%s", kDeviceUsage, kCommonOptions);
        return ExitOk;
    }
    const DeviceArgs a = ParseDeviceArgs(args);
    if (a.sub == nullptr) return Usage(kDeviceUsage, a.error);
    if (a.help) {
        std::printf("%s\n%s", a.sub->usage, kCommonOptions);
        return ExitOk;
    }
    if (!a.error.empty()) return Usage(a.sub->usage, a.error);
    return RunSubcommand(a);
}
