// SPDX-License-Identifier: Apache-2.0
// Shared pieces of corvix-cli: exit codes, option parsing, JSON strings, and the
// document host that turns dialogs and messages into arguments and stderr lines.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/doc.h"
#include "present/project_messages.h"
#include "model/gbk.h"
#include "model/project_json.h"
#include "model/record.h"

namespace corvix::cli {

inline constexpr int ExitOk = 0;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitFile = 3;
inline constexpr int ExitFull = 5;

// "zh" -> 0 (Chinese), "en" -> 1 (English); anything else is not a language.
inline std::optional<int> ParseLanguage(std::string_view text) {
    if (text == "zh") return LangChinese;
    if (text == "en") return LangEnglish;
    return std::nullopt;
}

inline bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

inline std::string JsonString(std::string_view utf8) { return JsonQuote(utf8); }

// Arguments of one command: positionals in order, plus --lang, --json and --help.
struct CommandLine {
    std::vector<std::string> positional;
    int language = LangChinese;  // the program starts in Chinese
    bool languageGiven = false;
    bool json = false;
    bool help = false;
    std::string error;  // non-empty: a usage error
};

inline CommandLine ParseCommandLine(const std::vector<std::string>& args, std::size_t first,
                                    bool acceptJson) {
    CommandLine cl;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (IsHelp(a)) {
            cl.help = true;
        } else if (a == "--json" && acceptJson) {
            cl.json = true;
        } else if (a == "--lang" || a.rfind("--lang=", 0) == 0) {
            std::string value;
            if (a == "--lang") {
                if (i + 1 >= args.size()) {
                    cl.error = "--lang needs zh or en";
                    continue;
                }
                value = args[++i];
            } else {
                value = a.substr(7);
            }
            std::optional<int> lang = ParseLanguage(value);
            if (!lang)
                cl.error = "unknown language '" + value + "' (zh or en)";
            else {
                cl.language = *lang;
                cl.languageGiven = true;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            cl.error = "unknown option '" + a + "'";
        } else {
            cl.positional.push_back(a);
        }
    }
    return cl;
}

// The CLI as host of the document: no dialogs (a name comes from the command line, file
// dialogs are cancelled), messages go to stderr.
class CliUserInterface : public PresentingUserInterface {
  public:
    void SetName(const std::string& utf8) { nameGbk_ = Utf8ToGbk(utf8); }
    std::optional<std::string> AskOpenProjectPath() override { return std::nullopt; }
    std::optional<std::string> AskSaveProjectPath() override { return std::nullopt; }
    std::optional<std::string> AskName(const std::string&, int) override { return nameGbk_; }
    void ShowMessage(const std::string& textUtf8, const std::string&) override {
        std::fprintf(stderr, "corvix-cli: %s\n", textUtf8.c_str());
        ++messages_;
    }
    void SetBusy(bool) override {}
    int Messages() const { return messages_; }

  private:
    std::optional<std::string> nameGbk_;
    int messages_ = 0;
};

int RunProjectCommand(const std::vector<std::string>& args);

}  // namespace corvix::cli
