// SPDX-License-Identifier: Apache-2.0
// corvix-cli and the settings history: --history DIR and --no-history (taken out of the
// arguments of every command that records or reads the history), and the recorder the device
// and project commands call after an operation has succeeded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "history/recorder.h"
#include "model/record.h"

namespace corvix::cli {

struct HistoryOptions {
    std::string folder;  // --history; empty: CORVIX_HISTORY or the default folder
    bool off = false;    // --no-history
};

// The options of this run, set once by main.
HistoryOptions& CliHistoryOptions();
// Takes --history DIR, --history=DIR and --no-history out of `args`; a usage error in `error`.
std::vector<std::string> TakeHistoryOptions(const std::vector<std::string>& args, HistoryOptions& out,
                                            std::string& error);

// Help text of the options, for the usage of every command that takes them.
extern const char* const kHistoryOptionsHelp;

// The recording of one command: identifies the project when it is loaded and records what the
// command did. A failing history prints one warning line to stderr and nothing else.
class CliRecording {
  public:
    explicit CliRecording(int language);
    // The project as loaded from `file` (before the command changed it).
    void Loaded(const ProjectBlock& asLoaded, const std::string& file);
    // A project made new in `file`: a new identity, whatever was there before.
    void Created(const std::string& file);
    // A read of the devices `slots` (or, with Operation::Write, a write of them); `port` names
    // every port used, comma-separated.
    void Read(const ProjectBlock& block, const std::vector<int>& slots, const std::string& port,
              history::Operation operation = history::Operation::Read);
    void Written(const ProjectBlock& block, int slot, const std::string& port);
    void Saved(const ProjectBlock& block);
    // Device `slot` took a recorded state's settings, with the identity found before.
    void Restored(const ProjectBlock& block, const history::ProjectIdentity& identity, int slot);

  private:
    std::unique_ptr<history::Recorder> recorder_;
    history::ProjectIdentity identity_;
};

history::Settings CliHistorySettings();

}  // namespace corvix::cli
