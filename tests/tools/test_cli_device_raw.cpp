// SPDX-License-Identifier: Apache-2.0
// corvix-cli device ... against another program speaking the protocol: the test plays the
// device on a raw pty, checks every request byte for byte and answers with frames written
// out by hand.
#include "test_cli_device_support.h"

namespace {

using namespace corvix;
using namespace cli_device_test;

class CliDeviceRaw : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(line_.Open(&error)) << error;
    }
    std::string Path() const { return line_.DevicePath(); }
    Bytes NextRequest() { return line_.ReadFrame(WaitMs); }
    void Answer(const Bytes& frame) { ASSERT_TRUE(line_.Write(frame)); }

    sim::RawDevice line_;
};

uint32_t ByteSum(const Bytes& b, std::size_t from, std::size_t to) {
    uint32_t sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += b[i];
    return sum;
}

TEST_F(CliDeviceRaw, StatusRequestAndHandWrittenReply) {
    Cli cli({"device", "status", "--port", Path(), "--json"});
    EXPECT_EQ(NextRequest(), Bytes({0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x30, 0x80, 0x00,
                                    0x00, 0x00, 0x16}));
    // Three inputs (on, off, unknown), firmware 10.11.12, no new events.
    Answer({0x58, 0x17, 0x00, 0x40, 0x00, 0x00, 0x04, 0x00, 0x12, 0x30, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x07, 0x0a, 0x0b, 0x0c, 0xb2, 0x00, 0x00, 0x00, 0x16});
    Result r = cli.Wait();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "{\"firmware\":\"10.11.12\",\"states\":[1,0,7],\"newEvents\":false,\"events\":[]}\n");
}

// How the image is cut into pieces is the codec's to check; here each piece the program
// sends, whatever its size, is checked byte for byte against the part of the image it carries.
TEST_F(CliDeviceRaw, WriteSendsTheImageInPiecesCheckedByteForByte) {
    TempDir dir;
    const std::string file = dir.File("p.mac");
    auto project = MakeProject({1});
    auto* raw = reinterpret_cast<uint8_t*>(&project->devices[0]);
    for (int i = 200; i < ConfigImageSize; ++i) raw[i] = static_cast<uint8_t>(i * 13 + 1);
    WriteProject(file, *project);
    const Bytes image = ImageOf(project->devices[0]);

    Cli cli({"device", "write-config", file, "--device", "0", "--port", Path()});
    std::size_t offset = 0;
    // Bounded so that a program that never says "last" cannot keep the test going.
    for (unsigned k = 0; offset < image.size() && k < 16; ++k) {
        const Bytes frame = NextRequest();
        ASSERT_GE(frame.size(), 15u) << "piece " << k;
        const std::size_t size = frame.size() - 15;
        ASSERT_LE(offset + size, image.size()) << "piece " << k;
        const unsigned length = static_cast<unsigned>(size) + 7;
        // More to come, or the last piece: the control byte says which.
        const uint8_t control = offset + size < image.size() ? 0xC0 : 0x40;
        const Bytes header = {0x58,
                              static_cast<uint8_t>(length & 0xFF),
                              static_cast<uint8_t>(length >> 8),
                              control,
                              static_cast<uint8_t>(k),
                              0x00,
                              0x00,
                              0x00,
                              0x11,
                              0x10};
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 10), header) << "piece " << k;
        EXPECT_EQ(Bytes(frame.begin() + 10, frame.begin() + 10 + static_cast<long>(size)),
                  Bytes(image.begin() + static_cast<long>(offset),
                        image.begin() + static_cast<long>(offset + size)))
            << "piece " << k;
        const uint32_t sum = ByteSum(frame, 3, 10 + size);
        const std::size_t c = 10 + size;
        EXPECT_EQ(frame[c] | (frame[c + 1] << 8) | (frame[c + 2] << 16) |
                      (static_cast<uint32_t>(frame[c + 3]) << 24),
                  sum);
        EXPECT_EQ(frame.back(), 0x16);
        offset += size;
        // Success is announced only after the last acknowledgement.
        EXPECT_EQ(cli.OutputSoFar(), "");
        Answer(HandFrame(0x40, k, 1, 0x06, 0x10));
    }
    EXPECT_EQ(offset, image.size());
    Result r = cli.Wait();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Write Data Success\n");
}

TEST_F(CliDeviceRaw, ReadAssemblesPiecesByTheSegmentsAskedFor) {
    TempDir dir;
    const std::string file = dir.File("p.mac");
    WriteProject(file, *MakeProject({3, 7}));
    Bytes image(ConfigImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i % 251);
    image[156] = 7;
    image[157] = 0;

    Cli cli({"device", "read-config", file, "--port", Path()});
    const std::size_t pieces[3] = {931, 931, 622};
    std::size_t offset = 0;
    for (uint8_t k = 0; k < 3; ++k) {
        EXPECT_EQ(NextRequest(), Bytes({0x58, 0x07, 0x00, 0x40, k, 0x00, 0x00, 0x00, 0x10, 0x10,
                                        static_cast<uint8_t>(0x60 + k), 0x00, 0x00, 0x00, 0x16}));
        const Bytes piece(image.begin() + static_cast<long>(offset),
                          image.begin() + static_cast<long>(offset + pieces[k]));
        Answer(HandFrame(k < 2 ? 0x80 : 0x40, k, 7, 0x12, 0x10, piece));
        offset += pieces[k];
    }
    Result r = cli.Wait();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Updated devices: 1\n");
    EXPECT_EQ(ImageOf(LoadProject(file)->devices[1]), image);
}

