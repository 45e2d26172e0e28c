#include "link/comm_link.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "model/texts.h"

namespace corvix {

CommLink::CommLink(IUserInterface* ui, CommNoticeFn notify)
    : ui_(ui), notify_(std::move(notify)), buffers_(std::make_shared<LinkBuffers>()) {}

CommLink::~CommLink() { CloseLink(); }

void CommLink::Show(const char* textUtf8) {
    if (ui_) ui_->ShowMessage(textUtf8, txt::AppName);
}

bool CommLink::ConfigurePort() { return port_ && port_->Configure(settings); }

bool CommLink::OpenLink(int uiLanguage) {
    if (connected_) return false;

    std::shared_ptr<SerialPort> port = factory_ ? factory_() : MakePosixSerialPort();
    if (!port) return false;
    if (!port->Open(settings.portName)) {
        lastOpenError_ = port->LastOpenError();
        lastOpenHolder_ = port->LastOpenHolder();
        return false;
    }
    lastOpenError_ = 0;
    port_ = port;
    // The driver's queues are the kernel's own and the write time-out is applied per write by
    // the port, so there is nothing to set between opening and programming the line.
    if (!ConfigurePort()) {
        port_->Close();
        port_.reset();
        Show(Pick(txt::OpenPortError, uiLanguage));
        return false;
    }
    auto worker = std::make_unique<CommWorker>(buffers_, notify_);
    if (!worker->Start(port_)) {
        Show(Pick(txt::OpenPortError, uiLanguage));
        port_->Close();
        port_.reset();
        return false;
    }
    worker_ = std::move(worker);
    connected_ = true;
    return true;
}

void CommLink::CloseLink() {
    if (!connected_) return;
    connected_ = false;
    const bool ended = worker_->Stop(std::chrono::milliseconds(WorkerStopWaitMs));
    worker_.reset();
    // A worker that overstayed still holds the port; closing the descriptor under it could
    // hand its number to another file. It closes when the worker lets go of it.
    if (ended) port_->Close();
    port_.reset();
}

void CommLink::Connect(int uiLanguage) {
    // The command is disabled while connected; clearing the buffers under a running worker
    // would lose the frame in flight, so a stray call changes nothing.
    if (connected_) return;
    buffers_->Clear();
    if (!OpenLink(uiLanguage))
        Show(WithAccessAdvice(Pick(txt::OpenPortErrorBang, uiLanguage), uiLanguage).c_str());
}

bool CommLink::ApplyPortName(const std::string& newName, int uiLanguage) {
    if (newName == settings.portName) return false;
    settings.portName = newName;
    if (connected_) {
        CloseLink();
        if (!OpenLink(uiLanguage))
            Show(WithAccessAdvice(Pick(txt::CannotOpenPort, uiLanguage), uiLanguage).c_str());
    }
    return true;
}

void CommLink::SubmitFrame(const uint8_t* bytes, std::size_t length) {
    if (worker_)
        worker_->Submit(bytes, length);
    else
        buffers_->Submit(bytes, length);
}

std::size_t CommLink::TakeReception(uint8_t* out, std::size_t capacity) {
    if (worker_) return worker_->TakeReception(out, capacity);
    return buffers_->Take(out, capacity);
}

std::string CommLink::LinkStatusText() const {
    if (!connected_) return "Off";
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, " Baudrate\xEF\xBC\x9A%d Databits:%d ", settings.baudRate,
                  settings.dataBits);
    return "On  " + settings.portName + numbers + "Stopbits:" + StopBitsText(settings.stopBits) +
           " Parity:" + ParityStatusText(settings.parity);
}

// When the device exists but we may not use it, say how to get the right: membership of the
// group that owns it (dialout on most systems).
std::string CommLink::WithAccessAdvice(const char* message, int uiLanguage) const {
    std::string text = message;
    if (lastOpenError_ == EBUSY) {
        if (lastOpenHolder_.empty()) return text + Pick(txt::PortInUse, uiLanguage);
        std::vector<char> out(std::strlen(Pick(txt::PortInUseBy, uiLanguage)) + lastOpenHolder_.size() + 1);
        std::snprintf(out.data(), out.size(), Pick(txt::PortInUseBy, uiLanguage), lastOpenHolder_.c_str());
        return text + out.data();
    }
    if (lastOpenError_ != EACCES) return text;
    std::string groupName = "dialout";
    struct stat st {};
    if (::stat(settings.portName.c_str(), &st) == 0 && st.st_gid != 0) {
        struct group grEntry {};
        struct group* found = nullptr;
        std::vector<char> scratch(4096);
        if (::getgrgid_r(st.st_gid, &grEntry, scratch.data(), scratch.size(), &found) == 0 && found &&
            found->gr_name && *found->gr_name)
            groupName = found->gr_name;
    }
    const char* advice = Pick(txt::PortAccessAdvice, uiLanguage);
    const int size = std::snprintf(nullptr, 0, advice, groupName.c_str(), groupName.c_str());
    if (size > 0) {
        std::vector<char> out(static_cast<std::size_t>(size) + 1);
        std::snprintf(out.data(), out.size(), advice, groupName.c_str(), groupName.c_str());
        text += out.data();
    }
    return text;
}

}  // namespace corvix
