// SPDX-License-Identifier: Apache-2.0
#include "cli/textconv_command.h"

#include <cstdio>
#include <memory>

#include "cli/cli.h"
#include "model/doc.h"
#include "model/project_textconv.h"
#include "model/texts.h"

namespace corvix::cli {
namespace {

constexpr const char* kTextconvUsage =
    "usage: corvix-cli project textconv FILE [--lang zh|en]\n"
    "Prints the project in FILE as stable lines of text, one field per line, each naming its\n"
    "device (counted from 0), page and field, for example\n"
    "  device 2 / RS485 Port B1 - System / Baud rate: 9600\n"
    "The device's name is a line of its own, so renaming a device changes one line. The lists\n"
    "keep their order (events oldest first), and a line per device and one for the project sum\n"
    "up the bytes no page shows (their number and a hash). Names and texts are English unless\n"
    "--lang zh is given. Made for git: with\n"
    "  echo '*.mac diff=corvix' >> .gitattributes\n"
    "  git config diff.corvix.textconv \"corvix-cli project textconv\"\n"
    "git diff and git log -p show the fields that changed.\n"
    "Exit codes: 0 ok, 2 usage, 3 the file cannot be read or is no project file.\n";

int Usage(const std::string& error) {
    std::fprintf(stderr, "corvix-cli project textconv: %s\n\n%s", error.c_str(), kTextconvUsage);
    return ExitUsage;
}

}  // namespace

int RunProjectTextconv(const std::vector<std::string>& args) {
    CommandLine cl = ParseCommandLine(args, 1, false);
    if (cl.help) {
        std::fputs(kTextconvUsage, stdout);
        return ExitOk;
    }
    if (!cl.error.empty()) return Usage(cl.error);
    if (cl.positional.size() != 1) return Usage("expected exactly one FILE");
    const int lang = cl.languageGiven ? cl.language : LangEnglish;
    auto block = std::make_unique<ProjectBlock>();
    const FileError error = ReadProjectFile(cl.positional[0], *block);
    if (error != FileError::None) {
        const BiText& text = error == FileError::CannotOpen ? txt::CannotOpenFile : txt::FileFormatError;
        std::fprintf(stderr, "corvix-cli: %s: %s\n", Pick(text, lang), PrintableText(cl.positional[0]).c_str());
        return ExitFile;
    }
    const std::string text = ProjectLines(*block, lang);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) return ExitFile;
    return ExitOk;
}

}  // namespace corvix::cli
