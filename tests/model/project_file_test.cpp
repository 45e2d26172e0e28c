// New, Import, Export, Save and the project file on disk.
#include "model/project_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <memory>

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
        doc.uiLanguage = lang;
        doc.NewProject();
        EXPECT_TRUE(doc.WriteProjectFile(dir / name));
        return dir / name;
    }
};

TEST_F(ProjectFileTest, NewEnglishProjectSavedAtOnce) {
    const std::string path = NewProjectFile("new.mac");
    EXPECT_EQ(doc.title, "Corvix");
    EXPECT_EQ(doc.modified, 1);
    EXPECT_EQ(doc.currentPage, KindDeviceFirst);
    EXPECT_EQ(doc.currentDevice, &doc.project->devices[0]);
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
    doc.uiLanguage = LangChinese;
    doc.NewProject();
    EXPECT_EQ(Bytes(doc.project->projectName, 7), std::string("\xD0\xC2\xB9\xA4\xB3\xCC\0", 7));  // 新工程
    EXPECT_EQ(doc.currentDeviceId, KindDeviceFirst);
    EXPECT_EQ(doc.currentDevice, &doc.project->devices[0]);
}

TEST_F(ProjectFileTest, ExportImportRoundTripIsByteIdentical) {
    doc.uiLanguage = LangEnglish;
    doc.NewProject();
    // Stale bytes in unused slots and after text terminators must survive.
    for (int i = 1; i < MaxDevices; ++i)
        std::memset(static_cast<void*>(&doc.project->devices[i]), 0x30 + i, sizeof(DeviceRecord));
    doc.project->projectName[50] = 'q';
    ui.saveAnswers.push_back(dir / "a.mac");
    doc.ExportProject();
    EXPECT_EQ(doc.title, "a.mac");
    EXPECT_EQ(doc.projectPath, dir / "a.mac");
    EXPECT_EQ(doc.modified, 1) << "export leaves the modified mark";

    CBrondaleDoc other;
    test::FakeUi otherUi;
    other.SetUserInterface(&otherUi);
    ASSERT_TRUE(other.ImportProjectFrom(dir / "a.mac"));
    EXPECT_EQ(std::memcmp(other.project.get(), doc.project.get(), sizeof(ProjectBlock)), 0);
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
    other.modified = 1;
    otherUi.openAnswers.push_back(path);
    other.ImportProject();
    EXPECT_EQ(otherUi.openAsked, 1);
    EXPECT_EQ(other.title, "Corvix-" + path);
    EXPECT_EQ(other.projectPath, path);
    EXPECT_EQ(other.modified, 0);
    EXPECT_EQ(otherViews.rebuilds, 1);
    EXPECT_EQ(otherViews.updates, 1);
    EXPECT_EQ(other.currentDevice, &other.project->devices[0]);
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
        doc.project->devices[0].address = 77;  // an unsaved change
        doc.modified = 1;
        doc.uiLanguage = lang;
        const std::string path = dir / bad.name;
        if (bad.create) {
            std::string bytes = ReadBytes(good);
            bytes.resize(bad.size, 'x');
            if (!bad.goodMagic) bytes[0] = '\xB4';
            WriteBytes(path, bytes);
        }
        auto before = std::make_unique<ProjectBlock>(*doc.project);
        const std::string title = doc.title;
        ui.messages.clear();
        EXPECT_FALSE(doc.ImportProjectFrom(path));
        EXPECT_EQ(std::memcmp(before.get(), doc.project.get(), sizeof(ProjectBlock)), 0);
        EXPECT_EQ(doc.projectPath, good);
        EXPECT_EQ(doc.title, title);
        EXPECT_EQ(doc.modified, 1);
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
    EXPECT_EQ(doc.modified, 0);
    EXPECT_TRUE(ui.messages.empty());

    ui.saveAnswers.push_back(dir / "s.mac");
    doc.modified = 1;
    doc.SaveProject();
    EXPECT_EQ(ReadBytes(dir / "s.mac").size(), 609872u);
    doc.project->devices[0].address = 9;
    doc.modified = 1;
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
    EXPECT_EQ(doc.title, "Corvix");
    EXPECT_TRUE(doc.projectPath.empty());
}

// A write that fails half-way (here: the file size limit, like a full disk) must leave the
// previous file as it was and no temporary file behind.
TEST_F(ProjectFileTest, FailedWriteKeepsThePreviousFile) {
    const std::string path = NewProjectFile("keep.mac");
    const std::string old = ReadBytes(path);
    doc.project->devices[0].address = 200;

    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileError direct = WriteProjectFileAtomic(path, *doc.project);
    doc.modified = 1;
    doc.projectPath = path;
    doc.SaveProject();  // the file opened, so the failure is reported, not sent to Save As
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(direct, FileError::CannotWrite);
    EXPECT_EQ(ui.saveAsked, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "File write error");  // the project file was written in English
    EXPECT_TRUE(ui.BusyBalanced());
    EXPECT_EQ(doc.modified, 0);
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
    doc.projectPath = dir / "taken.mac";
    doc.modified = 1;
    doc.SaveProject();
    EXPECT_EQ(ui.saveAsked, 1);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(doc.modified, 0);
}

// A file the user may not write is not replaced behind its back by the rename.
TEST_F(ProjectFileTest, ReadOnlyFileIsNotReplaced) {
    if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
    const std::string path = NewProjectFile("locked.mac");
    const std::string old = ReadBytes(path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    doc.project->devices[0].address = 77;
    EXPECT_FALSE(doc.WriteProjectFile(path));
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back(), "Open file error");
    EXPECT_EQ(ReadBytes(path), old);
}

TEST_F(ProjectFileTest, ReadOnlyFolderKeepsThePreviousFile) {
    if (geteuid() == 0) GTEST_SKIP() << "folder permissions do not bind root";
    const std::string path = NewProjectFile("ro.mac");
    const std::string old = ReadBytes(path);
    doc.project->devices[0].address = 5;
    std::filesystem::permissions(dir.path,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(doc.WriteProjectFile(path));
    EXPECT_EQ(ReadBytes(path), old);
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
    EXPECT_EQ(doc.project->deviceCount, 1000);
    ASSERT_TRUE(doc.WriteProjectFile(dir / "again.mac"));
    EXPECT_EQ(ReadBytes(dir / "again.mac"), bytes);
}

}  // namespace
}  // namespace corvix
