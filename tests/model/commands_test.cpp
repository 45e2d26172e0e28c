// SPDX-License-Identifier: Apache-2.0
// Device commands of the tree and signal-name commands of the list.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/doc.h"
#include "model/gbk.h"
#include "model_fakes.h"

namespace corvix {
namespace {

struct CommandsTest : ::testing::Test {
    test::FakeUi ui;
    CBrondaleDoc doc;
    test::FakeViews views{doc};

    void SetUp() override {
        doc.SetUserInterface(&ui);
        doc.SetViews(&views);
        doc.SetLanguage(LangEnglish);
        doc.NewProject();
    }
    // Devices named by the letters of `names`, in order.
    void MakeDevices(const std::string& names) {
        doc.Project().deviceCount = 0;
        for (char c : names) {
            ui.nameAnswers.push_back(std::string(1, c));
            doc.AddDevice();
        }
        doc.SetModified(0);
    }
    std::string Names() const {
        std::string out;
        for (int i = 0; i < doc.Project().DeviceCountClamped(); ++i) out += doc.Project().devices[i].name;
        return out;
    }
    bool CurrentDeviceInProject() const {
        return &doc.CurrentDevice() >= &doc.Project().devices[0] &&
               &doc.CurrentDevice() < &doc.Project().devices[MaxDevices];
    }
    std::string Signal(int i) const { return FieldText(doc.CurrentDevice().signalNames[i], SignalNameSize); }
};

TEST_F(CommandsTest, PasteOntoTheFirstOfThree) {
    MakeDevices("ABC");
    doc.CopyDevice(141);
    EXPECT_EQ(&doc.CurrentDevice(), &doc.Project().devices[2]);  // the code and the record agree
    const int rebuilds = views.rebuilds;
    doc.PasteBeforeDevice(139);
    EXPECT_EQ(Names(), "CABC");
    EXPECT_EQ(doc.CurrentDeviceId(), 139);
    EXPECT_EQ(views.rebuilds, rebuilds + 1);
    EXPECT_EQ(doc.Modified(), 1);
    EXPECT_TRUE(doc.CanPasteDevice());
}

TEST_F(CommandsTest, DeleteTheLastAndTheOnlyDevice) {
    MakeDevices("ABC");
    doc.DeleteDevice(141);
    EXPECT_EQ(Names(), "AB");
    doc.DeleteDevice(139);
    EXPECT_EQ(Names(), "B");
    EXPECT_EQ(doc.Modified(), 1);
    doc.DeleteDevice(139);
    EXPECT_EQ(doc.Project().deviceCount, 0);
    doc.DeleteDevice(139);
    EXPECT_EQ(doc.Project().deviceCount, 0);
    EXPECT_TRUE(CurrentDeviceInProject());
}

TEST_F(CommandsTest, CopyDeletePasteRestoresTheDeviceByteForByte) {
    MakeDevices("ABC");
    DeviceRecord& b = doc.Project().devices[1];
    b.eventCount = 2;
    b.events[1].year = 2012;
    std::memset(b.reserved, 0x5A, sizeof b.reserved);
    auto original = std::make_unique<DeviceRecord>(b);
    doc.CopyDevice(140);
    doc.DeleteDevice(140);
    EXPECT_EQ(Names(), "AC");
    doc.PasteAfterLastDevice();
    EXPECT_EQ(Names(), "ACB");
    EXPECT_EQ(std::memcmp(&doc.Project().devices[2], original.get(), sizeof(DeviceRecord)), 0);
    doc.PasteAfterLastDevice();  // the clipboard keeps its device
    EXPECT_EQ(Names(), "ACBB");
}

TEST_F(CommandsTest, CutMovesTheDeviceToTheClipboard) {
    MakeDevices("ABC");
    doc.CutDevice(139);
    EXPECT_EQ(Names(), "BC");
    EXPECT_TRUE(doc.DeviceClipboardFull());  // the paste below shows it holds "A"
    doc.PasteBeforeDevice(141);  // directly after the last device
    EXPECT_EQ(Names(), "BCA");
}

TEST_F(CommandsTest, FullProjectTakesNoMoreDevicesButIsMarkedModified) {
    MakeDevices("ABCDEFGHIJKLMNOPQRST");
    auto before = std::make_unique<ProjectBlock>(doc.Project());
    EXPECT_FALSE(doc.CanAddDevice());
    ui.nameAnswers.push_back("U");
    doc.AddDevice();
    EXPECT_EQ(ui.nameAsked, 21);
    EXPECT_EQ(doc.Modified(), 1);
    doc.CopyDevice(139);
    doc.PasteBeforeDevice(139);
    doc.PasteAfterLastDevice();
    EXPECT_EQ(std::memcmp(before.get(), &doc.Project(), sizeof(ProjectBlock)), 0);
}

TEST_F(CommandsTest, NothingToPasteAndCancelledDialogs) {
    MakeDevices("AB");
    doc.PasteBeforeDevice(139);
    doc.PasteAfterLastDevice();
    EXPECT_EQ(Names(), "AB");
    EXPECT_EQ(doc.Modified(), 0);
    doc.AddDevice();  // dialog cancelled
    EXPECT_EQ(Names(), "AB");
    EXPECT_EQ(doc.Modified(), 1);
    doc.RenameDevice(140);
    EXPECT_EQ(Names(), "AB");
}

TEST_F(CommandsTest, RenameCutsLongNamesAtACharacterBoundary) {
    MakeDevices("A");
    std::string longName = "x";
    for (int i = 0; i < 30; ++i) longName += Utf8ToGbk("装置");
    ui.nameAnswers.push_back(longName);
    doc.RenameDevice(139);
    const std::string name = FieldText(doc.Project().devices[0].name, DeviceNameSize);
    EXPECT_EQ(name.size(), 99u);  // "x" + 49 double-byte characters
    EXPECT_EQ(GbkToUtf8(name).find("\xEF\xBF\xBD"), std::string::npos);
    ui.nameAnswers.push_back(Utf8ToGbk("新名"));
    doc.RenameProject();
    EXPECT_EQ(GbkToUtf8(doc.Project().projectName), "新名");
}

TEST_F(CommandsTest, SelectionFindsTheDeviceAndChoosesThePage) {
    MakeDevices("AB");
    const int shows = views.shows, clears = views.clears;
    doc.SelectNode(KindPortB2, 140);
    EXPECT_EQ(doc.CurrentPage(), KindPortB2);
    EXPECT_EQ(doc.CurrentDeviceId(), 140);
    EXPECT_EQ(&doc.CurrentDevice(), &doc.Project().devices[1]);
    EXPECT_EQ(views.shows, shows + 1);
    doc.SelectNode(KindProject, KindProject);  // the project keeps the current device
    EXPECT_EQ(&doc.CurrentDevice(), &doc.Project().devices[1]);
    doc.SelectNode(KindConfiguration, 139);
    EXPECT_EQ(&doc.CurrentDevice(), &doc.Project().devices[0]);
    EXPECT_EQ(views.clears, clears + 2);
    for (int page : {129, 130, 131, 132, 133, 134, 137, 162}) doc.SelectNode(page, 139);
    EXPECT_EQ(views.shows, shows + 9);
    EXPECT_EQ(views.clears, clears + 2);
}

TEST_F(CommandsTest, DeleteSelectedSignalRows) {
    doc.DeleteSignals({5, 2});
    EXPECT_EQ(doc.CurrentDevice().signalCount, 63);
    EXPECT_EQ(Signal(1), "matrix in02");
    EXPECT_EQ(Signal(2), "matrix in04");
    EXPECT_EQ(Signal(3), "matrix in05");
    EXPECT_EQ(Signal(4), "matrix in07");
    EXPECT_EQ(doc.Modified(), 1);
}

TEST_F(CommandsTest, PasteThreeNamesBeforeRowFour) {
    doc.CopySignals({12, 10, 11});
    ASSERT_EQ(doc.SignalClipboardCount(), 3);
    doc.PasteSignals({8, 4});
    EXPECT_EQ(doc.CurrentDevice().signalCount, 68);
    EXPECT_EQ(Signal(3), "matrix in04");
    EXPECT_EQ(Signal(4), "matrix in11");
    EXPECT_EQ(Signal(5), "matrix in12");
    EXPECT_EQ(Signal(6), "matrix in13");
    EXPECT_EQ(Signal(7), "matrix in05");
    EXPECT_EQ(doc.SignalClipboardCount(), 3);  // pasting keeps the clipboard

    doc.CopySignals({});
    EXPECT_EQ(doc.SignalClipboardCount(), 0);
    doc.SetModified(0);
    doc.PasteSignals({});
    EXPECT_EQ(doc.CurrentDevice().signalCount, 68);
    EXPECT_EQ(doc.Modified(), 1);
}

TEST_F(CommandsTest, CutAndAddWithoutSelection) {
    doc.CutSignals({0, 64});
    EXPECT_EQ(doc.CurrentDevice().signalCount, 63);
    EXPECT_EQ(Signal(0), "matrix in02");
    doc.AddSignalItem({});
    EXPECT_EQ(Signal(63), " ");
    doc.PasteSignals({});
    EXPECT_EQ(Signal(64), "matrix in01");
    EXPECT_EQ(Signal(65), "matrix out11");
    doc.AddSignalItem({1, 0});
    EXPECT_EQ(Signal(0), " ");
    EXPECT_EQ(doc.CurrentDevice().signalCount, 67);
}

TEST_F(CommandsTest, NoNameBeyondTheSeventySecond) {
    doc.CopySignals({0, 1, 2});
    while (doc.CurrentDevice().signalCount < 70) doc.AddSignalItem({});
    doc.PasteSignals({0});
    EXPECT_EQ(doc.CurrentDevice().signalCount, 72);
    EXPECT_EQ(Signal(0), "matrix in01");
    EXPECT_EQ(Signal(1), "matrix in02");
    EXPECT_EQ(Signal(2), "matrix in01");  // the third clipboard name found no room
    auto full = std::make_unique<DeviceRecord>(doc.CurrentDevice());
    doc.SetModified(0);
    doc.AddSignalItem({});
    doc.PasteSignals({});
    EXPECT_EQ(doc.Modified(), 1);
    EXPECT_EQ(std::memcmp(full.get(), &doc.CurrentDevice(), sizeof(DeviceRecord)), 0);
}

TEST_F(CommandsTest, RowsOutsideTheListAreIgnored) {
    doc.CurrentDevice().signalCount = 3;
    doc.CopySignals({-1, 3, 100, 1});
    EXPECT_EQ(doc.SignalClipboardCount(), 1);
    doc.DeleteSignals({-5, 7, 2});
    EXPECT_EQ(doc.CurrentDevice().signalCount, 2);
    doc.PasteSignals({9});
    EXPECT_EQ(doc.CurrentDevice().signalCount, 2);
}

}  // namespace
}  // namespace corvix
