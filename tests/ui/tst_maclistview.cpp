// SPDX-License-Identifier: Apache-2.0
// The parameter list's pages: columns, rows and texts in both languages, and what a
// refresh or a second fill leaves behind.
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include <cstring>

#include "model/doc.h"
#include "model/gbk.h"
#include "ui/ui_test_helper.h"
#include "ui/views/maclistview.h"

using namespace corvix;

namespace {

struct Bench : test::ListBench {
    using ListBench::ListBench;
    QStringList Row(int r) const {
        QStringList out;
        for (int c = 0; c < view.columnCount(); ++c) out << Cell(r, c);
        return out;
    }
    QStringList Headers() const {
        QStringList out;
        for (int c = 0; c < view.columnCount(); ++c) out << view.horizontalHeaderItem(c)->text();
        return out;
    }
    QList<int> Widths() const {
        QList<int> out;
        for (int c = 0; c < view.columnCount(); ++c) out << view.columnWidth(c);
        return out;
    }
};

void SetEvent(EventRecord& ev, int year, int month, int day, int h, int m, int s, int ms, int transition,
              const char* nameUtf8) {
    ev = EventRecord{};
    ev.year = static_cast<uint16_t>(year);
    ev.month = static_cast<uint8_t>(month);
    ev.day = static_cast<uint8_t>(day);
    ev.hour = static_cast<uint8_t>(h);
    ev.minute = static_cast<uint8_t>(m);
    ev.second = static_cast<uint8_t>(s);
    ev.millisecond = static_cast<uint16_t>(ms);
    ev.transition = static_cast<uint8_t>(transition);
    CopyTextField(ev.signalName, sizeof ev.signalName, Utf8ToGbk(nameUtf8).c_str());
}

}  // namespace

class TestMacListViewPages : public QObject {
    Q_OBJECT
  private slots:
    void rowsAndEditorsAtStart() {
        Bench b;
        b.Show(KindSignalNames);
        QVERIFY(b.view.rowHeight(0) >= 24);
        QVERIFY(b.view.CellEdit()->isHidden() && b.view.CellCombo()->isHidden());
        QVERIFY(b.view.ExecuteButton()->isHidden());
    }

    void nothingBeforeAnyDevice() {
        CBrondaleDoc doc;  // no project: currentDeviceId is -1
        CMacListView view(doc);
        for (int page : {129, 130, 131, 132, 133, 134, 137, 162}) {
            doc.SelectNode(page, -1);
            view.ShowPage();
            QCOMPARE(view.columnCount(), 0);
        }
    }

    void addressAndTimeSync_data() {
        QTest::addColumn<int>("lang");
        QTest::newRow("zh") << LangChinese;
        QTest::newRow("en") << LangEnglish;
    }
    void addressAndTimeSync() {
        QFETCH(int, lang);
        const bool en = lang != LangChinese;
        Bench b(lang);
        b.Rec().address = -5;
        b.Show(KindDeviceAddress);
        QCOMPARE(b.Headers(), en ? QStringList({"Number", "Name", "Data(1-254)"})
                                 : QStringList({"序号", "名称", "数值(1-254)"}));
        QCOMPARE(b.Widths(), QList<int>({100, 200, 200}));
        QCOMPARE(b.Row(0), QStringList({"1", en ? "Device Address" : "装置地址", "-5"}));

        const QStringList zh{"B码对时", "协议对时", "无对时", ""}, eng{"IRIG B", "Protocol", "None", ""};
        const int codes[] = {0, 1, 2, 5};
        for (int i = 0; i < 4; ++i) {
            b.Rec().timeSync = static_cast<uint8_t>(codes[i]);
            b.Show(KindTimeSync);
            QCOMPARE(b.view.rowCount(), 1);
            QCOMPARE(b.Row(0), QStringList({"1", en ? "Source of time synchronization" : "对时方式",
                                            en ? eng[i] : zh[i]}));
        }
        QCOMPARE(b.Headers(),
                 en ? QStringList({"Number", "Name", "Data"}) : QStringList({"序号", "名称", "数值"}));
    }

