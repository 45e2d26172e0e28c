// SPDX-License-Identifier: Apache-2.0
// Serial device servers: port names, the telnet layer against hand-written bytes, and the
// network port through a real ser2net process bridging to a pseudo-terminal.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <numeric>

#include "fakes/fake_serial_port.h"
#include "fakes/loopback_listener.h"
#include "fakes/ser2net_server.h"
#include "link/comm_link.h"
#include "link/net_port.h"
#include "link/telnet.h"
#include "present/link_messages.h"
#include "pty_helper.h"

namespace corvix {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

TEST(NetPortNames, ParseOrRefuse) {
    const struct {
        const char *name, *host, *port;
        NetPortKind kind;
    } good[] = {
        {"tcp://127.0.0.1:4000", "127.0.0.1", "4000", NetPortKind::RawTcp},
        {"rfc2217://server.local:2217", "server.local", "2217", NetPortKind::Rfc2217},
        {"RFC2217://[::1]:65535", "::1", "65535", NetPortKind::Rfc2217},
        {"tcp://[fe80::1%eth0]:01", "fe80::1%eth0", "1", NetPortKind::RawTcp},
    };
    for (const auto& c : good) {
        const auto parsed = ParseNetPortName(c.name);
        ASSERT_TRUE(parsed) << c.name;
        EXPECT_EQ(parsed->kind, c.kind) << c.name;
        EXPECT_EQ(parsed->host, c.host);
        EXPECT_EQ(parsed->port, c.port);
    }
    // IPv6 without brackets, brackets around a name, ports out of range or not numbers, no
    // host or port, blanks, user parts, other schemes and plain paths.
    for (const char* bad : {"tcp://::1:4000", "tcp://[host]:4000", "tcp://host:0", "tcp://host:65536",
                            "tcp://host:40x0", "tcp://host", "tcp://:4000", "rfc2217://a b:4000",
                            "rfc2217://user@host:4000", "/dev/ttyUSB0", "udp://host:4000"})
        EXPECT_FALSE(ParseNetPortName(bad)) << bad;
    // A name with a scheme is never opened as a device path, even when it is malformed.
    EXPECT_TRUE(IsNetPortName("tcp://host"));
    EXPECT_FALSE(IsNetPortName("/dev/ttyS0"));
    EXPECT_EQ(NetPortEndpoint("rfc2217://[::1]:4000"), "[::1]:4000");
}

TEST(Telnet, DataBytesAreEscapedAndCountedOnTheWire) {
    const Bytes data = {0x58, 0xFF, 0x00, 0xFF, 0xFF, 0x16};
    Bytes wire;
    TelnetEscape(data.data(), data.size(), wire);
    EXPECT_EQ(wire, (Bytes{0x58, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x16}));
    EXPECT_EQ(TelnetDataBytes(wire.data(), wire.size()), data.size());
    EXPECT_EQ(TelnetDataBytes(wire.data(), 2), 1u);  // 58 FF|FF: half a pair does not count
    EXPECT_EQ(TelnetDataBytes(wire.data(), 3), 2u);
}

TEST(Telnet, LineCommandsCarryTheSettings) {
    // 115199 = 00 01 C1 FF: the FF of the rate is doubled inside the subnegotiation.
    EXPECT_EQ(ComPortLineCommands(115199, 7, ParityEven, StopBits2),
              (Bytes{255, 250, 44, 1, 0x00, 0x01, 0xC1, 0xFF, 0xFF, 255, 240,  //
                     255, 250, 44, 2, 7,    255,  240,                         //
                     255, 250, 44, 3, 3,    255,  240,                         //
                     255, 250, 44, 4, 2,    255,  240}));
    EXPECT_TRUE(ComPortLineCommands(9600, 9, ParityNone, StopBits1).empty());
    EXPECT_TRUE(ComPortLineCommands(0, 8, ParityNone, StopBits1).empty());
}

// What a server sends at connect and after the settings, with data in between, fed in every
// possible two-piece split: the data comes out exactly, each command is answered once.
TEST(Telnet, DecoderTakesCommandsOutOfTheDataInAnySplit) {
    const Bytes wire = {
        0x01, 255, 251, 1,                                          // WILL ECHO: refused
        255,  253, 3,                                               // DO SGA: accepted
        255,  253, 24,                                              // DO TERMINAL-TYPE: refused
        255,  253, 44,                                              // DO COM-PORT-OPTION: our offer taken
        0x02, 255, 255, 0x0D, 0x00,                                 // data FF, CR NUL
        255,  250, 44,  101,  0,    1,   0xC1, 255, 255, 255, 240,  // baud rate 115199, FF doubled
        255,  250, 44,  107,  0,    255, 240,                       // modem state notice: ignored
        255,  241,                                                  // NOP
        255,  250, 44,  102,  8,    255, 240,                       // data size 8
        255,  250, 44,  103,  1,    255, 240,                       // parity none
        255,  250, 44,  104,  1,    255, 240,                       // stop size 1
        0xFE,
    };
    const Bytes data = {0x01, 0x02, 0xFF, 0x0D, 0x00, 0xFE};
    for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
        SCOPED_TRACE(cut);
        TelnetDecoder d;
        EXPECT_EQ(d.Offer(telnet::OptComPort), (Bytes{255, 251, 44}));
        Bytes out(64);
        std::size_t first = 0, second = 0;
        ASSERT_EQ(d.Decode(wire.data(), cut, out.data(), out.size(), first), cut);
        ASSERT_EQ(
            d.Decode(wire.data() + cut, wire.size() - cut, out.data() + first, out.size() - first, second),
            wire.size() - cut);
        out.resize(first + second);
        EXPECT_EQ(out, data);
        EXPECT_EQ(d.TakeReplies(), (Bytes{255, 254, 1, 255, 251, 3, 255, 252, 24}));
        EXPECT_TRUE(d.ComPortAccepted());
        ASSERT_TRUE(d.Replies().Complete());
        EXPECT_EQ(*d.Replies().baudRate, 115199u);
        EXPECT_EQ(*d.Replies().parity, telnet::ParityWireNone);
    }
    // DONT after our offer: the server has no serial-port option.
    TelnetDecoder refused;
    refused.Offer(telnet::OptComPort);
    const Bytes dont = {255, 254, 44};
    std::size_t produced = 0;
    refused.Decode(dont.data(), dont.size(), nullptr, SIZE_MAX, produced);
    EXPECT_TRUE(refused.ComPortRefused());
    EXPECT_TRUE(refused.TakeReplies().empty());
}

