// SPDX-License-Identifier: Apache-2.0
#include "ui/frame/mainframe.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>

#include "link/comm_link.h"
#include "link/frame.h"
#include "model/texts.h"
#include "ui/dialogs/comminfownd.h"
#include "ui/dialogs/githistorydlg.h"
#include "ui/frame/icons.h"
#include "ui/frame/link_status.h"
#include "ui/frame/serial_settings_store.h"
#include "ui/views/maclistview.h"
#include "ui/views/macview.h"

using namespace corvix;

namespace {

bool IsConfigurationPage(int32_t page) {
    return page == KindDeviceAddress || page == KindPortB1 || page == KindPortB2 || page == KindSignalNames ||
           page == KindTimeSync;
}

QString T(const BiText& text, int uiLanguage) { return QString::fromUtf8(Pick(text, uiLanguage)); }

const BiText* CommandText(int command) {
    switch (command) {
        case CMainFrame::IdPcSerialPort:
            return &txt::MenuPcSerialPort;
        case CMainFrame::IdConnect:
            return &txt::MenuConnect;
        case CMainFrame::IdDisconnect:
            return &txt::MenuDisconnect;
        case CMainFrame::IdInternalClock:
            return &txt::MenuInternalClock;
        case CMainFrame::IdExit:
            return &txt::MenuExit;
        case CMainFrame::IdNewProject:
            return &txt::MenuNewProject;
        case CMainFrame::IdImportProject:
            return &txt::MenuImportProject;
        case CMainFrame::IdExportProject:
            return &txt::MenuExportProject;
        case CMainFrame::IdSaveProject:
            return &txt::MenuSaveProject;
        case CMainFrame::IdToolBar:
            return &txt::MenuToolBar;
        case CMainFrame::IdStatusBar:
            return &txt::MenuStatusBar;
        case CMainFrame::IdConnectionBar:
            return &txt::MenuConnectionBar;
        case CMainFrame::IdEventWindow:
            return &txt::MenuEventWindow;
        case CMainFrame::IdLanguage:
            return &txt::MenuLanguage;
        case CMainFrame::IdContent:
            return &txt::MenuContent;
        case CMainFrame::IdExportReport:
            return &txt::MenuExportReport;
        case CMainFrame::IdCompareWithFile:
            return &txt::MenuCompareWithFile;
        default:
            return nullptr;
    }
}

// Menu layout: the items of each popup in order (0 = separator).
const int DeviceMenu[] = {CMainFrame::IdPcSerialPort,  CMainFrame::IdConnect,
                          CMainFrame::IdDisconnect,    0,
                          CMainFrame::IdInternalClock, 0,
                          CMainFrame::IdExit};
const int ProjectMenu[] = {CMainFrame::IdNewProject,
                           CMainFrame::IdImportProject,
                           CMainFrame::IdExportProject,
                           CMainFrame::IdSaveProject,
                           0,
                           CMainFrame::IdCompareWithFile,
                           CMainFrame::IdExportReport};
const int ViewMenu[] = {CMainFrame::IdToolBar, CMainFrame::IdStatusBar, CMainFrame::IdConnectionBar,
                        CMainFrame::IdEventWindow, CMainFrame::IdLanguage};
const int HelpMenu[] = {CMainFrame::IdContent};
const BiText* const MenuTitles[] = {&txt::MenuDevice, &txt::MenuProject, &txt::MenuView, &txt::MenuHelp};

}  // namespace

// ---- the document's seam, passed through ----

// ---- creation ----

