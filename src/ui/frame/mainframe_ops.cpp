// SPDX-License-Identifier: Apache-2.0
// The Project menu's operations over all devices (or the devices selected in the tree), the
// device's Connection… dialog, and the operations window they open.
#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTreeWidgetItem>

#include "link/frame.h"
#include "link/net_port.h"
#include "model/gbk.h"
#include "model/texts.h"
#include "ui/dialogs/dialog_util.h"
#include "ui/frame/mainframe.h"
#include "ui/ops/all_events_window.h"
#include "ui/ops/connection_dlg.h"
#include "ui/ops/ops_window.h"
#include "ui/views/maclistview.h"
#include "ui/views/macview.h"

using namespace corvix;

namespace {

struct OpsItem {
    const BiText* text;
    int kind;  // ProjectOpKind, or -1 for Connection…
};
const OpsItem OpsItems[] = {
    {&txt::MenuReadAll, static_cast<int>(ProjectOpKind::Read)},
    {&txt::MenuCompareAll, static_cast<int>(ProjectOpKind::Compare)},
    {&txt::MenuWriteAll, static_cast<int>(ProjectOpKind::Write)},
    {&txt::MenuClockCheckAll, static_cast<int>(ProjectOpKind::ClockCheck)},
    {&txt::MenuClockSetAll, static_cast<int>(ProjectOpKind::ClockSet)},
    {&txt::MenuEventLogsAll, static_cast<int>(ProjectOpKind::EventLog)},
    {&txt::MenuAllEvents, -2},
    {&txt::MenuConnection, -1},
};

}  // namespace

void CMainFrame::CreateProjectOpsMenu() {
    QMenu* project = menus_.at(1);
    project->addSeparator();
    for (const OpsItem& item : OpsItems) {
        QAction* action = project->addAction(QString());
        const int kind = item.kind;
        connect(action, &QAction::triggered, this, [this, kind] {
            if (kind == -2)
                OnAllEvents();
            else if (kind < 0)
                OnDeviceConnection();
            else
                RunProjectOperation(static_cast<ProjectOpKind>(kind));
        });
        opsActions_.push_back(action);
    }
    // Texts and enabling follow the language and the project each time the menu opens.
    connect(project, &QMenu::aboutToShow, this, &CMainFrame::RetranslateProjectOpsMenu);
    RetranslateProjectOpsMenu();
    // The project node's context menu offers the same operations (not All Events nor Connection…).
    std::vector<QAction*> treeActions;
    for (std::size_t i = 0; i < opsActions_.size(); ++i)
        if (OpsItems[i].kind >= 0) treeActions.push_back(opsActions_[i]);
    tree_->SetProjectActions(std::move(treeActions));
    connect(tree_, &CMacView::ProjectMenuOpening, this, &CMainFrame::RetranslateProjectOpsMenu);
    connect(tree_, &CMacView::ConnectionRequested, this, [this](int code) { OnDeviceConnection(code); });
}

void CMainFrame::RetranslateProjectOpsMenu() {
    const int lang = doc_.Language();
    const bool devices = doc_.ProjectOpen() && doc_.Project().DeviceCountClamped() > 0;
    for (std::size_t i = 0; i < opsActions_.size(); ++i) {
        opsActions_[i]->setText(ui::Text(*OpsItems[i].text, lang));
        const int kind = OpsItems[i].kind;
        opsActions_[i]->setEnabled(kind == -2 ? devices
                                   : kind < 0 ? devices && IsDeviceKind(doc_.CurrentDeviceId())
                                              : devices && !opsWindow);
    }
}

std::vector<DeviceTarget> CMainFrame::OperationTargets() const {
    const ProjectBlock& project = doc_.Project();
    std::vector<int> chosen;
    for (QTreeWidgetItem* item : tree_->selectedItems()) {
        const int code = item->data(0, Qt::UserRole).toInt();
        if (IsDeviceKind(code) && code - KindDeviceFirst < project.DeviceCountClamped())
            chosen.push_back(code - KindDeviceFirst);
    }
    if (chosen.size() < 2) {
        chosen.clear();
        for (int i = 0; i < project.DeviceCountClamped(); ++i) chosen.push_back(i);
    }
    std::sort(chosen.begin(), chosen.end());
    std::vector<DeviceTarget> targets;
    for (int slot : chosen) {
        DeviceTarget t;
        t.slot = slot;
        t.nameGbk = FieldText(project.devices[slot].name, DeviceNameSize);
        t.address = project.devices[slot].address;
        t.record = std::make_shared<DeviceRecord>(project.devices[slot]);
        // A device without its own port uses the serial settings dialog's.
        t.line = session_->Link().settings;
        if (const std::optional<DeviceConnection> c = doc_.Connections().For(project, slot)) {
            t.line.portName = c->port;
            t.line.baudRate = c->baudRate;
            t.line.dataBits = c->dataBits;
            t.line.stopBits = c->stopBits;
            t.line.parity = c->parity;
        }
        targets.push_back(std::move(t));
    }
    return targets;
}

