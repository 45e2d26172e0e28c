// SPDX-License-Identifier: Apache-2.0
// The parameter pages as data: each page's columns, its rows and their texts in both
// languages, the editor of each value, its choices, and how a value is read from and
// written to the device record. The list view renders and edits from this; the command
// line prints pages from it, so both show a page the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/doc.h"
#include "model/record.h"
#include "model/texts.h"

namespace corvix {

// What a page shows: the current device's record and the live data the link keeps.
struct PageSource {
    const DeviceRecord* record = nullptr;
    int uiLanguage = LangChinese;
    int dateFormat = DateChina;
    const uint8_t* liveStatus = nullptr;  // LiveStatusSize bytes, one per signal; null: none known
    int32_t cpuFailureTest = 0;
};

// Where an edit goes: the record, and the output operation that Execute will send.
struct PageTarget {
    DeviceRecord* record = nullptr;
    int32_t* cpuFailureTest = nullptr;
};

enum class EditorKind : uint8_t { None, Text, Choice };

// How an edit box takes its text.
enum class TextRule : uint8_t {
    AnyText,   // any text; the value stores what it can read from it
    GbkField,  // no more than the record's text field holds once converted to GBK
};

// What storing a value did: whether it wrote into the project (the caller then marks the
// project modified, even when the value stayed the same) and the text the value's cell
// shows afterwards (none: leave the cell as it is).
struct StoreResult {
    bool projectWritten = false;
    std::optional<std::string> cellText;
};

// The value of a row, shown in its page's value column (column 2) and edited there.
// `port` is the page's port (port pages) and `row` the row, for the functions that need it.
struct ValueDef {
    EditorKind editor = EditorKind::None;
    TextRule rule = TextRule::AnyText;
    int maxChars = 0;                 // edit box: the characters it takes
    std::span<const BiText> choices;  // choice list, in entry order
    // A value stored as the number of its entry: shown as that entry's text (nothing
    // outside the list) and preselected by that number.
    int (*code)(const PageSource&, int port, int row) = nullptr;
    // Otherwise the value's text; a choice list preselects the entry of the same text.
    std::string (*text)(const PageSource&, int port, int row) = nullptr;
    // Stores a typed text (entry -1) or a chosen entry (with its text).
    StoreResult (*store)(const PageTarget&, int port, int row, int entry, std::string_view text) = nullptr;
};

struct PageColumn {
    BiText title;
    int width;  // pixels
};

// A row of a page whose rows are fixed: its name (column 1) and its value.
struct FixedRow {
    BiText name;
    ValueDef value;
};

struct PageDef {
    int32_t kind;  // the tree node that shows the page
    int port;      // port pages: 0 (B1) or 1 (B2)
    std::span<const PageColumn> columns;
    int filledColumns;                    // columns the rows fill; any after them stay blank
    const char* numberFormat;             // the 1-based row number in column 0
    int liveColumn;                       // the column the link rewrites in place, or -1
    std::span<const FixedRow> fixedRows;  // empty: a list page, one row per entry
    int (*listCount)(const PageSource&) = nullptr;
    // List pages: the cells of columns 1 and 3 on; column 2 is `listValue`.
    std::string (*listCell)(const PageSource&, int row, int column) = nullptr;
    ValueDef listValue = {};
};

// The page the tree node `kind` shows, or null for a node without a page.
const PageDef* FindPage(int32_t kind);

int RowCount(const PageDef& page, const PageSource& source);
// The text of a cell as the list shows it; empty for a column the rows leave blank.
std::string CellText(const PageDef& page, const PageSource& source, int row, int column);
// The value of `row`, or null outside the page's rows.
const ValueDef* RowValue(const PageDef& page, int row);

// A whole page as the list shows it: titles and widths of its columns and, per row, the
// texts of the columns the rows fill.
struct PageTable {
    std::vector<std::string> titles;
    std::vector<int> widths;
    std::vector<std::vector<std::string>> rows;
};
PageTable BuildPage(const PageDef& page, const PageSource& source);

// The editor a row's value opens with: for a choice list its entries in the source's
// language and the entry to preselect (-1: none).
struct RowEditor {
    EditorKind kind = EditorKind::None;
    TextRule rule = TextRule::AnyText;
    int maxChars = 0;
    std::vector<std::string> choices;
    int preselect = -1;
};
RowEditor EditorFor(const PageDef& page, const PageSource& source, int row);

// Write-back of a typed text (UTF-8) or of a chosen entry. Rows, entries and editors that
// do not take the input change nothing.
StoreResult StoreText(const PageDef& page, const PageTarget& target, int row, std::string_view utf8);
StoreResult StoreChoice(const PageDef& page, const PageTarget& target, int row, int entry, int uiLanguage);

}  // namespace corvix
