// SPDX-License-Identifier: Apache-2.0
#include "model/pages.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "model/formats.h"
#include "model/gbk.h"

namespace corvix {
namespace {

// An edit box takes as many characters as a signal name holds bytes.
constexpr int MaxEditChars = SignalNameSize - 1;

std::string Format(const char* format, int value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string RecordText(const char* field, int width) { return GbkToUtf8(FieldText(field, width)); }

// The leading decimal integer of a text as the address keeps it: blanks and a sign may come
// first, no digits give 0, a number beyond 32 bits saturates, and only the low 16 bits stay.
int16_t LeadingInt16(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    value = std::clamp<long long>(value, INT_MIN, INT_MAX);
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu));
}

unsigned DecimalValue(std::string_view text) {
    return static_cast<unsigned>(std::strtoul(std::string(text).c_str(), nullptr, 10));
}

// ---- Device Address ----

std::string AddressText(const PageSource& s, int, int) { return Format("%d", s.record->address); }

StoreResult StoreAddress(const PageTarget& t, int, int, int, std::string_view text) {
    t.record->address = LeadingInt16(text);
    return {true, std::string(text)};  // the cell keeps what was typed, not the number read
}

// ---- ports ----

std::string BaudText(const PageSource& s, int port, int) {
    return Format("%d", static_cast<int32_t>(s.record->baudRate[port]));
}
std::string DataBitsText(const PageSource& s, int port, int) {
    return Format("%d", s.record->dataBits[port]);
}

StoreResult StoreBaud(const PageTarget& t, int port, int, int, std::string_view text) {
    t.record->baudRate[port] = DecimalValue(text);
    return {true, std::string(text)};
}
StoreResult StoreDataBits(const PageTarget& t, int port, int, int, std::string_view text) {
    t.record->dataBits[port] = static_cast<uint8_t>(DecimalValue(text));
    return {true, std::string(text)};
}

// Port settings stored as the number of their entry.
template <uint8_t (DeviceRecord::*Field)[2]>
int PortCode(const PageSource& s, int port, int) {
    return (s.record->*Field)[port];
}
template <uint8_t (DeviceRecord::*Field)[2]>
StoreResult StorePortCode(const PageTarget& t, int port, int, int entry, std::string_view text) {
    (t.record->*Field)[port] = static_cast<uint8_t>(entry);
    return {true, std::string(text)};
}

// ---- Time Synchronization ----

int TimeSyncCode(const PageSource& s, int, int) { return s.record->timeSync; }
StoreResult StoreTimeSync(const PageTarget& t, int, int, int entry, std::string_view text) {
    t.record->timeSync = static_cast<uint8_t>(entry);
    return {true, std::string(text)};
}

// ---- Test CPU Supervision: the operation Execute sends, not part of the project ----

constexpr BiText CpuOperations[] = {txt::ListStateOff, txt::ListStateOn};

int CpuCode(const PageSource& s, int, int) { return s.cpuFailureTest != 0 ? 1 : 0; }
StoreResult StoreCpu(const PageTarget& t, int, int row, int entry, std::string_view text) {
    if (row == 0) *t.cpuFailureTest = entry;
    return {false, std::string(text)};
}

// ---- signal names ----

std::string SignalName(const PageSource& s, int, int row) {
    return RecordText(s.record->signalNames[row], SignalNameSize);
}

StoreResult StoreSignalName(const PageTarget& t, int, int row, int, std::string_view text) {
    DeviceRecord& rec = *t.record;
    // The list may have shrunk behind an open editor: nothing is written past its end.
    if (row < 0 || row >= rec.SignalCountClamped()) return {};
    CopyTextField(rec.signalNames[row], SignalNameSize, Utf8ToGbk(text).c_str());
    return {true, RecordText(rec.signalNames[row], SignalNameSize)};
}

int SignalCount(const PageSource& s) { return s.record->SignalCountClamped(); }

std::string SignalNamesCell(const PageSource& s, int row, int) {
    return Format(Pick(txt::ListSignalDesignation, s.uiLanguage), row + 1);
}

// ---- input status ----

std::string InputState(const PageSource& s, int, int row) {
    const int state = s.liveStatus != nullptr && row < LiveStatusSize ? s.liveStatus[row] : -1;
    return InputStateText(state, s.uiLanguage);
}

std::string InputStatusCell(const PageSource& s, int row, int) { return SignalName(s, 0, row); }

// ---- event log: the highest slot first ----

const EventRecord& EventOfRow(const PageSource& s, int row) {
    return s.record->events[s.record->EventCountClamped() - 1 - row];
}

int EventCount(const PageSource& s) { return s.record->EventCountClamped(); }

std::string EventName(const PageSource& s, int, int row) {
    const EventRecord& ev = EventOfRow(s, row);
    return RecordText(ev.signalName, sizeof ev.signalName);
}

std::string EventCell(const PageSource& s, int row, int column) {
    const EventRecord& ev = EventOfRow(s, row);
    return column == 1 ? FormatEventStamp(ev, s.dateFormat) : TransitionText(ev.transition, s.uiLanguage);
}

// ---- the pages ----

constexpr ValueDef Typed(TextRule rule, std::string (*text)(const PageSource&, int, int),
                         StoreResult (*store)(const PageTarget&, int, int, int, std::string_view)) {
    return {EditorKind::Text, rule, MaxEditChars, {}, nullptr, text, store};
}
constexpr ValueDef Choice(std::span<const BiText> choices, int (*code)(const PageSource&, int, int),
                          StoreResult (*store)(const PageTarget&, int, int, int, std::string_view)) {
    return {EditorKind::Choice, TextRule::AnyText, 0, choices, code, nullptr, store};
}
constexpr ValueDef NumberChoice(std::span<const BiText> choices,
                                std::string (*text)(const PageSource&, int, int),
                                StoreResult (*store)(const PageTarget&, int, int, int, std::string_view)) {
    return {EditorKind::Choice, TextRule::AnyText, 0, choices, nullptr, text, store};
}
constexpr ValueDef Shown(std::string (*text)(const PageSource&, int, int)) {
    return {EditorKind::None, TextRule::AnyText, 0, {}, nullptr, text, nullptr};
}

constexpr PageColumn NumberColumn{txt::ListColNumber, 100};
constexpr PageColumn AddressColumns[] = {
    NumberColumn, {txt::ListColName, 200}, {txt::ListColAddressData, 200}};
constexpr PageColumn DataColumns[] = {NumberColumn, {txt::ListColName, 200}, {txt::ListColData, 200}};
constexpr PageColumn SignalColumns[] = {
    NumberColumn, {txt::ListColDesignation, 200}, {txt::ListColSignalDefinition, 200}};
constexpr PageColumn StatusColumns[] = {
    NumberColumn, {txt::ListColAssignment, 200}, {txt::ListColState, 200}};
constexpr PageColumn CpuColumns[] = {
    NumberColumn, {txt::ListColAssignment, 200}, {txt::ListColOperation, 200}, {txt::ListColBlank, 200}};
constexpr PageColumn EventColumns[] = {
    NumberColumn, {txt::ListColTime, 200}, {txt::ListColName, 200}, {txt::ListColState, 80}};

constexpr FixedRow AddressRows[] = {
    {txt::ListRowDeviceAddress, Typed(TextRule::AnyText, AddressText, StoreAddress)}};
constexpr FixedRow PortRows[] = {
    {txt::ListRowBaudRate, NumberChoice(txt::ListBaudRates, BaudText, StoreBaud)},
    {txt::ListRowDataBits, NumberChoice(txt::ListDataBits, DataBitsText, StoreDataBits)},
    {txt::ListRowStopBits,
     Choice(txt::StopBitsTexts, PortCode<&DeviceRecord::stopBits>, StorePortCode<&DeviceRecord::stopBits>)},
    {txt::ListRowParity,
     Choice(txt::ParityTexts, PortCode<&DeviceRecord::parity>, StorePortCode<&DeviceRecord::parity>)},
    {txt::ListRowProtocol, Choice(txt::PortProtocolTexts, PortCode<&DeviceRecord::protocol>,
                                  StorePortCode<&DeviceRecord::protocol>)},
};
constexpr FixedRow TimeSyncRows[] = {
    {txt::ListRowTimeSync, Choice(txt::TimeSyncTexts, TimeSyncCode, StoreTimeSync)}};
constexpr ValueDef SignalNameValue = Typed(TextRule::GbkField, SignalName, StoreSignalName);
constexpr FixedRow CpuRows[] = {{txt::ListRowCpuFailure, Choice(CpuOperations, CpuCode, StoreCpu)}};

// Tree order: Device Address, Time Synchronization, the two ports, signal names, input
// status, CPU supervision, event log.
const PageDef Pages[] = {
    {KindDeviceAddress, 0, AddressColumns, 3, "%d", -1, AddressRows},
    {KindTimeSync, 0, DataColumns, 3, "%d", -1, TimeSyncRows},
    {KindPortB1, 0, DataColumns, 3, "%d", -1, PortRows},
    {KindPortB2, 1, DataColumns, 3, "%d", -1, PortRows},
    {KindSignalNames, 0, SignalColumns, 3, "%02d", -1, {}, SignalCount, SignalNamesCell, SignalNameValue},
    {KindInputStatus, 0, StatusColumns, 3, "%d", 2, {}, SignalCount, InputStatusCell, Shown(InputState)},
    {KindCpuSupervision, 0, CpuColumns, 3, "%d", -1, CpuRows},
    {KindEventLog, 0, EventColumns, 4, "%d", -1, {}, EventCount, EventCell, Shown(EventName)},
};

std::string ValueText(const ValueDef& value, const PageSource& source, int port, int row) {
    if (value.code != nullptr) {
        const int code = value.code(source, port, row);
        if (code < 0 || code >= static_cast<int>(value.choices.size())) return {};  // no text: empty cell
        return Pick(value.choices[code], source.uiLanguage);
    }
    return value.text != nullptr ? value.text(source, port, row) : std::string();
}

}  // namespace

