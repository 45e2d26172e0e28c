// SPDX-License-Identifier: Apache-2.0
#include "cli/device_session.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>

#include "link/frame.h"
#include "model/gbk.h"
#include "model/texts.h"
#include "present/comm_log.h"
#include "present/link_messages.h"
#include "present/session_texts.h"

namespace corvix::cli {

// ---- session ----

namespace {

void Complain(const std::string& text) {
    std::fprintf(stderr, "corvix-cli: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string Formatted(const BiText& text, int lang, const std::string& a, const std::string& b) {
    char buffer[2048];
    std::snprintf(buffer, sizeof buffer, Pick(text, lang), a.c_str(), b.c_str());
    return buffer;
}

}  // namespace

DeviceSession::DeviceSession(CBrondaleDoc& doc, const LinkOptions& options)
    : doc_(doc), options_(options), loop_(doc, [this](const EngineResult& result) { OnResult(result); }) {
    doc_.SetLanguage(options_.language);
    loop_.Session().Link().settings = options_.serial;
}

DeviceSession::~DeviceSession() {
    loop_.Session().Link().CloseLink();
    StopSignalThread();
    pcap_.Close();
}

bool DeviceSession::FinishCapture() {
    if (!pcap_.IsOpen()) return !pcap_.Failed();
    const bool wasFailed = pcap_.Failed();
    if (pcap_.Close()) return true;
    if (!wasFailed) Complain(Formatted(txt::CaptureWriteFailed, doc_.Language(), options_.pcap, pcap_.Reason()));
    return false;
}

void DeviceSession::CatchStopSignals() {
    if (signalThread_.joinable()) return;
    // Blocked here, before the worker starts, so that every later thread inherits the mask and
    // only the waiting thread below receives them. SIGUSR1 is how we end that thread.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signalThread_ = std::thread([this, set] {
        int signal = 0;
        sigwait(&set, &signal);
        if (signal != SIGUSR1) loop_.Stop();
        signalThreadEnded_ = true;
    });
}

void DeviceSession::StopSignalThread() {
    if (!signalThread_.joinable()) return;
    if (!signalThreadEnded_) pthread_kill(signalThread_.native_handle(), SIGUSR1);
    signalThread_.join();
}

int DeviceSession::Open() {
    if (!options_.pcap.empty()) {
        // A fifo whose reader quits must fail a write (said, exit code 3), not kill the
        // command in the middle of an exchange.
        signal(SIGPIPE, SIG_IGN);
        std::string reason;
        const SerialSettings& line = options_.serial;
        if (!pcap_.Open(options_.pcap, line.portName, LineSettingsText(line), reason)) {
            Complain(Formatted(txt::CaptureOpenFailed, doc_.Language(), options_.pcap, reason));
            return ExitFile;
        }
    }
    LinkSession& session = loop_.Session();
    const LinkOpen result = session.Connect();
    for (const UserMessage& m : ConnectMessages(result, session.Link(), doc_.Language())) Complain(m.text);
    return session.IsConnected() ? ExitOk : ExitPort;
}

void DeviceSession::OnResult(const EngineResult& result) {
    const int lang = doc_.Language();
    if (std::holds_alternative<FrameSent>(result) || std::holds_alternative<FrameReceived>(result)) {
        // Formatting costs time under a flood of bytes: only when the log is wanted.
        if (options_.log || pcap_.IsOpen()) {
            const CommLogEntry entry = *CommLogEntryOf(result, SystemLocalTime(), lang, utcClock());
            if (options_.log) {
                const std::string text = CommLogText(entry, true);
                std::fwrite(text.data(), 1, text.size(), stderr);
                std::fflush(stderr);
            }
            // Said once; the device command goes on and its exit code tells at the end.
            if (pcap_.IsOpen() && !pcap_.Failed() && !pcap_.Write(entry))
                Complain(Formatted(txt::CaptureWriteFailed, lang, options_.pcap, pcap_.Reason()));
        }
    } else if (const auto* failed = std::get_if<OperationFailed>(&result)) {
        if (const std::optional<UserMessage> m = FailureMessage(*failed, lang)) Complain(m->text);
    } else if (std::holds_alternative<LinkLost>(result)) {
        if (loop_.Session().WaitingForPort())
            Complain(StatusPaneText(loop_.Session(), lang));
        else if (const std::optional<UserMessage> m = LinkLostMessage(loop_.Session().Link(), lang))
            Complain(m->text);
    } else if (std::holds_alternative<LinkRestored>(result)) {
        Complain(LinkRestoredText(loop_.Session(), lang));
    } else if (std::holds_alternative<ConfigurationWritten>(result)) {
        std::printf("%s\n", WriteSuccessMessage(lang).text.c_str());
        std::fflush(stdout);
    } else if (const auto* fresh = std::get_if<NewEvents>(&result)) {
        for (const WireEvent& e : fresh->events) {
            const std::string text = EventText(e, doc_.DateOrder(), lang);
            if (onEventText) {
                onEventText(text);
            } else {
                // Names come from the device: no control character reaches the terminal raw.
                std::fputs(PrintableText(text, true).c_str(), stdout);
                std::fflush(stdout);
            }
        }
    }
    if (onResult) onResult(result);
}

}  // namespace corvix::cli
