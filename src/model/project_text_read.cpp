// SPDX-License-Identifier: Apache-2.0
// Reading the project's text form back into a block. Everything is checked before anything
// is used: a refusal names the field (a JSON pointer) and says why in both languages.
#include <array>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "model/project_text.h"
#include "model/project_text_parts.h"
#include "model/project_text_read_events.h"
#include "model/project_text_read_fast.h"

namespace corvix {

using namespace textform;
using namespace textread;

namespace {

void NeedObject(const json& v, const Path& path) {
    if (!v.is_object()) RefuseType(path, txt::TextTypeObject);
}

// Refuses keys outside `known`: a misspelt key would otherwise be dropped without a word.
void KnownKeys(const json& o, const Path& path, std::initializer_list<std::string_view> known) {
    for (auto it = o.begin(); it != o.end(); ++it) {
        bool found = false;
        for (std::string_view k : known) found = found || it.key() == k;
        if (!found) Refuse(Child(path, it.key()), txt::TextUnknownField);
    }
}

const json* Find(const json& o, const char* key) {
    auto it = o.find(key);
    return it == o.end() ? nullptr : &*it;
}

const json& Need(const json& o, const Path& path, const char* key) {
    const json* v = Find(o, key);
    if (v == nullptr) Refuse(Child(path, key), txt::TextMissingField);
    return *v;
}

const json& Array(const json& v, const Path& path) {
    if (!v.is_array()) RefuseType(path, txt::TextTypeArray);
    return v;
}

// A byte field with no meaning: absent means zeros.
void ReadRaw(const json& o, const Path& path, const char* key, void* field, std::size_t size) {
    std::memset(field, 0, size);
    if (const json* v = Find(o, key)) {
        const std::string bytes = HexBytes(*v, Child(path, key), static_cast<int>(size));
        std::memcpy(field, bytes.data(), bytes.size());
    }
}

bool SameText(const BiText& t, const std::string& text) { return text == t.en || text == t.zh; }

// {"code": n, "text": "..."}: either is enough; given both, they must agree. A code no list
// entry has is taken only with "unlisted": true, as the export writes it.
int ReadChoice(const json& v, const Path& path, std::span<const BiText> list) {
    NeedObject(v, path);
    KnownKeys(v, path, {"code", "text", "unlisted"});
    const json* code = Find(v, "code");
    const json* text = Find(v, "text");
    const json* unlisted = Find(v, "unlisted");
    if (unlisted != nullptr && !(unlisted->is_boolean() && unlisted->get<bool>()))
        RefuseType(Child(path, "unlisted"), txt::TextTypeBoolean);
    const long long n = code != nullptr ? Integer(*code, Child(path, "code"), 0, 255) : -1;
    if (text != nullptr) {
        const std::string& s = String(*text, Child(path, "text"));
        long long at = -1;
        for (std::size_t i = 0; i < list.size() && at < 0; ++i)
            if (SameText(list[i], s)) at = static_cast<long long>(i);
        if (at < 0) Refuse(path, txt::TextUnknownChoice, ("\"" + s + "\"").c_str());
        if ((code != nullptr && n != at) || unlisted != nullptr) Refuse(path, txt::TextChoiceDisagrees);
        return static_cast<int>(at);
    }
    if (code == nullptr) Refuse(Child(path, "code"), txt::TextMissingField);
    const bool listed = n < static_cast<long long>(list.size());
    if (!listed && unlisted == nullptr) Refuse(path, txt::TextUnknownChoice, std::to_string(n).c_str());
    if (listed && unlisted != nullptr) Refuse(path, txt::TextChoiceDisagrees);
    return static_cast<int>(n);
}

void ReadPort(const json& v, const Path& path, DeviceRecord& d, int p) {
    NeedObject(v, path);
    KnownKeys(v, path, {"protocol", "baudRate", "dataBits", "stopBits", "parity"});
    d.protocol[p] = static_cast<uint8_t>(
        ReadChoice(Need(v, path, "protocol"), Child(path, "protocol"), ChoiceList(Choice::Protocol)));
    d.baudRate[p] =
        static_cast<uint32_t>(Integer(Need(v, path, "baudRate"), Child(path, "baudRate"), 0, 4294967295LL));
    d.dataBits[p] = static_cast<uint8_t>(Integer(Need(v, path, "dataBits"), Child(path, "dataBits"), 0, 255));
    d.stopBits[p] = static_cast<uint8_t>(
        ReadChoice(Need(v, path, "stopBits"), Child(path, "stopBits"), ChoiceList(Choice::StopBits)));
    d.parity[p] = static_cast<uint8_t>(
        ReadChoice(Need(v, path, "parity"), Child(path, "parity"), ChoiceList(Choice::Parity)));
}

// Slots beyond a list's count that still hold bytes: {"index": value}, each index past the list.
template <typename Read>
void ReadSpares(const json& o, const Path& path, int from, int slots, Read read) {
    NeedObject(o, path);
    for (auto it = o.begin(); it != o.end(); ++it) {
        const Path at = Child(path, it.key());
        const std::string& key = it.key();
        if (key.empty() || key.size() > 3 || key.find_first_not_of("0123456789") != std::string::npos)
            Refuse(at, txt::TextUnknownField);
        const int index = std::stoi(key);
        if (index >= slots)
            Refuse(at, txt::TextOutOfRange, key.c_str(), static_cast<long long>(from), slots - 1LL);
        if (index < from) Refuse(at, txt::TextSpareInUse, index);
        read(it.value(), at, index);
    }
}

// A device's events read while the text was parsed (see StreamingReader): the list in the
// tree then holds placeholders, and the first refusal among the events waits here until
// the device's other checks have run, in the order a tree walk would meet them.
struct StreamedEvents {
    bool streamed = false;
    std::optional<Refusal> refusal;
};

void ReadDevice(const json& v, const Path& path, int slot, DeviceRecord& d, const StreamedEvents* streamed) {
    NeedObject(v, path);
    KnownKeys(
        v, path,
        {"slot", "name", "reserved", "deviceType", "serialNumber", "address", "timeSync", "padding", "ports",
         "signals", "signalCountStored", "spareSignals", "events", "eventCountStored", "spareEvents"});
    if (Integer(Need(v, path, "slot"), Child(path, "slot"), 0, MaxDevices - 1) != slot)
        Refuse(Child(path, "slot"), txt::TextBadSlot, slot);
    ReadText(Need(v, path, "name"), Child(path, "name"), d.name, DeviceNameSize);
    ReadRaw(v, path, "reserved", d.reserved, sizeof d.reserved);
    ReadText(Need(v, path, "deviceType"), Child(path, "deviceType"), d.deviceType, DeviceTypeSize);
    ReadText(Need(v, path, "serialNumber"), Child(path, "serialNumber"), d.serialNumber, SerialNumberSize);
    d.address =
        static_cast<int16_t>(Integer(Need(v, path, "address"), Child(path, "address"), -32768, 32767));
    d.timeSync = static_cast<uint8_t>(
        ReadChoice(Need(v, path, "timeSync"), Child(path, "timeSync"), ChoiceList(Choice::TimeSync)));
    ReadRaw(v, path, "padding", d.padding, sizeof d.padding);
    const Path portsPath = Child(path, "ports");
    const json& ports = Array(Need(v, path, "ports"), portsPath);
    if (ports.size() != 2)
        Refuse(portsPath, txt::TextOutOfRange, std::to_string(ports.size()).c_str(), 2LL, 2LL);
    for (int p = 0; p < 2; ++p) ReadPort(ports[static_cast<std::size_t>(p)], Child(portsPath, p), d, p);

    const Path signalsPath = Child(path, "signals");
    const json& signals = Array(Need(v, path, "signals"), signalsPath);
    if (signals.size() > MaxSignalNames)
        Refuse(signalsPath, txt::TextTooManySignals, static_cast<int>(signals.size()));
    for (std::size_t i = 0; i < signals.size(); ++i)
        ReadText(signals[i], Child(signalsPath, i), d.signalNames[i], SignalNameSize);
    d.signalCount = static_cast<uint16_t>(signals.size());
    if (const json* stored = Find(v, "signalCountStored")) {
        const Path at = Child(path, "signalCountStored");
        const long long n = Integer(*stored, at, 0, 65535);
        if (n <= MaxSignalNames || signals.size() != MaxSignalNames) Refuse(at, txt::TextStoredCount);
        d.signalCount = static_cast<uint16_t>(n);
    }
    if (const json* spare = Find(v, "spareSignals"))
        ReadSpares(*spare, Child(path, "spareSignals"), static_cast<int>(signals.size()), MaxSignalNames,
                   [&d](const json& s, const Path& at, int i) {
                       ReadText(s, at, d.signalNames[i], SignalNameSize);
                   });

    const Path eventsPath = Child(path, "events");
    const json& events = Array(Need(v, path, "events"), eventsPath);
    if (events.size() > MaxEvents)
        Refuse(eventsPath, txt::TextTooManyEvents, static_cast<int>(events.size()));
    if (streamed != nullptr && streamed->streamed) {
        if (streamed->refusal) throw *streamed->refusal;
    } else {
        for (std::size_t i = 0; i < events.size(); ++i)
            ReadEvent(events[i], Child(eventsPath, i), d.events[i]);
    }
    d.eventCount = static_cast<int32_t>(events.size());
    if (const json* stored = Find(v, "eventCountStored")) {
        const Path at = Child(path, "eventCountStored");
        const long long n = Integer(*stored, at, INT32_MIN, INT32_MAX);
        const std::size_t covered = n < 0 ? 0 : MaxEvents;
        if ((n >= 0 && n <= MaxEvents) || events.size() != covered) Refuse(at, txt::TextStoredCount);
        d.eventCount = static_cast<int32_t>(n);
    }
    if (const json* spare = Find(v, "spareEvents"))
        ReadSpares(*spare, Child(path, "spareEvents"), static_cast<int>(events.size()), MaxEvents,
                   [&d](const json& e, const Path& at, int i) { ReadEvent(e, at, d.events[i]); });
}

void ReadDeviceSlot(const json& v, const Path& path, int slot, DeviceRecord& d,
                    const StreamedEvents* streamed = nullptr) {
    if (v.is_null()) return;  // a slot never used: all zeros
    if (!v.is_object()) RefuseType(path, txt::TextTypeDevice);
    ReadDevice(v, path, slot, d, streamed);
}

// Fills `block`, which arrives zeroed (or with the events the parse streamed into it).
ParsedProjectText ReadWhole(const json& root, std::unique_ptr<ProjectBlock> fresh,
                            const std::array<StreamedEvents, MaxDevices>& streamed) {
    const Path top;
    NeedObject(root, top);
    const json* format = Find(root, "format");
    const bool isProject = format != nullptr && *format == ProjectFormat;
    const bool isDevice = format != nullptr && *format == DeviceFormat;
    if (!isProject && !isDevice) Refuse(Child(top, "format"), txt::TextNotProjectText);
    const json& version = Need(root, top, "version");
    if (version != FormatVersion)
        Refuse(Child(top, "version"), txt::TextUnknownVersion, version.dump().c_str());

    ParsedProjectText out;
    out.block = std::move(fresh);
    ProjectBlock& block = *out.block;
    if (isDevice) {
        KnownKeys(root, top, {"format", "version", "slot", "device"});
        const int slot =
            static_cast<int>(Integer(Need(root, top, "slot"), Child(top, "slot"), 0, MaxDevices - 1));
        ReadDeviceSlot(Need(root, top, "device"), Child(top, "device"), slot, block.devices[slot]);
        out.onlyDevice = slot;
        return out;
    }
    KnownKeys(root, top, {"format", "version", "projectName", "projectOpen", "deviceCount", "devices"});
    ReadText(Need(root, top, "projectName"), Child(top, "projectName"), block.projectName, ProjectNameSize);
    block.projectOpen = static_cast<int32_t>(
        Integer(Need(root, top, "projectOpen"), Child(top, "projectOpen"), INT32_MIN, INT32_MAX));
    block.deviceCount = static_cast<int32_t>(
        Integer(Need(root, top, "deviceCount"), Child(top, "deviceCount"), INT32_MIN, INT32_MAX));
    const Path devicesPath = Child(top, "devices");
    const json& devices = Array(Need(root, top, "devices"), devicesPath);
    if (devices.size() != MaxDevices) Refuse(devicesPath, txt::TextDeviceCount);
    for (int i = 0; i < MaxDevices; ++i)
        ReadDeviceSlot(devices[static_cast<std::size_t>(i)], Child(devicesPath, static_cast<std::size_t>(i)),
                       i, block.devices[i], &streamed[static_cast<std::size_t>(i)]);
    return out;
}

// Builds the tree as the library's own parser does, except for the events of a project's
// devices (/devices/i/events/j): the parser's calls for each go to an EventCollector, the event
// is read into the block as soon as it is complete, and only a placeholder stays in the tree,
// so the tree of a full project stays small and no event is ever a tree.
class StreamingReader final : public nlohmann::json_sax<json> {
  public:
    StreamingReader(json& root, ProjectBlock& block, std::array<StreamedEvents, MaxDevices>& streamed)
        : root_(root), block_(block), streamed_(streamed) {}

