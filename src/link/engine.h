// The protocol engine: device operations, waiting, resends and give-up, reply handling and
// event retrieval. Driven by calls (timer ticks, worker notices, operations); it acts on the
// screen only through IEngineHost and on the line only through IFrameSink. No threads here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "link/frame.h"
#include "model/doc.h"

namespace corvix {

// The link side: the worker's transmit buffer and the open/close state.
class IFrameSink {
  public:
    virtual ~IFrameSink() = default;
    // Copies the frame into txBuffer and raises txPending (does not wait).
    virtual void SubmitFrame(const uint8_t* bytes, std::size_t length) = 0;
    virtual bool IsConnected() const = 0;
    virtual void CloseLink() = 0;
};

// Screen effects of the engine. The main window implements it; the CLI and tests fake it.
class IEngineHost {
  public:
    virtual ~IEngineHost() = default;
    // One communication-bar entry, already laid out ("send-->repeat=0\r\n58 07 ... \r\n").
    virtual void AppendCommLog(const std::string& entry) = 0;
    // Modal message (UTF-8). Timers keep running while it shows.
    virtual void ShowMessage(const std::string& textUtf8, const std::string& captionUtf8) = 0;
    virtual void RefreshInputStates() = 0;      // Matrix I/O Status page, State column only
    virtual void FillEventLogPage() = 0;        // Event Log page
    virtual void FillCpuSupervisionPage() = 0;  // Test CPU Supervision page
    virtual bool ClockWindowOpen() const = 0;
    virtual void ShowDeviceTime(const std::string& text) = 0;  // clock window's device-time box
    // Step 1 of a new-events reply: create/show the event window by its rules.
    virtual void ShowEventWindowForNewEvents() = 0;
    // Append text (UTF-8, "\r\n" line ends) to the event window and scroll to its last line.
    virtual void AppendEventText(const std::string& text) = 0;
};

// A host that shows nothing: headless drivers override only the effects they look at.
class SilentEngineHost : public IEngineHost {
  public:
    void AppendCommLog(const std::string&) override {}
    void ShowMessage(const std::string&, const std::string&) override {}
    void RefreshInputStates() override {}
    void FillEventLogPage() override {}
    void FillCpuSupervisionPage() override {}
    bool ClockWindowOpen() const override { return false; }
    void ShowDeviceTime(const std::string&) override {}
    void ShowEventWindowForNewEvents() override {}
    void AppendEventText(const std::string&) override {}
};

// The PC's local time, injectable for tests.
struct LocalTime {
    int year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
LocalTime SystemLocalTime();

class ProtocolEngine {
  public:
    ProtocolEngine(CBrondaleDoc& doc, IFrameSink& sink, IEngineHost& host);

    // ---- operations (each replaces an outstanding request) ----
    // Transfers set transferBusy when they start; a single request ends any transfer it
    // replaces, so it clears transferBusy.
    void PollStatus();
    void ReadDeviceTime();
    void ReadConfiguration(int segment);   // -1: start at segment 0; sets transferBusy
    void WriteConfiguration(int segment);  // -1: start with currentDevice's image; sets transferBusy
    void SetDeviceTime();                  // sends timeToSet
    void ExecuteOutputTest();              // sends doc.cpuFailureTest
    void ReadEventLog(int segment);        // -1: start at segment 0; sets transferBusy
    void ReadNewEvents();                  // sets transferBusy

    // ---- drivers ----
    void OnTimer(int id);  // 1: poll (3 s), 2: nothing (10 s), 3: time-out rule (1 s)
    void OnSent(const uint8_t* bytes, std::size_t length);      // WM_COMM_SENT, the bytes written
    void OnSendFailed();                                        // WM_COMM_SEND_FAILED
    void OnReceived(const uint8_t* bytes, std::size_t length);  // WM_COMM_RECEIVED

    // Text of a device-time or PC-time box in the order of dateFormat.
    static std::string FormatClock(int dateFormat, int year, int month, int day, int hour, int minute,
                                   int second);

    // ---- state (the frame's members in the original design) ----
    bool awaitingReply = false;
    int tickCount = 0;
    int repeatCount = 0;
    bool transferBusy = false;
    LocalTime timeToSet;
    int dateFormat = DateChina;
    std::function<LocalTime()> localClock = SystemLocalTime;

    // The two event-window lines of one event, in the given date order and language (UTF-8).
    static std::string FormatEventText(const WireEvent& e, int dateFormat, int uiLanguage);

    // The frame last built (kept for resends).
    const uint8_t* OutgoingFrame() const { return outgoing_; }
    std::size_t OutgoingSize() const { return outgoingSize_; }
    // True while the give-up message is showing.
    bool MessageGuard() const { return messageGuard_; }

  private:
    void Send(uint8_t control, uint16_t segment, uint8_t type, uint8_t function, const uint8_t* data,
              std::size_t dataLength);
    void ResendFrame();
    void ClearWaiting();
    void TimeOutTick();
    bool OutgoingIs(uint8_t type, uint8_t function) const;
    uint16_t OutgoingSegment() const;
    void DispatchReply(const FrameHeader& h, std::span<const uint8_t> data);
    void OnConfigPiece(const FrameHeader& h, std::span<const uint8_t> data);
    void OnStatus(std::span<const uint8_t> data);
    void OnClock(std::span<const uint8_t> data);
    void OnOutputTest(std::span<const uint8_t> data);
    void OnEventLog(const FrameHeader& h, std::span<const uint8_t> data);
    void OnNewEvents(const FrameHeader& h, std::span<const uint8_t> data);

    CBrondaleDoc& doc_;
    IFrameSink& sink_;
    IEngineHost& host_;
    uint8_t outgoing_[MaxFrameSize] = {};
    std::size_t outgoingSize_ = 0;
    ConfigStaging staging_;
    bool messageGuard_ = false;
};

}  // namespace corvix
