// SPDX-License-Identifier: Apache-2.0
// The communication log: one entry per frame sent or block received, kept as it happened
// (bytes, time, verdict) and turned into text only when someone shows or writes it. The
// desktop bar, its files and the command line's --log print the same lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/engine_results.h"
#include "model/local_time.h"

namespace corvix {

inline constexpr std::size_t CommLogMaxEntries = 20000;

struct CommLogEntry {
    bool sent = false;
    int repeat = 0;                             // frames sent
    FrameVerdict verdict = FrameVerdict::Good;  // blocks received
    LocalTime time;
    int lang = 0;  // the interface language when it happened (verdict texts)
    std::vector<uint8_t> bytes;
    uint64_t utcMicros = 0;  // the moment of `time` in microseconds since 1970 UTC (0: not known)
};

// The entry of a FrameSent or FrameReceived result; none for any other result.
std::optional<CommLogEntry> CommLogEntryOf(const EngineResult& result, const LocalTime& now, int lang,
                                           uint64_t utcMicros = 0);

// Microseconds since 1970-01-01 UTC, from the PC's clock; tests inject a fixed clock.
uint64_t SystemUtcMicros();
using UtcClockFn = std::function<uint64_t()>;

// What a received block is, in the log's words ("checksum good", "wrong end byte", ...).
const char* VerdictText(FrameVerdict verdict, int lang);
// The header line with its "\r\n". With time stamps: "hh:mm:ss.mmm send-->repeat=N" or
// "hh:mm:ss.mmm receive<-- (verdict)"; without: "send-->repeat=N" or "receive<--".
std::string CommLogHeader(const CommLogEntry& entry, bool timeStamps);
// Header line and byte lines ("\r\n" line ends).
std::string CommLogText(const CommLogEntry& entry, bool timeStamps);
// The same with "\n" line ends, as a file holds it.
std::string CommLogFileText(const CommLogEntry& entry, bool timeStamps);

// The last CommLogMaxEntries entries (or `limit`), oldest first.
class CommLogStore {
  public:
    explicit CommLogStore(std::size_t limit = CommLogMaxEntries) : limit_(limit) {}
    // Returns how many of the oldest entries made room for it (0 or 1).
    std::size_t Append(CommLogEntry entry);
    void Clear() { entries_.clear(); }
    const std::deque<CommLogEntry>& Entries() const { return entries_; }
    std::size_t Size() const { return entries_.size(); }
    std::size_t Limit() const { return limit_; }

  private:
    std::size_t limit_;
    std::deque<CommLogEntry> entries_;
};

// The automatic log: every entry appended to the file of its day, "corvix-YYYY-MM-DD.log",
// in `folder` (made when missing).
class CommLogFile {
  public:
    explicit CommLogFile(std::string folder) : folder_(std::move(folder)) {}
    const std::string& Folder() const { return folder_; }
    static std::string FileName(const LocalTime& day);
    // Appends the entries in order. False on the first failure, with the file's path and the
    // system's reason; the entries after it are not written.
    bool Append(const std::vector<CommLogEntry>& entries, bool timeStamps, std::string& path,
                std::string& reason);

  private:
    std::string folder_;
};

// "corvix-YYYY-MM-DD<extension>": the automatic log's file of `day`.
std::string DayFileName(const LocalTime& day, const char* extension);
// Appends to the per-day files of `folder` (made when missing), opening each day's file once
// for its run of entries and writing what `bytesOf(first, last, fileIsEmpty)` gives for
// entries [first, last). False on the first failure, with the file's path and the system's
// reason; the entries after it are not written.
using DayBytesFn = std::function<std::string(std::size_t first, std::size_t last, bool fileIsEmpty)>;
bool AppendToDayFiles(const std::string& folder, const std::vector<CommLogEntry>& entries, const char* extension,
                      const DayBytesFn& bytesOf, std::string& path, std::string& reason);

// $XDG_STATE_HOME/Corvix, or ~/.local/state/Corvix when it is not set (an absolute path only).
std::string DefaultLogFolder();

}  // namespace corvix
