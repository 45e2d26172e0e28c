// SPDX-License-Identifier: Apache-2.0
// Undo and redo in the window: the Edit menu and its tool-bar buttons in both languages, the
// keys (the cell editor keeps its own Ctrl+Z), and the place a step changed shown afterwards.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QtTest>

#include "model/doc.h"
#include "model/gbk.h"
#include "model/pages.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"
#include "ui/views/maclistview.h"
#include "ui/views/macview.h"

using namespace corvix;

namespace {

QStringList BarTitles(CMainFrame& frame) {
    QStringList titles;
    for (QAction* action : frame.menuBar()->actions()) titles << action->text();
    return titles;
}

QStringList EditItems(CMainFrame& frame) {
    emit frame.EditMenu()->aboutToShow();
    return {frame.UndoAction()->text(), frame.RedoAction()->text()};
}

}  // namespace

class TestUndo : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

    // A new project of three devices named 1, B and C, the first device's address page shown.
    void ThreeDevices() {
        frame->RunCommand(CMainFrame::IdNewProject);
        for (const char* name : {"B", "C"}) {
            ui->names.push_back(std::string(name));
            doc->AddDevice();
        }
    }
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

  private slots:
    void init() {
        OpenFrame();
        frame->show();
        frame->activateWindow();  // window shortcuts need the active window
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
    }
    void cleanup() { CloseFrame(); }

    void editMenuNamesTheStepInBothLanguages() {
        QCOMPARE(BarTitles(*frame), (QStringList{"系统", "工程", "编辑(&E)", "视图(&V)", "帮助(&H)"}));
        QCOMPARE(EditItems(*frame), (QStringList{"撤销", "重做"}));
        QVERIFY(!frame->UndoAction()->isEnabled());
        QVERIFY(!frame->RedoAction()->isEnabled());
        // The buttons follow the existing ones on the tool bar.
        const QList<QAction*> buttons = frame->ToolBar()->actions();
        QVERIFY(buttons.size() > 3);
        QCOMPARE(buttons.indexOf(frame->Action(CMainFrame::IdDisconnect)), buttons.size() - 4);
        QVERIFY(buttons.at(buttons.size() - 3)->isSeparator());
        QCOMPARE(buttons.at(buttons.size() - 2), frame->UndoAction());
        QCOMPARE(buttons.last(), frame->RedoAction());

        ThreeDevices();
        ui->names.push_back(Utf8ToGbk("进线 & 出线"));
        doc->RenameDevice(KindDeviceFirst + 1);
        QCOMPARE(EditItems(*frame), (QStringList{"撤销 «重命名装置 B»", "重做"}));
        frame->UndoAction()->trigger();
        QCOMPARE(EditItems(*frame), (QStringList{"撤销 «添加装置 C»", "重做 «重命名装置 B»"}));
        frame->RunCommand(CMainFrame::IdLanguage);
        QCOMPARE(BarTitles(*frame).at(2), QString("Edit"));
        QCOMPARE(EditItems(*frame), (QStringList{"Undo «Add Device C»", "Redo «Rename Device B»"}));
        QCOMPARE(frame->RedoAction()->toolTip(), QString("Redo «Rename Device B»"));
        frame->RedoAction()->trigger();
        ui->names.push_back(Utf8ToGbk("D"));
        doc->RenameDevice(KindDeviceFirst + 1);
        // An '&' of a name is shown, not taken for a mnemonic.
        QCOMPARE(EditItems(*frame).at(0), QString("Undo «Rename Device 进线 && 出线»"));
        QCOMPARE(frame->UndoAction()->toolTip(), QString("Undo «Rename Device 进线 & 出线»"));
    }

    void keysUndoAndRedoButTheEditorKeepsItsOwnUndo() {
        ThreeDevices();
        SelectPage(0, KindSignalNames);
        frame->List()->setFocus();
        frame->List()->selectRow(0);
        const std::string first = FieldText(doc->Device(0).signalNames[0], SignalNameSize);
        const int names = doc->Device(0).SignalCountClamped();
        // Ctrl+D still deletes rows; Ctrl+Z brings them back, Ctrl+Y and Ctrl+Shift+Z redo.
        QTest::keyClick(frame->List(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(doc->Device(0).SignalCountClamped(), names - 1);
        QTest::keyClick(frame->List(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(doc->Device(0).SignalCountClamped(), names);
        QCOMPARE(FieldText(doc->Device(0).signalNames[0], SignalNameSize), first);
        QTest::keyClick(frame->Tree(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(doc->Device(0).SignalCountClamped(), names - 1);
        QTest::keyClick(frame->Tree(), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(frame->Tree(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(doc->Device(0).SignalCountClamped(), names - 1);

        // In an open editor Ctrl+Z takes back the typing, not the deletion above.
        SelectPage(0, KindDeviceAddress);
        frame->List()->setFocus();
        frame->List()->selectRow(0);
        QTest::keyClick(frame->List(), Qt::Key_F2);
        QLineEdit* edit = frame->List()->CellEdit();
        QVERIFY(edit->isVisible());
        const QString address = edit->text();
        QTest::keyClicks(edit, "99");
        QCOMPARE(int(doc->Device(0).address), 99);
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(edit->text(), address);
        QCOMPARE(QString::number(doc->Device(0).address), address);
        QCOMPARE(doc->Device(0).SignalCountClamped(), names - 1);
        QCOMPARE(doc->History().NextUndo()->kind, StepKind::DeleteSignals);
        // Typing again and leaving the editor: one Ctrl+Z takes the whole edit back.
        edit->selectAll();
        QTest::keyClicks(edit, "12");
        QTest::keyClick(edit, Qt::Key_Escape);
        QCOMPARE(int(doc->Device(0).address), 12);
        frame->List()->setFocus();
        QTest::keyClick(frame->List(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(QString::number(doc->Device(0).address), address);
        QCOMPARE(doc->History().NextUndo()->kind, StepKind::DeleteSignals);
    }

    void undoShowsTheDeviceAndPageItChanged() {
        ThreeDevices();
        SelectPage(2, KindPortB2);
        const PageTarget target = doc->EditTarget();
        QVERIFY(StoreChoice(*FindPage(KindPortB2), target, 0, 4, doc->Language()).projectWritten);
        doc->MarkModified(StepKind::ChooseValue);
        frame->ShowPage();
        const QString chosen = frame->List()->item(0, 2)->text();
        SelectPage(0, KindSignalNames);

        frame->UndoAction()->trigger();
        QTreeWidgetItem* current = frame->Tree()->currentItem();
        QVERIFY(current);
        QCOMPARE(CMacView::NodeCode(current), int(KindPortB2));
        QCOMPARE(CMacView::NodeCode(current->parent()->parent()), KindDeviceFirst + 2);
        QCOMPARE(doc->CurrentPage(), int(KindPortB2));
        QCOMPARE(doc->CurrentDeviceId(), KindDeviceFirst + 2);
        QVERIFY(frame->List()->item(0, 2)->text() != chosen);
        frame->RedoAction()->trigger();
        QCOMPARE(frame->List()->item(0, 2)->text(), chosen);

        // A deleted device comes back in the tree, selected, with what was unfolded unfolded.
        doc->DeleteDevice(KindDeviceFirst + 1);
        QCOMPARE(frame->Tree()->topLevelItem(0)->childCount(), 2);
        frame->Tree()->FindNode(KindDeviceFirst)->setExpanded(true);
        frame->UndoAction()->trigger();
        QCOMPARE(frame->Tree()->topLevelItem(0)->childCount(), 3);
        QCOMPARE(frame->Tree()->currentItem()->text(0), QString("B"));
        QVERIFY(frame->Tree()->FindNode(KindDeviceFirst)->isExpanded());
        QVERIFY(!frame->RedoAction()->text().isEmpty());
        QVERIFY(frame->RedoAction()->isEnabled());
    }
};

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
