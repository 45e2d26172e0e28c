// SPDX-License-Identifier: Apache-2.0
#include "cli/extcap.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/cli.h"
#include "cli/device_args.h"
#include "link/frame.h"
#include "model/doc.h"
#include "model/texts.h"
#include "model/version.h"
#include "present/comm_log.h"
#include "present/pcapng.h"

namespace corvix::cli {
namespace {

constexpr const char* kExtcapUsage =
    "usage: corvix-cli extcap --extcap-interfaces\n"
    "       corvix-cli extcap --extcap-interface corvix --extcap-dlts\n"
    "       corvix-cli extcap --extcap-interface corvix --extcap-config\n"
    "       corvix-cli extcap --extcap-interface corvix --capture --fifo FILE --port PATH\n"
    "                         [--poll] [line options]\n"
    "       corvix-cli extcap --extcap-version\n"
    "Live capture for Wireshark (its extcap interface): the analyser runs this through the link\n"
    "the package puts in its extcap folder. --capture connects to the device, runs the monitor\n"
    "session (with --poll: a status poll every 3 s and the new events it announces) and writes\n"
    "every frame sent and received to FILE as pcapng (link type USER0), until SIGINT/SIGTERM\n"
    "or the reader closes FILE; the port is then closed.\n"
    "  --extcap-interfaces          list the interface (corvix, \"Corvix serial link\")\n"
    "  --extcap-interface NAME      the interface the other steps are about\n"
    "  --extcap-dlts                list its link type\n"
    "  --extcap-config              list its options\n"
    "  --extcap-version[=V]         print the program's version\n"
    "  --capture                    capture into --fifo FILE\n"
    "  --fifo FILE                  the fifo (or file) the packets go to\n"
    "  --extcap-capture-filter F    accepted and not applied: every frame is captured\n"
    "  --poll                       poll the status every 3 seconds\n"
    "  --port, --baud, --data-bits, --parity, --stop-bits, --lang, --log: as for corvix-cli\n"
    "                               device\n";

// Options whose value the analyser may pass and that change nothing here.
const std::vector<std::string> kIgnoredValueOptions = {"--extcap-capture-filter", "--extcap-control-in",
                                                       "--extcap-control-out", "--extcap-reload-option",
                                                       "--debug-file"};
const std::vector<std::string> kLineValueOptions = {"--port",   "--baud",      "--data-bits",
                                                    "--parity", "--stop-bits", "--lang"};

bool IsOneOf(const std::vector<std::string>& list, const std::string& s) {
    for (const std::string& x : list)
        if (x == s) return true;
    return false;
}

void SetStep(ExtcapArgs& a, ExtcapStep step) {
    // The version is printed with the interface listing when the analyser asks for both.
    if (a.step == ExtcapStep::Interfaces && step == ExtcapStep::Version) return;
    if (a.step != ExtcapStep::None && a.step != ExtcapStep::Version && a.step != step)
        a.error = "only one of --extcap-interfaces, --extcap-dlts, --extcap-config and --capture";
    a.step = step;
}

// Prints a text of the catalog with one or two %s on stderr.
void Complain(const BiText& text, int lang, const std::string& a, const std::string& b = "") {
    std::fputs("corvix-cli: ", stderr);
    std::fprintf(stderr, Pick(text, lang), a.c_str(), b.c_str());
    std::fputs("\n", stderr);
    std::fflush(stderr);
}

// True once nobody reads the fifo any more (the analyser stopped); a plain file never ends.
bool ReaderGone(int fd) {
    pollfd p{fd, POLLOUT, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

int RunCapture(const ExtcapArgs& a) {
    const int lang = a.link.language;
    // A reader that goes away must end the capture through a failed write, not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    CBrondaleDoc doc;
    doc.SetLanguage(lang);
    DeviceSession session(doc, a.link);
    session.CatchStopSignals();

    const int fd = ::open(a.fifo->c_str(), O_WRONLY | O_CLOEXEC | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        Complain(txt::ExtcapFifoOpenFailed, lang, *a.fifo, std::strerror(errno));
        return ExitFile;
    }
    const int watchFd = ::dup(fd);
    PcapngStream stream;
    std::string reason;
    if (!stream.Open(fd, a.link.serial.portName, LineSettingsText(a.link.serial), reason)) {
        Complain(txt::ExtcapFifoOpenFailed, lang, *a.fifo, reason);
        if (watchFd >= 0) ::close(watchFd);
        return ExitFile;
    }
    if (session.Open() != ExitOk) {
        if (watchFd >= 0) ::close(watchFd);
        return ExitPort;
    }

    session.onResult = [&](const EngineResult& result) {
        if (stream.Failed()) return;
        if (const std::optional<CommLogEntry> entry =
                CommLogEntryOf(result, SystemLocalTime(), lang, SystemUtcMicros()))
            stream.Write(*entry);
    };
    // New events are in the capture as frames; nothing reads our stdout during a capture.
    session.onEventText = [](const std::string&) {};
    session.SetReconnect(true);
    if (a.poll) session.Engine().PollStatus();
    const DeviceSession::Outcome outcome = session.Run(
        [&] { return stream.Failed() || (watchFd >= 0 && ReaderGone(watchFd)); }, std::nullopt, a.poll);
    session.Close();
    const bool readerGone = watchFd >= 0 && ReaderGone(watchFd);
    if (watchFd >= 0) ::close(watchFd);
    const bool failed = stream.Failed() || !stream.Close();
    // The analyser closing its end is how a capture is stopped too: no fault.
    if (failed && !readerGone) {
        Complain(txt::ExtcapFifoWriteFailed, lang, stream.Reason());
        return ExitFile;
    }
    return outcome == DeviceSession::Outcome::GaveUp ? ExitNoAnswer : ExitOk;
}

}  // namespace

ExtcapArgs ParseExtcapArgs(const std::vector<std::string>& args) {
    ExtcapArgs a;
    std::vector<std::string> line = {"monitor"};
    bool portGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        auto takeValue = [&]() -> bool {
            if (value) return true;
            if (i + 1 >= args.size()) {
                a.error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        if (IsHelp(name)) {
            a.help = true;
        } else if (name == "--extcap-version") {
            SetStep(a, ExtcapStep::Version);  // the analyser's own version, if given, is not needed
        } else if (name == "--extcap-interfaces" && !value) {
            SetStep(a, ExtcapStep::Interfaces);
        } else if (name == "--extcap-dlts" && !value) {
            SetStep(a, ExtcapStep::Dlts);
        } else if (name == "--extcap-config" && !value) {
            SetStep(a, ExtcapStep::Config);
        } else if (name == "--capture" && !value) {
            SetStep(a, ExtcapStep::Capture);
        } else if (name == "--poll" && !value) {
            a.poll = true;
        } else if (name == "--debug" && !value) {
            // The analyser's debug switch: our messages go to stderr anyway.
        } else if (name == "--log" && !value) {
            line.push_back(name);
        } else if (name == "--extcap-interface") {
            if (takeValue()) a.interface = *value;
        } else if (name == "--fifo") {
            if (takeValue()) a.fifo = *value;
        } else if (IsOneOf(kIgnoredValueOptions, name)) {
            takeValue();
        } else if (IsOneOf(kLineValueOptions, name)) {
            if (!takeValue()) continue;
            portGiven = portGiven || name == "--port";
            line.push_back(name);
            line.push_back(*value);
        } else {
            a.error = "unknown option '" + args[i] + "'";
        }
    }
    // The line options are checked as the device commands check them; the port is required
    // only for a capture, below.
    if (!portGiven) {
        line.push_back("--port");
        line.push_back("-");
    }
    const DeviceArgs d = ParseDeviceArgs(line);
    a.link = d.link;
    a.havePort = portGiven;
    if (a.error.empty() && !d.error.empty()) a.error = d.error;
    if (!a.error.empty() || a.help) return a;
    switch (a.step) {
        case ExtcapStep::None:
            a.error =
                "expected --extcap-interfaces, --extcap-dlts, --extcap-config, --capture or --extcap-version";
            break;
        case ExtcapStep::Dlts:
        case ExtcapStep::Config:
        case ExtcapStep::Capture:
            if (!a.interface) a.error = "--extcap-interface is required";
            if (a.step == ExtcapStep::Capture && !a.fifo) a.error = "--capture needs --fifo FILE";
            break;
        default:
            break;
    }
    return a;
}

std::string ExtcapInterfacesText() {
    return std::string("extcap {version=") + CORVIX_VERSION_STRING + "}\n" +
           "interface {value=" + kExtcapInterface + "}{display=Corvix serial link}\n";
}

std::string ExtcapDltsText() {
    return "dlt {number=" + std::to_string(PcapLinkType) + "}{name=USER0}{display=Corvix device frames}\n";
}

std::string ExtcapConfigText() {
    std::string out;
    int number = 0;
    auto arg = [&](const std::string& call, const std::string& display, const std::string& rest) {
        out += "arg {number=" + std::to_string(number) + "}{call=" + call + "}{display=" + display + "}" +
               rest + "\n";
    };
    auto values = [&](const std::vector<std::string>& list, const std::string& chosen) {
        for (const std::string& v : list)
            out += "value {arg=" + std::to_string(number) + "}{value=" + v + "}{display=" + v + "}" +
                   (v == chosen ? "{default=true}" : "") + "\n";
        ++number;
    };
    arg("--port", "Serial port",
        "{type=string}{required=true}{placeholder=/dev/ttyUSB0}"
        "{tooltip=A serial device such as /dev/ttyUSB0, or a serial device server: tcp://HOST:PORT, "
        "rfc2217://HOST:PORT}");
    ++number;
    const SerialSettings defaults;
    arg("--baud", "Baud rate", "{type=selector}{tooltip=Line speed in bit/s}");
    values({"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"},
           std::to_string(defaults.baudRate));
    arg("--parity", "Parity", "{type=selector}");
    values({"none", "even", "odd"}, "none");
    arg("--data-bits", "Data bits", "{type=selector}");
    values({"5", "6", "7", "8"}, std::to_string(defaults.dataBits));
    arg("--stop-bits", "Stop bits", "{type=selector}");
    values({"1", "1.5", "2"}, "1");
    arg("--poll", "Poll the status",
        "{type=boolflag}{default=true}{tooltip=Ask for the input states every 3 seconds, and for the new "
        "events the device announces; without it only what the device sends by itself is captured}");
    ++number;
    arg("--lang", "Language of messages", "{type=selector}");
    values({"en", "zh"}, "en");
    return out;
}

int RunExtcapCommand(const std::vector<std::string>& args) {
    const ExtcapArgs a = ParseExtcapArgs(args);
    if (a.help) {
        std::fputs(kExtcapUsage, stdout);
        return ExitOk;
    }
    if (!a.error.empty()) {
        std::fprintf(stderr, "corvix-cli extcap: %s\n\n%s", a.error.c_str(), kExtcapUsage);
        return ExitUsage;
    }
    if (a.interface && *a.interface != kExtcapInterface) {
        Complain(txt::ExtcapUnknownInterface, a.link.language, *a.interface);
        return ExitUsage;
    }
    std::string out;
    switch (a.step) {
        case ExtcapStep::Interfaces:
            out = ExtcapInterfacesText();
            break;
        case ExtcapStep::Version:
            out = std::string("extcap {version=") + CORVIX_VERSION_STRING + "}\n";
            break;
        case ExtcapStep::Dlts:
            out = ExtcapDltsText();
            break;
        case ExtcapStep::Config:
            out = ExtcapConfigText();
            break;
        case ExtcapStep::Capture:
            if (!a.havePort) {
                Complain(txt::ExtcapNoPort, a.link.language, "");
                return ExitUsage;
            }
            return RunCapture(a);
        case ExtcapStep::None:
            break;
    }
    std::fputs(out.c_str(), stdout);
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

}  // namespace corvix::cli
