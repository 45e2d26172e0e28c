// SPDX-License-Identifier: Apache-2.0
// Reading a device's configuration for comparison leaves the project alone, and the clock
// offset and the set-to-PC time allow for the clock frame's time on the line.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "link/clock_timing.h"
#include "present/clock_offset_text.h"
#include "test_engine_fakes.h"

namespace corvix::test {
namespace {

class EngineFetch : public EngineFixture {
  protected:
    void Deliver(uint8_t address) {
        Bytes image;
        for (int i = 0; i < ConfigImageSize; ++i) image.push_back(static_cast<uint8_t>(i % 251));
        engine.FetchConfiguration();
        const std::size_t cuts[4] = {0, 931, 1862, image.size()};
        for (uint16_t seg = 0; seg < 3; ++seg) {
            EXPECT_EQ(LastHeader().segment, seg);
            ReceiveData(FC_CONFIG, seg < 2 ? CTRL_REPLY_MORE : CTRL_LAST, seg,
                        Bytes(image.begin() + cuts[seg], image.begin() + cuts[seg + 1]), address);
        }
        expected = image;
    }
    Bytes expected;
};

TEST_F(EngineFetch, ImageComesWithTheResultAndNoProjectDeviceTakesIt) {
    doc.Project().deviceCount = 1;
    doc.Project().devices[0].address = 5;
    const DeviceRecord before = doc.Project().devices[0];
    Deliver(5);
    const std::vector<ConfigurationFetched> fetched = log.All<ConfigurationFetched>();
    ASSERT_EQ(fetched.size(), 1u);
    ASSERT_NE(fetched[0].record, nullptr);
    EXPECT_EQ(std::memcmp(fetched[0].record.get(), expected.data(), ConfigImageSize), 0);
    EXPECT_EQ(std::memcmp(&doc.Project().devices[0], &before, sizeof before), 0);
    EXPECT_FALSE(doc.HasUnsavedChanges());
    EXPECT_EQ(log.Count<ConfigurationReceived>(), 0u);
    EXPECT_TRUE(engine.Idle());
    // A plain read afterwards goes to the project again.
    engine.ReadConfiguration();
    ReceiveData(FC_CONFIG, CTRL_LAST, 0, Bytes(expected.begin(), expected.begin() + 900), 5);
    EXPECT_EQ(log.Count<ConfigurationReceived>(), 1u);
}

TEST(ClockTiming, FrameTimeOnTheLineIsAllowedFor) {
    SerialSettings line;
    line.baudRate = 1200;  // 10 bits a byte: 26 bytes take 216.7 ms
    line.parity = ParityEven;  // 11 bits: 238.3 ms
    EXPECT_NEAR(FrameLineMs(ClockFrameSize, line), 238.33, 0.01);
    LocalTime pc;
    pc.year = 2026, pc.month = 12, pc.day = 31, pc.hour = 23, pc.minute = 59, pc.second = 59, pc.millisecond = 900;
    const LocalClockFn clock = [&pc] { return pc; };
    const LocalTime sent = ClockSetTime(clock, line);
    EXPECT_EQ((std::vector<int>{sent.year, sent.month, sent.day, sent.second, sent.millisecond}),
              (std::vector<int>{2027, 1, 1, 0, 138}));

    // The device read 2.5 s before the PC's arrival time; the reply spent 238 ms on the line.
    const ClockFields device{2026, 12, 31, 23, 59, 57, 400};
    EXPECT_EQ(DeviceClockOffsetMs(device, clock(), line), -2262);
    EXPECT_EQ(ClockOffsetText(-2262, LangEnglish), "device is 2.3 s behind");
    EXPECT_EQ(ClockOffsetText(2449, LangChinese), "装置快 2.4 秒");
    line.baudRate = 0;  // an unset rate adds nothing
    EXPECT_EQ(DeviceClockOffsetMs(device, clock(), line), -2500);
}

}  // namespace
}  // namespace corvix::test
