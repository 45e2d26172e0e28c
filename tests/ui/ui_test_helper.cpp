// SPDX-License-Identifier: Apache-2.0
#include "ui/ui_test_helper.h"

#include <QtTest>
#include <fstream>
#include <iterator>

#include "link/comm_link.h"

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

void FrameFixture::OpenFrame(bool ownSettings) {
    if (ownSettings) {
        dir = std::make_unique<QTemporaryDir>();
        settings = std::make_unique<QSettings>(dir->filePath("settings.conf"), QSettings::IniFormat);
    }
    doc = std::make_unique<CBrondaleDoc>();
    ui = std::make_unique<ScriptedUserInterface>();
    frame = std::make_unique<CMainFrame>(*doc, *ui, settings.get());
}

void FrameFixture::CloseFrame() {
    if (frame) {
        doc->SetModified(0);  // no closing question in teardown
        frame->close();
    }
    frame.reset();
    ui.reset();
    doc.reset();
    settings.reset();
    dir.reset();
}

void DeviceFixture::StartServer(const sim::SimOptions& options) {
    server = std::make_unique<sim::SimServer>(options);
    std::string error;
    QVERIFY2(server->Start(&error), error.c_str());
}

void DeviceFixture::Connect() {
    frame->Link().settings.portName = server->DevicePath();
    frame->RunCommand(CMainFrame::IdConnect);
    QVERIFY(frame->Link().IsConnected());
}

void DeviceFixture::CloseFrameAndDevice() {
    CloseFrame();
    if (server) server->Stop();
    server.reset();
}

ListBench::ListBench(int lang) {
    doc.SetLanguage(lang);
    doc.NewProject();
    view.resize(700, 400);
    view.show();
}

void ListBench::Show(int page) {
    doc.SelectNode(page, KindDeviceFirst);
    view.ShowPage();
}

QString ListBench::Cell(int r, int c) const {
    const QTableWidgetItem* it = view.item(r, c);
    return it ? it->text() : QString();
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace corvix::test
