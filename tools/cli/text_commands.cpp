// SPDX-License-Identifier: Apache-2.0
#include "cli/text_commands.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>

#include "cli/cli.h"
#include "cli/history_options.h"
#include "model/project_text.h"
#include "model/texts.h"
#include "present/project_messages.h"

namespace corvix::cli {
namespace {

constexpr const char* kExportUsage =
    "usage: corvix-cli project export FILE [--device N] [-o OUT] [--lang zh|en]\n"
    "Writes the project in FILE as canonical JSON to OUT (standard output without -o): every\n"
    "byte of the file, names as UTF-8, numbers as numbers, codes with their text, event times\n"
    "in ISO form. Keys always come in the same order, one value per line, so equal projects\n"
    "give equal texts and diff shows the fields that changed. With --device, only device slot\n"
    "N (0 to 19, 0 is the first device) is written. The layout is described by\n"
    "corvix-project.schema.json. Messages are in English unless --lang zh is given.\n";

constexpr const char* kImportUsage =
    "usage: corvix-cli project import IN.json -o FILE [--lang zh|en]\n"
    "Writes the project held by IN.json (a whole project's export, edited or not; - reads\n"
    "standard input) to FILE, replacing it in one step as every save does. A text that is not\n"
    "well-formed JSON is refused with its line and column, a value out of its range with the\n"
    "field's name; then nothing is written. The export of one device (--device) is refused:\n"
    "it does not say what the rest of the project holds.\n"
    "Messages are in English unless --lang zh is given.\n";

struct Options {
    std::optional<std::string> output, device;
    std::string error;
};

// Takes -o/--output and --device (with their values) out of the arguments.
std::vector<std::string> TakeOptions(const std::vector<std::string>& args, Options& out, bool deviceAllowed) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const std::string name = a.rfind("--", 0) == 0 ? a.substr(0, a.find('=')) : a;
        std::optional<std::string>* slot = nullptr;
        if (name == "-o" || name == "--output")
            slot = &out.output;
        else if (name == "--device" && deviceAllowed)
            slot = &out.device;
        if (slot == nullptr) {
            rest.push_back(a);
        } else if (name.size() < a.size()) {
            *slot = a.substr(name.size() + 1);
        } else if (i + 1 < args.size()) {
            *slot = args[++i];
        } else {
            out.error = name + " needs a value";
        }
    }
    return rest;
}

int Usage(const char* usage, const std::string& error) {
    std::fprintf(stderr, "corvix-cli project: %s\n\n%s", error.c_str(), usage);
    return ExitUsage;
}

int Problem(ProjectProblem problem, int lang, const std::string& path) {
    std::fprintf(stderr, "corvix-cli: %s: %s\n", PrintableText(path).c_str(),
                 ProjectProblemMessage(problem, lang).text.c_str());
    return ExitFile;
}

// Replaces `path` in one rename, so a failed write never leaves half a text behind.
bool WriteTextFile(const std::string& path, const std::string& text) {
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> ReadTextFile(const std::string& path) {
    std::ostringstream text;
    if (path == "-") {
        text << std::cin.rdbuf();
        return text.str();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    // A regular file is read in one go into one buffer of its size: through a string stream a
    // full project's text is copied twice and costs more than reading it as JSON.
    std::error_code ec;
    const std::uintmax_t size =
        std::filesystem::is_regular_file(path, ec) ? std::filesystem::file_size(path, ec) : 0;
    if (!ec && size > 0) {
        std::string bytes(static_cast<std::size_t>(size), '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(size));
        if (in.bad()) return std::nullopt;
        bytes.resize(static_cast<std::size_t>(in.gcount()));
        in.clear();
        text << in.rdbuf();  // whatever the file grew by meanwhile
        if (in.bad()) return std::nullopt;
        bytes += text.str();
        return bytes;
    }
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

}  // namespace

int RunProjectExport(const std::vector<std::string>& args) {
    Options opt;
    CommandLine cl = ParseCommandLine(TakeOptions(args, opt, true), 1, false);
    if (cl.help) {
        std::fputs(kExportUsage, stdout);
        return ExitOk;
    }
    if (!cl.error.empty()) return Usage(kExportUsage, cl.error);
    if (!opt.error.empty()) return Usage(kExportUsage, opt.error);
    if (cl.positional.size() != 1) return Usage(kExportUsage, "expected exactly one FILE");
    const int lang = cl.languageGiven ? cl.language : LangEnglish;
    int slot = -1;
    if (opt.device) {
        const std::string& d = *opt.device;
        if (!d.empty() && d.size() <= 2 && d.find_first_not_of("0123456789") == std::string::npos)
            slot = std::stoi(d);
        if (slot < 0 || slot >= MaxDevices)
            return Usage(kExportUsage, "--device needs a slot from 0 to 19, not '" + d + "'");
    }
    auto block = std::make_unique<ProjectBlock>();
    const FileError err = ReadProjectFile(cl.positional[0], *block);
    if (err == FileError::CannotOpen) return Problem(ProjectProblem::CannotOpenFile, lang, cl.positional[0]);
    if (err != FileError::None) return Problem(ProjectProblem::FileFormatError, lang, cl.positional[0]);
    const std::string text = slot >= 0 ? DeviceToJson(*block, slot) : ProjectToJson(*block);
    if (opt.output) {
        if (!WriteTextFile(*opt.output, text))
            return Problem(ProjectProblem::WriteFileError, lang, *opt.output);
        return ExitOk;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

int RunProjectImport(const std::vector<std::string>& args) {
    Options opt;
    CommandLine cl = ParseCommandLine(TakeOptions(args, opt, false), 1, false);
    if (cl.help) {
        std::fputs(kImportUsage, stdout);
        return ExitOk;
    }
    if (!cl.error.empty()) return Usage(kImportUsage, cl.error);
    if (!opt.error.empty()) return Usage(kImportUsage, opt.error);
    if (cl.positional.size() != 1) return Usage(kImportUsage, "expected exactly one IN.json");
    if (!opt.output) return Usage(kImportUsage, "-o FILE is needed: where the project goes");
    const int lang = cl.languageGiven ? cl.language : LangEnglish;
    const std::string& input = cl.positional[0];
    const std::optional<std::string> text = ReadTextFile(input);
    if (!text) return Problem(ProjectProblem::CannotOpenFile, lang, input);
    TextFormError error;
    std::optional<ParsedProjectText> parsed = ProjectFromJson(*text, error);
    if (!parsed) {
        std::fprintf(stderr, "corvix-cli: %s: %s\n", PrintableText(input).c_str(),
                     PrintableText(error.Message(lang)).c_str());
        return ExitFile;
    }
    if (parsed->onlyDevice) {
        char message[512];
        std::snprintf(message, sizeof message, Pick(txt::CliImportOneDevice, lang), input.c_str(),
                      *parsed->onlyDevice);
        std::fprintf(stderr, "corvix-cli: %s\n", PrintableText(message).c_str());
        return ExitFile;
    }
    const FileError err = WriteProjectFileAtomic(*opt.output, *parsed->block);
    if (err == FileError::CannotOpen) return Problem(ProjectProblem::OpenFileError, lang, *opt.output);
    if (err != FileError::None) return Problem(ProjectProblem::WriteFileError, lang, *opt.output);
    CliRecording recording(lang);
    recording.Loaded(*parsed->block, *opt.output);
    recording.Saved(*parsed->block);
    return ExitOk;
}

}  // namespace corvix::cli
