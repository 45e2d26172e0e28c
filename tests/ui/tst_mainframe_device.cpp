// SPDX-License-Identifier: Apache-2.0
// The main window against the simulated device on a pseudo-terminal: Read From Device and
// Write to Device through the tree's commands, the worker and the engine, and demo mode.
#include <QAccessible>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>

#include "devsim/sim_server.h"
#include "link/comm_link.h"
#include "link/engine.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/record.h"
#include "ui/dialogs/comminfownd.h"
#include "ui/frame/mainframe.h"
#include "ui/frame/startup.h"
#include "fakes/loopback_listener.h"
#include "ui/ui_test_helper.h"
#include "ui/views/maclistview.h"
#include "ui/views/macview.h"

using namespace corvix;
using corvix::test::Generous;

class TestMainFrameDevice : public QObject, private corvix::test::DeviceFixture {
    Q_OBJECT

  private:
    void StartDevice(int address) {
        sim::SimOptions options;
        options.device.address = address;
        options.changeEveryMs = 0;  // inputs change only when a test says so
        StartServer(options);
    }

    void SelectDevice(int index) {
        QTreeWidgetItem* node = frame->Tree()->FindNode(KindDeviceFirst + index);
        QVERIFY(node);
        frame->Tree()->setCurrentItem(node);
        QCOMPARE(doc->CurrentDeviceId(), KindDeviceFirst + index);
    }

  private slots:
    void init() {
        OpenFrame();
        frame->show();
    }

    void cleanup() { CloseFrameAndDevice(); }