const PageDef* FindPage(int32_t kind) {
    for (const PageDef& page : Pages)
        if (page.kind == kind) return &page;
    return nullptr;
}

int RowCount(const PageDef& page, const PageSource& source) {
    if (!page.fixedRows.empty()) return static_cast<int>(page.fixedRows.size());
    return page.listCount != nullptr ? page.listCount(source) : 0;
}

const ValueDef* RowValue(const PageDef& page, int row) {
    if (!page.fixedRows.empty())
        return row >= 0 && row < static_cast<int>(page.fixedRows.size()) ? &page.fixedRows[row].value
                                                                         : nullptr;
    return row >= 0 ? &page.listValue : nullptr;
}

std::string CellText(const PageDef& page, const PageSource& source, int row, int column) {
    if (column < 0 || column >= page.filledColumns || row < 0 || row >= RowCount(page, source)) return {};
    if (column == 0) return Format(page.numberFormat, row + 1);
    if (column == 2) return ValueText(*RowValue(page, row), source, page.port, row);
    if (!page.fixedRows.empty()) return column == 1 ? Pick(page.fixedRows[row].name, source.uiLanguage) : "";
    return page.listCell(source, row, column);
}

PageTable BuildPage(const PageDef& page, const PageSource& source) {
    PageTable table;
    for (const PageColumn& column : page.columns) {
        table.titles.emplace_back(Pick(column.title, source.uiLanguage));
        table.widths.push_back(column.width);
    }
    const int rows = RowCount(page, source);
    table.rows.resize(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < page.filledColumns; ++c) table.rows[r].push_back(CellText(page, source, r, c));
    return table;
}

