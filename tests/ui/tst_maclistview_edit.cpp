// SPDX-License-Identifier: Apache-2.0
// In-place editing of the parameter list and its row commands, with a real protocol engine
// whose frames are captured instead of sent.
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>
#include <cstring>
#include <memory>
#include <vector>

#include "link/engine.h"
#include "link/frame.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "ui/ui_test_helper.h"
#include "ui/views/maclistview.h"

using namespace corvix;

namespace {

struct CapturingSink : IFrameSink {
    std::vector<std::vector<uint8_t>> frames;
    bool connected = false;
    void SubmitFrame(const uint8_t* bytes, std::size_t length) override {
        frames.emplace_back(bytes, bytes + length);
    }
    bool IsConnected() const override { return connected; }
    void CloseLink() override { connected = false; }
};

// The list with a real engine behind it; frames go to the sink.
struct Bench : test::ListBench {
    CapturingSink sink;
    ProtocolEngine engine{doc, sink, {}};  // results are not looked at here
    explicit Bench(int lang = LangChinese) : ListBench(lang) {
        view.SetEngine(&engine);
        view.SetConnectedQuery([this] { return sink.connected; });
    }
    void Open(int row) {
        view.selectRow(row);
        view.OpenEditor();
    }
    void Choose(int index) {
        view.CellCombo()->setCurrentIndex(index);
        emit view.CellCombo()->activated(index);
    }
    void SelectRows(std::initializer_list<int> rows) {
        view.clearSelection();
        for (int r : rows)
            view.selectionModel()->select(view.model()->index(r, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    std::string Name(int i) { return GbkToUtf8(FieldText(Rec().signalNames[i], SignalNameSize)); }
    std::vector<std::string> Names() {
        std::vector<std::string> out;
        for (int i = 0; i < Rec().SignalCountClamped(); ++i) out.push_back(Name(i));
        return out;
    }
    QList<bool> MenuEnabled() {
        std::unique_ptr<QMenu> menu(view.BuildContextMenu());
        QList<bool> out;
        if (menu)
            for (QAction* a : menu->actions()) out << a->isEnabled();
        return out;
    }
};

}  // namespace

class TestMacListViewEdit : public QObject {
    Q_OBJECT
  private slots:
    void addressFollowsTyping_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("address");
        QTest::newRow("digits then letters") << "12ab" << 12;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("beyond 254") << "300" << 300;
        QTest::newRow("blanks and sign") << "  -7" << -7;
        QTest::newRow("no digits") << "abc" << 0;
        QTest::newRow("kept to 16 bits") << "70000" << 4464;
        QTest::newRow("beyond 32 bits") << "99999999999999" << -1;
    }
    void addressFollowsTyping() {
        QFETCH(QString, typed);
        QFETCH(int, address);
        Bench b;
        b.Rec().address = 37;
        b.Show(KindDeviceAddress);
        b.doc.SetModified(0);
        b.Open(0);
        QLineEdit* edit = b.view.CellEdit();
        QVERIFY(edit->isVisible());
        QCOMPARE(edit->geometry(), b.view.visualRect(b.view.model()->index(0, 2)));
        QCOMPARE(edit->text(), QString("37"));
        // Opening alone marks the project modified and writes the unchanged value.
        QCOMPARE(b.doc.Modified(), uint8_t(1));
        QCOMPARE(b.Rec().address, int16_t(37));
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, typed);
        QCOMPARE(int(b.Rec().address), address);
        QCOMPARE(b.Cell(0, 2), typed);
    }

