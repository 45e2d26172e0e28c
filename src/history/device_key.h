// SPDX-License-Identifier: Apache-2.0
// Where a device's settings live in the history repository, and what its file holds.
//
// A device whose serial number is set (service dialog) is known by it wherever it is kept:
// devices/<type>/<serial>.json. Any other device belongs to its project and slot:
// projects/<project id>/<slot>.json, the project id being a random number kept in a small
// file beside the project (FILE.mac.corvix-id), so the project file itself stays untouched.
// When that file is lost (the project was moved alone), the project is found again by its
// content: the project whose recorded files equal the devices of the file as it was loaded.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/record.h"

namespace corvix::history {

// The settings of one device as the history keeps them: its canonical JSON with the event log
// left out (events come and go; they are not settings), so a read of unchanged settings gives
// the same bytes.
std::string SettingsJson(const DeviceRecord& rec, int slot);
// The record a settings file holds; null when the text is no device export.
std::unique_ptr<DeviceRecord> RecordFromSettings(std::string_view json);
// A device as the history would keep it (its settings only, the event log left out), for
// comparing it with a recorded state.
std::unique_ptr<DeviceRecord> AsRecorded(const DeviceRecord& rec, int slot);

// "devices/<type>/<serial>.json" when the serial number is set, else empty. Characters a
// path or a git ref name cannot hold become '_'.
std::string SerialPath(const DeviceRecord& rec);
std::string ProjectDevicePath(const std::string& projectId, int slot);
// A path component made safe for a file name and a ref name.
std::string SafeComponent(std::string_view utf8);

// 32 lower-case hex digits from the system's random source.
std::string NewProjectId();
bool IsProjectId(std::string_view text);
std::string SidecarPath(const std::string& projectFile);
std::optional<std::string> ReadSidecar(const std::string& projectFile);
bool WriteSidecar(const std::string& projectFile, const std::string& id);

}  // namespace corvix::history
