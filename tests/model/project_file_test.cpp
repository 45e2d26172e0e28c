// SPDX-License-Identifier: Apache-2.0
// New, Import, Export, Save and the project file on disk.
#include "model/project_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "model/doc.h"
#include "model/gbk.h"
#include "model_fakes.h"

namespace corvix {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::WriteBytes;

struct ProjectFileTest : ::testing::Test {
    test::TempDir dir;
    test::FakeUi ui;
    CBrondaleDoc doc;
    test::FakeViews views{doc};

    void SetUp() override {
        doc.SetUserInterface(&ui);
        doc.SetViews(&views);
    }
    std::string NewProjectFile(const std::string& name, int lang = LangEnglish) {
        doc.SetLanguage(lang);
        doc.NewProject();
        EXPECT_TRUE(doc.WriteProjectFile(dir / name));
        return dir / name;
    }
};

TEST_F(ProjectFileTest, NewEnglishProjectSavedAtOnce) {
    const std::string path = NewProjectFile("new.mac");
    EXPECT_EQ(doc.Title(), "Corvix");
    EXPECT_EQ(doc.Modified(), 1);
    EXPECT_EQ(doc.CurrentPage(), KindDeviceFirst);
    EXPECT_EQ(&doc.CurrentDevice(), &doc.Project().devices[0]);
    EXPECT_TRUE(ui.BusyBalanced());

    const std::string file = ReadBytes(path);
    ASSERT_EQ(file.size(), 609872u);
    EXPECT_EQ(file.substr(0, 12), std::string("\xB3\x15\0\0\x01\0\0\0\x01\0\0\0", 12));
    EXPECT_EQ(file.substr(12, 12), std::string("new project\0", 12));
    EXPECT_EQ(file.substr(112, 2), std::string("1\0", 2));
    EXPECT_EQ(file.substr(112 + 180, 12), std::string("matrix in01\0", 12));
}

TEST_F(ProjectFileTest, NewChineseProjectWithoutViewsSelectsTheFirstDevice) {
    doc.SetViews(nullptr);
    doc.SetLanguage(LangChinese);
    doc.NewProject();
    EXPECT_EQ(Bytes(doc.Project().projectName, 7), std::string("\xD0\xC2\xB9\xA4\xB3\xCC\0", 7));  // 新工程
    EXPECT_EQ(doc.CurrentDeviceId(), KindDeviceFirst);
    EXPECT_EQ(&doc.CurrentDevice(), &doc.Project().devices[0]);
}

TEST_F(ProjectFileTest, ExportImportRoundTripIsByteIdentical) {
    doc.SetLanguage(LangEnglish);
    doc.NewProject();
    // Stale bytes in unused slots and after text terminators must survive.
    for (int i = 1; i < MaxDevices; ++i)
        std::memset(static_cast<void*>(&doc.Project().devices[i]), 0x30 + i, sizeof(DeviceRecord));
    doc.Project().projectName[50] = 'q';
    ui.saveAnswers.push_back(dir / "a.mac");
    doc.ExportProject();
    EXPECT_EQ(doc.Title(), "a.mac");
    EXPECT_EQ(doc.ProjectPath(), dir / "a.mac");
    EXPECT_EQ(doc.Modified(), 1) << "export leaves the modified mark";

    CBrondaleDoc other;
    test::FakeUi otherUi;
    other.SetUserInterface(&otherUi);
    ASSERT_TRUE(other.ImportProjectFrom(dir / "a.mac"));
    EXPECT_EQ(std::memcmp(&other.Project(), &doc.Project(), sizeof(ProjectBlock)), 0);
    ASSERT_TRUE(other.WriteProjectFile(dir / "b.mac"));
    EXPECT_EQ(ReadBytes(dir / "a.mac"), ReadBytes(dir / "b.mac"));
}

TEST_F(ProjectFileTest, ImportSetsPathTitleAndSelection) {
    const std::string path = NewProjectFile("p.mac");
    CBrondaleDoc other;
    test::FakeViews otherViews(other);
    test::FakeUi otherUi;
    other.SetViews(&otherViews);
    other.SetUserInterface(&otherUi);
    other.SetModified(1);
    otherUi.openAnswers.push_back(path);
    other.ImportProject();
    EXPECT_EQ(otherUi.openAsked, 1);
    EXPECT_EQ(other.Title(), "Corvix-" + path);
    EXPECT_EQ(other.ProjectPath(), path);
    EXPECT_EQ(other.Modified(), 0);
    EXPECT_EQ(otherViews.rebuilds, 1);
    EXPECT_EQ(otherViews.updates, 1);
    EXPECT_EQ(&other.CurrentDevice(), &other.Project().devices[0]);
    EXPECT_GE(otherViews.clears, 1);  // the rebuild selected a device node: empty page
    EXPECT_TRUE(otherUi.BusyBalanced());
}

struct BadFile {
    const char* name;
    bool create;
    std::size_t size;
    bool goodMagic;
    const char* en;
    const char* zh;
};

class ImportFailure : public ProjectFileTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(ImportFailure, LeavesEverythingAsItWas) {
    const BadFile& bad = GetParam();
    for (int lang : {LangEnglish, LangChinese}) {
        const std::string good = NewProjectFile("good.mac", LangEnglish);
        ASSERT_TRUE(doc.ImportProjectFrom(good));
        doc.Project().devices[0].address = 77;  // an unsaved change
        doc.SetModified(1);
        doc.SetLanguage(lang);
        const std::string path = dir / bad.name;
        if (bad.create) {
            std::string bytes = ReadBytes(good);
            bytes.resize(bad.size, 'x');
            if (!bad.goodMagic) bytes[0] = '\xB4';
            WriteBytes(path, bytes);
        }
        auto before = std::make_unique<ProjectBlock>(doc.Project());
        const std::string title = doc.Title();
        ui.messages.clear();
        EXPECT_FALSE(doc.ImportProjectFrom(path));
        EXPECT_EQ(std::memcmp(before.get(), &doc.Project(), sizeof(ProjectBlock)), 0);
        EXPECT_EQ(doc.ProjectPath(), good);
        EXPECT_EQ(doc.Title(), title);
        EXPECT_EQ(doc.Modified(), 1);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0], IsEnglish(lang) ? bad.en : bad.zh);
        EXPECT_EQ(ui.captions[0], "Corvix");
        EXPECT_TRUE(ui.BusyBalanced());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImportFailure,
    ::testing::Values(BadFile{"missing.mac", false, 0, true, "Can not open file", "文件打不开"},
                      BadFile{"magic.mac", true, 609872, false, "file format error", "配置文件格式不符"},
                      BadFile{"short.mac", true, 609871, true, "file format error", "配置文件格式不符"},
                      BadFile{"long.mac", true, 609873, true, "file format error", "配置文件格式不符"},
                      BadFile{"tiny.mac", true, 2, true, "file format error", "配置文件格式不符"}),
    [](const auto& info) {
        return std::string(info.param.name).substr(0, std::string(info.param.name).find('.'));
    });

