// SPDX-License-Identifier: Apache-2.0
// What each device held when last read or written: the values that differ from it, and the
// states following their devices through every command that inserts or removes devices.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "model/compare.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/pages.h"
#include "model_fakes.h"

namespace corvix {
namespace {

struct DeviceStatesTest : ::testing::Test {
    test::FakeUi ui;
    CBrondaleDoc doc;
    test::FakeViews views{doc};
    test::TempDir dir;

    // Devices A, B, C and D, each told apart by name and address; A and C were read.
    void SetUp() override {
        doc.SetUserInterface(&ui);
        doc.SetViews(&views);
        doc.SetLanguage(LangEnglish);
        ProjectBlock& p = doc.Project();
        p.projectOpen = 1;
        p.deviceCount = 4;
        for (int i = 0; i < 4; ++i) {
            InitialiseNewDevice(p.devices[i], std::string(1, char('A' + i)).c_str(), LangEnglish);
            p.devices[i].address = static_cast<int16_t>(10 + i);
        }
        ASSERT_TRUE(doc.WriteProjectFile(dir / "four.mac"));
        ASSERT_TRUE(doc.ImportProjectFrom(dir / "four.mac"));
        doc.DeviceState().Set(0, doc.Project());
        doc.DeviceState().Set(2, doc.Project());
    }
    // Per slot, the name of the device whose state it keeps ("" for none).
    std::vector<std::string> StateNames() const {
        std::vector<std::string> names;
        for (int i = 0; i < doc.Project().DeviceCountClamped(); ++i) {
            const DeviceRecord* state = doc.DeviceState().StateOf(i);
            names.push_back(state ? FieldText(state->name, DeviceNameSize) : "");
        }
        return names;
    }
    int Code(int slot) const { return KindDeviceFirst + slot; }
};

TEST_F(DeviceStatesTest, ChangedRowsCarryTheDevicesValueAndClearWhenEqualAgain) {
    EXPECT_TRUE(doc.DeviceState().Changed(doc.Project(), 0, LangEnglish).empty());
    EXPECT_TRUE(doc.DeviceState().Changed(doc.Project(), 1, LangEnglish).empty());  // never read

    doc.SelectNode(KindDeviceAddress, Code(2));
    ASSERT_TRUE(StoreText(*FindPage(KindDeviceAddress), doc.EditTarget(), 0, "77").projectWritten);
    doc.MarkModified(StepKind::EditValue);
    doc.AddSignalItem({});
    std::vector<Difference> changed = doc.DeviceState().Changed(doc.Project(), 2, LangEnglish);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0].page, KindDeviceAddress);
    EXPECT_EQ(changed[0].row, 0);
    EXPECT_EQ(changed[0].projectText, "77");
    EXPECT_EQ(changed[0].deviceText, "12");
    EXPECT_EQ(changed[0].device, 2);
    EXPECT_EQ(changed[1].page, KindSignalNames);  // a row the device does not have
    EXPECT_EQ(changed[1].row, doc.Device(2).SignalCountClamped() - 1);
    // Each difference is the compare window's, texts included.
    const std::vector<Difference> compared =
        CompareRecords(doc.Device(2), *doc.DeviceState().StateOf(2), LangEnglish);
    ASSERT_EQ(compared.size(), changed.size());
    EXPECT_EQ(compared[1].deviceText, changed[1].deviceText);

    // Taking the edits back makes the values equal again; a read of the device makes the
    // project's values the device's.
    doc.Undo();
    doc.Undo();
    EXPECT_TRUE(doc.DeviceState().Changed(doc.Project(), 2, LangEnglish).empty());
    doc.Redo();
    EXPECT_EQ(doc.DeviceState().Changed(doc.Project(), 2, LangEnglish).size(), 1u);
    doc.DeviceState().Set(2, doc.Project());
    EXPECT_TRUE(doc.DeviceState().Changed(doc.Project(), 2, LangEnglish).empty());
}

struct ListCase {
    const char* what;
    std::function<void(DeviceStatesTest&)> act;
    std::vector<std::string> states;  // per slot afterwards
};

