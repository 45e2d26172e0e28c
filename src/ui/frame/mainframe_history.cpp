// SPDX-License-Identifier: Apache-2.0
// The settings history from the window: every configuration read from a device, every write
// to one and every project save goes to the history's worker (ui/history/recorder_host.h),
// with the port in the message; the operations over all devices make one commit per run.
#include <QAction>
#include <QMenu>
#include <QStatusBar>
#include <algorithm>

#include "model/texts_githistory.h"
#include "ui/dialogs/dialog_util.h"
#include "ui/dialogs/githistorydlg.h"
#include "ui/frame/mainframe.h"
#include "ui/history/history_settings_dlg.h"
#include "ui/history/recorder_host.h"
#include "ui/ops/ops_window.h"
#include "ui/views/maclistview.h"

using namespace corvix;

void CMainFrame::InitHistory() {
    history_ = new ui::CRecorderHost(this);
    history_->SetSettings(ui::RecorderSettings(ui::LoadHistoryPrefs(settings_)));
    // Told once, without a box: the device operation or the save went on.
    history_->notify = [this](const std::string& reason) {
        char text[2048];
        std::snprintf(text, sizeof text, Pick(txt::GitHistoryNotRecorded, doc_.Language()), reason.c_str());
        statusBar()->showMessage(QString::fromUtf8(text));
    };
    QMenu* project = menus_.at(1);
    historySettings_ = project->addAction(QString());
    connect(historySettings_, &QAction::triggered, this, &CMainFrame::OnHistorySettings);
    RetranslateHistoryMenu();
}

void CMainFrame::RetranslateHistoryMenu() {
    historySettings_->setText(ui::Text(txt::GitSettingsMenu, doc_.Language()));
}

void CMainFrame::OnHistorySettings() {
    ui::CHistorySettingsDlg dialog(ui::LoadHistoryPrefs(settings_), doc_.Language(), this);
    const int answer = runModal ? runModal(dialog) : dialog.exec();
    if (answer != QDialog::Accepted) return;
    ui::SaveHistoryPrefs(settings_, dialog.Prefs());
    history_->SetSettings(ui::RecorderSettings(dialog.Prefs()));
}

void CMainFrame::OnGitHistory(int deviceCode) {
    // What is still queued belongs in the list, and under the id it was recorded with.
    history_->Drain(ui::CRecorderHost::ExitBound);
    OpenGitHistory(
        this, doc_, deviceCode, [this] { list_->ShowPage(), UpdateCommandStates(); }, history_->Settings(),
        history_->ProjectId(doc_.ProjectPath()));
}

void CMainFrame::RecordInHistory(const EngineResult& result) {
    const std::string& port = session_->Link().settings.portName;
    if (const auto* read = std::get_if<ConfigurationReceived>(&result)) {
        history_->Read(doc_.Project(), doc_.ProjectPath(), read->devicesUpdated, port);
    } else if (std::holds_alternative<ConfigurationWritten>(result)) {
        // The link writes the current device; what it wrote is that device's state now, even
        // when the project was edited while the write ran.
        const int slot = doc_.CurrentDeviceId() - KindDeviceFirst;
        if (slot < 0 || slot >= doc_.Project().DeviceCountClamped()) return;
        ProjectBlock written = doc_.Project();
        if (const DeviceRecord* state = doc_.DeviceState().StateOf(slot)) written.devices[slot] = *state;
        history_->Written(written, doc_.ProjectPath(), {slot}, port);
    }
}

void CMainFrame::RecordOpsInHistory(ui::COpsWindow* window, ProjectOpKind kind) {
    if (kind != ProjectOpKind::Read && kind != ProjectOpKind::Write) return;
    auto done = std::make_shared<std::vector<int>>();
    window->ended = [this, window, kind, done, before = window->ended](const DeviceOpResult& r) {
        if (before) before(r);
        if (r.state == DeviceOpState::Done) done->push_back(r.slot);
        // One commit once every device ended (a Retry Failed makes one of its own).
        ProjectOperation& op = window->Operation();
        for (const DeviceOpResult& each : op.Results())
            if (!each.Ended()) return;
        if (done->empty()) return;
        std::string ports;
        for (const DeviceTarget& t : op.Targets()) {
            if (std::find(done->begin(), done->end(), t.slot) == done->end()) continue;
            AddToPortList(ports, t.line.portName);
        }
        std::vector<int> ended = std::move(*done);
        done->clear();
        std::sort(ended.begin(), ended.end());
        if (kind == ProjectOpKind::Read)
            history_->Read(doc_.Project(), doc_.ProjectPath(), std::move(ended), ports);
        else
            history_->Written(doc_.Project(), doc_.ProjectPath(), std::move(ended), ports);
    };
}

void CMainFrame::OnExportProject() {
    const std::string before = doc_.ProjectPath();
    const CBrondaleDoc::FileOutcome outcome = doc_.ExportProject();
    NoteRecentFile(outcome);
    if (outcome == CBrondaleDoc::FileOutcome::Done)
        history_->Saved(doc_.Project(), before, doc_.ProjectPath());
}

void CMainFrame::OnSaveProject() {
    const std::string before = doc_.ProjectPath();
    const CBrondaleDoc::FileOutcome outcome = doc_.SaveProject();
    NoteRecentFile(outcome);
    if (outcome == CBrondaleDoc::FileOutcome::Done)
        history_->Saved(doc_.Project(), before, doc_.ProjectPath());
}
