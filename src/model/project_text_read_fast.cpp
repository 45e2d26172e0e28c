// SPDX-License-Identifier: Apache-2.0
// Replaying simdjson's parse as nlohmann SAX calls (see the header).
#include "model/project_text_read_fast.h"

#include <simdjson.h>

#include <string>

namespace corvix::textread {

namespace {

namespace dom = simdjson::dom;

// The calls nlohmann makes for one value; `buffer` carries keys and strings, which the reader
// may move away. simdjson bounds the depth (1024), which bounds this recursion.
bool Replay(dom::element e, nlohmann::json_sax<json>& sax, std::string& buffer) {
    constexpr auto kUnknownSize = static_cast<std::size_t>(-1);  // what nlohmann passes for text
    switch (e.type()) {
        case dom::element_type::OBJECT:
            if (!sax.start_object(kUnknownSize)) return false;
            for (dom::key_value_pair member : dom::object(e)) {
                buffer.assign(member.key);
                if (!sax.key(buffer) || !Replay(member.value, sax, buffer)) return false;
            }
            return sax.end_object();
        case dom::element_type::ARRAY:
            if (!sax.start_array(kUnknownSize)) return false;
            for (dom::element item : dom::array(e))
                if (!Replay(item, sax, buffer)) return false;
            return sax.end_array();
        case dom::element_type::INT64: {
            // nlohmann reads every integer without a sign as unsigned. "-0" arrives here as 0
            // and goes on as an unsigned 0 where nlohmann says a signed 0: the reader takes
            // both as the same number.
            const int64_t v = e.get_int64().value_unsafe();
            return v < 0 ? sax.number_integer(v) : sax.number_unsigned(static_cast<uint64_t>(v));
        }
        case dom::element_type::UINT64:
            return sax.number_unsigned(e.get_uint64().value_unsafe());
        case dom::element_type::DOUBLE:
            buffer.clear();  // the token as written, which the reader never looks at
            return sax.number_float(e.get_double().value_unsafe(), buffer);
        case dom::element_type::STRING:
            buffer.assign(e.get_string().value_unsafe());
            return sax.string(buffer);
        case dom::element_type::BOOL:
            return sax.boolean(e.get_bool().value_unsafe());
        case dom::element_type::NULL_VALUE:
            return sax.null();
    }
    return false;
}

}  // namespace

bool ReplayFast(std::string_view text, nlohmann::json_sax<json>& sax) {
    // nlohmann skips one byte order mark at the very start and refuses one anywhere else;
    // whether simdjson skips one is left untested by handing it no text that starts with one.
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
    if (!text.empty() && static_cast<unsigned char>(text.front()) == 0xEF) return false;
    dom::parser parser;
    dom::element root;
    if (parser.parse(text.data(), text.size()).get(root) != simdjson::SUCCESS) return false;
    std::string buffer;
    return Replay(root, sax, buffer);
}

}  // namespace corvix::textread
