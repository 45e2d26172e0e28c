// The main frame's link: serial settings, open/configure/close of the port, the worker, and
// the Connect / Disconnect / port-name commands. Used from the UI thread only; the notice
// callback runs on the worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/comm_worker.h"
#include "link/engine.h"
#include "link/serial_port.h"
#include "model/doc.h"

namespace corvix {

class CommLink : public IFrameSink {
  public:
    using PortFactory = std::function<std::shared_ptr<SerialPort>()>;

    explicit CommLink(IUserInterface* ui = nullptr, CommNoticeFn notify = {});
    ~CommLink() override;
    CommLink(const CommLink&) = delete;
    CommLink& operator=(const CommLink&) = delete;

    SerialSettings settings;

    void SetUserInterface(IUserInterface* ui) { ui_ = ui; }
    // Takes effect at the next OpenLink.
    void SetNoticeHandler(CommNoticeFn notify) { notify_ = std::move(notify); }
    // Where OpenLink gets its port object; tests hand in a fake. Empty = POSIX termios port.
    void SetPortFactory(PortFactory factory) { factory_ = std::move(factory); }

    // Opens and programs the port and starts the worker. False when already connected or on
    // any failure; a refused configuration or a thread that cannot start shows
    // "Open Serial Port Error" (the port is closed again), a port that cannot be opened
    // shows nothing here.
    bool OpenLink(int uiLanguage);
    // Programs the open port with `settings`.
    bool ConfigurePort();
    // Stops the worker (waiting at most 3000 ms) and closes the port. Nothing when not
    // connected. The shared buffers keep their contents.
    void CloseLink() override;

    // "Connect with Device": clears the buffers' flags and lengths, then OpenLink; on failure
    // "Open serial port error" (with advice when the device refused us for lack of rights,
    // and the program holding it when it is in use).
    void Connect(int uiLanguage);
    // "Disconnect with Device".
    void Disconnect() { CloseLink(); }
    // A port name chosen in the settings dialog. Returns true if it differed from portName
    // (exact byte comparison). While connected the link is reopened on the new port at once;
    // if that fails, "Can not open serial port".
    bool ApplyPortName(const std::string& newName, int uiLanguage);

    bool IsConnected() const override { return connected_; }
    void SubmitFrame(const uint8_t* bytes, std::size_t length) override;
    // Copies the announced reception out (at most `capacity` bytes) and clears rxReady.
    std::size_t TakeReception(uint8_t* out, std::size_t capacity);

    // Status-bar pane: "Off", or "On  <port> Baudrate：<b> Databits:<d> Stopbits:<s> Parity:<p>".
    std::string LinkStatusText() const;

    // errno of the last failed open (0 after a successful one).
    int LastOpenError() const { return lastOpenError_; }
    // The running worker (null when disconnected); tests read its counters.
    const CommWorker* Worker() const { return worker_.get(); }
    LinkBuffers& Buffers() { return *buffers_; }

  private:
    void Show(const char* textUtf8);
    std::string WithAccessAdvice(const char* message, int uiLanguage) const;

    IUserInterface* ui_;
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
