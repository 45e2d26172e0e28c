// SPDX-License-Identifier: Apache-2.0
#include "report/report_xlsx.h"

#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "model/gbk.h"
#include "model/signal_sheet.h"
#include "model/texts.h"

namespace corvix {
namespace {

constexpr int MaxSheetNameUnits = 31;  // UTF-16 units, as spreadsheet programs count

std::size_t Utf8Length(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// The longest prefix of `s` that fits `units` UTF-16 units without splitting a character.
std::string CutToUnits(const std::string& s, int units) {
    std::size_t i = 0;
    int used = 0;
    while (i < s.size()) {
        const std::size_t n = std::min(Utf8Length(static_cast<unsigned char>(s[i])), s.size() - i);
        const int cost = n == 4 ? 2 : 1;
        if (used + cost > units) break;
        used += cost;
        i += n;
    }
    return s.substr(0, i);
}

std::string Folded(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// libxlsxwriter writes to a file of its own; the workbook goes to a private temporary file
// first and then into place through the report's atomic write.
bool WriteWorkbook(const std::string& path, const std::function<bool(lxw_workbook*)>& fill) {
    std::string temp = (std::filesystem::temp_directory_path() / "corvix-xlsx-XXXXXX").string();
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    close(fd);
    bool ok = false;
    if (lxw_workbook* book = workbook_new(temp.c_str())) {
        const bool filled = fill(book);
        // Closing writes the file and frees the workbook, also after a failed fill.
        ok = workbook_close(book) == LXW_NO_ERROR && filled;
    }
    std::string bytes;
    if (ok) {
        std::ifstream in(temp, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        ok = in.good() || in.eof();
    }
    unlink(temp.c_str());
    return ok && !bytes.empty() && WriteReportFile(path, bytes);
}

class SheetWriter {
  public:
    SheetWriter(lxw_worksheet* sheet, lxw_format* bold) : sheet_(sheet), bold_(bold) {}
    void Text(int column, const std::string& text, bool strong = false) {
        worksheet_write_string(sheet_, row_, static_cast<lxw_col_t>(column), text.c_str(),
                               strong ? bold_ : nullptr);
    }
    void Row(const std::vector<std::string>& cells, bool strong = false) {
        for (std::size_t c = 0; c < cells.size(); ++c) Text(static_cast<int>(c), cells[c], strong);
        Next();
    }
    void Next(int rows = 1) { row_ += static_cast<lxw_row_t>(rows); }
    void Width(int column, double characters) {
        worksheet_set_column(sheet_, static_cast<lxw_col_t>(column), static_cast<lxw_col_t>(column), characters,
                             nullptr);
    }

  private:
    lxw_worksheet* sheet_;
    lxw_format* bold_;
    lxw_row_t row_ = 0;
};

lxw_format* BoldFormat(lxw_workbook* book) {
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    return bold;
}

// Column widths in characters from the list's widths in pixels, the widest page deciding.
void SetWidths(SheetWriter& out, const std::vector<ReportPage>& pages, int firstColumnMin) {
    std::vector<double> widths;
    for (const ReportPage& page : pages)
        for (std::size_t c = 0; c < page.widths.size(); ++c) {
            if (widths.size() <= c) widths.resize(c + 1, 0);
            widths[c] = std::max(widths[c], page.widths[c] / 7.0);
        }
    if (widths.size() < 2) widths.resize(2, 0);
    widths[0] = std::max<double>(widths[0], firstColumnMin);
    for (std::size_t c = 0; c < widths.size(); ++c) out.Width(static_cast<int>(c), std::max(widths[c], 10.0));
}

}  // namespace

std::string UniqueSheetName(std::string_view wanted, std::vector<std::string>& taken) {
    std::string clean;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const auto c = static_cast<unsigned char>(wanted[i]);
        const bool control = c < 0x20 || c == 0x7F ||
                             (c == 0xC2 && i + 1 < wanted.size() && static_cast<unsigned char>(wanted[i + 1]) >= 0x80 &&
                              static_cast<unsigned char>(wanted[i + 1]) <= 0x9F);
        if (control) {
            clean += '_';
            if (c == 0xC2) ++i;
        } else if (std::string_view("[]:*?/\\").find(static_cast<char>(c)) != std::string_view::npos) {
            clean += '_';
        } else {
            clean += static_cast<char>(c);
        }
    }
    auto fix = [](std::string s) {
        if (!s.empty() && s.front() == '\'') s.front() = '_';
        if (!s.empty() && s.back() == '\'') s.back() = '_';
        return s.empty() ? std::string("_") : s;
    };
    auto isTaken = [&taken](const std::string& name) {
        const std::string folded = Folded(name);
        return std::any_of(taken.begin(), taken.end(), [&](const std::string& t) { return Folded(t) == folded; });
    };
    std::string name = fix(CutToUnits(clean, MaxSheetNameUnits));
    for (int n = 2; isTaken(name); ++n) {
        const std::string suffix = " (" + std::to_string(n) + ")";
        name = fix(CutToUnits(clean, MaxSheetNameUnits - static_cast<int>(suffix.size())) + suffix);
    }
    taken.push_back(name);
    return name;
}

bool IsXlsxPath(std::string_view path) {
    return path.size() >= 5 && Folded(path.substr(path.size() - 5)) == ".xlsx";
}

bool WriteSignalsXlsx(const DeviceRecord& device, int lang, const std::string& path) {
    return WriteWorkbook(path, [&](lxw_workbook* book) {
        lxw_worksheet* sheet = workbook_add_worksheet(book, Pick(txt::SheetColName, lang));
        if (sheet == nullptr) return false;
        SheetWriter out(sheet, BoldFormat(book));
        out.Width(0, 8);
        out.Width(1, 32);
        out.Row({Pick(txt::SheetColNumber, lang), Pick(txt::SheetColName, lang)}, true);
        int number = 0;
        for (const std::string& name : SignalNamesUtf8(device)) {
            // Numbers as numbers, so that the sheet sorts and fills as a person expects.
            lxw_row_t row = static_cast<lxw_row_t>(++number);
            worksheet_write_number(sheet, row, 0, number, nullptr);
            worksheet_write_string(sheet, row, 1, name.c_str(), nullptr);
        }
        return true;
    });
}

bool WriteReportXlsx(const Report& report, const std::string& path) {
    return WriteWorkbook(path, [&](lxw_workbook* book) {
        lxw_format* bold = BoldFormat(book);
        std::vector<std::string> taken;
        lxw_worksheet* front =
            workbook_add_worksheet(book, UniqueSheetName(Pick(txt::WorkbookProjectSheet, report.language), taken).c_str());
        if (front == nullptr) return false;
        SheetWriter out(front, bold);
        out.Width(0, 24);
        out.Width(1, 48);
        out.Text(0, report.title, true);
        out.Next(2);
        for (const ReportFact& fact : report.facts) out.Row({fact.label, fact.value});
        if (report.devices.empty()) {
            out.Next();
            out.Row({report.noDevices});
        }
        for (std::size_t d = 0; d < report.devices.size(); ++d) {
            const ReportDevice& device = report.devices[d];
            // The number keeps the names apart and in order; the device's name says which it is.
            const std::string name = device.facts.empty() || device.facts.front().value.empty()
                                         ? device.heading
                                         : std::to_string(d + 1) + " " + device.facts.front().value;
            lxw_worksheet* sheet = workbook_add_worksheet(book, UniqueSheetName(name, taken).c_str());
            if (sheet == nullptr) return false;
            SheetWriter page(sheet, bold);
            SetWidths(page, device.pages, 16);
            page.Text(0, device.heading, true);
            page.Next(2);
            for (const ReportFact& fact : device.facts) page.Row({fact.label, fact.value});
            for (const ReportPage& p : device.pages) {
                page.Next();
                page.Text(0, p.caption, true);
                page.Next();
                page.Row(p.titles, true);
                for (const std::vector<std::string>& cells : p.rows) page.Row(cells);
                if (p.rows.empty()) page.Row({report.emptyPage});
            }
        }
        return true;
    });
}

}  // namespace corvix
