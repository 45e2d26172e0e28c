// SPDX-License-Identifier: Apache-2.0
// The project document: the project block, selection, live data of the link, clipboards,
// language and the modified mark, plus the project commands. Plain C++; the GUI, the CLI
// and the tests plug in through IDocViews and IUserInterface.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/device_states.h"
#include "model/history.h"
#include "model/project_connections.h"
#include "model/record.h"
#include "model/version.h"

namespace corvix {

struct PageTarget;

enum NodeKind : int32_t {
    KindDeviceAddress = 129,
    KindPortB1 = 130,
    KindPortB2 = 131,
    KindSignalNames = 132,
    KindInputStatus = 133,
    KindCpuSupervision = 134,
    KindEventLog = 137,
    KindProject = 138,
    KindDeviceFirst = 139,  // 139 + device index
    KindDeviceLast = 158,
    KindConfiguration = 159,
    KindTimeSync = 162,
};

inline bool IsDeviceKind(int32_t code) { return code >= KindDeviceFirst && code <= KindDeviceLast; }

inline constexpr int LiveStatusSize = 253;

// What the document asks of its views (the tree and the parameter list). The Qt main
// window implements it; tests and the CLI supply fakes.
class IDocViews {
  public:
    virtual ~IDocViews() = default;
    // Rebuilds the tree from the document; selecting the first device must end in
    // CBrondaleDoc::SelectNode().
    virtual void RebuildTree() = 0;
    virtual void ShowPage() = 0;   // fill the list with the page of currentPage
    virtual void ClearPage() = 0;  // empty the list of all rows and columns
    virtual void UpdateAllViews() {}
    virtual void TitleChanged() {}  // document title changed
    // An undo or redo changed the project: show device `deviceIndex` (0-based, -1 for none)
    // and its page `page` (0 or a node code that is no page: the device itself).
    virtual void ShowChange(int deviceIndex, int32_t page) {
        (void)deviceIndex;
        (void)page;
        RebuildTree();
    }
};

// What went wrong in a project-file command. The front end decides what to say about it.
enum class ProjectProblem {
    CannotOpenFile,   // importing: the file cannot be opened or read
    FileFormatError,  // importing: not a project file
    OpenFileError,    // writing: the file cannot be created
    WriteFileError,   // writing: the write failed; the previous file is intact
};

// Dialogs, messages and the wait cursor.
class IUserInterface {
  public:
    virtual ~IUserInterface() = default;
    // Open-file dialog for a project (caption "Open", filters "mac Files(*.mac)" and
    // "All Files (*.*)", default extension mac). nullopt = cancelled. Paths are UTF-8/locale bytes.
    virtual std::optional<std::string> AskOpenProjectPath() = 0;
    // Save-file dialog (caption "Save As", same filters, confirms replacing a file).
    virtual std::optional<std::string> AskSaveProjectPath() = 0;
    // Name dialog (CNameDlg): initial and result texts are GBK bytes, at most 99 bytes.
    virtual std::optional<std::string> AskName(const std::string& initialGbk, int uiLanguage) = 0;
    // Information message box; texts are UTF-8.
    virtual void ShowMessage(const std::string& textUtf8, const std::string& captionUtf8) = 0;
    // A project command failed; said at the point of the failure, before the command ends.
    virtual void ReportProblem(ProjectProblem problem, int uiLanguage) = 0;
    virtual void SetBusy(bool busy) = 0;
};

enum class FileError { None, CannotOpen, BadMagic, BadSize, CannotWrite };

// Reads a whole project file into `out` (only on success; on failure `out` is untouched).
FileError ReadProjectFile(const std::string& path, ProjectBlock& out);
// Writes magic + block as ProjectFileWriter does (project_file.h): never a half-written file
// where that can be avoided.
FileError WriteProjectFileAtomic(const std::string& path, const ProjectBlock& block);

class CBrondaleDoc {
  public:
    CBrondaleDoc();
    CBrondaleDoc(const CBrondaleDoc&) = delete;
    CBrondaleDoc& operator=(const CBrondaleDoc&) = delete;

    void SetViews(IDocViews* views) { views_ = views; }
    void SetUserInterface(IUserInterface* ui) { ui_ = ui; }
    IDocViews* Views() const { return views_; }
    IUserInterface* UserInterface() const { return ui_; }

