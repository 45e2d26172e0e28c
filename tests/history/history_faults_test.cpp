// SPDX-License-Identifier: Apache-2.0
// A history that cannot be written: the recorder says why once, records nothing, and never
// throws or hangs; a later recording works again once the fault is gone.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "history/recorder.h"
#include "history_support.h"

namespace corvix::history {
namespace {

using history_test::Git;
using history_test::Project;
using history_test::TempDir;

struct Outcome {
    std::vector<std::string> warnings;
    std::string rev;
};

// Records device 0 twice in `folder`; the first recording's commit, and every warning.
Outcome RecordTwice(const std::string& folder, ProjectBlock& project, const std::string& projectFile) {
    Settings s;
    s.folder = folder;
    s.program = "corvix-test 1";
    Recorder recorder(s);
    Outcome out;
    recorder.onWarning = [&out](const std::string& reason) { out.warnings.push_back(reason); };
    const ProjectIdentity id = recorder.Identify(project, projectFile, true);
    out.rev = recorder.RecordRead(project, {0}, id, "p");
    project.devices[0].address = static_cast<int16_t>(project.devices[0].address + 1);
    recorder.RecordRead(project, {0}, id, "p");
    return out;
}

// A repository with one recorded state, for the faults to spoil.
std::string Seeded(const TempDir& dir, ProjectBlock& project) {
    const std::string folder = dir / "h";
    EXPECT_TRUE(RecordTwice(folder, project, dir / "p.mac").warnings.empty());
    return folder;
}

TEST(HistoryFaults, FolderThatCannotBeMadeWarnsOnce) {
    TempDir dir;
    std::ofstream(dir / "file") << "not a folder";
    auto project = Project(1);
    const Outcome out = RecordTwice(dir / "file/history", *project, dir / "p.mac");
    EXPECT_EQ(out.rev, "");
    ASSERT_EQ(out.warnings.size(), 1u);
    EXPECT_NE(out.warnings[0].find("file/history"), std::string::npos) << out.warnings[0];
}

TEST(HistoryFaults, ReadOnlyFolderWarnsOnce) {
    TempDir dir;
    auto project = Project(1);
    std::string folder;
    bool mounted = false;
    if (geteuid() == 0) {
        // Permission bits do not stop root: a read-only file system does.
        folder = dir / "ro";
        std::filesystem::create_directory(folder);
        if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") != 0) GTEST_SKIP() << "cannot mount a tmpfs";
        mounted = true;
        EXPECT_TRUE(RecordTwice(folder + "/h", *project, dir / "p.mac").warnings.empty());
        ASSERT_EQ(mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
        folder += "/h";
    } else {
        folder = Seeded(dir, *project);
        history_test::Run("chmod -R a-w '" + folder + "'");
    }
    const std::string before = Git(folder, "rev-parse HEAD");
    const Outcome out = RecordTwice(folder, *project, dir / "p.mac");
    EXPECT_EQ(out.rev, "");
    EXPECT_EQ(out.warnings.size(), 1u);
    EXPECT_EQ(Git(folder, "rev-parse HEAD"), before);
    if (mounted) umount2((dir / "ro").c_str(), MNT_DETACH);
}

TEST(HistoryFaults, HeldIndexLockKeepsTheCommitAndTheNextRecordingCatchesUp) {
    TempDir dir;
    auto project = Project(1);
    const std::string folder = Seeded(dir, *project);
    std::ofstream(folder + "/.git/index.lock") << "";
    project->devices[0].address = 40;
    Outcome out = RecordTwice(folder, *project, dir / "p.mac");
    EXPECT_NE(out.rev, "");  // the state is recorded; only the working folder lags
    EXPECT_EQ(out.warnings.size(), 1u);
    std::filesystem::remove(folder + "/.git/index.lock");
    project->devices[0].address = 50;
    out = RecordTwice(folder, *project, dir / "p.mac");
    EXPECT_TRUE(out.warnings.empty());
    EXPECT_EQ(Git(folder, "status --porcelain"), "");
}

TEST(HistoryFaults, WriterLockHeldTooLongIsGivenUp) {
    TempDir dir;
    auto project = Project(1);
    const std::string folder = Seeded(dir, *project);
    const int fd = open((folder + "/.git/corvix-history.lock").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    // Another open file description of this process counts as another holder.
    const Outcome out = RecordTwice(folder, *project, dir / "p.mac");
    close(fd);
    EXPECT_EQ(out.rev, "");
    EXPECT_EQ(out.warnings.size(), 1u);
}

TEST(HistoryFaults, CorruptObjectWarnsOnce) {
    TempDir dir;
    auto project = Project(1);
    const std::string folder = Seeded(dir, *project);
    std::string tree = Git(folder, "rev-parse HEAD^{tree}");
    tree.pop_back();
    const std::string object = folder + "/.git/objects/" + tree.substr(0, 2) + "/" + tree.substr(2);
    std::filesystem::permissions(object, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    std::ofstream(object, std::ios::trunc) << "garbage";
    const Outcome out = RecordTwice(folder, *project, dir / "p.mac");
    EXPECT_EQ(out.rev, "");
    EXPECT_EQ(out.warnings.size(), 1u);
}

// A full disk, as the save tests make one: a file-size limit in a child process.
TEST(HistoryFaults, FullDiskWarnsOnce) {
    TempDir dir;
    auto project = Project(1);
    const std::string folder = Seeded(dir, *project);
    const std::string before = Git(folder, "rev-parse HEAD");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        project->devices[0].address = 99;
        const Outcome out = RecordTwice(folder, *project, dir / "p.mac");
        _exit(out.rev.empty() && out.warnings.size() == 1 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Git(folder, "rev-parse HEAD"), before);
    EXPECT_EQ(history_test::Run("git -C '" + folder + "' fsck --strict").code, 0);
}

}  // namespace
}  // namespace corvix::history