// An acknowledgement where configuration pieces were asked for answers the request but
// delivers nothing: the command ends with "no answer" instead of waiting for ever.
TEST_F(CliDeviceRaw, ReadAnsweredByAnAcknowledgementEndsWithoutChangingTheFile) {
    TempDir dir;
    const std::string file = dir.File("p.mac");
    WriteProject(file, *MakeProject({7}));
    const Bytes before = ReadAll(file);

    Cli cli({"device", "read-config", file, "--port", Path()});
    ASSERT_EQ(NextRequest().size(), 15u);
    Answer(HandFrame(0x40, 0, 7, 0x06, 0x10, {}));
    ASSERT_TRUE(cli.EndsWithin(WaitMs)) << "corvix-cli kept waiting";
    Result r = cli.Wait();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("did not answer the request"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(file), before);
}

TEST_F(CliDeviceRaw, ClockSetAndReadBack) {
    Cli cli({"device", "clock", "--port", Path(), "--set", "2012.05.10 14:03:22"});
    EXPECT_EQ(NextRequest(),
              Bytes({0x58, 0x12, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x11, 0x22, 0x0b, 0x00, 0xdc,
                     0x07, 0x05, 0x0a, 0x0e, 0x03, 0x16, 0x00, 0x00, 0x58, 0x01, 0x00, 0x00, 0x16}));
    Answer({0x58, 0x07, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x06, 0x22, 0x2a, 0x00, 0x00, 0x00, 0x16});
    EXPECT_EQ(NextRequest(), Bytes({0x58, 0x07, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x10, 0x22, 0x33, 0x00,
                                    0x00, 0x00, 0x16}));
    // 2016.12.31 23:59:58.
    Answer(HandFrame(0x01, 0, 1, 0x12, 0x22,
                     {0x0b, 0x00, 0xe0, 0x07, 0x0c, 0x1f, 0x17, 0x3b, 0x3a, 0x00, 0x00}));
    Result r = cli.Wait();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Lines(r.out).at(0), "2016.12.31 23:59:58");
}

TEST_F(CliDeviceRaw, AnInvalidReplyIsIgnoredAndTheSameFrameResent) {
    Cli cli({"device", "output-test", "on", "--port", Path(), "--log"});
    const Bytes request = {0x58, 0x0f, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x11, 0x44, 0x08, 0x00,
                           0x01, 0x00, 0x01, 0x00, 0x00, 0x01, 0x61, 0x00, 0x00, 0x00, 0x16};
    EXPECT_EQ(NextRequest(), request);
    // Item 1 on, item 0 off: the state of item 0 is what counts.
    const Bytes items = {0x00, 0x00, 0x02, 0x00, 0x00, 0x01, 0x00, 0x01,
                         0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    Bytes corrupt = HandFrame(0x01, 0, 1, 0x12, 0x44, items);
    corrupt[corrupt.size() - 5] += 1;  // checksum off by one
    Answer(corrupt);
    EXPECT_EQ(NextRequest(), request);  // after the time-out
    Answer(HandFrame(0x01, 0, 1, 0x12, 0x44, items));
    Result r = cli.Wait();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "CPU Failure: Off\n");
    EXPECT_EQ(Count(r.err, "send-->repeat=1\r\n"), 1) << r.err;
    EXPECT_EQ(Count(r.err, "receive<-- ("), 2) << r.err;
    // The log says which reception failed and how.
    EXPECT_LT(r.err.find("receive<-- (checksum bad)\r\n"), r.err.find("receive<-- (checksum good)\r\n")) << r.err;
}

Bytes WireEventBytes(const char* name, unsigned number, unsigned year, uint8_t direction) {
    Bytes e(32, 0);
    std::memcpy(e.data(), name, std::strlen(name));
    Le16(e, number);
    Le16(e, year);
    for (uint8_t v : {4, 3, 2, 1, 0}) e.push_back(v);  // month, day, hour, minute, second
    Le16(e, 250);
    e.push_back(direction);
    return e;
}

TEST_F(CliDeviceRaw, AnEventSegmentClaimingTooManyEventsLeavesTheFileAlone) {
    TempDir dir;
    const std::string file = dir.File("p.mac");
    WriteProject(file, *MakeProject({1}));
    const Bytes before = ReadAll(file);

    Cli cli({"device", "events", file, "--device", "0", "--port", Path()});
    EXPECT_EQ(NextRequest(), Bytes({0x58, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x10, 0x50, 0xa0, 0x00,
                                    0x00, 0x00, 0x16}));
    Bytes first = {0x00, 0x00, 0x00, 0x00};  // skipped prefix of segment 0
    for (unsigned i = 0; i < 2; ++i) {
        const Bytes e = WireEventBytes("IN", i, 2015, 1);
        first.insert(first.end(), e.begin(), e.end());
    }
    Answer(HandFrame(0x80, 0, 1, 0x12, 0x50, first));
    EXPECT_EQ(NextRequest(), Bytes({0x58, 0x07, 0x00, 0x40, 0x01, 0x00, 0x00, 0x00, 0x10, 0x50, 0xa1, 0x00,
                                    0x00, 0x00, 0x16}));
    Bytes tooMany;
    for (unsigned i = 0; i < 21; ++i) {
        const Bytes e = WireEventBytes("IN", 2 + i, 2015, 0);
        tooMany.insert(tooMany.end(), e.begin(), e.end());
    }
    Answer(HandFrame(0x40, 1, 1, 0x12, 0x50, tooMany));
    Result r = cli.Wait();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("event log was invalid"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(file), before);
}

}  // namespace
