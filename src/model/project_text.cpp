// First form: the whole block as hex; the readable layout replaces it.
#include "model/project_text.h"

#include <cstring>
#include <nlohmann/json.hpp>

namespace corvix {

namespace {

std::string Hex(const void* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    const auto* p = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

}  // namespace

std::string ProjectToJson(const ProjectBlock& block) {
    nlohmann::ordered_json j;
    j["format"] = "corvix-project";
    j["raw"] = Hex(&block, sizeof block);
    return j.dump(2) + "\n";
}

std::string DeviceToJson(const ProjectBlock& block, int slot) {
    nlohmann::ordered_json j;
    j["format"] = "corvix-device";
    j["slot"] = slot;
    j["raw"] = Hex(&block.devices[slot], sizeof(DeviceRecord));
    return j.dump(2) + "\n";
}

std::optional<ParsedProjectText> ProjectFromJson(std::string_view text, TextFormError& error) {
    error = {};
    error.zh = "暂不支持";
    error.en = "not yet supported";
    (void)text;
    return std::nullopt;
}

}  // namespace corvix
