// corvix-cli device ...: the device operations of the desktop program, run from a shell.
#include "cli/device_commands.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/clock_text.h"
#include "cli/compare_command.h"
#include "cli/device_session.h"
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

constexpr const char* kCommonOptions =
    "common options:\n"
    "  --port PATH                 serial device (required), e.g. /dev/ttyUSB0, or a serial\n"
    "                              device server: tcp://HOST:PORT (raw TCP) or\n"
    "                              rfc2217://HOST:PORT (line settings sent to the server)\n"
    "  --baud N                    baud rate (57600)\n"
    "  --data-bits N               data bits (8)\n"
    "  --parity none|even|odd      parity (none)\n"
    "  --stop-bits 1|1.5|2         stop bits (1)\n"
    "  --lang zh|en                language of the output (en)\n"
    "  --log                       write every frame sent and received to stderr\n"
    "\n"
    "Exit codes: 0 ok, 1 the device did not answer (a request goes out four times; 16 s\n"
    "after the first without a reply the link gives up), 2 usage, 3 file error, 4 the port\n"
    "could not be opened or configured (also: in use by another program, or a serial device\n"
    "server refused the connection, could not be found, timed out or closed it), 6 (compare)\n"
    "the project and the device differ.\n";

constexpr const char* kDeviceUsage =
    "usage: corvix-cli device <subcommand> --port PATH [options]\n"
    "\n"
    "subcommands:\n"
    "  status [--json]                  poll once: firmware, input states, new events\n"
    "  read-config FILE                 read the configuration into the matching devices of FILE\n"
    "  write-config FILE --device N     write device N of FILE (0-based) to the device\n"
    "  clock [--set TEXT | --set-pc]    read (and set) the device clock\n"
    "  events FILE --device N [--csv]   read the stored event log into device N of FILE\n"
    "  compare FILE --device N [--json] list what differs between device N of FILE and the device\n"
    "  output-test on|off               switch the simulated CPU failure\n"
    "  monitor [--seconds S]            poll every 3 s, print input changes and new events\n"
    "\n";

struct Subcommand {
    const char* name;
    const char* usage;
    // Extra options: value options and flags the subcommand accepts.
    std::vector<std::string> valueOptions;
    std::vector<std::string> flags;
    int positionals;
};

const std::vector<Subcommand>& Subcommands() {
    static const std::vector<Subcommand> list = {
        {"status",
         "usage: corvix-cli device status --port PATH [--json] [options]\n"
         "Polls the device once and prints its firmware version, the state of every input and\n"
         "whether it holds new events (fetched and printed too). --json prints one JSON object.\n",
         {},
         {"--json"},
         0},
        {"read-config",
         "usage: corvix-cli device read-config FILE --port PATH [options]\n"
         "Reads the device's configuration. It replaces the configuration of every device of the\n"
         "project FILE whose address equals the answering device's address; FILE is then written\n"
         "again and the indexes (0-based) of the updated devices are printed. When no device\n"
         "matches, FILE is left as it was.\n",
         {},
         {},
         1},
        {"write-config",
         "usage: corvix-cli device write-config FILE --device N --port PATH [options]\n"
         "Writes the configuration of device N (0-based) of the project FILE to the device and\n"
         "prints the confirmation after the last piece has been acknowledged.\n",
         {"--device"},
         {},
         1},
        {"clock",
         "usage: corvix-cli device clock --port PATH [--set TEXT | --set-pc] [options]\n"
         "Prints the device time (year.month.day hour:minute:second) and its offset from this\n"
         "computer's clock. --set sets it first from TEXT, read at fixed positions: year 0-3,\n"
         "month 5-6, day 8-9, hour 11-12, minute 14-15, second 17-18 (separators are not looked\n"
         "at; missing fields are 0), e.g. \"2012.05.10 14:03:22\". --set-pc sets it to this\n"
         "computer's local time plus the request's time on the line.\n",
         {"--set"},
         {"--set-pc"},
         0},
        {"events",
         "usage: corvix-cli device events FILE --device N --port PATH [--csv] [options]\n"
         "Reads the device's stored event log into device N (0-based) of the project FILE,\n"
         "writes FILE and prints the log, newest first (--csv: number, ISO 8601 local time, name,\n"
         "state as UTF-8 CSV with a byte-order mark and CR LF line ends).\n",
         {"--device"},
         {"--csv"},
         1},
        {"compare", kCompareUsage, {"--device"}, {"--json"}, 1},
        {"output-test",
         "usage: corvix-cli device output-test on|off --port PATH [options]\n"
         "Switches the simulated CPU failure on or off and prints the state the device reports.\n",
         {},
         {},
         1},
        {"monitor",
         "usage: corvix-cli device monitor --port PATH [--seconds S] [options]\n"
         "Polls the device every 3 seconds and prints the input states, each change of an input\n"
         "and each new event, until S seconds have passed (the exchange under way is finished)\n"
         "or SIGINT/SIGTERM arrives.\n",
         {"--seconds"},
         {},
         0},
    };
    return list;
}

