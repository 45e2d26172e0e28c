// The serial dialog's port list on a hand-made system tree: stable by-id names with their tty
// and adapter, the list following adapters plugged and unplugged while the dialog is open,
// a chosen entry giving its port name; and the serial line kept in the settings file.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "fakes/fake_port_tree.h"
#include "link/comm_link.h"
#include "link/port_names.h"
#include "present/port_choices.h"
#include "ui/dialogs/commdlg.h"
#include "ui/frame/mainframe.h"
#include "ui/tst_dialogs_support.h"
#include "ui/ui_test_helper.h"

using namespace corvix;
using corvix::test::FakePortTree;
using corvix::test::ModalScript;

namespace {

const std::string FtdiId = "usb-FTDI_FT232R_USB_UART_A10KZP3X-if00-port0";
const QString FtdiPath = QString::fromStdString("/dev/serial/by-id/" + FtdiId);

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

}  // namespace

class TestDialogsPorts : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> treeDir;
    std::unique_ptr<FakePortTree> tree;
    std::unique_ptr<ModalScript> modal;

    std::string TreeRoot() const { return tree->Root().string(); }

    void SerialDialog(std::function<void(CCommDlg&)> answer) {
        modal->answers.push_back([answer](QDialog& d) {
            auto* dialog = qobject_cast<CCommDlg*>(&d);
            QVERIFY(dialog);
            answer(*dialog);
        });
        frame->RunCommand(CMainFrame::IdPcSerialPort);
    }

    void Plug() {
        tree->AddUsbAdapter("ttyUSB0", "1-2", "FTDI", "FT232R USB UART");
        tree->AddById(FtdiId, "ttyUSB0");
    }

  private slots:
    void init() {
        treeDir = std::make_unique<QTemporaryDir>();
        tree = std::make_unique<FakePortTree>(treeDir->path().toStdString());
        tree->AddBoardPort("ttyS0", 4);
        OpenFrame(true);
        frame->portRoot = TreeRoot();
        modal = std::make_unique<ModalScript>(*frame);
        frame->show();
    }

    void cleanup() {
        CloseFrame();
        modal.reset();
        tree.reset();
        treeDir.reset();
    }

    void listFollowsPluggingAndKeepsTheText() {
        bool ran = false;
        SerialDialog([&](CCommDlg& d) {
            ran = true;
            QCOMPARE(Items(d.PortBox()), QStringList({"/dev/ttyS0"}));
            d.PortBox()->lineEdit()->clear();
            QTest::keyClicks(d.PortBox()->lineEdit(), "tcp://host:4001");

            // by-id and its parent do not exist yet: the first adapter makes both.
            Plug();
            const QStringList plugged = {"/dev/ttyS0", "/dev/ttyUSB0 (FTDI FT232R USB UART)",
                                         FtdiPath + " → ttyUSB0 (FTDI FT232R USB UART)"};
            QTRY_COMPARE(Items(d.PortBox()), plugged);
            QCOMPARE(d.PortBox()->currentText(), QString("tcp://host:4001"));

            // udev may add a link well after the node: by-id is watched itself once it exists.
            const std::string later = "usb-FTDI_FT232R_USB_UART_B20E11-if00-port0";
            tree->AddById(later, "ttyUSB0");
            QTRY_COMPARE(Items(d.PortBox()).size(), 4);
            std::filesystem::remove(tree->Root() / "dev/serial/by-id" / later);
            QTRY_COMPARE(Items(d.PortBox()), plugged);

            // The entry shows more than the name it stands for.
            d.PortBox()->setCurrentIndex(2);
            QCOMPARE(d.PortBox()->currentText(), FtdiPath);

            // Unplugged: the node and the class entry go, then udev's link and folders.
            tree->RemoveNode("ttyUSB0");
            std::filesystem::remove_all(tree->Root() / "sys/class/tty/ttyUSB0");
            QTRY_COMPARE(Items(d.PortBox()), QStringList({"/dev/ttyS0"}));
            std::filesystem::remove_all(tree->Root() / "dev/serial");
            QCOMPARE(d.PortBox()->currentText(), FtdiPath);

            // Plugged again after the folders had gone: they are watched anew.
            tree->AddUsbAdapter("ttyUSB0", "1-2", "FTDI", "FT232R USB UART");
            QTRY_COMPARE(Items(d.PortBox()).size(), 2);
            tree->AddById(FtdiId, "ttyUSB0");
            QTRY_COMPARE(Items(d.PortBox()), plugged);
            d.OkButton()->click();
        });
        QVERIFY(ran);
        QCOMPARE(QString::fromStdString(frame->Link().settings.portName), FtdiPath);
    }

    void noPortInTheTreeShowsTheMessage() {
        std::filesystem::remove_all(tree->Root() / "sys/class/tty/ttyS0");
        frame->RunCommand(CMainFrame::IdPcSerialPort);
        QVERIFY(modal->captions.empty());
        QCOMPARE(ui->messages.size(), std::size_t(1));
        QCOMPARE(ui->messages[0].caption, std::string("串口设置"));
    }

    void settingsAreKeptForTheNextStart() {
        const QString file = settings->fileName();
        const SerialSettings defaults;
        QCOMPARE(frame->Link().settings.portName, defaults.portName);  // first run
        Plug();
        SerialDialog([](CCommDlg& d) {
            d.PortBox()->setCurrentIndex(2);
            d.BaudRateBox()->setEditText("115200");
            d.DataBitsBox()->setEditText("7");
            d.ParityBox()->setCurrentIndex(1);
            d.StopBitsBox()->setCurrentIndex(2);
            d.OkButton()->click();
        });
        auto nextStart = [&](QSettings& stored) {
            CBrondaleDoc doc2;
            test::ScriptedUserInterface ui2;
            CMainFrame again(doc2, ui2, &stored);
            return again.Link().settings;
        };
        QSettings reread(file, QSettings::IniFormat);
        SerialSettings kept = nextStart(reread);
        QCOMPARE(QString::fromStdString(kept.portName), FtdiPath);
        QCOMPARE(kept.baudRate, 115200);
        QCOMPARE(kept.dataBits, 7);
        QCOMPARE(kept.parity, int(ParityEven));
        QCOMPARE(kept.stopBits, int(StopBits2));

        // Cancel stores nothing.
        SerialDialog([](CCommDlg& d) {
            d.BaudRateBox()->setEditText("300");
            d.CancelButton()->click();
        });
        QSettings afterCancel(file, QSettings::IniFormat);
        QCOMPARE(nextStart(afterCancel).baudRate, 115200);

        // Values edited by hand: each unusable one falls back alone.
        QSettings edited(file, QSettings::IniFormat);
        edited.setValue("Serial/BaudRate", "fast");
        edited.setValue("Serial/DataBits", 9);
        edited.setValue("Serial/Parity", -1);
        edited.sync();
        kept = nextStart(edited);
        QCOMPARE(QString::fromStdString(kept.portName), FtdiPath);
        QCOMPARE(kept.baudRate, defaults.baudRate);
        QCOMPARE(kept.dataBits, defaults.dataBits);
        QCOMPARE(kept.parity, defaults.parity);
        QCOMPARE(kept.stopBits, int(StopBits2));
        edited.setValue("Serial/PortName", "");
        edited.setValue("Serial/StopBits", "1.5");
        edited.sync();
        kept = nextStart(edited);
        QCOMPARE(kept.portName, defaults.portName);
        QCOMPARE(kept.stopBits, defaults.stopBits);
    }
};

QTEST_MAIN(TestDialogsPorts)
#include "tst_dialogs_ports.moc"
