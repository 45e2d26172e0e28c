// SPDX-License-Identifier: Apache-2.0
// The communication log's text, its cap and its daily files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <fstream>
#include <sstream>

#include "model/record.h"
#include "present/comm_log.h"

namespace corvix {
namespace {

LocalTime At(int day, int h, int m, int s, int ms) { return LocalTime{2026, 3, 0, day, h, m, s, ms}; }

TEST(CommLogText, HeaderCarriesTimeAndVerdictOrReadsAsBefore) {
    FrameReceived bad;
    bad.bytes = {0x58, 0x01};
    bad.verdict = FrameVerdict::TooShort;
    const CommLogEntry rx = *CommLogEntryOf(bad, At(1, 9, 5, 7, 42), LangEnglish);
    EXPECT_EQ(CommLogText(rx, true), "09:05:07.042 receive<-- (too short)\r\n58 01 \r\n");
    EXPECT_EQ(CommLogText(rx, false), "receive<--\r\n58 01 \r\n");

    FrameSent sent;
    sent.bytes = {0xAB};
    sent.repeat = 2;
    const CommLogEntry tx = *CommLogEntryOf(sent, At(1, 23, 59, 59, 999), LangChinese);
    EXPECT_EQ(CommLogHeader(tx, true), "23:59:59.999 send-->repeat=2\r\n");
    EXPECT_EQ(CommLogHeader(tx, false), "send-->repeat=2\r\n");
    EXPECT_FALSE(CommLogEntryOf(LinkLost{}, At(1, 0, 0, 0, 0), LangEnglish).has_value());

    // Each rule that can fail has its own words in both languages.
    const FrameVerdict all[] = {FrameVerdict::Good,       FrameVerdict::TooShort,    FrameVerdict::BadStart,
                                FrameVerdict::Incomplete, FrameVerdict::BadChecksum, FrameVerdict::BadEnd};
    for (int lang : {LangChinese, LangEnglish}) {
        std::set<std::string> seen;
        for (FrameVerdict v : all) seen.insert(VerdictText(v, lang));
        EXPECT_EQ(seen.size(), std::size(all));
    }
    EXPECT_EQ(std::string(VerdictText(FrameVerdict::BadChecksum, LangEnglish)), "checksum bad");
    EXPECT_NE(std::string(VerdictText(FrameVerdict::Good, LangChinese)), VerdictText(FrameVerdict::Good, LangEnglish));
}

TEST(CommLogStore, KeepsTheLastEntriesDroppingTheOldest) {
    CommLogStore store;
    for (int i = 0; i <= static_cast<int>(CommLogMaxEntries); ++i) {
        CommLogEntry e;
        e.sent = true;
        e.repeat = i;
        store.Append(std::move(e));
    }
    ASSERT_EQ(store.Size(), CommLogMaxEntries);
    EXPECT_EQ(store.Entries().front().repeat, 1);
    EXPECT_EQ(store.Entries().back().repeat, static_cast<int>(CommLogMaxEntries));
}

class CommLogFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvix-commlog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    static std::string Read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path dir;
};

TEST_F(CommLogFiles, EntriesGoToTheFileOfTheirDayWithPlainLineEnds) {
    std::vector<CommLogEntry> entries(3);
    entries[0].time = At(1, 23, 59, 59, 990);
    entries[0].bytes = {1};
    entries[1].time = At(2, 0, 0, 0, 5);
    entries[1].sent = true;
    entries[2].time = At(2, 0, 0, 1, 0);
    CommLogFile file((dir / "new" / "Corvix").string());  // made when missing
    std::string path, reason;
    ASSERT_TRUE(file.Append(entries, true, path, reason)) << reason;
    ASSERT_TRUE(file.Append({entries[2]}, false, path, reason)) << reason;  // appends
    EXPECT_EQ(Read(dir / "new/Corvix/corvix-2026-03-01.log"), "23:59:59.990 receive<-- (校验正确)\n01 \n");
    EXPECT_EQ(Read(dir / "new/Corvix/corvix-2026-03-02.log"),
              "00:00:00.005 send-->repeat=0\n\n00:00:01.000 receive<-- (校验正确)\n\nreceive<--\n\n");
}

TEST_F(CommLogFiles, AFolderThatCannotBeMadeIsReportedWithItsReason) {
    std::ofstream(dir / "blocker") << "x";
    CommLogFile file((dir / "blocker" / "Corvix").string());
    std::string path, reason;
    EXPECT_FALSE(file.Append(std::vector<CommLogEntry>(1), true, path, reason));
    EXPECT_NE(path.find("blocker"), std::string::npos);
    EXPECT_FALSE(reason.empty());
}

}  // namespace
}  // namespace corvix