    using Type = Value::Type;
    bool null() override { return Take(nullptr, Type::Null, 0, 0, false, nullptr); }
    bool boolean(bool v) override { return Take(v, Type::Boolean, 0, 0, v, nullptr); }
    bool number_integer(json::number_integer_t v) override { return Take(v, Type::Integer, v, 0, false, nullptr); }
    bool number_unsigned(json::number_unsigned_t v) override {
        return Take(v, Type::Unsigned, 0, v, false, nullptr); }
    bool number_float(json::number_float_t v, const std::string&) override {
        return Take(v, Type::Float, 0, 0, false, nullptr);
    }
    bool string(std::string& v) override { return Take(std::move(v), Type::String, 0, 0, false, &v); }
    // A text never holds a binary value; where one would be, it counts as no value of use.
    bool binary(json::binary_t& v) override {
        return Take(std::move(v), Type::Array, 0, 0, false, nullptr); }

    bool start_object(std::size_t) override {
        return inEvent_ ? Streamed(event_.TakeOpen(true)) : Open(json::value_t::object);
    }
    bool start_array(std::size_t) override {
        return inEvent_ ? Streamed(event_.TakeOpen(false)) : Open(json::value_t::array);
    }
    bool end_object() override { return inEvent_ ? Streamed(event_.TakeClose()) : Close(); }
    bool end_array() override { return inEvent_ ? Streamed(event_.TakeClose()) : Close(); }

