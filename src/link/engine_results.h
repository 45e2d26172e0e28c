// SPDX-License-Identifier: Apache-2.0
// What the protocol engine reports. Every reply, time-out and failure becomes one of these;
// front ends decide what it means to their user (a message box, a page refill, an exit code).
#pragma once

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "link/frame.h"
#include "link/frame_check.h"
#include "model/local_time.h"

namespace corvix {

// The fields of a local time the device clock carries.
inline ClockFields ClockFieldsOf(const LocalTime& t) {
    return ClockFields{t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond};
}

enum class Operation : uint8_t {
    None,
    Status,
    ClockRead,
    ClockSet,
    ConfigRead,
    ConfigWrite,
    OutputTest,
    EventLog,
    NewEvents
};

enum class FailReason : uint8_t {
    NoAnswer,    // four sends went unanswered: the engine gave up and closed the link
    SendFailed,  // the worker could not write the frame
    Refused,     // the device's answer cannot be used (an event segment of more than 20 events)
};

struct FrameSent {
    std::vector<uint8_t> bytes;
    int repeat = 0;  // 0 for the first send, 1..3 for resends
};
struct FrameReceived {
    std::vector<uint8_t> bytes;
    FrameVerdict verdict = FrameVerdict::Good;
    ReplyMatch match = ReplyMatch::NoRequest;  // meaningful for a good frame only
};
// The document's live status bytes and firmware version were updated.
struct StatusUpdated {
    std::size_t inputCount = 0;  // states the reply carried (clamped to the live status size)
    bool newEvents = false;      // the device announced new events; the engine fetches them
};
// A whole configuration image arrived and went to every project device with its address.
struct ConfigurationReceived {
    uint8_t address = 0;
    std::vector<int> devicesUpdated;  // indexes into the project's devices
};
// A whole configuration image read into a record of its own (FetchConfiguration); no project
// device took it. Only the configuration image's part of the record is filled.
struct ConfigurationFetched {
    uint8_t address = 0;
    std::shared_ptr<const DeviceRecord> record;
};
struct ConfigurationWritten {};
struct ClockRead {
    ClockFields time;
};
struct ClockSet {};
struct OutputTestDone {
    int state =
        -1;  // the state the device reports (also stored in the document), -1 for a bare acknowledgement
};
// The stored event log is complete in the current device.
struct EventLogReceived {
    int count = 0;
};
// One reply to a new-events request (possibly empty when the device's segment was refused).
struct NewEvents {
    std::vector<WireEvent> events;
};
struct OperationFailed {
    Operation operation = Operation::None;
    FailReason reason = FailReason::NoAnswer;
};
// The port reported a hang-up (an unplugged adapter, a closed pty).
struct LinkLost {};
// The session opened the lost port again (reconnect on) and polls it.
struct LinkRestored {};

using EngineResult =
    std::variant<FrameSent, FrameReceived, StatusUpdated, ConfigurationReceived, ConfigurationFetched,
                 ConfigurationWritten, ClockRead, ClockSet, OutputTestDone, EventLogReceived, NewEvents,
                 OperationFailed, LinkLost, LinkRestored>;

}  // namespace corvix
