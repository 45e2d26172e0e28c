// SPDX-License-Identifier: Apache-2.0
// What each device holds, as far as this session knows: per device slot, a copy of the record
// as a configuration read brought it into the project or a write sent it. The list draws the
// values that differ from it. The copies follow their devices when devices are inserted or
// removed; a change of the device list that cannot be told apart from another drops the copies
// it can no longer place rather than pin them on the wrong device. Plain C++, no Qt.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "model/record.h"

namespace corvix {

struct Difference;  // model/compare.h

class DeviceStates {
  public:
    DeviceStates();
    ~DeviceStates();
    DeviceStates(const DeviceStates&) = delete;
    DeviceStates& operator=(const DeviceStates&) = delete;

    // Forgets every device's state (another project).
    void Clear();
    // Device `slot` of `project` now holds what the device holds (read into it, or written).
    void Set(int slot, const ProjectBlock& project);
    // Device `slot` holds `held` (written to it while the project went on being edited).
    void Set(int slot, const ProjectBlock& project, const DeviceRecord& held);
    // A write of `record` from `slot` began; once it completes (CommitWrite) that is the
    // device's state. A newer write replaces it.
    void BeginWrite(int slot, const DeviceRecord& record);
    void CommitWrite(const ProjectBlock& project);

    // The state of `slot`, or null when nothing was read from or written to it.
    const DeviceRecord* StateOf(int slot) const;
    // Keeps the states with their devices after a change of `now`'s device list (one device
    // inserted or removed per call); any other change of the count drops them all.
    void Follow(const ProjectBlock& now);

    // The configuration rows of device `slot` whose shown value differs from its state, as the
    // compare window lists them (deviceText: the device's value); none without a state.
    std::vector<Difference> Changed(const ProjectBlock& project, int slot, int uiLanguage) const;

  private:
    void Insert(int slot);
    void Remove(int slot);
    void Drop(int first, int last);  // the states of slots first..last
    bool Any() const;

    std::array<std::unique_ptr<DeviceRecord>, MaxDevices> states_;
    std::unique_ptr<DeviceRecord> pending_;  // the write under way
    int pendingSlot_ = -1;
    // The device list as last followed; kept only while there is a state to follow.
    std::unique_ptr<ProjectBlock> seen_;
};

}  // namespace corvix
