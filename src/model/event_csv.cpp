// SPDX-License-Identifier: Apache-2.0
#include "model/event_csv.h"

#include <cstdio>
#include <vector>

#include "model/formats.h"
#include "model/gbk.h"
#include "model/texts.h"

namespace corvix {
namespace {

constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";

}  // namespace

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string IsoEventTime(const EventRecord& ev) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", ev.year, ev.month, ev.day, ev.hour,
                  ev.minute, ev.second, ev.millisecond);
    return text;
}

std::string EventsCsv(std::span<const EventRecord> events, int lang) {
    std::string csv = ByteOrderMark;
    csv += CsvField(Pick(txt::ListColNumber, lang)) + ',' + CsvField(Pick(txt::ListColTime, lang)) + ',' +
           CsvField(Pick(txt::ListColName, lang)) + ',' + CsvField(Pick(txt::ListColState, lang)) + "\r\n";
    int number = 0;
    for (const EventRecord& ev : events) {
        // Control characters of a name become visible escapes: the CSV may well go to a terminal.
        const std::string name =
            PrintableText(GbkToUtf8(FieldText(ev.signalName, static_cast<int>(sizeof ev.signalName))));
        csv += std::to_string(++number) + ',' + IsoEventTime(ev) + ',' + CsvField(name) + ',' +
               CsvField(TransitionText(ev.transition, lang)) + "\r\n";
    }
    return csv;
}

std::string EventLogCsv(const DeviceRecord& rec, int lang) {
    const int count = rec.EventCountClamped();
    std::vector<EventRecord> newestFirst;
    newestFirst.reserve(static_cast<std::size_t>(count));
    for (int i = count - 1; i >= 0; --i) newestFirst.push_back(rec.events[i]);
    return EventsCsv(newestFirst, lang);
}

}  // namespace corvix