    // ---- project commands ----
    // What a command that may write or read a file achieved (its messages are already shown).
    enum class FileOutcome { Done, Cancelled, Failed };
    void NewProject();
    FileOutcome ImportProject();                      // asks for the path, then ImportProjectFrom
    bool ImportProjectFrom(const std::string& path);  // Ctrl+O / command line / tests
    FileOutcome ExportProject();
    FileOutcome SaveProject();
    bool WriteProjectFile(const std::string& path);  // messages on failure

    // ---- change marks ----
    // `modified` enables Save Project. Independently, every change to the project (edits,
    // tree and list commands, reads from a device) marks it as holding unsaved changes, and
    // only a successful write of the project file (or an undo back to it) clears that; closing
    // asks on it. Each mark ends a user action: what changed since the last one becomes a
    // step of the history, named by `kind`. Calls with the same non-zero `mergeKey` in a row
    // make one step (the keystrokes of one cell edit).
    void MarkModified(StepKind kind = StepKind::Change, uint64_t mergeKey = 0) {
        modified = 1;
        RecordStep(kind, false, mergeKey);
    }
    // `perDevice`: an operation over several devices becomes one step per device.
    void MarkUnsavedChanges(StepKind kind = StepKind::Change, bool perDevice = false) {
        RecordStep(kind, perDevice, 0);
    }
    // A change that is part of a longer action (a multi-part read): the step is recorded by
    // the mark at its end.
    void MarkPartialChange() { unsavedChanges_ = true; }
    bool HasUnsavedChanges() const { return unsavedChanges_ && project && project->projectOpen != 0; }

    // ---- undo and redo ----
    bool CanUndo() const;
    bool CanRedo() const;
    // What Undo / Redo would do, in the interface language (UTF-8); empty when nothing.
    std::string UndoLabel() const;
    std::string RedoLabel() const;
    // Takes the project back one step (or forward again), then shows the device and page of
    // the step; nullopt when there was nothing to do.
    std::optional<StepInfo> Undo();
    std::optional<StepInfo> Redo();
    // The next change starts a step of its own (a cell editor opened anew).
    void SealStep() { history_->Seal(); }
    const ProjectHistory& History() const { return *history_; }
    // Only for measuring: how much memory the history may keep.
    void SetHistoryBudget(std::size_t bytes) { history_->SetBudget(bytes); }
    // What each device held when its configuration was last read or written in this session.
    DeviceStates& DeviceState() { return *deviceStates_; }
    const DeviceStates& DeviceState() const { return *deviceStates_; }

    // ---- tree: selection and device commands (caret = item data of the caret node) ----
    // Selection change: `selectedCode` is the new node's code, `deviceCode` the nearest
    // ancestor-or-self device code (or 138 / -1 when there is none).
    void SelectNode(int32_t selectedCode, int32_t deviceCode);
    void RenameProject();
    void AddDevice();
    void CopyDevice(int32_t caretCode);
    void DeleteDevice(int32_t caretCode);
    void CutDevice(int32_t caretCode);
    void PasteBeforeDevice(int32_t caretCode);
    void PasteAfterLastDevice();
    void RenameDevice(int32_t caretCode);
    bool CanAddDevice() const;
    // A device command's device (the caret node's code): it becomes the current device, its
    // code and its record together.
    void TakeDevice(int32_t deviceCode);
    bool CanPasteDevice() const;

    // ---- signal-name list commands (rows in any order; used ascending) ----
    void CopySignals(const std::vector<int>& selectedRows);
    void DeleteSignals(const std::vector<int>& selectedRows);
    void CutSignals(const std::vector<int>& selectedRows);
    void PasteSignals(const std::vector<int>& selectedRows);
    void AddSignalItem(const std::vector<int>& selectedRows);
    // Makes `namesGbk` (at most 72, each checked by the sheet reader) the names and count of
    // device `deviceIndex`, as one change of the project. False when there is no such device.
    bool SetSignalNames(int deviceIndex, const std::vector<std::string>& namesGbk);