struct DeviceArgs {
    const Subcommand* sub = nullptr;
    LinkOptions link;
    bool havePort = false;
    std::vector<std::string> positional;
    bool help = false;
    bool json = false;
    bool csv = false;
    bool setPc = false;
    std::optional<std::string> setText;
    std::optional<int> device;
    std::optional<double> seconds;
    std::string error;
};

bool Contains(const std::vector<std::string>& list, const std::string& s) {
    for (const std::string& x : list)
        if (x == s) return true;
    return false;
}

std::optional<long> ParseInteger(const std::string& text, long low, long high) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < low || v > high) return std::nullopt;
    return v;
}

// Applies one option with its value; returns an error text or "".
std::string ApplyValue(DeviceArgs& a, const std::string& name, const std::string& value) {
    if (name == "--port") {
        if (value.empty()) return "--port needs a path";
        a.link.serial.portName = value;
        a.havePort = true;
    } else if (name == "--baud") {
        auto v = ParseInteger(value, 1, 4000000);
        if (!v) return "--baud needs a positive number";
        a.link.serial.baudRate = static_cast<int>(*v);
    } else if (name == "--data-bits") {
        auto v = ParseInteger(value, 5, 8);
        if (!v) return "--data-bits needs 5, 6, 7 or 8";
        a.link.serial.dataBits = static_cast<int>(*v);
    } else if (name == "--parity") {
        if (value == "none")
            a.link.serial.parity = ParityNone;
        else if (value == "even")
            a.link.serial.parity = ParityEven;
        else if (value == "odd")
            a.link.serial.parity = ParityOdd;
        else
            return "--parity needs none, even or odd";
    } else if (name == "--stop-bits") {
        if (value == "1")
            a.link.serial.stopBits = StopBits1;
        else if (value == "1.5")
            a.link.serial.stopBits = StopBits1_5;
        else if (value == "2")
            a.link.serial.stopBits = StopBits2;
        else
            return "--stop-bits needs 1, 1.5 or 2";
    } else if (name == "--lang") {
        std::optional<int> lang = ParseLanguage(value);
        if (!lang) return "unknown language '" + value + "' (zh or en)";
        a.link.language = *lang;
    } else if (name == "--device") {
        auto v = ParseInteger(value, 0, MaxDevices - 1);
        if (!v) return "--device needs a device index from 0 to 19";
        a.device = static_cast<int>(*v);
    } else if (name == "--set") {
        a.setText = value;
    } else if (name == "--seconds") {
        char* end = nullptr;
        const double s = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(s) || s < 0 || s > 1e7)
            return "--seconds needs a number of seconds";
        a.seconds = s;
    }
    return "";
}

const std::vector<std::string> kCommonValueOptions = {"--port",   "--baud",      "--data-bits",
                                                      "--parity", "--stop-bits", "--lang"};

