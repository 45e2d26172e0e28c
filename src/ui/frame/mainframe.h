// SPDX-License-Identifier: Apache-2.0
// The main window: project tree and parameter list side by side, tool bar, status bar with
// the link text, the communication bar, the menus in both languages and the device link
// session (serial link, protocol engine, timer schedule). It implements the document's views
// and turns the engine's results into what the user sees; the command algorithms live in the
// document and the engine.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/engine.h"
#include "link/link_session.h"
#include "link/project_ops.h"
#include "model/merged_events.h"
#include "model/doc.h"
#include "model/local_time.h"
#include "present/link_messages.h"
#include "ui/frame/recent_files.h"
#include "ui/qt_user_interface.h"

class QAction;
class QDialog;
class QLabel;
class QMenu;
class QSettings;
class QSplitter;
class QToolBar;
class CMacView;
class CMacListView;
class CCommInfoWnd;
namespace corvix::ui {
class LinkStatus;
class COpsWindow;
class CAllEventsWindow;
class CRecorderHost;
}

class CMainFrame : public QMainWindow, public corvix::IDocViews {
    Q_OBJECT
  public:
    enum Command {
        IdPcSerialPort = 32773,
        IdConnect = 32775,
        IdDisconnect = 32777,
        IdInternalClock = 32779,
        IdExit = 57665,
        IdNewProject = 32802,
        IdImportProject = 32793,
        IdExportProject = 32794,
        IdSaveProject = 57603,
        IdToolBar = 59392,
        IdStatusBar = 59393,
        IdConnectionBar = 32782,
        IdEventWindow = 32800,
        IdLanguage = 32826,
        IdContent = 32821,
        IdExportReport = 32840,
        IdCompareWithFile = 32841,
    };
    static constexpr int SecondIntervalMs = 1000;  // the window's own refresh
    static constexpr int StatusPaneWidth = 400;

    // `doc` and `ui` outlive the frame. `settings` (not owned) keeps the recent-file list and
    // the serial line; null keeps them in memory only.
    CMainFrame(corvix::CBrondaleDoc& doc, corvix::ui::IGuiUserInterface& ui, QSettings* settings = nullptr,
               QWidget* parent = nullptr);
    ~CMainFrame() override;

    // ---- IDocViews ----
    void RebuildTree() override;
    void ShowPage() override;
    void ClearPage() override;
    void UpdateAllViews() override;
    void TitleChanged() override;
    void ShowChange(int deviceIndex, int32_t page) override;  // mainframe_edit.cpp

    // ---- what the engine's results do on the screen ----
    void OnEngineResult(const corvix::EngineResult& result);
    void ShowMessage(const std::string& textUtf8, const std::string& captionUtf8);
    bool ClockWindowOpen() const;
    void ShowDeviceTime(const std::string& text);
    // A device-time reading: its text and the device's offset from the PC clock.
    void ShowDeviceTime(const corvix::ClockFields& time);
    // Step 1 of a new-events reply: create/show the event window by its rules.
    void ShowEventWindowForNewEvents();
    // Append text (UTF-8, "\r\n" line ends) to the event window and scroll to its last line;
    // with `event`, the window keeps the event with its text for Export CSV.
    void AppendEventText(const std::string& text, const corvix::EventRecord* event = nullptr);
    // A new event for the event window: its text, and kept by the window for its CSV export.
    void AppendEvent(const corvix::WireEvent& event);
    // Export CSV… of the event window: the events it lists.
    void ExportEventWindowCsv();

    // ---- commands ----
    QAction* Action(int command) const;
    // Runs a command as its menu item does (only when the item is enabled).
    void RunCommand(int command);
    // Enabling and check marks of every command, from the current state.
    void UpdateCommandStates();
    // One tick of timer 1, 2 or 3.
    void OnTimer(int id);
    // A project file named on the command line: imported like Import Project. False (after
    // the document's message) when it cannot be imported.
    bool ImportAtStart(const std::string& path);

    // ---- parts, for the program and for tests ----
    corvix::CBrondaleDoc& Doc() { return doc_; }
    corvix::ProtocolEngine& Engine() { return session_->Engine(); }
    corvix::CommLink& Link() { return session_->Link(); }
    corvix::LinkSession& Session() { return *session_; }
    CMacView* Tree() const { return tree_; }
    CMacListView* List() const { return list_; }
    CCommInfoWnd* CommBar() const { return commBar_; }
    QLabel* StatusPane() const { return statusPane_; }
    corvix::ui::LinkStatus& LinkState() const { return *linkStatus_; }
    QToolBar* ToolBar() const { return toolBar_; }
    QMenu* Menu(int index) const { return menus_.at(index); }  // 0 Device, 1 Project, 2 View, 3 Help
    // The Edit menu (shown between Project and View) and its undo and redo.
    QMenu* EditMenu() const { return editMenu_; }
    QAction* UndoAction() const { return undoAction_; }
    QAction* RedoAction() const { return redoAction_; }
    const corvix::ui::RecentFileList& RecentFiles() const { return recentFiles_; }
    bool TimersRunning() const;

    // ---- operations over several devices (mainframe_ops.cpp) ----
    // Opens the operations window for `kind` on the devices selected in the tree (all when
    // fewer than two are selected); Write asks first. Null when nothing was started.
    corvix::ui::COpsWindow* RunProjectOperation(corvix::ProjectOpKind kind);
    // Connection… of the device node `deviceCode` (-1: the current device).
    void OnDeviceConnection(int deviceCode = -1);
    QPointer<corvix::ui::COpsWindow> opsWindow;
    // All Events: the merged timeline of every device's stored events.
    void OnAllEvents();
    QPointer<corvix::ui::CAllEventsWindow> allEventsWindow;
    // Clock offsets the operations found (device slot -> ms the device is ahead).
    corvix::ClockOffsets clockOffsets;
    // How the Write confirmation is answered (empty: a message box); tests answer it in place.
    std::function<bool(const std::string&)> confirmWriteAll;

