// SPDX-License-Identifier: Apache-2.0
// Pieces shared by writing and reading the project's text form: hex bytes, the choice
// lists of the coded fields, the event stamp and the JSON writer. Internal to the model's JSON forms
// (project_text*.cpp, project_json.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/record.h"
#include "model/texts.h"

namespace corvix::textform {

inline constexpr const char* ProjectFormat = "corvix-project";
inline constexpr const char* DeviceFormat = "corvix-device";
inline constexpr int FormatVersion = 1;

// Lower-case hex of the bytes.
std::string Hex(const void* data, std::size_t size);
// The bytes of a hex text (either case, even length); nullopt when it is not one.
std::optional<std::string> Unhex(std::string_view hex);
// Hex of the bytes without their trailing zero bytes; empty when all are zero.
std::string HexTrimmed(const void* data, std::size_t size);
bool AllZero(const void* data, std::size_t size);
// GBK keeps ASCII as it is: such texts need no conversion either way.
bool IsAscii(std::string_view text);

// A coded field's choices, in code order; the text written is the English one, and both
// languages' texts are understood when read back.
enum class Choice { Protocol, TimeSync, StopBits, Parity };
std::span<const BiText> ChoiceList(Choice choice);

// An event's time as ISO 8601 ("2024-03-01T12:00:00.250"); nullopt when the fields are no
// real time (then they are written one by one).
std::optional<std::string> StampText(const EventRecord& e);
// Reads a stamp written by StampText into `e`; false when the text is no real time.
bool ParseStamp(std::string_view text, EventRecord& e);

// Writes JSON text straight into one string, laid out byte for byte as the JSON library's
// dump would lay out the same tree (indent 2, or compact with indent -1), without building
// the tree: a full project has some ten thousand event objects.
class JsonWriter {
  public:
    explicit JsonWriter(int indent) : indent_(indent) {}

    void BeginObject() { Open('{'); }
    void EndObject() { Close('}'); }
    void BeginArray() { Open('['); }
    void EndArray() { Close(']'); }
    // Starts an object member; its value follows.
    void Key(std::string_view key);
    // Starts an array element; its value follows.
    void Element() { Separate(); }
    void String(std::string_view text);
    void Integer(long long value);
    void Bool(bool value) { out_ += value ? "true" : "false"; }
    void Null() { out_ += "null"; }
    // Key and value in one.
    void Member(std::string_view key, std::string_view text) { Key(key), String(text); }
    void Member(std::string_view key, long long value) { Key(key), Integer(value); }

    std::string& Text() { return out_; }
    void Reserve(std::size_t bytes) { out_.reserve(bytes); }

  private:
    void Open(char bracket);
    void Close(char bracket);
    void Separate();

    int indent_;
    std::string out_;
    std::vector<bool> empty_;  // per open container: nothing written in it yet
};

// An event's time fields as members of the open object, year to millisecond.
void PutTimeMembers(JsonWriter& w, const EventRecord& e);

}  // namespace corvix::textform