TEST_F(ProjectFileTest, SaveOfANewProjectAsksForAPathAndClearsModifiedWhenCancelled) {
    doc.NewProject();
    doc.SaveProject();
    EXPECT_EQ(ui.saveAsked, 1);
    EXPECT_EQ(doc.Modified(), 0);
    EXPECT_TRUE(ui.messages.empty());

    ui.saveAnswers.push_back(dir / "s.mac");
    doc.SetModified(1);
    doc.SaveProject();
    EXPECT_EQ(ReadBytes(dir / "s.mac").size(), 609872u);
    doc.Project().devices[0].address = 9;
    doc.SetModified(1);
    doc.SaveProject();  // has a path now: no dialog
    EXPECT_EQ(ui.saveAsked, 2);
    EXPECT_EQ(ReadBytes(dir / "s.mac").substr(4 + 108 + 156, 2), std::string("\x09\0", 2));
}

TEST_F(ProjectFileTest, ExportIntoAMissingFolderReportsAndChangesNothing) {
    doc.NewProject();
    ui.saveAnswers.push_back(dir / "no/such/folder.mac");
    doc.ExportProject();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "文件打不开");
    EXPECT_EQ(doc.Title(), "Corvix");
    EXPECT_TRUE(doc.ProjectPath().empty());
}

