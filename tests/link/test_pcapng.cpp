// SPDX-License-Identifier: Apache-2.0
// Capture files: the blocks against bytes written out by hand, the packet of a log entry, the
// stream and the automatic log's day files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "model/texts.h"
#include "model/version.h"
#include "present/pcapng.h"

namespace corvix {
namespace {

// Block layout: type, length, then the fixed fields of each block.
static_assert(PcapngSectionHeaderFixed == 4 + 4 + 4 + 2 + 2 + 8);
static_assert(PcapngInterfaceFixed == 4 + 4 + 2 + 2 + 4);
static_assert(PcapngPacketFixed == 4 + 4 + 4 + 4 + 4 + 4 + 4);
static_assert(PcapLinkType == 147);
static_assert(PcapngFlagInbound == 0b01 && PcapngFlagOutbound == 0b10);

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The section header, whose one text is the program's version.
Bytes ExpectedSectionHeader() {
    const std::string appl = std::string("corvix ") + CORVIX_VERSION_STRING;
    const std::size_t padded = (appl.size() + 3) / 4 * 4;
    const auto total = static_cast<uint8_t>(24 + 4 + padded + 4 + 4);
    Bytes b = {0x0A, 0x0D, 0x0D, 0x0A, total, 0,    0,    0,     // type, length
               0x4D, 0x3C, 0x2B, 0x1A, 0x01, 0x00, 0x00, 0x00,  // byte order, version 1.0
               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // section length unknown
               0x04, 0x00, static_cast<uint8_t>(appl.size()), 0x00};
    b.insert(b.end(), appl.begin(), appl.end());
    b.resize(b.size() + padded - appl.size(), 0);
    const Bytes tail = {0x00, 0x00, 0x00, 0x00, total, 0, 0, 0};
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

const Bytes Interface = {
    0x01, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00,  // IDB, 60 bytes
    0x93, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // link type 147, reserved, no snap length
    0x02, 0x00, 0x04, 0x00, 'p',  't',  'y',  '0',   // if_name
    0x03, 0x00, 0x0D, 0x00, '9',  '6',  '0',  '0',  ' ', 'b', 'a', 'u', 'd', ' ', '8', 'E', '1', 0x00, 0x00, 0x00,
    0x09, 0x00, 0x01, 0x00, 0x06, 0x00, 0x00, 0x00,  // if_tsresol: microseconds
    0x00, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00,
};

// 1700000000.123456 s: sent, three bytes, repeat 1.
const Bytes Sent = {
    0x06, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00,  // EPB, 60 bytes
    0x00, 0x00, 0x00, 0x00,                          // interface 0
    0x24, 0x0A, 0x06, 0x00, 0x40, 0x22, 0x20, 0x18,  // time, high word first
    0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,  // captured, original length
    0xAA, 0x01, 0x02, 0x00,                          // data, padded
    0x01, 0x00, 0x08, 0x00, 'r',  'e',  'p',  'e',  'a', 't', '=', '1',  // opt_comment
    0x02, 0x00, 0x04, 0x00, 0x02, 0x00, 0x00, 0x00,                        // epb_flags outbound
    0x00, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00,
};

// 2.5 ms later: four bytes of noise received.
const Bytes Received = {
    0x06, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x24, 0x0A, 0x06, 0x00, 0x04, 0x2C, 0x20, 0x18,  //
    0x04, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,  //
    0x58, 0x01, 0x02, 0x03,                          //
    0x01, 0x00, 0x08, 0x00, 'n',  'o',  ' ',  'f',  'r', 'a', 'm', 'e',
    0x02, 0x00, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00,  // epb_flags inbound
    0x00, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00,
};

constexpr uint64_t T0 = 1700000000123456;

CommLogEntry SentEntry() {
    CommLogEntry e;
    e.sent = true;
    e.repeat = 1;
    e.utcMicros = T0;
    e.bytes = {0xAA, 0x01, 0x02};
    return e;
}

CommLogEntry NoiseEntry() {
    CommLogEntry e;
    e.verdict = FrameVerdict::BadStart;
    e.utcMicros = T0 + 2500;
    e.lang = LangChinese;
    e.bytes = {0x58, 0x01, 0x02, 0x03};
    return e;
}

std::string Serial9600E() {
    SerialSettings s;
    s.baudRate = 9600;
    s.parity = ParityEven;
    return LineSettingsText(s);
}

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(Pcapng, BlocksMatchAHandWrittenCapture) {
    EXPECT_EQ(PcapngSectionHeader(), ExpectedSectionHeader());
    EXPECT_EQ(PcapngInterface("pty0", Serial9600E()), Interface);
    const Bytes data = {0xAA, 0x01, 0x02};
    EXPECT_EQ(PcapngPacket(T0, PacketDirection::Outbound, data, "repeat=1"), Sent);
    EXPECT_EQ(PcapngPacketOf(SentEntry()), Sent);
    EXPECT_EQ(PcapngPacketOf(NoiseEntry()), Received);

    // An empty comment and description are left out rather than written empty.
    const Bytes bare = PcapngPacket(0, PacketDirection::Inbound, {}, "");
    EXPECT_EQ(bare, (Bytes{0x06, 0, 0, 0, 0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                           0,    0, 0, 0, 0x02, 0, 4, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x2C, 0, 0, 0}));
    EXPECT_EQ(PcapngInterface("pty0", "").size(), Interface.size() - 20);
}

TEST(Pcapng, OverlongCommentIsCutAtACharacterBoundary) {
    // 0xFFFF bytes do not fit the 16-bit option length with its padding; 3-byte characters
    // make the cut fall inside one.
    std::string comment;
    while (comment.size() < 0x10000) comment += "\xE6\xA0\xA1";
    const Bytes b = PcapngPacket(0, PacketDirection::Inbound, {}, comment);
    const std::size_t length = b[PcapngPacketFixed + 2] | (b[PcapngPacketFixed + 3] << 8);
    EXPECT_EQ(length % 3, 0u);
    EXPECT_LE(length, 0xFFFCu);
    EXPECT_EQ(b.size() % 4, 0u);
    EXPECT_EQ(b[4] | (b[5] << 8) | (b[6] << 16), static_cast<int>(b.size()));
}

TEST(Pcapng, EntryCommentsNameRepeatVerdictOrNoFrame) {
    struct Case {
        bool sent;
        int repeat;
        FrameVerdict verdict;
        int lang;
        const char* comment;
        uint32_t flag;
    } const cases[] = {
        {true, 3, FrameVerdict::Good, LangChinese, "repeat=3", PcapngFlagOutbound},
        {false, 0, FrameVerdict::Good, LangChinese, "checksum good", PcapngFlagInbound},
        {false, 0, FrameVerdict::BadChecksum, LangEnglish, "checksum bad", PcapngFlagInbound},
        {false, 0, FrameVerdict::Incomplete, LangChinese, "incomplete", PcapngFlagInbound},
        {false, 0, FrameVerdict::BadEnd, LangEnglish, "wrong end byte", PcapngFlagInbound},
        {false, 0, FrameVerdict::BadStart, LangEnglish, "no frame", PcapngFlagInbound},
        {false, 0, FrameVerdict::TooShort, LangChinese, "no frame", PcapngFlagInbound},
    };
    for (const Case& c : cases) {
        CommLogEntry e;
        e.sent = c.sent;
        e.repeat = c.repeat;
        e.verdict = c.verdict;
        e.lang = c.lang;
        e.bytes = {0x7E};
        EXPECT_EQ(PcapngComment(e), c.comment);
        const Bytes b = PcapngPacketOf(e);
        // One data byte padded to four, the comment padded, then epb_flags.
        const std::size_t flags = PcapngPacketFixed + 4 + 4 + (std::strlen(c.comment) + 3) / 4 * 4;
        ASSERT_GT(b.size(), flags + 8);
        EXPECT_EQ(b[flags], PcapngOptEpbFlags);
        EXPECT_EQ(b[flags + 4], c.flag) << c.comment;
    }
}

TEST(Pcapng, EntriesCarryTheUtcTimeTheyWereMadeWith) {
    FrameSent sent;
    sent.bytes = {1, 2};
    const CommLogEntry e = *CommLogEntryOf(sent, LocalTime{}, LangEnglish, T0);
    EXPECT_EQ(e.utcMicros, T0);
    const Bytes b = PcapngPacketOf(e);
    EXPECT_EQ(Bytes(b.begin() + 12, b.begin() + 20), Bytes(Sent.begin() + 12, Sent.begin() + 20));
    const uint64_t now = SystemUtcMicros();
    EXPECT_GT(now, uint64_t(1600000000) * 1000000);  // a real clock, in microseconds
}

class PcapngFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("corvix-pcapng-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(PcapngFiles, StreamWritesHeadersAtOpenAndEachPacketAtOnce) {
    const auto path = dir / "live.pcapng";
    PcapngStream stream;
    std::string reason;
    ASSERT_TRUE(stream.Open(path.string(), "pty0", Serial9600E(), reason)) << reason;
    EXPECT_EQ(ReadAll(path), Cat({ExpectedSectionHeader(), Interface}));
    ASSERT_TRUE(stream.Write(SentEntry()));
    // Flushed: a reader sees the packet while the stream is still open.
    EXPECT_EQ(ReadAll(path), Cat({ExpectedSectionHeader(), Interface, Sent}));
    ASSERT_TRUE(stream.Write(NoiseEntry()));
    EXPECT_TRUE(stream.Close());
    EXPECT_EQ(ReadAll(path), Cat({ExpectedSectionHeader(), Interface, Sent, Received}));
}

TEST_F(PcapngFiles, FailuresAreReportedNotSwallowed) {
    PcapngStream stream;
    std::string reason;
    EXPECT_FALSE(stream.Open((dir / "missing" / "x.pcapng").string(), "pty0", "", reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_FALSE(stream.Write(SentEntry()));

    // A full disk: the header fails at once, or the first packet does; later writes too.
    if (std::filesystem::exists("/dev/full")) {
        reason.clear();
        const bool opened = stream.Open("/dev/full", "pty0", "", reason);
        if (opened) {
            EXPECT_FALSE(stream.Write(SentEntry()));
        }
        EXPECT_FALSE(stream.Write(SentEntry()));
        EXPECT_TRUE(stream.Failed() || !opened);
        EXPECT_FALSE(opened ? stream.Reason().empty() : reason.empty());
    }

    // As a capture program's fifo whose reader quits: the write fails instead of killing us.
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    reason.clear();
    ASSERT_TRUE(stream.Open(fds[1], "pty0", "", reason)) << reason;
    ::close(fds[0]);  // the reader went away
    const Bytes big(1 << 17, 0x55);
    EXPECT_FALSE(stream.Write(0, PacketDirection::Inbound, big, ""));
    EXPECT_TRUE(stream.Failed());
}

TEST_F(PcapngFiles, DayFilesStartWithHeadersOnceAndSplitAtMidnight) {
    PcapngDayFiles files((dir / "new" / "Corvix").string());
    files.SetInterface("pty0", Serial9600E());
    CommLogEntry late = SentEntry();
    late.time = LocalTime{2026, 3, 0, 1, 23, 59, 59, 999};
    CommLogEntry early = NoiseEntry();
    early.time = LocalTime{2026, 3, 0, 2, 0, 0, 0, 1};
    std::string path, reason;
    ASSERT_TRUE(files.Append({late}, path, reason)) << reason;
    ASSERT_TRUE(files.Append({late, early}, path, reason)) << reason;
    const auto folder = dir / "new" / "Corvix";
    EXPECT_EQ(path, (folder / "corvix-2026-03-02.pcapng").string());
    EXPECT_EQ(ReadAll(folder / "corvix-2026-03-01.pcapng"), Cat({ExpectedSectionHeader(), Interface, Sent, Sent}));
    EXPECT_EQ(ReadAll(folder / "corvix-2026-03-02.pcapng"), Cat({ExpectedSectionHeader(), Interface, Received}));

    std::ofstream(dir / "blocker") << "x";
    PcapngDayFiles blocked((dir / "blocker" / "Corvix").string());
    EXPECT_FALSE(blocked.Append({late}, path, reason));
    EXPECT_FALSE(reason.empty());
}

}  // namespace
}  // namespace corvix