    bool key(std::string& k) override {
        if (inEvent_) return Streamed(event_.TakeKey(k));
        Frame& top = stack_.back();
        if (top.role == Role::Root || top.role == Role::Device) top.key = k;  // the only keys looked at
        element_ = &(*top.value)[k];
        return true;
    }

    bool parse_error(std::size_t byte, const std::string&, const nlohmann::detail::exception& e) override {
        error_.emplace(byte, e.what());
        return false;
    }

    // Byte (from 1) and message of the error that stopped the parse, if one did.
    const std::optional<std::pair<std::size_t, std::string>>& Error() const { return error_; }

  private:
    enum class Role { Other, Root, Devices, Device, Events, Event };
    struct Frame {
        json* value;
        Role role;
        std::size_t index;  // the device's slot
        std::string key;    // an object's latest key
    };

    // Where a new value goes and what it is. An event leaves a placeholder in its list and
    // goes to the collector instead (role Event, `index` its place in the list).
    json* Place(json&& v, Role& role, std::size_t& index) {
        role = Role::Other;
        index = 0;
        if (stack_.empty()) {
            root_ = std::move(v);
            role = Role::Root;
            return &root_;
        }
        Frame& top = stack_.back();
        if (top.value->is_array()) {
            const std::size_t at = top.value->size();
            if (top.role == Role::Events && at < MaxEvents) {
                top.value->emplace_back(nullptr);
                role = Role::Event;
                index = at;
                return nullptr;
            }
            top.value->emplace_back(std::move(v));
            if (top.role == Role::Devices && at < MaxDevices) role = Role::Device, index = at;
            return &top.value->back();
        }
        *element_ = std::move(v);
        if (top.role == Role::Root && top.key == "devices") {
            role = Role::Devices;
            // A repeated key replaces the list: nothing read for the earlier one may remain.
            for (int i = 0; i < MaxDevices; ++i) Forget(static_cast<std::size_t>(i));
        } else if (top.role == Role::Device && top.key == "events") {
            role = Role::Events;
            index = top.index;
            Forget(index);
        }
        return element_;
    }

