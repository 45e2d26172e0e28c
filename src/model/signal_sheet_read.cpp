// SPDX-License-Identifier: Apache-2.0
// Reading a signal-name sheet: the encoding, the separator, RFC 4180 records, and the rows'
// checks. No packaged C++ CSV reader also knows GBK, so this one is ours and small.
#include <cstdint>

#include "model/gbk.h"
#include "model/signal_sheet.h"

namespace corvix {
namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view Replacement = "\xEF\xBF\xBD";  // what GbkToUtf8 makes of a bad byte

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t n = 0;
        uint32_t cp = 0;
        uint32_t min = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1, cp = c & 0x1F, min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2, cp = c & 0x0F, min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3, cp = c & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (i + n >= s.size()) return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n + 1;
    }
    return true;
}

// The separator the first record uses most, outside quotes. A tie goes to the one that
// leaves a number in the first cell (a sheet without a title row), then tab, semicolon, comma.
char DetectSeparator(std::string_view text) {
    constexpr char candidates[] = {'\t', ';', ','};
    int counts[3] = {};
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\n' || c == '\r') break;
        for (int k = 0; k < 3; ++k)
            if (c == candidates[k]) ++counts[k];
    }
    auto firstCellIsNumber = [text](char sep) {
        std::size_t end = text.find_first_of(std::string{sep, '\r', '\n'});
        std::string_view cell = text.substr(0, end);
        while (!cell.empty() && cell.front() == ' ') cell.remove_prefix(1);
        while (!cell.empty() && cell.back() == ' ') cell.remove_suffix(1);
        if (cell.empty()) return false;
        for (char d : cell)
            if (d < '0' || d > '9') return false;
        return true;
    };
    int best = -1;
    for (int k = 0; k < 3; ++k) {
        if (counts[k] == 0) continue;
        if (best < 0 || counts[k] > counts[best] ||
            (counts[k] == counts[best] && firstCellIsNumber(candidates[k]) && !firstCellIsNumber(candidates[best])))
            best = k;
    }
    return best < 0 ? ',' : candidates[best];
}

bool IsBlank(const CsvRecord& record) {
    for (const std::string& f : record.fields)
        if (!f.empty()) return false;
    return true;
}

// A decimal number with optional blanks around it; -1 when the cell is not one.
int CellNumber(std::string_view cell) {
    while (!cell.empty() && (cell.front() == ' ' || cell.front() == '\t')) cell.remove_prefix(1);
    while (!cell.empty() && (cell.back() == ' ' || cell.back() == '\t')) cell.remove_suffix(1);
    if (cell.empty() || cell.size() > 6) return -1;
    int value = 0;
    for (char d : cell) {
        if (d < '0' || d > '9') return -1;
        value = value * 10 + (d - '0');
    }
    return value;
}

bool HasControlCharacter(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 || c == 0x7F) return true;
        // U+0080..U+009F
        if (c == 0xC2 && i + 1 < utf8.size()) {
            const auto t = static_cast<unsigned char>(utf8[i + 1]);
            if (t >= 0x80 && t <= 0x9F) return true;
        }
    }
    return false;
}

SignalSheet Refused(SheetProblem problem, int row, int detail = 0) {
    SignalSheet sheet;
    sheet.error = {problem, row, detail};
    return sheet;
}

}  // namespace

std::optional<CsvText> DecodeCsvText(std::string_view bytes) {
    CsvText out;
    if (bytes.substr(0, Utf8Bom.size()) == Utf8Bom) {
        bytes.remove_prefix(Utf8Bom.size());
        if (!IsValidUtf8(bytes)) return std::nullopt;
        out.utf8 = std::string(bytes);
    } else if (IsValidUtf8(bytes)) {
        out.utf8 = std::string(bytes);
    } else {
        // Not UTF-8: what a spreadsheet program on a Chinese system saves as "CSV" is GBK.
        out.utf8 = GbkToUtf8(bytes);
        if (out.utf8.find(Replacement) != std::string::npos) return std::nullopt;
    }
    // NUL bytes: UTF-16 (which a BOM-less decoder takes as ASCII with NULs) or a binary file.
    if (out.utf8.find('\0') != std::string::npos) return std::nullopt;
    out.separator = DetectSeparator(out.utf8);
    return out;
}

