// SPDX-License-Identifier: Apache-2.0
// The two sides of a diff: each a whole project or one device of it, read from a project
// file (.mac) or from its JSON text form, named on a command line as PATH or PATH@N.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/compare.h"
#include "model/record.h"

namespace corvix {

// What a side names: a file and, for one device, its slot (0-based).
struct SideName {
    std::string path;
    std::optional<int> device;
};

// "PATH@N" names device N of PATH (N decimal digits). A text that names an existing file as a
// whole is that file, so a file whose name ends in "@2" can still be given.
SideName ParseSideName(std::string_view text);

struct DiffSide {
    std::unique_ptr<ProjectBlock> block;
    std::optional<int> device;  // one device: its slot in `block`
};

enum class SideProblem {
    None,
    CannotRead,  // the file cannot be opened or read
    NotProject,  // neither a project file nor a valid JSON text of one (the message says why)
    NoDevice,    // the device asked for is not in the file
};

struct SideLoad {
    DiffSide side;
    SideProblem problem = SideProblem::None;
    std::string message;  // in the language asked for, naming the file
};

// Reads a side: a project file by its first bytes, anything else as JSON text. A JSON text of
// one device is that device; asking it for another device is refused.
SideLoad LoadSide(const SideName& name, int uiLanguage);

// The rows of a diff of two loaded sides: whole projects paired by slot, or two devices
// (their rows name the left side's slot). Two sides of different kinds give nothing: check
// SameKind first.
bool SameKind(const DiffSide& left, const DiffSide& right);
std::vector<Difference> DiffSides(const DiffSide& left, const DiffSide& right, int uiLanguage);

}  // namespace corvix
