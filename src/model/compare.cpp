// SPDX-License-Identifier: Apache-2.0
#include "model/compare.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "model/formats.h"
#include "model/gbk.h"
#include "model/pages.h"
#include "model/texts.h"

namespace corvix {
namespace {

// The configuration pages in tree order, with the tree's names for them.
struct ComparedPage {
    int32_t kind;
    BiText name;
};
constexpr ComparedPage ComparedPages[] = {
    {KindDeviceAddress, txt::NodeDeviceAddress}, {KindTimeSync, txt::NodeTimeSync},
    {KindPortB1, txt::NodePortB1},               {KindPortB2, txt::NodePortB2},
    {KindSignalNames, txt::NodeSignalNames},
};

// Where each page's rows come in a listing: identity first, the event log last.
int PageOrder(int32_t page) {
    constexpr int32_t order[] = {DiffDevicePage, KindDeviceAddress, KindTimeSync, KindPortB1,
                                 KindPortB2,     KindSignalNames,   KindEventLog};
    for (int i = 0; i < static_cast<int>(std::size(order)); ++i)
        if (order[i] == page) return i;
    return static_cast<int>(std::size(order));
}

PageSource SourceOf(const DeviceRecord& rec, int uiLanguage) {
    PageSource s;
    s.record = &rec;
    s.uiLanguage = uiLanguage;
    return s;
}

std::string Formatted(const BiText& format, int uiLanguage, int a, int b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, Pick(format, uiLanguage), a, b);
    return text;
}

std::string RecordText(const char* field, int width) { return GbkToUtf8(FieldText(field, width)); }

std::string EventValue(const EventRecord& ev, int uiLanguage) {
    return FormatEventStamp(ev, DateChina) + "  " + RecordText(ev.signalName, sizeof ev.signalName) + "  " +
           TransitionText(ev.transition, uiLanguage);
}

void AppendConfigRows(const DeviceRecord& rec, int uiLanguage, bool showCodes, std::vector<RecordRow>& out) {
    const PageSource s = SourceOf(rec, uiLanguage);
    for (const ComparedPage& compared : ComparedPages) {
        const PageDef& page = *FindPage(compared.kind);
        const int rows = RowCount(page, s);
        for (int row = 0; row < rows; ++row) {
            RecordRow r{compared.kind, row, Pick(compared.name, uiLanguage), CellText(page, s, row, 1),
                        CellText(page, s, row, 2)};
            const ValueDef* value = RowValue(page, row);
            if (showCodes && r.value.empty() && value != nullptr && value->code != nullptr)
                r.value = Formatted(txt::DiffUnknownCode, uiLanguage, value->code(s, page.port, row));
            out.push_back(std::move(r));
        }
    }
}

// Pairs two listings by page and row and hands every pair whose values differ to `emit`
// (left row or null, right row or null). A row one side lacks is a difference.
template <typename Emit>
void PairRows(const std::vector<RecordRow>& left, const std::vector<RecordRow>& right, Emit&& emit) {
    std::size_t i = 0, j = 0;
    while (i < left.size() || j < right.size()) {
        int order = 0;
        if (i == left.size())
            order = 1;
        else if (j == right.size())
            order = -1;
        else {
            const int pl = PageOrder(left[i].page), pr = PageOrder(right[j].page);
            order = pl != pr ? (pl < pr ? -1 : 1) : (left[i].row == right[j].row ? 0 : (left[i].row < right[j].row ? -1 : 1));
        }
        if (order == 0) {
            if (left[i].value != right[j].value) emit(&left[i], &right[j]);
            ++i, ++j;
        } else if (order < 0) {
            emit(&left[i++], nullptr);
        } else {
            emit(nullptr, &right[j++]);
        }
    }
}

// `both`, when given, gets per difference whether both sides have its row.
std::vector<Difference> PairedDifferences(const std::vector<RecordRow>& left, const std::vector<RecordRow>& right,
                                          int uiLanguage, std::vector<bool>* both = nullptr) {
    std::vector<Difference> out;
    const char* absent = Pick(txt::CompareAbsent, uiLanguage);
    PairRows(left, right, [&](const RecordRow* l, const RecordRow* r) {
        const RecordRow& named = l != nullptr ? *l : *r;
        Difference d;
        d.page = named.page;
        d.row = named.row;
        d.pageName = named.pageName;
        d.field = named.field;
        d.projectText = l != nullptr ? l->value : absent;
        d.deviceText = r != nullptr ? r->value : absent;
        out.push_back(std::move(d));
        if (both != nullptr) both->push_back(l != nullptr && r != nullptr);
    });
    return out;
}

// ---- bytes that the listed rows explain ----

// Marks the bytes of a record that a differing row accounts for; what differs outside them
// is reported as other bytes.
class Coverage {
  public:
    Coverage(const void* left, const void* right, std::size_t size)
        : left_(static_cast<const uint8_t*>(left)), right_(static_cast<const uint8_t*>(right)), covered_(size) {}

