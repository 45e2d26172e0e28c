// SPDX-License-Identifier: Apache-2.0
// The fast first reading of a project's text: simdjson parses it, and its values are handed
// on as the very calls nlohmann's SAX parser makes, so that one reader turns either parser's
// calls into the block. Internal to project_text_read*.cpp.
#pragma once

#include <string_view>

#include "model/project_text_read_events.h"

namespace corvix::textread {

// Parses `text` with simdjson and, once the whole text was taken, replays it to `sax` in the
// text's order; returns whether every call returned true. Calls nothing and returns false when
// simdjson refuses the text (among others an integer past 64 bits, which nlohmann reads as a
// float, or nesting past 1024) or when the text starts with a byte simdjson might read
// otherwise: the caller then parses with nlohmann, which names the line and column of a fault.
bool ReplayFast(std::string_view text, nlohmann::json_sax<json>& sax);

}  // namespace corvix::textread
