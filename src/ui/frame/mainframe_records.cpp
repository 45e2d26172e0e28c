// SPDX-License-Identifier: Apache-2.0
// The main window's commands on records as a whole: Compare With Device, the CSV export of
// the event log and of the event window, and the device clock's offset in the clock window.
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>

#include "link/clock_timing.h"
#include "model/clock_offset.h"
#include "model/event_csv.h"
#include "model/texts.h"
#include "present/clock_offset_text.h"
#include "ui/dialogs/comparedlg.h"
#include "ui/dialogs/dialog_util.h"
#include "ui/dialogs/dlgtime.h"
#include "ui/dialogs/infodlg.h"
#include "ui/frame/mainframe.h"
#include "ui/views/maclistview.h"

using namespace corvix;

namespace {

bool ShowsConfiguration(int32_t page) {
    return page == KindDeviceAddress || page == KindPortB1 || page == KindPortB2 || page == KindSignalNames ||
           page == KindTimeSync;
}

}  // namespace

// ---- Compare With Device ----

void CMainFrame::OnCompareWithDevice(int deviceCode) {
    if (!IsDeviceKind(deviceCode) || compareWindow) return;
    const int index = deviceCode - KindDeviceFirst;
    if (index >= doc_.Project().DeviceCountClamped()) return;
    // Modal: while it is open the device list cannot change under the compared index.
    CCompareDlg dialog(doc_, index, doc_.Language(), this);
    compareWindow = &dialog;
    connect(&dialog, &CCompareDlg::ProjectChanged, this, [this, deviceCode] {
        if (ShowsConfiguration(doc_.CurrentPage()) && doc_.CurrentDeviceId() == deviceCode)
            list_->ShowPage();
        UpdateCommandStates();
    });
    connect(&dialog, &CCompareDlg::WriteRequested, this, [this, &dialog, deviceCode] {
        // Afterwards the device is read again, so the list shows what it now holds.
        dialog.ShowReading();
        doc_.TakeDevice(deviceCode);
        session_->Engine().WriteConfiguration();
    });
    session_->Engine().FetchConfiguration();
    if (runModal)
        runModal(dialog);
    else
        dialog.exec();
    compareWindow = nullptr;
}

void CMainFrame::NoteCompareResult(const EngineResult& result) {
    auto* dialog = qobject_cast<CCompareDlg*>(compareWindow.data());
    if (dialog == nullptr) return;
    if (const auto* fetched = std::get_if<ConfigurationFetched>(&result)) {
        dialog->SetDeviceRecord(fetched->record);
    } else if (std::holds_alternative<ConfigurationWritten>(result)) {
        session_->Engine().FetchConfiguration();
    } else if (const auto* failed = std::get_if<OperationFailed>(&result)) {
        if (failed->operation != Operation::ConfigRead && failed->operation != Operation::ConfigWrite) return;
        if (const std::optional<UserMessage> m = FailureMessage(*failed, doc_.Language()))
            dialog->ShowFailure(QString::fromStdString(m->text));
    }
}

// ---- CSV export ----

void CMainFrame::WriteCsv(const std::string& csv) {
    const int lang = doc_.Language();
    std::optional<std::string> path;
    if (askCsvPath) {
        path = askCsvPath();
    } else {
        QString chosen = QFileDialog::getSaveFileName(this, ui::Text(txt::ExportCsvCaption, lang), QString(),
                                                      ui::Text(txt::ExportCsvFilter, lang));
        // A name typed without an extension still becomes a file spreadsheets recognise.
        if (!chosen.isEmpty() && QFileInfo(chosen).suffix().isEmpty()) chosen += ".csv";
        if (!chosen.isEmpty()) path = QFile::encodeName(chosen).toStdString();
    }
    if (!path) return;
    // All or nothing: a file that existed stays whole when the new one cannot be written.
    QSaveFile file(QFile::decodeName(path->c_str()));
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
                    file.commit();
    if (!ok)
        ShowMessage(std::string(Pick(txt::ExportCsvFailed, lang)) + "\n" + *path, Pick(txt::ExportCsvCaption, lang));
}

void CMainFrame::ExportEventLogCsv() { WriteCsv(EventLogCsv(doc_.CurrentDevice(), doc_.Language())); }

void CMainFrame::ExportEventWindowCsv() {
    // Exactly what the window lists: the events go with their lines and with the window.
    const auto* window = qobject_cast<CInfoDlg*>(eventWindow.data());
    const std::vector<EventRecord> events = window ? window->ListedEvents() : std::vector<EventRecord>();
    if (events.empty()) {
        ShowMessage(Pick(txt::ExportCsvNothing, doc_.Language()), Pick(txt::ExportCsvCaption, doc_.Language()));
        return;
    }
    WriteCsv(EventsCsv(events, doc_.Language()));
}

void CMainFrame::AppendEvent(const WireEvent& event) {
    EventRecord record{};
    WireEventToRecord(event, record);
    AppendEventText(EventText(event, doc_.DateOrder(), doc_.Language()), &record);
}

// ---- clock window ----

void CMainFrame::ShowDeviceTime(const ClockFields& time) {
    auto* window = qobject_cast<CDlgTime*>(clockWindow.data());
    if (window == nullptr) return;
    window->SetDeviceTimeText(QString::fromStdString(ClockText(doc_.DateOrder(), time)));
    const long long offset = DeviceClockOffsetMs(time, localClock(), session_->Link().settings);
    window->SetDeviceOffsetText(QString::fromStdString(ClockOffsetText(offset, window->language)));
}
