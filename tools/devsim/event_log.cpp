// SPDX-License-Identifier: Apache-2.0
#include "devsim/event_log.h"

#include <algorithm>

namespace corvix::sim {

uint16_t EventLog::Add(WireEvent e, bool markNew) {
    const int slot = nextSlot_;
    e.eventNumber = static_cast<uint16_t>(slot);
    slots_[slot] = e;
    nextSlot_ = (nextSlot_ + 1) % EventSlots;
    if (storedCount_ < EventSlots) ++storedCount_;
    if (markNew) {
        pending_.push_back(Entry{nextSerial_, e});
        // An unreported event whose slot has been reused is gone from the device as well.
        if (pending_.size() > static_cast<std::size_t>(EventSlots)) pending_.pop_front();
    }
    ++nextSerial_;
    return static_cast<uint16_t>(slot);
}

std::vector<WireEvent> EventLog::Stored() const {
    std::vector<WireEvent> out;
    out.reserve(static_cast<std::size_t>(storedCount_));
    const int first = storedCount_ < EventSlots ? 0 : nextSlot_;
    for (int i = 0; i < storedCount_; ++i) out.push_back(slots_[(first + i) % EventSlots]);
    return out;
}

std::vector<WireEvent> EventLog::Pending() const {
    std::vector<WireEvent> out;
    for (const Entry& p : pending_) out.push_back(p.event);
    return out;
}

void EventLog::BeginLogTransfer() {
    transfer_ = Transfer::Log;
    snapshot_.clear();
    for (const WireEvent& e : Stored()) snapshot_.push_back(Entry{0, e});
}

void EventLog::BeginNewEventsTransfer() {
    transfer_ = Transfer::NewEvents;
    snapshot_.assign(pending_.begin(), pending_.end());
}

EventLog::Piece EventLog::Serve(uint16_t segment) {
    if (transfer_ == Transfer::None) BeginLogTransfer();
    Piece piece;
    piece.total = snapshot_.size();
    const std::size_t begin = static_cast<std::size_t>(segment) * MaxEventsPerSegment;
    const std::size_t end = std::min(snapshot_.size(), begin + MaxEventsPerSegment);
    for (std::size_t i = begin; i < end; ++i) {
        piece.events.push_back(snapshot_[i].event);
        if (transfer_ == Transfer::NewEvents) servedSerial_ = std::max(servedSerial_, snapshot_[i].serial);
    }
    piece.more = end < snapshot_.size();
    return piece;
}

void EventLog::CommitReported() {
    while (!pending_.empty() && pending_.front().serial <= servedSerial_) pending_.pop_front();
    servedSerial_ = 0;
}

}  // namespace corvix::sim