DeviceArgs ParseDeviceArgs(const std::vector<std::string>& args) {
    DeviceArgs a;
    for (const Subcommand& s : Subcommands())
        if (args[0] == s.name) a.sub = &s;
    if (a.sub == nullptr) {
        a.error = "unknown subcommand '" + args[0] + "'";
        return a;
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (IsHelp(arg)) {
            a.help = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-' || arg == "-") {
            a.positional.push_back(arg);
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        const std::size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const bool isValue = Contains(kCommonValueOptions, name) || Contains(a.sub->valueOptions, name);
        const bool isFlag = name == "--log" || Contains(a.sub->flags, name);
        if (isValue) {
            if (!value) {
                if (i + 1 >= args.size()) {
                    a.error = name + " needs a value";
                    continue;
                }
                value = args[++i];
            }
            const std::string err = ApplyValue(a, name, *value);
            if (!err.empty()) a.error = err;
        } else if (isFlag && !value) {
            if (name == "--log") a.link.log = true;
            if (name == "--json") a.json = true;
            if (name == "--csv") a.csv = true;
            if (name == "--set-pc") a.setPc = true;
        } else {
            a.error = "unknown option '" + arg + "'";
        }
    }
    if (!a.error.empty() || a.help) return a;
    if (!a.havePort) a.error = "--port is required";
    if (static_cast<int>(a.positional.size()) != a.sub->positionals)
        a.error = a.sub->positionals == 0 ? "unexpected argument '" + a.positional.front() + "'"
                                          : "expected exactly one argument";
    if (Contains(a.sub->valueOptions, "--device") && !a.device) a.error = "--device N is required";
    if (a.setText && a.setPc) a.error = "--set and --set-pc exclude each other";
    return a;
}

int Usage(const char* usage, const std::string& error) {
    std::fprintf(stderr, "corvix-cli device: %s\n\n%s\n%s", error.c_str(), usage, kCommonOptions);
    return ExitUsage;
}

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
        std::string json = "{\"firmware\":" + JsonString(FirmwareText(doc)) + ",\"states\":[";
        for (std::size_t i = 0; i < watch.inputs; ++i) {
            if (i > 0) json += ',';
            json += std::to_string(doc.LiveStatus()[i]);
        }
        json += "],\"newEvents\":";
        json += watch.newEvents ? "true" : "false";
        json += ",\"events\":[";
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (i > 0) json += ',';
            json += JsonString(events[i]);
        }
        json += "]}";
        std::printf("%s\n", json.c_str());
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
    bool written = false;
    session.onResult = [&written](const EngineResult& result) {
        if (std::holds_alternative<ConfigurationWritten>(result)) written = true;
    };
    session.Engine().WriteConfiguration();
    const DeviceSession::Outcome outcome = session.RunUntilIdle();
    if (outcome != DeviceSession::Outcome::Done || !written) return Failed(outcome, a.link.language);
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
    // The first poll goes out at once; the timer keeps the three-second rhythm after it.
    session.Engine().PollStatus();
    DeviceSession::Outcome outcome = session.Run(nullptr, deadline, true);
    // At the end of the time the exchange under way is finished, so that events the device
    // has handed over are printed rather than lost; a stop signal ends at once.
    if (outcome == DeviceSession::Outcome::TimedOut) outcome = session.RunUntilIdle();
    session.Close();
    std::fflush(stdout);
    return outcome == DeviceSession::Outcome::GaveUp ? ExitNoAnswer : ExitOk;
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
    if (session.Open() != ExitOk) return ExitPort;
    if (name == "status") return RunStatus(a, doc, session);
    if (name == "read-config") return RunReadConfig(a, doc, session);
    if (name == "write-config") return RunWriteConfig(a, doc, session);
    if (name == "clock") return RunClock(a, doc, session);
    if (name == "events") return RunEvents(a, doc, session);
    if (name == "compare") return RunCompare(doc, session, *a.device, a.link.language, a.json);
    if (name == "output-test") return RunOutputTest(a, doc, session);
    return RunMonitor(a, doc, session);
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
