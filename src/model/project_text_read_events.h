// SPDX-License-Identifier: Apache-2.0
// Pieces of reading the project's text form shared by its two halves: refusals and the place
// they name, and the reading of events (and of texts, which events share with devices) from a
// small flat value rather than a JSON tree. A full project holds some ten thousand events: the
// parse hands them to EventCollector, which fills one reused value per event, so reading them
// allocates nothing once the first few are read. Internal to project_text_read*.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/record.h"
#include "model/texts.h"

namespace corvix::textread {

// Objects are small (at most 15 keys): a vector-backed object builds faster than a tree.
using json = nlohmann::ordered_json;

struct Refusal {
    std::string field;
    std::string zh, en;
};

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

// Where a value sits, as a chain of keys and indexes; written out as a JSON pointer only
// when a refusal names it, so that reading a large text builds no path strings.
struct Path {
    const Path* parent = nullptr;
    std::string_view key;
    std::size_t index = 0;
    bool isIndex = false;

    std::string Pointer() const;
};

inline Path Child(const Path& path, std::string_view key) { return Path{&path, key, 0, false}; }
inline Path Child(const Path& path, std::size_t index) { return Path{&path, {}, index, true}; }

// Refuses with a field message: the catalog text's first %s is the field.
template <typename... Args>
[[noreturn]] void Refuse(const Path& path, const BiText& text, Args... args) {
    const std::string field = path.Pointer();
    const std::string shown = field.empty() ? "/" : field;
    throw Refusal{field, Format(text.zh, shown.c_str(), args...), Format(text.en, shown.c_str(), args...)};
}

[[noreturn]] void RefuseType(const Path& path, const BiText& type);

// One JSON value as far as reading an event needs it: a scalar's value, or an object's
// members under the keys it may have. Anything else (an array, an object where none is
// expected, members under unknown keys) keeps only its type, or the first unknown key, which
// is all a refusal names.
struct Value {
    enum class Type { Missing, Null, Boolean, Integer, Unsigned, Float, String, Object, Array };
    Type type = Type::Missing;
    bool boolean = false;
    long long integer = 0;           // Integer: always negative, as the parser reports it
    unsigned long long natural = 0;  // Unsigned
    std::string text;                // String
    // Object: the keys it may have, and its members in the same order (Missing where absent).
    std::span<const std::string_view> keys;
    std::vector<Value> members;
    bool hasUnknown = false;
    std::string unknown;  // the first key outside `keys`, in the text's order

    // Missing, keeping the memory of its texts and members for the next value.
    void Clear();
    // The member under keys[i], or nullptr when it is absent.
    const Value* Find(std::size_t i) const {
        return members[i].type == Type::Missing ? nullptr : &members[i];
    }
};

// Values shaped for an event, and for a text ("name" or {"text", "hex", "tail"}).
Value EventShape();
Value TextShape();
// Copies a tree's value into `out`, which was made by one of the shapes above.
void FromTree(const json& v, Value& out);

// Reads a text field (a string, or an object with the text's GBK bytes and tail) into the
// fixed field of `width` bytes.
void ReadText(const Value& v, const Path& path, char* field, int width);
void ReadText(const json& v, const Path& path, char* field, int width);
// Reads an event; `e` is overwritten.
void ReadEvent(const Value& v, const Path& path, EventRecord& e);
void ReadEvent(const json& v, const Path& path, EventRecord& e);
// The checks on a tree's values that device fields share with events.
long long Integer(const json& v, const Path& path, long long min, long long max);
const std::string& String(const json& v, const Path& path);
std::string HexBytes(const json& v, const Path& path, int max);

// Takes the parser's calls for one event, from the event's own first value to its end, into
// a reused Value; Take... return true once the event is complete.
class EventCollector {
  public:
    EventCollector();

    void Begin() { event_.Clear(), stack_.clear(), skipped_ = 0; }
    bool TakeScalar(Value::Type type, long long integer, unsigned long long natural, bool boolean,
                    std::string* text);
    bool TakeOpen(bool object);
    bool TakeKey(const std::string& key);
    bool TakeClose();
    const Value& Event() const { return event_; }

  private:
    Value& Place(Value::Type type);

    Value event_;
    std::vector<Value*> stack_;  // the open objects that are read member by member
    Value* member_ = nullptr;    // where the top object's next value goes; nullptr: nowhere
    std::size_t skipped_ = 0;    // depth of open containers whose content is not kept
};

}  // namespace corvix::textread
