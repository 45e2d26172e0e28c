// SPDX-License-Identifier: Apache-2.0
// The simulated device's state and its answers: configuration image, clock, binary inputs,
// event store and output-test state. Works on whole request frames and returns whole reply
// frames; it does no I/O. All members are safe to call from several threads.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "devsim/device_clock.h"
#include "devsim/event_log.h"
#include "devsim/options.h"
#include "link/frame.h"
#include "model/record.h"

namespace corvix::sim {

using ConfigImage = std::array<uint8_t, ConfigImageSize>;

class SimDevice {
  public:
    explicit SimDevice(const DeviceSetup& setup = DeviceSetup{});

    // Answers one request frame that passed ValidateFrame. Returns the reply frame, or an
    // empty vector when the device does not answer (not a request, unknown function, a
    // configuration piece out of order, an invalid clock value).
    std::vector<uint8_t> HandleRequest(const uint8_t* frame, std::size_t size);

    // ---- configuration ----
    ConfigImage Image() const;
    void SetImage(const ConfigImage& image);
    uint8_t Address() const;  // the address byte of replies: low byte of the image's address

    // ---- inputs and events ----
    int SignalCount() const { return signalCount_; }
    std::vector<uint8_t> InputStates() const;
    // Sets input `index` (0-based); a change is logged as a new event. Returns false when the
    // index is out of range or the state was already so.
    bool SetInput(int index, bool on);
    // One input chosen by the seeded generator flips. Returns its index, -1 with no inputs.
    int ChangeRandomInput();
    // Logs an event for input `index` (any index; its designation comes from the image when it
    // has a name there) without touching the input's state. Returns the event number.
    uint16_t InjectEvent(int index, bool offToOn, bool markNew = true);
    // Logs an event exactly as given, apart from the number the device assigns.
    uint16_t InjectEvent(const WireEvent& e, bool markNew = true);
    std::string Designation(int index) const;  // GBK bytes, at most 32
    int StoredEventCount() const;
    int PendingEventCount() const;
    std::vector<WireEvent> StoredEvents() const;  // oldest first

    // ---- clock and output test ----
    ClockFields DeviceTime() const;
    bool SetDeviceTime(const ClockFields& c);
    void SetPcClock(DeviceClock::Source pcClock);
    uint8_t CpuFailureTest() const;

    int SegmentSize() const { return segmentSize_; }

  private:
    std::vector<uint8_t> Reply(uint8_t control, uint16_t segment, uint8_t type, uint8_t function,
                               const uint8_t* data, std::size_t length) const;
    std::vector<uint8_t> ReadConfigLocked(uint16_t segment) const;
    std::vector<uint8_t> WriteConfigLocked(uint8_t control, uint16_t segment, std::span<const uint8_t> data);
    std::vector<uint8_t> StatusLocked() const;
    std::vector<uint8_t> EventsLocked(uint8_t function, uint16_t segment);
    std::vector<uint8_t> OutputTestLocked(std::span<const uint8_t> data);
    std::string DesignationLocked(int index) const;
    // `at`: the event's time; the device clock's present time when null.
    uint16_t AddEventLocked(int index, bool offToOn, bool markNew, const ClockFields* at = nullptr);

    mutable std::mutex mutex_;
    DeviceRecord record_{};  // only the configuration image is used
    const int signalCount_;
    const int segmentSize_;
    uint8_t firmware_[3];
    std::vector<uint8_t> inputs_;
    std::mt19937 random_;
    DeviceClock clock_;
    EventLog events_;
    uint8_t cpuFailureTest_ = 0;

    // A configuration write in progress: pieces are kept here and applied after the last one.
    std::vector<uint8_t> writeStaging_;
    int lastAckedSegment_ = -1;  // a resent piece is acknowledged again, not appended twice
    bool writeOpen_ = false;

    // The request whose reply carried new events; anything else means the PC has them.
    std::vector<uint8_t> lastEventRequest_;
};

}  // namespace corvix::sim
