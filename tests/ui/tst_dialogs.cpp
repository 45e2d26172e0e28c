// SPDX-License-Identifier: Apache-2.0
// The modal dialogs through the main window's commands: PC serial port settings (lists,
// texts read back, parity on the line, reopening on a new port, no port at all), the
// service command with its password and device information, and the user guide.
#include <termios.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <cstring>
#include <memory>

#include "link/comm_link.h"
#include "fakes/fake_serial_port.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "ui/dialogs/commdlg.h"
#include "ui/dialogs/dlgmacinfo.h"
#include "ui/dialogs/pwdlg.h"
#include "ui/dialogs/sysmdlg.h"
#include "ui/frame/mainframe.h"
#include "ui/tst_dialogs_support.h"
#include "ui/ui_test_helper.h"

using namespace corvix;
using corvix::test::ModalScript;
using corvix::test::TestPty;

namespace {

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

void TypeInto(QComboBox* box, const QString& text) {
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), text);
}

// The system's port, remembering the line flags of its last programming.
class RecordingPort : public PosixSerialPort {
  public:
    bool Configure(const SerialSettings& settings) override {
        termios t{};
        if (tcgetattr(PollFd(), &t) == 0 && BuildLineSettings(settings, t)) programmed = t.c_cflag;
        return PosixSerialPort::Configure(settings);
    }
    tcflag_t programmed = 0;
};

template <typename T>
T* As(QDialog& dialog) {
    T* typed = qobject_cast<T*>(&dialog);
    if (!typed) qFatal("unexpected dialog %s", dialog.metaObject()->className());
    return typed;
}

// Joined page texts of the user guide, selected through its tree.
QString SelectTopic(CSYSMDlg& guide, int topic) {
    QTreeWidgetItem* root = guide.Tree()->topLevelItem(0);
    QTreeWidgetItem* item = root;
    for (int i = 0; i < root->childCount(); ++i)
        if (root->child(i)->data(0, Qt::UserRole).toInt() == topic) item = root->child(i);
    guide.Tree()->setCurrentItem(item);
    return guide.TextBox()->toPlainText();
}

}  // namespace

