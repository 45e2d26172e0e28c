// SPDX-License-Identifier: Apache-2.0
// Shared by the settings history tests: private folders, device records, and the real git
// run on a repository to check what the library wrote.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "model/record.h"

namespace history_test {

// A private folder, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/corvix-history-XXXXXX";
        if (mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Output and exit code of a shell command.
struct Shell {
    int code = -1;
    std::string out;
};
inline Shell Run(const std::string& command) {
    Shell r;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return r;
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
inline std::string Git(const std::string& repo, const std::string& args) {
    return Run("git -C '" + repo + "' " + args).out;
}

// A project with `count` new devices named 1, 2, ... at addresses 1, 2, ...
inline std::unique_ptr<corvix::ProjectBlock> Project(int count) {
    auto p = std::make_unique<corvix::ProjectBlock>();
    p->projectOpen = 1;
    p->deviceCount = count;
    for (int i = 0; i < count; ++i) {
        corvix::InitialiseNewDevice(p->devices[i], std::to_string(i + 1).c_str(), corvix::LangEnglish);
        p->devices[i].address = static_cast<int16_t>(i + 1);
    }
    return p;
}

}  // namespace history_test
