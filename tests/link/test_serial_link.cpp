// SPDX-License-Identifier: Apache-2.0
// The frame's link: Connect / Disconnect, reopening on a new port name, the messages on
// failure, the status-bar text, and frames and receptions through a real pseudo-terminal.
#include <gtest/gtest.h>

#include <cerrno>

#include "link/comm_link.h"
#include "model/texts.h"
#include "present/link_messages.h"
#include "fakes/fake_serial_port.h"
#include "pty_helper.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using testing::NoticeRecorder;
using testing::PtyPair;

struct Message {
    std::string text, caption;
};

// What a front end shows of the link's outcomes, recorded.
class RecordingUi {
  public:
    void Show(const std::vector<UserMessage>& shown) {
        for (const UserMessage& m : shown) messages.push_back({m.text, m.caption});
    }
    std::vector<Message> messages;
};

// The link commands as the window runs them: the outcome, then its messages.
class ShownLink : public CommLink {
  public:
    ShownLink(RecordingUi& ui, CommNoticeFn notify = {}) : CommLink(std::move(notify)), ui_(ui) {}
    void Connect(int lang) { ui_.Show(ConnectMessages(CommLink::Connect(), *this, lang)); }
    bool ApplyPortName(const std::string& name, int lang) {
        const PortChange change = CommLink::ApplyPortName(name);
        ui_.Show(PortChangeMessages(change, *this, lang));
        return change.changed;
    }

  private:
    RecordingUi& ui_;
};

// A link whose ports are fakes the test can script; every port handed out is kept.
class LinkWithFakes : public ::testing::Test {
  protected:
    LinkWithFakes() {
        link.SetPortFactory([this] {
            auto p = std::make_shared<FakeSerialPort>();
            p->FailOpen(nextOpenError);
            p->FailConfigure(nextConfigureFails);
            ports.push_back(p);
            return p;
        });
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& m : ui.messages) t.push_back(m.text);
        return t;
    }

    RecordingUi ui;
    NoticeRecorder notices;
    ShownLink link{ui, notices.Callback()};
    std::vector<std::shared_ptr<FakeSerialPort>> ports;
    int nextOpenError = 0;
    bool nextConfigureFails = false;
};

TEST_F(LinkWithFakes, ConnectOpensConfiguresAndStartsTheWorker) {
    link.settings.baudRate = 9600;
    link.settings.parity = ParityEven;
    link.Connect(LangChinese);
    ASSERT_TRUE(link.IsConnected());
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0]->OpenedPath(), "/dev/ttyS0");
    EXPECT_EQ(ports[0]->ConfiguredSettings().baudRate, 9600);
    EXPECT_EQ(ports[0]->ConfiguredSettings().parity, ParityEven);
    ASSERT_NE(link.Worker(), nullptr);
    EXPECT_TRUE(link.Worker()->Running());
    EXPECT_TRUE(ui.messages.empty());

    link.Disconnect();
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(link.Worker(), nullptr);
    EXPECT_FALSE(ports[0]->IsOpen());
}

TEST_F(LinkWithFakes, ConnectTwiceDoesNothing) {
    link.Connect(LangChinese);
    ASSERT_TRUE(link.IsConnected());
    const CommWorker* worker = link.Worker();
    link.Connect(LangChinese);
    EXPECT_TRUE(link.IsConnected());
    EXPECT_EQ(ports.size(), 1u);
    EXPECT_EQ(link.Worker(), worker);
    EXPECT_EQ(ports[0]->ConfigureCount(), 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(link.OpenLink(), LinkOpen::AlreadyOpen);
    EXPECT_EQ(ports.size(), 1u);
}

TEST_F(LinkWithFakes, PortThatCannotOpenGivesOnlyTheConnectMessage) {
    nextOpenError = ENOENT;
    link.Connect(LangChinese);
    EXPECT_FALSE(link.IsConnected());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, txt::OpenPortErrorBang.zh);
    EXPECT_EQ(ui.messages[0].caption, "Corvix");
    link.Connect(LangEnglish);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, "Open serial port error");
}

TEST_F(LinkWithFakes, RefusedSettingsGiveBothMessagesAndClosePort) {
    nextConfigureFails = true;
    link.Connect(LangEnglish);
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Open Serial Port Error", "Open serial port error"}));
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_FALSE(ports[0]->IsOpen());
    EXPECT_EQ(link.LinkStatusText(), "Off");
}

TEST_F(LinkWithFakes, PermissionDeniedExplainsTheFix) {
    nextOpenError = EACCES;
    link.settings.portName = "/nonexistent/ttyUSB7";
    link.Connect(LangEnglish);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(text.rfind("Open serial port error", 0), 0u);
    EXPECT_NE(text.find("usermod -aG dialout"), std::string::npos);
    EXPECT_NE(text.find("log in again"), std::string::npos);
    link.Connect(LangChinese);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_NE(ui.messages[1].text.find("dialout"), std::string::npos);
    EXPECT_EQ(ui.messages[1].text.rfind(txt::OpenPortErrorBang.zh, 0), 0u);
    // Other failures carry no advice.
    nextOpenError = ENOENT;
    link.Connect(LangEnglish);
    EXPECT_EQ(ui.messages.back().text, "Open serial port error");
}

