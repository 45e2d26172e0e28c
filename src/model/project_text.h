// SPDX-License-Identifier: Apache-2.0
// The text form of a project: canonical, pretty-printed JSON that carries every byte of the
// project block, so that import(export(block)) gives the same bytes back. Fields a person
// edits appear readable (UTF-8 texts, numbers, choice codes with their text, ISO stamps);
// bytes without meaning appear only where they are not zero. Keys come in one fixed order,
// one value per line, so equal projects give equal texts and a line diff shows the fields
// that changed. The layout is described by data/corvix-project.schema.json.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/record.h"

namespace corvix {

// Canonical JSON text of a whole project.
std::string ProjectToJson(const ProjectBlock& block);
// Canonical JSON text of one device slot (0..MaxDevices-1) with its slot number; the slot is
// exported as stored, also beyond deviceCount.
std::string DeviceToJson(const ProjectBlock& block, int slot);

// Why a text was refused: where (1-based line and column of the JSON text; 0 when the
// problem is a value rather than the syntax), which field (a JSON pointer such as
// "/devices/3/signals/12", empty for syntax errors), and a message in both languages.
struct TextFormError {
    int line = 0;
    int column = 0;
    std::string field;
    std::string zh;      // whole message, Chinese
    std::string en;      // whole message, English
    std::string detail;  // the parser's own words, when it had any (English)

    const std::string& Message(int uiLanguage) const { return IsEnglish(uiLanguage) ? en : zh; }
};

// What a JSON text held: a whole project, or one device export (then the block has only that
// slot filled, everything else zero, and `onlyDevice` names the slot). Heap-allocated: a
// ProjectBlock is 600 KB.
struct ParsedProjectText {
    std::unique_ptr<ProjectBlock> block;
    std::optional<int> onlyDevice;
};

// Reads a text written by ProjectToJson or DeviceToJson (and edits of it). Refuses malformed
// JSON, a wrong type, a missing field or a value out of its range with `error` filled in.
std::optional<ParsedProjectText> ProjectFromJson(std::string_view text, TextFormError& error);

}  // namespace corvix
