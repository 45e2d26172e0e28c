// SPDX-License-Identifier: Apache-2.0
// Reading events and texts of the project's text form from flat values (see the header).
#include "model/project_text_read_events.h"

#include <cstring>
#include <optional>
#include <unordered_map>

#include "model/gbk.h"
#include "model/project_text_parts.h"

namespace corvix::textread {

using namespace textform;

std::string Path::Pointer() const {
    if (parent == nullptr) return {};
    std::string out = parent->Pointer() + "/";
    if (isIndex) return out + std::to_string(index);
    for (char c : key) {  // JSON pointer escapes
        if (c == '~')
            out += "~0";
        else if (c == '/')
            out += "~1";
        else
            out += c;
    }
    return out;
}

void RefuseType(const Path& path, const BiText& type) {
    const std::string field = path.Pointer();
    const std::string shown = field.empty() ? "/" : field;
    throw Refusal{field, Format(txt::TextWrongType.zh, shown.c_str(), type.zh),
                  Format(txt::TextWrongType.en, shown.c_str(), type.en)};
}

void Value::Clear() {
    if (type == Type::Missing) return;  // its members were cleared with it
    type = Type::Missing;
    hasUnknown = false;
    for (Value& m : members) m.Clear();
}

namespace {

using Type = Value::Type;

constexpr std::string_view kEventKeys[] = {"stamp",     "time",     "transition", "risingMark", "signalName",
                                           "reserved0", "unused11", "unused14",   "unused50",   "reserved52"};
enum EventKey : std::size_t {
    kStamp,
    kTime,
    kTransition,
    kRisingMark,
    kSignalName,
    kReserved0,
    kUnused11,
    kUnused14,
    kUnused50,
    kReserved52
};
constexpr std::string_view kTimeKeys[] = {"year", "month", "day", "hour", "minute", "second", "millisecond"};
constexpr long long kTimeMax[] = {65535, 255, 255, 255, 255, 255, 65535};
constexpr std::string_view kCodeKeys[] = {"code", "text"};
enum CodeKey : std::size_t { kCode, kCodeText };
constexpr std::string_view kTextKeys[] = {"text", "hex", "tail"};
enum TextKey : std::size_t { kText, kHex, kTail };

Value Shaped(std::span<const std::string_view> keys) {
    Value v;
    v.keys = keys;
    v.members.resize(keys.size());
    return v;
}

void NeedObject(const Value& v, const Path& path) {
    if (v.type != Type::Object) RefuseType(path, txt::TextTypeObject);
}

// Refuses a key outside the object's own: a misspelt key would otherwise be dropped without a word.
void KnownKeys(const Value& v, const Path& path) {
    if (v.hasUnknown) Refuse(Child(path, v.unknown), txt::TextUnknownField);
}

const Value& Need(const Value& o, const Path& path, std::size_t key) {
    const Value* v = o.Find(key);
    if (v == nullptr) Refuse(Child(path, o.keys[key]), txt::TextMissingField);
    return *v;
}

long long Integer(const Value& v, const Path& path, long long min, long long max) {
    if (v.type != Type::Integer && v.type != Type::Unsigned) RefuseType(path, txt::TextTypeInteger);
    const bool isUnsigned = v.type == Type::Unsigned;
    const bool inRange =
        isUnsigned ? v.natural <= static_cast<unsigned long long>(max) : v.integer >= min && v.integer <= max;
    if (!inRange) {
        const std::string shown = isUnsigned ? std::to_string(v.natural) : std::to_string(v.integer);
        Refuse(path, txt::TextOutOfRange, shown.c_str(), min, max);
    }
    return isUnsigned ? static_cast<long long>(v.natural) : v.integer;
}

const std::string& String(const Value& v, const Path& path) {
    if (v.type != Type::String) RefuseType(path, txt::TextTypeString);
    return v.text;
}

std::string HexOf(std::string_view hex, const Path& path, int max) {
    std::optional<std::string> bytes = Unhex(hex);
    if (!bytes || bytes->size() > static_cast<std::size_t>(max)) Refuse(path, txt::TextBadHex, max);
    return *bytes;
}

std::string HexBytes(const Value& v, const Path& path, int max) { return HexOf(String(v, path), path, max); }

// A byte field with no meaning: absent means zeros.
void ReadRaw(const Value& o, const Path& path, std::size_t key, void* field, std::size_t size) {
    std::memset(field, 0, size);
    if (const Value* v = o.Find(key)) {
        const std::string bytes = HexBytes(*v, Child(path, o.keys[key]), static_cast<int>(size));
        std::memcpy(field, bytes.data(), bytes.size());
    }
}

// GBK bytes of a UTF-8 text, refused when GBK can not carry it back unchanged. Texts repeat
// (each event names one of its device's signals), so each distinct text is converted once;
// the reference stays good until the next call.
const std::string& GbkOf(const std::string& utf8, const Path& path) {
    if (IsAscii(utf8) && utf8.find('\0') == std::string::npos) return utf8;
    thread_local std::unordered_map<std::string, std::string> converted;
    if (auto it = converted.find(utf8); it != converted.end()) return it->second;
    std::string gbk = Utf8ToGbk(utf8);
    if (utf8.find('\0') != std::string::npos || GbkToUtf8(gbk) != utf8) Refuse(path, txt::TextNotGbk);
    if (converted.size() >= 4096) converted.clear();  // a bound on the memory, not on correctness
    return converted.emplace(utf8, std::move(gbk)).first->second;
}

// Transition: 0 is off->on and every other stored value on->off.
uint8_t ReadTransition(const Value& v, const Path& path) {
    NeedObject(v, path);
    KnownKeys(v, path);
    const Value* code = v.Find(kCode);
    const Value* text = v.Find(kCodeText);
    const long long n = code != nullptr ? Integer(*code, Child(path, "code"), 0, 255) : -1;
    if (text == nullptr) {
        if (code == nullptr) Refuse(Child(path, "code"), txt::TextMissingField);
        return static_cast<uint8_t>(n);
    }
    const std::string& s = String(*text, Child(path, "text"));
    auto same = [&s](const BiText& t) { return s == t.en || s == t.zh; };
    const bool offOn = same(txt::TransitionOffOn);
    if (!offOn && !same(txt::TransitionOnOff))
        Refuse(path, txt::TextUnknownChoice, ("\"" + s + "\"").c_str());
    if (code != nullptr && (n == 0) != offOn) Refuse(path, txt::TextChoiceDisagrees);
    return static_cast<uint8_t>(code != nullptr ? n : (offOn ? 0 : 1));
}

}  // namespace

Value EventShape() {
    Value v = Shaped(kEventKeys);
    v.members[kTime] = Shaped(kTimeKeys);
    v.members[kTransition] = Shaped(kCodeKeys);
    v.members[kSignalName] = TextShape();
    return v;
}

Value TextShape() { return Shaped(kTextKeys); }

void FromTree(const json& v, Value& out) {
    out.Clear();
    switch (v.type()) {
        case json::value_t::null:
            out.type = Type::Null;
            break;
        case json::value_t::boolean:
            out.type = Type::Boolean, out.boolean = v.get<bool>();
            break;
        case json::value_t::number_integer:
            out.type = Type::Integer, out.integer = v.get<long long>();
            break;
        case json::value_t::number_unsigned:
            out.type = Type::Unsigned, out.natural = v.get<unsigned long long>();
            break;
        case json::value_t::number_float:
            out.type = Type::Float;
            break;
        case json::value_t::string:
            out.type = Type::String, out.text = v.get_ref<const std::string&>();
            break;
        case json::value_t::object:
            out.type = Type::Object;
            for (auto it = v.begin(); it != v.end() && !out.keys.empty(); ++it) {
                std::size_t at = 0;
                while (at < out.keys.size() && out.keys[at] != it.key()) ++at;
                if (at < out.keys.size())
                    FromTree(it.value(), out.members[at]);
                else if (!out.hasUnknown)
                    out.hasUnknown = true, out.unknown = it.key();
            }
            break;
        default:  // arrays, and binary values, which a text never holds
            out.type = Type::Array;
            break;
    }
}

void ReadText(const Value& v, const Path& path, char* field, int width) {
    std::memset(field, 0, static_cast<std::size_t>(width));
    std::string_view bytes;
    std::string fromHex, tail;
    if (v.type == Type::String) {
        bytes = GbkOf(v.text, path);
        if (bytes.size() > static_cast<std::size_t>(width - 1))
            Refuse(path, txt::TextTooLong, static_cast<int>(bytes.size()), width - 1);
    } else if (v.type == Type::Object) {
        KnownKeys(v, path);
        const Path textPath = Child(path, "text");
        const std::string& text = String(Need(v, path, kText), textPath);
        if (const Value* hex = v.Find(kHex)) {
            const Path hexPath = Child(path, "hex");
            fromHex = HexBytes(*hex, hexPath, width);
            if (fromHex.find('\0') != std::string::npos) Refuse(hexPath, txt::TextBadHex, width);
            if (GbkToUtf8(fromHex) != text) Refuse(path, txt::TextHexDisagrees);
            bytes = fromHex;
        } else {
            bytes = GbkOf(text, textPath);
            if (bytes.size() > static_cast<std::size_t>(width - 1))
                Refuse(textPath, txt::TextTooLong, static_cast<int>(bytes.size()), width - 1);
        }
        if (const Value* t = v.Find(kTail)) {
            const int room = width - static_cast<int>(bytes.size()) - 1;
            tail = HexBytes(*t, Child(path, "tail"), room < 0 ? 0 : room);
        }
    } else {
        RefuseType(path, txt::TextTypeText);
    }
    std::memcpy(field, bytes.data(), bytes.size());
    if (!tail.empty()) std::memcpy(field + bytes.size() + 1, tail.data(), tail.size());
}

void ReadText(const json& v, const Path& path, char* field, int width) {
    Value text = TextShape();
    FromTree(v, text);
    ReadText(text, path, field, width);
}

void ReadEvent(const Value& v, const Path& path, EventRecord& e) {
    NeedObject(v, path);
    KnownKeys(v, path);
    e = EventRecord{};
    const Value* stamp = v.Find(kStamp);
    const Value* time = v.Find(kTime);
    if ((stamp == nullptr) == (time == nullptr))
        Refuse(Child(path, "stamp"), txt::TextEitherOr, Child(path, "time").Pointer().c_str());
    if (stamp != nullptr) {
        const Path stampPath = Child(path, "stamp");
        if (!ParseStamp(String(*stamp, stampPath), e)) Refuse(stampPath, txt::TextBadStamp);
    } else {
        const Path timePath = Child(path, "time");
        NeedObject(*time, timePath);
        KnownKeys(*time, timePath);
        long long parts[std::size(kTimeKeys)];
        for (std::size_t k = 0; k < std::size(kTimeKeys); ++k)
            parts[k] = Integer(Need(*time, timePath, k), Child(timePath, kTimeKeys[k]), 0, kTimeMax[k]);
        e.year = static_cast<uint16_t>(parts[0]);
        e.month = static_cast<uint8_t>(parts[1]);
        e.day = static_cast<uint8_t>(parts[2]);
        e.hour = static_cast<uint8_t>(parts[3]);
        e.minute = static_cast<uint8_t>(parts[4]);
        e.second = static_cast<uint8_t>(parts[5]);
        e.millisecond = static_cast<uint16_t>(parts[6]);
    }
    e.transition = ReadTransition(Need(v, path, kTransition), Child(path, "transition"));
    e.risingMark =
        static_cast<uint8_t>(Integer(Need(v, path, kRisingMark), Child(path, "risingMark"), 0, 255));
    ReadText(Need(v, path, kSignalName), Child(path, "signalName"), e.signalName, SignalNameSize);
    ReadRaw(v, path, kReserved0, e.reserved0, sizeof e.reserved0);
    ReadRaw(v, path, kUnused11, &e.unused11, sizeof e.unused11);
    ReadRaw(v, path, kUnused14, e.unused14, sizeof e.unused14);
    ReadRaw(v, path, kUnused50, e.unused50, sizeof e.unused50);
    ReadRaw(v, path, kReserved52, e.reserved52, sizeof e.reserved52);
}

void ReadEvent(const json& v, const Path& path, EventRecord& e) {
    Value event = EventShape();
    FromTree(v, event);
    ReadEvent(event, path, e);
}

long long Integer(const json& v, const Path& path, long long min, long long max) {
    Value number;
    if (v.is_number_integer()) FromTree(v, number);  // anything else is refused by its type alone
    return Integer(number, path, min, max);
}

const std::string& String(const json& v, const Path& path) {
    if (!v.is_string()) RefuseType(path, txt::TextTypeString);
    return v.get_ref<const std::string&>();
}

std::string HexBytes(const json& v, const Path& path, int max) { return HexOf(String(v, path), path, max); }

EventCollector::EventCollector() : event_(EventShape()) {}

Value& EventCollector::Place(Type type) {
    Value& at = stack_.empty() ? event_ : *member_;
    at.Clear();  // a repeated key replaces the earlier value
    at.type = type;
    return at;
}

bool EventCollector::TakeScalar(Type type, long long integer, unsigned long long natural, bool boolean,
                                std::string* text) {
    if (skipped_ > 0 || (!stack_.empty() && member_ == nullptr)) return false;
    Value& v = Place(type);
    v.integer = integer;
    v.natural = natural;
    v.boolean = boolean;
    if (text != nullptr) v.text.assign(*text);  // keeps the buffer of the event before
    return stack_.empty();                      // an event that is a scalar ends at once
}

bool EventCollector::TakeOpen(bool object) {
    if (skipped_ > 0 || (!stack_.empty() && member_ == nullptr)) {
        ++skipped_;
        return false;
    }
    Value& v = Place(object ? Type::Object : Type::Array);
    if (object && !v.keys.empty()) {
        stack_.push_back(&v);
        member_ = nullptr;
    } else {
        ++skipped_;  // its type is all a refusal needs
    }
    return false;
}

bool EventCollector::TakeKey(const std::string& key) {
    if (skipped_ > 0) return false;
    Value& o = *stack_.back();
    std::size_t at = 0;
    while (at < o.keys.size() && o.keys[at] != key) ++at;
    member_ = at < o.keys.size() ? &o.members[at] : nullptr;
    if (member_ == nullptr && !o.hasUnknown) o.hasUnknown = true, o.unknown = key;
    return false;
}

bool EventCollector::TakeClose() {
    if (skipped_ > 0) {
        --skipped_;
        return skipped_ == 0 && stack_.empty();
    }
    stack_.pop_back();
    return stack_.empty();
}

}  // namespace corvix::textread
