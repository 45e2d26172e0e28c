// SPDX-License-Identifier: Apache-2.0
// The history repository: a plain git repository written through libgit2, one file per
// device. Each recording is one commit on the branch HEAD names; its message names the
// operation, the port, the program version and the host, and repeats them as trailers
// (Corvix-Operation, Corvix-Port, Corvix-Version, Corvix-Host, and one Corvix-Device line per
// device with the number of fields that changed). A read that finds a device as last recorded
// is still a commit, an empty one: it keeps the time of the check in the same log, travels
// with every push and pull and needs no extra refs, as git notes would.
//
// Writers take a lock file of their own (flock, so a killed process never leaves it behind)
// and update the branch only if it still points where they started, retrying otherwise: two
// programs recording at once both land, one after the other.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct git_repository;

namespace corvix::history {

enum class Operation { Read, Write, Save, Check, Restore };
const char* OperationName(Operation op);

struct Author {
    std::string name, email;
};

struct DeviceFile {
    std::string path;  // in the repository, see device_key.h
    std::string json;  // SettingsJson
    std::string name;  // the device's name (UTF-8), for the message
};

struct CommitInfo {
    Operation operation = Operation::Read;
    std::string port;                    // empty: none (a save)
    std::string program;                 // e.g. "corvix-cli 1.1.11"
    std::string host;                    // empty: this machine's name
    std::optional<Author> author;        // empty: git's user.name/user.email, else the OS user
};

struct CommitResult {
    bool ok = false;
    std::string rev;      // the new commit; empty when nothing was recorded (a save without changes)
    std::string error;    // why not, when !ok
    std::string warning;  // recorded, but the working folder could not be brought up to date
};

// One recorded state of a device.
struct State {
    std::string rev;
    int64_t time = 0;        // seconds since the epoch
    int offsetMinutes = 0;   // the recorder's UTC offset
    std::string operation;   // read, write, save, check, restore
    std::string user, email;
    std::string port;
    int changed = 0;  // fields changed against the state before
    bool baseline = false;
};

// "2026-12-09T06:10:00+08:00"
std::string IsoTime(int64_t time, int offsetMinutes);

class Repository {
  public:
    ~Repository();
    Repository(const Repository&) = delete;
    Repository& operator=(const Repository&) = delete;

    // Opens the repository in `dir`; with `create`, makes the folder and an empty repository
    // when there is none. Null with `error` set otherwise.
    static std::unique_ptr<Repository> Open(const std::string& dir, bool create, std::string& error);

    // Records the device files in one commit. A save leaves out files that did not change
    // (and records nothing when none did); a read lists them with 0 changed fields.
    CommitResult Record(const std::vector<DeviceFile>& files, const CommitInfo& info);

    // The states of the device file at `path`, newest first.
    std::optional<std::vector<State>> States(const std::string& path, std::string& error);
    // The state `rev` (any revision git understands) of `path`, with the file's text.
    std::optional<std::pair<State, std::string>> StateAt(const std::string& rev, const std::string& path,
                                                         std::string& error);
    // The newest recorded text of `path`; nullopt when none.
    std::optional<std::string> Latest(const std::string& path);

    std::optional<std::string> Baseline(const std::string& path);
    bool SetBaseline(const std::string& path, const std::string& rev, std::string& error);

    // A project folder under projects/ whose files for the given slots hold exactly the given
    // texts; nullopt when none does.
    std::optional<std::string> FindProject(const std::vector<std::pair<int, std::string>>& slotTexts);

    // Milliseconds a writer waits for another one before giving up.
    static constexpr int LockWaitMs = 1000;

  private:
    explicit Repository(git_repository* repo);
    git_repository* repo_;
};

}  // namespace corvix::history