// Reads until `count` bytes came, waiting on the port's descriptor as the worker does.
Bytes ReadFromPort(SerialPort& port, std::size_t count) {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (got.size() < count && std::chrono::steady_clock::now() < deadline && !port.HungUp()) {
        pollfd p{port.PollFd(), POLLIN, 0};
        ::poll(&p, 1, 100);
        uint8_t buffer[300];
        if (port.BytesQueued() > 0) got.insert(got.end(), buffer, buffer + port.Read(buffer, sizeof buffer));
    }
    return got;
}

class ThroughSer2net : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        CORVIX_REQUIRE_SER2NET();
        ASSERT_TRUE(pty.Ok());
        server = std::make_unique<test::Ser2netServer>(pty.SlavePath(), "57600n81");
        ASSERT_TRUE(server->Ok()) << "ser2net did not start";
        name = GetParam() ? server->Rfc2217Name() : server->RawName();
    }
    testing::PtyPair pty;
    std::unique_ptr<test::Ser2netServer> server;
    std::string name;
};

// Every byte value passes both ways untouched; RFC 2217 sets the server's line.
TEST_P(ThroughSer2net, CarriesEveryByteAndSetsTheLine) {
    NetSerialPort port;
    ASSERT_TRUE(port.Open(name)) << port.LastOpenError();
    SerialSettings s;
    s.baudRate = 9600;
    s.stopBits = StopBits2;
    ASSERT_TRUE(port.Configure(s));
    if (GetParam()) {
        const termios t = pty.LineSettings();
        EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
        EXPECT_EQ(t.c_cflag & CSTOPB, tcflag_t(CSTOPB));
    }
    Bytes all(256);
    std::iota(all.begin(), all.end(), 0);
    ASSERT_EQ(port.Write(all.data(), all.size()), all.size());
    EXPECT_EQ(pty.Receive(all.size(), 10s), all);
    ASSERT_TRUE(pty.Send(all));
    EXPECT_EQ(ReadFromPort(port, all.size()), all);
    EXPECT_FALSE(port.HungUp());
}

