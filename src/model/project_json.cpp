#include "model/project_json.h"

#include <cstdio>

#include "model/gbk.h"

namespace corvix {
namespace {

std::string TextJson(const char* field, int width) { return JsonQuote(GbkToUtf8(FieldText(field, width))); }

void AppendField(std::string& out, const char* key, long long value, bool comma = true) {
    if (comma) out += ',';
    out += '"';
    out += key;
    out += "\":";
    out += std::to_string(value);
}

std::string EventJson(int slot, const EventRecord& e) {
    std::string out = "{";
    AppendField(out, "slot", slot, false);
    AppendField(out, "year", e.year);
    AppendField(out, "month", e.month);
    AppendField(out, "day", e.day);
    AppendField(out, "hour", e.hour);
    AppendField(out, "minute", e.minute);
    AppendField(out, "second", e.second);
    AppendField(out, "millisecond", e.millisecond);
    AppendField(out, "transition", e.transition);
    out += ",\"signalName\":" + TextJson(e.signalName, SignalNameSize) + "}";
    return out;
}

}  // namespace

std::string JsonQuote(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out += '"';
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

std::string DeviceJson(const DeviceRecord& d) {
    std::string out = "{\"name\":" + TextJson(d.name, DeviceNameSize);
    out += ",\"deviceType\":" + TextJson(d.deviceType, DeviceTypeSize);
    out += ",\"serialNumber\":" + TextJson(d.serialNumber, SerialNumberSize);
    AppendField(out, "address", d.address);
    AppendField(out, "timeSync", d.timeSync);
    out += ",\"ports\":[";
    for (int p = 0; p < 2; ++p) {
        if (p > 0) out += ',';
        out += '{';
        AppendField(out, "protocol", d.protocol[p], false);
        AppendField(out, "baudRate", d.baudRate[p]);
        AppendField(out, "dataBits", d.dataBits[p]);
        AppendField(out, "stopBits", d.stopBits[p]);
        AppendField(out, "parity", d.parity[p]);
        out += '}';
    }
    out += "],\"signalNames\":[";
    const int signals = d.SignalCountClamped();
    for (int i = 0; i < signals; ++i) {
        if (i > 0) out += ',';
        out += TextJson(d.signalNames[i], SignalNameSize);
    }
    out += ']';
    const int events = d.EventCountClamped();
    AppendField(out, "eventCount", events);
    out += ",\"events\":[";
    for (int i = 0; i < events; ++i) {
        if (i > 0) out += ',';
        out += EventJson(i, d.events[i]);
    }
    out += "]}";
    return out;
}

std::string ProjectJson(const ProjectBlock& block) {
    std::string out = "{";
    AppendField(out, "projectOpen", block.projectOpen, false);
    out += ",\"projectName\":" + TextJson(block.projectName, ProjectNameSize);
    const int devices = block.DeviceCountClamped();
    AppendField(out, "deviceCount", devices);
    out += ",\"devices\":[";
    for (int i = 0; i < devices; ++i) {
        if (i > 0) out += ',';
        out += DeviceJson(block.devices[i]);
    }
    out += "]}";
    return out;
}

}  // namespace corvix