    // ---- state ----
    ProjectBlock& Project() { return *project; }
    const ProjectBlock& Project() const { return *project; }
    bool ProjectOpen() const { return project->projectOpen != 0; }
    const std::string& ProjectPath() const { return projectPath; }
    // The file Save Project writes to without asking.
    void SetProjectPath(std::string path) { projectPath = std::move(path); }
    const std::string& Title() const { return title; }
    // The window names a project that came from a device instead of a file.
    void SetTitleText(std::string t) { title = std::move(t); }
    int32_t CurrentPage() const { return currentPage; }
    // Nothing selected any more: no page is shown (the current record stays as it was).
    void ForgetPage() { currentPage = 0; }
    int32_t CurrentDeviceId() const { return currentDeviceId; }
    DeviceRecord& CurrentDevice() { return *currentDevice; }
    const DeviceRecord& CurrentDevice() const { return *currentDevice; }
    int32_t Language() const { return uiLanguage; }
    void SetLanguage(int32_t language) { uiLanguage = language; }
    int32_t DateOrder() const { return dateFormat; }
    void SetDateOrder(int32_t order) { dateFormat = order; }
    bool Modified() const { return modified != 0; }
    // Save Project's enabling only; the unsaved-changes mark is not touched.
    void SetModified(bool on) { modified = on ? 1 : 0; }
    const uint8_t* LiveStatus() const { return liveStatus; }
    void SetLiveStatus(const uint8_t* bytes, size_t count);
    const int8_t* FirmwareVersion() const { return firmwareVersion; }
    void SetFirmwareVersion(const uint8_t version[3]) {
        for (int i = 0; i < 3; ++i) firmwareVersion[i] = static_cast<int8_t>(version[i]);
    }
    const int8_t* ProgramVersion() const { return programVersion; }
    int32_t CpuFailureTest() const { return cpuFailureTest; }
    void SetCpuFailureTest(int32_t state) { cpuFailureTest = state; }
    int SignalClipboardCount() const { return signalClipboardCount; }
    const char* SignalClipboardName(int i) const { return signalClipboard[i]; }
    bool DeviceClipboardFull() const { return deviceClipboardFull != 0; }
    DeviceRecord& Device(int index) { return project->devices[index]; }
    // The per-device connections kept beside the project file (read with it, written with it).
    ProjectConnections& Connections() { return connections_; }
    const ProjectConnections& Connections() const { return connections_; }
    // Where the list's edits go: the current record and the output-test choice.
    PageTarget EditTarget();

  private:
    int32_t currentPage = 0;
    int32_t currentDeviceId = -1;
    std::string projectPath;
    DeviceRecord* currentDevice;  // never null: the scratch record before any selection
    uint8_t liveStatus[LiveStatusSize] = {};
    uint16_t signalClipboardCount = 0;
    char signalClipboard[MaxSignalNames][SignalNameSize] = {};
    std::unique_ptr<DeviceRecord> deviceClipboard;
    int32_t deviceClipboardFull = 0;
    int32_t cpuFailureTest = 0;
    std::unique_ptr<ProjectBlock> project;  // zero at start: projectOpen 0
    int32_t dateFormat = DateChina;
    int8_t firmwareVersion[3] = {};
    int8_t programVersion[3] = {CORVIX_VERSION_MAJOR, CORVIX_VERSION_MINOR, CORVIX_VERSION_PATCH};
    int32_t uiLanguage = LangChinese;
    uint8_t modified = 0;
    std::string title = "Corvix";  // document title (UTF-8)


    void SetTitle(std::string t);
    void Report(ProjectProblem problem);
    // RebuildTree after a change of the device list; without views, selects device 0 itself.
    void RebuildAfterListChange();
    void SetBusy(bool busy);

    std::unique_ptr<DeviceRecord> scratch_;
    std::unique_ptr<ProjectHistory> history_;
    std::unique_ptr<DeviceStates> deviceStates_ = std::make_unique<DeviceStates>();
    bool unsavedChanges_ = false;

    void RecordStep(StepKind kind, bool perDevice, uint64_t mergeKey);
    // The connections file beside `path`: read after an import (a file that cannot be used is
    // said, and the project opens with every device on the common port), written after a save.
    void LoadConnections(const std::string& path);
    void SaveConnections(const std::string& path);
    ProjectConnections connections_;
    // Records a change made without a mark, so the history matches the project.
    void FlushUnrecorded();
    void ProjectSaved();
    std::optional<StepInfo> AfterHistoryMove(std::optional<StepInfo> info);
    bool RemoveDevice(int32_t caretCode);
    void RemoveSignals(const std::vector<int>& selectedRows);
    IDocViews* views_ = nullptr;
    IUserInterface* ui_ = nullptr;
};

}  // namespace corvix
