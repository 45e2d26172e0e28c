// SPDX-License-Identifier: Apache-2.0
// Fakes for the document's seams and small file helpers shared by the model tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "model/doc.h"
#include "present/project_messages.h"

namespace corvix::test {

struct FakeUi : PresentingUserInterface {
    std::deque<std::optional<std::string>> openAnswers, saveAnswers, nameAnswers;
    int openAsked = 0, saveAsked = 0, nameAsked = 0;
    std::vector<std::string> messages, captions;
    std::vector<bool> busyCalls;

    static std::optional<std::string> Next(std::deque<std::optional<std::string>>& q) {
        if (q.empty()) return std::nullopt;
        auto a = q.front();
        q.pop_front();
        return a;
    }
    std::optional<std::string> AskOpenProjectPath() override { return ++openAsked, Next(openAnswers); }
    std::optional<std::string> AskSaveProjectPath() override { return ++saveAsked, Next(saveAnswers); }
    std::optional<std::string> AskName(const std::string&, int) override {
        return ++nameAsked, Next(nameAnswers);
    }
    void ShowMessage(const std::string& text, const std::string& caption) override {
        messages.push_back(text);
        captions.push_back(caption);
    }
    void SetBusy(bool busy) override { busyCalls.push_back(busy); }
    bool BusyBalanced() const {
        int depth = 0;
        for (bool b : busyCalls) depth += b ? 1 : -1;
        return depth == 0;
    }
};

// Behaves like the tree: a rebuild selects the first device.
struct FakeViews : IDocViews {
    explicit FakeViews(CBrondaleDoc& d) : doc(d) {}
    CBrondaleDoc& doc;
    int rebuilds = 0, shows = 0, clears = 0, updates = 0, titles = 0;
    void RebuildTree() override {
        ++rebuilds;
        if (doc.Project().projectOpen != 0 && doc.Project().DeviceCountClamped() > 0)
            doc.SelectNode(KindDeviceFirst, KindDeviceFirst);
    }
    void ShowPage() override { ++shows; }
    void ClearPage() override { ++clears; }
    void UpdateAllViews() override { ++updates; }
    void TitleChanged() override { ++titles; }
};

// A fresh folder under the test temp directory, removed afterwards.
struct TempDir {
    std::filesystem::path path;
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvix_model_XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string Bytes(const void* p, std::size_t n) { return std::string(static_cast<const char*>(p), n); }

}  // namespace corvix::test