TEST_F(LinkWithFakes, NewPortNameWhileConnectedReopensAtOnce) {
    link.Connect(LangChinese);
    ASSERT_TRUE(link.IsConnected());
    EXPECT_FALSE(link.ApplyPortName("/dev/ttyS0", LangChinese));  // same bytes: nothing
    EXPECT_EQ(ports.size(), 1u);

    EXPECT_TRUE(link.ApplyPortName("/dev/ttyUSB0", LangChinese));
    EXPECT_TRUE(link.IsConnected());
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_FALSE(ports[0]->IsOpen());
    EXPECT_EQ(ports[1]->OpenedPath(), "/dev/ttyUSB0");
    EXPECT_TRUE(ports[1]->IsOpen());
    // Case counts: a differently cased name is a different port.
    EXPECT_TRUE(link.ApplyPortName("/dev/ttyusb0", LangChinese));
    EXPECT_EQ(ports.size(), 3u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(LinkWithFakes, NewPortNameWhileDisconnectedIsOnlyStored) {
    EXPECT_TRUE(link.ApplyPortName("/dev/ttyUSB3", LangEnglish));
    EXPECT_EQ(link.settings.portName, "/dev/ttyUSB3");
    EXPECT_TRUE(ports.empty());
    EXPECT_FALSE(link.IsConnected());
}

TEST_F(LinkWithFakes, ReopenFailureShowsCannotOpenAfterOpenLinksOwnMessage) {
    link.Connect(LangEnglish);
    ASSERT_TRUE(link.IsConnected());
    nextConfigureFails = true;
    link.ApplyPortName("/dev/ttyUSB1", LangEnglish);
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Open Serial Port Error", "Can not open serial port"}));
    ui.messages.clear();
    nextConfigureFails = false;
    nextOpenError = ENOENT;
    link.Connect(LangChinese);
    link.ApplyPortName("/dev/ttyUSB2", LangChinese);  // disconnected: stored, no message
    EXPECT_EQ(Texts(), (std::vector<std::string>{txt::OpenPortErrorBang.zh}));
}

TEST_F(LinkWithFakes, StatusTextFollowsSettingsWhileConnected) {
    EXPECT_EQ(link.LinkStatusText(), "Off");
    link.Connect(LangChinese);
    EXPECT_EQ(link.LinkStatusText(),
              "On  /dev/ttyS0 Baudrate\xEF\xBC\x9A"
              "57600 Databits:8 Stopbits:1 Parity:None");
    link.settings.baudRate = 1200;
    link.settings.dataBits = 7;
    link.settings.stopBits = StopBits1_5;
    link.settings.parity = ParityOdd;
    EXPECT_EQ(link.LinkStatusText(),
              "On  /dev/ttyS0 Baudrate\xEF\xBC\x9A"
              "1200 Databits:7 Stopbits:1.5 Parity:ODD");
    link.Disconnect();
    EXPECT_EQ(link.LinkStatusText(), "Off");
}

TEST_F(LinkWithFakes, ConnectClearsBuffersAndCloseKeepsThem) {
    link.Connect(LangChinese);
    const std::vector<uint8_t> reply = {0x58, 1, 2, 3, 0x16};
    ports[0]->Feed(reply.data(), reply.size());
    ASSERT_TRUE(notices.WaitFor(CommNotice::Received, 1));
    // A reception announced just before the link closed can still be taken.
    link.Disconnect();
    uint8_t out[16];
    ASSERT_EQ(link.TakeReception(out, sizeof out), reply.size());
    EXPECT_EQ(std::vector<uint8_t>(out, out + reply.size()), reply);

    ports[0]->Feed(reply.data(), reply.size());
    link.SubmitFrame(reply.data(), reply.size());  // pending while disconnected
    {
        std::lock_guard<std::mutex> g(link.Buffers().rxLock);
        link.Buffers().rxReady = true;
        link.Buffers().rxLength = 3;
    }
    link.Connect(LangChinese);
    ASSERT_TRUE(link.IsConnected());
    EXPECT_EQ(link.TakeReception(out, sizeof out), 0u);
    // The stale frame is neither pending nor sent (the lock waits out a write in progress).
    bool pending;
    {
        std::lock_guard<std::mutex> g(link.Buffers().txLock);
        pending = link.Buffers().txPending;
    }
    EXPECT_FALSE(pending);
    EXPECT_TRUE(ports[1]->Written().empty());
}

TEST_F(LinkWithFakes, DestroyingTheLinkStopsTheWorker) {
    auto ui2 = std::make_unique<RecordingUi>();
    std::weak_ptr<FakeSerialPort> port;
    {
        ShownLink other(*ui2);
        other.SetPortFactory([&] {
            auto p = std::make_shared<FakeSerialPort>();
            port = p;
            return p;
        });
        other.Connect(LangChinese);
        ASSERT_TRUE(other.IsConnected());
    }
    EXPECT_TRUE(port.expired());  // worker ended and released the port
}

// ---- through a real pseudo-terminal ----

class LinkOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        link.settings.portName = pty.SlavePath();
    }
    RecordingUi ui;
    NoticeRecorder notices;
    ShownLink link{ui, notices.Callback()};
    PtyPair pty;
};

