// SPDX-License-Identifier: Apache-2.0
#include "model/device_states.h"

#include <cstring>

#include "model/compare.h"

namespace corvix {
namespace {

bool Same(const DeviceRecord& a, const DeviceRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

DeviceStates::DeviceStates() = default;
DeviceStates::~DeviceStates() = default;

void DeviceStates::Clear() {
    for (auto& state : states_) state.reset();
    pending_.reset();
    pendingSlot_ = -1;
    seen_.reset();
}

bool DeviceStates::Any() const {
    if (pending_) return true;
    for (const auto& state : states_)
        if (state) return true;
    return false;
}

void DeviceStates::Set(int slot, const ProjectBlock& project) {
    if (slot < 0 || slot >= project.DeviceCountClamped()) return;
    if (!seen_) seen_ = std::make_unique<ProjectBlock>(project);
    states_[slot] = std::make_unique<DeviceRecord>(project.devices[slot]);
}

void DeviceStates::Set(int slot, const ProjectBlock& project, const DeviceRecord& held) {
    if (slot < 0 || slot >= project.DeviceCountClamped()) return;
    if (!seen_) seen_ = std::make_unique<ProjectBlock>(project);
    states_[slot] = std::make_unique<DeviceRecord>(held);
}

void DeviceStates::BeginWrite(int slot, const DeviceRecord& record) {
    if (slot < 0 || slot >= MaxDevices) {
        pending_.reset();
        pendingSlot_ = -1;
        return;
    }
    pending_ = std::make_unique<DeviceRecord>(record);
    pendingSlot_ = slot;
}

void DeviceStates::CommitWrite(const ProjectBlock& project) {
    // The device list may have changed while the write was under way; Follow kept the slot.
    if (pending_ && pendingSlot_ >= 0 && pendingSlot_ < project.DeviceCountClamped()) {
        if (!seen_) seen_ = std::make_unique<ProjectBlock>(project);
        states_[pendingSlot_] = std::move(pending_);
    }
    pending_.reset();
    pendingSlot_ = -1;
}

const DeviceRecord* DeviceStates::StateOf(int slot) const {
    return slot >= 0 && slot < MaxDevices ? states_[slot].get() : nullptr;
}

void DeviceStates::Insert(int slot) {
    for (int i = MaxDevices - 1; i > slot; --i) states_[i] = std::move(states_[i - 1]);
    states_[slot].reset();
    if (pending_ && pendingSlot_ >= slot) ++pendingSlot_;
}

void DeviceStates::Remove(int slot) {
    for (int i = slot; i + 1 < MaxDevices; ++i) states_[i] = std::move(states_[i + 1]);
    states_[MaxDevices - 1].reset();
    if (pending_ && pendingSlot_ == slot) {
        pending_.reset();
        pendingSlot_ = -1;
    } else if (pending_ && pendingSlot_ > slot) {
        --pendingSlot_;
    }
}

void DeviceStates::Drop(int first, int last) {
    for (int i = first; i <= last && i < MaxDevices; ++i) {
        states_[i].reset();
        if (pendingSlot_ == i) {
            pending_.reset();
            pendingSlot_ = -1;
        }
    }
}

void DeviceStates::Follow(const ProjectBlock& now) {
    if (!Any()) {
        seen_.reset();
        return;
    }
    if (!seen_) {
        seen_ = std::make_unique<ProjectBlock>(now);
        return;
    }
    const ProjectBlock& seen = *seen_;
    const int n = seen.DeviceCountClamped();
    const int m = now.DeviceCountClamped();
    if (m == n + 1) {
        // Inserted at some slot p: the slots before it are as they were, the later ones moved
        // up by one. The first differing slot k is p, or a later one when the inserted
        // record equals those after p; then the run of equal records cannot say which is new.
        int k = 0;
        while (k < n && Same(now.devices[k], seen.devices[k])) ++k;
        bool shifted = true;
        for (int j = k; j < n && shifted; ++j) shifted = Same(now.devices[j + 1], seen.devices[j]);
        if (!shifted) {
            Drop(0, MaxDevices - 1);
        } else {
            int first = k;
            while (first > 0 && Same(now.devices[first - 1], now.devices[k])) --first;
            Insert(k);
            if (first < k) Drop(first, k);
        }
    } else if (m == n - 1) {
        int k = 0;
        while (k < m && Same(now.devices[k], seen.devices[k])) ++k;
        bool shifted = true;
        for (int j = k; j < m && shifted; ++j) shifted = Same(now.devices[j], seen.devices[j + 1]);
        if (!shifted) {
            Drop(0, MaxDevices - 1);
        } else {
            int first = k;
            while (first > 0 && Same(seen.devices[first - 1], seen.devices[k])) --first;
            Remove(k);
            if (first < k) Drop(first, k - 1);
        }
    } else if (m != n) {
        Drop(0, MaxDevices - 1);
    }
    if (m < MaxDevices) Drop(m, MaxDevices - 1);
    if (Any())
        *seen_ = now;
    else
        seen_.reset();
}

std::vector<Difference> DeviceStates::Changed(const ProjectBlock& project, int slot, int uiLanguage) const {
    const DeviceRecord* state = StateOf(slot);
    if (state == nullptr || slot >= project.DeviceCountClamped()) return {};
    std::vector<Difference> rows = CompareRecords(project.devices[slot], *state, uiLanguage);
    for (Difference& d : rows) d.device = slot;
    return rows;
}

}  // namespace corvix