// A write that fails half-way (here: the file size limit, like a full disk) must leave the
// previous file as it was and no temporary file behind.
TEST_F(ProjectFileTest, FailedWriteKeepsThePreviousFile) {
    const std::string path = NewProjectFile("keep.mac");
    const std::string old = ReadBytes(path);
    doc.Project().devices[0].address = 200;

    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileError direct = WriteProjectFileAtomic(path, doc.Project());
    doc.SetModified(1);
    doc.SetProjectPath(path);
    doc.SaveProject();  // the file opened, so the failure is reported, not sent to Save As
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(direct, FileError::CannotWrite);
    EXPECT_EQ(ui.saveAsked, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "File write error");  // the project file was written in English
    EXPECT_TRUE(ui.BusyBalanced());
    EXPECT_EQ(doc.Modified(), 0);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
}

// A folder where the file should go cannot be opened for writing: the open-error message,
// as for any path that cannot be opened, and nothing left behind.
TEST_F(ProjectFileTest, FolderInPlaceOfTheFileCannotBeOpened) {
    doc.NewProject();
    std::filesystem::create_directory(dir / "taken.mac");
    EXPECT_FALSE(doc.WriteProjectFile(dir / "taken.mac"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "文件打不开");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path / "taken.mac"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);

    // Save on such a path goes on to Save As, as for a path that cannot be opened.
    doc.SetProjectPath(dir / "taken.mac");
    doc.SetModified(1);
    doc.SaveProject();
    EXPECT_EQ(ui.saveAsked, 1);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(doc.Modified(), 0);
}

// A file the user may not write is not replaced behind its back by the rename.
TEST_F(ProjectFileTest, ReadOnlyFileIsNotReplaced) {
    if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
    const std::string path = NewProjectFile("locked.mac");
    const std::string old = ReadBytes(path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    doc.Project().devices[0].address = 77;
    EXPECT_FALSE(doc.WriteProjectFile(path));
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back(), "Open file error");
    EXPECT_EQ(ReadBytes(path), old);
}

// A FIFO named as a project would make the reader wait for a writer forever.
TEST_F(ProjectFileTest, FifoIsRefusedWithoutWaiting) {
    ASSERT_EQ(mkfifo((dir / "f.mac").c_str(), 0600), 0);
    EXPECT_FALSE(doc.ImportProjectFrom(dir / "f.mac"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "文件打不开");
}

// ---- saving: which way each case goes ----

struct Entry {
    mode_t mode;
    uid_t uid;
    gid_t gid;
    ino_t ino;
    std::string content;  // a file's bytes, a link's target
    bool operator==(const Entry&) const = default;
};
using Folder = std::map<std::string, Entry>;

Folder Snapshot(const std::filesystem::path& folder) {
    Folder f;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        struct stat st {};
        lstat(e.path().c_str(), &st);
        const std::string content = S_ISREG(st.st_mode)   ? ReadBytes(e.path())
                                    : S_ISLNK(st.st_mode) ? std::filesystem::read_symlink(e.path()).string()
                                                          : "";
        f[e.path().filename()] = {st.st_mode, st.st_uid, st.st_gid, st.st_ino, content};
    }
    return f;
}

enum class Way { Replace, InPlace, Refuse, Fail };

struct SaveCase {
    const char* name;
    const char* saved;   // the name given to the save
    const char* target;  // the file that takes the new image
    Way way;
    bool unprivileged;  // saved by "nobody" when we are root (else by ourselves)
    bool sizeLimit;     // a file-size limit below the image, as a full disk
    // Puts the old file (bytes `old`) in place; false when that needs root and we are not.
    bool (*setup)(const std::string& folder, const std::string& old, const passwd& nobody);
};

