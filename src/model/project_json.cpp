// SPDX-License-Identifier: Apache-2.0
#include "model/project_json.h"

#include <nlohmann/json.hpp>

#include "model/gbk.h"
#include "model/project_text_parts.h"

namespace corvix {
namespace {

using textform::JsonWriter;
using textform::PutTimeMembers;

std::string Text(const char* field, int width) { return GbkToUtf8(FieldText(field, width)); }

void PutEvent(JsonWriter& w, int slot, const EventRecord& e) {
    w.BeginObject();
    w.Member("slot", slot);
    PutTimeMembers(w, e);
    w.Member("transition", e.transition);
    w.Member("signalName", Text(e.signalName, SignalNameSize));
    w.EndObject();
}

void PutDevice(JsonWriter& w, const DeviceRecord& d) {
    w.BeginObject();
    w.Member("name", Text(d.name, DeviceNameSize));
    w.Member("deviceType", Text(d.deviceType, DeviceTypeSize));
    w.Member("serialNumber", Text(d.serialNumber, SerialNumberSize));
    w.Member("address", d.address);
    w.Member("timeSync", d.timeSync);
    w.Key("ports");
    w.BeginArray();
    for (int p = 0; p < 2; ++p) {
        w.Element();
        w.BeginObject();
        w.Member("protocol", d.protocol[p]);
        w.Member("baudRate", d.baudRate[p]);
        w.Member("dataBits", d.dataBits[p]);
        w.Member("stopBits", d.stopBits[p]);
        w.Member("parity", d.parity[p]);
        w.EndObject();
    }
    w.EndArray();
    w.Key("signalNames");
    w.BeginArray();
    for (int i = 0; i < d.SignalCountClamped(); ++i)
        w.Element(), w.String(Text(d.signalNames[i], SignalNameSize));
    w.EndArray();
    const int events = d.EventCountClamped();
    w.Member("eventCount", events);
    w.Key("events");
    w.BeginArray();
    for (int i = 0; i < events; ++i) w.Element(), PutEvent(w, i, d.events[i]);
    w.EndArray();
    w.EndObject();
}

}  // namespace

std::string JsonQuote(std::string_view s) {
    return nlohmann::ordered_json(std::string(s))
        .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string DeviceJson(const DeviceRecord& device) {
    JsonWriter w(-1);
    PutDevice(w, device);
    return std::move(w.Text());
}

std::string ProjectJson(const ProjectBlock& block) {
    JsonWriter w(-1);
    w.Reserve(2u << 20);  // a full project writes some 1.5 MB
    w.BeginObject();
    w.Member("projectOpen", block.projectOpen);
    w.Member("projectName", Text(block.projectName, ProjectNameSize));
    w.Member("deviceCount", block.DeviceCountClamped());
    w.Key("devices");
    w.BeginArray();
    for (int i = 0; i < block.DeviceCountClamped(); ++i) w.Element(), PutDevice(w, block.devices[i]);
    w.EndArray();
    w.EndObject();
    return std::move(w.Text());
}

}  // namespace corvix
