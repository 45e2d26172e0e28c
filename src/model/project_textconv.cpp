// SPDX-License-Identifier: Apache-2.0
#include "model/project_textconv.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "model/compare.h"
#include "model/gbk.h"
#include "model/texts.h"

namespace corvix {
namespace {

// The bytes of a record that no line shows: the record with every shown byte zeroed.
class Unshown {
  public:
    Unshown(const void* bytes, std::size_t size)
        : bytes_(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + size) {}

    void Shown(std::size_t offset, std::size_t length) {
        std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), length, uint8_t{0});
    }
    // A text up to its terminator; what follows it is not shown. Bytes that are no GBK read
    // as U+FFFD, so such a text stays in the summary too: no change goes unseen.
    void ShownText(std::size_t offset, std::size_t width) {
        const char* text = reinterpret_cast<const char*>(bytes_.data() + offset);
        const void* nul = std::memchr(text, 0, width);
        const std::size_t length = nul == nullptr ? width : static_cast<std::size_t>(static_cast<const char*>(nul) - text);
        const std::string_view gbk(text, length);
        if (Utf8ToGbk(GbkToUtf8(gbk)) == gbk) Shown(offset, length);
    }

    std::string Summary(int uiLanguage) const {
        const auto nonZero = std::count_if(bytes_.begin(), bytes_.end(), [](uint8_t b) { return b != 0; });
        if (nonZero == 0) return Pick(txt::TextOtherNone, uiLanguage);
        char hash[24], text[160];
        std::snprintf(hash, sizeof hash, "%016llx",
                      static_cast<unsigned long long>(Fingerprint(bytes_.data(), bytes_.size())));
        std::snprintf(text, sizeof text, Pick(txt::TextOtherSummary, uiLanguage), static_cast<int>(nonZero), hash);
        return text;
    }

  private:
    std::vector<uint8_t> bytes_;
};

#define CORVIX_FIELD(member) offsetof(DeviceRecord, member), sizeof(DeviceRecord::member)

std::string DeviceOtherBytes(const DeviceRecord& rec, int uiLanguage) {
    Unshown u(&rec, sizeof rec);
    u.ShownText(CORVIX_FIELD(name));
    u.ShownText(CORVIX_FIELD(deviceType));
    u.ShownText(CORVIX_FIELD(serialNumber));
    for (std::size_t o : {offsetof(DeviceRecord, address), offsetof(DeviceRecord, protocol),
                          offsetof(DeviceRecord, timeSync)})
        u.Shown(o, o == offsetof(DeviceRecord, timeSync) ? 1 : 2);
    u.Shown(offsetof(DeviceRecord, baudRate), offsetof(DeviceRecord, signalNames) - offsetof(DeviceRecord, baudRate));
    for (int r = 0; r < rec.SignalCountClamped(); ++r)
        u.ShownText(offsetof(DeviceRecord, signalNames) + SignalNameSize * static_cast<std::size_t>(r), SignalNameSize);
    u.Shown(CORVIX_FIELD(eventCount));
    for (int e = 0; e < rec.EventCountClamped(); ++e) {
        const std::size_t at = offsetof(DeviceRecord, events) + EventRecordSize * static_cast<std::size_t>(e);
        u.Shown(at + offsetof(EventRecord, year), 7);  // year to second
        u.Shown(at + offsetof(EventRecord, millisecond), 2);
        u.Shown(at + offsetof(EventRecord, transition), 1);
        u.ShownText(at + offsetof(EventRecord, signalName), sizeof(EventRecord::signalName));
    }
    return u.Summary(uiLanguage);
}

std::string ProjectOtherBytes(const ProjectBlock& block, int uiLanguage) {
    Unshown u(&block, sizeof block);
    u.Shown(offsetof(ProjectBlock, projectOpen), offsetof(ProjectBlock, projectName));  // open and count
    u.ShownText(offsetof(ProjectBlock, projectName), ProjectNameSize);
    // Devices in the count have lines of their own; the slots after them are other bytes.
    u.Shown(offsetof(ProjectBlock, devices), sizeof(DeviceRecord) * static_cast<std::size_t>(block.DeviceCountClamped()));
    return u.Summary(uiLanguage);
}

void Line(std::string& out, const std::string& scope, const std::string& page, const std::string& field,
          const std::string& value) {
    out += scope;
    out += " / ";
    out += page;
    if (!field.empty()) {
        out += " / ";
        out += field;
    }
    out += ": ";
    out += PrintableText(value);
    out += '\n';
}

void DeviceLines(std::string& out, const DeviceRecord& rec, int slot, int uiLanguage) {
    char scopeText[64];
    std::snprintf(scopeText, sizeof scopeText, Pick(txt::TextDeviceScope, uiLanguage), slot);
    const std::string scope = scopeText;
    RowScope fields;
    fields.identity = true;
    fields.showCodes = true;
    // The stored counts come before their lists, so a list that grows keeps its lines in place.
    bool countShown = false;
    const std::string count = Pick(txt::DiffFieldSignalCount, uiLanguage);
    for (const RecordRow& row : DeviceRows(rec, uiLanguage, fields)) {
        if (row.page == KindSignalNames && !countShown) {
            Line(out, scope, row.pageName, count, std::to_string(rec.signalCount));
            countShown = true;
        }
        Line(out, scope, row.pageName, row.field, row.value);
    }
    if (!countShown) Line(out, scope, Pick(txt::NodeSignalNames, uiLanguage), count, std::to_string(rec.signalCount));
    Line(out, scope, Pick(txt::NodeEventLog, uiLanguage), count, std::to_string(rec.eventCount));
    RowScope events;
    events.config = false;
    events.events = true;
    for (const RecordRow& row : DeviceRows(rec, uiLanguage, events)) Line(out, scope, row.pageName, row.field, row.value);
    Line(out, scope, Pick(txt::DiffPageOther, uiLanguage), "", DeviceOtherBytes(rec, uiLanguage));
}

}  // namespace

uint64_t Fingerprint(const void* data, std::size_t size) {
    uint64_t hash = 14695981039346656037ull;
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string ProjectLines(const ProjectBlock& block, int uiLanguage) {
    std::string out;
    out.reserve(64 * 1024);
    const std::string scope = Pick(txt::TextProjectScope, uiLanguage);
    const std::string page = Pick(txt::DiffPageProject, uiLanguage);
    Line(out, scope, page, Pick(txt::ReportProjectName, uiLanguage),
         GbkToUtf8(FieldText(block.projectName, ProjectNameSize)));
    Line(out, scope, page, Pick(txt::DiffFieldProjectOpen, uiLanguage), std::to_string(block.projectOpen));
    Line(out, scope, page, Pick(txt::DiffFieldDeviceCount, uiLanguage), std::to_string(block.deviceCount));
    Line(out, scope, Pick(txt::DiffPageOther, uiLanguage), "", ProjectOtherBytes(block, uiLanguage));
    for (int slot = 0; slot < block.DeviceCountClamped(); ++slot) DeviceLines(out, block.devices[slot], slot, uiLanguage);
    return out;
}

}  // namespace corvix