bool Plain(const std::string& f, const std::string& old, const passwd&) {
    WriteBytes(f + "/p.mac", old);
    return chmod((f + "/p.mac").c_str(), 0640) == 0;
}
bool HardLink(const std::string& f, const std::string& old, const passwd& n) {
    return Plain(f, old, n) && link((f + "/p.mac").c_str(), (f + "/q.mac").c_str()) == 0;
}
bool OwnedByNobody(const std::string& f, const std::string& old, const passwd& n) {
    return Plain(f, old, n) && chown((f + "/p.mac").c_str(), n.pw_uid, n.pw_gid) == 0;
}
bool OwnedByUsWritableByAll(const std::string& f, const std::string& old, const passwd& n) {
    return geteuid() == 0 && Plain(f, old, n) && chmod((f + "/p.mac").c_str(), 0666) == 0 &&
           chmod(f.c_str(), 0777) == 0;
}
bool ReadOnlyFolder(const std::string& f, const std::string& old, const passwd& n) {
    if (!Plain(f, old, n)) return false;
    if (geteuid() == 0 &&
        (chown((f + "/p.mac").c_str(), n.pw_uid, n.pw_gid) != 0 || chown(f.c_str(), n.pw_uid, n.pw_gid) != 0))
        return false;
    return chmod(f.c_str(), 0555) == 0;
}
bool Dangling(const std::string& f, const std::string&, const passwd&) {
    return symlink("t.mac", (f + "/l.mac").c_str()) == 0;
}
bool Loop(const std::string& f, const std::string&, const passwd&) {
    return symlink("b.mac", (f + "/a.mac").c_str()) == 0 && symlink("a.mac", (f + "/b.mac").c_str()) == 0;
}
bool Fifo(const std::string& f, const std::string&, const passwd&) {
    return mkfifo((f + "/p.mac").c_str(), 0644) == 0;
}

class SaveWay : public ::testing::TestWithParam<SaveCase> {};

// The save runs in a child, so that it can drop its privileges or meet a size limit alone.
FileError SaveInChild(const std::string& path, const ProjectBlock& block, const SaveCase& c,
                      const passwd& nobody) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (c.unprivileged && geteuid() == 0 && (setgid(nobody.pw_gid) != 0 || setuid(nobody.pw_uid) != 0))
            _exit(99);
        const struct rlimit small { 4096, 4096 };
        if (c.sizeLimit && (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &small) != 0))
            _exit(99);
        _exit(static_cast<int>(WriteProjectFileAtomic(path, block)));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 99) << status;
    return static_cast<FileError>(WEXITSTATUS(status));
}