    void signalNameEditing() {
        Bench b;
        b.Show(KindSignalNames);
        b.Open(4);
        QLineEdit* edit = b.view.CellEdit();
        QVERIFY(edit->isVisible());
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClicks(edit, "X");
        QCOMPARE(b.Name(4), b.Cell(4, 2).toStdString());
        QVERIFY(b.Name(4).ends_with("X"));
        edit->clear();
        QTest::keyClicks(edit, QString(40, 'a'));
        QCOMPARE(b.Name(4), std::string(31, 'a'));
        // Double-byte text: the box takes no more than the field holds, never half a character.
        edit->clear();
        for (QChar c : QString::fromUtf8("断路器合位断路器合位断路器合位断路器")) {
            QInputMethodEvent typed;  // as an input method commits each character
            typed.setCommitString(QString(c));
            QCoreApplication::sendEvent(edit, &typed);
        }
        QCOMPARE(FieldText(b.Rec().signalNames[4], SignalNameSize).size(), std::size_t(30));
        QCOMPARE(QString::fromStdString(b.Name(4)), edit->text());
        QCOMPARE(b.Name(5), b.Cell(5, 2).toStdString());  // neighbours untouched
        // A double-click opens the box with the keyboard in it and the name selected, so
        // typing replaces the name.
        const QRect cell = b.view.visualRect(b.view.model()->index(6, 2));
        QTest::mouseClick(b.view.viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(b.view.viewport(), Qt::LeftButton, {}, cell.center());
        QVERIFY(edit->isVisible());
        QCOMPARE(edit->window()->focusWidget(), edit);
        QCOMPARE(edit->selectedText(), QString::fromStdString(b.Name(6)));
    }

    void editorsOnlyInsideTheList() {
        Bench b;
        b.Show(KindSignalNames);
        b.doc.SetModified(0);
        b.view.OpenEditor();  // no row has changed state yet
        QCOMPARE(b.view.CurrentRow(), -1);
        QVERIFY(b.view.CellEdit()->isHidden());
        b.view.selectRow(60);
        b.Show(KindDeviceAddress);  // the row survives the page change but is not on this page
        QCOMPARE(b.view.CurrentRow(), 60);
        b.view.OpenEditor();
        QVERIFY(b.view.CellEdit()->isHidden());
        QCOMPARE(b.doc.Modified(), uint8_t(0));
        // The list shrinks behind an open editor: typing writes no entry beyond the list.
        b.Show(KindSignalNames);
        b.Open(64);
        const std::string before(b.Rec().signalNames[64], SignalNameSize);
        b.Rec().signalCount = 10;
        QTest::keyClicks(b.view.CellEdit(), "zz");
        QCOMPARE(std::string(b.Rec().signalNames[64], SignalNameSize), before);
        QVERIFY(b.view.CellCombo()->isHidden());
        b.Show(KindInputStatus);
        b.Open(3);
        b.Show(KindEventLog);
        b.view.OpenEditor();
        QVERIFY(b.view.CellEdit()->isHidden() && b.view.CellCombo()->isHidden());
    }

    void keyboardOpensAndPutsAwayTheEditors() {
        Bench b;
        b.view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&b.view));
        b.Show(KindDeviceAddress);
        b.view.setFocus();
        b.view.selectRow(0);
        QTest::keyClick(&b.view, Qt::Key_F2);
        QVERIFY(!b.view.CellEdit()->isHidden());
        QVERIFY(b.view.CellEdit()->hasFocus());
        QTest::keyClicks(b.view.CellEdit(), "42");  // the text was selected: typing replaces it
        QCOMPARE(b.Rec().address, int16_t(42));
        QTest::keyClick(b.view.CellEdit(), Qt::Key_Escape);
        QVERIFY(b.view.CellEdit()->isHidden());
        QCOMPARE(b.Rec().address, int16_t(42));  // putting the editor away reverts nothing
        QVERIFY(b.view.hasFocus());

        // Enter on a port row opens its list with the keyboard in it.
        b.Show(KindPortB1);
        b.view.setFocus();
        b.view.selectRow(1);
        QTest::keyClick(&b.view, Qt::Key_Return);
        QComboBox* combo = b.view.CellCombo();
        QVERIFY(!combo->isHidden());
        QVERIFY(combo->hasFocus());
        QCOMPARE(combo->currentText(), QString("8"));
        QTest::keyClick(combo, Qt::Key_Escape);
        QVERIFY(combo->isHidden());

        // Pages without editors stay as they are.
        b.Show(KindInputStatus);
        b.view.setFocus();
        b.view.selectRow(2);
        QTest::keyClick(&b.view, Qt::Key_F2);
        QVERIFY(b.view.CellEdit()->isHidden() && b.view.CellCombo()->isHidden());
    }