    void Forget(std::size_t slot) {
        streamed_[slot] = StreamedEvents{};
        std::memset(block_.devices[slot].events, 0, sizeof block_.devices[slot].events);
    }

    // Whether the next value is one of a device's events.
    bool EventNext() const {
        return !stack_.empty() && stack_.back().role == Role::Events &&
               stack_.back().value->size() < MaxEvents;
    }

    // A scalar: a member of an event, an event itself (read at once), or a value of the tree.
    template <typename T>
    bool Take(T&& v, Type type, long long integer, unsigned long long natural, bool flag, std::string* text) {
        if (inEvent_) return Streamed(event_.TakeScalar(type, integer, natural, flag, text));
        Role role;
        std::size_t index;
        if (!EventNext()) {
            Place(json(std::forward<T>(v)), role, index);
            return true;
        }
        Place(json(), role, index);  // the event's placeholder
        event_.Begin();
        eventIndex_ = index;
        event_.TakeScalar(type, integer, natural, flag, text);
        ReadStreamed();
        return true;
    }

    bool Open(json::value_t type) {
        Role role;
        std::size_t index;
        json* at = Place(json(type), role, index);
        if (role == Role::Event) {
            event_.Begin();
            eventIndex_ = index;
            event_.TakeOpen(type == json::value_t::object);
            inEvent_ = true;
            return true;
        }
        // Only an array holds a device's events; only objects are devices.
        if ((role == Role::Devices || role == Role::Events) && type != json::value_t::array)
            role = Role::Other;
        if (role == Role::Device && type != json::value_t::object) role = Role::Other;
        if (role == Role::Events) streamed_[index].streamed = true;
        stack_.push_back(Frame{at, role, index, {}});
        return true;
    }

