// SPDX-License-Identifier: Apache-2.0
// The serial dialog on a hand-made system tree: the port list follows adapters plugged and
// unplugged while it is open, a stable entry gives its by-id name, and the confirmed line
// is the next start's (each unusable stored value falling back alone).
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "fakes/fake_port_tree.h"
#include "link/comm_link.h"
#include "link/link_session.h"
#include "ui/dialogs/commdlg.h"
#include "ui/tst_dialogs_support.h"
#include "fakes/loopback_listener.h"
#include "ui/ui_test_helper.h"

using namespace corvix;

class TestDialogsPorts : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT
    SerialSettings NextStart() {  // a new window on the settings file as it stands
        CBrondaleDoc doc2;
        test::ScriptedUserInterface ui2;
        QSettings stored(settings->fileName(), QSettings::IniFormat);
        return CMainFrame(doc2, ui2, &stored).Link().settings;
    }

  private slots:
    void cleanup() { CloseFrame(); }

    void listFollowsPluggingAndTheLineIsKept() {
        OpenFrame(true);
        const std::filesystem::path root = dir->filePath("root").toStdString();
        test::AddTty(root, "ttyS0");
        frame->portRoot = root.string();
        test::ModalScript modal(*frame);
        const QString byId = "/dev/serial/by-id/usb-FTDI_A1-if00-port0";
        modal.answers.push_back([&](QDialog& dialog) {
            auto& d = static_cast<CCommDlg&>(dialog);
            QCOMPARE(d.PortBox()->count(), 1);
            d.PortBox()->lineEdit()->setText("tcp://host:4001");
            test::AddTty(root, "ttyUSB0", "1-2", "FTDI", "FT232R");  // by-id and its folder are new
            test::AddById(root, "usb-FTDI_A1-if00-port0", "ttyUSB0");
            QTRY_COMPARE(d.PortBox()->count(), 3);
            QCOMPARE(d.PortBox()->itemText(2), byId + " → ttyUSB0 (FTDI FT232R)");
            QCOMPARE(d.PortBox()->currentText(), QString("tcp://host:4001"));  // typed text stays
            test::AddById(root, "usb-FTDI_B2-if00-port0", "ttyUSB0");          // a link alone, later
            QTRY_COMPARE(d.PortBox()->count(), 4);
            std::filesystem::remove(root / "dev/ttyUSB0");  // unplugged; udev's links linger
            std::filesystem::remove_all(root / "sys/class/tty/ttyUSB0");
            QTRY_COMPARE(d.PortBox()->count(), 1);
            test::AddTty(root, "ttyUSB1", "1-2", "FTDI", "FT232R");  // plugged again, a new tty
            std::filesystem::remove_all(root / "dev/serial");
            test::AddById(root, "usb-FTDI_A1-if00-port0", "ttyUSB1");
            QTRY_COMPARE(d.PortBox()->count(), 3);
            d.PortBox()->setCurrentIndex(2);
            d.BaudRateBox()->setEditText("115200");
            d.ParityBox()->setCurrentIndex(ParityEven);
            d.StopBitsBox()->setCurrentIndex(StopBits2);
            d.OkButton()->click();
        });
        QCOMPARE(frame->Link().settings.portName, SerialSettings().portName);  // first run
        frame->RunCommand(CMainFrame::IdPcSerialPort);
        QCOMPARE(QString::fromStdString(frame->Link().settings.portName), byId);

        SerialSettings kept = NextStart();
        QCOMPARE(QString::fromStdString(kept.portName), byId);
        QCOMPARE(kept.baudRate, 115200);
        QCOMPARE(kept.parity, int(ParityEven));
        QCOMPARE(kept.stopBits, int(StopBits2));
        settings->setValue("Serial/BaudRate", "fast");
        settings->setValue("Serial/StopBits", "1.5");
        settings->setValue("Serial/DataBits", 9);
        settings->sync();
        kept = NextStart();
        QCOMPARE(kept.baudRate, SerialSettings().baudRate);
        QCOMPARE(kept.stopBits, SerialSettings().stopBits);
        QCOMPARE(kept.dataBits, SerialSettings().dataBits);
        QCOMPARE(kept.parity, int(ParityEven));
    }

    void serialServerChosenWhileConnectedOpensInTheBackground() {
        OpenFrame(true);
        test::LoopbackListener server;
        QVERIFY(server.Ok());
        frame->portRoot = dir->filePath("root").toStdString();
        test::AddTty(frame->portRoot, "ttyS0");
        frame->Link().settings.portName = "tcp://" + server.Where();
        frame->RunCommand(CMainFrame::IdConnect);
        QTRY_VERIFY(frame->Link().IsConnected());
        test::ModalScript modal(*frame);
        modal.answers.push_back([&](QDialog& dialog) {
            auto& d = static_cast<CCommDlg&>(dialog);
            d.PortBox()->lineEdit()->setText(QString::fromStdString("rfc2217://" + server.Where()));
            d.OkButton()->click();
        });
        frame->RunCommand(CMainFrame::IdPcSerialPort);
        // Back before the silent server could answer; Disconnect ends the attempt.
        QVERIFY(frame->Session().Connecting() && !frame->Link().IsConnected());
        QVERIFY(frame->StatusPane()->text().endsWith(QString::fromStdString("rfc2217://" + server.Where() + "…")));
        frame->RunCommand(CMainFrame::IdDisconnect);
        QVERIFY(!frame->Session().Connecting());
        QCOMPARE(frame->StatusPane()->text(), "Off");
        QVERIFY(ui->messages.empty());
    }
};

QTEST_MAIN(TestDialogsPorts)
#include "tst_dialogs_ports.moc"
