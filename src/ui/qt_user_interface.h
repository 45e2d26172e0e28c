// SPDX-License-Identifier: Apache-2.0
// The GUI's side of the document's user-interface seam: file dialogs, the name dialog,
// message boxes and the wait cursor, plus the questions only the desktop program asks.
// Tests replace the whole interface with a scripted one, so no real modal dialog runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/doc.h"
#include "present/project_messages.h"

class QWidget;

namespace corvix::ui {

enum class SaveChoice { Save, Discard, Cancel };

class IGuiUserInterface : public PresentingUserInterface {
  public:
    // Closing while the project holds changes never written.
    virtual SaveChoice AskSaveChanges(int uiLanguage) = 0;
};

class QtUserInterface : public IGuiUserInterface {
  public:
    // Dialogs are centred on `parent` when given; message boxes are owned by no window.
    explicit QtUserInterface(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    std::optional<std::string> AskOpenProjectPath() override;
    std::optional<std::string> AskSaveProjectPath() override;
    std::optional<std::string> AskName(const std::string& initialGbk, int uiLanguage) override;
    void ShowMessage(const std::string& textUtf8, const std::string& captionUtf8) override;
    void SetBusy(bool busy) override;
    SaveChoice AskSaveChanges(int uiLanguage) override;

  private:
    QWidget* parent_;
    int busyDepth_ = 0;
};

}  // namespace corvix::ui