std::vector<CsvRecord> ParseCsv(std::string_view text, char separator, SheetError& error) {
    std::vector<CsvRecord> records;
    CsvRecord record{1, {}};
    std::string field;
    int row = 1;
    std::size_t i = 0;
    auto endField = [&] {
        record.fields.push_back(std::move(field));
        field.clear();
    };
    auto endRecord = [&] {
        endField();
        records.push_back(std::move(record));
        record = CsvRecord{row, {}};
    };
    // Consumes a line end at i (CR LF, LF or CR); true when there was one.
    auto lineEnd = [&] {
        if (text[i] == '\r') {
            i += (i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            return true;
        }
        if (text[i] == '\n') {
            ++i;
            return true;
        }
        return false;
    };
    bool fieldStart = true;
    while (i < text.size()) {
        if (fieldStart && text[i] == '"') {
            // A quoted field: up to the lone quote; "" is one quote; line ends are kept (the
            // record stays one row, as a spreadsheet shows it).
            ++i;
            for (;;) {
                if (i >= text.size()) {
                    error = {SheetProblem::OpenQuote, row, 0};
                    return records;
                }
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            if (i < text.size() && text[i] != separator && text[i] != '\r' && text[i] != '\n') {
                error = {SheetProblem::TextAfterQuote, row, 0};
                return records;
            }
            fieldStart = false;
            continue;
        }
        if (text[i] == separator) {
            endField();
            ++i;
            fieldStart = true;
            continue;
        }
        if (lineEnd()) {
            ++row;
            endRecord();
            fieldStart = true;
            continue;
        }
        field += text[i++];
        fieldStart = false;
    }
    // The last record has no line end after it (or the text ended on one: nothing is left).
    if (!fieldStart || !field.empty() || !record.fields.empty()) endRecord();
    return records;
}

SignalSheet ReadSignalSheet(std::string_view bytes) {
    const std::optional<CsvText> text = DecodeCsvText(bytes);
    if (!text) return Refused(SheetProblem::NotText, 0);
    SheetError error;
    const std::vector<CsvRecord> records = ParseCsv(text->utf8, text->separator, error);
    if (error.problem != SheetProblem::None) {
        SignalSheet sheet;
        sheet.error = error;
        return sheet;
    }
    SignalSheet sheet;
    bool first = true;
    for (const CsvRecord& record : records) {
        if (IsBlank(record)) continue;
        // The title row: the first row with anything in it, when its first cell is no number.
        if (first && CellNumber(record.fields[0]) < 0) {
            first = false;
            continue;
        }
        first = false;
        int cells = static_cast<int>(record.fields.size());
        while (cells > 2 && record.fields[static_cast<std::size_t>(cells) - 1].empty()) --cells;
        if (cells != 2) return Refused(SheetProblem::ColumnCount, record.row, cells);
        const int expected = static_cast<int>(sheet.namesGbk.size()) + 1;
        if (expected > MaxSignalNames) return Refused(SheetProblem::TooManyRows, record.row);
        if (CellNumber(record.fields[0]) != expected) return Refused(SheetProblem::BadNumber, record.row, expected);
        const std::string& name = record.fields[1];
        if (HasControlCharacter(name)) return Refused(SheetProblem::NameControl, record.row);
        std::string gbk = Utf8ToGbk(name);
        if (GbkToUtf8(gbk) != name) return Refused(SheetProblem::NameNotGbk, record.row);
        if (gbk.size() > SignalNameSize - 1) return Refused(SheetProblem::NameTooLong, record.row);
        sheet.namesGbk.push_back(std::move(gbk));
    }
    if (sheet.namesGbk.empty()) return Refused(SheetProblem::Empty, 0);
    return sheet;
}

}  // namespace corvix