    bool Close() {
        stack_.pop_back();
        return true;
    }

    // One of the collector's answers: true once the event is complete, which then is read.
    bool Streamed(bool complete) {
        if (complete) {
            inEvent_ = false;
            ReadStreamed();
        }
        return true;
    }

    // Reads the collected event; a refusal waits for its device (the first one only).
    void ReadStreamed() {
        const std::size_t slot = stack_.back().index;
        StreamedEvents& state = streamed_[slot];
        if (state.refusal) return;
        const Path top;
        const Path devices = Child(top, "devices");
        const Path device = Child(devices, slot);
        const Path events = Child(device, "events");
        try {
            ReadEvent(event_.Event(), Child(events, eventIndex_), block_.devices[slot].events[eventIndex_]);
        } catch (Refusal& r) {
            state.refusal = std::move(r);
        }
    }

    json& root_;
    ProjectBlock& block_;
    std::array<StreamedEvents, MaxDevices>& streamed_;
    std::vector<Frame> stack_;
    json* element_ = nullptr;
    EventCollector event_;
    bool inEvent_ = false;
    std::size_t eventIndex_ = 0;
    std::optional<std::pair<std::size_t, std::string>> error_;
};

// Line and column (1-based, counting characters, not bytes) of byte `offset`.
void Locate(std::string_view text, std::size_t offset, int& line, int& column) {
    line = 1;
    column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++column;
        }
    }
}

