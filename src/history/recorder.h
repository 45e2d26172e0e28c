// SPDX-License-Identifier: Apache-2.0
// What a front end calls when the document reports a device read, a device written or a
// project saved. The recorder finds each device's file (device_key.h), commits it, and never
// lets a failing history fail the operation: it says why once, through onWarning, and goes on.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/repository.h"
#include "model/record.h"

namespace corvix::history {

struct Settings {
    bool enabled = true;
    std::string folder;  // empty: DefaultFolder()
    std::optional<Author> author;
    std::string program;  // e.g. "corvix-cli 1.1.11"
};

// $CORVIX_HISTORY, else $XDG_DATA_HOME/Corvix/history, else ~/.local/share/Corvix/history.
std::string DefaultFolder();

// Which project a file is, for the devices that have no serial number.
struct ProjectIdentity {
    std::string projectFile;
    std::string id;  // empty: none known (nothing recorded for this project yet)
};

class Recorder {
  public:
    explicit Recorder(Settings settings);
    ~Recorder();

    bool Enabled() const { return settings_.enabled; }
    const std::string& Folder() const { return folder_; }

    // The project's identity from the file as it was loaded: the id beside it, else the
    // recorded project whose files equal its devices, else (with `create`) a new id, which is
    // kept beside the file.
    ProjectIdentity Identify(const ProjectBlock& asLoaded, const std::string& projectFile, bool create);
    // The file of device `slot` in the repository.
    static std::string DevicePath(const ProjectBlock& block, int slot, const ProjectIdentity& identity);

    // Record; each returns the new commit id, empty when nothing was recorded or it failed.
    std::string RecordRead(const ProjectBlock& block, const std::vector<int>& slots, const ProjectIdentity& identity,
                           const std::string& port, Operation operation = Operation::Read);
    std::string RecordWrite(const ProjectBlock& block, int slot, const ProjectIdentity& identity,
                            const std::string& port);
    std::string RecordSave(const ProjectBlock& block, const ProjectIdentity& identity);
    std::string RecordRestore(const ProjectBlock& block, int slot, const ProjectIdentity& identity);

    // The repository, opened (and, with `create`, made) on first use; null when it cannot be,
    // with the reason in LastError().
    Repository* Repo(bool create);
    const std::string& LastError() const { return lastError_; }

    // Called at most once per recorder, with the reason in English.
    std::function<void(const std::string& reason)> onWarning;

  private:
    std::string Record(const ProjectBlock& block, const std::vector<int>& slots, const ProjectIdentity& identity,
                       const std::string& port, Operation operation);
    void Warn(const std::string& reason);

    Settings settings_;
    std::string folder_;
    std::unique_ptr<Repository> repo_;
    bool openFailed_ = false;
    bool warned_ = false;
    std::string lastError_;
};

}  // namespace corvix::history