    void readFromDeviceStoresTheImageByAddress() {
        StartDevice(5);
        frame->RunCommand(CMainFrame::IdNewProject);
        // Three devices: two with the device's address, one with another.
        ui->names.push_back(Utf8ToGbk("second"));
        ui->names.push_back(Utf8ToGbk("third"));
        frame->Tree()->setCurrentItem(frame->Tree()->topLevelItem(0));
        frame->Tree()->RunCommand(CMacView::CmdAddDevice);
        frame->Tree()->setCurrentItem(frame->Tree()->topLevelItem(0));
        frame->Tree()->RunCommand(CMacView::CmdAddDevice);
        doc->Device(0).address = 5;
        doc->Device(1).address = 7;
        doc->Device(2).address = 5;
        const DeviceRecord untouched = doc->Device(1);
        Connect();
        frame->RunCommand(CMainFrame::IdConnectionBar);

        SelectDevice(2);
        frame->Tree()->RunCommand(CMacView::CmdReadFromDevice);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->Engine().TransferBusy(), Generous);
        QCOMPARE(frame->windowTitle(), QString("Corvix-装置中的配置 - "));
        const sim::ConfigImage image = server->Device().Image();
        QVERIFY(std::memcmp(&doc->Device(0), image.data(), ConfigImageSize) == 0);
        QVERIFY(std::memcmp(&doc->Device(2), image.data(), ConfigImageSize) == 0);
        QVERIFY(std::memcmp(&doc->Device(1), &untouched, sizeof untouched) == 0);
        QVERIFY(ui->messages.empty());
        // Every frame on the wire went through the bar: requests and replies.
        const QString log = frame->CommBar()->Text();
        QVERIFY(log.contains("send-->repeat=0"));
        QVERIFY(log.contains("receive<--"));
        QVERIFY(frame->Link().IsConnected());
    }

    void closingAfterAReadFromTheDeviceAsks() {
        StartDevice(1);
        frame->RunCommand(CMainFrame::IdNewProject);
        doc->Device(0).address = 1;
        QVERIFY(!doc->HasUnsavedChanges());
        Connect();
        SelectDevice(0);
        frame->Tree()->RunCommand(CMacView::CmdReadFromDevice);
        QTRY_VERIFY_WITH_TIMEOUT(frame->Engine().Idle(), Generous);
        QVERIFY(doc->HasUnsavedChanges());

        ui->saveChoices.push_back(ui::SaveChoice::Cancel);
        QVERIFY(!frame->close());
        QVERIFY(frame->isVisible());
        QCOMPARE(ui->saveChangesAsked, 1);
        ui->saveChoices.push_back(ui::SaveChoice::Discard);
        QVERIFY(frame->close());
        QCOMPARE(ui->saveChangesAsked, 2);
        QCOMPARE(ui->saveAsked, 0);
    }

    void writeToDeviceIsAcknowledgedToTheEnd() {
        StartDevice(1);
        frame->RunCommand(CMainFrame::IdNewProject);
        frame->RunCommand(CMainFrame::IdLanguage);  // English: "Write Data Success" / "Corvix"
        CopyTextField(doc->Device(0).name, DeviceNameSize, "written");
        doc->Device(0).timeSync = TimeSyncNone;
        Connect();
        SelectDevice(0);
        frame->Tree()->RunCommand(CMacView::CmdWriteToDevice);
        QVERIFY(frame->Engine().TransferBusy());
        QTRY_COMPARE_WITH_TIMEOUT(ui->messages.size(), std::size_t(1), Generous);
        QCOMPARE(ui->messages[0].text, std::string("Write Data Success"));
        QCOMPARE(ui->messages[0].caption, std::string("Corvix"));
        QVERIFY(!frame->Engine().TransferBusy());
        const sim::ConfigImage image = server->Device().Image();
        QVERIFY(std::memcmp(&doc->Device(0), image.data(), ConfigImageSize) == 0);
    }

    void writeReportsInChinese() {
        StartDevice(1);
        frame->RunCommand(CMainFrame::IdNewProject);
        Connect();
        SelectDevice(0);
        frame->Tree()->RunCommand(CMacView::CmdWriteToDevice);
        QTRY_COMPARE_WITH_TIMEOUT(ui->messages.size(), std::size_t(1), Generous);
        QCOMPARE(ui->messages[0].text, std::string("配置写入成功"));
        QCOMPARE(ui->messages[0].caption, std::string("通讯提示"));
    }

    void silentDeviceIsGivenUp() {
        StartDevice(1);
        sim::FaultSwitches faults;
        faults.silent = true;
        server->SetFaults(faults);
        frame->RunCommand(CMainFrame::IdNewProject);
        frame->RunCommand(CMainFrame::IdConnectionBar);
        Connect();
        SelectDevice(0);
        frame->Tree()->RunCommand(CMacView::CmdReadFromDevice);
        // Ticks driven here; the worker's "sent" notices arrive through the event loop.
        for (int send = 0; send < 4; ++send) {
            const QString header = QString("send-->repeat=%1").arg(send);
            QTRY_VERIFY_WITH_TIMEOUT(frame->CommBar()->Text().contains(header), Generous);
            for (int tick = 0; tick < 4; ++tick) frame->OnTimer(3);
        }
        QCOMPARE(ui->MessageTexts(), std::vector<std::string>{"串口不通!"});
        QVERIFY(!frame->Link().IsConnected());
        QVERIFY(!frame->Engine().TransferBusy());
        // The pane follows at the next second.
        frame->OnTimer(3);
        QCOMPARE(frame->StatusPane()->text(), QString("Off"));
        QCOMPARE(ui->messages.size(), std::size_t(1));
    }

    void demoConnectsToItsDevice() {
        std::string error;
        std::unique_ptr<ui::DemoSession> demo = ui::DemoSession::Start(*frame, &error);
        QVERIFY2(demo, error.c_str());
        QVERIFY(frame->Link().IsConnected());
        QCOMPARE(frame->Link().settings.portName, demo->DevicePath());
        QCOMPARE(doc->Project().deviceCount, 1);
        QCOMPARE(int(doc->Device(0).address), ui::DemoSession::DeviceAddress);
        QCOMPARE(frame->Tree()->topLevelItemCount(), 1);
        QVERIFY(!frame->Action(CMainFrame::IdConnect)->isEnabled());
        // It opens on the device's input states: its node expanded, the status page listed.
        const QTreeWidgetItem* current = frame->Tree()->currentItem();
        QCOMPARE(CMacView::NodeCode(current), int(KindInputStatus));
        QCOMPARE(CMacView::NodeCode(current->parent()), int(KindDeviceFirst));
        QVERIFY(current->parent()->isExpanded());
        QVERIFY(current->isSelected());
        QCOMPARE(frame->List()->ShownPage(), int(KindInputStatus));
        QVERIFY(frame->List()->rowCount() > 0);
        // A poll is answered: the firmware version arrives from the device.
        frame->OnTimer(1);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->Engine().AwaitingReply(), Generous);
        QVERIFY(doc->FirmwareVersion()[0] != 0 || doc->FirmwareVersion()[1] != 0 || doc->FirmwareVersion()[2] != 0);
        frame->RunCommand(CMainFrame::IdDisconnect);
        demo.reset();
    }

    void lostLinkWaitsInThePaneAndComesBack() {
        QTemporaryDir links;  // the device's port under a name that outlives the device
        sim::SimOptions options;
        options.linkPath = links.filePath("usb-adapter-port0").toStdString();
        StartServer(options);
        frame->Link().settings.portName = options.linkPath;
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(frame->Session().Reconnect());  // on by default
        QLabel* pane = frame->StatusPane();
        // A screen reader hears the pane's text; what the pane is stays as its description.
        auto spoken = [pane] {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(pane);
            return a->text(QAccessible::Name) + "|" + a->text(QAccessible::Description);
        };
        for (bool back : {true, false}) {
            server->Stop();
            QTRY_VERIFY_WITH_TIMEOUT(frame->Session().WaitingForPort(), Generous);
            QVERIFY(pane->text().contains(QString::fromStdString(options.linkPath)) &&
                    !pane->text().startsWith("On"));
            QCOMPARE(spoken(), pane->text() + "|串口状态");
            QVERIFY(frame->Action(CMainFrame::IdDisconnect)->isEnabled());
            if (!back) break;
            StartServer(options);  // back under the same name: reopened and polled
            QTRY_VERIFY_WITH_TIMEOUT(server->Stats().replies > 0, Generous);
            QVERIFY(pane->text().startsWith("On  "));
        }
        frame->RunCommand(CMainFrame::IdDisconnect);  // ends the wait
        QCOMPARE(spoken(), "Off|串口状态");
        QVERIFY(frame->Action(CMainFrame::IdConnect)->isEnabled() && ui->messages.empty());
    }

    void serialServerIsOpenedWithoutHoldingTheWindow() {
        // A server that takes connections and never answers the RFC 2217 offer.
        test::LoopbackListener server;
        QVERIFY(server.Ok());
        const std::string where = server.Where();
        frame->Link().settings.portName = "rfc2217://" + where;
        frame->RunCommand(CMainFrame::IdConnect);
        // Back at once, the server still silent: the pane says so and Disconnect would stop it.
        QCOMPARE(frame->StatusPane()->text(), QString::fromStdString("正在连接 rfc2217://" + where + "…"));
        QVERIFY(!frame->Action(CMainFrame::IdConnect)->isEnabled());
        QVERIFY(frame->Action(CMainFrame::IdDisconnect)->isEnabled());
        // Its silence ends in the open error, as any port that cannot be opened.
        QTRY_VERIFY_WITH_TIMEOUT(!ui->messages.empty(), Generous);
        QCOMPARE(frame->StatusPane()->text(), "Off");
        QVERIFY(frame->Action(CMainFrame::IdConnect)->isEnabled());

        // A raw TCP server is open as soon as the connection is.
        ui->messages.clear();
        frame->Link().settings.portName = "tcp://" + where;
        frame->RunCommand(CMainFrame::IdConnect);
        QTRY_VERIFY_WITH_TIMEOUT(frame->Link().IsConnected(), Generous);
        QVERIFY(frame->StatusPane()->text().startsWith(QString::fromStdString("On  tcp://" + where)));
        QVERIFY(ui->messages.empty() && frame->Action(CMainFrame::IdDisconnect)->isEnabled());
        frame->RunCommand(CMainFrame::IdDisconnect);
    }
};

QTEST_MAIN(TestMainFrameDevice)
#include "tst_mainframe_device.moc"