// The text without its layout: the parser takes a call per byte, and a pretty-printed project
// is nearly half indentation. Whitespace between tokens goes, except one space where two
// words (numbers, literals, stray bytes) would otherwise run into one, and one at the very
// start, so that a byte order mark behind it stays refused. Strings are kept as they are. The
// parser meets the same tokens in the same order, so it takes or refuses both texts alike.
// Written into `buffer`, which holds text.size() bytes; returns the part written.
std::string_view WithoutLayout(std::string_view text, char* buffer) {
    auto isSpace = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    auto isWord = [](char c) {
        return c != '{' && c != '}' && c != '[' && c != ']' && c != ',' && c != ':' && c != '"';
    };
    char* const first = buffer;
    char* o = first;
    const char* p = text.data();
    const char* const end = p + text.size();
    bool skipped = false;  // whitespace left out since the last byte written
    while (p < end) {
        const char c = *p++;
        if (isSpace(c)) {
            skipped = true;
            continue;
        }
        if (skipped && (o == first || (isWord(o[-1]) && isWord(c)))) *o++ = ' ';
        skipped = false;
        *o++ = c;
        if (c != '"') continue;
        while (p < end) {  // a string, up to its closing quote; an escape takes the byte after it
            const char d = *p++;
            *o++ = d;
            if (d == '"') break;
            if (d == '\\' && p < end) *o++ = *p++;
        }
    }
    return {first, static_cast<std::size_t>(o - first)};
}

// The block from the parsed tree and the events streamed beside it, or the first refusal.
std::optional<ParsedProjectText> Convert(const json& root, std::unique_ptr<ProjectBlock> block,
                                         const std::array<StreamedEvents, MaxDevices>& streamed,
                                         TextFormError& error) {
    try {
        return ReadWhole(root, std::move(block), streamed);
    } catch (const Refusal& r) {
        error.field = r.field;
        error.zh = r.zh;
        error.en = r.en;
        return std::nullopt;
    }
}

std::optional<ParsedProjectText> Read(std::string_view text, TextFormError& error) {
    error = TextFormError{};
    json root;
    auto block = std::make_unique<ProjectBlock>();
    auto streamed = std::make_unique<std::array<StreamedEvents, MaxDevices>>();
    StreamingReader reader(root, *block, *streamed);
    json::sax_parse(text.begin(), text.end(), &reader);
    if (const auto& failed = reader.Error()) {
        // The byte counts from 1 and names the character that broke the text.
        Locate(text, failed->first > 0 ? failed->first - 1 : 0, error.line, error.column);
        std::string why = failed->second;
        const std::size_t colon = why.find(": ");
        if (colon != std::string::npos) why = why.substr(colon + 2);
        // The parser quotes the bytes it last read, which may be no UTF-8 at all.
        why = json::parse(json(why).dump(-1, ' ', false, json::error_handler_t::replace)).get<std::string>();
        error.detail = why;
        error.zh = Format(txt::TextMalformed.zh, error.line, error.column, why.c_str());
        error.en = Format(txt::TextMalformed.en, error.line, error.column, why.c_str());
        return std::nullopt;
    }
    return Convert(root, std::move(block), *streamed, error);
}

}  // namespace

std::optional<ParsedProjectText> ProjectFromJson(std::string_view text, TextFormError& error) {
    // The parser takes a NUL byte outside a string for the end of the text and would accept
    // whatever follows it unread; JSON text holds no NUL byte anywhere.
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        error = TextFormError{};
        Locate(text, nul, error.line, error.column);
        error.detail = "a NUL byte";
        error.zh = Format(txt::TextMalformed.zh, error.line, error.column, error.detail.c_str());
        error.en = Format(txt::TextMalformed.en, error.line, error.column, error.detail.c_str());
        return std::nullopt;
    }
    // simdjson first, several times faster; whatever it refuses is parsed again by nlohmann,
    // which takes or refuses it exactly as before and places a fault by line and column.
    {
        error = TextFormError{};
        json root;
        auto block = std::make_unique<ProjectBlock>();
        auto streamed = std::make_unique<std::array<StreamedEvents, MaxDevices>>();
        StreamingReader reader(root, *block, *streamed);
        if (ReplayFast(text, reader)) return Convert(root, std::move(block), *streamed, error);
    }
    // Never filled with zeros first: only the bytes written are read.
    const auto buffer = std::make_unique_for_overwrite<char[]>(text.size());
    std::optional<ParsedProjectText> parsed = Read(WithoutLayout(text, buffer.get()), error);
    // Malformed: read again as written, for the line and column of the fault and the bytes
    // around it in the parser's words.
    if (!parsed && error.line > 0) parsed = Read(text, error);
    return parsed;
}

}  // namespace corvix
