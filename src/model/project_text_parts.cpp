// SPDX-License-Identifier: Apache-2.0
#include "model/project_text_parts.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace corvix::textform {

std::string Hex(const void* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const auto* p = static_cast<const unsigned char*>(data);
    std::string out(size * 2, '0');
    for (std::size_t i = 0; i < size; ++i) {
        out[2 * i] = kDigits[p[i] >> 4];
        out[2 * i + 1] = kDigits[p[i] & 15];
    }
    return out;
}

std::optional<std::string> Unhex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out(hex.size() / 2, '\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int hi = digit(hex[2 * i]);
        const int lo = digit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out[i] = static_cast<char>(hi * 16 + lo);
    }
    return out;
}

std::string HexTrimmed(const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0 && p[size - 1] == 0) --size;
    return Hex(p, size);
}

bool AllZero(const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        if (p[i] != 0) return false;
    return true;
}

bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::span<const BiText> ChoiceList(Choice choice) {
    switch (choice) {
        case Choice::Protocol:
            return txt::PortProtocolTexts;
        case Choice::TimeSync:
            return txt::TimeSyncTexts;
        case Choice::StopBits:
            return txt::StopBitsTexts;
        case Choice::Parity:
            break;
    }
    return txt::ParityTexts;
}

namespace {

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool IsRealTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    const int days = kDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
    return day <= days && hour < 24 && minute < 60 && second < 60 && millisecond < 1000;
}

}  // namespace

std::optional<std::string> StampText(const EventRecord& e) {
    if (!IsRealTime(e.year, e.month, e.day, e.hour, e.minute, e.second, e.millisecond)) return std::nullopt;
    std::string text = "0000-00-00T00:00:00.000";
    auto put = [&text](std::size_t at, std::size_t digits, unsigned value) {
        for (std::size_t i = at + digits; i > at; value /= 10)
            text[--i] = static_cast<char>('0' + value % 10);
    };
    put(0, 4, e.year);
    put(5, 2, e.month);
    put(8, 2, e.day);
    put(11, 2, e.hour);
    put(14, 2, e.minute);
    put(17, 2, e.second);
    put(20, 3, e.millisecond);
    return text;
}

bool ParseStamp(std::string_view text, EventRecord& e) {
    // Exactly "YYYY-MM-DDTHH:MM:SS.mmm": the form StampText writes, nothing looser.
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd.ddd";
    if (text.size() != kShape.size()) return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
    }
    auto number = [text](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) v = v * 10 + (text[i] - '0');
        return v;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2), ms = number(20, 3);
    if (!IsRealTime(year, month, day, hour, minute, second, ms)) return false;
    e.year = static_cast<uint16_t>(year);
    e.month = static_cast<uint8_t>(month);
    e.day = static_cast<uint8_t>(day);
    e.hour = static_cast<uint8_t>(hour);
    e.minute = static_cast<uint8_t>(minute);
    e.second = static_cast<uint8_t>(second);
    e.millisecond = static_cast<uint16_t>(ms);
    return true;
}

void JsonWriter::Open(char bracket) {
    out_ += bracket;
    empty_.push_back(true);
}

void JsonWriter::Close(char bracket) {
    const bool wasEmpty = empty_.back();
    empty_.pop_back();
    if (!wasEmpty && indent_ >= 0) {
        out_ += '\n';
        out_.append(empty_.size() * static_cast<std::size_t>(indent_), ' ');
    }
    out_ += bracket;
}

void JsonWriter::Separate() {
    if (!empty_.back()) out_ += ',';
    empty_.back() = false;
    if (indent_ >= 0) {
        out_ += '\n';
        out_.append(empty_.size() * static_cast<std::size_t>(indent_), ' ');
    }
}

void JsonWriter::Key(std::string_view key) {
    Separate();
    String(key);
    out_ += indent_ >= 0 ? ": " : ":";
}

namespace {

// Length of the well-formed UTF-8 sequence at `s[i]` (RFC 3629's table: no overlong forms, no
// surrogates, nothing past U+10FFFF), or 0 where the bytes are none.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = at(i);
    if (b < 0x80) return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b >= 0xC2 && b <= 0xDF) n = 2;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, lo = b == 0xF0 ? 0x90 : 0x80, hi = b == 0xF4 ? 0x8F : 0xBF;
    else return 0;
    if (i + n > s.size() || at(i + 1) < lo || at(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return n;
}

}  // namespace

void JsonWriter::String(std::string_view text) {
    // Well-formed UTF-8 without quotes, backslashes or control characters is written as it is
    // (as the library writes it, not escaping what lies above ASCII); anything else goes
    // through the library.
    bool plain = true;
    for (std::size_t i = 0; plain && i < text.size();) {
        const auto u = static_cast<unsigned char>(text[i]);
        const std::size_t n = Utf8SequenceAt(text, i);
        plain = n > 0 && u >= 0x20 && text[i] != '"' && text[i] != '\\';
        i += n > 0 ? n : 1;
    }
    if (plain) {
        out_ += '"';
        out_ += text;
        out_ += '"';
        return;
    }
    // Escapes and UTF-8 checks as the library does them; bytes that are no UTF-8 are replaced.
    out_ += nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void JsonWriter::Integer(long long value) {
    char buffer[24];
    const int n = std::snprintf(buffer, sizeof buffer, "%lld", value);
    out_.append(buffer, static_cast<std::size_t>(n));
}

void PutTimeMembers(JsonWriter& w, const EventRecord& e) {
    w.Member("year", e.year);
    w.Member("month", e.month);
    w.Member("day", e.day);
    w.Member("hour", e.hour);
    w.Member("minute", e.minute);
    w.Member("second", e.second);
    w.Member("millisecond", e.millisecond);
}

}  // namespace corvix::textform
