// SPDX-License-Identifier: Apache-2.0
#include "cli/history_options.h"

#include <cstdio>

#include "history/device_key.h"
#include "model/texts_githistory.h"
#include "model/version.h"

namespace corvix::cli {

const char* const kHistoryOptionsHelp =
    "history options (every command that records, and every history command):\n"
    "  --history DIR               the history repository (default: $CORVIX_HISTORY, else\n"
    "                              $XDG_DATA_HOME/Corvix/history, made on first use)\n"
    "  --no-history                record nothing\n";

HistoryOptions& CliHistoryOptions() {
    static HistoryOptions options;
    return options;
}

std::vector<std::string> TakeHistoryOptions(const std::vector<std::string>& args, HistoryOptions& out,
                                            std::string& error) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--no-history") {
            out.off = true;
        } else if (a.rfind("--history=", 0) == 0) {
            out.folder = a.substr(10);
            if (out.folder.empty()) error = "--history needs a folder";
        } else if (a == "--history") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                error = "--history needs a folder";
            else
                out.folder = args[++i];
        } else {
            rest.push_back(a);
        }
    }
    return rest;
}

history::Settings CliHistorySettings() {
    history::Settings s;
    s.enabled = !CliHistoryOptions().off;
    s.folder = CliHistoryOptions().folder;
    s.program = std::string("corvix-cli ") + CORVIX_VERSION_STRING;
    return s;
}

CliRecording::CliRecording(int language) {
    recorder_ = std::make_unique<history::Recorder>(CliHistorySettings());
    recorder_->onWarning = [language](const std::string& reason) {
        std::fprintf(stderr, "corvix-cli: ");
        std::fprintf(stderr, Pick(txt::GitHistoryNotRecorded, language), reason.c_str());
        std::fprintf(stderr, "\n");
        std::fflush(stderr);
    };
}

void CliRecording::Loaded(const ProjectBlock& asLoaded, const std::string& file) {
    if (recorder_->Enabled()) identity_ = recorder_->Identify(asLoaded, file, true);
}

void CliRecording::Created(const std::string& file) {
    if (!recorder_->Enabled()) return;
    identity_ = {file, history::NewProjectId()};
    history::WriteSidecar(file, identity_.id);
}

void CliRecording::Read(const ProjectBlock& block, const std::vector<int>& slots, const std::string& port,
                        history::Operation operation) {
    recorder_->RecordRead(block, slots, identity_, port, operation);
}

void CliRecording::Written(const ProjectBlock& block, int slot, const std::string& port) {
    recorder_->RecordWrite(block, slot, identity_, port);
}

void CliRecording::Saved(const ProjectBlock& block) { recorder_->RecordSave(block, identity_); }

void CliRecording::Restored(const ProjectBlock& block, const history::ProjectIdentity& identity, int slot) {
    recorder_->RecordRestore(block, slot, identity);
}

}  // namespace corvix::cli
