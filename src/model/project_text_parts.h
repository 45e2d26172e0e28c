// Pieces shared by writing and reading the project's text form: hex bytes, the choice
// lists of the coded fields and the event stamp. Internal to project_text*.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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

}  // namespace corvix::textform
