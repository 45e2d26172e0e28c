// SPDX-License-Identifier: Apache-2.0
// Undo and redo of every kind of change, against byte snapshots of the project block.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/doc.h"
#include "model/gbk.h"
#include "model/pages.h"
#include "model_fakes.h"

namespace corvix {
namespace {

using Snapshot = std::unique_ptr<ProjectBlock>;

Snapshot Take(const CBrondaleDoc& doc) { return std::make_unique<ProjectBlock>(doc.Project()); }

bool Same(const ProjectBlock& a, const ProjectBlock& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Fills every byte of a record with noise, then makes its counts and name sensible.
void Scramble(DeviceRecord& d, std::mt19937& rng, const std::string& name) {
    auto* bytes = reinterpret_cast<uint8_t*>(&d);
    for (std::size_t i = 0; i < sizeof d; ++i) bytes[i] = static_cast<uint8_t>(rng());
    std::memset(d.name, 0, DeviceNameSize);
    std::memcpy(d.name, name.data(), name.size());
    d.signalCount = 12;
    d.eventCount = 40;
}

struct HistoryTest : ::testing::Test {
    test::FakeUi ui;
    CBrondaleDoc doc;
    test::FakeViews views{doc};
    test::TempDir dir;
    std::mt19937 rng{24};

    void SetUp() override {
        doc.SetUserInterface(&ui);
        doc.SetViews(&views);
        doc.SetLanguage(LangEnglish);
        // A saved five-device project with noise in every byte, tails included.
        ProjectBlock& p = doc.Project();
        p.projectOpen = 1;
        p.deviceCount = 5;
        std::strcpy(p.projectName, "plant");
        for (int i = 0; i < MaxDevices; ++i) Scramble(p.devices[i], rng, std::string(1, char('A' + i)));
        ASSERT_TRUE(doc.WriteProjectFile(dir / "seed.mac"));
        ASSERT_TRUE(doc.ImportProjectFrom(dir / "seed.mac"));
    }
    void Select(int device, int32_t page) { doc.SelectNode(page, KindDeviceFirst + device); }
    void Edit(int32_t pageKind, int row, const std::string& text, uint64_t key = 0) {
        const StoreResult r = StoreText(*FindPage(pageKind), doc.EditTarget(), row, text);
        ASSERT_TRUE(r.projectWritten);
        doc.MarkModified(StepKind::EditValue, key);
    }
};

struct StepCase {
    const char* what;
    std::function<void(HistoryTest&)> act;
    int steps;      // steps the action records
    StepKind kind;  // what the latest of them is named
    int device;     // the device it shows (0-based)
};

TEST_F(HistoryTest, EveryKindOfStepUndoesAndRedoesToTheByte) {
    const std::vector<StepCase> cases = {
        {"cell edit",
         [](HistoryTest& t) { t.Select(2, KindDeviceAddress), t.Edit(KindDeviceAddress, 0, "77"); }, 1,
         StepKind::EditValue, 2},
        {"keystrokes of one cell edit",
         [](HistoryTest& t) {
             t.Select(1, KindDeviceAddress);
             t.doc.SealStep();
             for (const char* text : {"1", "12", "123"}) t.Edit(KindDeviceAddress, 0, text, 99);
         },
         1, StepKind::EditValue, 1},
        {"choice",
         [](HistoryTest& t) {
             t.Select(3, KindPortB1);
             const PageTarget target = t.doc.EditTarget();
             ASSERT_TRUE(StoreChoice(*FindPage(KindPortB1), target, 0, 2, LangEnglish).projectWritten);
             t.doc.MarkModified(StepKind::ChooseValue);
         },
         1, StepKind::ChooseValue, 3},
        {"add signal", [](HistoryTest& t) { t.Select(0, KindSignalNames), t.doc.AddSignalItem({}); }, 1,
         StepKind::AddSignal, 0},
        {"insert signal", [](HistoryTest& t) { t.Select(0, KindSignalNames), t.doc.AddSignalItem({3}); }, 1,
         StepKind::AddSignal, 0},
        {"delete signals",
         [](HistoryTest& t) {
             t.Select(4, KindSignalNames), t.doc.DeleteSignals({0, 5, 6});
         },
         1, StepKind::DeleteSignals, 4},
        {"cut and paste signals",
         [](HistoryTest& t) {
             t.Select(1, KindSignalNames);
             t.doc.CutSignals({2, 3});
             t.doc.PasteSignals({7});
         },
         2, StepKind::PasteSignals, 1},
        {"add device",
         [](HistoryTest& t) {
             t.ui.nameAnswers.push_back(std::string("F"));
             t.doc.AddDevice();
         },
         1, StepKind::AddDevice, 5},
        {"copy and paste device",
         [](HistoryTest& t) {
             t.doc.CopyDevice(KindDeviceFirst + 4);
             t.doc.PasteBeforeDevice(KindDeviceFirst + 1);
             t.doc.PasteAfterLastDevice();
         },
         2, StepKind::PasteDevice, 7},
        {"cut and paste device",
         [](HistoryTest& t) {
             t.doc.CutDevice(KindDeviceFirst + 0);
             t.doc.PasteBeforeDevice(KindDeviceFirst + 3);
         },
         2, StepKind::PasteDevice, 3},
        {"rename device",
         [](HistoryTest& t) {
             t.ui.nameAnswers.push_back(std::string("Bay 7"));
             t.doc.RenameDevice(KindDeviceFirst + 2);
         },
         1, StepKind::RenameDevice, 2},
        {"delete device", [](HistoryTest& t) { t.doc.DeleteDevice(KindDeviceFirst + 1); }, 1,
         StepKind::DeleteDevice, 1},
        {"rename project",
         [](HistoryTest& t) {
             t.ui.nameAnswers.push_back(std::string("works"));
             t.doc.RenameProject();
         },
         1, StepKind::RenameProject, -1},
        {"service dialog",
         [](HistoryTest& t) {
             t.Select(3, KindDeviceAddress);
             CopyTextField(t.doc.CurrentDevice().deviceType, DeviceTypeSize, "T-9");
             CopyTextField(t.doc.CurrentDevice().serialNumber, SerialNumberSize, "SN-1");
             t.doc.MarkUnsavedChanges(StepKind::ServiceInfo);
         },
         1, StepKind::ServiceInfo, 3},
        {"configuration read into two devices of one address",
         [](HistoryTest& t) {
             for (int i : {0, 3}) t.doc.Device(i).address = 9, t.doc.Device(i).timeSync ^= 1;
             t.doc.MarkUnsavedChanges(StepKind::ReadConfiguration, true);
         },
         2, StepKind::ReadConfiguration, 3},
        {"event log read in parts",
         [](HistoryTest& t) {
             t.Select(2, KindEventLog);
             for (int part = 0; part < 3; ++part) {
                 t.doc.CurrentDevice().events[part].second = static_cast<uint8_t>(part + 1);
                 t.doc.CurrentDevice().eventCount = part + 1;
                 t.doc.MarkPartialChange();
             }
             t.doc.MarkUnsavedChanges(StepKind::ReadEventLog);
         },
         1, StepKind::ReadEventLog, 2},
        {"values taken in the compare window",
         [](HistoryTest& t) {
             t.Select(0, KindDeviceAddress);
             t.doc.Device(4).baudRate[1] = 57600;
             t.doc.MarkModified();
         },
         1, StepKind::Change, 4},
        {"signal names imported",
         [](HistoryTest& t) {
             ASSERT_TRUE(t.doc.SetSignalNames(1, {"x", "y"}));
         },
         1, StepKind::ImportSignalNames, 1},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(doc.WriteProjectFile(dir / "each.mac"));
        const std::size_t at = doc.History().Position();
        const Snapshot before = Take(doc);
        c.act(*this);
        const Snapshot after = Take(doc);
        ASSERT_FALSE(Same(*before, *after));
        EXPECT_TRUE(doc.HasUnsavedChanges());
        ASSERT_EQ(doc.History().Position(), at + c.steps);
        ASSERT_TRUE(doc.CanUndo());
        EXPECT_EQ(doc.History().NextUndo()->kind, c.kind);
        EXPECT_EQ(doc.History().NextUndo()->device, c.device);

        for (int i = 0; i < c.steps; ++i) {
            EXPECT_TRUE(doc.HasUnsavedChanges());
            ASSERT_TRUE(doc.Undo());
        }
        EXPECT_TRUE(Same(doc.Project(), *before));
        EXPECT_FALSE(doc.HasUnsavedChanges()) << "back at the saved state";
        EXPECT_TRUE(doc.CanRedo());

        std::optional<StepInfo> last;
        for (int i = 0; i < c.steps; ++i) last = doc.Redo();
        ASSERT_TRUE(last);
        EXPECT_EQ(last->kind, c.kind);
        EXPECT_TRUE(Same(doc.Project(), *after));
        EXPECT_TRUE(doc.HasUnsavedChanges());
        EXPECT_FALSE(doc.CanRedo());
    }
    // Everything undone at once brings the seed back, the unsaved mark following the last save.
    while (doc.CanUndo()) doc.Undo();
    Snapshot seed = std::make_unique<ProjectBlock>();
    ASSERT_EQ(ReadProjectFile(dir / "seed.mac", *seed), FileError::None);
    EXPECT_TRUE(Same(doc.Project(), *seed));
    EXPECT_TRUE(doc.HasUnsavedChanges());
}

TEST_F(HistoryTest, LabelsNameTheStepAndTheDeviceInBothLanguages) {
    ui.nameAnswers.push_back(Utf8ToGbk("间隔"));
    doc.RenameDevice(KindDeviceFirst + 1);
    EXPECT_EQ(doc.UndoLabel(), "Rename Device B");
    doc.Undo();
    doc.SetLanguage(LangChinese);
    EXPECT_EQ(doc.RedoLabel(), "重命名装置 B");
    EXPECT_EQ(doc.UndoLabel(), "");
    doc.Redo();
    Select(1, KindDeviceAddress);
    Edit(KindDeviceAddress, 0, "5");
    EXPECT_EQ(doc.UndoLabel(), "编辑 间隔 的数值");
}

TEST_F(HistoryTest, UndoAfterSaveMarksTheProjectUnsavedAndRedoClearsIt) {
    Select(0, KindDeviceAddress);
    Edit(KindDeviceAddress, 0, "31");
    doc.SetProjectPath(dir / "work.mac");
    ASSERT_EQ(doc.SaveProject(), CBrondaleDoc::FileOutcome::Done);
    EXPECT_FALSE(doc.HasUnsavedChanges());
    EXPECT_FALSE(doc.Modified());

    doc.Undo();
    EXPECT_TRUE(doc.HasUnsavedChanges());
    EXPECT_TRUE(doc.Modified()) << "Save Project is offered for the undone state";
    doc.Redo();
    EXPECT_FALSE(doc.HasUnsavedChanges());

    // A new step after undoing past the save leaves no way back to the saved bytes.
    doc.Undo();
    Edit(KindDeviceAddress, 0, "32");
    EXPECT_FALSE(doc.CanRedo());
    doc.Undo();
    EXPECT_TRUE(doc.HasUnsavedChanges());
    doc.Redo();
    EXPECT_TRUE(doc.HasUnsavedChanges());
}

TEST_F(HistoryTest, NewProjectImportAndReopenedEditorsBoundTheSteps) {
    Select(0, KindDeviceAddress);
    Edit(KindDeviceAddress, 0, "4", 7);
    doc.SealStep();  // the editor opened again on the same cell
    Edit(KindDeviceAddress, 0, "5", 7);
    EXPECT_EQ(doc.History().StepCount(), 2u);
    // Typing the old value back makes the edit no step at all.
    doc.SealStep();
    Edit(KindDeviceAddress, 0, "6", 8);
    Edit(KindDeviceAddress, 0, "5", 8);
    EXPECT_EQ(doc.History().StepCount(), 2u);

    ASSERT_TRUE(doc.ImportProjectFrom(dir / "seed.mac"));
    EXPECT_FALSE(doc.CanUndo());
    Edit(KindDeviceAddress, 0, "9");
    doc.NewProject();
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_FALSE(doc.CanRedo());
}

TEST_F(HistoryTest, AChangeMadeWithoutAMarkIsUndoneOnItsOwn) {
    Select(0, KindDeviceAddress);
    Edit(KindDeviceAddress, 0, "40");
    const Snapshot edited = Take(doc);
    doc.Device(3).events[7].minute = 59;  // written behind the history's back
    EXPECT_TRUE(doc.CanUndo());
    EXPECT_FALSE(doc.CanRedo());
    doc.Undo();
    EXPECT_TRUE(Same(doc.Project(), *edited));
    doc.Undo();
    doc.Redo();
    EXPECT_TRUE(Same(doc.Project(), *edited));
}

TEST_F(HistoryTest, KeepsTheNewestStepsWithinMemoryAndMovedRecordsCostNothing) {
    // 250 whole-record changes: each one rewrites every byte of a device record.
    std::vector<Snapshot> states;
    for (int i = 0; i < 250; ++i) {
        Scramble(doc.Device(i % 5), rng, "R");
        doc.MarkUnsavedChanges(StepKind::ReadConfiguration);
        if (i == 50) states.push_back(Take(doc));
    }
    EXPECT_EQ(doc.History().StepCount(), 250u) << "far below the budget, nothing is dropped";
    EXPECT_LE(doc.History().MemoryBytes(), 10u << 20);

    doc.SetHistoryBudget(0);  // from now on memory is short: only the newest 200 stay
    Scramble(doc.Device(0), rng, "S");
    doc.MarkUnsavedChanges();
    EXPECT_EQ(doc.History().StepCount(), ProjectHistory::MinSteps);
    int undone = 0;
    while (doc.Undo()) ++undone;
    EXPECT_EQ(undone, 200);
    EXPECT_TRUE(Same(doc.Project(), *states[0])) << "back to the state after step 51";
    EXPECT_TRUE(doc.HasUnsavedChanges()) << "the saved state was dropped";

    // Deleting the first of twenty devices moves nineteen records: the step holds about one.
    doc.SetHistoryBudget(ProjectHistory::DefaultBudget);
    ASSERT_TRUE(doc.ImportProjectFrom(dir / "seed.mac"));
    doc.Project().deviceCount = MaxDevices;
    doc.MarkUnsavedChanges();
    const std::size_t used = doc.History().MemoryBytes();
    doc.DeleteDevice(KindDeviceFirst);
    EXPECT_LT(doc.History().MemoryBytes() - used, 2 * sizeof(DeviceRecord));
    const Snapshot deleted = Take(doc);
    doc.Undo();
    EXPECT_STREQ(doc.Project().devices[0].name, "A");
    doc.Redo();
    EXPECT_TRUE(Same(doc.Project(), *deleted));
}

}  // namespace
}  // namespace corvix
