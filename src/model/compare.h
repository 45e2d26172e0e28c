// SPDX-License-Identifier: Apache-2.0
// The one diff over two records, page by page and field by field, named and shown as the
// pages show them. Compare With Device lists the configuration a device read carries; Compare
// With File and `corvix-cli diff` list everything two project files hold, also the device
// identity, the event log and, as one row, the bytes no page shows. Taking the other side's
// value of a configuration row writes it into the project record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/doc.h"
#include "model/record.h"

namespace corvix {

// Pages of diff rows that no parameter page shows.
inline constexpr int32_t DiffProjectPage = KindProject;     // row 0: the project name
inline constexpr int32_t DiffDevicePage = KindDeviceFirst;  // rows: name, type, serial number
inline constexpr int32_t DiffOtherBytesPage = 0;            // bytes no row shows
inline constexpr int DiffRowPresent = -1;  // DiffDevicePage: a device only one side holds

struct Difference {
    int32_t page = 0;  // the tree node of the page (NodeKind) or one of the Diff*Page values
    int row = 0;       // the row on that page (event rows: the slot in the log)
    // UTF-8, in the language asked for; projectText is the left side, deviceText the right.
    std::string pageName, field, projectText, deviceText;
    int device = -1;  // the device slot (the left side's); -1 for rows of the project itself
};

// One row of a record as the diff and the line text name it.
struct RecordRow {
    int32_t page = 0;
    int row = 0;
    std::string pageName, field, value;
};

// Which rows of a device a listing holds.
struct RowScope {
    bool identity = false;  // device name, type and serial number
    bool config = true;     // Device Address, Time Synchronization, both ports, signal names
    bool events = false;    // the event log, one row per stored event, oldest first
    bool showCodes = false;  // a choice stored without a text shows its number
};

// The rows of `rec` in `scope`, in tree order (identity first, events last).
std::vector<RecordRow> DeviceRows(const DeviceRecord& rec, int uiLanguage, const RowScope& scope);

// Every row of Device Address, Time Synchronization, both ports and the signal names whose
// shown value differs, in tree order; a signal row only one side has counts as differing.
std::vector<Difference> CompareRecords(const DeviceRecord& project, const DeviceRecord& device,
                                       int uiLanguage);

// Two device records as whole: identity, configuration, event log (events paired by slot), and
// one DiffOtherBytesPage row when bytes that no listed row explains differ. Rows have device -1.
std::vector<Difference> DiffDevices(const DeviceRecord& left, const DeviceRecord& right, int uiLanguage);

// Two projects: the project name, the devices paired by slot (a slot only one side holds is
// one DiffRowPresent row), and the bytes no row shows, as DiffDevices does.
std::vector<Difference> DiffProjects(const ProjectBlock& left, const ProjectBlock& right, int uiLanguage);

// Takes the device's value of one row into `project` (signal rows only the device has are
// appended up to that row, a row only the project has is removed). False when nothing could
// be taken, also for rows that are not configuration. Rows may move afterwards: compare again
// before taking another.
bool TakeDeviceValue(DeviceRecord& project, const DeviceRecord& device, int32_t page, int row);
// Takes every compared value; true when any was taken.
bool TakeAllDeviceValues(DeviceRecord& project, const DeviceRecord& device);
// Whether TakeDeviceValue takes rows of `page`.
bool CanTakePage(int32_t page);

}  // namespace corvix
