// SPDX-License-Identifier: Apache-2.0
// Writing the project's text form. Every byte of the block is carried: readable where a
// person edits it, as hex where it has no meaning (and only when not zero).
#include "model/project_text.h"

#include <cstring>
#include <stdexcept>

#include "model/gbk.h"
#include "model/project_text_parts.h"

namespace corvix {

using namespace textform;

namespace {

// A text field: a plain string when its bytes are GBK that converts back to the same bytes,
// ends before the field does and has nothing but zeros after its NUL; otherwise an object
// that adds the raw bytes of the text ("hex") and/or the bytes after the NUL ("tail").
void PutText(JsonWriter& w, const char* field, int width) {
    const std::size_t len = strnlen(field, static_cast<std::size_t>(width));
    const std::string_view bytes(field, len);
    const bool ascii = IsAscii(bytes);
    const std::string converted = ascii ? std::string() : GbkToUtf8(bytes);
    const std::string_view utf8 = ascii ? bytes : std::string_view(converted);
    const bool terminated = len < static_cast<std::size_t>(width);
    const bool exact = terminated && (ascii || Utf8ToGbk(converted) == bytes);
    const bool hasTail = terminated && !AllZero(field + len + 1, static_cast<std::size_t>(width) - len - 1);
    if (exact && !hasTail) return w.String(utf8);
    w.BeginObject();
    w.Member("text", utf8);
    if (!exact) w.Member("hex", Hex(field, len));
    if (hasTail) w.Member("tail", HexTrimmed(field + len + 1, static_cast<std::size_t>(width) - len - 1));
    w.EndObject();
}

void PutChoice(JsonWriter& w, Choice choice, int code) {
    w.BeginObject();
    w.Member("code", code);
    const std::span<const BiText> list = ChoiceList(choice);
    if (code >= 0 && code < static_cast<int>(list.size())) {
        w.Member("text", list[static_cast<std::size_t>(code)].en);
    } else {
        w.Key("unlisted");  // a code no page offers, kept as stored
        w.Bool(true);
    }
    w.EndObject();
}

void PutRaw(JsonWriter& w, const char* key, const void* data, std::size_t size) {
    if (!AllZero(data, size)) w.Member(key, Hex(data, size));
}

void PutEvent(JsonWriter& w, const EventRecord& e) {
    w.BeginObject();
    if (std::optional<std::string> stamp = StampText(e)) {
        w.Member("stamp", *stamp);
    } else {
        w.Key("time");
        w.BeginObject();
        PutTimeMembers(w, e);
        w.EndObject();
    }
    w.Key("transition");
    w.BeginObject();
    w.Member("code", e.transition);
    w.Member("text", e.transition == 0 ? txt::TransitionOffOn.en : txt::TransitionOnOff.en);
    w.EndObject();
    w.Member("risingMark", e.risingMark);
    w.Key("signalName");
    PutText(w, e.signalName, SignalNameSize);
    PutRaw(w, "reserved0", e.reserved0, sizeof e.reserved0);
    PutRaw(w, "unused11", &e.unused11, sizeof e.unused11);
    PutRaw(w, "unused14", e.unused14, sizeof e.unused14);
    PutRaw(w, "unused50", e.unused50, sizeof e.unused50);
    PutRaw(w, "reserved52", e.reserved52, sizeof e.reserved52);
    w.EndObject();
}

void PutPort(JsonWriter& w, const DeviceRecord& d, int p) {
    w.BeginObject();
    w.Key("protocol");
    PutChoice(w, Choice::Protocol, d.protocol[p]);
    w.Member("baudRate", d.baudRate[p]);
    w.Member("dataBits", d.dataBits[p]);
    w.Key("stopBits");
    PutChoice(w, Choice::StopBits, d.stopBits[p]);
    w.Key("parity");
    PutChoice(w, Choice::Parity, d.parity[p]);
    w.EndObject();
}

// A device slot; null when every byte of it is zero (a slot never used).
void PutDevice(JsonWriter& w, const DeviceRecord& d, int slot) {
    if (AllZero(&d, sizeof d)) return w.Null();
    w.BeginObject();
    w.Member("slot", slot);
    w.Key("name");
    PutText(w, d.name, DeviceNameSize);
    PutRaw(w, "reserved", d.reserved, sizeof d.reserved);
    w.Key("deviceType");
    PutText(w, d.deviceType, DeviceTypeSize);
    w.Key("serialNumber");
    PutText(w, d.serialNumber, SerialNumberSize);
    w.Member("address", d.address);
    w.Key("timeSync");
    PutChoice(w, Choice::TimeSync, d.timeSync);
    PutRaw(w, "padding", d.padding, sizeof d.padding);
    w.Key("ports");
    w.BeginArray();
    for (int p = 0; p < 2; ++p) w.Element(), PutPort(w, d, p);
    w.EndArray();

    // The count is the length of the list; a stored count beyond the slots is kept beside it.
    const int signals = d.SignalCountClamped();
    w.Key("signals");
    w.BeginArray();
    for (int i = 0; i < signals; ++i) w.Element(), PutText(w, d.signalNames[i], SignalNameSize);
    w.EndArray();
    if (d.signalCount != signals) w.Member("signalCountStored", d.signalCount);
    bool spares = false;
    for (int i = signals; i < MaxSignalNames; ++i) {
        if (AllZero(d.signalNames[i], SignalNameSize)) continue;
        if (!spares) {
            w.Key("spareSignals");
            w.BeginObject();
            spares = true;
        }
        w.Key(std::to_string(i));
        PutText(w, d.signalNames[i], SignalNameSize);
    }
    if (spares) w.EndObject();

    const int events = d.EventCountClamped();
    w.Key("events");
    w.BeginArray();
    for (int i = 0; i < events; ++i) w.Element(), PutEvent(w, d.events[i]);
    w.EndArray();
    if (d.eventCount != events) w.Member("eventCountStored", d.eventCount);
    spares = false;
    for (int i = events; i < MaxEvents; ++i) {
        if (AllZero(&d.events[i], sizeof d.events[i])) continue;
        if (!spares) {
            w.Key("spareEvents");
            w.BeginObject();
            spares = true;
        }
        w.Key(std::to_string(i));
        PutEvent(w, d.events[i]);
    }
    if (spares) w.EndObject();
    w.EndObject();
}

std::string Finish(JsonWriter& w) {
    w.Text() += '\n';
    return std::move(w.Text());
}

}  // namespace

std::string ProjectToJson(const ProjectBlock& block) {
    JsonWriter w(2);
    w.Reserve(8u << 20);  // a full project writes some 6 MB
    w.BeginObject();
    w.Member("format", ProjectFormat);
    w.Member("version", FormatVersion);
    w.Key("projectName");
    PutText(w, block.projectName, ProjectNameSize);
    w.Member("projectOpen", block.projectOpen);
    w.Member("deviceCount", block.deviceCount);
    w.Key("devices");
    w.BeginArray();
    for (int i = 0; i < MaxDevices; ++i) w.Element(), PutDevice(w, block.devices[i], i);
    w.EndArray();
    w.EndObject();
    return Finish(w);
}

std::string DeviceToJson(const ProjectBlock& block, int slot) {
    if (slot < 0 || slot >= MaxDevices) throw std::out_of_range("device slot");
    JsonWriter w(2);
    w.BeginObject();
    w.Member("format", DeviceFormat);
    w.Member("version", FormatVersion);
    w.Member("slot", slot);
    w.Key("device");
    PutDevice(w, block.devices[slot], slot);
    w.EndObject();
    return Finish(w);
}

}  // namespace corvix