ui::COpsWindow* CMainFrame::RunProjectOperation(ProjectOpKind kind) {
    if (opsWindow || !doc_.ProjectOpen()) return nullptr;
    std::vector<DeviceTarget> targets = OperationTargets();
    if (targets.empty()) return nullptr;
    const int lang = doc_.Language();
    if (kind == ProjectOpKind::Write) {
        std::string list;
        for (const DeviceTarget& t : targets)
            list += PrintableText(GbkToUtf8(t.nameGbk)) + "  (" + std::to_string(t.address) + ")  " + t.line.portName + "\n";
        char text[8192];
        std::snprintf(text, sizeof text, Pick(txt::OpWriteConfirm, lang), list.c_str());
        const bool yes = confirmWriteAll ? confirmWriteAll(text)
                                         : QMessageBox::question(this, ui::Text(txt::OpTitles[2], lang),
                                                                 QString::fromUtf8(text)) == QMessageBox::Yes;
        if (!yes) return nullptr;
    }
    // The device link of the window leaves the port to the operation (one program per port).
    if (session_->IsConnected())
        for (const DeviceTarget& t : targets)
            if (t.line.portName == session_->Link().settings.portName) {
                OnDisconnect();
                break;
            }
    ProjectOperation::Options options;
    // How many ports work at once (8 unless the settings say otherwise).
    if (settings_ != nullptr) options.maxJobs = std::clamp(settings_->value(QStringLiteral("Operations/MaxJobs"), 8).toInt(), 1, 64);
    options.localClock = [this] { return localClock(); };
    auto* window = new ui::COpsWindow(doc_, kind, std::move(targets), std::move(options), [this, kind] {
        // A configuration carries the device's name: the tree shows the names read.
        if (kind == ProjectOpKind::Read) ShowDeviceNamesRead();
        UpdateAllViews();
        const int32_t page = doc_.CurrentPage();
        if (page != 0 && page != KindProject && !IsDeviceKind(page)) list_->ShowPage();
        UpdateCommandStates();
    }, this);
    window->ended = [this](const DeviceOpResult& r) {
        if (r.state == DeviceOpState::Done && r.offsetMs) clockOffsets[r.slot] = *r.offsetMs;
        if (allEventsWindow) allEventsWindow->Refresh();
    };
    opsWindow = window;
    RecordOpsInHistory(window, kind);
    window->show();
    window->Start();
    return window;
}

void CMainFrame::ShowDeviceNamesRead() {
    // Renamed in place, so the devices selected for the operation and the current page stay.
    const ProjectBlock& project = doc_.Project();
    const int count = project.DeviceCountClamped();
    if (tree_->FindNode(KindDeviceFirst + count) != nullptr || (count > 0 && !tree_->FindNode(KindDeviceFirst + count - 1))) {
        RebuildTree();
        return;
    }
    for (int i = 0; i < count; ++i)
        tree_->FindNode(KindDeviceFirst + i)
            ->setText(0, QString::fromStdString(GbkToUtf8(FieldText(project.devices[i].name, DeviceNameSize))));
}

void CMainFrame::OnDeviceConnection(int deviceCode) {
    const int code = deviceCode >= 0 ? deviceCode : doc_.CurrentDeviceId();
    if (!IsDeviceKind(code) || code - KindDeviceFirst >= doc_.Project().DeviceCountClamped()) return;
    std::vector<std::string> ports;
    if (enumeratePorts) enumeratePorts(ports);
    ui::CConnectionDlg dialog(doc_, code - KindDeviceFirst, ports, this);
    if (runModal)
        runModal(dialog);
    else
        dialog.exec();
}

void CMainFrame::OnAllEvents() {
    if (allEventsWindow) {
        allEventsWindow->Refresh();
        allEventsWindow->show();  // Escape hides it without closing it
        allEventsWindow->raise();
        return;
    }
    auto* window = new ui::CAllEventsWindow(doc_, [this] { return clockOffsets; }, this);
    window->askCsvPath = askCsvPath;
    allEventsWindow = window;
    window->show();
}

void CMainFrame::RetranslateAllEvents() {
    if (allEventsWindow) allEventsWindow->Refresh();
}

void CMainFrame::ShowNewEventsInAllEvents(const std::vector<WireEvent>& events) {
    // The link polls the current device.
    const int code = doc_.CurrentDeviceId();
    if (!allEventsWindow || !IsDeviceKind(code)) return;
    std::vector<EventRecord> records(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) WireEventToRecord(events[i], records[i]);
    allEventsWindow->AddLiveEvents(code - KindDeviceFirst, records);
}
