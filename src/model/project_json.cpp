#include "model/project_json.h"

#include <nlohmann/json.hpp>

#include "model/gbk.h"

namespace corvix {
namespace {

using nlohmann::ordered_json;

std::string Dump(const ordered_json& j) {
    return j.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

std::string Text(const char* field, int width) { return GbkToUtf8(FieldText(field, width)); }

ordered_json EventValue(int slot, const EventRecord& e) {
    return ordered_json{{"slot", slot},
                        {"year", e.year},
                        {"month", e.month},
                        {"day", e.day},
                        {"hour", e.hour},
                        {"minute", e.minute},
                        {"second", e.second},
                        {"millisecond", e.millisecond},
                        {"transition", e.transition},
                        {"signalName", Text(e.signalName, SignalNameSize)}};
}

ordered_json DeviceValue(const DeviceRecord& d) {
    ordered_json o{{"name", Text(d.name, DeviceNameSize)},
                   {"deviceType", Text(d.deviceType, DeviceTypeSize)},
                   {"serialNumber", Text(d.serialNumber, SerialNumberSize)},
                   {"address", d.address},
                   {"timeSync", d.timeSync}};
    ordered_json& ports = o["ports"] = ordered_json::array();
    for (int p = 0; p < 2; ++p)
        ports.push_back({{"protocol", d.protocol[p]},
                         {"baudRate", d.baudRate[p]},
                         {"dataBits", d.dataBits[p]},
                         {"stopBits", d.stopBits[p]},
                         {"parity", d.parity[p]}});
    ordered_json& names = o["signalNames"] = ordered_json::array();
    for (int i = 0; i < d.SignalCountClamped(); ++i) names.push_back(Text(d.signalNames[i], SignalNameSize));
    const int events = d.EventCountClamped();
    o["eventCount"] = events;
    ordered_json& list = o["events"] = ordered_json::array();
    for (int i = 0; i < events; ++i) list.push_back(EventValue(i, d.events[i]));
    return o;
}

}  // namespace

std::string JsonQuote(std::string_view s) { return Dump(ordered_json(std::string(s))); }

std::string DeviceJson(const DeviceRecord& device) { return Dump(DeviceValue(device)); }

std::string ProjectJson(const ProjectBlock& block) {
    ordered_json o{{"projectOpen", block.projectOpen},
                   {"projectName", Text(block.projectName, ProjectNameSize)},
                   {"deviceCount", block.DeviceCountClamped()}};
    ordered_json& devices = o["devices"] = ordered_json::array();
    for (int i = 0; i < block.DeviceCountClamped(); ++i) devices.push_back(DeviceValue(block.devices[i]));
    return Dump(o);
}

}  // namespace corvix
