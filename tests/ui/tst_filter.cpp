// SPDX-License-Identifier: Apache-2.0
// The list's filter box (which pages show it, Ctrl+F and Escape, committed input only, the
// commands on filtered rows reaching the right record entries) and the values drawn bold
// because they differ from what the simulated device held when last read or written.
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QtTest>
#include <cstring>
#include <functional>

#include "model/doc.h"
#include "model/gbk.h"
#include "model/pages.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"
#include "ui/views/maclistview.h"
#include "ui/views/macview.h"

using namespace corvix;
using corvix::test::Generous;

namespace {

const char* const Names[] = {"pump 1", "valve 2", "Pump 3", "fan 4", "PUMP 5", "valve 6"};

// The viewport point of the `visible`-th row the list shows, found as a user sees it.
QPoint VisibleRow(CMacListView* list, int visible) {
    const int height = list->verticalHeader()->defaultSectionSize();
    return QPoint(list->columnWidth(0) + 20, visible * height + height / 2);
}

int ShownRows(CMacListView* list) {
    int shown = 0;
    for (int row = 0; row < list->rowCount(); ++row) shown += list->isRowHidden(row) ? 0 : 1;
    return shown;
}

// A command on filtered rows; `oracle` does to an unfiltered copy what must happen, by entry.
struct FilterCase {
    const char* what;
    const char* filter;
    std::function<void(CMacListView*)> act;
    std::function<void(CBrondaleDoc&)> oracle;
};

}  // namespace

class TestFilter : public QObject, private corvix::test::DeviceFixture {
    Q_OBJECT

