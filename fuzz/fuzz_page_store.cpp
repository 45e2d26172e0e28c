// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the pages' write-back: a run of edits, each a typed text or a chosen entry
// on any row of any page (rows and entries out of range included), applied to one record as
// the list applies them, with the edited page read back after each edit.
//
// Input: a sequence of edits, each [page, row, entry, language, length, text bytes...];
// entry 0xFF means a typed text, anything else a chosen entry (as a signed number).
//
// What must hold: the record's counts stay within what it holds, and a chosen entry whose
// store names the text its cell shows afterwards names what the page really shows there.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <iterator>

#include "model/pages.h"
#include "model/record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvix;
    static constexpr int32_t Kinds[] = {KindDeviceAddress, KindPortB1,  KindPortB2,       KindSignalNames,
                                        KindTimeSync,      KindEventLog, KindCpuSupervision, KindInputStatus};
    static DeviceRecord record;
    InitialiseNewDevice(record, "fuzz", LangEnglish);
    int32_t cpuFailureTest = 0;
    const PageTarget target{&record, &cpuFailureTest};
    uint8_t live[LiveStatusSize] = {};

    std::size_t at = 0;
    while (size - at >= 5) {
        const PageDef* page = FindPage(Kinds[data[at] % std::size(Kinds)]);
        const int row = static_cast<int8_t>(data[at + 1]);
        const uint8_t entry = data[at + 2];
        const int lang = (data[at + 3] & 1) != 0 ? LangEnglish : LangChinese;
        const std::size_t length = std::min<std::size_t>(data[at + 4], size - at - 5);
        const std::string_view text(reinterpret_cast<const char*>(data + at + 5), length);
        at += 5 + length;
        if (page == nullptr) __builtin_trap();

        const StoreResult stored = entry == 0xFF ? StoreText(*page, target, row, text)
                                                 : StoreChoice(*page, target, row, static_cast<int8_t>(entry), lang);
        if (record.signalCount < 0 || record.SignalCountClamped() > MaxSignalNames) __builtin_trap();
        if (record.eventCount < 0) __builtin_trap();

        const PageSource source{&record, lang, DateChina, live, cpuFailureTest};
        // A typed text stays in its cell as typed; a chosen entry's cell shows what the page shows.
        if (entry != 0xFF && stored.cellText && row >= 0 && row < RowCount(*page, source) &&
            CellText(*page, source, row, 2) != *stored.cellText)
            __builtin_trap();
        const PageTable table = BuildPage(*page, source);
        for (const auto& cells : table.rows)
            if (cells.size() > table.titles.size()) __builtin_trap();
        for (int r = 0; r < static_cast<int>(table.rows.size()); ++r) (void)EditorFor(*page, source, r);
    }
    return 0;
}
