// SPDX-License-Identifier: Apache-2.0
#include "cli/report_pdf_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

extern char** environ;

namespace corvix::cli {
namespace {

constexpr const char* kWriterName = "corvix-report-pdf";
constexpr int kWriterExitFile = 3;  // the writer could not write OUT

std::filesystem::path OwnFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path();
}

// Writes everything unless the reader goes away; SIGPIPE is held off for the call, so a
// writer that ends early shows as a short write, not as the death of this program.
bool WriteAll(int fd, const std::string& bytes) {
    struct sigaction ignore {}, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            break;
    }
    sigaction(SIGPIPE, &previous, nullptr);
    return done == bytes.size();
}

}  // namespace

std::vector<std::string> PdfWriterCandidates() {
    const std::filesystem::path folder = OwnFolder();
    if (folder.empty()) return {};
    return {(folder / kWriterName).string(),
            (folder / CORVIX_LIBEXEC_FROM_BIN / kWriterName).lexically_normal().string()};
}

PdfWriterRun RunPdfWriter(const std::string& encodedDocument, const std::string& out) {
    std::string writer;
    for (const std::string& candidate : PdfWriterCandidates())
        if (access(candidate.c_str(), X_OK) == 0) {
            writer = candidate;
            break;
        }
    if (writer.empty()) return {PdfWriterRun::Missing};

    int input[2];
    if (pipe2(input, O_CLOEXEC) != 0) return {PdfWriterRun::Failed, 0};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    // The writer gets the default SIGPIPE whatever this program's disposition is.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    std::string target = out;
    char* argv[] = {writer.data(), target.data(), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, writer.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(input[0]);
    if (spawned != 0) {
        close(input[1]);
        return {spawned == ENOENT ? PdfWriterRun::Missing : PdfWriterRun::Failed, 127};
    }
    const bool fed = WriteAll(input[1], encodedDocument);
    close(input[1]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return {PdfWriterRun::Failed, 0};
    if (WIFSIGNALED(status)) return {PdfWriterRun::Failed, 128 + WTERMSIG(status)};
    const int code = WEXITSTATUS(status);
    if (code == kWriterExitFile) return {PdfWriterRun::WriteFailed, code};
    // A writer that stopped reading cannot have drawn the whole report.
    if (code != 0 || !fed) return {PdfWriterRun::Failed, code};
    return {PdfWriterRun::Written, 0};
}

}  // namespace corvix::cli
