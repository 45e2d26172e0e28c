// SPDX-License-Identifier: Apache-2.0
#include "history/recorder.h"

#include <cstdlib>

#include "history/device_key.h"
#include "model/gbk.h"

namespace corvix::history {

std::string DefaultFolder() {
    if (const char* env = std::getenv("CORVIX_HISTORY"); env != nullptr && *env != '\0') return env;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/')
        return std::string(xdg) + "/Corvix/history";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share/Corvix/history";
}

Recorder::Recorder(Settings settings) : settings_(std::move(settings)) {
    folder_ = settings_.folder.empty() ? DefaultFolder() : settings_.folder;
}

Recorder::~Recorder() = default;

Repository* Recorder::Repo(bool create) {
    if (repo_) return repo_.get();
    if (openFailed_ && create) return nullptr;
    repo_ = Repository::Open(folder_, create, lastError_);
    if (!repo_ && create) openFailed_ = true;
    return repo_.get();
}

namespace {

// A device is kept under its type and serial number unless another device of the project
// carries the same ones (a copied device whose service data was left as it was): one file for
// both would mix their histories, so each keeps its project slot's file instead.
std::string UniqueSerialPath(const ProjectBlock& block, int slot) {
    std::string path = SerialPath(block.devices[slot]);
    if (path.empty()) return path;
    for (int other = 0; other < block.DeviceCountClamped(); ++other)
        if (other != slot && SerialPath(block.devices[other]) == path) return "";
    return path;
}

}  // namespace

void Recorder::Warn(const std::string& reason) {
    lastError_ = reason;
    if (warned_) return;
    warned_ = true;
    if (onWarning) onWarning(reason);
}

ProjectIdentity Recorder::Identify(const ProjectBlock& asLoaded, const std::string& projectFile, bool create) {
    ProjectIdentity identity{projectFile, ""};
    if (!settings_.enabled && create) return identity;
    if (std::optional<std::string> id = ReadSidecar(projectFile)) {
        identity.id = *id;
        return identity;
    }
    std::vector<std::pair<int, std::string>> texts;
    for (int slot = 0; slot < asLoaded.DeviceCountClamped(); ++slot)
        if (UniqueSerialPath(asLoaded, slot).empty()) texts.emplace_back(slot, SettingsJson(asLoaded.devices[slot], slot));
    if (Repository* repo = Repo(false)) {
        if (std::optional<std::string> found = repo->FindProject(texts)) identity.id = *found;
    }
    if (identity.id.empty() && create) identity.id = NewProjectId();
    // Kept beside the file so the next run need not search; when it cannot be written, the
    // content still finds the project after a save.
    if (!identity.id.empty() && create) WriteSidecar(projectFile, identity.id);
    return identity;
}

std::string Recorder::DevicePath(const ProjectBlock& block, int slot, const ProjectIdentity& identity) {
    std::string path = UniqueSerialPath(block, slot);
    if (!path.empty()) return path;
    if (identity.id.empty()) return "";
    return ProjectDevicePath(identity.id, slot);
}

std::string Recorder::Record(const ProjectBlock& block, const std::vector<int>& slots, const ProjectIdentity& identity,
                             const std::string& port, Operation operation) {
    if (!settings_.enabled || slots.empty()) return "";
    Repository* repo = Repo(true);
    if (repo == nullptr) {
        Warn(lastError_);
        return "";
    }
    std::vector<DeviceFile> files;
    for (int slot : slots) {
        if (slot < 0 || slot >= MaxDevices) continue;
        const DeviceRecord& rec = block.devices[slot];
        const std::string path = DevicePath(block, slot, identity);
        if (path.empty()) continue;
        const bool keyedBySerial = path == SerialPath(rec);
        files.push_back({path, SettingsJson(rec, keyedBySerial ? 0 : slot),
                         GbkToUtf8(FieldText(rec.name, DeviceNameSize))});
    }
    if (files.empty()) return "";
    CommitInfo info;
    info.operation = operation;
    info.port = port;
    info.program = settings_.program;
    info.author = settings_.author;
    const CommitResult result = repo->Record(files, info);
    if (!result.ok) {
        Warn(result.error);
        return "";
    }
    if (!result.warning.empty()) Warn(result.warning);
    return result.rev;
}

std::string Recorder::RecordRead(const ProjectBlock& block, const std::vector<int>& slots,
                                 const ProjectIdentity& identity, const std::string& port, Operation operation) {
    return Record(block, slots, identity, port, operation);
}

std::string Recorder::RecordWrite(const ProjectBlock& block, int slot, const ProjectIdentity& identity,
                                  const std::string& port) {
    return Record(block, {slot}, identity, port, Operation::Write);
}

std::string Recorder::RecordSave(const ProjectBlock& block, const ProjectIdentity& identity) {
    std::vector<int> slots;
    for (int slot = 0; slot < block.DeviceCountClamped(); ++slot) slots.push_back(slot);
    return Record(block, slots, identity, "", Operation::Save);
}

std::string Recorder::RecordRestore(const ProjectBlock& block, int slot, const ProjectIdentity& identity) {
    return Record(block, {slot}, identity, "", Operation::Restore);
}

}  // namespace corvix::history
