// SPDX-License-Identifier: Apache-2.0
#include "model/diff_sides.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

#include "model/doc.h"
#include "model/project_text.h"
#include "model/texts.h"

namespace corvix {
namespace {

// A text form of a full project is a few megabytes; anything far beyond is no project.
constexpr off_t MaxSideBytes = 64 << 20;

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

SideLoad Failed(SideProblem problem, std::string message) {
    SideLoad load;
    load.problem = problem;
    load.message = std::move(message);
    return load;
}

}  // namespace

SideName ParseSideName(std::string_view text) {
    SideName name{std::string(text), std::nullopt};
    const std::size_t at = text.rfind('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == text.size() || IsFile(name.path)) return name;
    const std::string_view digits = text.substr(at + 1);
    if (digits.size() > 4 || digits.find_first_not_of("0123456789") != std::string_view::npos) return name;
    name.path = std::string(text.substr(0, at));
    name.device = std::stoi(std::string(digits));
    return name;
}

SideLoad LoadSide(const SideName& name, int uiLanguage) {
    // Only a regular file is opened: a FIFO would hold the reader, a device might act.
    struct stat st {};
    if (::stat(name.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return Failed(SideProblem::CannotRead, Pick(txt::DiffCannotRead, uiLanguage) + name.path);
    if (st.st_size > MaxSideBytes)
        return Failed(SideProblem::NotProject, Pick(txt::DiffNotProject, uiLanguage) + name.path);
    std::ifstream in(name.path, std::ios::binary);
    std::string bytes;
    if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad())
        return Failed(SideProblem::CannotRead, Pick(txt::DiffCannotRead, uiLanguage) + name.path);

    SideLoad load;
    const uint32_t magic = ProjectMagic;
    if (bytes.size() >= sizeof magic && std::memcmp(bytes.data(), &magic, sizeof magic) == 0) {
        auto block = std::make_unique<ProjectBlock>();
        if (bytes.size() != static_cast<std::size_t>(ProjectFileSize))
            return Failed(SideProblem::NotProject, Pick(txt::DiffNotProject, uiLanguage) + name.path);
        std::memcpy(block.get(), bytes.data() + sizeof magic, sizeof(ProjectBlock));
        load.side.block = std::move(block);
    } else {
        TextFormError error;
        std::optional<ParsedProjectText> parsed = ProjectFromJson(bytes, error);
        if (!parsed)
            return Failed(SideProblem::NotProject,
                          Pick(txt::DiffNotProject, uiLanguage) + name.path + "\n" + error.Message(uiLanguage));
        load.side.block = std::move(parsed->block);
        load.side.device = parsed->onlyDevice;
    }

    if (name.device) {
        // A JSON text of one device holds that slot and no other.
        const bool held = load.side.device ? *load.side.device == *name.device
                                           : *name.device < load.side.block->DeviceCountClamped();
        if (!held) {
            const int count = load.side.device ? 1 : load.side.block->DeviceCountClamped();
            char text[512];
            std::snprintf(text, sizeof text, Pick(txt::DiffNoDevice, uiLanguage), *name.device, count,
                          name.path.c_str());
            return Failed(SideProblem::NoDevice, text);
        }
        load.side.device = name.device;
    }
    return load;
}

bool SameKind(const DiffSide& left, const DiffSide& right) {
    return left.device.has_value() == right.device.has_value();
}

std::vector<Difference> DiffSides(const DiffSide& left, const DiffSide& right, int uiLanguage) {
    if (!SameKind(left, right)) return {};
    if (!left.device) return DiffProjects(*left.block, *right.block, uiLanguage);
    std::vector<Difference> rows =
        DiffDevices(left.block->devices[*left.device], right.block->devices[*right.device], uiLanguage);
    for (Difference& d : rows) d.device = *left.device;
    return rows;
}

}  // namespace corvix
