// A project device against the configuration a device holds: the rows of the configuration
// pages whose shown values differ, named and shown as the pages show them, and taking the
// device's value of a row into the project record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/record.h"

namespace corvix {

struct Difference {
    int32_t page = 0;  // the tree node of the page (NodeKind)
    int row = 0;       // the row on that page
    std::string pageName, field, projectText, deviceText;  // UTF-8, in the language asked for
};

// Every row of Device Address, Time Synchronization, both ports and the signal names whose
// shown value differs, in tree order; a signal row only one side has counts as differing.
std::vector<Difference> CompareRecords(const DeviceRecord& project, const DeviceRecord& device,
                                       int uiLanguage);

// Takes the device's value of one row into `project` (signal rows only the device has are
// appended up to that row, a row only the project has is removed). False when nothing could
// be taken. Rows may move afterwards: compare again before taking another.
bool TakeDeviceValue(DeviceRecord& project, const DeviceRecord& device, int32_t page, int row);
// Takes every compared value; true when any was taken.
bool TakeAllDeviceValues(DeviceRecord& project, const DeviceRecord& device);

}  // namespace corvix
