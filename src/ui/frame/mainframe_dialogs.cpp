// The main window's commands and engine-host calls that are backed by dialogs and
// auxiliary windows: PC serial port, internal clock, event window, content, service mode.
#include <QWidget>

#include "link/comm_link.h"
#include "link/serial_port.h"
#include "model/texts.h"
#include "ui/frame/mainframe.h"

using namespace corvix;

void CMainFrame::OnPcSerialPort() {
    std::vector<std::string> names;
    const int count = EnumeratePorts(names, portListRoot);
    if (count <= 0) {
        ui_.ShowMessage(Pick(txt::NoSerialPort, doc_.uiLanguage), Pick(txt::SerialPortSetCaption, doc_.uiLanguage));
        return;
    }
    std::vector<std::string> byId;
    ListSerialById(byId, portByIdDir);
    names.insert(names.end(), byId.begin(), byId.end());
    const std::optional<std::string> chosen = ui_.AskPortName(names, link_->settings.portName, doc_.uiLanguage);
    if (!chosen) return;
    link_->ApplyPortName(*chosen, doc_.uiLanguage);
    RefreshStatusText();
}

void CMainFrame::OnInternalClock() {
    // The clock window is not there yet: the device clock is polled only while it is open.
}

void CMainFrame::OnEventWindow() {
    // No event window yet: the command only flips the shown state; the text is kept.
    eventWindowVisible = eventWindowVisible ? 0 : 1;
}

void CMainFrame::OnContent() {}

void CMainFrame::OnServiceMode() {}

void CMainFrame::RefreshClockWindow() {}

bool CMainFrame::ClockWindowOpen() const { return !clockWindow.isNull(); }

void CMainFrame::ShowDeviceTime(const std::string& text) { (void)text; }

void CMainFrame::ShowEventWindowForNewEvents() {
    if (eventWindow.isNull()) {
        autoShowEvents = 1;
        eventWindowVisible = 1;
    } else if (autoShowEvents != 0) {
        eventWindow->show();
        eventWindowVisible = 1;
    }
    UpdateCommandStates();
}

void CMainFrame::AppendEventText(const std::string& text) { eventText += text; }
