// The Execute button of the CPU supervision page in the real main window, for a person
// without a mouse: Tab reaches it from the list and Shift+Tab goes back, Space and Enter run
// the output test, and a screen reader walking the window finds it as a named push button.
#include <QAccessible>
#include <QApplication>
#include <QPushButton>
#include <QToolBar>
#include <QtTest>

#include "link/engine.h"
#include "link/frame.h"
#include "model/doc.h"
#include "model/texts.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"
#include "ui/views/maclistview.h"
#include "ui/views/macview.h"

using namespace corvix;

namespace {

// Depth-first through the accessible tree, as a screen reader reads a window.
QAccessibleInterface* FindAccessible(QAccessibleInterface* node, QAccessible::Role role, const QString& name,
                                     int depth = 0) {
    if (!node || depth > 40) return nullptr;
    if (node->role() == role && node->text(QAccessible::Name) == name) return node;
    for (int i = 0; i < node->childCount(); ++i)
        if (QAccessibleInterface* found = FindAccessible(node->child(i), role, name, depth + 1)) return found;
    return nullptr;
}

}  // namespace

class TestMacListViewKeys : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

  private:
    bool OutputTestSent() {
        const std::span<const uint8_t> sent = frame->Engine().OutgoingFrame();
        if (sent.empty()) return false;
        const FrameHeader h = DecodeHeader(sent.data(), sent.size());
        return h.function == FC_OUTPUT_TEST && h.type == TYPE_WRITE;
    }

  private slots:
    void cleanup() { CloseFrame(); }

    void executeButtonWorksWithoutAMouse() {
        for (int lang : {LangChinese, LangEnglish}) {
            OpenFrame();
            doc->SetLanguage(lang);
            frame->show();
            QVERIFY(QTest::qWaitForWindowActive(frame.get()));
            frame->RunCommand(CMainFrame::IdNewProject);
            frame->Tree()->setCurrentItem(frame->Tree()->FindNode(KindCpuSupervision));
            CMacListView* list = frame->List();
            QPushButton* button = list->ExecuteButton();
            QVERIFY(button->isVisible());
            const QString name = QString::fromUtf8(Pick(txt::ListExecute, lang));
            QCOMPARE(button->text(), name);

            // Where the page places it: over the first row's fourth cell.
            const QRect cell = list->visualRect(list->model()->index(0, 3));
            QCOMPARE(button->mapToGlobal(QPoint(0, 0)), list->viewport()->mapToGlobal(cell.topLeft()));
            QCOMPARE(button->size(), cell.size());

            list->setFocus(Qt::OtherFocusReason);
            QTest::keyClick(list, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(button));
            QTest::keyClick(button, Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));

            QTest::keyClick(list, Qt::Key_Tab);
            QVERIFY(!OutputTestSent());
            QTest::keyClick(button, Qt::Key_Space);
            QVERIFY(OutputTestSent());

            QAccessibleInterface* found =
                FindAccessible(QAccessible::queryAccessibleInterface(frame.get()), QAccessible::Button, name);
            QVERIFY2(found, "the Execute button is not in the window's accessible tree");
            QCOMPARE(found->object(), static_cast<QObject*>(button));
            QVERIFY(found->state().focusable);

            // It follows the list when the window's layout moves it, and leaves with the page.
            frame->ToolBar()->setVisible(!frame->ToolBar()->isVisible());
            QTRY_COMPARE(button->mapToGlobal(QPoint(0, 0)), list->viewport()->mapToGlobal(cell.topLeft()));
            QWidget* splitter = list->parentWidget();  // moved alone, the list itself does not move
            splitter->move(splitter->pos() + QPoint(0, 7));
            QCOMPARE(button->mapToGlobal(QPoint(0, 0)), list->viewport()->mapToGlobal(cell.topLeft()));
            frame->Tree()->setCurrentItem(frame->Tree()->FindNode(KindDeviceAddress));
            QVERIFY(!button->isVisible());
            CloseFrame();
        }
    }

    void enterRunsTheOutputTest() {
        OpenFrame();
        frame->show();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        frame->RunCommand(CMainFrame::IdNewProject);
        frame->Tree()->setCurrentItem(frame->Tree()->FindNode(KindCpuSupervision));
        QPushButton* button = frame->List()->ExecuteButton();
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Return);
        QVERIFY(OutputTestSent());
    }
};

QTEST_MAIN(TestMacListViewKeys)
#include "tst_maclistview_keys.moc"