    void portPages() {
        Bench b(LangEnglish);
        DeviceRecord& r = b.Rec();
        r.baudRate[1] = 38400;
        r.dataBits[1] = 9;
        r.stopBits[1] = 1;
        r.parity[1] = 2;
        r.protocol[1] = 1;
        b.Show(KindPortB2);
        QCOMPARE(b.view.rowCount(), 5);
        QCOMPARE(b.Row(0), QStringList({"1", "Baud rate", "38400"}));
        QCOMPARE(b.Row(1), QStringList({"2", "Data bits", "9"}));
        QCOMPARE(b.Row(2), QStringList({"3", "Stop bits", "1.5"}));
        QCOMPARE(b.Row(3), QStringList({"4", "Parity", "ODD"}));
        QCOMPARE(b.Row(4), QStringList({"5", "Protocol", "Modbus RTU"}));
        b.Show(KindPortB1);  // B1 keeps the new device's settings
        QCOMPARE(b.Cell(0, 2), QString("19200"));
        QCOMPARE(b.Cell(3, 2), QString("EVEN"));
        QCOMPARE(b.Cell(4, 2), QString("IEC 60870-5-103"));
        // Codes a device may send that have no text leave the cell empty.
        r.stopBits[0] = 3;
        r.parity[0] = 200;
        r.protocol[0] = 2;
        b.doc.SetLanguage(LangChinese);
        b.Show(KindPortB1);
        QCOMPARE(b.Headers(), QStringList({"序号", "名称", "数值"}));
        QCOMPARE(b.Row(2), QStringList({"3", "停止位", ""}));
        QCOMPARE(b.Row(3), QStringList({"4", "校验方式", ""}));
        QCOMPARE(b.Row(4), QStringList({"5", "通讯协议", ""}));
    }

    void signalAndStatusPages() {
        Bench b;
        CopyTextField(b.Rec().signalNames[1], SignalNameSize, Utf8ToGbk("断路器合位").c_str());
        b.Show(KindSignalNames);
        QCOMPARE(b.Headers(), QStringList({"序号", "名称", "信息定义"}));
        QCOMPARE(b.view.rowCount(), NewDeviceSignalCount);
        QCOMPARE(b.Row(1), QStringList({"02", "开关量2", "断路器合位"}));
        QCOMPARE(b.Cell(64, 0), QString("65"));
        b.doc.SetLanguage(LangEnglish);
        b.Show(KindSignalNames);
        QCOMPARE(b.Headers(), QStringList({"Number", "Designation", "Assignment"}));
        QCOMPARE(b.Cell(9, 1), QString("Binary10"));

        const uint8_t states[3] = {1, 0, 7};
        b.doc.SetLiveStatus(states, 3);
        b.Show(KindInputStatus);
        QCOMPARE(b.Headers(), QStringList({"Number", "Assignment", "State"}));
        QCOMPARE(b.Row(1), QStringList({"2", "断路器合位", "Off"}));
        QCOMPARE(b.Cell(0, 2), QString("On"));
        QCOMPARE(b.Cell(2, 2), QString("Unkown"));
        b.doc.SetLanguage(LangChinese);
        b.Show(KindInputStatus);
        QCOMPARE(QStringList({b.Cell(0, 2), b.Cell(1, 2), b.Cell(2, 2)}),
                 QStringList({"合上", "断开", "未知"}));

        // No names: both pages keep their columns and show no rows; a count beyond the
        // array shows the 72 names there are.
        for (int count : {0, 300}) {
            b.Rec().signalCount = static_cast<uint16_t>(count);
            for (int page : {KindSignalNames, KindInputStatus}) {
                b.Show(page);
                QCOMPARE(b.view.columnCount(), 3);
                QCOMPARE(b.view.rowCount(), count == 0 ? 0 : MaxSignalNames);
            }
        }
    }

    void refreshKeepsSelectionAndScroll() {
        Bench b;
        b.Show(KindInputStatus);
        b.view.selectRow(30);
        b.view.verticalScrollBar()->setValue(b.view.verticalScrollBar()->maximum() / 2);
        const int scroll = b.view.verticalScrollBar()->value();
        QVERIFY(scroll > 0);
        const QStringList names{b.Cell(29, 1), b.Cell(30, 1)};
        uint8_t states[LiveStatusSize] = {};
        std::memcpy(states, b.doc.LiveStatus(), LiveStatusSize);
        states[30] = 1;
        states[64] = 9;
        b.doc.SetLiveStatus(states, LiveStatusSize);
        b.view.RefreshInputStates();
        QCOMPARE(b.Cell(30, 2), QString("合上"));
        QCOMPARE(b.Cell(64, 2), QString("未知"));
        QCOMPARE(QStringList({b.Cell(29, 1), b.Cell(30, 1)}), names);
        QCOMPARE(b.view.verticalScrollBar()->value(), scroll);
        QCOMPARE(b.view.selectionModel()->selectedRows().size(), 1);
        QCOMPARE(b.view.selectionModel()->selectedRows().first().row(), 30);
        // Another page on show is not touched by a status refresh.
        b.Show(KindDeviceAddress);
        b.view.RefreshInputStates();
        QCOMPARE(b.Cell(0, 2), QString("1"));
    }