    void Mark(std::size_t offset, std::size_t length) {
        std::fill_n(covered_.begin() + static_cast<std::ptrdiff_t>(offset), length, uint8_t{1});
    }
    // A text field up to its terminator on either side: the tail after it is not shown.
    void MarkText(std::size_t offset, std::size_t width) {
        const auto shown = [&](const uint8_t* base) {
            const void* nul = std::memchr(base + offset, 0, width);
            return nul == nullptr ? width : static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - (base + offset)) + 1;
        };
        Mark(offset, std::max(shown(left_), shown(right_)));
    }

    // One row for the differing bytes left unexplained, if any; offsets count from `base`.
    void AppendOtherBytes(std::size_t base, int uiLanguage, int device, std::vector<Difference>& out) const {
        int count = 0;
        std::size_t first = 0;
        for (std::size_t b = 0; b < covered_.size(); ++b) {
            if (left_[b] == right_[b] || covered_[b] != 0) continue;
            if (count++ == 0) first = b;
        }
        if (count == 0) return;
        Difference d;
        d.page = DiffOtherBytesPage;
        d.pageName = Pick(txt::DiffPageOther, uiLanguage);
        d.field = Formatted(txt::DiffFieldOther, uiLanguage, count, static_cast<int>(base + first));
        d.projectText = Hex(left_, first);
        d.deviceText = Hex(right_, first);
        d.device = device;
        out.push_back(std::move(d));
    }

  private:
    // Up to eight bytes from `at`, as hexadecimal pairs.
    std::string Hex(const uint8_t* bytes, std::size_t at) const {
        std::string out;
        for (std::size_t b = at; b < covered_.size() && b < at + 8; ++b) {
            char pair[4];
            std::snprintf(pair, sizeof pair, "%02X", bytes[b]);
            if (!out.empty()) out += ' ';
            out += pair;
        }
        return out;
    }

    const uint8_t* left_;
    const uint8_t* right_;
    std::vector<uint8_t> covered_;
};

#define CORVIX_FIELD(member) offsetof(DeviceRecord, member), sizeof(DeviceRecord::member)

void MarkDeviceRow(Coverage& cover, const Difference& d, bool bothHaveRow) {
    const std::size_t port = d.page == KindPortB2 ? 1 : 0;
    switch (d.page) {
        case DiffDevicePage:
            if (d.row == 0) cover.MarkText(CORVIX_FIELD(name));
            if (d.row == 1) cover.MarkText(CORVIX_FIELD(deviceType));
            if (d.row == 2) cover.MarkText(CORVIX_FIELD(serialNumber));
            break;
        case KindDeviceAddress:
            cover.Mark(CORVIX_FIELD(address));
            break;
        case KindTimeSync:
            cover.Mark(CORVIX_FIELD(timeSync));
            break;
        case KindPortB1:
        case KindPortB2: {
            const std::size_t fields[][2] = {{offsetof(DeviceRecord, baudRate) + 4 * port, 4},
                                             {offsetof(DeviceRecord, dataBits) + port, 1},
                                             {offsetof(DeviceRecord, stopBits) + port, 1},
                                             {offsetof(DeviceRecord, parity) + port, 1},
                                             {offsetof(DeviceRecord, protocol) + port, 1}};
            if (d.row >= 0 && d.row < 5) cover.Mark(fields[d.row][0], fields[d.row][1]);
            break;
        }
        case KindSignalNames: {
            const std::size_t at = offsetof(DeviceRecord, signalNames) + SignalNameSize * static_cast<std::size_t>(d.row);
            if (bothHaveRow) {
                cover.MarkText(at, SignalNameSize);
            } else {  // the slot of the side without the row holds nothing shown
                cover.Mark(at, SignalNameSize);
                cover.Mark(CORVIX_FIELD(signalCount));
            }
            break;
        }
        case KindEventLog: {
            const std::size_t at = offsetof(DeviceRecord, events) + EventRecordSize * static_cast<std::size_t>(d.row);
            if (bothHaveRow) {
                cover.Mark(at + offsetof(EventRecord, year), 7);  // year to second
                cover.Mark(at + offsetof(EventRecord, millisecond), 2);
                cover.Mark(at + offsetof(EventRecord, transition), 1);
                cover.MarkText(at + offsetof(EventRecord, signalName), sizeof(EventRecord::signalName));
            } else {
                cover.Mark(at, EventRecordSize);
                cover.Mark(CORVIX_FIELD(eventCount));
            }
            break;
        }
        default:
            break;
    }
}

