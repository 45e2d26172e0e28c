// SPDX-License-Identifier: Apache-2.0
#include "history/device_key.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include "model/gbk.h"
#include "model/project_text.h"

namespace corvix::history {

std::string SettingsJson(const DeviceRecord& rec, int slot) {
    // One scratch block per thread: a ProjectBlock is 600 KB, too much for each call.
    thread_local std::unique_ptr<ProjectBlock> scratch = std::make_unique<ProjectBlock>();
    DeviceRecord& copy = scratch->devices[slot];
    std::memcpy(&copy, &rec, sizeof rec);
    copy.eventCount = 0;
    std::memset(copy.events, 0, sizeof copy.events);
    std::string json = DeviceToJson(*scratch, slot);
    std::memset(&copy, 0, sizeof copy);
    return json;
}

std::unique_ptr<DeviceRecord> RecordFromSettings(std::string_view json) {
    TextFormError error;
    std::optional<ParsedProjectText> parsed = ProjectFromJson(json, error);
    if (!parsed || !parsed->onlyDevice) return nullptr;
    auto rec = std::make_unique<DeviceRecord>();
    std::memcpy(rec.get(), &parsed->block->devices[*parsed->onlyDevice], sizeof *rec);
    return rec;
}

std::unique_ptr<DeviceRecord> AsRecorded(const DeviceRecord& rec, int slot) {
    return RecordFromSettings(SettingsJson(rec, slot));
}

std::string SafeComponent(std::string_view utf8) {
    std::string out;
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        const bool keep = u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_';
        out += keep ? c : '_';
    }
    return out.empty() ? "_" : out;
}

namespace {
std::string Trimmed(const std::string& s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}
}  // namespace

std::string SerialPath(const DeviceRecord& rec) {
    const std::string serial = Trimmed(GbkToUtf8(FieldText(rec.serialNumber, SerialNumberSize)));
    if (serial.empty()) return "";
    const std::string type = Trimmed(GbkToUtf8(FieldText(rec.deviceType, DeviceTypeSize)));
    return "devices/" + SafeComponent(type) + "/" + SafeComponent(serial) + ".json";
}

std::string ProjectDevicePath(const std::string& projectId, int slot) {
    return "projects/" + projectId + "/" + std::to_string(slot) + ".json";
}

std::string NewProjectId() {
    std::random_device random;
    std::string id;
    char hex[9];
    for (int i = 0; i < 4; ++i) {
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(random()));
        id += hex;
    }
    return id;
}

bool IsProjectId(std::string_view text) {
    return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::string SidecarPath(const std::string& projectFile) { return projectFile + ".corvix-id"; }

std::optional<std::string> ReadSidecar(const std::string& projectFile) {
    std::ifstream in(SidecarPath(projectFile));
    std::string id;
    if (!(in >> id) || !IsProjectId(id)) return std::nullopt;
    return id;
}

bool WriteSidecar(const std::string& projectFile, const std::string& id) {
    std::ofstream out(SidecarPath(projectFile), std::ios::trunc);
    out << id << '\n';
    out.close();
    return static_cast<bool>(out);
}

}  // namespace corvix::history
