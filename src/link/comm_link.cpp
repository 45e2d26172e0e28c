// SPDX-License-Identifier: Apache-2.0
#include "link/comm_link.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "link/net_port.h"

namespace corvix {

CommLink::CommLink(CommNoticeFn notify)
    : notify_(std::move(notify)), buffers_(std::make_shared<LinkBuffers>()) {}

CommLink::~CommLink() { CloseLink(); }

bool CommLink::ConfigurePort() { return port_ && port_->Configure(settings); }

LinkOpen CommLink::OpenLink(int cancelFd) {
    if (connected_) return LinkOpen::AlreadyOpen;
    return StartOn(PreparePort(settings, factory_, cancelFd));
}

PreparedPort CommLink::PreparePort(const SerialSettings& settings, const PortFactory& factory, int cancelFd) {
    PreparedPort out;
    out.port = factory ? factory() : MakePortFor(settings.portName);
    if (!out.port) return out;
    // The descriptor belongs to the caller and may be closed once this returns.
    struct Cancel {
        SerialPort& port;
        ~Cancel() { port.SetOpenCancelFd(-1); }
    } cancel{*out.port};
    out.port->SetOpenCancelFd(cancelFd);
    if (!out.port->Open(settings.portName)) {
        out.error = out.port->LastOpenError();
        out.holder = out.port->LastOpenHolder();
        return out;
    }
    // The driver's queues are the kernel's own and the write time-out is applied per write by
    // the port, so there is nothing to set between opening and programming the line.
    if (!out.port->Configure(settings)) {
        // A serial device server may have closed the connection meanwhile; a tty says 0.
        out.error = out.port->LastOpenError();
        out.port->Close();
        out.result = LinkOpen::CannotConfigure;
        return out;
    }
    out.result = LinkOpen::Opened;
    return out;
}

LinkOpen CommLink::ConnectPrepared(PreparedPort prepared) {
    if (connected_) {
        if (prepared.port && prepared.result == LinkOpen::Opened) prepared.port->Close();
        return LinkOpen::AlreadyOpen;
    }
    buffers_->Clear();
    return StartOn(std::move(prepared));
}

LinkOpen CommLink::StartOn(PreparedPort prepared) {
    if (!prepared.port) return LinkOpen::CannotOpen;
    lastOpenError_ = prepared.error;
    if (prepared.result != LinkOpen::Opened) {
        if (prepared.result == LinkOpen::CannotOpen) lastOpenHolder_ = prepared.holder;
        return prepared.result;
    }
    auto worker = std::make_unique<CommWorker>(buffers_, notify_);
    if (!worker->Start(prepared.port)) {
        prepared.port->Close();
        return LinkOpen::CannotStart;
    }
    port_ = std::move(prepared.port);
    worker_ = std::move(worker);
    connected_ = true;
    return LinkOpen::Opened;
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

LinkOpen CommLink::Connect(int cancelFd) {
    // The command is disabled while connected; clearing the buffers under a running worker
    // would lose the frame in flight, so a stray call changes nothing.
    if (connected_) return LinkOpen::AlreadyOpen;
    buffers_->Clear();
    return OpenLink(cancelFd);
}

PortChange CommLink::ApplyPortName(const std::string& newName) {
    PortChange change;
    if (newName == settings.portName) return change;
    change.changed = true;
    settings.portName = newName;
    if (connected_) {
        CloseLink();
        change.reopened = true;
        change.reopen = OpenLink();
    }
    return change;
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

std::size_t CommLink::TakeNextReception(uint8_t* out, std::size_t capacity, bool& more) {
    if (worker_) return worker_->TakeNextReception(out, capacity, more);
    bool wasFull;
    std::lock_guard<std::mutex> g(buffers_->rxLock);
    return buffers_->TakeNext(out, capacity, more, wasFull);
}

std::string CommLink::LinkStatusText() const {
    if (!connected_) return "Off";
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, " Baudrate\xEF\xBC\x9A%d Databits:%d ", settings.baudRate,
                  settings.dataBits);
    return "On  " + settings.portName + numbers + "Stopbits:" + StopBitsText(settings.stopBits) +
           " Parity:" + ParityStatusText(settings.parity);
}

std::string CommLink::PortGroupName() const {
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
    return groupName;
}

}  // namespace corvix