    // ---- windows and state of the dialog-backed commands ----
    int eventWindowVisible = 0;  // the event window is shown; check mark of 32800
    int autoShowEvents = 1;      // arriving events bring the event window up
    std::string eventText;       // the event window's text (UTF-8, "\r\n" line ends)
    QPointer<QWidget> clockWindow;
    QPointer<QWidget> eventWindow;
    QPointer<QWidget> compareWindow;
    // Where Export CSV… writes (empty: a save-file dialog); tests answer it in place.
    std::function<std::optional<std::string>()> askCsvPath;
    // How the dialog-backed commands run a modal dialog (empty: exec()); tests answer it in place.
    std::function<int(QDialog&)> runModal;
    // Where "PC Serial Port" gets the port list (empty: the system's serial ports).
    std::function<int(std::vector<std::string>&)> enumeratePorts;
    // Where the system's serial ports are looked for ("/"; tests use a hand-made tree).
    std::string portRoot = "/";
    // The PC's local time (clock window, setting the device clock).
    corvix::LocalClockFn localClock = corvix::SystemLocalTime;
    // Where Export Report writes (empty: the save dialog); the suffix .pdf makes a PDF, .xlsx
    // a workbook.
    std::function<std::optional<std::string>()> askReportPath;
    // The file Compare With File compares with (empty: the open dialog); tests answer it in place.
    std::function<std::optional<std::string>()> askComparePath;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();  // mainframe_toolbar.cpp
    void RetranslateToolBar();
    void CreateStatusBar();
    void RetranslateMenus();
    // In mainframe_edit.cpp:
    void CreateEditMenu();
    void RetranslateEditMenu();
    void OnUndoRedo(bool undo);
    void RefreshStatusText();
    void FitCommBar();
    void NoteRecentFile(corvix::CBrondaleDoc::FileOutcome outcome);
    void ShowMessages(const std::vector<corvix::UserMessage>& messages);
    void ArmLinkTimer();
    // Worker thread: queue `fn` to run on this window's thread.
    void PostFromWorker(std::function<void()> fn);
    void RunPosted();
    void RefreshInputStates();
    void FillEventLogPage();
    void FillCpuSupervisionPage();
    void DestroyAuxiliaryWindows();
    void ShutDownLink();

    // Command handlers.
    void OnConnect();
    void OnDisconnect();
    void OnNewProject();
    void OnImportProject();
    void OnExportProject();
    void OnSaveProject();
    void OnConnectionBar();
    void OnLanguage();
    // In mainframe_dialogs.cpp:
    void OnPcSerialPort();
    void OnInternalClock();
    void OnEventWindow();
    void OnContent();
    void OnServiceMode();
    // In mainframe_report.cpp:
    void OnExportReport();
    void RefreshClockWindow();  // timer 3: the clock window's PC-time box
    // In mainframe_ops.cpp: the Project menu's section for all devices.
    void CreateProjectOpsMenu();
    void RetranslateProjectOpsMenu();
    std::vector<corvix::DeviceTarget> OperationTargets() const;
    // The tree's device nodes take the names a Read All brought.
    void ShowDeviceNamesRead();
    // The link's new events of the current device join an open All Events window.
    void ShowNewEventsInAllEvents(const std::vector<corvix::WireEvent>& events);
    // The All Events window, when open, in the language just chosen.
    void RetranslateAllEvents();
    std::vector<QAction*> opsActions_;
    // In mainframe_records.cpp:
    void OnCompareWithDevice(int deviceCode);
    void NoteCompareResult(const corvix::EngineResult& result);
    // In mainframe_compare_file.cpp:
    void OnCompareWithFile();
    void ExportEventLogCsv();
    void WriteCsv(const std::string& csv);
    // In mainframe_history.cpp: reads, writes and saves recorded in the settings history.
    void InitHistory();
    void RecordInHistory(const corvix::EngineResult& result);
    void RecordOpsInHistory(corvix::ui::COpsWindow* window, corvix::ProjectOpKind kind);
    void OnHistorySettings();
    void RetranslateHistoryMenu();
    void OnGitHistory(int deviceCode);  // History… of a device
    corvix::ui::CRecorderHost* history_ = nullptr;  // a child of the window
    QAction* historySettings_ = nullptr;

    corvix::CBrondaleDoc& doc_;
    corvix::ui::IGuiUserInterface& ui_;
    QSettings* settings_;  // not owned; may be null
    corvix::ui::RecentFileList recentFiles_;
    std::mutex postedLock_;
    std::deque<std::function<void()>> posted_;
    std::unique_ptr<corvix::LinkSession> session_;

    QSplitter* splitter_ = nullptr;
    CMacView* tree_ = nullptr;
    CMacListView* list_ = nullptr;
    CCommInfoWnd* commBar_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QLabel* statusPane_ = nullptr;
    std::vector<QMenu*> menus_;
    QMenu* editMenu_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    std::map<int, QAction*> actions_;
    QTimer uiTimer_;    // once a second: status pane, clock window, command states
    QTimer linkTimer_;  // single shot at the session's next due tick
    std::unique_ptr<corvix::ui::LinkStatus> linkStatus_;  // pane text, reconnect option, stale marking
};