    void eventLogPage_data() {
        QTest::addColumn<int>("lang");
        QTest::addColumn<int>("dateFormat");
        QTest::newRow("zh china") << LangChinese << DateChina;
        QTest::newRow("en world") << LangEnglish << DateWorld;
    }
    void eventLogPage() {
        QFETCH(int, lang);
        QFETCH(int, dateFormat);
        const bool en = lang != LangChinese;
        Bench b(lang);
        b.doc.SetDateOrder(dateFormat);
        SetEvent(b.Rec().events[0], 2012, 5, 10, 8, 7, 6, 5, 0, "开关量1");
        SetEvent(b.Rec().events[1], 2013, 12, 31, 23, 59, 58, 999, 1, "in02");
        SetEvent(b.Rec().events[2], 2014, 1, 2, 3, 4, 5, 1234, 2, "in03");
        b.Rec().eventCount = 3;
        b.Show(KindEventLog);
        QCOMPARE(b.Headers(), en ? QStringList({"Number", "Time", "Name", "State"})
                                 : QStringList({"序号", "时间", "名称", "状态"}));
        QCOMPARE(b.Widths(), QList<int>({100, 200, 200, 80}));
        QCOMPARE(b.view.rowCount(), 3);
        const bool world = dateFormat == DateWorld;
        QCOMPARE(b.Row(2), QStringList({"3", world ? "10.05.2012 08:07:06.   5" : "2012.05.10 08:07:06.   5",
                                        "开关量1", en ? "Off->On" : "分->合"}));
        QCOMPARE(b.Row(0), QStringList({"1", world ? "02.01.2014 03:04:05.1234" : "2014.01.02 03:04:05.1234",
                                        "in03", en ? "On->Off" : "合->分"}));
        QCOMPARE(b.Cell(1, 1),
                 world ? QString("31.12.2013 23:59:58. 999") : QString("2013.12.31 23:59:58. 999"));

        // Counts outside 0..500 stay inside the event store.
        b.Rec().eventCount = -4;
        b.Show(KindEventLog);
        QCOMPARE(b.view.rowCount(), 0);
        b.Rec().eventCount = 100000;
        b.Show(KindEventLog);
        QCOMPARE(b.view.rowCount(), MaxEvents);
    }

    void cpuSupervisionPage() {
        Bench b(LangEnglish);
        b.doc.SetCpuFailureTest(1);
        b.Show(KindCpuSupervision);
        QCOMPARE(b.Headers(), QStringList({"Number", "Assignment", "Operation", " "}));
        QCOMPARE(b.Widths(), QList<int>({100, 200, 200, 200}));
        QCOMPARE(b.Row(0), QStringList({"1", "CPU Failure", "On", ""}));
        QPushButton* button = b.view.ExecuteButton();
        QVERIFY(button->isVisible());
        QCOMPARE(button->text(), QString("Execute"));
        QCOMPARE(button->geometry(), b.view.visualRect(b.view.model()->index(0, 3)));
        // It stays over its cell when a column before it is resized.
        b.view.setColumnWidth(1, 260);
        QCOMPARE(button->geometry(), b.view.visualRect(b.view.model()->index(0, 3)));

        b.doc.SetLanguage(LangChinese);
        b.doc.SetCpuFailureTest(0);
        b.Show(KindCpuSupervision);
        QCOMPARE(b.Row(0), QStringList({"1", "CPU 出错", "断开", ""}));
        QCOMPARE(button->text(), QString("执行"));
        for (int page : {KindEventLog, KindConfiguration, KindDeviceFirst}) {
            b.Show(page);
            QVERIFY(button->isHidden());
        }
        b.Show(KindCpuSupervision);
        b.view.ClearPage();
        QVERIFY(button->isHidden());
    }

    void everyPageFilledTwiceOnce() {
        Bench b;
        b.Rec().eventCount = 2;
        for (int page : {129, 130, 131, 132, 133, 134, 137, 162}) {
            b.Show(page);
            const int rows = b.view.rowCount(), columns = b.view.columnCount();
            const QStringList headers = b.Headers();
            b.view.ShowPage();
            QCOMPARE(b.view.rowCount(), rows);
            QCOMPARE(b.view.columnCount(), columns);
            QCOMPARE(b.Headers(), headers);
        }
        for (int page : {KindProject, KindDeviceFirst, KindConfiguration}) {
            b.Show(KindSignalNames);
            b.Show(page);
            QCOMPARE(b.view.rowCount(), 0);
            QCOMPARE(b.view.columnCount(), 0);
        }
    }

    void linkFillsOnlyThePageOnShow() {
        // An event-log read or an output-test answer that ends after the user moved on must
        // not put its page under another node (whose editors would then write the record).
        Bench b;
        b.Show(KindSignalNames);
        b.view.FillEventLogPage();
        b.view.FillCpuSupervisionPage();
        QCOMPARE(b.view.ShownPage(), int(KindSignalNames));
        QCOMPARE(b.view.rowCount(), NewDeviceSignalCount);
        QVERIFY(b.view.ExecuteButton()->isHidden());
        b.Show(KindEventLog);
        b.Rec().eventCount = 1;
        b.view.FillEventLogPage();
        QCOMPARE(b.view.rowCount(), 1);
    }
};

QTEST_MAIN(TestMacListViewPages)
#include "tst_maclistview.moc"
