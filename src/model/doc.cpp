// SPDX-License-Identifier: Apache-2.0
#include "model/doc.h"

#include <algorithm>
#include <cstring>

#include "model/gbk.h"
#include "model/pages.h"
#include "model/project_file.h"
#include "model/signal_sheet.h"
#include "model/texts.h"

namespace corvix {
namespace {

bool ShowsPageOnSelection(int32_t code) {
    switch (code) {
        case KindDeviceAddress:
        case KindPortB1:
        case KindPortB2:
        case KindSignalNames:
        case KindInputStatus:
        case KindCpuSupervision:
        case KindEventLog:
        case KindTimeSync:
            return true;
        default:
            return false;
    }
}

bool ShowsPageAfterImport(int32_t code) {
    return code == KindDeviceAddress || code == KindPortB1 || code == KindPortB2 || code == KindSignalNames ||
           code == KindTimeSync;
}

std::string BaseName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Selected rows, ascending and each once.
std::vector<int> Ascending(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

}  // namespace

CBrondaleDoc::CBrondaleDoc()
    : deviceClipboard(std::make_unique<DeviceRecord>()),
      project(std::make_unique<ProjectBlock>()),
      scratch_(std::make_unique<DeviceRecord>()),
      history_(std::make_unique<ProjectHistory>()) {
    currentDevice = scratch_.get();
    history_->Reset(*project);
}

// ---- history ----

void CBrondaleDoc::RecordStep(StepKind kind, bool perDevice, uint64_t mergeKey) {
    StepInfo info;
    info.kind = kind;
    const DeviceRecord* first = project->devices;
    if (currentDevice >= first && currentDevice < first + MaxDevices) {
        info.device = static_cast<int>(currentDevice - first);
        info.page = currentPage;
    }
    history_->Record(*project, info, perDevice, mergeKey);
    deviceStates_->Follow(*project);
    // Marked even when nothing differs: the command was meant as a change.
    unsavedChanges_ = true;
}

void CBrondaleDoc::FlushUnrecorded() {
    if (history_->Matches(*project)) return;
    history_->Record(*project, StepInfo{});
    unsavedChanges_ = true;
}

void CBrondaleDoc::ProjectSaved() {
    unsavedChanges_ = false;
    history_->MarkSaved();
}

bool CBrondaleDoc::CanUndo() const { return history_->CanUndo() || !history_->Matches(*project); }

bool CBrondaleDoc::CanRedo() const { return history_->CanRedo() && history_->Matches(*project); }

std::string CBrondaleDoc::UndoLabel() const {
    if (!history_->Matches(*project)) return StepLabel(StepInfo{}, uiLanguage);
    const StepInfo* next = history_->NextUndo();
    return next != nullptr ? StepLabel(*next, uiLanguage) : std::string();
}

std::string CBrondaleDoc::RedoLabel() const {
    const StepInfo* next = CanRedo() ? history_->NextRedo() : nullptr;
    return next != nullptr ? StepLabel(*next, uiLanguage) : std::string();
}

std::optional<StepInfo> CBrondaleDoc::Undo() {
    FlushUnrecorded();
    return AfterHistoryMove(history_->Undo(*project));
}

std::optional<StepInfo> CBrondaleDoc::Redo() {
    FlushUnrecorded();
    return AfterHistoryMove(history_->Redo(*project));
}

std::optional<StepInfo> CBrondaleDoc::AfterHistoryMove(std::optional<StepInfo> info) {
    if (!info) return info;
    deviceStates_->Follow(*project);
    unsavedChanges_ = !history_->AtSaved();
    if (unsavedChanges_) modified = 1;
    const int count = project->DeviceCountClamped();
    int device = info->device;
    if (device >= count) device = count - 1;  // the step's device is gone again
    if (device >= 0) TakeDevice(KindDeviceFirst + device);
    if (views_ != nullptr)
        views_->ShowChange(device, device == info->device ? info->page : 0);
    else if (device >= 0)
        SelectNode(KindDeviceFirst + device, KindDeviceFirst + device);
    return info;
}

void CBrondaleDoc::SetTitle(std::string t) {
    if (t == title) return;
    title = std::move(t);
    if (views_ != nullptr) views_->TitleChanged();
}

PageTarget CBrondaleDoc::EditTarget() { return {currentDevice, &cpuFailureTest}; }

void CBrondaleDoc::SetLiveStatus(const uint8_t* bytes, size_t count) {
    const size_t keep = std::min<size_t>(count, LiveStatusSize);
    if (keep > 0) std::memcpy(liveStatus, bytes, keep);
}

void CBrondaleDoc::Report(ProjectProblem problem) {
    if (ui_ != nullptr) ui_->ReportProblem(problem, uiLanguage);
}

void CBrondaleDoc::RebuildAfterListChange() {
    if (views_ != nullptr)
        views_->RebuildTree();
    else if (project->projectOpen != 0 && project->DeviceCountClamped() > 0)
        SelectNode(KindDeviceFirst, KindDeviceFirst);  // what the tree's rebuild would select
}

void CBrondaleDoc::TakeDevice(int32_t deviceCode) {
    if (!IsDeviceKind(deviceCode)) return;
    // The code and the record always name the same device.
    currentDeviceId = deviceCode;
    currentDevice = &project->devices[deviceCode - KindDeviceFirst];
}

void CBrondaleDoc::SetBusy(bool busy) {
    if (ui_ != nullptr) ui_->SetBusy(busy);
}

// ---- project commands ----

void CBrondaleDoc::NewProject() {
    ProjectBlock& p = *project;
    p.projectOpen = 1;
    CopyTextField(p.projectName, ProjectNameSize, Utf8ToGbk(Pick(txt::NewProjectName, uiLanguage)).c_str());
    p.deviceCount = 1;
    for (DeviceRecord& d : p.devices) {
        d.signalCount = 0;
        d.eventCount = 0;
    }
    InitialiseNewDevice(p.devices[0], Pick(txt::FirstDeviceName, uiLanguage), uiLanguage);
    projectPath.clear();
    connections_.Reset();
    modified = 1;
    unsavedChanges_ = false;  // nothing in a new project can be lost yet
    history_->Reset(*project);
    deviceStates_->Clear();
    SetTitle(txt::AppName);
    RebuildAfterListChange();
}

CBrondaleDoc::FileOutcome CBrondaleDoc::ImportProject() {
    if (ui_ == nullptr) return FileOutcome::Cancelled;
    std::optional<std::string> path = ui_->AskOpenProjectPath();
    if (!path) return FileOutcome::Cancelled;
    return ImportProjectFrom(*path) ? FileOutcome::Done : FileOutcome::Failed;
}

bool CBrondaleDoc::ImportProjectFrom(const std::string& path) {
    ProjectFileReader reader;
    if (reader.Open(path) != FileError::None) {
        Report(ProjectProblem::CannotOpenFile);
        return false;
    }
    // Read into a separate block so that a refused file leaves the project as it was.
    auto incoming = std::make_unique<ProjectBlock>();
    SetBusy(true);
    FileError err = reader.ReadInto(*incoming);
    if (err != FileError::None) {
        if (err == FileError::CannotOpen)
            Report(ProjectProblem::CannotOpenFile);
        else
            Report(ProjectProblem::FileFormatError);
        SetBusy(false);
        return false;
    }
    *project = *incoming;
    history_->Reset(*project);
    deviceStates_->Clear();
    SetBusy(false);

    projectPath = path;
    LoadConnections(path);
    SetTitle(std::string(txt::AppName) + "-" + path);
    if (views_ != nullptr) views_->UpdateAllViews();
    RebuildAfterListChange();
    if (views_ != nullptr) {
        if (ShowsPageAfterImport(currentPage))
            views_->ShowPage();
        else
            views_->ClearPage();
    }
    modified = 0;
    unsavedChanges_ = false;
    return true;
}

CBrondaleDoc::FileOutcome CBrondaleDoc::ExportProject() {
    if (ui_ == nullptr) return FileOutcome::Cancelled;
    std::optional<std::string> path = ui_->AskSaveProjectPath();
    if (!path) return FileOutcome::Cancelled;
    if (!WriteProjectFile(*path)) return FileOutcome::Failed;
    projectPath = *path;
    SetTitle(BaseName(*path));
    if (views_ != nullptr) views_->UpdateAllViews();
    return FileOutcome::Done;
}

CBrondaleDoc::FileOutcome CBrondaleDoc::SaveProject() {
    FileOutcome outcome = FileOutcome::Failed;
    bool opened = false;
    FlushUnrecorded();
    if (!projectPath.empty()) {
        ProjectFileWriter writer;
        if (writer.Open(projectPath) == FileError::None) {
            opened = true;
            SetBusy(true);
            const FileError err = writer.Commit(*project);
            SetBusy(false);
            // The file could be opened, so this is not a missing path: say that the write
            // failed (the previous file is intact) instead of offering Save As unexplained.
            if (err != FileError::None) {
                Report(ProjectProblem::WriteFileError);
            } else {
                ProjectSaved();
                SaveConnections(projectPath);
            }
            outcome = err == FileError::None ? FileOutcome::Done : FileOutcome::Failed;
        }
    }
    if (!opened) outcome = ExportProject();  // no message of its own: the Save As dialog follows
    // Save Project goes off whatever happened; the unsaved mark still tells the truth.
    modified = 0;
    return outcome;
}

bool CBrondaleDoc::WriteProjectFile(const std::string& path) {
    ProjectFileWriter writer;
    if (writer.Open(path) != FileError::None) {
        Report(ProjectProblem::OpenFileError);
        return false;
    }
    FlushUnrecorded();
    SetBusy(true);
    FileError err = writer.Commit(*project);
    SetBusy(false);
    if (err != FileError::None) {
        Report(ProjectProblem::WriteFileError);
        return false;
    }
    ProjectSaved();
    SaveConnections(path);
    return true;
}

// ---- tree ----

void CBrondaleDoc::SelectNode(int32_t selectedCode, int32_t deviceCode) {
    currentPage = selectedCode;
    if (selectedCode != KindProject && IsDeviceKind(deviceCode)) {
        TakeDevice(deviceCode);
    }
    if (views_ != nullptr) {
        if (ShowsPageOnSelection(currentPage))
            views_->ShowPage();
        else
            views_->ClearPage();
    }
}

void CBrondaleDoc::RenameProject() {
    if (ui_ != nullptr) {
        std::optional<std::string> name =
            ui_->AskName(FieldText(project->projectName, ProjectNameSize), uiLanguage);
        if (name) CopyTextField(project->projectName, ProjectNameSize, name->c_str());
    }
    MarkModified(StepKind::RenameProject);
}

void CBrondaleDoc::AddDevice() {
    std::optional<std::string> name;
    if (ui_ != nullptr) name = ui_->AskName(std::string(), uiLanguage);
    const int count = project->DeviceCountClamped();
    if (name && count < MaxDevices) {
        InitialiseNewDevice(project->devices[count], name->c_str(), uiLanguage);
        project->deviceCount = count + 1;
        RebuildAfterListChange();
    }
    MarkModified(StepKind::AddDevice);
}

void CBrondaleDoc::CopyDevice(int32_t caretCode) {
    if (!IsDeviceKind(caretCode)) return;
    TakeDevice(caretCode);
    *deviceClipboard = project->devices[caretCode - KindDeviceFirst];
    deviceClipboardFull = 1;
}

void CBrondaleDoc::DeleteDevice(int32_t caretCode) {
    if (RemoveDevice(caretCode)) MarkModified(StepKind::DeleteDevice);
}

bool CBrondaleDoc::RemoveDevice(int32_t caretCode) {
    if (!IsDeviceKind(caretCode)) return false;
    TakeDevice(caretCode);
    const int k = caretCode - KindDeviceFirst;
    const int count = project->DeviceCountClamped();
    if (k >= count - 1) {
        project->deviceCount = std::max(count - 1, 0);
    } else {
        for (int i = k + 1; i < count; ++i) project->devices[i - 1] = project->devices[i];
        project->deviceCount = count - 1;
    }
    RebuildAfterListChange();
    return true;
}

void CBrondaleDoc::CutDevice(int32_t caretCode) {
    CopyDevice(caretCode);
    RemoveDevice(caretCode);
    MarkModified(StepKind::CutDevice);
}

void CBrondaleDoc::PasteBeforeDevice(int32_t caretCode) {
    if (deviceClipboardFull == 0 || !IsDeviceKind(caretCode)) return;
    TakeDevice(caretCode);
    const int count = project->DeviceCountClamped();
    const int k = caretCode - KindDeviceFirst;
    if (count >= MaxDevices || k > count) return;  // a caret past the list has no place to paste
    for (int i = count - 1; i >= k; --i) project->devices[i + 1] = project->devices[i];
    project->devices[k] = *deviceClipboard;
    project->deviceCount = count + 1;
    RebuildAfterListChange();
    MarkModified(StepKind::PasteDevice);
}

void CBrondaleDoc::PasteAfterLastDevice() {
    // The menu offers this only with a device on the clipboard; never paste an empty record.
    if (deviceClipboardFull == 0) return;
    const int count = project->DeviceCountClamped();
    if (count >= MaxDevices) return;
    project->devices[count] = *deviceClipboard;
    project->deviceCount = count + 1;
    RebuildAfterListChange();
    MarkModified(StepKind::PasteDevice);
}

void CBrondaleDoc::RenameDevice(int32_t caretCode) {
    if (!IsDeviceKind(caretCode)) return;
    TakeDevice(caretCode);
    DeviceRecord& d = project->devices[caretCode - KindDeviceFirst];
    if (ui_ != nullptr) {
        std::optional<std::string> name = ui_->AskName(FieldText(d.name, DeviceNameSize), uiLanguage);
        if (name) CopyTextField(d.name, DeviceNameSize, name->c_str());
    }
    MarkModified(StepKind::RenameDevice);
}

bool CBrondaleDoc::CanAddDevice() const { return project->DeviceCountClamped() < MaxDevices; }

bool CBrondaleDoc::CanPasteDevice() const { return CanAddDevice() && deviceClipboardFull != 0; }

// ---- signal names of the current device ----

void CBrondaleDoc::CopySignals(const std::vector<int>& selectedRows) {
    signalClipboardCount = 0;
    const int count = currentDevice->SignalCountClamped();
    for (int row : Ascending(selectedRows)) {
        if (row < 0 || row >= count || signalClipboardCount >= MaxSignalNames) continue;
        std::string text = FieldText(currentDevice->signalNames[row], SignalNameSize);
        CopyTextField(signalClipboard[signalClipboardCount], SignalNameSize, text.c_str());
        ++signalClipboardCount;
    }
}

void CBrondaleDoc::DeleteSignals(const std::vector<int>& selectedRows) {
    RemoveSignals(selectedRows);
    MarkModified(StepKind::DeleteSignals);
}

void CBrondaleDoc::RemoveSignals(const std::vector<int>& selectedRows) {
    int removed = 0;
    for (int row : Ascending(selectedRows)) {
        const int before = currentDevice->SignalCountClamped();
        RemoveSignalName(*currentDevice, row - removed);
        if (currentDevice->SignalCountClamped() != before) ++removed;
    }
}

void CBrondaleDoc::CutSignals(const std::vector<int>& selectedRows) {
    CopySignals(selectedRows);
    RemoveSignals(selectedRows);
    MarkModified(StepKind::CutSignals);
}

void CBrondaleDoc::PasteSignals(const std::vector<int>& selectedRows) {
    const int entries = std::min<int>(signalClipboardCount, MaxSignalNames);
    std::vector<int> rows = Ascending(selectedRows);
    for (int j = 0; j < entries; ++j) {
        std::string text = FieldText(signalClipboard[j], SignalNameSize);
        const int position = rows.empty() ? currentDevice->SignalCountClamped() : rows.front() + j;
        InsertSignalName(*currentDevice, position, text.c_str());
    }
    MarkModified(StepKind::PasteSignals);
}

void CBrondaleDoc::AddSignalItem(const std::vector<int>& selectedRows) {
    std::vector<int> rows = Ascending(selectedRows);
    const int position = rows.empty() ? currentDevice->SignalCountClamped() : rows.front();
    InsertSignalName(*currentDevice, position, " ");
    MarkModified(StepKind::AddSignal);
}

bool CBrondaleDoc::SetSignalNames(int deviceIndex, const std::vector<std::string>& namesGbk) {
    if (!ProjectOpen() || deviceIndex < 0 || deviceIndex >= project->DeviceCountClamped()) return false;
    ApplySignalNames(project->devices[deviceIndex], namesGbk);
    // The imported device is the one to show, whichever is current.
    StepInfo info{StepKind::ImportSignalNames, deviceIndex, KindSignalNames, {}};
    history_->Record(*project, info);
    modified = 1;
    unsavedChanges_ = true;
    return true;
}

}  // namespace corvix
