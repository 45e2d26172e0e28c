#include "ui/ui_test_helper.h"

#include <fstream>
#include <iterator>

namespace corvix::test {
namespace {

template <typename T>
std::optional<T> Next(std::deque<std::optional<T>>& queue) {
    if (queue.empty()) return std::nullopt;
    std::optional<T> answer = queue.front();
    queue.pop_front();
    return answer;
}

}  // namespace

std::optional<std::string> ScriptedUserInterface::AskOpenProjectPath() {
    ++openAsked;
    return Next(openPaths);
}

std::optional<std::string> ScriptedUserInterface::AskSaveProjectPath() {
    ++saveAsked;
    return Next(savePaths);
}

std::optional<std::string> ScriptedUserInterface::AskName(const std::string& initialGbk, int uiLanguage) {
    nameInitials.push_back(initialGbk);
    nameLanguages.push_back(uiLanguage);
    return Next(names);
}

void ScriptedUserInterface::ShowMessage(const std::string& textUtf8, const std::string& captionUtf8) {
    messages.push_back({textUtf8, captionUtf8});
}

void ScriptedUserInterface::SetBusy(bool busy) {
    ++busyCalls;
    busyDepth += busy ? 1 : -1;
}

ui::SaveChoice ScriptedUserInterface::AskSaveChanges(int) {
    ++saveChangesAsked;
    if (saveChoices.empty()) return ui::SaveChoice::Cancel;
    const ui::SaveChoice choice = saveChoices.front();
    saveChoices.pop_front();
    return choice;
}

std::vector<std::string> ScriptedUserInterface::MessageTexts() const {
    std::vector<std::string> texts;
    for (const ShownMessage& m : messages) texts.push_back(m.text);
    return texts;
}

int ScriptedUserInterface::CountMessages(const std::string& text) const {
    int n = 0;
    for (const ShownMessage& m : messages) n += m.text == text ? 1 : 0;
    return n;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace corvix::test