CMainFrame::CMainFrame(CBrondaleDoc& doc, ui::IGuiUserInterface& ui, QSettings* settings, QWidget* parent)
    : QMainWindow(parent), doc_(doc), ui_(ui), settings_(settings), recentFiles_(settings) {
    setWindowIcon(ui::AppIcon());
    // The worker's notices arrive on its own thread; each is queued onto this window's thread
    // (and dropped with the window).
    session_ = std::make_unique<LinkSession>(
        doc_, [this](std::function<void()> fn) { PostFromWorker(std::move(fn)); },
        [this](const EngineResult& result) { OnEngineResult(result); });
    session_->Link().settings = ui::LoadSerialSettings(settings_);

    // Client area: tree left, list right.
    splitter_ = new QSplitter(Qt::Horizontal, this);
    tree_ = new CMacView(doc_, splitter_);
    list_ = new CMacListView(doc_, splitter_);
    tree_->resize(200, 200);
    list_->resize(200, 200);
    splitter_->addWidget(tree_);
    splitter_->addWidget(list_->MakePane(splitter_));
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({300, 800});
    setCentralWidget(splitter_);
    tree_->SetEngine(&session_->Engine());
    list_->SetEngine(&session_->Engine());
    list_->SetConnectedQuery([this] { return session_->IsConnected(); });
    // Save and Export follow an edit at once, not only at the next one-second tick.
    connect(tree_, &CMacView::DocumentChanged, this, &CMainFrame::UpdateCommandStates);
    connect(list_, &CMacListView::DocumentChanged, this, &CMainFrame::UpdateCommandStates);
    connect(tree_, &CMacView::CompareRequested, this, &CMainFrame::OnCompareWithDevice);
    connect(tree_, &CMacView::GitHistoryRequested, this, &CMainFrame::OnGitHistory);
    connect(list_, &CMacListView::ExportCsvRequested, this, &CMainFrame::ExportEventLogCsv);
    list_->setAccessibleName(T(txt::AccParameterList, doc_.Language()));

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateEditMenu();
    CreateProjectOpsMenu();
    InitHistory();
    CreateStatusBar();
    linkStatus_ = std::make_unique<ui::LinkStatus>(*session_, doc_, *statusPane_, *list_, settings,
                                                   *menus_[0], actions_[IdDisconnect]);
    session_->SetLocalClock([this] { return localClock(); });

    commBar_ = new CCommInfoWnd(this, settings, [this] { return doc_.Language(); });
    commBar_->SetLinkSettings([this] { return session_->Link().settings; });
    addDockWidget(Qt::BottomDockWidgetArea, commBar_);
    commBar_->hide();

    // F6 and Shift+F6 move the focus to the other pane.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_F6), QKeySequence(Qt::SHIFT | Qt::Key_F6)}) {
        auto* pane = new QShortcut(key, this);
        connect(pane, &QShortcut::activated, this, [this] {
            if (tree_->hasFocus())
                list_->setFocus(Qt::ShortcutFocusReason);
            else
                tree_->setFocus(Qt::ShortcutFocusReason);
        });
    }

    // Ctrl+Shift+P: the service handler runs after the key has been handled.
    auto* service = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), this);
    connect(service, &QShortcut::activated, this, [this] {
        QMetaObject::invokeMethod(
            this, [this] { OnServiceMode(); }, Qt::QueuedConnection);
    });

    uiTimer_.setInterval(SecondIntervalMs);
    connect(&uiTimer_, &QTimer::timeout, this, [this] {
        RefreshStatusText();
        RefreshClockWindow();
        UpdateCommandStates();
    });
    uiTimer_.start();
    linkTimer_.setSingleShot(true);
    connect(&linkTimer_, &QTimer::timeout, this, [this] {
        session_->Engine().WatchClock(ClockWindowOpen());
        session_->RunDueTimers();
        ArmLinkTimer();
    });
    session_->StartTimers();
    ArmLinkTimer();

    doc_.SetViews(this);
    doc_.SetUserInterface(&ui_);
    RetranslateMenus();
    TitleChanged();
    RefreshStatusText();
    UpdateCommandStates();
    resize(1100, 720);
}

CMainFrame::~CMainFrame() {
    ShutDownLink();
    // The views go away with the window; the document stays.
    if (doc_.Views() == this) doc_.SetViews(nullptr);
    doc_.SetUserInterface(nullptr);
}

void CMainFrame::CreateActions() {
    for (int command : {IdPcSerialPort, IdConnect, IdDisconnect, IdInternalClock, IdExit, IdNewProject,
                        IdImportProject, IdExportProject, IdSaveProject, IdToolBar, IdStatusBar,
                        IdConnectionBar, IdEventWindow, IdLanguage, IdContent, IdExportReport,
                        IdCompareWithFile}) {
        auto* action = new QAction(this);
        action->setData(command);
        actions_[command] = action;
        connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
    }
    for (int command : {IdConnect, IdDisconnect, IdToolBar, IdStatusBar, IdConnectionBar, IdEventWindow})
        actions_[command]->setCheckable(true);
    actions_[IdImportProject]->setIcon(ui::ToolIcon(ui::ToolImage::Import));
    actions_[IdSaveProject]->setIcon(ui::ToolIcon(ui::ToolImage::Save));
    actions_[IdPcSerialPort]->setIcon(ui::ToolIcon(ui::ToolImage::SerialPort));
    actions_[IdConnect]->setIcon(ui::ToolIcon(ui::ToolImage::Connect));
    actions_[IdDisconnect]->setIcon(ui::ToolIcon(ui::ToolImage::Disconnect));
    // Ctrl+O imports and Ctrl+N starts a new project. Ctrl+S is a shortcut of its own so it
    // sees the modified mark at the moment it is pressed.
    actions_[IdImportProject]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    actions_[IdNewProject]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    connect(save, &QShortcut::activated, this, [this] {
        UpdateCommandStates();
        RunCommand(IdSaveProject);
    });
}