// The device side goes, the server closes the connection: the running link's worker sees
// the hang-up as it sees an unplugged adapter.
TEST_P(ThroughSer2net, ServerClosingIsAHangUp) {
    CommLink link;
    link.settings.portName = name;
    ASSERT_EQ(link.Connect(), LinkOpen::Opened);
    EXPECT_EQ(link.LinkStatusText().rfind("On  " + name + " Baudrate", 0), 0u);
    pty.CloseMaster();
    EXPECT_TRUE(testing::WaitUntil([&] { return link.Worker()->PortHungUp(); }));
    link.CloseLink();
}

// RFC 2217 asked of a server that speaks telnet without it, or no telnet at all (a raw port:
// no answer within the time).
TEST(NetPortOpen, ServersWithoutRfc2217AreToldApart) {
    CORVIX_REQUIRE_SER2NET();
    testing::PtyPair pty;
    test::Ser2netServer server(pty.SlavePath());
    ASSERT_TRUE(server.Ok()) << "ser2net did not start";
    NetSerialPort port;
    EXPECT_FALSE(port.Open("rfc2217" + server.RawName().substr(3)));
    EXPECT_EQ(port.LastOpenError(), NetErrorNoTelnet);
    // Our offer reached the device; the server lets go of it before the next connection.
    EXPECT_EQ(pty.Receive(3, 5s), (Bytes{255, 251, 44}));
    EXPECT_TRUE(testing::WaitUntil([&] {
        pollfd p{pty.MasterFd(), POLLIN, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
    }));
    EXPECT_FALSE(port.Open(server.PlainTelnetName()));
    EXPECT_EQ(port.LastOpenError(), NetErrorNoComPort);
    EXPECT_FALSE(port.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(RawAndRfc2217, ThroughSer2net, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Rfc2217" : "RawTcp"; });

// Failures to reach a server keep their reason; the message names the address in each
// language. Name lookups are not made in tests: a port reports that failure.
TEST(NetPortOpen, FailuresSayWhy) {
    CommLink link;
    link.settings.portName = "tcp://127.0.0.1:" + std::to_string(test::FreeTcpPort());
    EXPECT_EQ(link.Connect(), LinkOpen::CannotOpen);
    EXPECT_EQ(link.LastOpenError(), ECONNREFUSED);
    link.settings.portName = "rfc2217://127.0.0.1";
    EXPECT_EQ(link.Connect(), LinkOpen::CannotOpen);
    EXPECT_EQ(link.LastOpenError(), NetErrorBadName);

    auto fake = std::make_shared<FakeSerialPort>();
    fake->FailOpen(NetErrorHostNotFound);
    link.SetPortFactory([fake] { return fake; });
    link.settings.portName = "rfc2217://plc-gateway:4001";
    EXPECT_EQ(link.Connect(), LinkOpen::CannotOpen);
    const std::string en = ConnectMessages(LinkOpen::CannotOpen, link, LangEnglish)[0].text;
    const std::string zh = ConnectMessages(LinkOpen::CannotOpen, link, LangChinese)[0].text;
    EXPECT_NE(en.find("plc-gateway:4001"), std::string::npos);
    EXPECT_NE(zh.find("plc-gateway:4001"), std::string::npos);
    EXPECT_NE(en, zh);
}

// An open called off through its descriptor stops waiting for a silent server at once.
TEST(NetPortOpen, CalledOffOpenSaysSo) {
    test::LoopbackListener silent;
    ASSERT_TRUE(silent.Ok());
    const int cancel = ::eventfd(1, EFD_CLOEXEC);  // already signalled
    SerialSettings settings;
    settings.portName = "rfc2217://" + silent.Where();
    const PreparedPort p = CommLink::PreparePort(settings, {}, cancel);
    EXPECT_EQ(p.result, LinkOpen::CannotOpen);
    EXPECT_EQ(p.error, ECANCELED);
    ::close(cancel);
}

}  // namespace
}  // namespace corvix
