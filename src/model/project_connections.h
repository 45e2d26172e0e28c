// SPDX-License-Identifier: Apache-2.0
// Per-device connections of a project: a port name and line settings for each device that does
// not use the common port. They live in a human-readable JSON file beside the project
// (plant.mac -> plant.corvix.json) so the project file itself stays as it is. Entries name
// their device by slot and name; a device keeps its entry when it moves (matched by name) or is
// renamed in place (matched by slot).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/record.h"

namespace corvix {

// Line settings with the codes of the serial settings (stop bits 0/1/2 = 1/1.5/2, parity
// 0/1/2 = none/even/odd).
struct DeviceConnection {
    std::string port;
    int baudRate = 57600;
    int dataBits = 8;
    int stopBits = 0;
    int parity = 0;
    bool operator==(const DeviceConnection&) const = default;
};

struct ConnectionEntry {
    int slot = 0;
    std::string nameGbk;
    DeviceConnection line;
};

class ProjectConnections {
  public:
    enum class Load { Missing, Loaded, Corrupt };

    // NAME.mac -> NAME.corvix.json (any other name gets the suffix added).
    static std::string SidecarPath(const std::string& projectPath);

    // Reads the file beside `projectPath`. A missing file is no entries; a file that cannot be
    // used leaves no entries and is not overwritten by a later save unless entries are set.
    Load LoadFor(const std::string& projectPath, std::string* reason = nullptr);
    // Writes the entries that still match a device, atomically, beside `projectPath`. With no
    // entries, a file is written only where one exists already (so removing the last entry
    // reaches the disk, and a project without connections gets no file).
    bool SaveFor(const std::string& projectPath, const ProjectBlock& project, std::string* reason = nullptr) const;

    // The entry of device `slot`, if any.
    std::optional<DeviceConnection> For(const ProjectBlock& project, int slot) const;
    void Set(const ProjectBlock& project, int slot, const DeviceConnection& line);
    // Back to the common port; false when the device had no entry.
    bool Clear(const ProjectBlock& project, int slot);
    void Reset() { *this = ProjectConnections{}; }
    // One entry per device that has one, by slot, with the device's present name.
    std::vector<ConnectionEntry> Resolved(const ProjectBlock& project) const;

    // The file's text for the resolved entries, and its reading (false with `reason`).
    static std::string ToJson(const std::vector<ConnectionEntry>& entries);
    static bool FromJson(const std::string& text, std::vector<ConnectionEntry>& out, std::string& reason);

  private:
    // Which stored entry belongs to each device (-1: none).
    std::vector<int> Match(const ProjectBlock& project) const;

    std::vector<ConnectionEntry> entries_;
    bool corrupt_ = false;  // the file on disk could not be read; keep it until entries are set
};

// "none", "even", "odd" <-> 0..2 and "1", "1.5", "2" <-> 0..2; nullopt for anything else.
std::optional<int> ParityCodeOf(const std::string& text);
std::optional<int> StopBitsCodeOf(const std::string& text);
const char* ParityName(int code);
const char* StopBitsName(int code);

}  // namespace corvix