    CMacListView* List() { return frame->List(); }
    void SelectPage(int device, int32_t page) {
        QTreeWidgetItem* node = frame->Tree()->FindNode(KindDeviceFirst + device);
        QVERIFY(node);
        for (QTreeWidgetItemIterator it(node); *it; ++it)
            if (CMacView::NodeCode(*it) == page) {
                frame->Tree()->setCurrentItem(*it);
                return;
            }
        QFAIL("no such page");
    }
    void SetNames() {
        DeviceRecord& d = doc->Device(0);
        std::memset(d.signalNames, 0, sizeof d.signalNames);
        d.signalCount = 6;
        for (int i = 0; i < 6; ++i) CopyTextField(d.signalNames[i], SignalNameSize, Names[i]);
    }
    void Click(int visible, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, modifiers, VisibleRow(List(), visible));
    }

  private slots:
    void init() {
        OpenFrame();
        frame->resize(1000, 700);
        frame->show();
        frame->activateWindow();  // window shortcuts need the active window
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        frame->RunCommand(CMainFrame::IdNewProject);
    }
    void cleanup() { CloseFrameAndDevice(); }

    void boxOnItsPagesWithCtrlFAndEscape() {
        QLineEdit* box = List()->FilterBox();
        const struct {
            int32_t page;
            bool shown;
        } pages[] = {{KindSignalNames, true}, {KindDeviceAddress, false}, {KindInputStatus, true},
                     {KindCpuSupervision, false}, {KindEventLog, true}, {KindPortB1, false}};
        for (const auto& p : pages) {
            SelectPage(0, p.page);
            QCOMPARE(box->isVisible(), p.shown);
        }
        // Hidden, Ctrl+F takes nothing to it.
        frame->Tree()->setFocus();
        QTest::keyClick(frame->Tree(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(!box->hasFocus());

        SetNames();
        SelectPage(0, KindSignalNames);
        QCOMPARE(box->placeholderText(), QString("筛选 (Ctrl+F)"));
        frame->Tree()->setFocus();
        QTest::keyClick(frame->Tree(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(box->hasFocus());
        QTest::keyClicks(box, "pUmP");  // Latin letters in any case
        QCOMPARE(ShownRows(List()), 3);
        QVERIFY(!List()->isRowHidden(0) && List()->isRowHidden(1) && !List()->isRowHidden(4));
        QTest::keyClick(box, Qt::Key_Escape);
        QCOMPARE(box->text(), QString());
        QCOMPARE(ShownRows(List()), 6);
        QVERIFY(box->hasFocus());
        QTest::keyClick(box, Qt::Key_Escape);  // empty: back to the list
        QVERIFY(List()->hasFocus());
        // Numbers count as text: "05" is the fifth row's.
        box->setText("05");
        QCOMPARE(ShownRows(List()), 1);
        QVERIFY(!List()->isRowHidden(4));
        frame->RunCommand(CMainFrame::IdLanguage);
        QCOMPARE(box->placeholderText(), QString("Filter (Ctrl+F)"));
    }

    void inputMethodFiltersOnCommittedTextOnly() {
        CopyTextField(doc->Device(0).signalNames[0], SignalNameSize, Utf8ToGbk("水泵").c_str());
        doc->Device(0).signalCount = 2;
        CopyTextField(doc->Device(0).signalNames[1], SignalNameSize, "fan");
        SelectPage(0, KindSignalNames);
        QLineEdit* box = List()->FilterBox();
        box->setFocus();
        QInputMethodEvent composing(QString::fromUtf8("beng"), {});
        QApplication::sendEvent(box, &composing);
        QCOMPARE(ShownRows(List()), 2);
        QInputMethodEvent committed;
        committed.setCommitString(QString::fromUtf8("泵"));
        QApplication::sendEvent(box, &committed);
        QCOMPARE(box->text(), QString::fromUtf8("泵"));
        QCOMPARE(ShownRows(List()), 1);
        QVERIFY(!List()->isRowHidden(0));
    }

    void commandsOnFilteredRowsHitTheirEntries() {
        const std::vector<FilterCase> cases = {
            {"delete the second shown", "pump",
             [](CMacListView* l) { QTest::keyClick(l, Qt::Key_D, Qt::ControlModifier); },
             [](CBrondaleDoc& d) { d.DeleteSignals({2}); }},
            {"cut the second shown", "valve",
             [](CMacListView* l) { QTest::keyClick(l, Qt::Key_X, Qt::ControlModifier); },
             [](CBrondaleDoc& d) { d.CutSignals({5}); }},
            {"add before the second shown", "valve",
             [](CMacListView* l) { l->RunCommand(CMacListView::CmdAddItem); },
             [](CBrondaleDoc& d) { d.AddSignalItem({5}); }},
            {"edit the second shown", "FAN 4",
             [](CMacListView* l) {
                 QTest::keyClick(l, Qt::Key_F2);
                 l->CellEdit()->selectAll();
                 QTest::keyClicks(l->CellEdit(), "blower");
                 QTest::keyClick(l->CellEdit(), Qt::Key_Escape);
             },
             [](CBrondaleDoc& d) { CopyTextField(d.Device(0).signalNames[3], SignalNameSize, "blower"); }},
        };
        for (const FilterCase& c : cases) {
            SetNames();
            SelectPage(0, KindSignalNames);
            List()->ShowPage();
            CBrondaleDoc oracle;
            oracle.NewProject();
            oracle.Device(0) = doc->Device(0);
            oracle.TakeDevice(KindDeviceFirst);
            List()->FilterBox()->setText(QString::fromUtf8(c.filter));
            const int visible = ShownRows(List()) > 1 ? 1 : 0;
            Click(visible);
            List()->setFocus();
            c.act(List());
            c.oracle(oracle);
            QVERIFY2(std::memcmp(&doc->Device(0), &oracle.Device(0), sizeof(DeviceRecord)) == 0, c.what);
            QCOMPARE(List()->FilterBox()->text(), QString::fromUtf8(c.filter));
        }
        // What was added or edited stays shown though it does not match.
        QVERIFY(!List()->isRowHidden(3));
        List()->FilterBox()->setText("valve");
        List()->RunCommand(CMacListView::CmdAddItem);  // nothing selected: at the end
        QCOMPARE(doc->Device(0).SignalCountClamped(), 7);
        QVERIFY(!List()->isRowHidden(6));

        // Copy the third "pump" shown, paste before the first; a range over hidden rows takes
        // only the shown ones.
        SetNames();
        SelectPage(0, KindSignalNames);
        List()->ShowPage();
        List()->FilterBox()->setText("PUMP");
        Click(2);
        QTest::keyClick(List(), Qt::Key_C, Qt::ControlModifier);
        Click(0);
        QTest::keyClick(List(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(FieldText(doc->Device(0).signalNames[0], SignalNameSize), std::string("PUMP 5"));
        QCOMPARE(FieldText(doc->Device(0).signalNames[1], SignalNameSize), std::string("pump 1"));
        QCOMPARE(doc->Device(0).SignalCountClamped(), 7);
        SetNames();
        SelectPage(0, KindSignalNames);
        List()->ShowPage();
        Click(0);
        Click(2, Qt::ShiftModifier);
        QTest::keyClick(List(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(doc->Device(0).SignalCountClamped(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(FieldText(doc->Device(0).signalNames[i], SignalNameSize), std::string(Names[2 * i + 1]));
    }

    void filterStaysWhenTheEventLogIsRead() {
        DeviceRecord& d = doc->Device(0);
        d.eventCount = 40;
        for (int i = 0; i < 40; ++i) {
            d.events[i] = EventRecord{};
            d.events[i].year = 2026;
            d.events[i].month = d.events[i].day = 1;
            CopyTextField(d.events[i].signalName, sizeof d.events[i].signalName, i % 4 == 0 ? "breaker" : "door");
        }
        SelectPage(0, KindEventLog);
        List()->FilterBox()->setText("BREAK");
        QCOMPARE(ShownRows(List()), 10);
        d.eventCount = 60;  // a read brought more
        for (int i = 40; i < 60; ++i) d.events[i] = d.events[0];
        List()->FillEventLogPage();
        QCOMPARE(List()->FilterBox()->text(), QString("BREAK"));
        QCOMPARE(List()->rowCount(), 60);
        QCOMPARE(ShownRows(List()), 30);
    }

    void valuesChangedSinceTheDeviceAreBold() {
        sim::SimOptions options;
        options.device.address = 3;
        options.changeEveryMs = 0;
        StartServer(options);
        doc->Device(0).address = 3;
        ui->names.push_back(Utf8ToGbk("other"));
        doc->AddDevice();
        doc->Device(1).address = 3;  // takes the same read
        Connect();
        SelectPage(0, KindDeviceAddress);
        QVERIFY(!List()->item(0, 2)->font().bold());  // nothing read yet
        frame->Tree()->setCurrentItem(frame->Tree()->FindNode(KindDeviceFirst));
        frame->Tree()->RunCommand(CMacView::CmdReadFromDevice);
        QTRY_VERIFY_WITH_TIMEOUT(frame->Engine().Idle() && doc->DeviceState().StateOf(0), Generous);
        int16_t deviceAddress = 0;
        std::memcpy(&deviceAddress, server->Device().Image().data() + offsetof(DeviceRecord, address), 2);

        auto editAddress = [this](const char* text) {
            SelectPage(0, KindDeviceAddress);
            List()->selectRow(0);
            List()->setFocus();
            QTest::keyClick(List(), Qt::Key_F2);
            List()->CellEdit()->selectAll();
            QTest::keyClicks(List()->CellEdit(), text);
            QTest::keyClick(List()->CellEdit(), Qt::Key_Escape);
        };
        editAddress("42");
        QTableWidgetItem* value = List()->item(0, 2);
        QVERIFY(value->font().bold());
        QCOMPARE(value->toolTip(), QString("装置中的值: %1").arg(deviceAddress));
        frame->RunCommand(CMainFrame::IdLanguage);
        SelectPage(0, KindDeviceAddress);
        QCOMPARE(List()->item(0, 2)->toolTip(), QString("Value in device: %1").arg(deviceAddress));
        // Typing the device's value back takes the mark off at once.
        editAddress(QByteArray::number(deviceAddress).constData());
        QVERIFY(!List()->item(0, 2)->font().bold());
        QVERIFY(List()->item(0, 2)->toolTip().isEmpty());

        // A signal name changed on the other device, read with the first.
        SelectPage(1, KindSignalNames);
        List()->selectRow(0);
        List()->setFocus();
        QTest::keyClick(List(), Qt::Key_F2);
        QTest::keyClicks(List()->CellEdit(), "x");
        QTest::keyClick(List()->CellEdit(), Qt::Key_Escape);
        QVERIFY(List()->item(0, 2)->font().bold());
        QVERIFY(List()->item(0, 2)->toolTip().startsWith("Value in device: "));
        QVERIFY(!List()->item(1, 2)->font().bold());

        // A write makes the edited values the device's: no marks on it, the other keeps its own.
        editAddress("42");
        QVERIFY(List()->item(0, 2)->font().bold());
        frame->Tree()->setCurrentItem(frame->Tree()->FindNode(KindDeviceFirst));
        frame->Tree()->RunCommand(CMacView::CmdWriteToDevice);
        QTRY_COMPARE_WITH_TIMEOUT(ui->messages.size(), std::size_t(1), Generous);
        SelectPage(0, KindDeviceAddress);
        QVERIFY(!List()->item(0, 2)->font().bold());
        SelectPage(1, KindSignalNames);
        QVERIFY(List()->item(0, 2)->font().bold());

        // Edited again, then read back: the device's values return and the marks go.
        editAddress("43");
        QVERIFY(List()->item(0, 2)->font().bold());
        doc->Device(0).address = 42;  // the device answers under the address written
        frame->Tree()->setCurrentItem(frame->Tree()->FindNode(KindDeviceFirst));
        frame->Tree()->RunCommand(CMacView::CmdReadFromDevice);
        QTRY_VERIFY_WITH_TIMEOUT(frame->Engine().Idle(), Generous);
        SelectPage(0, KindDeviceAddress);
        QCOMPARE(List()->item(0, 2)->text(), QString("42"));
        QVERIFY(!List()->item(0, 2)->font().bold());
    }
};

QTEST_MAIN(TestFilter)
#include "tst_filter.moc"