void CMainFrame::CreateMenus() {
    auto build = [this](const int* items, std::size_t count) {
        auto* menu = menuBar()->addMenu(QString());
        for (std::size_t i = 0; i < count; ++i) {
            if (items[i] == 0)
                menu->addSeparator();
            else
                menu->addAction(actions_[items[i]]);
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
        menus_.push_back(menu);
    };
    build(DeviceMenu, std::size(DeviceMenu));
    build(ProjectMenu, std::size(ProjectMenu));
    build(ViewMenu, std::size(ViewMenu));
    build(HelpMenu, std::size(HelpMenu));
}

void CMainFrame::CreateStatusBar() {
    statusPane_ = new QLabel(this);
    // 400 pixels, wider when the link text needs it (a long port name), so it is never cut.
    statusPane_->setMinimumWidth(StatusPaneWidth);
    statusPane_->setFrameShape(QFrame::Panel);
    statusPane_->setFrameShadow(QFrame::Sunken);
    statusBar()->addPermanentWidget(statusPane_);
}

void CMainFrame::RetranslateMenus() {
    const int lang = doc_.Language();
    for (std::size_t i = 0; i < menus_.size(); ++i) menus_[i]->setTitle(T(*MenuTitles[i], lang));
    for (auto& [command, action] : actions_) {
        const QString text = T(*CommandText(command), lang);
        action->setText(text);
        action->setToolTip(QString(text).remove(QLatin1Char('&')));
    }
    // Accessible names follow the language the window was last built in.
    tree_->setAccessibleName(T(txt::AccProjectTree, lang));
    list_->setAccessibleName(T(txt::AccParameterList, lang));
    linkStatus_->Retranslate();
    RetranslateEditMenu();
    RetranslateToolBar();
    RetranslateProjectOpsMenu();
    RetranslateHistoryMenu();
}

// ---- command states ----

QAction* CMainFrame::Action(int command) const {
    auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

bool CMainFrame::TimersRunning() const { return uiTimer_.isActive() || session_->TimersRunning(); }

void CMainFrame::ArmLinkTimer() {
    if (!session_->TimersRunning()) return;
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(session_->NextDue() - session_->Now());
    linkTimer_.start(static_cast<int>(std::max<long long>(0, wait.count())));
}

void CMainFrame::UpdateCommandStates() {
    // Waiting for a lost port, or for a server to answer, counts as connected: Disconnect
    // ends the wait.
    const bool connected = session_->IsConnected() || session_->WaitingForPort() || session_->Connecting();
    const bool projectOpen = doc_.ProjectOpen();
    actions_[IdConnect]->setEnabled(!connected);
    actions_[IdConnect]->setChecked(connected);
    actions_[IdDisconnect]->setEnabled(connected);
    actions_[IdDisconnect]->setChecked(!connected);
    actions_[IdExportProject]->setEnabled(projectOpen);
    actions_[IdExportReport]->setEnabled(projectOpen);
    actions_[IdCompareWithFile]->setEnabled(projectOpen && doc_.Project().DeviceCountClamped() > 0);
    actions_[IdSaveProject]->setEnabled(doc_.Modified());
    actions_[IdToolBar]->setChecked(toolBar_->isVisible());
    actions_[IdStatusBar]->setChecked(statusBar()->isVisible());
    actions_[IdConnectionBar]->setChecked(commBar_ && commBar_->isVisible());
    actions_[IdEventWindow]->setChecked(eventWindowVisible != 0);
    RetranslateEditMenu();  // the step names and the enabling of undo and redo
}

void CMainFrame::RunCommand(int command) {
    QAction* action = Action(command);
    if (!action || !action->isEnabled()) return;
    switch (command) {
        case IdPcSerialPort:
            OnPcSerialPort();
            break;
        case IdConnect:
            OnConnect();
            break;
        case IdDisconnect:
            OnDisconnect();
            break;
        case IdInternalClock:
            OnInternalClock();
            break;
        case IdExit:
            close();
            break;
        case IdNewProject:
            OnNewProject();
            break;
        case IdImportProject:
            OnImportProject();
            break;
        case IdExportProject:
            OnExportProject();
            break;
        case IdSaveProject:
            OnSaveProject();
            break;
        case IdToolBar:
            toolBar_->setVisible(!toolBar_->isVisible());
            break;
        case IdStatusBar:
            statusBar()->setVisible(!statusBar()->isVisible());
            break;
        case IdConnectionBar:
            OnConnectionBar();
            break;
        case IdEventWindow:
            OnEventWindow();
            break;
        case IdLanguage:
            OnLanguage();
            break;
        case IdContent:
            OnContent();
            break;
        case IdExportReport:
            OnExportReport();
            break;
        case IdCompareWithFile:
            OnCompareWithFile();
            break;
        default:
            break;
    }
    UpdateCommandStates();
}

// ---- timers and the link ----

void CMainFrame::OnTimer(int id) {
    if (id == 3) {
        RefreshStatusText();
        RefreshClockWindow();
    }
    session_->Engine().WatchClock(ClockWindowOpen());
    session_->OnTimer(id);
    if (id == 3) UpdateCommandStates();
}

void CMainFrame::RefreshStatusText() { linkStatus_->Refresh(); }

void CMainFrame::ShowMessages(const std::vector<UserMessage>& messages) {
    for (const UserMessage& m : messages) ui_.ShowMessage(m.text, m.caption);
}

void CMainFrame::ShutDownLink() {
    if (session_) {
        session_->Disconnect();
        session_->StopTimers();
    }
    linkTimer_.stop();
    uiTimer_.stop();
}

// ---- engine results ----

void CMainFrame::PostFromWorker(std::function<void()> fn) {
    // Our own lock hands the work over (so thread checkers see the order), and one queued
    // call runs whatever has gathered; it is dropped with the window.
    bool first;
    {
        std::lock_guard<std::mutex> lock(postedLock_);
        first = posted_.empty();
        posted_.push_back(std::move(fn));
    }
    if (first)
        QMetaObject::invokeMethod(
            this, [this] { RunPosted(); }, Qt::QueuedConnection);
}

void CMainFrame::RunPosted() {
    std::function<void()> fn;
    {
        std::lock_guard<std::mutex> lock(postedLock_);
        if (posted_.empty()) return;
        fn = std::move(posted_.front());
        posted_.pop_front();
        // The rest gets a call of its own first: `fn` may run a nested loop (a message box),
        // in which what came after it is handled as before.
        if (!posted_.empty())
            QMetaObject::invokeMethod(
                this, [this] { RunPosted(); }, Qt::QueuedConnection);
    }
    fn();
}

void CMainFrame::OnEngineResult(const EngineResult& result) {
    const int lang = doc_.Language();
    NoteCompareResult(result);
    RecordInHistory(result);
    if (commBar_->AddResult(result, lang)) {
        // A frame sent or a block received: logged, nothing else to show.
    } else if (std::holds_alternative<StatusUpdated>(result)) {
        if (doc_.CurrentPage() == KindInputStatus) RefreshInputStates();
        RefreshStatusText();
    } else if (std::holds_alternative<ConfigurationReceived>(result)) {
        if (doc_.CurrentPage() == 0)
            list_->ClearPage();
        else if (IsConfigurationPage(doc_.CurrentPage()))
            list_->ShowPage();
        doc_.SetTitleText(std::string(txt::AppName) + txt::ConfigFromDeviceSuffix);
        TitleChanged();
        UpdateAllViews();
    } else if (std::holds_alternative<ConfigurationWritten>(result)) {
        list_->MarkDeviceValues();  // what was written is the device's now
        const UserMessage m = WriteSuccessMessage(lang);
        ShowMessage(m.text, m.caption);
    } else if (const auto* clock = std::get_if<ClockRead>(&result)) {
        if (ClockWindowOpen()) ShowDeviceTime(clock->time);
    } else if (const auto* test = std::get_if<OutputTestDone>(&result)) {
        if (test->state >= 0) FillCpuSupervisionPage();
    } else if (std::holds_alternative<EventLogReceived>(result)) {
        FillEventLogPage();
        UpdateAllViews();
    } else if (const auto* fresh = std::get_if<NewEvents>(&result)) {
        ShowEventWindowForNewEvents();
        for (const WireEvent& e : fresh->events) AppendEvent(e);
        ShowNewEventsInAllEvents(fresh->events);
    } else if (const auto* failed = std::get_if<OperationFailed>(&result)) {
        if (const std::optional<UserMessage> m = FailureMessage(*failed, lang))
            ShowMessage(m->text, m->caption);
    } else if (std::holds_alternative<LinkLost>(result) || std::holds_alternative<LinkRestored>(result)) {
        // A wait for the port retries on the session's schedule, sooner than the tick armed.
        RefreshStatusText();
        UpdateCommandStates();
        ArmLinkTimer();
        // Without a wait for the port, a network link that went says why, once.
        if (std::holds_alternative<LinkLost>(result) && !session_->WaitingForPort())
            if (const std::optional<UserMessage> m = LinkLostMessage(session_->Link(), lang))
                ShowMessage(m->text, m->caption);
    }
}

// ---- project commands ----

void CMainFrame::NoteRecentFile(CBrondaleDoc::FileOutcome outcome) {
    if (outcome == CBrondaleDoc::FileOutcome::Done && !doc_.ProjectPath().empty())
        recentFiles_.Add(QFile::decodeName(doc_.ProjectPath().c_str()));
}

void CMainFrame::OnNewProject() { doc_.NewProject(); }

void CMainFrame::OnImportProject() { NoteRecentFile(doc_.ImportProject()); }

bool CMainFrame::ImportAtStart(const std::string& path) {
    const bool ok = doc_.ImportProjectFrom(path);
    if (ok) recentFiles_.Add(QFile::decodeName(path.c_str()));
    UpdateCommandStates();
    return ok;
}

// ---- view commands ----

void CMainFrame::OnConnectionBar() {
    if (commBar_->isVisible()) {
        commBar_->hide();
    } else {
        commBar_->show();
        FitCommBar();
    }
}

void CMainFrame::OnLanguage() {
    doc_.SetLanguage(IsEnglish(doc_.Language()) ? LangChinese : LangEnglish);
    RetranslateMenus();
    RebuildTree();
    RetranslateAllEvents();
}

void CMainFrame::FitCommBar() {
    if (!commBar_ || !commBar_->isVisible()) return;
    // A quarter of the client height, docked or floating.
    const int clientHeight = height() - (menuBar()->isVisible() ? menuBar()->height() : 0);
    const int barHeight = clientHeight / 4;
    if (commBar_->isFloating())
        commBar_->resize(width(), barHeight);
    else
        resizeDocks({commBar_}, {barHeight}, Qt::Vertical);
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FitCommBar();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    UpdateCommandStates();
}

// ---- closing ----

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (doc_.HasUnsavedChanges()) {
        switch (ui_.AskSaveChanges(doc_.Language())) {
            case ui::SaveChoice::Cancel:
                event->ignore();
                return;
            case ui::SaveChoice::Discard:
                break;
            case ui::SaveChoice::Save: {
                const uint8_t modified = doc_.Modified();
                OnSaveProject();
                // Stay open when nothing was written (chooser cancelled or write failed), with
                // Save Project still on for another try.
                if (doc_.HasUnsavedChanges()) {
                    doc_.SetModified(modified);
                    UpdateCommandStates();
                    event->ignore();
                    return;
                }
                break;
            }
        }
    }
    ShutDownLink();
    DestroyAuxiliaryWindows();
    event->accept();
}

void CMainFrame::DestroyAuxiliaryWindows() {
    delete clockWindow.data();
    delete eventWindow.data();
    eventWindowVisible = 0;
}

// ---- IDocViews ----

void CMainFrame::RebuildTree() {
    tree_->RebuildTree();
    UpdateCommandStates();
}

void CMainFrame::ShowPage() { list_->ShowPage(); }

void CMainFrame::ClearPage() { list_->ClearPage(); }

void CMainFrame::UpdateAllViews() {
    tree_->viewport()->update();
    list_->viewport()->update();
    UpdateCommandStates();
}

void CMainFrame::TitleChanged() { setWindowTitle(QString::fromStdString(doc_.Title()) + " - "); }

// ---- screen effects of the engine's results ----

void CMainFrame::ShowMessage(const std::string& textUtf8, const std::string& captionUtf8) {
    ui_.ShowMessage(textUtf8, captionUtf8);
    RefreshStatusText();
    UpdateCommandStates();
}

void CMainFrame::RefreshInputStates() { list_->RefreshInputStates(); }

void CMainFrame::FillEventLogPage() { list_->FillEventLogPage(); }

void CMainFrame::FillCpuSupervisionPage() { list_->FillCpuSupervisionPage(); }
