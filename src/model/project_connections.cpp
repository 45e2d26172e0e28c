// SPDX-License-Identifier: Apache-2.0
#include "model/project_connections.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "model/gbk.h"

namespace corvix {
namespace {

constexpr const char* kFormat = "corvix-connections";
constexpr int kVersion = 1;

std::string NameOf(const ProjectBlock& project, int slot) {
    return FieldText(project.devices[slot].name, DeviceNameSize);
}

bool EndsWithMac(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".mac";
}

// Temporary file in the target's folder, synced, then one rename: a failed write never
// leaves half a file where the previous one was.
bool WriteAtomically(const std::string& path, const std::string& text, std::string& reason) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string temp = folder + "/.corvix-connections.XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    // Keep the mode of the file being replaced; a new one gets the usual 0666 & ~umask.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (!ok) reason = std::strerror(errno);
    if (::close(fd) != 0 && ok) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace

std::optional<int> ParityCodeOf(const std::string& text) {
    if (text == "none") return 0;
    if (text == "even") return 1;
    if (text == "odd") return 2;
    return std::nullopt;
}

std::optional<int> StopBitsCodeOf(const std::string& text) {
    if (text == "1") return 0;
    if (text == "1.5") return 1;
    if (text == "2") return 2;
    return std::nullopt;
}

const char* ParityName(int code) {
    static const char* const names[] = {"none", "even", "odd"};
    return code >= 0 && code < 3 ? names[code] : "none";
}

const char* StopBitsName(int code) {
    static const char* const names[] = {"1", "1.5", "2"};
    return code >= 0 && code < 3 ? names[code] : "1";
}

std::string ProjectConnections::SidecarPath(const std::string& projectPath) {
    const std::string stem = EndsWithMac(projectPath) ? projectPath.substr(0, projectPath.size() - 4) : projectPath;
    return stem + ".corvix.json";
}

std::string ProjectConnections::ToJson(const std::vector<ConnectionEntry>& entries) {
    nlohmann::ordered_json json{{"format", kFormat}, {"version", kVersion}, {"devices", nlohmann::ordered_json::array()}};
    for (const ConnectionEntry& e : entries)
        json["devices"].push_back({{"device", e.slot},
                                   {"name", GbkToUtf8(e.nameGbk)},
                                   {"port", e.line.port},
                                   {"baud", e.line.baudRate},
                                   {"dataBits", e.line.dataBits},
                                   {"stopBits", StopBitsName(e.line.stopBits)},
                                   {"parity", ParityName(e.line.parity)}});
    return json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

bool ProjectConnections::FromJson(const std::string& text, std::vector<ConnectionEntry>& out, std::string& reason) {
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded()) {
        reason = "not JSON";
        return false;
    }
    if (!json.is_object() || json.value("format", std::string()) != kFormat) {
        reason = "not a connections file";
        return false;
    }
    if (!json.contains("version") || !json["version"].is_number_integer() || json["version"].get<int>() != kVersion) {
        reason = "unknown version";
        return false;
    }
    const auto devices = json.find("devices");
    if (devices == json.end() || !devices->is_array()) {
        reason = "no device list";
        return false;
    }
    std::vector<ConnectionEntry> entries;
    for (std::size_t i = 0; i < devices->size(); ++i) {
        const nlohmann::json& d = (*devices)[i];
        const std::string where = "entry " + std::to_string(i + 1) + ": ";
        if (!d.is_object() || !d.contains("device") || !d["device"].is_number_integer() || !d.contains("name") ||
            !d["name"].is_string() || !d.contains("port") || !d["port"].is_string()) {
            reason = where + "needs device, name and port";
            return false;
        }
        ConnectionEntry e;
        e.slot = d["device"].get<int>();
        e.nameGbk = Utf8ToGbk(d["name"].get<std::string>());
        e.line.port = d["port"].get<std::string>();
        if (e.slot < 0 || e.slot >= MaxDevices || e.line.port.empty()) {
            reason = where + "device out of range or port empty";
            return false;
        }
        e.line.baudRate = d.value("baud", e.line.baudRate);
        e.line.dataBits = d.value("dataBits", e.line.dataBits);
        const std::optional<int> stop = StopBitsCodeOf(d.value("stopBits", std::string("1")));
        const std::optional<int> parity = ParityCodeOf(d.value("parity", std::string("none")));
        if (e.line.baudRate <= 0 || (e.line.dataBits != 8 && e.line.dataBits != 9) || !stop || !parity) {
            reason = where + "bad line settings";
            return false;
        }
        e.line.stopBits = *stop;
        e.line.parity = *parity;
        entries.push_back(std::move(e));
    }
    out = std::move(entries);
    return true;
}

ProjectConnections::Load ProjectConnections::LoadFor(const std::string& projectPath, std::string* reason) {
    Reset();
    std::ifstream in(SidecarPath(projectPath), std::ios::binary);
    if (!in) return Load::Missing;
    std::ostringstream text;
    text << in.rdbuf();
    std::string why;
    if (!in.good() && !in.eof()) why = "cannot be read";
    if (why.empty() && FromJson(text.str(), entries_, why)) return Load::Loaded;
    entries_.clear();
    corrupt_ = true;
    if (reason != nullptr) *reason = why;
    return Load::Corrupt;
}

std::vector<int> ProjectConnections::Match(const ProjectBlock& project) const {
    const int count = project.DeviceCountClamped();
    std::vector<int> owner(static_cast<std::size_t>(count), -1);
    std::vector<bool> taken(entries_.size(), false);
    // Slot and name together first, then a name alone (the device moved), then a slot whose
    // entry's name no device carries any more (the device was renamed).
    for (std::size_t e = 0; e < entries_.size(); ++e) {
        const int s = entries_[e].slot;
        if (s < count && owner[s] < 0 && NameOf(project, s) == entries_[e].nameGbk) {
            owner[s] = static_cast<int>(e);
            taken[e] = true;
        }
    }
    for (std::size_t e = 0; e < entries_.size(); ++e) {
        if (taken[e]) continue;
        int found = -1, matches = 0;
        for (int s = 0; s < count; ++s)
            if (NameOf(project, s) == entries_[e].nameGbk) {
                ++matches;
                if (owner[s] < 0) found = s;
            }
        if (matches == 1 && found >= 0) {
            owner[found] = static_cast<int>(e);
            taken[e] = true;
        }
    }
    for (std::size_t e = 0; e < entries_.size(); ++e) {
        const int s = entries_[e].slot;
        if (taken[e] || s >= count || owner[s] >= 0) continue;
        bool nameGone = true;
        for (int d = 0; d < count && nameGone; ++d) nameGone = NameOf(project, d) != entries_[e].nameGbk;
        if (nameGone) {
            owner[s] = static_cast<int>(e);
            taken[e] = true;
        }
    }
    return owner;
}

std::optional<DeviceConnection> ProjectConnections::For(const ProjectBlock& project, int slot) const {
    const std::vector<int> owner = Match(project);
    if (slot < 0 || slot >= static_cast<int>(owner.size()) || owner[slot] < 0) return std::nullopt;
    return entries_[owner[slot]].line;
}

std::vector<ConnectionEntry> ProjectConnections::Resolved(const ProjectBlock& project) const {
    const std::vector<int> owner = Match(project);
    std::vector<ConnectionEntry> out;
    for (int s = 0; s < static_cast<int>(owner.size()); ++s)
        if (owner[s] >= 0) out.push_back({s, NameOf(project, s), entries_[owner[s]].line});
    return out;
}

void ProjectConnections::Set(const ProjectBlock& project, int slot, const DeviceConnection& line) {
    std::vector<ConnectionEntry> entries = Resolved(project);
    std::erase_if(entries, [slot](const ConnectionEntry& e) { return e.slot == slot; });
    entries.push_back({slot, NameOf(project, slot), line});
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.slot < b.slot; });
    entries_ = std::move(entries);
    corrupt_ = false;
}

bool ProjectConnections::Clear(const ProjectBlock& project, int slot) {
    std::vector<ConnectionEntry> entries = Resolved(project);
    const std::size_t before = entries.size();
    std::erase_if(entries, [slot](const ConnectionEntry& e) { return e.slot == slot; });
    if (entries.size() == before) return false;
    entries_ = std::move(entries);
    corrupt_ = false;
    return true;
}

bool ProjectConnections::SaveFor(const std::string& projectPath, const ProjectBlock& project,
                                 std::string* reason) const {
    const std::string path = SidecarPath(projectPath);
    // A file we could not read is the user's to mend; it is not replaced by nothing.
    if (corrupt_) return true;
    const std::vector<ConnectionEntry> entries = Resolved(project);
    struct stat st {};
    if (entries.empty() && ::stat(path.c_str(), &st) != 0) return true;
    std::string why;
    if (WriteAtomically(path, ToJson(entries), why)) return true;
    if (reason != nullptr) *reason = why;
    return false;
}

}  // namespace corvix
