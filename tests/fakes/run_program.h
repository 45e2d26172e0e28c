// SPDX-License-Identifier: Apache-2.0
// One way for the tests to run the project's programs: start one with arguments and an
// optional standard input, gather its stdout and stderr on a thread of ours, and wait for it
// with a bound so that a hung program fails its test instead of stalling the whole run.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace corvix::test {

// Generous enough for a loaded machine; only a program that hangs ever reaches it.
inline constexpr int ProgramBoundMs = 60000;

// A program built beside the test executables.
inline std::string BuiltProgram(const std::string& name) {
    return std::string(CORVIX_BINARY_DIR) + "/" + name;
}

struct ProgramResult {
    int exitCode = -1;   // 128 + the signal for a program ended by one
    bool ended = false;  // false: it was still running at the bound and was killed
    std::string out;
    std::string err;
};

class Program {
  public:
    // Without `input` the program reads an empty standard input, never the test's own.
    Program(const std::string& path, const std::vector<std::string>& args,
            std::optional<std::string> input = std::nullopt) {
        int inPipe[2] = {-1, -1}, outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
        if (pipe2(outPipe, O_CLOEXEC) != 0) return;
        if (pipe2(errPipe, O_CLOEXEC) != 0 || (input && pipe2(inPipe, O_CLOEXEC) != 0)) {
            for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
                if (fd >= 0) close(fd);
            return;
        }
        // Our end of the input never blocks, so the program's output is read while it is fed.
        if (input) fcntl(inPipe[1], F_SETFL, O_NONBLOCK);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (input)
            posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(path.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        for (int fd : {inPipe[0], outPipe[1], errPipe[1]})
            if (fd >= 0) close(fd);
        reader_ = std::thread([this, in = inPipe[1], out = outPipe[0], err = errPipe[0],
                               text = input.value_or(std::string())] { Gather(in, text, out, err); });
    }
    ~Program() {
        if (Started() && !reaped_) {
            kill(pid_, SIGKILL);
            Reap(0);
        }
        if (reader_.joinable()) reader_.join();
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return pid_ > 0; }

    // Refused once the program has been reaped, so a reused process id is never hit.
    bool Signal(int sig) { return Started() && !reaped_ && kill(pid_, sig) == 0; }

    // True once the program has ended within the bound; it is left running otherwise.
    bool EndsWithin(int boundMs) {
        if (!Started()) return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
        while (!Reap(WNOHANG)) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // Waits for the program to end and for all of its output; past the bound it is killed.
    ProgramResult Wait(int boundMs = ProgramBoundMs) {
        ProgramResult r;
        if (!Started()) return r;
        r.ended = EndsWithin(boundMs);
        if (!r.ended) {
            kill(pid_, SIGKILL);
            Reap(0);
        }
        if (reader_.joinable()) reader_.join();
        std::lock_guard<std::mutex> lock(mutex_);
        r.exitCode = r.ended ? exitCode_ : -1;
        r.out = out_;
        r.err = err_;
        return r;
    }

    // Waits until stdout holds `text` (true) or the bound passes or stdout closes (false).
    bool WaitForOutput(const std::string& text, int boundMs = ProgramBoundMs) {
        return WaitFor(out_, text, boundMs);
    }
    // The same for stderr.
    bool WaitForError(const std::string& text, int boundMs = ProgramBoundMs) { return WaitFor(err_, text, boundMs); }

    // The first line of stdout without its newline, for a program that keeps running after
    // it; empty when the program ends (or the bound passes) before printing a whole line.
    std::string FirstLine(int boundMs = ProgramBoundMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool whole = changed_.wait_for(lock, std::chrono::milliseconds(boundMs), [&] {
            return out_.find('\n') != std::string::npos || outClosed_;
        }) && out_.find('\n') != std::string::npos;
        return whole ? out_.substr(0, out_.find('\n')) : std::string();
    }

    std::string OutputSoFar() {
        std::lock_guard<std::mutex> lock(mutex_);
        return out_;
    }

  private:
    bool WaitFor(const std::string& stream, const std::string& text, int boundMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(boundMs), [&] {
            return stream.find(text) != std::string::npos || outClosed_;
        }) && stream.find(text) != std::string::npos;
    }
    // True once reaped; `flags` WNOHANG asks without blocking.
    bool Reap(int flags) {
        if (reaped_) return true;
        int status = 0;
        pid_t got;
        do {
            got = waitpid(pid_, &status, flags);
        } while (got < 0 && errno == EINTR);
        if (got != pid_) return false;
        reaped_ = true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }

    void Gather(int in, const std::string& input, int out, int err) {
        // A program that ends without reading its input must not take the test down with
        // SIGPIPE: blocked here, the write just fails.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        if (in >= 0 && input.empty()) {
            close(in);
            in = -1;
        }
        std::size_t written = 0;
        pollfd fds[3] = {{out, POLLIN, 0}, {err, POLLIN, 0}, {in, POLLOUT, 0}};
        while (fds[0].fd >= 0 || fds[1].fd >= 0) {
            if (poll(fds, 3, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[2].fd >= 0 && fds[2].revents != 0) {
                const ssize_t n = write(fds[2].fd, input.data() + written, input.size() - written);
                if (n > 0) written += static_cast<std::size_t>(n);
                if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
                    close(fds[2].fd);
                    fds[2].fd = -1;
                }
            }
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) continue;
                char buffer[4096];
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                std::lock_guard<std::mutex> lock(mutex_);
                if (n <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    if (i == 0) outClosed_ = true;
                } else {
                    (i == 0 ? out_ : err_).append(buffer, static_cast<std::size_t>(n));
                }
                changed_.notify_all();
            }
        }
        for (const pollfd& p : fds)
            if (p.fd >= 0) close(p.fd);
        std::lock_guard<std::mutex> lock(mutex_);
        outClosed_ = true;
        changed_.notify_all();
    }

    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitCode_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool outClosed_ = false;
    std::string out_, err_;
};

// Runs a program to its end (within the bound) and hands back what it printed.
inline ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                                std::optional<std::string> input = std::nullopt,
                                int boundMs = ProgramBoundMs) {
    Program p(path, args, std::move(input));
    EXPECT_TRUE(p.Started()) << "cannot start " << path;
    ProgramResult r = p.Wait(boundMs);
    EXPECT_TRUE(r.ended) << path << " was still running after " << boundMs << " ms";
    return r;
}

}  // namespace corvix::test
