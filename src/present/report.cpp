// SPDX-License-Identifier: Apache-2.0
#include "present/report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>

#include "model/formats.h"
#include "model/gbk.h"
#include "model/pages.h"
#include "model/texts.h"
#include "model/version.h"

namespace corvix {
namespace {

// Record texts are GBK bytes; the report is UTF-8.
std::string RecordText(const char* field, int width) { return GbkToUtf8(FieldText(field, width)); }

std::string Numbered(const BiText& format, int number, int language) {
    char text[64];
    std::snprintf(text, sizeof text, Pick(format, language), number);
    return text;
}

const BiText* PageCaption(int32_t kind) {
    switch (kind) {
        case KindDeviceAddress:
            return &txt::NodeDeviceAddress;
        case KindTimeSync:
            return &txt::NodeTimeSync;
        case KindPortB1:
            return &txt::NodePortB1;
        case KindPortB2:
            return &txt::NodePortB2;
        case KindSignalNames:
            return &txt::NodeSignalNames;
        case KindEventLog:
            return &txt::NodeEventLog;
        default:
            return nullptr;
    }
}

ReportDevice BuildDevice(const DeviceRecord& device, int index, const ReportRequest& request) {
    const int lang = request.language;
    ReportDevice out;
    out.heading = Numbered(txt::ReportDeviceHeading, index + 1, lang);
    out.facts.push_back({Pick(txt::ReportDeviceName, lang), RecordText(device.name, DeviceNameSize)});
    // Type and serial number are known once the device itself reported them.
    const std::string type = RecordText(device.deviceType, DeviceTypeSize);
    const std::string serial = RecordText(device.serialNumber, SerialNumberSize);
    if (!type.empty()) out.facts.push_back({Pick(txt::ReportDeviceType, lang), type});
    if (!serial.empty()) out.facts.push_back({Pick(txt::ReportSerialNumber, lang), serial});

    PageSource source;
    source.record = &device;
    source.uiLanguage = lang;
    source.dateFormat = request.dateOrder;
    for (int32_t kind : ReportPageKinds(device)) {
        const PageDef* def = FindPage(kind);
        const BiText* caption = PageCaption(kind);
        if (def == nullptr || caption == nullptr) continue;
        PageTable table = BuildPage(*def, source);
        ReportPage page;
        page.kind = kind;
        page.caption = Pick(*caption, lang);
        page.titles = std::move(table.titles);
        page.widths = std::move(table.widths);
        page.rows = std::move(table.rows);
        out.pages.push_back(std::move(page));
    }
    return out;
}

// ---- HTML ----

// Appends one UTF-8 sequence of `text` at `i` when it is well formed; false otherwise.
bool CopyUtf8Sequence(std::string_view text, std::size_t& i, std::string& out) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
    } else {
        return false;
    }
    if (i + length > text.size()) return false;
    unsigned code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return false;
        code = (code << 6) | (c & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    out.append(text.substr(i, length));
    i += length - 1;
    return true;
}

// Text as HTML character data: markup characters escaped, control characters made visible
// (as the command line prints them), and bytes that are no UTF-8 (a path in another
// encoding) replaced, so the document stays well formed whatever a name or path holds.
std::string Escaped(std::string_view raw) {
    const std::string text = PrintableText(raw);
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x80)
                    out.push_back(c);
                else if (!CopyUtf8Sequence(text, i, out))
                    out += "\xEF\xBF\xBD";
        }
    }
    return out;
}

// Cells keep their blanks (event times align their milliseconds with them).
std::string CellHtml(const std::string& text) {
    if (text.empty()) return "&nbsp;";
    std::string out = Escaped(text);
    std::string kept;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == ' ' && (i == 0 || i + 1 == out.size() || out[i + 1] == ' ' || out[i - 1] == ' '))
            kept += "&nbsp;";
        else
            kept.push_back(out[i]);
    }
    return kept;
}

void AppendFacts(std::string& html, const std::vector<ReportFact>& facts) {
    html += "<table class=\"facts\" cellspacing=\"0\" cellpadding=\"3\">\n";
    for (const ReportFact& fact : facts)
        html += "<tr><th align=\"left\">" + Escaped(fact.label) + "</th><td>" + CellHtml(fact.value) +
                "</td></tr>\n";
    html += "</table>\n";
}

void AppendPage(std::string& html, const ReportPage& page, const std::string& emptyText) {
    int total = 0;
    for (int w : page.widths) total += w > 0 ? w : 0;
    // The caption is the table's first header row: a printed page never ends on a caption
    // whose table starts on the next one, and a table that goes on over pages repeats it.
    html +=
        "<table class=\"page\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\">\n"
        "<thead><tr class=\"caption\"><th align=\"left\" colspan=\"" +
        std::to_string(page.titles.size()) + "\">" + Escaped(page.caption) + "</th></tr>\n<tr>";
    for (std::size_t c = 0; c < page.titles.size(); ++c) {
        const int w = c < page.widths.size() && total > 0 ? page.widths[c] * 100 / total : 0;
        html += "<th align=\"left\"" + (w > 0 ? " width=\"" + std::to_string(w) + "%\"" : std::string()) +
                ">" + CellHtml(page.titles[c]) + "</th>";
    }
    html += "</tr></thead>\n<tbody>\n";
    if (page.rows.empty())
        html += "<tr><td colspan=\"" + std::to_string(page.titles.size()) + "\">" + Escaped(emptyText) +
                "</td></tr>\n";
    for (const std::vector<std::string>& row : page.rows) {
        html += "<tr>";
        // Columns the rows leave blank stay blank, as in the list.
        for (std::size_t c = 0; c < page.titles.size(); ++c)
            html += "<td>" + CellHtml(c < row.size() ? row[c] : std::string()) + "</td>";
        html += "</tr>\n";
    }
    html += "</tbody></table>\n";
}

