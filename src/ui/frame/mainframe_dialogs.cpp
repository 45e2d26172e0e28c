// SPDX-License-Identifier: Apache-2.0
// The main window's commands and engine-host calls that are backed by dialogs and
// auxiliary windows: PC serial port, internal clock, event window, content, service mode.
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <filesystem>

#include "link/comm_link.h"
#include "link/net_port.h"
#include "link/port_names.h"
#include "link/serial_port.h"
#include "model/gbk.h"
#include "model/texts.h"
#include "present/port_choices.h"
#include "ui/dialogs/commdlg.h"
#include "ui/dialogs/dialog_util.h"
#include "ui/dialogs/dlgmacinfo.h"
#include "ui/dialogs/dlgtime.h"
#include "ui/dialogs/infodlg.h"
#include "ui/dialogs/pwdlg.h"
#include "ui/dialogs/sysmdlg.h"
#include "ui/frame/mainframe.h"
#include "ui/frame/serial_settings_store.h"

using namespace corvix;

namespace {

int RunModal(CMainFrame& frame, QDialog& dialog) {
    return frame.runModal ? frame.runModal(dialog) : dialog.exec();
}

QString PcTimeText(CMainFrame& frame) {
    return QString::fromStdString(ClockText(frame.Doc().DateOrder(), ClockFieldsOf(frame.localClock())));
}

// A new event window in the current language, wired to the frame's flags. It starts hidden.
CInfoDlg* CreateEventWindow(CMainFrame& frame) {
    auto* window = new CInfoDlg(frame.Doc().Language(), frame.autoShowEvents == 0, &frame);
    frame.eventWindow = window;
    QObject::connect(window, &CInfoDlg::HideClicked, &frame, [&frame, window] {
        window->hide();
        frame.eventWindowVisible = 0;
        frame.UpdateCommandStates();
    });
    QObject::connect(window, &CInfoDlg::NoEjectClicked, &frame, [&frame, window] {
        frame.autoShowEvents = frame.autoShowEvents != 0 ? 0 : 1;
        window->NoEjectBox()->setChecked(frame.autoShowEvents == 0);
    });
    QObject::connect(window, &CInfoDlg::ExportCsvClicked, &frame, [&frame] { frame.ExportEventWindowCsv(); });
    QObject::connect(window, &CInfoDlg::Closed, &frame, [&frame, window] {
        // The window and its text are gone; showing events automatically stays as it was.
        if (frame.eventWindow == window) frame.eventWindow = nullptr;
        frame.eventWindowVisible = 0;
        frame.UpdateCommandStates();
    });
    return window;
}

}  // namespace

void CMainFrame::OnPcSerialPort() {
    const int lang = doc_.Language();
    std::vector<std::string> names;
    int count = 0;
    if (enumeratePorts) {
        count = enumeratePorts(names);
    } else {
        const PortDiscovery found = DiscoverPorts(portRoot);
        count = found.count;
        for (const KernelPort& port : found.ports) names.push_back(port.path);
    }
    if (count <= 0 || names.empty()) {
        ui_.ShowMessage(Pick(txt::NoSerialPort, lang), Pick(txt::SerialPortSetCaption, lang));
        return;
    }

    SerialSettings& settings = session_->Link().settings;
    CCommDlg dialog(this);
    dialog.language = lang;
    dialog.portNames = names;
    if (!enumeratePorts) {
        // The system's ports follow adapters plugged in and out while the dialog is open, each
        // with its stable name where udev gives one. /dev/serial is watched too: by-id
        // appears in it with the first adapter.
        const std::string root = portRoot;
        dialog.listPorts = [root] { return PortChoices(DiscoverPorts(root)); };
        const std::filesystem::path dev = std::filesystem::path(root) / "dev";
        dialog.watchedFolders = {dev.string(), (dev / "serial").string(), (dev / "serial/by-id").string()};
    }
    dialog.portText = settings.portName;
    dialog.baudRateText = std::to_string(settings.baudRate);
    dialog.dataBitsText = std::to_string(settings.dataBits);
    dialog.parityPosition = settings.parity;
    dialog.stopBitsPosition = settings.stopBits;
    if (RunModal(*this, dialog) != QDialog::Accepted) return;

    settings.baudRate = ui::LeadingInt(QString::fromStdString(dialog.baudRateText));
    settings.dataBits = ui::LeadingInt(QString::fromStdString(dialog.dataBitsText));
    // Both lists are drop-down lists; a position outside them keeps the code in force.
    if (dialog.parityPosition >= ParityNone && dialog.parityPosition <= ParityOdd)
        settings.parity = dialog.parityPosition;
    if (dialog.stopBitsPosition >= StopBits1 && dialog.stopBitsPosition <= StopBits2)
        settings.stopBits = dialog.stopBitsPosition;
    // Only a new port name takes effect at once (the link is reopened when open); the other
    // values apply at the next connect.
    if (session_->IsConnected() && IsNetPortName(dialog.portText) && dialog.portText != settings.portName) {
        // A serial server is opened in the background, as Connect does.
        session_->Disconnect();
        session_->ApplyPortName(dialog.portText);
        OnConnect();
    } else {
        ShowMessages(PortChangeMessages(session_->ApplyPortName(dialog.portText), session_->Link(), lang));
    }
    ui::StoreSerialSettings(settings_, settings);
    RefreshStatusText();
}