RowEditor EditorFor(const PageDef& page, const PageSource& source, int row) {
    RowEditor editor;
    const ValueDef* value = RowValue(page, row);
    if (value == nullptr || value->editor == EditorKind::None) return editor;
    editor.kind = value->editor;
    editor.rule = value->rule;
    editor.maxChars = value->maxChars;
    for (const BiText& entry : value->choices) editor.choices.emplace_back(Pick(entry, source.uiLanguage));
    if (value->editor == EditorKind::Choice) {
        if (value->code != nullptr) {
            editor.preselect = value->code(source, page.port, row);
        } else {
            const std::string shown = ValueText(*value, source, page.port, row);
            const auto at = std::find(editor.choices.begin(), editor.choices.end(), shown);
            editor.preselect =
                at == editor.choices.end() ? -1 : static_cast<int>(at - editor.choices.begin());
        }
        if (editor.preselect < 0 || editor.preselect >= static_cast<int>(editor.choices.size()))
            editor.preselect = -1;
    }
    return editor;
}

StoreResult StoreText(const PageDef& page, const PageTarget& target, int row, std::string_view utf8) {
    const ValueDef* value = RowValue(page, row);
    if (value == nullptr || value->editor != EditorKind::Text) return {};
    return value->store(target, page.port, row, -1, utf8);
}

StoreResult StoreChoice(const PageDef& page, const PageTarget& target, int row, int entry, int uiLanguage) {
    const ValueDef* value = RowValue(page, row);
    if (value == nullptr || value->editor != EditorKind::Choice || entry < 0 ||
        entry >= static_cast<int>(value->choices.size()))
        return {};
    return value->store(target, page.port, row, entry, Pick(value->choices[entry], uiLanguage));
}

}  // namespace corvix
