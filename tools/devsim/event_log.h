// SPDX-License-Identifier: Apache-2.0
// The device's event store: a ring of 500 numbered slots, the events not yet reported to the
// PC, and the snapshot a multi-segment event transfer is served from.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "link/frame.h"

namespace corvix::sim {

inline constexpr int EventSlots = 500;

class EventLog {
  public:
    // Stores the event in the next slot (its number is that slot) and marks it new.
    // Returns the event number.
    uint16_t Add(WireEvent e, bool markNew = true);

    int StoredCount() const { return storedCount_; }
    int PendingCount() const { return static_cast<int>(pending_.size()); }
    // Stored events, oldest first.
    std::vector<WireEvent> Stored() const;
    std::vector<WireEvent> Pending() const;

    // ---- transfers ----
    struct Piece {
        std::vector<WireEvent> events;  // at most MaxEventsPerSegment
        bool more = false;              // further segments remain
        std::size_t total = 0;          // events in the whole transfer
    };
    // Segment 0 of a log read takes a snapshot of the stored events, oldest first.
    void BeginLogTransfer();
    // Segment 0 of a new-events read takes a snapshot of the events not yet reported.
    void BeginNewEventsTransfer();
    // Segment k of the transfer under way (a log snapshot when none is).
    Piece Serve(uint16_t segment);
    // The PC has moved on: events of the new-events transfer served so far count as reported.
    // Until then a resent request gets the same events again.
    void CommitReported();

  private:
    struct Entry {
        uint64_t serial;
        WireEvent event;
    };
    WireEvent slots_[EventSlots] = {};
    int storedCount_ = 0;
    int nextSlot_ = 0;
    uint64_t nextSerial_ = 1;
    std::deque<Entry> pending_;

    enum class Transfer { None, Log, NewEvents };
    Transfer transfer_ = Transfer::None;
    std::vector<Entry> snapshot_;
    uint64_t servedSerial_ = 0;  // highest serial of new events served and not yet committed
};

}  // namespace corvix::sim
