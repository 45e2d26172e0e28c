// SPDX-License-Identifier: Apache-2.0
// The per-device connections beside a project: round trip with save and import, Save As
// taking them along, matching devices that moved or were renamed, and a damaged file.
#include <gtest/gtest.h>

#include <filesystem>

#include "model/doc.h"
#include "model/gbk.h"
#include "model/project_connections.h"
#include "model/project_file.h"
#include "model_fakes.h"

namespace corvix::test {
namespace {

// A project of `names.size()` devices with those names.
void MakeProject(CBrondaleDoc& doc, const std::vector<std::string>& names) {
    doc.NewProject();
    ProjectBlock& p = doc.Project();
    p.deviceCount = static_cast<int32_t>(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        InitialiseNewDevice(p.devices[i], Utf8ToGbk(names[i]).c_str(), LangEnglish);
        p.devices[i].address = static_cast<int16_t>(i + 1);
    }
}

const DeviceConnection kNet{"rfc2217://server:4001", 9600, 8, 0, 1};
const DeviceConnection kTty{"/dev/ttyUSB3", 19200, 9, 2, 2};

TEST(Connections, SidecarNameFollowsTheProject) {
    EXPECT_EQ(ProjectConnections::SidecarPath("/a/plant.mac"), "/a/plant.corvix.json");
    EXPECT_EQ(ProjectConnections::SidecarPath("/a/plant.MAC"), "/a/plant.corvix.json");
    EXPECT_EQ(ProjectConnections::SidecarPath("/a/plant"), "/a/plant.corvix.json");
}

TEST(Connections, RoundTripWithSaveAndImportLeavesTheProjectFileAlone) {
    TempDir dir;
    FakeUi ui;
    CBrondaleDoc doc;
    doc.SetUserInterface(&ui);
    MakeProject(doc, {"Feeder 1", "馈线 2", "Feeder 3"});
    doc.Connections().Set(doc.Project(), 0, kNet);
    doc.Connections().Set(doc.Project(), 2, kTty);
    ASSERT_TRUE(doc.WriteProjectFile(dir / "plant.mac"));
    EXPECT_EQ(ReadBytes(dir / "plant.mac"), ProjectFileImage(doc.Project()));
    ASSERT_TRUE(std::filesystem::exists(dir / "plant.corvix.json"));

    CBrondaleDoc back;
    back.SetUserInterface(&ui);
    ASSERT_TRUE(back.ImportProjectFrom(dir / "plant.mac"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(back.Connections().For(back.Project(), 0), kNet);
    EXPECT_EQ(back.Connections().For(back.Project(), 1), std::nullopt);
    EXPECT_EQ(back.Connections().For(back.Project(), 2), kTty);
    const auto resolved = back.Connections().Resolved(back.Project());
    ASSERT_EQ(resolved.size(), 2u);
    EXPECT_EQ(GbkToUtf8(resolved[0].nameGbk), "Feeder 1");

    // Back to the common port: the removal reaches the file too.
    EXPECT_TRUE(back.Connections().Clear(back.Project(), 0));
    EXPECT_FALSE(back.Connections().Clear(back.Project(), 1));
    back.Connections().Clear(back.Project(), 2);
    ASSERT_EQ(back.SaveProject(), CBrondaleDoc::FileOutcome::Done);
    CBrondaleDoc third;
    ASSERT_TRUE(third.ImportProjectFrom(dir / "plant.mac"));
    EXPECT_TRUE(third.Connections().Resolved(third.Project()).empty());
}

TEST(Connections, SaveAsTakesThemAlongAndAProjectWithoutNoneGetsNoFile) {
    TempDir dir;
    FakeUi ui;
    CBrondaleDoc doc;
    doc.SetUserInterface(&ui);
    MakeProject(doc, {"A", "B"});
    ASSERT_TRUE(doc.WriteProjectFile(dir / "bare.mac"));
    EXPECT_FALSE(std::filesystem::exists(dir / "bare.corvix.json"));

    doc.Connections().Set(doc.Project(), 1, kNet);
    ui.saveAnswers.push_back(dir / "renamed.mac");
    ASSERT_EQ(doc.ExportProject(), CBrondaleDoc::FileOutcome::Done);
    CBrondaleDoc back;
    ASSERT_TRUE(back.ImportProjectFrom(dir / "renamed.mac"));
    EXPECT_EQ(back.Connections().For(back.Project(), 1), kNet);
    EXPECT_EQ(back.Connections().For(back.Project(), 0), std::nullopt);
}

TEST(Connections, EntriesFollowMovedAndRenamedDevices) {
    CBrondaleDoc doc;
    MakeProject(doc, {"A", "B", "C"});
    ProjectConnections& c = doc.Connections();
    c.Set(doc.Project(), 1, kNet);  // B
    c.Set(doc.Project(), 2, kTty);  // C
    ProjectBlock& p = doc.Project();
    // B and C swap places: each keeps its own entry by name.
    std::swap(p.devices[1], p.devices[2]);
    EXPECT_EQ(c.For(p, 1), kTty);
    EXPECT_EQ(c.For(p, 2), kNet);
    // Put back, then B is renamed in place: its slot still holds it, as no device carries the
    // old name any more.
    std::swap(p.devices[1], p.devices[2]);
    CopyTextField(p.devices[1].name, DeviceNameSize, "B2");
    EXPECT_EQ(c.For(p, 1), kNet);
    EXPECT_EQ(c.For(p, 2), kTty);
    // A device that is gone takes its entry with it.
    p.deviceCount = 1;
    EXPECT_TRUE(c.Resolved(p).empty());
}

TEST(Connections, ADamagedFileNeverBlocksTheProjectAndIsNotOverwritten) {
    const std::vector<std::string> damaged = {
        "{not json",
        R"({"format":"other","version":1,"devices":[]})",
        R"({"format":"corvix-connections","version":7,"devices":[]})",
        R"({"format":"corvix-connections","version":1,"devices":{}})",
        R"({"format":"corvix-connections","version":1,"devices":[{"device":0,"name":"A"}]})",
        R"({"format":"corvix-connections","version":1,"devices":[{"device":40,"name":"A","port":"/dev/x"}]})",
        R"({"format":"corvix-connections","version":1,"devices":[{"device":0,"name":"A","port":"/dev/x","parity":"mark"}]})",
        R"({"format":"corvix-connections","version":1,"devices":[{"device":0,"name":"A","port":"/dev/x","dataBits":7}]})",
    };
    for (const int lang : {LangChinese, LangEnglish}) {
        for (const std::string& text : damaged) {
            SCOPED_TRACE(text);
            TempDir dir;
            FakeUi ui;
            CBrondaleDoc doc;
            doc.SetLanguage(lang);
            doc.SetUserInterface(&ui);
            MakeProject(doc, {"A"});
            ASSERT_TRUE(doc.WriteProjectFile(dir / "p.mac"));
            WriteBytes(dir / "p.corvix.json", text);
            CBrondaleDoc back;
            back.SetLanguage(lang);
            back.SetUserInterface(&ui);
            ASSERT_TRUE(back.ImportProjectFrom(dir / "p.mac"));
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_NE(ui.messages[0].find("p.corvix.json"), std::string::npos);
            EXPECT_EQ(back.Connections().For(back.Project(), 0), std::nullopt);
            ASSERT_EQ(back.SaveProject(), CBrondaleDoc::FileOutcome::Done);
            EXPECT_EQ(ReadBytes(dir / "p.corvix.json"), text);
            // Setting an entry again replaces the damaged file with a good one.
            back.Connections().Set(back.Project(), 0, kNet);
            ASSERT_EQ(back.SaveProject(), CBrondaleDoc::FileOutcome::Done);
            std::vector<ConnectionEntry> read;
            std::string reason;
            EXPECT_TRUE(ProjectConnections::FromJson(ReadBytes(dir / "p.corvix.json"), read, reason)) << reason;
            ASSERT_EQ(read.size(), 1u);
            EXPECT_EQ(read[0].line, kNet);
        }
    }
}

}  // namespace
}  // namespace corvix::test