TEST_P(SaveWay, KeepsWhatItReplacesAndLeavesNothingBehind) {
    const SaveCase& c = GetParam();
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    test::TempDir dir;
    ASSERT_EQ(chmod(dir.path.c_str(), 0711), 0);  // the unprivileged saver reaches the folder inside
    const std::string folder = dir / "f";
    std::filesystem::create_directory(folder);
    auto block = std::make_unique<ProjectBlock>();
    block->projectOpen = 1;
    const std::string old = ProjectFileImage(*block);
    block->devices[0].address = 42;
    const std::string fresh = ProjectFileImage(*block);
    if (!c.setup(folder, old, *nobody)) GTEST_SKIP() << "setting up this case needs root";

    const Folder before = Snapshot(folder);
    const FileError err = SaveInChild(folder + "/" + c.saved, *block, c, *nobody);
    const Folder after = Snapshot(folder);
    chmod(folder.c_str(), 0755);
    if (c.way == Way::Refuse || c.way == Way::Fail) {
        EXPECT_EQ(err, c.way == Way::Refuse ? FileError::CannotOpen : FileError::CannotWrite);
        EXPECT_TRUE(after == before) << "the folder changed";
        return;
    }
    ASSERT_EQ(err, FileError::None);
    ASSERT_TRUE(after.count(c.target));
    const Entry& now = after.at(c.target);
    EXPECT_TRUE(now.content == fresh);
    const auto was = before.find(c.target);
    EXPECT_EQ(after.size(), before.size() + (was == before.end() ? 1 : 0)) << "a temporary file was left";
    if (was != before.end()) {
        const Entry& old = was->second;
        EXPECT_EQ(now.ino == old.ino, c.way == Way::InPlace);
        EXPECT_EQ(std::tie(now.uid, now.gid, now.mode), std::tie(old.uid, old.gid, old.mode));
    }
    // Everything else is as it was, but for other names of the same file.
    for (const auto& [name, e] : after)
        EXPECT_TRUE(name == c.target ||
                    (before.count(name) && e == (e.ino == now.ino ? now : before.at(name))))
            << name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveWay,
    ::testing::Values(
        SaveCase{"plain", "p.mac", "p.mac", Way::Replace, false, false, Plain},
        SaveCase{"hard_link", "p.mac", "p.mac", Way::InPlace, false, false, HardLink},
        SaveCase{"other_owner_saved_by_root", "p.mac", "p.mac", Way::Replace, false, false, OwnedByNobody},
        SaveCase{"other_owner", "p.mac", "p.mac", Way::InPlace, true, false, OwnedByUsWritableByAll},
        SaveCase{"read_only_folder", "p.mac", "p.mac", Way::InPlace, true, false, ReadOnlyFolder},
        SaveCase{"disk_full", "p.mac", "p.mac", Way::Fail, false, true, Plain},
        SaveCase{"disk_full_in_place", "p.mac", "p.mac", Way::Fail, false, true, HardLink},
        SaveCase{"dangling_link", "l.mac", "t.mac", Way::Replace, false, false, Dangling},
        SaveCase{"symlink_loop", "a.mac", "", Way::Refuse, false, false, Loop},
        SaveCase{"fifo", "p.mac", "", Way::Refuse, false, false, Fifo}),
    [](const auto& info) { return std::string(info.param.name); });

// A save killed before its rename leaves a named temporary file; the next save beside it
// removes it once its process is gone. Saves themselves use unnamed files where they can.
TEST_F(ProjectFileTest, StaleTemporariesRemovedAndNoNamedOneWhileSaving) {
    const std::string path = NewProjectFile("p.mac");
    // No process has the PID pid_max: PIDs stay below it.
    const std::string stale =
        dir / (".p.mac.tmp" + std::to_string(std::stol(ReadBytes("/proc/sys/kernel/pid_max"))) + "-0");
    const std::string live = dir / ".p.mac.tmp1-0";  // init never ends
    for (const std::string& t : {stale, live}) {
        WriteBytes(t, ReadBytes(path));
        const struct timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, t.c_str(), hourAgo, 0), 0);
    }
    ProjectFileWriter writer;
    ASSERT_EQ(writer.Open(path), FileError::None);
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(live));
    const int probe = open(dir.path.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (probe >= 0) {  // a file system with unnamed files
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 2);
        close(probe);
    }
    EXPECT_EQ(writer.Commit(doc.Project()), FileError::None);
}

TEST_F(ProjectFileTest, CountsOutOfRangeAreClampedButKept) {
    const std::string path = NewProjectFile("counts.mac");
    std::string bytes = ReadBytes(path);
    const int32_t devices = 1000;
    std::memcpy(bytes.data() + 8, &devices, 4);
    WriteBytes(path, bytes);
    ASSERT_TRUE(doc.ImportProjectFrom(path));
    EXPECT_FALSE(doc.CanAddDevice());
    ui.nameAnswers.push_back("extra");
    doc.AddDevice();
    EXPECT_EQ(doc.Project().deviceCount, 1000);
    ASSERT_TRUE(doc.WriteProjectFile(dir / "again.mac"));
    EXPECT_EQ(ReadBytes(dir / "again.mac"), bytes);
}

}  // namespace
}  // namespace corvix
