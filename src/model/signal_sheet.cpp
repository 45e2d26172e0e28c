// SPDX-License-Identifier: Apache-2.0
// Writing the signal-name sheet, taking its names, and the refusal messages.
#include "model/signal_sheet.h"

#include <algorithm>
#include <cstdio>

#include "model/gbk.h"
#include "model/texts.h"

namespace corvix {
namespace {

constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";

// The catalog's printf formats hold only %d.
std::string Format(const char* format, int a, int b = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// Quoted when it holds a separator any reader might take, a quote or a line end, or starts or
// ends with a space that a reader might trim.
std::string CsvField(const std::string& s) {
    const bool edgeSpace = !s.empty() && (s.front() == ' ' || s.back() == ' ');
    if (!edgeSpace && s.find_first_of(",;\t\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::vector<std::string> SignalNamesUtf8(const DeviceRecord& device) {
    std::vector<std::string> names;
    const int count = device.SignalCountClamped();
    names.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) names.push_back(GbkToUtf8(FieldText(device.signalNames[i], SignalNameSize)));
    return names;
}

std::string SignalSheetCsv(const DeviceRecord& device, int lang) {
    std::string csv = ByteOrderMark;
    csv += CsvField(Pick(txt::SheetColNumber, lang)) + ',' + CsvField(Pick(txt::SheetColName, lang)) + "\r\n";
    int number = 0;
    for (const std::string& name : SignalNamesUtf8(device))
        csv += std::to_string(++number) + ',' + CsvField(name) + "\r\n";
    return csv;
}

std::string SheetErrorText(const SheetError& error, int lang) {
    switch (error.problem) {
        case SheetProblem::None:
            return {};
        case SheetProblem::Empty:
            return Pick(txt::SheetEmpty, lang);
        case SheetProblem::NotText:
            return Pick(txt::SheetNotText, lang);
        case SheetProblem::OpenQuote:
            return Format(Pick(txt::SheetOpenQuote, lang), error.row);
        case SheetProblem::TextAfterQuote:
            return Format(Pick(txt::SheetTextAfterQuote, lang), error.row);
        case SheetProblem::ColumnCount:
            return Format(Pick(txt::SheetColumnCount, lang), error.row, error.detail);
        case SheetProblem::BadNumber:
            return Format(Pick(txt::SheetBadNumber, lang), error.row, error.detail);
        case SheetProblem::TooManyRows:
            return Format(Pick(txt::SheetTooManyRows, lang), error.row);
        case SheetProblem::NameTooLong:
            return Format(Pick(txt::SheetNameTooLong, lang), error.row);
        case SheetProblem::NameNotGbk:
            return Format(Pick(txt::SheetNameNotGbk, lang), error.row);
        case SheetProblem::NameControl:
            return Format(Pick(txt::SheetNameControl, lang), error.row);
    }
    return {};
}

void ApplySignalNames(DeviceRecord& device, const std::vector<std::string>& namesGbk) {
    const int count = static_cast<int>(std::min<std::size_t>(namesGbk.size(), MaxSignalNames));
    for (int i = 0; i < count; ++i) CopyTextField(device.signalNames[i], SignalNameSize, namesGbk[i].c_str());
    device.signalCount = static_cast<uint16_t>(count);
}

}  // namespace corvix