    void portCombos() {
        Bench b;
        DeviceRecord& r = b.Rec();
        r.baudRate[1] = 38400;
        b.Show(KindPortB2);
        // A double-click on the name column of the parity row opens the parity list over Data.
        const QRect nameCell = b.view.visualRect(b.view.model()->index(3, 1));
        QTest::mouseClick(b.view.viewport(), Qt::LeftButton, {}, nameCell.center());
        QTest::mouseDClick(b.view.viewport(), Qt::LeftButton, {}, nameCell.center());
        QComboBox* combo = b.view.CellCombo();
        QVERIFY(combo->isVisible());
        QCOMPARE(combo->geometry(), b.view.visualRect(b.view.model()->index(3, 2)));
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(2), QString("ODD"));
        QCOMPARE(combo->currentIndex(), int(r.parity[1]));

        b.Open(0);
        QCOMPARE(combo->count(), 5);
        QCOMPARE(combo->currentIndex(), -1);  // 38400 is not in the list
        b.Choose(3);
        QCOMPARE(r.baudRate[1], 57600u);
        QCOMPARE(b.Cell(0, 2), QString("57600"));

        const DeviceRecord before = r;
        b.doc.SetModified(0);
        b.Open(1);
        QCOMPARE(combo->currentIndex(), 0);
        b.Choose(1);
        QCOMPARE(r.dataBits[1], uint8_t(9));
        QCOMPARE(b.doc.Modified(), uint8_t(1));
        DeviceRecord expected = before;
        expected.dataBits[1] = 9;
        QVERIFY(std::memcmp(&expected, &r, sizeof r) == 0);

