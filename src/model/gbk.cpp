// SPDX-License-Identifier: Apache-2.0
#include "model/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace corvix {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// iconv descriptors are not safe to share between threads, and opening one costs far more
// than converting a field: each thread keeps one per direction for its lifetime.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (Ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return cd_; }

  private:
    iconv_t cd_;
};

Converter& ToUtf8() {
    thread_local Converter conv("UTF-8", "CP936");
    return conv;
}

Converter& ToGbk() {
    thread_local Converter conv("CP936", "UTF-8");
    return conv;
}

// Length of the UTF-8 sequence that starts with `lead`, 1 for a stray byte.
std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

// Converts `in` with `cd`; on an undecodable sequence appends `bad` and skips
// `skip(first byte)` bytes. Returns false only when the converter itself is unusable.
template <typename Skip>
bool Convert(iconv_t cd, std::string_view in, std::string& out, const char* bad, Skip skip) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a cached converter starts in the initial state
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[512];
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (errno == EILSEQ || errno == EINVAL) {
            out.append(bad);
            std::size_t n = skip(static_cast<unsigned char>(*src));
            if (n > srcLeft) n = srcLeft;
            src += n;
            srcLeft -= n;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
            continue;
        }
        return false;
    }
    return true;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
    std::string out;
    Converter& conv = ToUtf8();
    if (!conv.Ok()) {
        // Without a converter keep ASCII and mark everything else as undecodable.
        for (unsigned char c : gbk) {
            if (c < 0x80)
                out.push_back(static_cast<char>(c));
            else
                out.append(kReplacement);
        }
        return out;
    }
    out.reserve(gbk.size() + gbk.size() / 2);
    Convert(conv.Get(), gbk, out, kReplacement, [](unsigned char) { return std::size_t{1}; });
    return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
    std::string out;
    Converter& conv = ToGbk();
    if (!conv.Ok()) {
        for (std::size_t i = 0; i < utf8.size();) {
            unsigned char c = static_cast<unsigned char>(utf8[i]);
            out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
            i += c < 0x80 ? 1 : Utf8SequenceLength(c);
        }
        return out;
    }
    out.reserve(utf8.size());
    Convert(conv.Get(), utf8, out, "?", Utf8SequenceLength);
    return out;
}

std::string PrintableText(std::string_view utf8, bool keepLineEnds) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (keepLineEnds && (c == '\n' || (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n'))) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xF]);
        } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0 &&
                   static_cast<unsigned char>(utf8[i + 1]) >= 0x80) {
            // U+0080..U+009F: the 8-bit control characters, CSI among them.
            const unsigned char low = static_cast<unsigned char>(utf8[++i]);
            out += "\\u00";
            out.push_back(kHex[(low >> 4) & 0xF]);
            out.push_back(kHex[low & 0xF]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string FieldText(const char* field, int width) {
    if (field == nullptr || width <= 0) return {};
    return std::string(field, strnlen(field, static_cast<std::size_t>(width)));
}

std::size_t GbkPrefixLength(std::string_view gbk, std::size_t maxBytes) {
    std::size_t i = 0;
    while (i < gbk.size()) {
        unsigned char c = static_cast<unsigned char>(gbk[i]);
        std::size_t n = 1;
        if (c >= 0x81 && c <= 0xFE && i + 1 < gbk.size()) {
            unsigned char t = static_cast<unsigned char>(gbk[i + 1]);
            if (t >= 0x40 && t <= 0xFE && t != 0x7F) n = 2;
        }
        if (i + n > maxBytes) break;
        i += n;
    }
    return i;
}

}  // namespace corvix
