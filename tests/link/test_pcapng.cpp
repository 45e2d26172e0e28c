// SPDX-License-Identifier: Apache-2.0
// Capture files: the blocks against bytes written out by hand, the packet of a log entry, the
// stream and the automatic log's day files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "model/texts.h"
#include "model/version.h"
#include "present/pcapng.h"

namespace corvix {
namespace {

// Block layout: type and length, then each block's fixed fields.
static_assert(PcapngSectionHeaderFixed == 4 + 4 + 4 + 2 + 2 + 8);
static_assert(PcapngInterfaceFixed == 4 + 4 + 2 + 2 + 4);
static_assert(PcapngPacketFixed == 4 + 4 + 4 + 4 + 4 + 4 + 4);
static_assert(PcapLinkType == 147 && PcapngFlagInbound == 0b01 && PcapngFlagOutbound == 0b10);

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The section header; its one text is the program's version, so its length follows that.
Bytes SectionHeader() {
    const std::string appl = std::string("corvix ") + CORVIX_VERSION_STRING;
    const std::size_t padded = (appl.size() + 3) / 4 * 4;
    const auto total = static_cast<uint8_t>(24 + 4 + padded + 4 + 4);
    Bytes b = {0x0A, 0x0D, 0x0D, 0x0A, total, 0, 0, 0, 0x4D, 0x3C, 0x2B, 0x1A, 0x01, 0x00, 0x00, 0x00,
               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0x00, static_cast<uint8_t>(appl.size()), 0x00};
    b.insert(b.end(), appl.begin(), appl.end());
    b.resize(b.size() + padded - appl.size(), 0);
    return Cat({b, {0, 0, 0, 0, total, 0, 0, 0}});
}

const Bytes Interface = {
    0x01, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00, 0x93, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // USER0
    0x02, 0x00, 0x04, 0x00, 'p', 't', 'y', '0',                                                      // if_name
    0x03, 0x00, 0x0D, 0x00, '9', '6', '0', '0', ' ', 'b', 'a', 'u', 'd', ' ', '8', 'E', '1', 0, 0, 0,
    0x09, 0x00, 0x01, 0x00, 0x06, 0x00, 0x00, 0x00,  // if_tsresol: microseconds
    0x00, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00,
};

// At 1700000000.123456 s three bytes sent, repeat 1; 2.5 ms later four bytes of noise.
const Bytes Sent = {
    0x06, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // interface 0
    0x24, 0x0A, 0x06, 0x00, 0x40, 0x22, 0x20, 0x18, 0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
    0xAA, 0x01, 0x02, 0x00,  // data, padded
    0x01, 0x00, 0x08, 0x00, 'r', 'e', 'p', 'e', 'a', 't', '=', '1',
    0x02, 0x00, 0x04, 0x00, 0x02, 0x00, 0x00, 0x00,  // epb_flags: outbound
    0x00, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00,
};
const Bytes Received = {
    0x06, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x24, 0x0A, 0x06, 0x00, 0x04, 0x2C, 0x20, 0x18, 0x04, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
    0x58, 0x01, 0x02, 0x03,
    0x01, 0x00, 0x08, 0x00, 'n', 'o', ' ', 'f', 'r', 'a', 'm', 'e',
    0x02, 0x00, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00,  // inbound
    0x00, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00,
};

constexpr uint64_t T0 = 1700000000123456;

CommLogEntry Entry(bool sent, FrameVerdict verdict, Bytes bytes, uint64_t micros = T0, int day = 1) {
    CommLogEntry e;
    e.sent = sent;
    e.repeat = 1;
    e.verdict = verdict;
    e.lang = LangChinese;  // the comment is English all the same
    e.bytes = std::move(bytes);
    e.utcMicros = micros;
    e.time = LocalTime{2026, 3, 0, day, 12, 0, 0, 0};
    return e;
}
const CommLogEntry SentEntry = Entry(true, FrameVerdict::Good, {0xAA, 0x01, 0x02});
const CommLogEntry NoiseEntry = Entry(false, FrameVerdict::BadStart, {0x58, 0x01, 0x02, 0x03}, T0 + 2500, 2);

std::string Line9600E() {
    SerialSettings s;
    s.baudRate = 9600;
    s.parity = ParityEven;
    return LineSettingsText(s);
}

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class Pcapng : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("corvix-pcapng-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(Pcapng, StreamWritesAHandWrittenCaptureFlushingEachPacket) {
    EXPECT_EQ(PcapngPacket(T0, PacketDirection::Outbound, SentEntry.bytes, "repeat=1"), Sent);
    const auto path = dir / "live.pcapng";
    PcapngStream stream;
    std::string reason;
    ASSERT_TRUE(stream.Open(path.string(), "pty0", Line9600E(), reason)) << reason;
    EXPECT_EQ(ReadAll(path), Cat({SectionHeader(), Interface}));
    ASSERT_TRUE(stream.Write(SentEntry));
    EXPECT_EQ(ReadAll(path), Cat({SectionHeader(), Interface, Sent}));  // while still open
    ASSERT_TRUE(stream.Write(NoiseEntry));
    EXPECT_TRUE(stream.Close());
    EXPECT_EQ(ReadAll(path), Cat({SectionHeader(), Interface, Sent, Received}));

    // Empty texts are left out rather than written empty.
    EXPECT_EQ(PcapngInterface("pty0", "").size(), Interface.size() - 20);
    EXPECT_EQ(PcapngPacket(0, PacketDirection::Inbound, {}, "").size(), PcapngPacketFixed + 8 + 4 + 4);
    // A comment past the 16-bit option length is cut at a character boundary.
    std::string longText;
    while (longText.size() < 0x10000) longText += "\xE6\xA0\xA1";
    const Bytes cut = PcapngPacket(0, PacketDirection::Inbound, {}, longText);
    const std::size_t length = cut[PcapngPacketFixed + 2] | (cut[PcapngPacketFixed + 3] << 8);
    EXPECT_TRUE(length % 3 == 0 && length <= 0xFFFC) << length;
    EXPECT_EQ(cut[4] | (cut[5] << 8) | (cut[6] << 16), static_cast<int>(cut.size()));
}

TEST_F(Pcapng, EntryCommentsNameRepeatVerdictOrNoFrame) {
    const struct {
        CommLogEntry entry;
        const char* comment;
    } cases[] = {
        {SentEntry, "repeat=1"},
        {Entry(false, FrameVerdict::Good, {}), "checksum good"},
        {Entry(false, FrameVerdict::BadChecksum, {}), "checksum bad"},
        {Entry(false, FrameVerdict::Incomplete, {}), "incomplete"},
        {Entry(false, FrameVerdict::BadEnd, {}), "wrong end byte"},
        {Entry(false, FrameVerdict::BadStart, {}), "no frame"},
        {Entry(false, FrameVerdict::TooShort, {}), "no frame"},
    };
    for (const auto& c : cases) EXPECT_EQ(PcapngComment(c.entry), c.comment);
}

TEST_F(Pcapng, FailuresAreReportedNotSwallowed) {
    PcapngStream stream;
    std::string reason;
    EXPECT_FALSE(stream.Open((dir / "missing" / "x.pcapng").string(), "pty0", "", reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(stream.Write(SentEntry));
    // A fifo whose reader quits, as a capture program's: the write fails and stays failed.
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_TRUE(stream.Open(fds[1], "pty0", "", reason)) << reason;
    ::close(fds[0]);
    EXPECT_FALSE(stream.Write(SentEntry));
    EXPECT_TRUE(stream.Failed() && !stream.Reason().empty());
    EXPECT_FALSE(stream.Close());
}

TEST_F(Pcapng, DayFilesStartWithHeadersOnceAndSplitAtMidnight) {
    const auto folder = dir / "new" / "Corvix";  // made when missing
    PcapngDayFiles files(folder.string());
    files.SetInterface("pty0", Line9600E());
    std::string path, reason;
    ASSERT_TRUE(files.Append({SentEntry}, path, reason)) << reason;
    ASSERT_TRUE(files.Append({SentEntry, NoiseEntry}, path, reason)) << reason;
    EXPECT_EQ(path, (folder / "corvix-2026-03-02.pcapng").string());
    EXPECT_EQ(ReadAll(folder / "corvix-2026-03-01.pcapng"), Cat({SectionHeader(), Interface, Sent, Sent}));
    EXPECT_EQ(ReadAll(folder / "corvix-2026-03-02.pcapng"), Cat({SectionHeader(), Interface, Received}));

    std::ofstream(dir / "blocker") << "x";
    PcapngDayFiles blocked((dir / "blocker" / "Corvix").string());
    EXPECT_FALSE(blocked.Append({SentEntry}, path, reason));
    EXPECT_FALSE(reason.empty());
}

}  // namespace
}  // namespace corvix
