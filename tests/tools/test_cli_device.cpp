// SPDX-License-Identifier: Apache-2.0
// corvix-cli device ... end to end against the simulated device on a pseudo-terminal.
#include <algorithm>
#include <regex>

#include "link/frame.h"
#include "model/gbk.h"
#include "test_cli_device_support.h"

namespace {

using namespace corvix;
using namespace cli_device_test;

sim::SimOptions Options(int address = 1, int signals = 65) {
    sim::SimOptions o;
    o.device.address = address;
    o.device.signalCount = signals;
    o.device.uiLanguage = LangEnglish;
    return o;
}

// ---- status ----

TEST(CliDeviceStatus, PrintsFirmwareStatesAndFetchesAnnouncedEvents) {
    SimulatedDevice sim(Options(1, 7));
    ASSERT_TRUE(sim.Device().SetInput(1, true));  // logged as a new event
    ASSERT_TRUE(sim.Device().SetInput(4, true));

    Result json = RunCli({"device", "status", "--port", sim.Path(), "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out.rfind("{\"firmware\":\"01.02.03\",\"states\":[0,1,0,0,1,0,0],\"newEvents\":true,", 0),
              0u)
        << json.out;
    // Both events came in during the same command and are printed, not dropped.
    EXPECT_EQ(Count(json.out, "Off->On"), 2) << json.out;

    // The device counts them as delivered: the flag is clear now, and the text form lists
    // one line per input.
    Result text = RunCli({"device", "status", "--port", sim.Path()});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    const std::vector<std::string> lines = Lines(text.out);
    ASSERT_EQ(lines.size(), 9u) << text.out;
    EXPECT_EQ(lines[0], "Firmware: 01.02.03");
    EXPECT_EQ(lines[1], "Binary1: Off");
    EXPECT_EQ(lines[2], "Binary2: On");
    EXPECT_EQ(lines[5], "Binary5: On");
    EXPECT_EQ(lines[7], "Binary7: Off");
    EXPECT_EQ(lines[8], "New events: no");

    Result zh = RunCli({"device", "status", "--port", sim.Path(), "--lang", "zh"});
    ASSERT_EQ(zh.exitCode, 0) << zh.err;
    EXPECT_NE(zh.out.find("开关量2: 合上\n"), std::string::npos) << zh.out;
    EXPECT_NE(zh.out.find("开关量3: 断开\n"), std::string::npos) << zh.out;
}

// ---- configuration ----

TEST(CliDeviceConfig, ReadReplacesEveryDeviceWithTheAnsweringAddress) {
    sim::SimOptions o = Options(5);
    o.device.segmentSize = 500;  // five pieces
    SimulatedDevice sim(o);
    sim::ConfigImage image = sim.Device().Image();
    for (std::size_t i = 160; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
    image[156] = 5;  // the image keeps the device's own address
    image[157] = 0;
    sim.Device().SetImage(image);

    TempDir dir;
    const std::string file = dir.File("p.mac");
    auto project = MakeProject({5, 2, 5});
    project->devices[2].eventCount = 1;  // the event store is not part of the image
    project->devices[2].events[0].year = 2011;
    WriteProject(file, *project);

    Result r = RunCli({"device", "read-config", file, "--port", sim.Path(), "--log"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Updated devices: 0 2\n");
    EXPECT_EQ(Count(r.err, "send-->repeat=0\r\n"), 5);
    // Every header line carries its time stamp, a reception also its verdict.
    EXPECT_EQ(Count(r.err, "receive<-- (checksum good)\r\n"), 5) << r.err;
    const std::regex header(R"((^|\n)\d\d:[0-5]\d:[0-5]\d\.\d{3} (send-->repeat=0|receive<-- \(checksum good\))\r\n)");
    EXPECT_EQ(std::distance(std::sregex_iterator(r.err.begin(), r.err.end(), header), std::sregex_iterator()), 10);

    auto after = LoadProject(file);
    const Bytes expected(image.begin(), image.end());
    EXPECT_EQ(ImageOf(after->devices[0]), expected);
    EXPECT_EQ(ImageOf(after->devices[2]), expected);
    EXPECT_EQ(ImageOf(after->devices[1]), ImageOf(project->devices[1]));
    EXPECT_EQ(after->devices[2].eventCount, 1);
    EXPECT_EQ(after->devices[2].events[0].year, 2011);
}

TEST(CliDeviceConfig, ReadMatchingNoDeviceLeavesTheFileAlone) {
    SimulatedDevice sim(Options(9));
    TempDir dir;
    const std::string file = dir.File("p.mac");
    WriteProject(file, *MakeProject({1, 2}));
    const Bytes before = ReadAll(file);

    Result r = RunCli({"device", "read-config", file, "--port", sim.Path()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("address 9"), std::string::npos) << r.out;
    EXPECT_EQ(ReadAll(file), before);
}

TEST(CliDeviceConfig, WriteSendsTheChosenDevicesImage) {
    SimulatedDevice sim(Options(1));
    TempDir dir;
    const std::string file = dir.File("p.mac");
    auto project = MakeProject({1, 1});
    CopyTextField(project->devices[1].name, DeviceNameSize, "written one");
    project->devices[1].signalCount = 3;
    WriteProject(file, *project);

    Result r = RunCli({"device", "write-config", file, "--device", "1", "--port", sim.Path(), "--log"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Write Data Success\n");
    // The one end-to-end look at the split (the codec's table covers the cases): two full
    // pieces of 928 bytes marked "more", then the 628 left marked "last", each acknowledged
    // at the first try.
    EXPECT_EQ(Count(r.err, "send-->repeat=0\r\n"), 3);
    const std::size_t full = r.err.find("send-->repeat=0\r\n58 a7 03 c0 ");
    const std::size_t last = r.err.find("send-->repeat=0\r\n58 7b 02 40 ");
    EXPECT_EQ(Count(r.err, "send-->repeat=0\r\n58 a7 03 c0 "), 2) << r.err;
    ASSERT_NE(last, std::string::npos) << r.err;
    EXPECT_LT(full, last);
    const sim::ConfigImage held = sim.Device().Image();
    EXPECT_EQ(Bytes(held.begin(), held.end()), ImageOf(project->devices[1]));

    Result zh =
        RunCli({"device", "write-config", file, "--device", "0", "--port", sim.Path(), "--lang", "zh"});
    ASSERT_EQ(zh.exitCode, 0) << zh.err;
    EXPECT_EQ(zh.out, "配置写入成功\n");
    const sim::ConfigImage held0 = sim.Device().Image();
    EXPECT_EQ(Bytes(held0.begin(), held0.end()), ImageOf(project->devices[0]));
}

// ---- clock ----

class CliDeviceClock : public ::testing::Test {
  protected:
    void SetUp() override {
        // The device's clock stands still, so what is read back is exactly what was set.
        sim_.Device().SetPcClock([] { return sim::CivilMsFromFields(ClockFields{2020, 1, 2, 3, 4, 5, 6}); });
    }
    SimulatedDevice sim_{Options()};
};

TEST_F(CliDeviceClock, ReadsAndSetsByFixedPositions) {
    Result read = RunCli({"device", "clock", "--port", sim_.Path()});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    // The frozen device clock is years behind this computer's.
    EXPECT_TRUE(read.out.starts_with("2020.01.02 03:04:05\nOffset: device is ")) << read.out;
    EXPECT_TRUE(read.out.ends_with(" s behind\n")) << read.out;
    // Years read as days, hours, minutes and seconds, as the clock window shows them.
    EXPECT_TRUE(std::regex_search(read.out, std::regex("\nOffset: device is [1-9][0-9]* d [0-9]+ h [0-9]+ min [0-9]+ s "
                                                       "behind\n$")))
        << read.out;

    // Separators are not looked at.
    Result set = RunCli({"device", "clock", "--port", sim_.Path(), "--set", "2012/05/10-14h03m22"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(Lines(set.out).at(0), "2012.05.10 14:03:22");
    const ClockFields t = sim_.Device().DeviceTime();
    EXPECT_EQ(t.year, 2012);
    EXPECT_EQ(t.month, 5);
    EXPECT_EQ(t.day, 10);
    EXPECT_EQ(t.hour, 14);
    EXPECT_EQ(t.minute, 3);
    EXPECT_EQ(t.second, 22);

    // A short text: the fields it does not reach are 0; blanks before digits are skipped.
    Result shortText = RunCli({"device", "clock", "--port", sim_.Path(), "--set", "2013.06. 7 8"});
    ASSERT_EQ(shortText.exitCode, 0) << shortText.err;
    EXPECT_EQ(Lines(shortText.out).at(0), "2013.06.07 08:00:00");
}

TEST_F(CliDeviceClock, SetsThePcTime) {
    Result r = RunCli({"device", "clock", "--port", sim_.Path(), "--set-pc"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Whatever the PC's time, it is not the device's frozen 2020.
    EXPECT_NE(sim_.Device().DeviceTime().year, 2020);
    EXPECT_EQ(Lines(r.out).at(0).size(), std::string("2020.01.02 03:04:05").size()) << r.out;

    Result both = RunCli({"device", "clock", "--port", sim_.Path(), "--set-pc", "--set", "x"});
    EXPECT_EQ(both.exitCode, 2);
}

// ---- event log ----

WireEvent Event(const char* name, int year, int ms, uint8_t direction) {
    WireEvent e;
    std::strncpy(e.designation, name, sizeof e.designation);
    e.year = static_cast<uint16_t>(year);
    e.month = 5;
    e.day = 10;
    e.hour = 8;
    e.minute = 7;
    e.second = 6;
    e.millisecond = static_cast<uint16_t>(ms);
    e.direction = direction;
    return e;
}

TEST(CliDeviceEvents, ReadsTheLogIntoTheChosenDeviceNewestFirst) {
    SimulatedDevice sim(Options());
    sim.Device().InjectEvent(Event("IN1", 2012, 5, 1), false);
    sim.Device().InjectEvent(Event("pump, main", 2013, 123, 0), false);
    sim.Device().InjectEvent(Event("IN3", 2014, 999, 1), false);

    TempDir dir;
    const std::string file = dir.File("p.mac");
    auto project = MakeProject({1, 1});
    project->devices[0].eventCount = 7;  // device 0 is not the one asked for
    WriteProject(file, *project);

    Result r = RunCli({"device", "events", file, "--device", "1", "--port", sim.Path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0], "Number\tTime\tName\tState");
    EXPECT_EQ(lines[1], "1\t2014.05.10 08:07:06. 999\tIN3\tOff->On");
    EXPECT_EQ(lines[2], "2\t2013.05.10 08:07:06. 123\tpump, main\tOn->Off");
    EXPECT_EQ(lines[3], "3\t2012.05.10 08:07:06.   5\tIN1\tOff->On");

    auto after = LoadProject(file);
    EXPECT_EQ(after->devices[1].eventCount, 3);
    EXPECT_EQ(after->devices[1].events[2].year, 2014);
    EXPECT_EQ(after->devices[1].events[1].transition, 1);
    EXPECT_EQ(after->devices[0].eventCount, 7);

    Result csv =
        RunCli({"device", "events", file, "--device", "1", "--port", sim.Path(), "--csv", "--lang", "zh"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out,
              "\xEF\xBB\xBF序号,时间,名称,状态\r\n"
              "1,2014-05-10T08:07:06.999,IN3,分->合\r\n"
              "2,2013-05-10T08:07:06.123,\"pump, main\",合->分\r\n"
              "3,2012-05-10T08:07:06.005,IN1,分->合\r\n");
}

// A name the device reports reaches the terminal as visible text in every command that
// prints one: no escape sequence or bell of a device can act on the terminal.
TEST(CliDeviceEvents, NamesWithControlCharactersAreEscaped) {
    SimulatedDevice sim(Options());
    TempDir dir;
    const std::string file = dir.File("p.mac");
    WriteProject(file, *MakeProject({1}));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"device", "status", "--port", sim.Path()},
          {"device", "monitor", "--seconds", "0", "--port", sim.Path()},
          {"device", "events", file, "--device", "0", "--port", sim.Path()},
          {"device", "events", file, "--device", "0", "--port", sim.Path(), "--csv"}}) {
        sim.Device().InjectEvent(Event("IN\x1B]0;x\x07", 2012, 5, 1), true);  // a new one, also logged
        Result r = RunCli(args);
        ASSERT_EQ(r.exitCode, 0) << args[1] << ": " << r.err;
        EXPECT_NE(r.out.find("IN\\x1B]0;x\\x07"), std::string::npos) << args[1] << ": " << r.out;
        EXPECT_EQ(r.out.find_first_of("\x1B\x07"), std::string::npos) << args[1];
    }
}

TEST(CliDeviceEvents, ALogOfManySegmentsArrivesWhole) {
    sim::SimOptions o = Options();
    o.device.initialEvents = 47;  // three segments of at most 20
    SimulatedDevice sim(o);
    TempDir dir;
    const std::string file = dir.File("p.mac");
    WriteProject(file, *MakeProject({1}));

    Result r = RunCli({"device", "events", file, "--device", "0", "--port", sim.Path(), "--csv", "--log"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 48u);
    EXPECT_EQ(Count(r.err, "send-->repeat=0\r\n"), 3);
    auto after = LoadProject(file);
    EXPECT_EQ(after->devices[0].eventCount, 47);
    const std::vector<WireEvent> stored = sim.Device().StoredEvents();
    ASSERT_EQ(stored.size(), 47u);
    EXPECT_EQ(GbkToUtf8(FieldText(after->devices[0].events[46].signalName, 32)),
              GbkToUtf8(FieldText(stored[46].designation, 32)));
}

// ---- output test ----

TEST(CliDeviceOutputTest, SwitchesAndPrintsTheReportedState) {
    SimulatedDevice sim(Options());
    Result on = RunCli({"device", "output-test", "on", "--port", sim.Path()});
    ASSERT_EQ(on.exitCode, 0) << on.err;
    EXPECT_EQ(on.out, "CPU Failure: On\n");
    EXPECT_EQ(sim.Device().CpuFailureTest(), 1);

    Result off = RunCli({"device", "output-test", "off", "--port", sim.Path(), "--lang", "zh"});
    ASSERT_EQ(off.exitCode, 0) << off.err;
    EXPECT_EQ(off.out, "CPU 出错: 断开\n");
    EXPECT_EQ(sim.Device().CpuFailureTest(), 0);

    EXPECT_EQ(RunCli({"device", "output-test", "maybe", "--port", sim.Path()}).exitCode, 2);
}

// ---- monitor ----

TEST(CliDeviceMonitor, PrintsChangesAndEventsUntilSigterm) {
    SimulatedDevice sim(Options(1, 4));
    Cli cli({"device", "monitor", "--port", sim.Path()});
    ASSERT_TRUE(cli.Started());
    ASSERT_TRUE(cli.WaitForOutput("Binary4: Off\n")) << cli.OutputSoFar();

    ASSERT_TRUE(sim.Device().SetInput(2, true));
    // The next poll (three seconds on) sees the change and fetches the event.
    ASSERT_TRUE(cli.WaitForOutput("Binary3: On\n")) << cli.OutputSoFar();
    ASSERT_TRUE(cli.WaitForOutput("Off->On\r\n")) << cli.OutputSoFar();

    ASSERT_TRUE(cli.Signal(SIGTERM));
    Result r = cli.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_GE(lines.size(), 8u) << r.out;
    EXPECT_EQ(lines[0], "Firmware: 01.02.03");
    EXPECT_EQ(lines[1], "Binary1: Off");
    EXPECT_EQ(lines[4], "Binary4: Off");
    // Only the input that changed is printed again, then the event window's two lines.
    EXPECT_EQ(lines[5], "Binary3: On");
    EXPECT_EQ(lines[6].rfind("Event：", 0), 0u) << lines[6];
    EXPECT_EQ(lines[7].substr(0, 11), std::string(11, ' '));
}

TEST(CliDeviceMonitor, ReconnectWaitsForTheLostPortAndGoesOn) {
    TempDir dir;
    sim::SimOptions options = Options(1, 2);
    options.linkPath = dir.File("usb-adapter-port0");  // a name that outlives the device
    auto sim = std::make_unique<SimulatedDevice>(options);
    Cli cli({"device", "monitor", "--port", options.linkPath, "--reconnect"});
    ASSERT_TRUE(cli.WaitForOutput("Binary2: Off\n")) << cli.OutputSoFar();
    sim.reset();  // unplugged: said on stderr
    ASSERT_TRUE(cli.WaitForError("link lost, waiting for " + options.linkPath + "\n"));
    sim = std::make_unique<SimulatedDevice>(options);
    ASSERT_TRUE(sim->Device().SetInput(0, true));
    // Back under the same name: polled again at once, the change printed.
    ASSERT_TRUE(cli.WaitForOutput("Binary1: On\n")) << cli.OutputSoFar();
    ASSERT_TRUE(cli.Signal(SIGTERM));
    const Result r = cli.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "corvix-cli: link lost, waiting for " + options.linkPath + "\ncorvix-cli: link restored: " +
                         options.linkPath + "\n");
}

TEST(CliDeviceMonitor, EndsByItselfAfterFinishingThePollUnderWay) {
    SimulatedDevice sim(Options(1, 2));
    // No time at all: the first poll is already out and is answered before the end.
    Cli cli({"device", "monitor", "--port", sim.Path(), "--seconds", "0", "--lang", "zh"});
    Result r = cli.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "装置版本号: 01.02.03\n开关量1: 断开\n开关量2: 断开\n");
}

}  // namespace