void CMainFrame::OnConnect() {
    // A serial server that does not answer must not hold the window: it is tried on a thread.
    session_->ConnectInBackground([this](LinkOpen result) {
        ShowMessages(ConnectMessages(result, session_->Link(), doc_.Language()));
        RefreshStatusText();
        UpdateCommandStates();
    });
    RefreshStatusText();
}

void CMainFrame::OnDisconnect() {
    session_->Disconnect();
    RefreshStatusText();
}

void CMainFrame::OnInternalClock() {
    if (clockWindow) {
        // One clock window: the command brings the open one forward.
        clockWindow->show();
        clockWindow->raise();
        clockWindow->activateWindow();
        return;
    }
    auto* window = new CDlgTime(
        doc_, session_->Engine(), [this] { return localClock(); }, doc_.Language(), this);
    clockWindow = window;
    window->SetLineSettings(&session_->Link().settings);
    connect(window, &CDlgTime::Closed, this, [this, window] {
        if (clockWindow == window) clockWindow = nullptr;
    });
    window->show();
    window->SetSystemTimeText(PcTimeText(*this));
}

void CMainFrame::RefreshClockWindow() {
    auto* window = qobject_cast<CDlgTime*>(clockWindow.data());
    if (window && window->UsePcClock()) window->SetSystemTimeText(PcTimeText(*this));
}

bool CMainFrame::ClockWindowOpen() const { return !clockWindow.isNull(); }

void CMainFrame::ShowDeviceTime(const std::string& text) {
    if (auto* window = qobject_cast<CDlgTime*>(clockWindow.data()))
        window->SetDeviceTimeText(QString::fromStdString(text));
}

void CMainFrame::OnEventWindow() {
    if (eventWindowVisible == 0) {
        if (!eventWindow) CreateEventWindow(*this);
        eventWindow->show();
        eventWindowVisible = 1;
    } else if (eventWindow) {
        eventWindowVisible = 0;
        eventWindow->hide();
    }
}

void CMainFrame::ShowEventWindowForNewEvents() {
    if (!eventWindow) {
        // Automatic showing is on again before the window's check box is set from it.
        autoShowEvents = 1;
        CreateEventWindow(*this)->show();
        eventWindowVisible = 1;
    } else if (autoShowEvents != 0) {
        eventWindow->show();
        eventWindowVisible = 1;
    }
    UpdateCommandStates();
}

void CMainFrame::AppendEventText(const std::string& text, const EventRecord* event) {
    auto* window = qobject_cast<CInfoDlg*>(eventWindow.data());
    if (!window) {
        eventText += text;
        return;
    }
    // The box's text is the record (the user may have cleared or edited it); eventText is
    // its work copy, taken again only when the box changed by other means than appending,
    // so an event costs time in proportion to its text, not to the whole log.
    if (window->TakeChanged()) eventText = window->Text();
    eventText += text;
    if (event != nullptr)
        window->AppendEvent(*event, text);
    else
        window->AppendText(text);
}

void CMainFrame::OnContent() {
    const DeviceRecord& device = doc_.CurrentDevice();
    CSYSMDlg dialog(this);
    dialog.language = doc_.Language();
    dialog.deviceType = GbkToUtf8(FieldText(device.deviceType, DeviceTypeSize));
    dialog.serialNumber = GbkToUtf8(FieldText(device.serialNumber, SerialNumberSize));
    dialog.firmwareVersion = CSYSMDlg::FormatVersion(doc_.FirmwareVersion());
    dialog.programVersion = CSYSMDlg::FormatVersion(doc_.ProgramVersion());
    RunModal(*this, dialog);
}

void CMainFrame::OnServiceMode() {
    const int lang = doc_.Language();
    CPWDlg password(this);
    password.language = lang;
    if (RunModal(*this, password) != QDialog::Accepted) return;
    if (password.password != txt::ServicePassword) return;  // refused without a word

    CDlgMacInfo info(this);
    info.language = lang;
    info.deviceType = FieldText(doc_.CurrentDevice().deviceType, DeviceTypeSize);
    info.serialNumber = FieldText(doc_.CurrentDevice().serialNumber, SerialNumberSize);
    if (RunModal(*this, info) != QDialog::Accepted) return;
    // Not a change of the project's own: the texts travel with the next write and save.
    CopyTextField(doc_.CurrentDevice().deviceType, DeviceTypeSize, info.deviceType.c_str());
    CopyTextField(doc_.CurrentDevice().serialNumber, SerialNumberSize, info.serialNumber.c_str());
    doc_.MarkUnsavedChanges(StepKind::ServiceInfo);
}