class TestDialogs : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

  private:
    std::unique_ptr<ModalScript> modal;
    std::vector<std::string> ports;

    void OfferPorts(std::vector<std::string> names) {
        ports = std::move(names);
        frame->enumeratePorts = [this](std::vector<std::string>& out) {
            out = ports;
            return static_cast<int>(out.size());
        };
    }

    // Runs PC Serial Port with one answer.
    void SerialDialog(std::function<void(CCommDlg&)> answer) {
        modal->answers.push_back([answer](QDialog& d) { answer(*As<CCommDlg>(d)); });
        frame->RunCommand(CMainFrame::IdPcSerialPort);
    }

    // Ctrl+Shift+P on the main window; the service command runs from the event loop.
    void ServiceKey() {
        QShortcut* service = nullptr;
        for (QShortcut* shortcut : frame->findChildren<QShortcut*>())
            if (shortcut->key() == QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P)) service = shortcut;
        QVERIFY(service);
        const std::size_t before = modal->captions.size();
        emit service->activated();
        QTRY_VERIFY(modal->captions.size() > before);
        QCoreApplication::processEvents();
    }

    static int LineFlags(int fd) {
        termios t{};
        if (tcgetattr(fd, &t) != 0) return -1;
        return static_cast<int>(t.c_cflag);
    }

  private slots:
    void init() {
        OpenFrame();
        modal = std::make_unique<ModalScript>(*frame);
        frame->show();
        OfferPorts({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"});
    }

    void cleanup() {
        CloseFrame();
        modal.reset();
    }

    // ---- PC serial port ----

    void serialDialogShowsTheSettingsAndLists() {
        for (int lang : {LangChinese, LangEnglish}) {
            doc->SetLanguage(lang);
            bool ran = false;
            SerialDialog([&](CCommDlg& d) {
                ran = true;
                QCOMPARE(d.PortBox()->currentText(), QString("/dev/ttyS0"));
                QCOMPARE(d.BaudRateBox()->currentText(), QString("57600"));
                QCOMPARE(d.DataBitsBox()->currentText(), QString("8"));
                // Typed texts, not list choices.
                QCOMPARE(d.PortBox()->currentIndex(), -1);
                QCOMPARE(d.BaudRateBox()->currentIndex(), -1);
                QCOMPARE(d.ParityBox()->currentText(), QString("NONE"));
                QCOMPARE(d.StopBitsBox()->currentText(), QString("1"));
                QCOMPARE(Items(d.PortBox()), QStringList({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"}));
                QCOMPARE(Items(d.BaudRateBox()), QStringList({"300", "600", "1200", "2400", "4800", "9600",
                                                              "14400", "19200", "38400", "57600", "115200"}));
                QCOMPARE(Items(d.DataBitsBox()), QStringList({"5", "6", "7", "8"}));
                QCOMPARE(Items(d.ParityBox()), QStringList({"NONE", "EVEN", "ODD"}));
                QCOMPARE(Items(d.StopBitsBox()), QStringList({"1", "1.5", "2"}));
                QVERIFY(d.PortBox()->isEditable());
                QVERIFY(d.BaudRateBox()->isEditable());
                QVERIFY(d.DataBitsBox()->isEditable());
                QVERIFY(!d.ParityBox()->isEditable());
                QVERIFY(!d.StopBitsBox()->isEditable());
                const bool en = lang == LangEnglish;
                QCOMPARE(d.windowTitle(), QString(en ? "PC Serial Port Parameters" : "串口设置"));
                QCOMPARE(d.OkButton()->text(), QString(en ? "OK" : "确认"));
                QCOMPARE(d.CancelButton()->text(), QString(en ? "CANCEL" : "取消"));
                QStringList labels;
                for (QLabel* label : d.findChildren<QLabel*>()) labels << label->text();
                const QStringList expected =
                    en ? QStringList{"PC Port", "Baud Rate", "Data Bits", "Parity", "Stop Bits"}
                       : QStringList{"端口号", "波特率", "数据位", "校验方式", "停止位"};
                QCOMPARE(labels, expected);
                QCOMPARE(d.ParityBox()->accessibleName(), expected[3]);
                // Change everything, then cancel.
                TypeInto(d.BaudRateBox(), "9600");
                d.ParityBox()->setCurrentIndex(2);
                d.CancelButton()->click();
            });
            QVERIFY(ran);
        }
        const SerialSettings defaults;
        QCOMPARE(frame->Link().settings.baudRate, defaults.baudRate);
        QCOMPARE(frame->Link().settings.parity, defaults.parity);
        QCOMPARE(frame->Link().settings.portName, defaults.portName);
    }

    void serialDialogReadsTypedNumbers() {
        SerialDialog([](CCommDlg& d) {
            TypeInto(d.BaudRateBox(), "1234");
            TypeInto(d.DataBitsBox(), " 7 bits");
            d.OkButton()->click();
        });
        QCOMPARE(frame->Link().settings.baudRate, 1234);
        QCOMPARE(frame->Link().settings.dataBits, 7);
        SerialDialog([](CCommDlg& d) {
            // The last OK's values come back into the boxes.
            QCOMPARE(d.BaudRateBox()->currentText(), QString("1234"));
            QCOMPARE(d.DataBitsBox()->currentText(), QString("7"));
            TypeInto(d.BaudRateBox(), "abc");
            TypeInto(d.DataBitsBox(), "-5");
            d.OkButton()->click();
        });
        QCOMPARE(frame->Link().settings.baudRate, 0);
        QCOMPARE(frame->Link().settings.dataBits, -5);
        // A prefix of a list item stays what was typed.
        SerialDialog([](CCommDlg& d) {
            TypeInto(d.BaudRateBox(), "96");
            d.OkButton()->click();
        });
        QCOMPARE(frame->Link().settings.baudRate, 96);
        QCOMPARE(frame->Link().settings.portName, SerialSettings().portName);
    }

    void parityAndStopBitsReachTheLine() {
        TestPty pty;
        QVERIFY(!pty.Path().empty());
        // The real port on the pty, noting the line flags it hands to the kernel: a Linux pty
        // keeps the stop bits but always reports no parity, so parity is checked there.
        auto port = std::make_shared<RecordingPort>();
        frame->Link().SetPortFactory([port] { return port; });
        frame->Link().settings.portName = pty.Path();
        SerialDialog([](CCommDlg& d) {
            d.ParityBox()->setCurrentIndex(1);  // EVEN
            d.StopBitsBox()->setCurrentIndex(2);
            d.OkButton()->click();
        });
        QCOMPARE(frame->Link().settings.parity, int(ParityEven));
        QCOMPARE(frame->Link().settings.stopBits, int(StopBits2));
        QVERIFY(!frame->Link().IsConnected());  // nothing opened by the dialog
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(frame->Link().IsConnected());
        QVERIFY(port->programmed & PARENB);
        QVERIFY(!(port->programmed & PARODD));
        QVERIFY(LineFlags(pty.Master()) & CSTOPB);
        frame->RunCommand(CMainFrame::IdDisconnect);

        SerialDialog([](CCommDlg& d) {
            QCOMPARE(d.ParityBox()->currentText(), QString("EVEN"));
            QCOMPARE(d.StopBitsBox()->currentText(), QString("2"));
            d.ParityBox()->setCurrentIndex(2);  // ODD
            d.StopBitsBox()->setCurrentIndex(0);
            d.OkButton()->click();
        });
        QCOMPARE(frame->Link().settings.parity, int(ParityOdd));
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(frame->Link().IsConnected());
        QVERIFY(port->programmed & PARENB);
        QVERIFY(port->programmed & PARODD);
        QVERIFY(!(LineFlags(pty.Master()) & CSTOPB));
    }

    void portChangeWhileConnectedReopens() {
        TestPty first, second;
        frame->Link().settings.portName = first.Path();
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(frame->Link().IsConnected());

        // A new baud rate alone leaves the open line as it is.
        SerialDialog([](CCommDlg& d) {
            TypeInto(d.BaudRateBox(), "9600");
            d.OkButton()->click();
        });
        termios t{};
        QCOMPARE(tcgetattr(first.Master(), &t), 0);
        QCOMPARE(cfgetospeed(&t), speed_t(B57600));
        QVERIFY(frame->StatusPane()->text().contains(QString::fromStdString(first.Path())));

        // A new port name moves the link at once, with the new rate.
        SerialDialog([&](CCommDlg& d) {
            TypeInto(d.PortBox(), QString::fromStdString(second.Path()));
            d.OkButton()->click();
        });
        QCOMPARE(frame->Link().settings.portName, second.Path());
        QVERIFY(frame->Link().IsConnected());
        QCOMPARE(tcgetattr(second.Master(), &t), 0);
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QVERIFY(frame->StatusPane()->text().contains(QString::fromStdString(second.Path())));
        QVERIFY(ui->messages.empty());

        // A port that cannot be opened: the link stays closed and the user is told.
        SerialDialog([](CCommDlg& d) {
            TypeInto(d.PortBox(), "/nonexistent/ttyX");
            d.OkButton()->click();
        });
        QVERIFY(!frame->Link().IsConnected());
        QCOMPARE(ui->MessageTexts(), std::vector<std::string>{"串口无法打开"});
        QCOMPARE(frame->StatusPane()->text(), QString("Off"));

        // Not connected: a new name is only stored.
        SerialDialog([&](CCommDlg& d) {
            d.PortBox()->setCurrentIndex(1);
            d.OkButton()->click();
        });
        QCOMPARE(frame->Link().settings.portName, std::string("/dev/ttyS1"));
        QVERIFY(!frame->Link().IsConnected());
        QCOMPARE(ui->messages.size(), std::size_t(1));
    }

    void refusedPortSaysHowToGetAccess() {
        // The first port opens; the new one is refused for lack of rights.
        auto opened = std::make_shared<FakeSerialPort>();
        auto refused = std::make_shared<FakeSerialPort>();
        refused->FailOpen(EACCES);
        std::vector<std::shared_ptr<SerialPort>> factory = {opened, refused};
        frame->Link().SetPortFactory([&factory] {
            std::shared_ptr<SerialPort> next = factory.front();
            if (factory.size() > 1) factory.erase(factory.begin());
            return next;
        });
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(frame->Link().IsConnected());
        doc->SetLanguage(LangEnglish);
        SerialDialog([](CCommDlg& d) {
            TypeInto(d.PortBox(), "/nonexistent/ttyUSB7");
            d.OkButton()->click();
        });
        QVERIFY(!frame->Link().IsConnected());
        QCOMPARE(refused->OpenedPath(), std::string("/nonexistent/ttyUSB7"));
        QCOMPARE(ui->messages.size(), std::size_t(1));
        const std::string& text = ui->messages[0].text;
        QVERIFY2(text.rfind("Can not open serial port", 0) == 0, text.c_str());
        QVERIFY2(text.find("dialout") != std::string::npos, text.c_str());
        QVERIFY2(text.find("log in again") != std::string::npos, text.c_str());
    }

    void noPortShowsTheMessageAndNoDialog() {
        OfferPorts({});
        frame->RunCommand(CMainFrame::IdPcSerialPort);
        frame->enumeratePorts = [](std::vector<std::string>&) { return -1; };  // no port list at all
        doc->SetLanguage(LangEnglish);
        frame->RunCommand(CMainFrame::IdPcSerialPort);
        QVERIFY(modal->captions.empty());
        QCOMPARE(ui->messages.size(), std::size_t(2));
        QCOMPARE(ui->messages[0].text, std::string("没有可使用的串口"));
        QCOMPARE(ui->messages[0].caption, std::string("串口设置"));
        QCOMPARE(ui->messages[1].text, std::string("no serial port can be used"));
        QCOMPARE(ui->messages[1].caption, std::string("Serial Port Set"));
        QCOMPARE(frame->Link().settings.portName, SerialSettings().portName);
    }

    // ---- service command ----

    void servicePasswordIsCaseSensitive() {
        frame->RunCommand(CMainFrame::IdNewProject);
        DeviceRecord& device = doc->CurrentDevice();
        CopyTextField(device.deviceType, DeviceTypeSize, "OLD");
        for (const char* wrong : {"ktz", "KTZ ", "KT", ""}) {
            modal->answers.push_back([wrong](QDialog& d) {
                CPWDlg* pw = As<CPWDlg>(d);
                QCOMPARE(pw->Edit()->echoMode(), QLineEdit::Password);
                QTest::keyClicks(pw->Edit(), wrong);
                pw->OkButton()->click();
            });
            ServiceKey();
        }
        // Only the password dialog ran, four times, and nothing changed or was said.
        QCOMPARE(modal->captions, std::vector<QString>(4, "请输入密码"));
        QCOMPARE(FieldText(device.deviceType, DeviceTypeSize), std::string("OLD"));
        QVERIFY(ui->messages.empty());
    }

    void serviceEditsTheCurrentDevice() {
        frame->RunCommand(CMainFrame::IdNewProject);
        DeviceRecord& device = doc->CurrentDevice();
        QCOMPARE(doc->CurrentDeviceId(), int(KindDeviceFirst));
        CopyTextField(device.deviceType, DeviceTypeSize, Utf8ToGbk("型号A").c_str());
        CopyTextField(device.serialNumber, SerialNumberSize, "SN-1");
        const uint8_t modifiedBefore = doc->Modified();
        doc->SetLanguage(LangEnglish);

        modal->answers.push_back([](QDialog& d) {
            CPWDlg* pw = As<CPWDlg>(d);
            QCOMPARE(pw->windowTitle(), QString("Please Input Password"));
            QCOMPARE(pw->OkButton()->text(), QString("OK"));
            QCOMPARE(pw->CancelButton()->text(), QString("CANCEL"));
            QTest::keyClicks(pw->Edit(), "KTZ");
            pw->OkButton()->click();
        });
        modal->answers.push_back([](QDialog& d) {
            CDlgMacInfo* info = As<CDlgMacInfo>(d);
            QCOMPARE(info->windowTitle(), QString("Decice Informatiom"));
            QCOMPARE(info->DeviceTypeBox()->text(), QString("型号A"));
            QCOMPARE(info->SerialNumberBox()->text(), QString("SN-1"));
            QCOMPARE(info->DeviceTypeBox()->accessibleName(), QString("Device Type"));
            QCOMPARE(info->SerialNumberBox()->accessibleName(), QString("Device SerialNum"));
            // Longer entries are held to the fields: 15 and 19 bytes, no split character.
            info->DeviceTypeBox()->clear();
            QTest::keyClicks(info->DeviceTypeBox(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
            QCOMPARE(info->DeviceTypeBox()->text(), QString("ABCDEFGHIJKLMNO"));
            info->SerialNumberBox()->setText(QString("序列号序列号序列号序列号"));     // 24 GBK bytes
            QCOMPARE(info->SerialNumberBox()->text(), QString("序列号序列号序列号"));  // 18 bytes
            info->OkButton()->click();
        });
        ServiceKey();
        QCOMPARE(modal->captions.size(), std::size_t(2));
        QCOMPARE(FieldText(device.deviceType, DeviceTypeSize), std::string("ABCDEFGHIJKLMNO"));
        QCOMPARE(device.deviceType[15], '\0');
        QCOMPARE(GbkToUtf8(FieldText(device.serialNumber, SerialNumberSize)),
                 std::string("序列号序列号序列号"));
        QCOMPARE(doc->Modified(), modifiedBefore);

        // Cancel in the second dialog keeps the texts.
        doc->SetLanguage(LangChinese);
        modal->answers.push_back([](QDialog& d) {
            QTest::keyClicks(As<CPWDlg>(d)->Edit(), "KTZ");
            As<CPWDlg>(d)->OkButton()->click();
        });
        modal->answers.push_back([](QDialog& d) {
            CDlgMacInfo* info = As<CDlgMacInfo>(d);
            QCOMPARE(info->windowTitle(), QString("机器信息设置"));
            info->DeviceTypeBox()->setText("X");
            info->CancelButton()->click();
        });
        ServiceKey();
        QCOMPARE(modal->captions.size(), std::size_t(4));
        QCOMPARE(FieldText(device.deviceType, DeviceTypeSize), std::string("ABCDEFGHIJKLMNO"));
    }

    void serviceBeforeAnySelectionChangesNoDevice() {
        // Nothing selected yet: the current device is the scratch record, not a project slot.
        QCOMPARE(doc->CurrentDeviceId(), -1);
        const DeviceRecord before = doc->Device(0);
        modal->answers.push_back([](QDialog& d) {
            QTest::keyClicks(As<CPWDlg>(d)->Edit(), "KTZ");
            As<CPWDlg>(d)->OkButton()->click();
        });
        modal->answers.push_back([](QDialog& d) {
            CDlgMacInfo* info = As<CDlgMacInfo>(d);
            QCOMPARE(info->DeviceTypeBox()->text(), QString());
            QCOMPARE(info->SerialNumberBox()->text(), QString());
            info->DeviceTypeBox()->setText("T");
            info->OkButton()->click();
        });
        ServiceKey();
        QCOMPARE(modal->captions.size(), std::size_t(2));
        QVERIFY(std::memcmp(&doc->Device(0), &before, sizeof before) == 0);
        QCOMPARE(FieldText(doc->CurrentDevice().deviceType, DeviceTypeSize), std::string("T"));
        QVERIFY(&doc->CurrentDevice() != &doc->Device(0));
    }

    // ---- user guide ----

    void userGuideTopicsInBothLanguages() {
        frame->RunCommand(CMainFrame::IdNewProject);
        CopyTextField(doc->CurrentDevice().deviceType, DeviceTypeSize, "MX-200");
        CopyTextField(doc->CurrentDevice().serialNumber, SerialNumberSize, Utf8ToGbk("号123").c_str());
        const uint8_t firmware[3] = {2, 10, 7};
        doc->SetFirmwareVersion(firmware);

        struct Expect {
            int lang;
            QString caption, root;
            QStringList children;
            QString deviceInfo;
            QString deviceOptionStart, deviceOptionEnd;
            QString projectOptionStart;
            QString viewOptionEnd;
        };
        const Expect expects[] = {
            {LangChinese,
             "使用说明",
             "使用说明",
             {"机器信息", "系统菜单", "工程菜单", "视图菜单"},
             "    机器型号:    MX-200\n    机器序列号:号123\n    装置版本号:02.10.07\n    "
             "Corvix版本号:01.01.11",
             "            系统菜单主要是:\n[通讯设置]:设置与装置通讯的串口数据\n",
             "[退出]:\u3000   退出本程序\n 注意：退出前，应断开串口连接\n",
             "            工程菜单主要是：\n[创建工程]:",
             "[信息显示]:显示事件信息\n[Enlish]:  可切换至英文菜单\n"},
            {LangEnglish,
             "User Guide",
             "Content",
             {"Device Info", "Device Option", "Project Option", "View Option"},
             "    MLFB:    MX-200\n    Serial No.:号123\n    Firmware:02.10.07\n    Corvix:01.01.11",
             "            Device Option:\n[PC Serial Port]:\nTo set parameters of PC serial port which is "
             "used to "
             "connect with device.\n",
             "[Exit]:\nQuit the application and close the PC software Corvix.\n",
             "            Project Option:\n[New Project]:\nTo Create a new project which can be saved as "
             "separated "
             "file.\n",
             "[中文]:\nTo switch the language to Chinese.\n"},
        };
        for (const Expect& e : expects) {
            doc->SetLanguage(e.lang);
            modal->answers.push_back([&e](QDialog& d) {
                CSYSMDlg* guide = As<CSYSMDlg>(d);
                QCOMPARE(guide->windowTitle(), e.caption);
                QTreeWidgetItem* root = guide->Tree()->topLevelItem(0);
                QCOMPARE(guide->Tree()->topLevelItemCount(), 1);
                QCOMPARE(root->text(0), e.root);
                QVERIFY(root->isExpanded());
                QStringList children;
                for (int i = 0; i < root->childCount(); ++i) children << root->child(i)->text(0);
                QCOMPARE(children, e.children);
                QVERIFY(guide->Tree()->selectedItems().isEmpty());
                QCOMPARE(guide->TextBox()->toPlainText(), QString());

                QCOMPARE(SelectTopic(*guide, GuideDeviceInfo), e.deviceInfo);
                QCOMPARE(QString::fromStdString(guide->guideText),
                         QString(e.deviceInfo).replace("\n", "\r\n"));
                const QString device = SelectTopic(*guide, GuideDeviceOption);
                QVERIFY2(device.startsWith(e.deviceOptionStart), qPrintable(device));
                QVERIFY2(device.endsWith(e.deviceOptionEnd), qPrintable(device));
                QVERIFY(SelectTopic(*guide, GuideProjectOption).startsWith(e.projectOptionStart));
                QVERIFY(SelectTopic(*guide, GuideViewOption).endsWith(e.viewOptionEnd));
                QCOMPARE(SelectTopic(*guide, GuideNone), QString(" "));
                QCOMPARE(guide->guideText, std::string(" "));
            });
            frame->RunCommand(CMainFrame::IdContent);
            QVERIFY(modal->answers.empty());
        }
        QCOMPARE(modal->captions, (std::vector<QString>{"使用说明", "User Guide"}));
    }

    void userGuidePagesAreWholeAndExact() {
        // Each page is its pieces joined; check sizes and a few exact bytes of each language.
        const std::string zhDevice = CSYSMDlg::BuildGuideText(GuideDeviceOption, LangChinese, "", "", "", "");
        const std::string zhProject =
            CSYSMDlg::BuildGuideText(GuideProjectOption, LangChinese, "", "", "", "");
        const std::string zhView = CSYSMDlg::BuildGuideText(GuideViewOption, LangChinese, "", "", "", "");
        const std::string enView = CSYSMDlg::BuildGuideText(GuideViewOption, LangEnglish, "", "", "", "");
        const std::string enProject =
            CSYSMDlg::BuildGuideText(GuideProjectOption, LangEnglish, "", "", "", "");
        auto lines = [](const std::string& text) {
            int n = 0;
            for (std::size_t i = 0; i + 1 < text.size(); ++i) n += text.compare(i, 2, "\r\n") == 0;
            return n;
        };
        QCOMPARE(lines(zhDevice), 7);
        QCOMPARE(lines(zhProject), 4);
        QCOMPARE(lines(zhView), 6);
        QCOMPARE(lines(enView), 12);
        QCOMPARE(lines(enProject), 7);
        QCOMPARE(lines(CSYSMDlg::BuildGuideText(GuideDeviceOption, LangEnglish, "", "", "", "")), 13);
        // Headings: twelve blanks (ten for the view page), the full-width colon only on the
        // Chinese project page.
        QVERIFY(zhDevice.rfind(std::string(12, ' ') + "系统菜单主要是:\r\n", 0) == 0);
        QVERIFY(zhProject.rfind(std::string(12, ' ') + "工程菜单主要是：\r\n", 0) == 0);
        QVERIFY(zhView.rfind(std::string(10, ' ') + "视图菜单主要是:\r\n", 0) == 0);
        QVERIFY(enView.rfind(std::string(10, ' ') + "View Option:\r\n", 0) == 0);
        QVERIFY(zhDevice.find("[退出]:\u3000   退出本程序\r\n") != std::string::npos);
        QVERIFY(enView.find("To enble the status bar on the window which display the PC serial "
                            "port\r\ninformation.\r\n") != std::string::npos);
        QVERIFY(enProject.find("To export the current project and save as *.mac file.\r\n") !=
                std::string::npos);
        // Device info has no line break after its last line.
        const std::string info = CSYSMDlg::BuildGuideText(GuideDeviceInfo, LangEnglish, "T", "S", "F", "P");
        QCOMPARE(info, std::string("    MLFB:    T\r\n    Serial No.:S\r\n    Firmware:F\r\n    Corvix:P"));
        QCOMPARE(CSYSMDlg::BuildGuideText(99, LangChinese, "", "", "", ""), std::string(" "));
        const int8_t version[3] = {-1, 0, 100};
        QCOMPARE(CSYSMDlg::FormatVersion(version), std::string("-1.00.100"));
    }

    void userGuideBeforeAnySelectionRunsModally() {
        // The real modal loop: the guide is answered from a timer while exec() runs.
        frame->runModal = nullptr;
        QString deviceInfo;
        bool seen = false;
        QTimer::singleShot(0, frame.get(), [&] {
            auto* guide = qobject_cast<CSYSMDlg*>(QApplication::activeModalWidget());
            QVERIFY(guide);
            seen = true;
            deviceInfo = SelectTopic(*guide, GuideDeviceInfo);
            guide->reject();
        });
        frame->RunCommand(CMainFrame::IdContent);
        QVERIFY(seen);
        QCOMPARE(
            deviceInfo,
            QString(
                "    机器型号:    \n    机器序列号:\n    装置版本号:00.00.00\n    Corvix版本号:01.01.11"));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
