// Shared by the corvix-cli device tests: the program run as a child with its output
// collected, a simulated device on a pty, project files in a private folder, and frames
// assembled byte by byte for the tests that play the device themselves.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devsim/devsim.h"
#include "model/doc.h"
#include "model/record.h"

extern char** environ;

namespace cli_device_test {

using Bytes = std::vector<uint8_t>;

// Long enough for a loaded machine; never reached when things work.
inline constexpr int WaitMs = 10000;
// A command that must give up: four sends about four seconds apart, plus slack.
inline constexpr int GiveUpWaitMs = 40000;

inline const std::string CliProgram = std::string(CORVIX_BINARY_DIR) + "/corvix-cli";

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// corvix-cli running as a child; stdout and stderr are gathered by a thread of ours.
class Cli {
  public:
    explicit Cli(const std::vector<std::string>& args) {
        int outPipe[2], errPipe[2];
        if (pipe2(outPipe, O_CLOEXEC) != 0) return;
        if (pipe2(errPipe, O_CLOEXEC) != 0) {
            close(outPipe[0]);
            close(outPipe[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(CliProgram.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, CliProgram.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(outPipe[1]);
        close(errPipe[1]);
        reader_ = std::thread([this, out = outPipe[0], err = errPipe[0]] { Gather(out, err); });
    }
    ~Cli() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (reader_.joinable()) reader_.join();
    }
    Cli(const Cli&) = delete;
    Cli& operator=(const Cli&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // Waits for the child to end and for all of its output.
    Result Wait() {
        Result r;
        if (pid_ <= 0) return r;
        int status = 0;
        if (!reaped_ && waitpid(pid_, &status, 0) == pid_) {
            reaped_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (reader_.joinable()) reader_.join();
        std::lock_guard<std::mutex> lock(mutex_);
        r.exitCode = exitCode_;
        r.out = out_;
        r.err = err_;
        return r;
    }

    // Polls until stdout holds `text` (true) or the wait runs out (false).
    bool WaitForOutput(const std::string& text, int timeoutMs = WaitMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (out_.find(text) != std::string::npos) return true;
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    std::string OutputSoFar() {
        std::lock_guard<std::mutex> lock(mutex_);
        return out_;
    }

  private:
    void Gather(int out, int err) {
        pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
        int open = 2;
        while (open > 0) {
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) continue;
                char buffer[4096];
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                    continue;
                }
                std::lock_guard<std::mutex> lock(mutex_);
                (i == 0 ? out_ : err_).append(buffer, static_cast<std::size_t>(n));
            }
        }
        for (pollfd& p : fds)
            if (p.fd >= 0) close(p.fd);
    }

    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitCode_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::string out_, err_;
};

inline Result RunCli(const std::vector<std::string>& args) {
    Cli cli(args);
    EXPECT_TRUE(cli.Started());
    return cli.Wait();
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
        if (!path_.empty()) rmdir(path_.c_str());
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