constexpr const char* kStyle =
    "body{font-family:'Noto Sans CJK SC','Noto Sans SC','Source Han Sans SC','WenQuanYi Micro Hei',"
    "'Noto Sans','DejaVu Sans',sans-serif;font-size:10pt;color:#000;margin:1.5em;}\n"
    "h1{font-size:16pt;margin:0 0 0.5em 0;}\n"
    "h2{font-size:13pt;margin:1.2em 0 0.3em 0;border-bottom:1px solid #555;}\n"
    "h2.newpage{page-break-before:always;}\n"
    "table{border-collapse:collapse;margin:0;}\n"
    "table.facts th{font-weight:bold;padding-right:1.5em;}\n"
    "table.page{width:100%;border-color:#888;}\n"
    "table.page th{background-color:#e4e4e4;}\n"
    "table.page tr.caption th{background-color:#fff;font-size:11pt;border-left-color:#fff;"
    "border-right-color:#fff;border-top-color:#fff;padding-top:0.8em;}\n"
    "table.page th,table.page td{border:1px solid #888;}\n";

// A whole HTML document with the devices [from, to), after the title and the project's facts
// when `withHeader`.
std::string Document(const Report& report, std::size_t from, std::size_t to, bool withHeader) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"";
    html += IsEnglish(report.language) ? "en" : "zh-CN";
    html += "\">\n<head>\n<meta charset=\"utf-8\">\n<meta name=\"generator\" content=\"Corvix\">\n<title>";
    html += Escaped(report.title);
    if (!report.facts.empty() && !report.facts[0].value.empty())
        html += " - " + Escaped(report.facts[0].value);
    html += "</title>\n<style>\n";
    html += kStyle;
    html += "</style>\n</head>\n<body>\n";
    if (withHeader) {
        html += "<h1>" + Escaped(report.title) + "</h1>\n";
        AppendFacts(html, report.facts);
        if (report.devices.empty()) html += "<p>" + Escaped(report.noDevices) + "</p>\n";
    }
    for (std::size_t d = from; d < to && d < report.devices.size(); ++d) {
        const ReportDevice& device = report.devices[d];
        // Each further device starts on a page of its own when printed.
        html += d == from ? "<h2>" : "<h2 class=\"newpage\">";
        html += Escaped(device.heading) + "</h2>\n";
        AppendFacts(html, device.facts);
        for (const ReportPage& page : device.pages) AppendPage(html, page, report.emptyPage);
    }
    html += "</body>\n</html>\n";
    return html;
}

}  // namespace

std::vector<int32_t> ReportPageKinds(const DeviceRecord& device) {
    std::vector<int32_t> kinds = {KindDeviceAddress, KindTimeSync, KindPortB1, KindPortB2, KindSignalNames};
    if (device.EventCountClamped() > 0) kinds.push_back(KindEventLog);
    return kinds;
}

Report BuildReport(const ReportRequest& request) {
    const int lang = request.language;
    Report report;
    report.language = lang;
    report.title = Pick(txt::ReportTitle, lang);
    report.noDevices = Pick(txt::ReportNoDevices, lang);
    report.emptyPage = Pick(txt::ReportEmptyPage, lang);
    const ProjectBlock* project = request.project;

    const LocalTime now = request.clock ? request.clock() : SystemLocalTime();
    char version[32];
    std::snprintf(version, sizeof version, "%02d.%02d.%02d", CORVIX_VERSION_MAJOR, CORVIX_VERSION_MINOR,
                  CORVIX_VERSION_PATCH);
    const int count = project != nullptr ? project->DeviceCountClamped() : 0;
    report.facts = {
        {Pick(txt::ReportProjectName, lang),
         project != nullptr ? RecordText(project->projectName, ProjectNameSize) : std::string()},
        {Pick(txt::ReportFile, lang),
         request.projectPath.empty() ? Pick(txt::ReportNoFile, lang) : request.projectPath},
        {Pick(txt::ReportCreated, lang),
         FormatClock(request.dateOrder, now.year, now.month, now.day, now.hour, now.minute, now.second)},
        {Pick(txt::ReportProgramVersion, lang), version},
        {Pick(txt::ReportDeviceCount, lang), std::to_string(count)},
    };
    for (int i = 0; i < count; ++i) report.devices.push_back(BuildDevice(project->devices[i], i, request));
    return report;
}

std::string ReportHtml(const Report& report) { return Document(report, 0, report.devices.size(), true); }

std::vector<std::string> ReportHtmlParts(const Report& report) {
    std::vector<std::string> parts = {Document(report, 0, report.devices.empty() ? 0 : 1, true)};
    for (std::size_t d = 1; d < report.devices.size(); ++d)
        parts.push_back(Document(report, d, d + 1, false));
    return parts;
}

ReportFormat ReportFormatOf(std::string_view path, ReportFormat otherwise) {
    auto endsWith = [path](std::string_view suffix) {
        if (path.size() < suffix.size()) return false;
        const std::string_view tail = path.substr(path.size() - suffix.size());
        for (std::size_t i = 0; i < suffix.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(tail[i])) != suffix[i]) return false;
        return true;
    };
    if (endsWith(".pdf")) return ReportFormat::Pdf;
    if (endsWith(".html") || endsWith(".htm")) return ReportFormat::Html;
    return otherwise;
}

bool WriteReportFile(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return false;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "." + name + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    std::size_t written = 0;
    bool ok = true;
    while (ok && written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n > 0)
            written += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            ok = false;
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

}  // namespace corvix
