// SPDX-License-Identifier: Apache-2.0
// A device's signal names as a spreadsheet: written as CSV (UTF-8 with a byte-order mark, a
// title row, then one row per name: number, name; RFC 4180 quoting, CR LF), read back from
// what spreadsheet programs save.
//
// Reading accepts UTF-8 with or without a byte-order mark and GBK (a file that is not valid
// UTF-8 is taken as GBK), comma, semicolon or tab as the separator (the one the first line
// uses most; a tie goes to the one that leaves a number in the first cell, then to tab,
// semicolon, comma), quoted fields with doubled quotes and embedded separators and line breaks,
// and CR LF, LF or CR line ends. The first row is a title row when its first cell is not a
// number. Blank rows (no cell holds anything) are skipped. Every other row holds exactly the
// number and the name (further cells must be empty), and its number must be its place among
// the names, counted from 1: a row that went missing or a sorted sheet would otherwise move
// names onto other inputs without a word. A refused file names its row as a spreadsheet
// numbers it (the title row is row 1) and changes nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/record.h"

namespace corvix {

// The names of `device` (its signalCount of them) as CSV, titles in `uiLanguage`.
std::string SignalSheetCsv(const DeviceRecord& device, int uiLanguage);
// The names of `device` as UTF-8 texts, in order.
std::vector<std::string> SignalNamesUtf8(const DeviceRecord& device);

// One CSV record and the row it starts on (1-based, as a spreadsheet counts rows).
struct CsvRecord {
    int row = 0;
    std::vector<std::string> fields;
};

enum class SheetProblem {
    None,
    Empty,         // no names at all
    NotText,       // neither UTF-8 nor GBK (e.g. UTF-16, or binary)
    OpenQuote,     // a quoted field runs to the end of the file
    TextAfterQuote,
    ColumnCount,   // detail: the number of cells
    BadNumber,     // detail: the number the row should hold
    TooManyRows,
    NameTooLong,   // more than SignalNameSize - 1 bytes in GBK
    NameNotGbk,    // a character GBK cannot hold
    NameControl,   // a line break or other control character in a name
};

struct SheetError {
    SheetProblem problem = SheetProblem::None;
    int row = 0;     // 0 when the problem is the whole file
    int detail = 0;  // see SheetProblem
};

// A CSV text in UTF-8 (byte-order mark removed) and its separator.
struct CsvText {
    std::string utf8;
    char separator = ',';
};
// Decodes the bytes of a file (UTF-8 with or without BOM, else GBK) and finds the separator.
std::optional<CsvText> DecodeCsvText(std::string_view bytes);
// Splits RFC 4180 text into records. On a malformed quote, sets `error` and returns what was
// read before it.
std::vector<CsvRecord> ParseCsv(std::string_view text, char separator, SheetError& error);

struct SignalSheet {
    std::vector<std::string> namesGbk;  // in order, each at most SignalNameSize - 1 bytes
    SheetError error;                   // problem None: the names are good to take
    bool Ok() const { return error.problem == SheetProblem::None; }
};

// Reads a signal-name sheet from the bytes of a CSV file.
SignalSheet ReadSignalSheet(std::string_view bytes);

// Why a sheet was refused, in `uiLanguage` (UTF-8), naming the row.
std::string SheetErrorText(const SheetError& error, int uiLanguage);

// Makes `namesGbk` the device's names and count; slots past the new count keep their bytes,
// as after deleting names in the list. At most MaxSignalNames names are taken.
void ApplySignalNames(DeviceRecord& device, const std::vector<std::string>& namesGbk);

}  // namespace corvix
