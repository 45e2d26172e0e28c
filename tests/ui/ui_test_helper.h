// SPDX-License-Identifier: Apache-2.0
// Shared seams of the GUI tests: a scripted user interface that answers file, name and save
// questions from queues and records every message, the fixtures most tests build their
// windows from, and small helpers around them.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devsim/sim_server.h"
#include "link/engine.h"
#include "model/doc.h"
#include "ui/frame/mainframe.h"
#include "ui/qt_user_interface.h"
#include "ui/views/maclistview.h"

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


// ms: the wait for a simulated device's answers; a loaded machine may be slow, the result
// is not timed.
constexpr int Generous = 20000;

// A pseudo-terminal: the link opens Path(); Master() reads the line settings back (on Linux
// the master reports the terminal's settings) and sees what is written.
class TestPty {
  public:
    TestPty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) path_ = ptsname(master_);
    }
    ~TestPty() {
        if (master_ >= 0) close(master_);
    }
    TestPty(const TestPty&) = delete;
    TestPty& operator=(const TestPty&) = delete;
    const std::string& Path() const { return path_; }
    int Master() const { return master_; }

  private:
    int master_ = -1;
    std::string path_;
};

// A main window over a fresh document and a scripted user interface. A test class derives
// from it, opens the window in init() and closes it in cleanup().
struct FrameFixture {
    std::unique_ptr<QTemporaryDir> dir;   // with ownSettings only
    std::unique_ptr<QSettings> settings;  // with ownSettings only
    std::unique_ptr<CBrondaleDoc> doc;
    std::unique_ptr<ScriptedUserInterface> ui;
    std::unique_ptr<CMainFrame> frame;

    // Builds the window, not yet shown. With `ownSettings` it keeps its settings (the
    // recent-file list) in a file of a temporary folder of its own; without, in memory only.
    void OpenFrame(bool ownSettings = false);
    // Closes the window, answering no question about unwritten changes, and frees it all.
    void CloseFrame();
};

// The main window and a simulated device on a pseudo-terminal that it can connect to.
struct DeviceFixture : FrameFixture {
    std::unique_ptr<sim::SimServer> server;

    void StartServer(const sim::SimOptions& options);
    // Connects the window to the device's port.
    void Connect();
    // The window first, so the link closes before the device goes away.
    void CloseFrameAndDevice();
};

// A shown parameter list over a new project in `lang`.
struct ListBench {
    CBrondaleDoc doc;
    CMacListView view{doc};

    explicit ListBench(int lang = LangChinese);
    DeviceRecord& Rec() { return doc.CurrentDevice(); }
    // Selects `page` of the first device and fills the list with it.
    void Show(int page);
    QString Cell(int r, int c) const;
};

// Reads a whole file (empty when it cannot be read).
std::string ReadFileBytes(const std::string& path);

}  // namespace corvix::test