constexpr RowScope WholeDevice{true, true, true, true};

// Offsets of other bytes count from the start of the device record.
std::vector<Difference> DiffDeviceRecords(const DeviceRecord& left, const DeviceRecord& right, int uiLanguage,
                                          int device) {
    std::vector<Difference> out;
    if (std::memcmp(&left, &right, sizeof left) == 0) return out;
    std::vector<bool> both;
    out = PairedDifferences(DeviceRows(left, uiLanguage, WholeDevice), DeviceRows(right, uiLanguage, WholeDevice),
                            uiLanguage, &both);
    Coverage cover(&left, &right, sizeof left);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i].device = device;
        MarkDeviceRow(cover, out[i], both[i]);
    }
    cover.AppendOtherBytes(0, uiLanguage, device, out);
    return out;
}

// Signal names are taken byte for byte: a name the text path could not carry over unchanged
// (bytes that are no GBK) still ends up equal.
void CopySignal(DeviceRecord& project, const DeviceRecord& device, int row) {
    std::memcpy(project.signalNames[row], device.signalNames[row], SignalNameSize);
}

bool TakeSignalRow(DeviceRecord& project, const DeviceRecord& device, int row) {
    const int projectCount = project.SignalCountClamped();
    const int deviceCount = device.SignalCountClamped();
    if (row < 0 || row >= std::max(projectCount, deviceCount)) return false;
    if (row >= deviceCount) {
        RemoveSignalName(project, row);
        return true;
    }
    if (row >= projectCount) {
        // The rows between stay in order: they are the device's too.
        for (int r = projectCount; r <= row; ++r) CopySignal(project, device, r);
        project.signalCount = static_cast<uint16_t>(row + 1);
        return true;
    }
    CopySignal(project, device, row);
    return true;
}

// A fixed row goes through the page's own write path, as an edit of the row would.
bool TakeFixedRow(DeviceRecord& project, const DeviceRecord& device, const PageDef& page, int row) {
    const ValueDef* value = RowValue(page, row);
    if (value == nullptr || value->store == nullptr) return false;
    const PageSource source = SourceOf(device, LangEnglish);
    PageTarget target;
    target.record = &project;
    if (value->code != nullptr) {
        // The stored number itself, also one outside the choices.
        const int code = value->code(source, page.port, row);
        return value->store(target, page.port, row, code, CellText(page, source, row, 2)).projectWritten;
    }
    return value->store(target, page.port, row, -1, CellText(page, source, row, 2)).projectWritten;
}

}  // namespace

std::vector<RecordRow> DeviceRows(const DeviceRecord& rec, int uiLanguage, const RowScope& scope) {
    std::vector<RecordRow> out;
    if (scope.identity) {
        const std::string page = Pick(txt::DiffPageDevice, uiLanguage);
        out.push_back({DiffDevicePage, 0, page, Pick(txt::ReportDeviceName, uiLanguage),
                       RecordText(rec.name, DeviceNameSize)});
        out.push_back({DiffDevicePage, 1, page, Pick(txt::ReportDeviceType, uiLanguage),
                       RecordText(rec.deviceType, DeviceTypeSize)});
        out.push_back({DiffDevicePage, 2, page, Pick(txt::ReportSerialNumber, uiLanguage),
                       RecordText(rec.serialNumber, SerialNumberSize)});
    }
    if (scope.config) AppendConfigRows(rec, uiLanguage, scope.showCodes, out);
    if (scope.events) {
        const std::string page = Pick(txt::NodeEventLog, uiLanguage);
        for (int slot = 0; slot < rec.EventCountClamped(); ++slot)
            out.push_back({KindEventLog, slot, page, Formatted(txt::DiffFieldEvent, uiLanguage, slot + 1),
                           EventValue(rec.events[slot], uiLanguage)});
    }
    return out;
}

