// SPDX-License-Identifier: Apache-2.0
#include "present/comm_log.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "link/frame.h"
#include "model/texts.h"

namespace corvix {

std::optional<CommLogEntry> CommLogEntryOf(const EngineResult& result, const LocalTime& now, int lang,
                                           uint64_t utcMicros) {
    CommLogEntry e;
    if (const auto* sent = std::get_if<FrameSent>(&result)) {
        e.sent = true;
        e.repeat = sent->repeat;
        e.bytes = sent->bytes;
    } else if (const auto* received = std::get_if<FrameReceived>(&result)) {
        e.verdict = received->verdict;
        e.bytes = received->bytes;
    } else {
        return std::nullopt;
    }
    e.time = now;
    e.utcMicros = utcMicros;
    e.lang = lang;
    return e;
}

uint64_t SystemUtcMicros() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(since).count());
}

const char* VerdictText(FrameVerdict verdict, int lang) {
    switch (verdict) {
        case FrameVerdict::Good:
            return Pick(txt::VerdictGood, lang);
        case FrameVerdict::TooShort:
            return Pick(txt::VerdictTooShort, lang);
        case FrameVerdict::BadStart:
            return Pick(txt::VerdictBadStart, lang);
        case FrameVerdict::Incomplete:
            return Pick(txt::VerdictIncomplete, lang);
        case FrameVerdict::BadChecksum:
            return Pick(txt::VerdictBadChecksum, lang);
        case FrameVerdict::BadEnd:
            return Pick(txt::VerdictBadEnd, lang);
    }
    return "?";
}

std::string CommLogHeader(const CommLogEntry& e, bool timeStamps) {
    char head[128];
    if (!timeStamps) {
        if (e.sent)
            std::snprintf(head, sizeof head, "send-->repeat=%d\r\n", e.repeat);
        else
            std::snprintf(head, sizeof head, "receive<--\r\n");
        return head;
    }
    const LocalTime& t = e.time;
    if (e.sent)
        std::snprintf(head, sizeof head, "%02d:%02d:%02d.%03d send-->repeat=%d\r\n", t.hour, t.minute, t.second,
                      t.millisecond, e.repeat);
    else
        std::snprintf(head, sizeof head, "%02d:%02d:%02d.%03d receive<-- (%s)\r\n", t.hour, t.minute, t.second,
                      t.millisecond, VerdictText(e.verdict, e.lang));
    return head;
}

std::string CommLogText(const CommLogEntry& e, bool timeStamps) {
    std::string s = CommLogHeader(e, timeStamps);
    s.reserve(s.size() + e.bytes.size() * 3 + (e.bytes.size() / 50) * 2 + 2);
    AppendCommBytes(s, e.bytes.data(), e.bytes.size());
    return s;
}

std::string CommLogFileText(const CommLogEntry& e, bool timeStamps) {
    const std::string crlf = CommLogText(e, timeStamps);
    std::string s;
    s.reserve(crlf.size());
    for (char c : crlf)
        if (c != '\r') s += c;
    return s;
}

std::size_t CommLogStore::Append(CommLogEntry entry) {
    std::size_t dropped = 0;
    while (limit_ > 0 && entries_.size() >= limit_) {
        entries_.pop_front();
        ++dropped;
    }
    if (limit_ > 0) entries_.push_back(std::move(entry));
    return dropped;
}

std::string DayFileName(const LocalTime& day, const char* extension) {
    char name[48];
    std::snprintf(name, sizeof name, "corvix-%04d-%02d-%02d%s", day.year, day.month, day.day, extension);
    return name;
}

bool AppendToDayFiles(const std::string& folder, const std::vector<CommLogEntry>& entries, const char* extension,
                      const DayBytesFn& bytesOf, std::string& path, std::string& reason) {
    if (entries.empty()) return true;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        path = folder;
        reason = ec.message();
        return false;
    }
    std::size_t i = 0;
    while (i < entries.size()) {
        // One opening per day's run of entries: a flush rarely spans midnight.
        const std::string name = DayFileName(entries[i].time, extension);
        path = (std::filesystem::path(folder) / name).string();
        const std::size_t first = i;
        while (i < entries.size() && DayFileName(entries[i].time, extension) == name) ++i;
        std::FILE* f = std::fopen(path.c_str(), "ab");
        if (f == nullptr) {
            reason = std::strerror(errno);
            return false;
        }
        const bool empty = std::fseek(f, 0, SEEK_END) == 0 && std::ftell(f) == 0;
        const std::string bytes = bytesOf(first, i, empty);
        errno = 0;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        const int writeErrno = errno;
        const bool closed = std::fclose(f) == 0;
        if (!written || !closed) {
            reason = std::strerror(!written && writeErrno != 0 ? writeErrno : errno != 0 ? errno : EIO);
            return false;
        }
    }
    return true;
}

std::string CommLogFile::FileName(const LocalTime& day) { return DayFileName(day, ".log"); }

bool CommLogFile::Append(const std::vector<CommLogEntry>& entries, bool timeStamps, std::string& path,
                         std::string& reason) {
    return AppendToDayFiles(
        folder_, entries, ".log",
        [&](std::size_t first, std::size_t last, bool) {
            std::string text;
            for (std::size_t i = first; i < last; ++i) text += CommLogFileText(entries[i], timeStamps);
            return text;
        },
        path, reason);
}

std::string DefaultLogFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return (std::filesystem::path(state) / "Corvix").string();
    const char* home = std::getenv("HOME");
    return (std::filesystem::path(home != nullptr ? home : "") / ".local" / "state" / "Corvix").string();
}

}  // namespace corvix
