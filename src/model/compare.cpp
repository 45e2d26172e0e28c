#include "model/compare.h"

#include <algorithm>
#include <cstring>

#include "model/doc.h"
#include "model/pages.h"
#include "model/texts.h"

namespace corvix {
namespace {

// The compared pages in tree order, with the tree's names for them.
struct ComparedPage {
    int32_t kind;
    BiText name;
};
constexpr ComparedPage ComparedPages[] = {
    {KindDeviceAddress, txt::NodeDeviceAddress}, {KindTimeSync, txt::NodeTimeSync},
    {KindPortB1, txt::NodePortB1},               {KindPortB2, txt::NodePortB2},
    {KindSignalNames, txt::NodeSignalNames},
};

PageSource SourceOf(const DeviceRecord& rec, int uiLanguage) {
    PageSource s;
    s.record = &rec;
    s.uiLanguage = uiLanguage;
    return s;
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

std::vector<Difference> CompareRecords(const DeviceRecord& project, const DeviceRecord& device,
                                       int uiLanguage) {
    std::vector<Difference> out;
    const PageSource ps = SourceOf(project, uiLanguage);
    const PageSource ds = SourceOf(device, uiLanguage);
    for (const ComparedPage& compared : ComparedPages) {
        const PageDef& page = *FindPage(compared.kind);
        const int projectRows = RowCount(page, ps);
        const int deviceRows = RowCount(page, ds);
        for (int row = 0; row < std::max(projectRows, deviceRows); ++row) {
            const bool inProject = row < projectRows;
            const bool inDevice = row < deviceRows;
            Difference d;
            d.page = compared.kind;
            d.row = row;
            d.projectText = inProject ? CellText(page, ps, row, 2) : Pick(txt::CompareAbsent, uiLanguage);
            d.deviceText = inDevice ? CellText(page, ds, row, 2) : Pick(txt::CompareAbsent, uiLanguage);
            if (inProject && inDevice && d.projectText == d.deviceText) continue;
            d.pageName = Pick(compared.name, uiLanguage);
            d.field = CellText(page, inProject ? ps : ds, row, 1);
            out.push_back(std::move(d));
        }
    }
    return out;
}

bool TakeDeviceValue(DeviceRecord& project, const DeviceRecord& device, int32_t page, int row) {
    if (page == KindSignalNames) return TakeSignalRow(project, device, row);
    for (const ComparedPage& compared : ComparedPages)
        if (compared.kind == page) return TakeFixedRow(project, device, *FindPage(page), row);
    return false;
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