TEST_F(DeviceStatesTest, StatesStayWithTheirDevicesOrAreDropped) {
    const std::vector<ListCase> cases = {
        {"delete B", [](DeviceStatesTest& t) { t.doc.DeleteDevice(t.Code(1)); }, {"A", "C", ""}},
        {"delete A", [](DeviceStatesTest& t) { t.doc.DeleteDevice(t.Code(0)); }, {"", "C", ""}},
        {"delete the last", [](DeviceStatesTest& t) { t.doc.DeleteDevice(t.Code(3)); }, {"A", "", "C"}},
        {"cut C, paste before A",
         [](DeviceStatesTest& t) {
             t.doc.CutDevice(t.Code(2));
             t.doc.PasteBeforeDevice(t.Code(0));
         },
         {"", "A", "", ""}},
        {"a copy of A pasted before C",
         [](DeviceStatesTest& t) {
             t.doc.CopyDevice(t.Code(0));
             t.doc.PasteBeforeDevice(t.Code(2));
         },
         {"A", "", "", "C", ""}},
        // Two equal records side by side: which one is new cannot be told, so neither keeps one.
        {"a copy of A pasted before B",
         [](DeviceStatesTest& t) {
             t.doc.CopyDevice(t.Code(0));
             t.doc.PasteBeforeDevice(t.Code(1));
         },
         {"", "", "", "C", ""}},
        {"a copy of C pasted after the last",
         [](DeviceStatesTest& t) {
             t.doc.CopyDevice(t.Code(2));
             t.doc.PasteAfterLastDevice();
         },
         {"A", "", "C", "", ""}},
        {"add a device",
         [](DeviceStatesTest& t) {
             t.ui.nameAnswers.push_back(std::string("E"));
             t.doc.AddDevice();
         },
         {"A", "", "C", "", ""}},
        {"undo of deleting A",
         [](DeviceStatesTest& t) {
             t.doc.DeleteDevice(t.Code(0));
             t.doc.Undo();
         },
         {"", "", "C", ""}},
        {"undo and redo of deleting B",
         [](DeviceStatesTest& t) {
             t.doc.DeleteDevice(t.Code(1));
             t.doc.Undo();
             t.doc.Redo();
         },
         {"A", "C", ""}},
        {"undo of a paste before A",
         [](DeviceStatesTest& t) {
             t.doc.CopyDevice(t.Code(3));
             t.doc.PasteBeforeDevice(t.Code(0));
             t.doc.Undo();
         },
         {"A", "", "C", ""}},
        {"rename C", [](DeviceStatesTest& t) {
             t.ui.nameAnswers.push_back(std::string("Z"));
             t.doc.RenameDevice(t.Code(2));
         }, {"A", "", "C", ""}},
        {"new project", [](DeviceStatesTest& t) { t.doc.NewProject(); }, {""}},
        {"import", [](DeviceStatesTest& t) { t.doc.ImportProjectFrom(t.dir / "four.mac"); }, {"", "", "", ""}},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.act(*this);
        EXPECT_EQ(StateNames(), c.states);
        // A kept state is its device's: no slot compares against another device's record.
        for (int i = 0; i < doc.Project().DeviceCountClamped(); ++i) {
            if (const DeviceRecord* state = doc.DeviceState().StateOf(i)) {
                EXPECT_EQ(state->address, doc.Device(i).address);
            }
        }
    }
}

TEST_F(DeviceStatesTest, AWriteBecomesTheStateOfItsDeviceOnceComplete) {
    doc.SelectNode(KindDeviceAddress, Code(3));
    doc.DeviceState().BeginWrite(3, doc.Device(3));
    // Edited while the pieces go out: the device gets what the write started with.
    ASSERT_TRUE(StoreText(*FindPage(KindDeviceAddress), doc.EditTarget(), 0, "5").projectWritten);
    doc.MarkModified(StepKind::EditValue);
    EXPECT_EQ(doc.DeviceState().StateOf(3), nullptr);
    doc.DeviceState().CommitWrite(doc.Project());
    ASSERT_NE(doc.DeviceState().StateOf(3), nullptr);
    EXPECT_EQ(doc.DeviceState().StateOf(3)->address, 13);
    EXPECT_EQ(doc.DeviceState().Changed(doc.Project(), 3, LangEnglish).size(), 1u);

    // A device inserted before it while writing: the state lands on the written device.
    doc.DeviceState().BeginWrite(1, doc.Device(1));
    doc.CopyDevice(Code(3));
    doc.PasteBeforeDevice(Code(0));
    doc.DeviceState().CommitWrite(doc.Project());
    EXPECT_EQ(StateNames(), (std::vector<std::string>{"", "A", "B", "C", "D"}));
    // The written device deleted before the write ended: no state for anyone.
    doc.DeviceState().BeginWrite(4, doc.Device(4));
    doc.DeleteDevice(Code(4));
    doc.DeviceState().CommitWrite(doc.Project());
    EXPECT_EQ(StateNames(), (std::vector<std::string>{"", "A", "B", "C"}));
}

}  // namespace
}  // namespace corvix
