// SPDX-License-Identifier: Apache-2.0
// Shared by the corvix-cli device tests: the program run as a child with its output
// collected, a simulated device on a pty, project files in a private folder, and frames
// assembled byte by byte for the tests that play the device themselves.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "devsim/devsim.h"
#include "fakes/run_program.h"
#include "model/doc.h"
#include "model/record.h"

namespace cli_device_test {

using Bytes = std::vector<uint8_t>;

// Long enough for a loaded machine; never reached when things work.
inline constexpr int WaitMs = 10000;
// A command that must give up: four sends about four seconds apart, plus slack.
inline constexpr int GiveUpWaitMs = 40000;

inline const std::string CliProgram = corvix::test::BuiltProgram("corvix-cli");

using Result = corvix::test::ProgramResult;

// corvix-cli running as a child, its output gathered as it comes.
class Cli : public corvix::test::Program {
  public:
    explicit Cli(const std::vector<std::string>& args) : Program(CliProgram, args) {}
};

inline Result RunCli(const std::vector<std::string>& args) {
    return corvix::test::RunProgram(CliProgram, args);
}

inline int Count(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// A private folder for project files, removed with its files.
class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/corvix-cli-device-XXXXXX";
        if (mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        for (const std::string& f : files_) unlink(f.c_str());
        // Commands that record leave the project's history id beside it, too.
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) {
        files_.push_back(path_ + "/" + name);
        return files_.back();
    }

  private:
    std::string path_;
    std::vector<std::string> files_;
};

inline Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A project of `count` new devices, with the given addresses.
inline std::unique_ptr<corvix::ProjectBlock> MakeProject(const std::vector<int>& addresses) {
    auto p = std::make_unique<corvix::ProjectBlock>();
    p->projectOpen = 1;
    p->deviceCount = static_cast<int32_t>(addresses.size());
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const std::string name = "dev" + std::to_string(i);
        corvix::InitialiseNewDevice(p->devices[i], name.c_str(), corvix::LangEnglish);
        p->devices[i].address = static_cast<int16_t>(addresses[i]);
    }
    return p;
}

inline void WriteProject(const std::string& path, const corvix::ProjectBlock& p) {
    ASSERT_EQ(corvix::WriteProjectFileAtomic(path, p), corvix::FileError::None);
}

inline std::unique_ptr<corvix::ProjectBlock> LoadProject(const std::string& path) {
    auto p = std::make_unique<corvix::ProjectBlock>();
    EXPECT_EQ(corvix::ReadProjectFile(path, *p), corvix::FileError::None);
    return p;
}

inline Bytes ImageOf(const corvix::DeviceRecord& rec) {
    const auto* b = reinterpret_cast<const uint8_t*>(&rec);
    return Bytes(b, b + corvix::ConfigImageSize);
}

// A simulated device answering on its own thread; inputs change only when a test says so.
class SimulatedDevice {
  public:
    explicit SimulatedDevice(corvix::sim::SimOptions options = {}) {
        options.changeEveryMs = 0;
        server_ = std::make_unique<corvix::sim::SimServer>(options);
        std::string error;
        started_ = server_->Start(&error);
        EXPECT_TRUE(started_) << error;
    }
    ~SimulatedDevice() { server_->Stop(); }
    std::string Path() const { return server_->DevicePath(); }
    corvix::sim::SimDevice& Device() { return server_->Device(); }
    corvix::sim::SimServer& Server() { return *server_; }

  private:
    std::unique_ptr<corvix::sim::SimServer> server_;
    bool started_ = false;
};

// ---- frames written out by hand (the codec is what is under test) ----

inline void Le16(Bytes& b, unsigned v) {
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

// 58, length (7 + data), control, segment, address, 00, type, function, data, byte sum of
// control..data (32-bit little-endian), 16.
inline Bytes HandFrame(uint8_t control, unsigned segment, uint8_t address, uint8_t type, uint8_t function,
                       const Bytes& data = {}) {
    Bytes f = {0x58};
    Le16(f, 7 + static_cast<unsigned>(data.size()));
    f.push_back(control);
    Le16(f, segment);
    f.push_back(address);
    f.push_back(0x00);
    f.push_back(type);
    f.push_back(function);
    f.insert(f.end(), data.begin(), data.end());
    uint32_t sum = 0;
    for (std::size_t i = 3; i < f.size(); ++i) sum += f[i];
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(sum >> (8 * i)));
    f.push_back(0x16);
    return f;
}

}  // namespace cli_device_test
