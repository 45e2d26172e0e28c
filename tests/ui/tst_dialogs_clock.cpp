// SPDX-License-Identifier: Apache-2.0
// The clock window through the main window: opening and its texts in both languages, the
// date-order switch for the whole program, "Set" from typed text or the PC clock, the PC-time
// box following the clock, the device-time box filled from clock replies, and closing (Enter
// on a focused Quit included).
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <memory>

#include "link/comm_link.h"
#include "link/engine.h"
#include "model/doc.h"
#include "ui/dialogs/dlgtime.h"
#include "ui/dialogs/infodlg.h"
#include "ui/frame/mainframe.h"
#include "ui/tst_dialogs_support.h"
#include "ui/ui_test_helper.h"

using namespace corvix;
using corvix::test::TestPty;

namespace {

LocalTime At(int year, int month, int day, int hour, int minute, int second, int millisecond,
             int dayOfWeek = 3) {
    LocalTime t;
    t.year = year;
    t.month = month;
    t.dayOfWeek = dayOfWeek;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.millisecond = millisecond;
    return t;
}

}  // namespace

class TestDialogsClock : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

  private:
    LocalTime pcNow;

    CDlgTime* OpenClock() {
        frame->RunCommand(CMainFrame::IdInternalClock);
        return qobject_cast<CDlgTime*>(frame->clockWindow.data());
    }

    // The clock fields of the frame last built, which must be a clock-set request.
    ClockFields SentClock() {
        const std::span<const uint8_t> sent = frame->Engine().OutgoingFrame();
        const uint8_t* bytes = sent.data();
        const FrameHeader h = DecodeHeader(bytes, sent.size());
        ClockFields c;
        if (h.type != TYPE_WRITE || h.function != FC_CLOCK) {
            qWarning("not a clock-set request");
            return c;
        }
        ReadClockPayload(FrameData(bytes, h), c);
        return c;
    }

    static QString Fields(const ClockFields& c) {
        return QString::asprintf("%d-%d-%d %d:%d:%d.%d", c.year, c.month, c.day, c.hour, c.minute, c.second,
                                 c.millisecond);
    }

    void SetTyped(CDlgTime* clock, const QString& text) {
        clock->SystemTimeBox()->setText(text);
        QTest::mouseClick(clock->SetButton(), Qt::LeftButton);
    }

  private slots:
    void init() {
        OpenFrame();
        pcNow = At(2031, 2, 3, 4, 5, 6, 789);
        frame->localClock = [this] { return pcNow; };
        frame->show();
    }

    void cleanup() { CloseFrame(); }

    void opensWithItsTextsAndThePcTime() {
        CDlgTime* clock = OpenClock();
        QVERIFY(clock);
        QVERIFY(clock->isVisible());
        QVERIFY(!clock->isModal());
        QCOMPARE(clock->windowTitle(), QString("时间设置"));
        QVERIFY(clock->ChinaButton()->isChecked());
        QVERIFY(!clock->WorldButton()->isChecked());
        QCOMPARE(clock->ChinaButton()->text(), QString("中式"));
        QCOMPARE(clock->WorldButton()->text(), QString("欧式"));
        QCOMPARE(clock->Hint()->text(), QString("格式：年.月.日　时：分：秒"));
        QCOMPARE(clock->UsePcClockBox()->text(), QString("采用系统时钟"));
        QVERIFY(!clock->UsePcClockBox()->isChecked());
        QCOMPARE(clock->SetButton()->text(), QString("设置"));
        QCOMPARE(clock->QuitButton()->text(), QString("退出"));
        QVERIFY(clock->SetButton()->isDefault());
        QCOMPARE(clock->SystemTimeBox()->text(), QString("2031.02.03 04:05:06"));
        QCOMPARE(clock->DeviceTimeBox()->text(), QString());
        QVERIFY(!clock->SystemTimeBox()->accessibleName().isEmpty());
        QVERIFY(!clock->DeviceTimeBox()->accessibleName().isEmpty());

        // The command again brings the same window forward.
        frame->RunCommand(CMainFrame::IdInternalClock);
        QCOMPARE(frame->clockWindow.data(), static_cast<QWidget*>(clock));
        QCOMPARE(frame->findChildren<CDlgTime*>().size(), 1);
    }

    void englishHintsFollowHowTheOrderWasSet() {
        doc->SetLanguage(LangEnglish);
        CDlgTime* clock = OpenClock();
        QCOMPARE(clock->windowTitle(), QString("Interl CLock"));
        QCOMPARE(clock->UsePcClockBox()->text(), QString("Use PC Internal Clock"));
        QCOMPARE(clock->QuitButton()->text(), QString("Quit"));
        // At opening the China hint has an ordinary blank; set by the buttons, an ideographic one.
        QCOMPARE(clock->Hint()->text(), QString("mode：yyyy.mm.dd hh.mm.ss"));
        QTest::mouseClick(clock->WorldButton(), Qt::LeftButton);
        QCOMPARE(clock->Hint()->text(), QString("mode：dd.mm.yyyy　hh.mm.ss"));
        QTest::mouseClick(clock->ChinaButton(), Qt::LeftButton);
        QCOMPARE(clock->Hint()->text(), QString("mode：yyyy.mm.dd　hh.mm.ss"));
        QTest::mouseClick(clock->WorldButton(), Qt::LeftButton);
        clock->close();

        // Reopened with the World order.
        clock = OpenClock();
        QVERIFY(clock->WorldButton()->isChecked());
        QCOMPARE(clock->Hint()->text(), QString("mode：dd.mm.yyyy　hh.mm.ss"));
        QCOMPARE(clock->SystemTimeBox()->text(), QString("03.02.2031 04:05:06"));
        doc->SetLanguage(LangChinese);  // an open window keeps its language
        QTest::mouseClick(clock->ChinaButton(), Qt::LeftButton);
        QCOMPARE(clock->Hint()->text(), QString("mode：yyyy.mm.dd　hh.mm.ss"));
        clock->close();
        clock = OpenClock();
        QTest::mouseClick(clock->WorldButton(), Qt::LeftButton);
        QCOMPARE(clock->Hint()->text(), QString("格式：日.月.年　时：分：秒"));
    }

    void setReadsFixedPositions() {
        CDlgTime* clock = OpenClock();
        struct Case {
            bool world;
            const char* typed;
            const char* sent;
        } cases[] = {
            {false, "2012.05.10 14:03:22", "2012-5-10 14:3:22.0"},
            {false, "2012/05/10-14h03m22", "2012-5-10 14:3:22.0"},  // separators are not looked at
            {false, "2012.05.10 14:03:22 and more", "2012-5-10 14:3:22.0"},
            {false, "2012.13.10 99:03:22", "2012-13-10 99:3:22.0"},  // nothing is checked
            {false, "12", "12-0-0 0:0:0.0"},                         // missing pieces give 0
            {false, "2012.05.1", "2012-5-1 0:0:0.0"},
            {false, "", "0-0-0 0:0:0.0"},
            {true, "10.05.2012 14:03:22", "2012-5-10 14:3:22.0"},
            {true, "10-05-2012T14.03.22", "2012-5-10 14:3:22.0"},
            {true, " 9. 5.2012 x4:03:2", "2012-5-9 0:3:2.0"},
        };
        for (const Case& c : cases) {
            QTest::mouseClick(c.world ? clock->WorldButton() : clock->ChinaButton(), Qt::LeftButton);
            SetTyped(clock, c.typed);
            QCOMPARE(Fields(SentClock()), QString(c.sent));
        }
        // The link is closed: the request waits for its time-out; nothing went to a port.
        QVERIFY(frame->Engine().AwaitingReply());
        QVERIFY(!frame->Link().IsConnected());
    }

    void setFromThePcClockThenTypedKeepsMilliseconds() {
        CDlgTime* clock = OpenClock();
        clock->SystemTimeBox()->setText("garbage");
        clock->UsePcClockBox()->click();
        QVERIFY(clock->UsePcClock());
        pcNow = At(2040, 12, 31, 23, 59, 58, 321, 1);
        QTest::mouseClick(clock->SetButton(), Qt::LeftButton);
        // Plus the request's 26 bytes on the 57600-baud line: 4.5 ms.
        QCOMPARE(Fields(SentClock()), QString("2040-12-31 23:59:58.326"));
        QCOMPARE(frame->Engine().TimeToSet().dayOfWeek, 1);

        // Typed again: day of week and milliseconds stay from that reading.
        clock->UsePcClockBox()->click();
        SetTyped(clock, "2012.05.10 14:03:22");
        QCOMPARE(Fields(SentClock()), QString("2012-5-10 14:3:22.326"));
        QCOMPARE(frame->Engine().TimeToSet().dayOfWeek, 1);

        // Enter in the box is the Set button.
        clock->SystemTimeBox()->setText("2013.06.11 15:04:23");
        QTest::keyClick(clock->SystemTimeBox(), Qt::Key_Return);
        QCOMPARE(Fields(SentClock()), QString("2013-6-11 15:4:23.326"));
    }

    void pcTimeBoxFollowsTheClockWhileChecked() {
        CDlgTime* clock = OpenClock();
        clock->SystemTimeBox()->setText("typed");
        pcNow = At(2031, 2, 3, 4, 5, 7, 0);
        frame->OnTimer(3);
        QCOMPARE(clock->SystemTimeBox()->text(), QString("typed"));
        clock->UsePcClockBox()->click();
        frame->OnTimer(3);
        QCOMPARE(clock->SystemTimeBox()->text(), QString("2031.02.03 04:05:07"));
        // World: the box shows day.month.year from the next second on; typed boxes are not rewritten.
        QTest::mouseClick(clock->WorldButton(), Qt::LeftButton);
        QCOMPARE(clock->SystemTimeBox()->text(), QString("2031.02.03 04:05:07"));
        pcNow = At(2031, 2, 3, 4, 5, 8, 0);
        frame->OnTimer(3);
        QCOMPARE(clock->SystemTimeBox()->text(), QString("03.02.2031 04:05:08"));
    }

    void worldOrderReachesTheWholeProgram() {
        CDlgTime* clock = OpenClock();
        QTest::mouseClick(clock->WorldButton(), Qt::LeftButton);
        QCOMPARE(frame->Doc().DateOrder(), int(DateWorld));
        frame->OnTimer(2);
        QCOMPARE(doc->DateOrder(), int(DateWorld));
        clock->close();
        QCOMPARE(frame->Doc().DateOrder(), int(DateWorld));  // the order outlives the window

        // Device-time replies and event lines written afterwards use it too.
        clock = OpenClock();
        ClockFields c;
        c.year = 2012, c.month = 5, c.day = 10, c.hour = 8, c.minute = 15, c.second = 30, c.millisecond = 123;
        uint8_t payload[ClockPayloadSize];
        WriteClockPayload(payload, c);
        const std::vector<uint8_t> reply =
            test::ReplyFrame(CTRL_LAST, 0, FC_CLOCK, std::vector<uint8_t>(payload, payload + sizeof payload));
        frame->Engine().OnReceived(reply.data(), reply.size());
        QCOMPARE(clock->DeviceTimeBox()->text(), QString("10.05.2012 08:15:30"));
        // Years behind the PC read as days, hours, minutes and seconds.
        QCOMPARE(clock->OffsetLabel()->text(), QString("装置慢 6842 天 19 小时 49 分 37 秒"));

        doc->SetLanguage(LangEnglish);
        const std::vector<uint8_t> events =
            test::NewEventsReply({test::MakeEvent("IN1", 2012, 5, 10, 8, 15, 30, 123, true)});
        frame->Engine().OnReceived(events.data(), events.size());
        auto* window = qobject_cast<CInfoDlg*>(frame->eventWindow.data());
        QVERIFY(window);
        QCOMPARE(window->Text(),
                 std::string("Event：10.05.2012 08:15:30.123\r\n           IN1    Off->On\r\n"));

        // Back to China: the next reply and the next event follow.
        QTest::mouseClick(clock->ChinaButton(), Qt::LeftButton);
        frame->OnTimer(3);
        frame->Engine().OnReceived(reply.data(), reply.size());
        QCOMPARE(clock->DeviceTimeBox()->text(), QString("2012.05.10 08:15:30"));
        frame->Engine().OnReceived(events.data(), events.size());
        QVERIFY(window->Text().find("Event：2012.05.10 08:15:30.123\r\n") != std::string::npos);
    }

    void pollReadsTheClockWhileTheWindowIsOpen() {
        TestPty pty;
        frame->Link().settings.portName = pty.Path();
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(frame->Link().IsConnected());
        auto lastRequest = [this] {
            const std::span<const uint8_t> sent = frame->Engine().OutgoingFrame();
            const FrameHeader h = DecodeHeader(sent.data(), sent.size());
            return h.type == TYPE_READ ? int(h.function) : -1;
        };
        // An acknowledgement ends the wait, as if the request had been answered.
        auto answer = [this](uint8_t function) {
            uint8_t ack[MaxFrameSize];
            const std::size_t n = BuildFrame(ack, CTRL_SIMPLE, 0, 1, TYPE_ACK, function, nullptr, 0);
            frame->Engine().OnReceived(ack, n);
            QVERIFY(!frame->Engine().AwaitingReply());
        };
        frame->OnTimer(1);
        QCOMPARE(lastRequest(), int(FC_STATUS));
        answer(FC_STATUS);

        CDlgTime* clock = OpenClock();
        QVERIFY(frame->ClockWindowOpen());
        frame->OnTimer(1);
        QCOMPARE(lastRequest(), int(FC_CLOCK));
        answer(FC_CLOCK);

        QTest::keyClick(clock, Qt::Key_Escape);  // Esc closes like Quit
        QVERIFY(frame->clockWindow.isNull());
        QVERIFY(!frame->ClockWindowOpen());
        frame->OnTimer(1);
        QCOMPARE(lastRequest(), int(FC_STATUS));
    }

    void quitAndCloseBoxClearTheWindow() {
        QPointer<CDlgTime> clock = OpenClock();
        QTest::mouseClick(clock->QuitButton(), Qt::LeftButton);
        QVERIFY(frame->clockWindow.isNull());
        QTRY_VERIFY(clock.isNull());  // destroyed, not only hidden

        clock = OpenClock();
        clock->close();  // the close box
        QVERIFY(frame->clockWindow.isNull());
        QTRY_VERIFY(clock.isNull());
        // A device-time reply with no window changes nothing and does not fail.
        frame->ShowDeviceTime("2012.05.10 08:15:30");

        // Exit destroys an open window.
        clock = OpenClock();
        frame->RunCommand(CMainFrame::IdExit);
        QVERIFY(clock.isNull());
        QVERIFY(frame->clockWindow.isNull());
    }

    void enterOnQuitQuitsAndSendsNothing() {
        QPointer<CDlgTime> clock = OpenClock();
        clock->QuitButton()->setFocus();
        QTest::keyClick(clock->QuitButton(), Qt::Key_Return);
        QVERIFY(frame->clockWindow.isNull());
        QVERIFY(!frame->Engine().AwaitingReply());  // no clock frame went out
        // Set stays the default button: Enter elsewhere in the window sets the clock.
        clock = OpenClock();
        QVERIFY(clock->SetButton()->isDefault());
        QTest::keyClick(clock->UsePcClockBox(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(Fields(SentClock()), QString("2031-2-3 4:5:6.0"));
    }

    void readClockEntryAlone() {
        LocalTime t = At(1, 1, 1, 1, 1, 1, 555, 6);
        // Each piece is read on its own, sign included.
        ReadClockEntry("+201.-5.10 14:03:22", DateChina, t);
        QCOMPARE(t.year, 201);
        QCOMPARE(t.month, -5);
        QCOMPARE(t.millisecond, 555);
        QCOMPARE(t.dayOfWeek, 6);
        // A piece whose first character is the text's last gives that digit.
        ReadClockEntry("2012.05.10 14:03:2", DateChina, t);
        QCOMPARE(t.second, 2);
        ReadClockEntry("2012.05.10 14:03:", DateChina, t);
        QCOMPARE(t.second, 0);
        ReadClockEntry(QString(200, QLatin1Char('9')), DateWorld, t);
        QCOMPARE(t.year, 9999);
        QCOMPARE(t.day, 99);
    }
};

QTEST_MAIN(TestDialogsClock)
#include "tst_dialogs_clock.moc"