std::vector<Difference> CompareRecords(const DeviceRecord& project, const DeviceRecord& device,
                                       int uiLanguage) {
    const RowScope config;
    return PairedDifferences(DeviceRows(project, uiLanguage, config), DeviceRows(device, uiLanguage, config),
                             uiLanguage);
}

std::vector<Difference> DiffDevices(const DeviceRecord& left, const DeviceRecord& right, int uiLanguage) {
    return DiffDeviceRecords(left, right, uiLanguage, -1);
}

std::vector<Difference> DiffProjects(const ProjectBlock& left, const ProjectBlock& right, int uiLanguage) {
    std::vector<Difference> out;
    // Offsets of the project's own rows count from the start of the file (after its magic).
    constexpr std::size_t FileHeader = ProjectFileSize - ProjectBlockSize;
    Coverage cover(&left, &right, sizeof left);
    const std::string leftName = RecordText(left.projectName, ProjectNameSize);
    const std::string rightName = RecordText(right.projectName, ProjectNameSize);
    if (leftName != rightName) {
        out.push_back({DiffProjectPage, 0, Pick(txt::DiffPageProject, uiLanguage),
                       Pick(txt::ReportProjectName, uiLanguage), leftName, rightName, -1});
        cover.MarkText(offsetof(ProjectBlock, projectName), ProjectNameSize);
    }
    const int leftCount = left.DeviceCountClamped(), rightCount = right.DeviceCountClamped();
    for (int slot = 0; slot < std::max(leftCount, rightCount); ++slot) {
        const std::size_t at = offsetof(ProjectBlock, devices) + sizeof(DeviceRecord) * static_cast<std::size_t>(slot);
        cover.Mark(at, sizeof(DeviceRecord));
        if (slot < leftCount && slot < rightCount) {
            for (Difference& d : DiffDeviceRecords(left.devices[slot], right.devices[slot], uiLanguage, slot))
                out.push_back(std::move(d));
            continue;
        }
        const auto nameOrAbsent = [&](const ProjectBlock& p, int count) {
            return slot < count ? RecordText(p.devices[slot].name, DeviceNameSize)
                                : std::string(Pick(txt::DiffDeviceAbsent, uiLanguage));
        };
        out.push_back({DiffDevicePage, DiffRowPresent, Pick(txt::DiffPageDevice, uiLanguage),
                       Pick(txt::DiffFieldDevice, uiLanguage), nameOrAbsent(left, leftCount),
                       nameOrAbsent(right, rightCount), slot});
        cover.Mark(offsetof(ProjectBlock, deviceCount), sizeof left.deviceCount);
    }
    cover.AppendOtherBytes(FileHeader, uiLanguage, -1, out);
    return out;
}

bool CanTakePage(int32_t page) {
    for (const ComparedPage& compared : ComparedPages)
        if (compared.kind == page) return true;
    return false;
}

bool TakeDeviceValue(DeviceRecord& project, const DeviceRecord& device, int32_t page, int row) {
    if (page == KindSignalNames) return TakeSignalRow(project, device, row);
    return CanTakePage(page) && TakeFixedRow(project, device, *FindPage(page), row);
}

bool TakeAllDeviceValues(DeviceRecord& project, const DeviceRecord& device) {
    bool taken = false;
    // The list first takes the device's length, so that no row moves under the others.
    const int deviceCount = device.SignalCountClamped();
    if (project.SignalCountClamped() != deviceCount) {
        for (int r = project.SignalCountClamped(); r < deviceCount; ++r) CopySignal(project, device, r);
        project.signalCount = static_cast<uint16_t>(deviceCount);
        taken = true;
    }
    for (const Difference& d : CompareRecords(project, device, LangEnglish))
        taken = TakeDeviceValue(project, device, d.page, d.row) || taken;
    return taken;
}

}  // namespace corvix