        b.Open(4);
        b.Choose(1);
        b.Open(2);
        b.Choose(2);
        QCOMPARE(int(r.protocol[1]), 1);
        QCOMPARE(int(r.stopBits[1]), 2);
        QCOMPARE(int(r.stopBits[0]), 0);
    }

    void timeSyncCombo() {
        Bench b(LangEnglish);
        b.Rec().timeSync = 9;
        b.Show(KindTimeSync);
        b.Open(0);
        QComboBox* combo = b.view.CellCombo();
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->itemText(0), QString("IRIG B"));
        b.doc.SetModified(0);
        b.Choose(2);
        QCOMPARE(int(b.Rec().timeSync), 2);
        QCOMPARE(b.Cell(0, 2), QString("None"));
        QCOMPARE(b.doc.Modified(), uint8_t(1));
    }

    void cpuChoiceThenExecute() {
        Bench b(LangEnglish);
        b.Show(KindCpuSupervision);
        b.doc.SetModified(0);
        b.Open(0);
        QCOMPARE(b.view.CellCombo()->currentIndex(), 0);
        QCOMPARE(b.view.CellCombo()->itemText(1), QString("On"));
        b.Choose(1);
        QCOMPARE(b.Cell(0, 2), QString("On"));
        QCOMPARE(b.doc.CpuFailureTest(), 1);
        QCOMPARE(b.doc.Modified(), uint8_t(0));
        QTest::mouseClick(b.view.ExecuteButton(), Qt::LeftButton);
        QCOMPARE(b.sink.frames.size(), std::size_t(1));
        const std::vector<uint8_t> f = b.sink.frames[0];
        const FrameHeader h = DecodeHeader(f.data(), f.size());
        QCOMPARE(h.function, FC_OUTPUT_TEST);
        QCOMPARE(h.type, TYPE_WRITE);
        uint8_t on[OutputTestRequestSize];
        WriteOutputTestPayload(on, 1);
        const auto data = FrameData(f.data(), h);
        QVERIFY(data.size() == sizeof on && std::memcmp(data.data(), on, sizeof on) == 0);
        b.view.RunCommand(CMacListView::CmdOutputTest);  // "DO Output" sends the same
        QCOMPARE(b.sink.frames.size(), std::size_t(2));
        QCOMPARE(b.sink.frames[1], f);
    }

    void editorsHideWithoutReverting() {
        Bench b;
        b.Show(KindSignalNames);
        b.Open(2);
        QTest::keyClicks(b.view.CellEdit(), "Q");
        const std::string typed = b.Name(2);
        b.view.selectRow(7);
        QVERIFY(b.view.CellEdit()->isHidden());
        QCOMPARE(b.view.CurrentRow(), 7);
        QCOMPARE(b.Name(2), typed);
        // Deselecting a row makes it the editors' row too.
        b.view.selectionModel()->select(b.view.model()->index(7, 0),
                                        QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        QCOMPARE(b.view.CurrentRow(), 7);
        // A range chosen upwards with the mouse: the row clicked last is the editors' row.
        const auto centre = [&b](int row) {
            return b.view.visualRect(b.view.model()->index(row, 0)).center();
        };
        QTest::mouseClick(b.view.viewport(), Qt::LeftButton, {}, centre(9));
        QTest::mouseClick(b.view.viewport(), Qt::LeftButton, Qt::ShiftModifier, centre(4));
        QCOMPARE(b.view.selectionModel()->selectedRows().size(), 6);
        QCOMPARE(b.view.CurrentRow(), 4);

        b.view.OpenEditor();
        QWheelEvent wheel(QPointF(10, 10), b.view.viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(b.view.viewport(), &wheel);
        QVERIFY(b.view.CellEdit()->isHidden());

        b.view.OpenEditor();
        b.view.horizontalScrollBar()->setValue(b.view.horizontalScrollBar()->maximum());
        QVERIFY(b.view.CellEdit()->isVisible());
        b.view.verticalScrollBar()->setValue(b.view.verticalScrollBar()->value() + 3);
        QVERIFY(b.view.CellEdit()->isHidden());
        QCOMPARE(b.Name(2), typed);
    }

    void signalMenuGraying() {
        Bench b(LangEnglish);
        b.Show(KindSignalNames);
        std::unique_ptr<QMenu> menu(b.view.BuildContextMenu());
        QStringList texts;
        for (QAction* a : menu->actions()) texts << a->text();
        QCOMPARE(texts, QStringList({"Cut(X)", "Copy(C)", "Paste(V)", "Delete(D)", "Add New Item", "",
                                     "Import Signal Names…", "Export Signal Names…"}));
        QCOMPARE(b.MenuEnabled(), QList<bool>({false, false, false, false, true, true, true, true}));
        b.SelectRows({3});
        b.view.RunCommand(CMacListView::CmdCopy);
        QCOMPARE(b.doc.SignalClipboardCount(), uint16_t(1));
        b.SelectRows({3});
        QCOMPARE(b.MenuEnabled(), QList<bool>({true, true, true, true, true, true, true, true}));
        b.view.clearSelection();
        b.view.RunCommand(CMacListView::CmdCopy);  // copy with nothing selected empties it
        QCOMPARE(b.doc.SignalClipboardCount(), uint16_t(0));
        QCOMPARE(b.MenuEnabled(), QList<bool>({false, false, false, false, true, true, true, true}));
        b.doc.SetLanguage(LangChinese);
        menu.reset(b.view.BuildContextMenu());
        QCOMPARE(menu->actions().at(4)->text(), QString("添加新项"));
        b.Show(KindPortB1);
        QVERIFY(b.view.BuildContextMenu() == nullptr);
    }

    void rowCommands() {
        Bench b;
        b.Show(KindSignalNames);
        std::vector<std::string> expected = b.Names();
        b.SelectRows({5, 2});
        b.view.RunCommand(CMacListView::CmdDelete);
        expected.erase(expected.begin() + 5);
        expected.erase(expected.begin() + 2);
        QCOMPARE(b.Names(), expected);
        QCOMPARE(b.view.rowCount(), int(expected.size()));
        QCOMPARE(b.Cell(2, 2).toStdString(), expected[2]);
        QVERIFY(b.view.selectionModel()->selectedRows().isEmpty());

        b.SelectRows({10, 20, 30});
        b.view.RunCommand(CMacListView::CmdCopy);
        const std::vector<std::string> copied{expected[10], expected[20], expected[30]};
        b.SelectRows({4});
        b.view.RunCommand(CMacListView::CmdPaste);
        expected.insert(expected.begin() + 4, copied.begin(), copied.end());
        QCOMPARE(b.Names(), expected);
        QCOMPARE(b.Cell(7, 2).toStdString(), expected[7]);

        b.view.clearSelection();
        b.view.RunCommand(CMacListView::CmdAddItem);
        expected.push_back(" ");
        QCOMPARE(b.Names(), expected);
        QCOMPARE(b.view.rowCount(), int(expected.size()));

        // The list holds 72 names; Add and Paste then insert nothing more.
        while (b.Rec().signalCount < MaxSignalNames) b.view.RunCommand(CMacListView::CmdAddItem);
        b.SelectRows({0});
        b.view.RunCommand(CMacListView::CmdAddItem);
        b.view.RunCommand(CMacListView::CmdPaste);
        QCOMPARE(int(b.Rec().signalCount), MaxSignalNames);
        QCOMPARE(b.view.rowCount(), MaxSignalNames);
    }

    void ctrlKeysOnSignalPage() {
        Bench b;
        b.Show(KindSignalNames);
        b.view.setFocus();
        const std::string third = b.Name(3);
        b.SelectRows({3});
        QTest::keyClick(&b.view, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(b.doc.SignalClipboardCount(), uint16_t(1));
        QCOMPARE(int(b.Rec().signalCount), NewDeviceSignalCount - 1);
        b.SelectRows({0});
        QTest::keyClick(&b.view, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(b.Name(0), third);
        b.SelectRows({0});
        QTest::keyClick(&b.view, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(int(b.Rec().signalCount), NewDeviceSignalCount - 1);
        b.view.clearSelection();
        QTest::keyClick(&b.view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(b.doc.SignalClipboardCount(), uint16_t(0));
        // Ctrl+V works even where the menu grays Paste: it still marks the project.
        b.doc.SetModified(0);
        QTest::keyClick(&b.view, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(b.doc.Modified(), uint8_t(1));
        QCOMPARE(int(b.Rec().signalCount), NewDeviceSignalCount - 1);
        // Other pages: the keys do nothing to the names.
        b.Show(KindInputStatus);
        b.SelectRows({1});
        QTest::keyClick(&b.view, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(int(b.Rec().signalCount), NewDeviceSignalCount - 1);
    }

    void ctrlKeysWhileEditBoxShown() {
        Bench b;
        b.Show(KindSignalNames);
        b.Open(6);
        QLineEdit* edit = b.view.CellEdit();
        const uint16_t clipboardCount = b.doc.SignalClipboardCount();
        edit->setSelection(0, 3);
        b.view.setFocus();
        QTest::keyClick(&b.view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), edit->text().left(3));
        QCOMPARE(b.doc.SignalClipboardCount(), clipboardCount);
        const int count = b.Rec().signalCount;
        QTest::keyClick(&b.view, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(int(b.Rec().signalCount), count);
        QGuiApplication::clipboard()->setText("pasted");
        edit->selectAll();
        QTest::keyClick(&b.view, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(b.Name(6), std::string("pasted"));
        QCOMPARE(int(b.Rec().signalCount), count);
    }

    void eventLogRefresh() {
        Bench b(LangEnglish);
        b.Show(KindEventLog);
        std::unique_ptr<QMenu> menu(b.view.BuildContextMenu());
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions().at(0)->text(), QString("Refresh"));
        QCOMPARE(menu->actions().at(1)->text(), QString("Export CSV…"));
        // Export needs events, not the link.
        QCOMPARE(b.MenuEnabled(), QList<bool>({false, false}));
        b.Rec().eventCount = 1;
        QCOMPARE(b.MenuEnabled(), QList<bool>({false, true}));
        b.view.RunCommand(CMacListView::CmdRefresh);
        QVERIFY(b.sink.frames.empty());
        b.sink.connected = true;
        QCOMPARE(b.MenuEnabled(), QList<bool>({true, true}));
        b.view.RunCommand(CMacListView::CmdRefresh);
        QCOMPARE(b.sink.frames.size(), std::size_t(1));
        const FrameHeader h = DecodeHeader(b.sink.frames[0].data(), b.sink.frames[0].size());
        QCOMPARE(h.function, FC_EVENT_LOG);
        QCOMPARE(h.type, TYPE_READ);
        QCOMPARE(h.segment, uint16_t(0));
    }

    void accessibleNames() {
        Bench b(LangEnglish);
        b.Show(KindPortB1);
        b.Open(2);
        QCOMPARE(b.view.CellCombo()->accessibleName(), QString("Stop bits"));
        b.Show(KindDeviceAddress);
        b.Open(0);
        QCOMPARE(b.view.CellEdit()->accessibleName(), QString("Device Address"));
        b.Show(KindCpuSupervision);
        QCOMPARE(b.view.ExecuteButton()->accessibleName(), QString("Execute"));
    }
};

QTEST_MAIN(TestMacListViewEdit)
#include "tst_maclistview_edit.moc"
