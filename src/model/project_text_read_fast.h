// SPDX-License-Identifier: Apache-2.0
// The fast first reading of a project's text: simdjson parses it, and its values are handed
// on as the very calls nlohmann's SAX parser makes, so that one reader turns either parser's
// calls into the block. Internal to project_text_read*.cpp.
#pragma once

#include <string_view>

#include "model/project_text_read_events.h"

namespace corvix::textread {

// Parses `text` with simdjson and, once the whole text was taken, replays it to `sax` in the
// text's order. Returns false without a call to `sax` when simdjson refuses the text, or when
// its reading could differ from nlohmann's (a number nlohmann reads as a float but simdjson
// refuses, a byte order mark simdjson might treat otherwise): the caller then parses with
// nlohmann, which names the line and column of a fault.
bool ReplayFast(std::string_view text, nlohmann::json_sax<json>& sax);

}  // namespace corvix::textread
