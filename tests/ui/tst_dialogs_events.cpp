// SPDX-License-Identifier: Apache-2.0
// The event window through the main window: created by the command or by arriving events,
// the showing rules, Hide, Clear, No Eject, closing, the menu check mark, and the texts.
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>
#include <memory>
#include <optional>

#include "link/engine.h"
#include "model/doc.h"
#include "ui/dialogs/comminfownd.h"
#include "ui/dialogs/infodlg.h"
#include "ui/dialogs/sysmdlg.h"
#include "ui/frame/mainframe.h"
#include "ui/tst_dialogs_support.h"
#include "ui/ui_test_helper.h"

using namespace corvix;
using corvix::test::MakeEvent;
using corvix::test::NewEventsReply;

namespace {

const std::string Rising = "事件：2012.05.10 08:15:30.123\r\n           IN1    分->合\r\n";
const std::string Falling = "事件：2012.05.10 08:15:31.004\r\n           OUT2    合->分\r\n";

}  // namespace

class TestDialogsEvents : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

  private:
    CInfoDlg* Window() const { return qobject_cast<CInfoDlg*>(frame->eventWindow.data()); }
    bool Checked() const { return frame->Action(CMainFrame::IdEventWindow)->isChecked(); }

    void Arrive(const std::vector<WireEvent>& events) {
        const std::vector<uint8_t> reply = NewEventsReply(events);
        frame->Engine().OnReceived(reply.data(), reply.size());
    }
    void ArriveRising() { Arrive({MakeEvent("IN1", 2012, 5, 10, 8, 15, 30, 123, true)}); }
    void ArriveFalling() { Arrive({MakeEvent("OUT2", 2012, 5, 10, 8, 15, 31, 4, false)}); }

  private slots:
    void init() {
        OpenFrame();
        frame->show();
    }

    void cleanup() { CloseFrame(); }

    void commandShowsAndHidesTheWindow() {
        QVERIFY(!Window());
        frame->RunCommand(CMainFrame::IdEventWindow);
        CInfoDlg* window = Window();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(!window->isModal());
        QCOMPARE(frame->eventWindowVisible, 1);
        QVERIFY(Checked());
        QCOMPARE(window->windowTitle(), QString("信息显示"));
        QCOMPARE(window->NoEjectBox()->text(), QString("不主动弹出"));
        QCOMPARE(window->HideButton()->text(), QString("隐藏"));
        QCOMPARE(window->ClearButton()->text(), QString("清除"));
        QVERIFY(!window->NoEjectBox()->isChecked());
        QCOMPARE(window->Text(), std::string());
        QVERIFY(!window->TextBox()->accessibleName().isEmpty());
        QCOMPARE(frame->autoShowEvents, 1);

        frame->RunCommand(CMainFrame::IdEventWindow);
        QCOMPARE(Window(), window);  // hidden, not destroyed
        QVERIFY(!window->isVisible());
        QCOMPARE(frame->eventWindowVisible, 0);
        QVERIFY(!Checked());

        // The menu shows the mark when it opens.
        frame->RunCommand(CMainFrame::IdEventWindow);
        frame->Menu(2)->aboutToShow();
        QVERIFY(Checked());
    }

    void englishWindowAndLinesFollowTheirOwnLanguage() {
        doc->SetLanguage(LangEnglish);
        frame->RunCommand(CMainFrame::IdEventWindow);
        CInfoDlg* window = Window();
        QCOMPARE(window->windowTitle(), QString("Information"));
        QCOMPARE(window->NoEjectBox()->text(), QString("No Eject"));
        QCOMPARE(window->HideButton()->text(), QString("Hide"));
        QCOMPARE(window->ClearButton()->text(), QString("Clear"));
        // Lines follow the language of the moment they are written, not the window's.
        ArriveRising();
        doc->SetLanguage(LangChinese);
        ArriveFalling();
        QCOMPARE(window->Text(),
                 std::string("Event：2012.05.10 08:15:30.123\r\n           IN1    Off->On\r\n") + Falling);
        QCOMPARE(window->windowTitle(), QString("Information"));
    }

    void arrivingEventsCreateAndShowTheWindow() {
        ArriveRising();
        CInfoDlg* window = Window();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(frame->eventWindowVisible, 1);
        QCOMPARE(frame->autoShowEvents, 1);
        QVERIFY(Checked());
        QCOMPARE(window->Text(), Rising);
        QCOMPARE(frame->eventText, Rising);

        // Two events of one block, in order, and the last line in view.
        for (int i = 0; i < 40; ++i) ArriveFalling();
        Arrive({MakeEvent("IN1", 2012, 5, 10, 8, 15, 30, 123, true),
                MakeEvent("OUT2", 2012, 5, 10, 8, 15, 31, 4, false)});
        const std::string text = window->Text();
        QVERIFY(text.size() > 2 * Rising.size());
        QCOMPARE(text.substr(text.size() - Rising.size() - Falling.size()), Rising + Falling);
        QCOMPARE(frame->eventText, text);
        QScrollBar* bar = window->TextBox()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
    }

    void hiddenByHideComesBackWithEvents() {
        ArriveRising();
        CInfoDlg* window = Window();
        QTest::mouseClick(window->HideButton(), Qt::LeftButton);
        QVERIFY(!window->isVisible());
        QCOMPARE(frame->eventWindowVisible, 0);
        QVERIFY(!Checked());
        ArriveFalling();
        QVERIFY(window->isVisible());
        QCOMPARE(frame->eventWindowVisible, 1);
        QCOMPARE(window->Text(), Rising + Falling);
    }

    void clearThenTheNextEventStartsOnLineTwo() {
        ArriveRising();
        CInfoDlg* window = Window();
        QTest::mouseClick(window->ClearButton(), Qt::LeftButton);
        QCOMPARE(window->Text(), std::string("  \r\n"));
        QCOMPARE(window->TextBox()->toPlainText(), QString("  \n"));
        ArriveFalling();
        QCOMPARE(window->Text(), "  \r\n" + Falling);
        QCOMPARE(window->TextBox()->document()->findBlockByNumber(1).text(),
                 QString("事件：2012.05.10 08:15:31.004"));
        // What the user typed into the box stays and the next events follow it.
        window->TextBox()->setPlainText("note\n");
        ArriveRising();
        QCOMPARE(window->Text(), "note\r\n" + Rising);
        QCOMPARE(frame->eventText, "note\r\n" + Rising);
    }

    void noEjectKeepsTheWindowHidden() {
        frame->RunCommand(CMainFrame::IdEventWindow);
        CInfoDlg* window = Window();
        QTest::mouseClick(window->NoEjectBox(), Qt::LeftButton, {},
                          QPoint(6, window->NoEjectBox()->height() / 2));
        QCOMPARE(frame->autoShowEvents, 0);
        QVERIFY(window->NoEjectBox()->isChecked());
        QTest::mouseClick(window->HideButton(), Qt::LeftButton);

        ArriveRising();
        ArriveFalling();
        QVERIFY(!window->isVisible());
        QCOMPARE(frame->eventWindowVisible, 0);
        QVERIFY(!Checked());
        // The command shows it with every event in it.
        frame->RunCommand(CMainFrame::IdEventWindow);
        QVERIFY(window->isVisible());
        QCOMPARE(window->Text(), Rising + Falling);

        // While shown, events leave it shown; a second click on the box turns showing back on.
        ArriveRising();
        QVERIFY(window->isVisible());
        QTest::mouseClick(window->NoEjectBox(), Qt::LeftButton, {},
                          QPoint(6, window->NoEjectBox()->height() / 2));
        QCOMPARE(frame->autoShowEvents, 1);
        QVERIFY(!window->NoEjectBox()->isChecked());
    }

    void closingDestroysAndEventsRecreate() {
        frame->RunCommand(CMainFrame::IdEventWindow);
        QPointer<CInfoDlg> window = Window();
        window->NoEjectBox()->click();
        QCOMPARE(frame->autoShowEvents, 0);
        ArriveRising();
        window->close();  // the close box
        QVERIFY(frame->eventWindow.isNull());
        QCOMPARE(frame->eventWindowVisible, 0);
        QCOMPARE(frame->autoShowEvents, 0);  // stays
        QVERIFY(!Checked());
        QTRY_VERIFY(window.isNull());

        // The command re-creates it without touching automatic showing; the box shows that.
        frame->RunCommand(CMainFrame::IdEventWindow);
        window = Window();
        QVERIFY(window->NoEjectBox()->isChecked());
        QCOMPARE(window->Text(), std::string());  // the old text went with the window
        QTest::keyClick(window, Qt::Key_Escape);  // Esc closes too
        QVERIFY(frame->eventWindow.isNull());
        QCOMPARE(frame->eventWindowVisible, 0);
        QTRY_VERIFY(window.isNull());

        // Events re-create it, show it and turn automatic showing back on.
        ArriveFalling();
        window = Window();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(frame->autoShowEvents, 1);
        QCOMPARE(frame->eventWindowVisible, 1);
        QVERIFY(!window->NoEjectBox()->isChecked());
        QCOMPARE(window->Text(), Falling);
        QCOMPARE(frame->eventText, Falling);  // the old window's text is not carried over

        // Enter does not end the window behind the frame's back.
        window->NoEjectBox()->setFocus();
        QTest::keyClick(window, Qt::Key_Return);
        QVERIFY(window->isVisible());
        QCOMPARE(frame->eventWindowVisible, 1);
        // Nor does it break a line of the event text where the text box has the focus.
        QTest::keyClick(window->TextBox(), Qt::Key_Return);
        QTest::keyClick(window->TextBox(), Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(window->isVisible());
        QCOMPARE(window->Text(), Falling);
        ArriveRising();
        QCOMPARE(window->Text(), Falling + Rising);

        // Exit destroys it.
        frame->RunCommand(CMainFrame::IdExit);
        QVERIFY(window.isNull());
        QCOMPARE(frame->eventWindowVisible, 0);
    }

    // Export CSV… writes the events the window lists and nothing it no longer shows: not what
    // Clear took away, not an event whose lines were deleted by hand, not a closed window's.
    void exportWritesWhatTheWindowLists() {
        QTemporaryDir dir;
        const std::string path = dir.filePath("events.csv").toStdString();
        frame->askCsvPath = [path] { return std::optional<std::string>(path); };
        // Number, time and signal of each row written; "none" when nothing was written.
        auto exported = [&]() -> QStringList {
            QFile::remove(QString::fromStdString(path));
            QTest::mouseClick(Window()->ExportButton(), Qt::LeftButton);
            if (!QFile::exists(QString::fromStdString(path))) return {"none"};
            QStringList rows = QString::fromStdString(test::ReadFileBytes(path)).split("\r\n", Qt::SkipEmptyParts);
            rows.removeFirst();  // the title row
            for (QString& row : rows) row = row.section(',', 0, 2);
            return rows;
        };
        const QString rising = "2012-05-10T08:15:30.123,IN1";
        const QString falling = "2012-05-10T08:15:31.004,OUT2";

        ArriveRising();
        ArriveFalling();
        QCOMPARE(exported(), (QStringList{"1," + rising, "2," + falling}));
        QTest::mouseClick(Window()->HideButton(), Qt::LeftButton);  // hidden, it still lists them
        frame->RunCommand(CMainFrame::IdEventWindow);
        QCOMPARE(exported(), (QStringList{"1," + rising, "2," + falling}));

        QTest::mouseClick(Window()->ClearButton(), Qt::LeftButton);
        QCOMPARE(exported(), QStringList{"none"});
        QCOMPARE(ui->MessageTexts().back(), std::string("没有可导出的事件"));
        ArriveFalling();
        ArriveRising();
        QCOMPARE(exported(), (QStringList{"1," + falling, "2," + rising}));

        // The first event's two lines deleted by hand; a note typed above the rest.
        QTextCursor cursor(Window()->TextBox()->document()->findBlockByNumber(1));
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, 2);
        cursor.removeSelectedText();
        cursor.insertText("note\n");
        QCOMPARE(Window()->Text(), "  \r\nnote\r\n" + Rising);
        QCOMPARE(exported(), QStringList{"1," + rising});
        // An event's first line changed by hand no longer lists it.
        ArriveFalling();
        QTextCursor edit(Window()->TextBox()->document()->findBlockByNumber(4));
        edit.insertText("x");
        QCOMPARE(exported(), QStringList{"1," + rising});
        // Everything selected and deleted: nothing is listed.
        Window()->TextBox()->selectAll();
        Window()->TextBox()->textCursor().removeSelectedText();
        QCOMPARE(exported(), QStringList{"none"});

        // A closed window takes its events along; a new one lists only what came since.
        ArriveRising();
        Window()->close();
        frame->RunCommand(CMainFrame::IdEventWindow);
        QCOMPARE(exported(), QStringList{"none"});
        ArriveFalling();
        QCOMPARE(exported(), QStringList{"1," + falling});
        frame->askCsvPath = {};
    }

    void rejectedSegmentStillShowsTheWindow() {
        // 21 events claimed: the block is ignored, yet the window has been brought up.
        std::vector<WireEvent> many(21, MakeEvent("X", 2012, 1, 1, 0, 0, 0, 0, true));
        Arrive(many);
        QVERIFY(Window());
        QVERIFY(Window()->isVisible());
        QCOMPARE(Window()->Text(), std::string());
    }

    // Ctrl+V with a clipboard nobody owns (it offers no format at all) leaves the text boxes
    // of the event window, the communication bar and the user guide as they were; Qt 6.4
    // crashes on it unguarded. A text on the clipboard still pastes.
    void pasteOfAClipboardWithoutTextChangesNothing() {
        ArriveRising();
        CSYSMDlg guide(frame.get());
        guide.show();
        for (QPlainTextEdit* box : {Window()->TextBox(), frame->CommBar()->TextBox(), guide.TextBox()}) {
            QGuiApplication::clipboard()->setMimeData(new QMimeData);
            const QString before = box->toPlainText();
            box->setFocus();
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(box->toPlainText(), before);
            QGuiApplication::clipboard()->setText("pasted");
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            QVERIFY(box->toPlainText().contains("pasted"));
        }
    }
};

QTEST_MAIN(TestDialogsEvents)
#include "tst_dialogs_events.moc"
