// SPDX-License-Identifier: Apache-2.0
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
// A UTF-8 text fit for a terminal: control characters (C0, DEL, and U+0080..U+009F) become
// "\xHH" / "\u00HH", so that a name from a file or a device cannot move the cursor, retitle or
// clear the terminal. With keepLineEnds, "\n" and "\r\n" stay as they are.
std::string PrintableText(std::string_view utf8, bool keepLineEnds = false);
// The text of a fixed field: bytes up to the first NUL, at most `width` bytes.
std::string FieldText(const char* field, int width);
// Longest prefix of `gbk` of at most maxBytes bytes that does not split a double-byte character.
std::size_t GbkPrefixLength(std::string_view gbk, std::size_t maxBytes);

}  // namespace corvix
