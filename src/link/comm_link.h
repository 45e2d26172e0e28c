// SPDX-License-Identifier: Apache-2.0
// The link: serial settings, open/configure/close of the port, the worker, and the Connect /
// Disconnect / port-name commands. Used from the host's thread only; the notice callback runs
// on the worker thread. It reports what happened; front ends say it to their user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/comm_worker.h"
#include "link/engine.h"
#include "link/serial_port.h"

namespace corvix {

// How an attempt to open the link ended.
enum class LinkOpen {
    Opened,
    AlreadyOpen,      // nothing was done
    CannotOpen,       // the port could not be opened (LastOpenError() tells why)
    CannotConfigure,  // the line settings were refused; the port is closed again
    CannotStart,      // the worker could not start; the port is closed again
};

// A port name chosen in the settings dialog.
struct PortChange {
    bool changed = false;                // it differed from portName (exact bytes)
    bool reopened = false;               // the link was open and has been reopened on it
    LinkOpen reopen = LinkOpen::Opened;  // how the reopen ended (when reopened)
};

// A port opened and programmed by CommLink::PreparePort, not yet driven by a worker.
struct PreparedPort {
    std::shared_ptr<SerialPort> port;  // null when no port object could be had
    LinkOpen result = LinkOpen::CannotOpen;  // Opened, CannotOpen or CannotConfigure
    int error = 0;
    std::string holder;
};

class CommLink : public IFrameSink {
  public:
    using PortFactory = std::function<std::shared_ptr<SerialPort>()>;

    explicit CommLink(CommNoticeFn notify = {});
    ~CommLink() override;
    CommLink(const CommLink&) = delete;
    CommLink& operator=(const CommLink&) = delete;

    SerialSettings settings;

    // Takes effect at the next OpenLink.
    void SetNoticeHandler(CommNoticeFn notify) { notify_ = std::move(notify); }
    // Where OpenLink gets its port object; tests hand in a fake. Empty = by the port name: a
    // serial server for tcp:// and rfc2217:// names, the termios port for a device path.
    void SetPortFactory(PortFactory factory) { factory_ = std::move(factory); }
    const PortFactory& Factory() const { return factory_; }

    // Opens and programs the port and starts the worker; `cancelFd` turning readable calls off
    // a slow open (see PreparePort).
    LinkOpen OpenLink(int cancelFd = -1);
    // The slow half of OpenLink (a network port can take seconds): opens and programs the
    // port for `settings`. Touches no link, so it may run on any thread; `cancelFd` turning
    // readable calls it off (see SerialPort::SetOpenCancelFd).
    static PreparedPort PreparePort(const SerialSettings& settings, const PortFactory& factory,
                                    int cancelFd = -1);
    // The rest, on the link's thread: clears the buffers and starts the worker on a prepared
    // port, or records why it failed. While connected the port is closed (AlreadyOpen).
    LinkOpen ConnectPrepared(PreparedPort prepared);
    // Programs the open port with `settings`.
    bool ConfigurePort();
    // Stops the worker (waiting at most 3000 ms) and closes the port. Nothing when not
    // connected. The shared buffers keep their contents.
    void CloseLink() override;

    // "Connect with Device": clears the buffers' flags and lengths, then OpenLink. While
    // connected it changes nothing (AlreadyOpen).
    LinkOpen Connect(int cancelFd = -1);
    // "Disconnect with Device".
    void Disconnect() { CloseLink(); }
    // Stores a new port name; while connected the link is reopened on it at once.
    PortChange ApplyPortName(const std::string& newName);

    bool IsConnected() const override { return connected_; }
    void SubmitFrame(const uint8_t* bytes, std::size_t length) override;
    // Copies the announced reception out (at most `capacity` bytes) and clears rxReady.
    std::size_t TakeReception(uint8_t* out, std::size_t capacity);
    // The same for a host that takes every waiting reception per notice; `more` says whether
    // another one waits (see LinkBuffers::TakeNext).
    std::size_t TakeNextReception(uint8_t* out, std::size_t capacity, bool& more);

    // Status-bar pane: "Off", or "On  <port> Baudrate：<b> Databits:<d> Stopbits:<s> Parity:<p>".
    std::string LinkStatusText() const;

    // errno of the last failed open (0 after a successful one); a network port also gives
    // the NetError* codes of link/net_port.h, also when the server went while the line was
    // being set up (CannotConfigure).
    int LastOpenError() const { return lastOpenError_; }
    // The running worker (null when disconnected); tests read its counters.
    const CommWorker* Worker() const { return worker_.get(); }
    LinkBuffers& Buffers() { return *buffers_; }

    // The group that owns the port's device node ("dialout" when it cannot be told), for the
    // advice after a refused open.
    std::string PortGroupName() const;
    // Who holds the port when the last open was refused as in use (EBUSY): "name (PID n)",
    // or empty when it cannot be told.
    const std::string& LastOpenHolder() const { return lastOpenHolder_; }

  private:
    LinkOpen StartOn(PreparedPort prepared);

    CommNoticeFn notify_;
    PortFactory factory_;
    std::shared_ptr<LinkBuffers> buffers_;
    std::shared_ptr<SerialPort> port_;
    std::unique_ptr<CommWorker> worker_;
    bool connected_ = false;
    int lastOpenError_ = 0;
    std::string lastOpenHolder_;  // who holds the port when the open was refused with EBUSY
};

}  // namespace corvix