TEST_F(LinkOnPty, FrameOutReplyIn) {
    link.Connect(LangChinese);
    ASSERT_TRUE(link.IsConnected()) << (ui.messages.empty() ? "" : ui.messages[0].text);
    const std::vector<uint8_t> request = {0x58, 0x07, 0x00, 0x00, 0x01, 0x01, 0x03, 0x16};
    link.SubmitFrame(request.data(), request.size());
    EXPECT_EQ(pty.Receive(request.size(), 5000ms), request);
    ASSERT_TRUE(notices.WaitFor(CommNotice::Sent, 1));
    EXPECT_EQ(notices.Entries()[0].bytes, request);

    const std::vector<uint8_t> reply = {0x58, 0x09, 0x00, 0x00, 0x01, 0x02, 0x03, 0xAA, 0x16};
    ASSERT_TRUE(pty.Send(reply));
    ASSERT_TRUE(notices.WaitFor(CommNotice::Received, 1));
    uint8_t out[LinkBufferSize];
    ASSERT_EQ(link.TakeReception(out, sizeof out), reply.size());
    EXPECT_EQ(std::vector<uint8_t>(out, out + reply.size()), reply);
}

TEST_F(LinkOnPty, ChangedSettingsReachTheLineAtNextConnect) {
    link.settings.parity = ParityEven;
    link.Connect(LangChinese);
    ASSERT_TRUE(link.IsConnected());
    termios t = pty.LineSettings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B57600));
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);

    link.settings.baudRate = 9600;
    link.settings.stopBits = StopBits2;
    t = pty.LineSettings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B57600));
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    link.Disconnect();
    link.Connect(LangChinese);
    ASSERT_TRUE(link.IsConnected());
    t = pty.LineSettings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cflag & CSTOPB, tcflag_t(CSTOPB));
}

TEST_F(LinkOnPty, MissingDeviceFailsWithMessage) {
    link.settings.portName = pty.SlavePath() + "-missing";
    link.Connect(LangEnglish);
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(link.LastOpenError(), ENOENT);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Open serial port error");
    EXPECT_EQ(ui.messages[0].caption, "Corvix");
}

// A port another program holds is refused, for root as well, and the message names the holder.
TEST_F(LinkOnPty, PortInUseNamesItsHolder) {
    PosixSerialPort holder("");  // another program, without lock files
    ASSERT_TRUE(holder.Open(pty.SlavePath()));
    const std::string who = "test_link (PID " + std::to_string(getpid()) + ")";
    link.Connect(LangEnglish);
    link.Connect(LangChinese);
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(link.LastOpenError(), EBUSY);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Open serial port error\n\nPort in use: " + who + " holds it.");
    EXPECT_EQ(ui.messages[1].text,
              std::string(txt::OpenPortErrorBang.zh) + "\n\n串口已被占用：" + who + " 正在使用它。");
}

TEST_F(LinkOnPty, UnsupportedStopBitsRefusedWithBothMessages) {
    link.settings.stopBits = StopBits1_5;
    link.Connect(LangChinese);
    EXPECT_FALSE(link.IsConnected());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "打开串口出错");
    EXPECT_EQ(ui.messages[1].text, txt::OpenPortErrorBang.zh);
    // The port was closed again: the line can be opened at once with good settings.
    link.settings.stopBits = StopBits1;
    link.Connect(LangChinese);
    EXPECT_TRUE(link.IsConnected());
}

TEST_F(LinkOnPty, DeviceGoneThenDisconnectIsPrompt) {
    link.Connect(LangChinese);
    ASSERT_TRUE(link.IsConnected());
    pty.CloseMaster();
    ASSERT_TRUE(testing::WaitUntil([&] { return link.Worker()->PortHungUp(); }));
    const uint8_t frame[] = {0x58, 0x16};
    link.SubmitFrame(frame, sizeof frame);
    ASSERT_TRUE(notices.WaitFor(CommNotice::SendFailed, 1));
    link.CloseLink();  // as the engine's give-up does
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(link.LinkStatusText(), "Off");
}

}  // namespace
}  // namespace corvix
