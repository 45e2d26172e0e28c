// SPDX-License-Identifier: Apache-2.0
// The clock and event windows against the simulated device on a pseudo-terminal: the
// device's running time in the clock window, "Set" from the PC clock, and new events from
// the device's inputs written into the event window.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <memory>

#include "devsim/sim_server.h"
#include "link/comm_link.h"
#include "link/engine.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "ui/dialogs/dlgtime.h"
#include "ui/dialogs/infodlg.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"

using namespace corvix;
using corvix::test::Generous;

class TestDialogsDevice : public QObject, private corvix::test::DeviceFixture {
    Q_OBJECT

  private:
    // The device's own PC clock stands still, so its time is what was last set.
    void StartDevice(const ClockFields& deviceTime) {
        sim::SimOptions options;
        options.changeEveryMs = 0;
        StartServer(options);
        const int64_t frozen = sim::CivilMsFromFields(deviceTime);
        server->Device().SetPcClock([frozen] { return frozen; });
        Connect();
    }

    // One poll tick, then wait until its answer has been dealt with.
    void PollOnce() {
        frame->OnTimer(1);
        QVERIFY(frame->Engine().AwaitingReply());
        QTRY_VERIFY_WITH_TIMEOUT(!frame->Engine().AwaitingReply() && !frame->Engine().TransferBusy(), Generous);
    }

  private slots:
    void init() {
        OpenFrame();
        frame->show();
        frame->RunCommand(CMainFrame::IdNewProject);
    }

    void cleanup() { CloseFrameAndDevice(); }

    void clockWindowShowsAndSetsTheDeviceTime() {
        ClockFields start;
        start.year = 2024, start.month = 7, start.day = 15, start.hour = 9, start.minute = 30,
        start.second = 45;
        StartDevice(start);
        frame->RunCommand(CMainFrame::IdInternalClock);
        auto* clock = qobject_cast<CDlgTime*>(frame->clockWindow.data());
        QVERIFY(clock);
        PollOnce();
        QCOMPARE(clock->DeviceTimeBox()->text(), QString("2024.07.15 09:30:45"));

        // From the PC clock, milliseconds included.
        LocalTime pc;
        pc.year = 2030, pc.month = 1, pc.day = 2, pc.hour = 3, pc.minute = 4, pc.second = 5,
        pc.millisecond = 678;
        frame->localClock = [pc] { return pc; };
        clock->UsePcClockBox()->click();
        clock->SetButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!frame->Engine().AwaitingReply(), Generous);
        const ClockFields now = server->Device().DeviceTime();
        QCOMPARE(now.year, 2030);
        QCOMPARE(now.month, 1);
        QCOMPARE(now.day, 2);
        QCOMPARE(now.hour, 3);
        QCOMPARE(now.minute, 4);
        QCOMPARE(now.second, 5);
        QCOMPARE(now.millisecond, 683);  // plus the request's 4.5 ms on the 57600-baud line

        // The next reading shows it, in the World order once chosen.
        clock->WorldButton()->click();
        frame->OnTimer(3);
        PollOnce();
        QCOMPARE(clock->DeviceTimeBox()->text(), QString("02.01.2030 03:04:05"));

        // A typed time.
        clock->UsePcClockBox()->click();
        clock->SystemTimeBox()->setText("31.12.2029 23:59:58");
        clock->SetButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!frame->Engine().AwaitingReply(), Generous);
        QCOMPARE(server->Device().DeviceTime().year, 2029);
        QCOMPARE(server->Device().DeviceTime().second, 58);
        QVERIFY(ui->messages.empty());
    }

    void newEventsFromTheDeviceFillTheEventWindow() {
        ClockFields start;
        start.year = 2024, start.month = 7, start.day = 15, start.hour = 9, start.minute = 30,
        start.second = 45;
        StartDevice(start);
        QVERIFY(server->Device().SetInput(2, true));
        PollOnce();  // status with the new-events flag, then the events
        auto* window = qobject_cast<CInfoDlg*>(frame->eventWindow.data());
        QVERIFY(window);
        QVERIFY(window->isVisible());
        const std::string name = GbkToUtf8(server->Device().Designation(2));
        QCOMPARE(window->Text(), "事件：2024.07.15 09:30:45.000\r\n           " + name + "    分->合\r\n");

        // Hidden with No Eject: the next events are written but the window stays hidden.
        window->NoEjectBox()->click();
        window->HideButton()->click();
        QVERIFY(server->Device().SetInput(2, false));
        PollOnce();
        QVERIFY(!window->isVisible());
        QVERIFY(window->Text().find("    合->分\r\n") != std::string::npos);
        QCOMPARE(frame->eventWindowVisible, 0);
    }
};

QTEST_MAIN(TestDialogsDevice)
#include "tst_dialogs_device.moc"
