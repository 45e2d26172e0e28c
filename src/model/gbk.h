// GBK (code page 936) <-> UTF-8 at the edges of the program, and GBK-aware cutting.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvix {

// Undecodable bytes become U+FFFD.
std::string GbkToUtf8(std::string_view gbk);
// Characters GBK cannot hold become '?'.
std::string Utf8ToGbk(std::string_view utf8);
// The text of a fixed field: bytes up to the first NUL, at most `width` bytes.
std::string FieldText(const char* field, int width);
// Longest prefix of `gbk` of at most maxBytes bytes that does not split a double-byte character.
std::size_t GbkPrefixLength(std::string_view gbk, std::size_t maxBytes);

}  // namespace corvix
