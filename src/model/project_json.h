// SPDX-License-Identifier: Apache-2.0
// The project as compact JSON for tools and scripts: texts converted from GBK to UTF-8
// (undecodable bytes as U+FFFD), only the slots and entries the counts cover, counts clamped.
// The lossless, canonical form is project_text.h.
#pragma once

#include <string>
#include <string_view>

#include "model/record.h"

namespace corvix {

// `s` as a quoted JSON string (s is UTF-8; invalid sequences become U+FFFD).
std::string JsonQuote(std::string_view s);

std::string DeviceJson(const DeviceRecord& device);
std::string ProjectJson(const ProjectBlock& block);

}  // namespace corvix
