// Shared seams of the GUI tests: a scripted user interface that answers file, name and save
// questions from queues and records every message, and small helpers around it.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "link/engine.h"
#include "ui/qt_user_interface.h"

namespace corvix::test {

struct ShownMessage {
    std::string text;
    std::string caption;
};

// Every question is answered from its queue; an empty queue answers "cancelled".
class ScriptedUserInterface : public ui::IGuiUserInterface {
  public:
    // ---- answers ----
    std::deque<std::optional<std::string>> openPaths;  // AskOpenProjectPath
    std::deque<std::optional<std::string>> savePaths;  // AskSaveProjectPath
    std::deque<std::optional<std::string>> names;      // AskName, GBK bytes
    std::deque<ui::SaveChoice> saveChoices;            // AskSaveChanges

    // ---- record ----
    std::vector<ShownMessage> messages;
    std::vector<std::string> nameInitials;  // initial text of every name question
    std::vector<int> nameLanguages;
    int openAsked = 0;
    int saveAsked = 0;
    int saveChangesAsked = 0;
    int busyDepth = 0;
    int busyCalls = 0;

    std::optional<std::string> AskOpenProjectPath() override;
    std::optional<std::string> AskSaveProjectPath() override;
    std::optional<std::string> AskName(const std::string& initialGbk, int uiLanguage) override;
    void ShowMessage(const std::string& textUtf8, const std::string& captionUtf8) override;
    void SetBusy(bool busy) override;
    ui::SaveChoice AskSaveChanges(int uiLanguage) override;

    // Texts of all messages shown so far, in order.
    std::vector<std::string> MessageTexts() const;
    // How many messages carried exactly `text`.
    int CountMessages(const std::string& text) const;
};

// An engine host that shows nothing: for views that need an engine but not its output.
struct SilentEngineHost : IEngineHost {
    void AppendCommLog(const std::string&) override {}
    void ShowMessage(const std::string&, const std::string&) override {}
    void RefreshInputStates() override {}
    void FillEventLogPage() override {}
    void FillCpuSupervisionPage() override {}
    bool ClockWindowOpen() const override { return false; }
    void ShowDeviceTime(const std::string&) override {}
    void ShowEventWindowForNewEvents() override {}
    void AppendEventText(const std::string&) override {}
};

// Reads a whole file (empty when it cannot be read).
std::string ReadFileBytes(const std::string& path);

}  // namespace corvix::test
