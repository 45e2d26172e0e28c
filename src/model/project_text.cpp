// Writing the project's text form. Every byte of the block is carried: readable where a
// person edits it, as hex where it has no meaning (and only when not zero).
#include "model/project_text.h"

#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "model/gbk.h"
#include "model/project_text_parts.h"

namespace corvix {

using nlohmann::ordered_json;
using namespace textform;

namespace {

// A text field: a plain string when its bytes are GBK that converts back to the same bytes,
// ends before the field does and has nothing but zeros after its NUL; otherwise an object
// that adds the raw bytes of the text ("hex") and/or the bytes after the NUL ("tail").
ordered_json TextValue(const char* field, int width) {
    const std::size_t len = strnlen(field, static_cast<std::size_t>(width));
    const std::string_view bytes(field, len);
    const bool ascii = IsAscii(bytes);
    std::string utf8 = ascii ? std::string(bytes) : GbkToUtf8(bytes);
    const bool terminated = len < static_cast<std::size_t>(width);
    const bool exact = terminated && (ascii || Utf8ToGbk(utf8) == bytes);
    const std::string tail =
        terminated ? HexTrimmed(field + len + 1, static_cast<std::size_t>(width) - len - 1) : "";
    if (exact && tail.empty()) return utf8;
    ordered_json o;
    o["text"] = std::move(utf8);
    if (!exact) o["hex"] = Hex(field, len);
    if (!tail.empty()) o["tail"] = tail;
    return o;
}

ordered_json ChoiceValue(Choice choice, int code) {
    ordered_json o;
    o["code"] = code;
    const std::span<const BiText> list = ChoiceList(choice);
    if (code >= 0 && code < static_cast<int>(list.size()))
        o["text"] = list[static_cast<std::size_t>(code)].en;
    else
        o["unlisted"] = true;  // a code no page offers, kept as stored
    return o;
}

void PutRaw(ordered_json& o, const char* key, const void* data, std::size_t size) {
    if (!AllZero(data, size)) o[key] = Hex(data, size);
}

ordered_json EventValue(const EventRecord& e) {
    ordered_json o;
    if (std::optional<std::string> stamp = StampText(e)) {
        o["stamp"] = *stamp;
    } else {
        ordered_json& t = o["time"];
        t["year"] = e.year;
        t["month"] = e.month;
        t["day"] = e.day;
        t["hour"] = e.hour;
        t["minute"] = e.minute;
        t["second"] = e.second;
        t["millisecond"] = e.millisecond;
    }
    ordered_json& transition = o["transition"];
    transition["code"] = e.transition;
    transition["text"] = e.transition == 0 ? txt::TransitionOffOn.en : txt::TransitionOnOff.en;
    o["risingMark"] = e.risingMark;
    o["signalName"] = TextValue(e.signalName, SignalNameSize);
    PutRaw(o, "reserved0", e.reserved0, sizeof e.reserved0);
    PutRaw(o, "unused11", &e.unused11, sizeof e.unused11);
    PutRaw(o, "unused14", e.unused14, sizeof e.unused14);
    PutRaw(o, "unused50", e.unused50, sizeof e.unused50);
    PutRaw(o, "reserved52", e.reserved52, sizeof e.reserved52);
    return o;
}

ordered_json PortValue(const DeviceRecord& d, int p) {
    ordered_json o;
    o["protocol"] = ChoiceValue(Choice::Protocol, d.protocol[p]);
    o["baudRate"] = d.baudRate[p];
    o["dataBits"] = d.dataBits[p];
    o["stopBits"] = ChoiceValue(Choice::StopBits, d.stopBits[p]);
    o["parity"] = ChoiceValue(Choice::Parity, d.parity[p]);
    return o;
}

// A device slot; null when every byte of it is zero (a slot never used).
ordered_json DeviceValue(const DeviceRecord& d, int slot) {
    if (AllZero(&d, sizeof d)) return nullptr;
    ordered_json o;
    o["slot"] = slot;
    o["name"] = TextValue(d.name, DeviceNameSize);
    PutRaw(o, "reserved", d.reserved, sizeof d.reserved);
    o["deviceType"] = TextValue(d.deviceType, DeviceTypeSize);
    o["serialNumber"] = TextValue(d.serialNumber, SerialNumberSize);
    o["address"] = d.address;
    o["timeSync"] = ChoiceValue(Choice::TimeSync, d.timeSync);
    PutRaw(o, "padding", d.padding, sizeof d.padding);
    o["ports"] = ordered_json::array({PortValue(d, 0), PortValue(d, 1)});

    // The count is the length of the list; a stored count beyond the slots is kept beside it.
    const int signals = d.SignalCountClamped();
    ordered_json& names = o["signals"] = ordered_json::array();
    for (int i = 0; i < signals; ++i) names.push_back(TextValue(d.signalNames[i], SignalNameSize));
    if (d.signalCount != signals) o["signalCountStored"] = d.signalCount;
    ordered_json spareSignals = ordered_json::object();
    for (int i = signals; i < MaxSignalNames; ++i)
        if (!AllZero(d.signalNames[i], SignalNameSize))
            spareSignals[std::to_string(i)] = TextValue(d.signalNames[i], SignalNameSize);
    if (!spareSignals.empty()) o["spareSignals"] = std::move(spareSignals);

    const int events = d.EventCountClamped();
    ordered_json& list = o["events"] = ordered_json::array();
    for (int i = 0; i < events; ++i) list.push_back(EventValue(d.events[i]));
    if (d.eventCount != events) o["eventCountStored"] = d.eventCount;
    ordered_json spareEvents = ordered_json::object();
    for (int i = events; i < MaxEvents; ++i)
        if (!AllZero(&d.events[i], sizeof d.events[i]))
            spareEvents[std::to_string(i)] = EventValue(d.events[i]);
    if (!spareEvents.empty()) o["spareEvents"] = std::move(spareEvents);
    return o;
}

std::string Dump(const ordered_json& j) {
    // Texts are valid UTF-8 by construction (undecodable GBK became U+FFFD); replace is a guard.
    return j.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string ProjectToJson(const ProjectBlock& block) {
    ordered_json j;
    j["format"] = ProjectFormat;
    j["version"] = FormatVersion;
    j["projectName"] = TextValue(block.projectName, ProjectNameSize);
    j["projectOpen"] = block.projectOpen;
    j["deviceCount"] = block.deviceCount;
    ordered_json& devices = j["devices"] = ordered_json::array();
    for (int i = 0; i < MaxDevices; ++i) devices.push_back(DeviceValue(block.devices[i], i));
    return Dump(j);
}

std::string DeviceToJson(const ProjectBlock& block, int slot) {
    if (slot < 0 || slot >= MaxDevices) throw std::out_of_range("device slot");
    ordered_json j;
    j["format"] = DeviceFormat;
    j["version"] = FormatVersion;
    j["slot"] = slot;
    j["device"] = DeviceValue(block.devices[slot], slot);
    return Dump(j);
}

}  // namespace corvix
