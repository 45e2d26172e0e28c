// SPDX-License-Identifier: Apache-2.0
// The main window through its commands: start-up state, project commands with a scripted
// file chooser, menus in both languages, the communication bar, the link commands, the
// give-up with the link closed, closing with changes never written, and the Execute button
// for a person without a mouse.
#include <QAccessible>
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "link/comm_link.h"
#include "link/engine.h"
#include "link/frame.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "ui/dialogs/comminfownd.h"
#include "ui/frame/link_status.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"
#include "ui/views/maclistview.h"
#include "ui/views/macview.h"

using namespace corvix;
using corvix::test::TestPty;

namespace {

QStringList MenuTexts(CMainFrame& frame) {
    QStringList texts;
    // In the order of the menu bar.
    for (QAction* item : frame.menuBar()->actions()) {
        QMenu* menu = item->menu();
        texts << menu->title();
        for (QAction* action : menu->actions()) texts << (action->isSeparator() ? "---" : action->text());
    }
    return texts;
}

}  // namespace

class TestMainFrame : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

  private:
    std::string TempPath(const char* name) const { return dir->filePath(name).toStdString(); }

  private slots:
    void init() {
        OpenFrame(true);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    }

    void cleanup() { CloseFrame(); }

    void startUpState() {
        QCOMPARE(frame->Tree()->topLevelItemCount(), 0);
        QCOMPARE(frame->windowTitle(), QString("Corvix - "));
        QVERIFY(!frame->Action(CMainFrame::IdExportProject)->isEnabled());
        QVERIFY(!frame->Action(CMainFrame::IdSaveProject)->isEnabled());
        QCOMPARE(frame->StatusPane()->text(), QString("Off"));
        QCOMPARE(frame->StatusPane()->width(), 400);
        QVERIFY(!frame->CommBar()->isVisible());
        QVERIFY(!frame->Action(CMainFrame::IdConnectionBar)->isChecked());
        QVERIFY(frame->Action(CMainFrame::IdConnect)->isEnabled());
        QVERIFY(!frame->Action(CMainFrame::IdConnect)->isChecked());
        QVERIFY(!frame->Action(CMainFrame::IdDisconnect)->isEnabled());
        QVERIFY(frame->Action(CMainFrame::IdDisconnect)->isChecked());
        QVERIFY(!frame->Action(CMainFrame::IdEventWindow)->isChecked());
        QVERIFY(frame->TimersRunning());
        QCOMPARE(frame->eventWindowVisible, 0);
        QCOMPARE(frame->autoShowEvents, 1);
        QVERIFY(frame->clockWindow.isNull());
        // Tool bar: Import, Save, separator, PC Serial Port, Connect, Disconnect, separator,
        // Undo, Redo.
        const QList<QAction*> tools = frame->ToolBar()->actions();
        QCOMPARE(tools.size(), 9);
        QCOMPARE(tools[0], frame->Action(CMainFrame::IdImportProject));
        QCOMPARE(tools[1], frame->Action(CMainFrame::IdSaveProject));
        QVERIFY(tools[2]->isSeparator());
        QCOMPARE(tools[3], frame->Action(CMainFrame::IdPcSerialPort));
        QCOMPARE(tools[4], frame->Action(CMainFrame::IdConnect));
        QCOMPARE(tools[5], frame->Action(CMainFrame::IdDisconnect));
        QVERIFY(tools[6]->isSeparator());
        QCOMPARE(tools[7], frame->UndoAction());
        QCOMPARE(tools[8], frame->RedoAction());
        for (int i : {0, 1, 3, 4, 5, 7, 8}) QVERIFY(!tools[i]->icon().isNull());
        // The application icon is built in, from the pixel-drawn 16 px one up to 256 px.
        const QList<QSize> iconSizes = frame->windowIcon().availableSizes();
        QVERIFY(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(256, 256)));
        // Accessibility of the panes.
        QVERIFY(!frame->Tree()->accessibleName().isEmpty());
        QVERIFY(!frame->List()->accessibleName().isEmpty());
        QVERIFY(!frame->StatusPane()->accessibleName().isEmpty());
        QVERIFY(!frame->CommBar()->TextBox()->accessibleName().isEmpty());
    }

    void newExportSaveImport() {
        frame->RunCommand(CMainFrame::IdNewProject);
        QCOMPARE(frame->Tree()->topLevelItemCount(), 1);
        QCOMPARE(frame->Tree()->topLevelItem(0)->text(0), QString("新工程"));
        QCOMPARE(doc->CurrentPage(), int(KindDeviceFirst));
        QVERIFY(frame->Action(CMainFrame::IdExportProject)->isEnabled());
        QVERIFY(frame->Action(CMainFrame::IdSaveProject)->isEnabled());
        QCOMPARE(frame->windowTitle(), QString("Corvix - "));

        // Save on a new project asks for a file; cancelling still disables Save.
        frame->RunCommand(CMainFrame::IdSaveProject);
        QCOMPARE(ui->saveAsked, 1);
        QVERIFY(!frame->Action(CMainFrame::IdSaveProject)->isEnabled());
        QVERIFY(frame->RecentFiles().Entries().isEmpty());

        // Export writes the file, names the title after it, leaves Save alone, enters the list.
        const std::string path = TempPath("plant.mac");
        doc->SetModified(1);
        frame->UpdateCommandStates();
        ui->savePaths.push_back(path);
        frame->RunCommand(CMainFrame::IdExportProject);
        QCOMPARE(test::ReadFileBytes(path).size(), std::size_t(ProjectFileSize));
        QCOMPARE(frame->windowTitle(), QString("plant.mac - "));
        QVERIFY(frame->Action(CMainFrame::IdSaveProject)->isEnabled());
        QCOMPARE(frame->RecentFiles().Entries(), QStringList{QString::fromStdString(path)});

        // Rename the project, then import the file back: the old name returns.
        ui->names.push_back(Utf8ToGbk("Renamed"));
        frame->Tree()->setCurrentItem(frame->Tree()->topLevelItem(0));
        frame->Tree()->RunCommand(CMacView::CmdRenameProject);
        QCOMPARE(frame->Tree()->topLevelItem(0)->text(0), QString("Renamed"));
        ui->openPaths.push_back(path);
        frame->RunCommand(CMainFrame::IdImportProject);
        QCOMPARE(frame->Tree()->topLevelItem(0)->text(0), QString("新工程"));
        QCOMPARE(frame->windowTitle(), QString::fromStdString("Corvix-" + path + " - "));
        QVERIFY(!frame->Action(CMainFrame::IdSaveProject)->isEnabled());
        QVERIFY(ui->messages.empty());

        // Ctrl+S with nothing modified does nothing; with a change it saves to the path.
        QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(ui->saveAsked, 2);
        QFile::remove(QString::fromStdString(path));
        doc->SetModified(1);
        QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(ui->saveAsked, 2);  // saved to projectPath without a dialog
        QCOMPARE(test::ReadFileBytes(path).size(), std::size_t(ProjectFileSize));
        QCOMPARE(doc->Modified(), uint8_t(0));
    }

    void importFailureChangesNothing() {
        frame->RunCommand(CMainFrame::IdNewProject);
        const std::string bad = TempPath("bad.mac");
        {
            QFile f(QString::fromStdString(bad));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a project");
        }
        ui->openPaths.push_back(bad);
        frame->RunCommand(CMainFrame::IdImportProject);
        QCOMPARE(ui->MessageTexts(), std::vector<std::string>{"配置文件格式不符"});
        QCOMPARE(frame->Tree()->topLevelItem(0)->text(0), QString("新工程"));
        QVERIFY(frame->RecentFiles().Entries().isEmpty());
        QVERIFY(frame->Action(CMainFrame::IdSaveProject)->isEnabled());

        // Cancelling the chooser changes nothing and shows nothing.
        frame->RunCommand(CMainFrame::IdImportProject);
        QCOMPARE(ui->messages.size(), std::size_t(1));
        QCOMPARE(frame->windowTitle(), QString("Corvix - "));
    }

    void keyboardNewAndImport() {
        QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(frame->Tree()->topLevelItemCount(), 1);
        const std::string path = TempPath("k.mac");
        ui->savePaths.push_back(path);
        frame->RunCommand(CMainFrame::IdExportProject);
        doc->NewProject();
        QCOMPARE(doc->ProjectPath(), std::string());
        ui->openPaths.push_back(path);
        QTest::keyClick(frame.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(ui->openAsked, 1);
        QCOMPARE(doc->ProjectPath(), path);
    }

    void f6MovesBetweenThePanes() {
        frame->activateWindow();
        frame->Tree()->setFocus();
        QTRY_VERIFY(frame->Tree()->hasFocus());
        QTest::keyClick(frame.get(), Qt::Key_F6);
        QTRY_VERIFY(frame->List()->hasFocus());
        QTest::keyClick(frame.get(), Qt::Key_F6, Qt::ShiftModifier);
        QTRY_VERIFY(frame->Tree()->hasFocus());
    }

    void serviceKeysQueueTheServiceHandler() {
        QStringList dialogs;
        frame->runModal = [&dialogs](QDialog& dialog) {
            dialogs << dialog.metaObject()->className();
            return int(QDialog::Rejected);
        };
        frame->activateWindow();
        QTest::keyClick(frame.get(), Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        // Queued: nothing runs inside the key press itself.
        QVERIFY(dialogs.isEmpty());
        QTRY_COMPARE(dialogs, QStringList{"CPWDlg"});
        // Ctrl+P alone and Shift+P alone do nothing.
        QTest::keyClick(frame.get(), Qt::Key_P, Qt::ControlModifier);
        QTest::keyClick(frame.get(), Qt::Key_P, Qt::ShiftModifier);
        QCoreApplication::processEvents();
        QCOMPARE(dialogs.size(), 1);
        // The frame sees the keys of its own modeless windows too.
        frame->RunCommand(CMainFrame::IdInternalClock);
        QWidget* clock = frame->clockWindow.data();
        QVERIFY(clock);
        clock->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(clock));
        QTest::keyClick(clock, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(dialogs.size(), 2);
        QCOMPARE(dialogs.last(), QString("CPWDlg"));
    }

    void menusFollowTheLanguage() {
        const QStringList chinese = MenuTexts(*frame);
        const QStringList expectedChinese = {"系统",     "通讯设置", "串口连接", "串口断开", "自动重连", "---",
                                             "时钟设置", "---",      "退出",     "工程",     "创建工程", "工程导入",
                                             "工程导出", "工程保存", "---",      "与文件比较…", "导出报告…", "---", "读取全部装置", "全部与装置比较", "写入全部装置…",
                                             "检查全部时钟", "设置全部时钟", "读取全部事件记录", "全部事件", "连接设置…", "设置历史选项…", "编辑(&E)", "撤销", "重做", "视图(&V)", "工具栏(&T)",
                                             "状态栏(&S)", "通讯栏", "信息显示", "Enlish",   "帮助(&H)", "使用说明"};
        QCOMPARE(chinese, expectedChinese);

        frame->RunCommand(CMainFrame::IdNewProject);
        frame->RunCommand(CMainFrame::IdLanguage);
        QCOMPARE(doc->Language(), LangEnglish);
        const QStringList english = MenuTexts(*frame);
        const QStringList expectedEnglish = {"Device",
                                             "PC Serial Port",
                                             "Connect with Device",
                                             "Disconnect with Device",
                                             "Reconnect automatically",
                                             "---",
                                             "Internal Clock",
                                             "---",
                                             "Exit",
                                             "Project",
                                             "New Project",
                                             "Import Project",
                                             "Export Project ",
                                             "Save Project",
                                             "---",
                                             "Compare With File…",
                                             "Export Report…",
                                             "---",
                                             "Read All Devices",
                                             "Compare All With Devices",
                                             "Write All Devices…",
                                             "Clock Check",
                                             "Set All Clocks",
                                             "Read All Event Logs",
                                             "All Events",
                                             "Connection…",
                                             "History Settings…",
                                             "Edit",
                                             "Undo",
                                             "Redo",
                                             "View",
                                             "Tool Bar",
                                             "Status Bar",
                                             "PC Connection Bar",
                                             "Event Pop-up Window",
                                             "中文",
                                             "Help",
                                             "Content"};
        QCOMPARE(english, expectedEnglish);
        // The tree was rebuilt in English; the project name stays as it was.
        QTreeWidgetItem* config = frame->Tree()->FindNode(KindConfiguration);
        QVERIFY(config);
        QCOMPARE(config->text(0), QString("Configuration"));
        QCOMPARE(frame->Tree()->topLevelItem(0)->text(0), QString("新工程"));
        // Bar captions do not change.
        QCOMPARE(frame->CommBar()->windowTitle(), QString("通讯栏"));

        frame->RunCommand(CMainFrame::IdLanguage);
        QCOMPARE(doc->Language(), LangChinese);
        QCOMPARE(MenuTexts(*frame), chinese);
        QCOMPARE(frame->Tree()->FindNode(KindConfiguration)->text(0), QString("系统配置"));
    }

    void toolAndStatusBarsToggle() {
        frame->RunCommand(CMainFrame::IdToolBar);
        QVERIFY(!frame->ToolBar()->isVisible());
        QVERIFY(!frame->Action(CMainFrame::IdToolBar)->isChecked());
        frame->RunCommand(CMainFrame::IdToolBar);
        QVERIFY(frame->ToolBar()->isVisible());
        QVERIFY(frame->Action(CMainFrame::IdToolBar)->isChecked());
        frame->RunCommand(CMainFrame::IdStatusBar);
        QVERIFY(!frame->statusBar()->isVisible());
        QVERIFY(!frame->Action(CMainFrame::IdStatusBar)->isChecked());
    }

    // A right-click on the tool bar lists both bars by name, in the interface language, and
    // the tool bar's entry hides it as View > Tool Bar does.
    void barsContextMenuNamesBothBars() {
        auto entries = [this] {
            std::unique_ptr<QMenu> menu(frame->createPopupMenu());
            QStringList texts;
            for (QAction* action : menu->actions())
                if (!action->isSeparator()) texts << action->text();
            return texts;
        };
        QCOMPARE(entries(), (QStringList{"通讯栏", "工具栏"}));
        frame->RunCommand(CMainFrame::IdLanguage);
        QCOMPARE(entries(), (QStringList{"通讯栏", "Tool Bar"}));

        std::unique_ptr<QMenu> menu(frame->createPopupMenu());
        const QList<QAction*> actions = menu->actions();
        const auto toolBar = std::find_if(actions.begin(), actions.end(),
                                          [](QAction* action) { return action->text() == "Tool Bar"; });
        QVERIFY(toolBar != actions.end() && (*toolBar)->isChecked());
        (*toolBar)->trigger();
        QVERIFY(!frame->ToolBar()->isVisible());
        frame->UpdateCommandStates();
        QVERIFY(!frame->Action(CMainFrame::IdToolBar)->isChecked());
    }

    void communicationBar() {
        frame->CommBar()->SetTimeStamps(false);  // the entries as they read without time stamps
        frame->RunCommand(CMainFrame::IdConnectionBar);
        QVERIFY(frame->CommBar()->isVisible());
        QVERIFY(frame->Action(CMainFrame::IdConnectionBar)->isChecked());
        QCOMPARE(frame->dockWidgetArea(frame->CommBar()), Qt::BottomDockWidgetArea);
        QCOMPARE(frame->CommBar()->windowTitle(), QString("通讯栏"));

        // A 50-byte frame: one line of 50 byte texts and two line breaks.
        std::vector<uint8_t> fifty(50);
        for (int i = 0; i < 50; ++i) fifty[i] = uint8_t(i);
        frame->Engine().OnSent(fifty.data(), fifty.size());
        QString expected = "send-->repeat=0\n";
        for (int i = 0; i < 50; ++i) expected += QString::asprintf("%02x ", i);
        expected += "\n\n";
        QCOMPARE(frame->CommBar()->Text(), expected);

        // A 120-byte frame: lines of 50, 50 and 20; the next entry starts on its own line.
        std::vector<uint8_t> big(120);
        for (int i = 0; i < 120; ++i) big[i] = uint8_t(0xA0 + i);
        frame->Engine().OnSent(big.data(), big.size());
        frame->Engine().OnReceived(fifty.data(), 3);
        QString second = "send-->repeat=0\n";
        for (int i = 0; i < 120; ++i) {
            second += QString::asprintf("%02x ", uint8_t(0xA0 + i));
            if (i % 50 == 49) second += "\n";
        }
        second += "\nreceive<--\n00 01 02 \n";
        QCOMPARE(frame->CommBar()->Text(), expected + second);
        // Every line of bytes ends in a blank; the box shows capitals.
        const QStringList lines = frame->CommBar()->Text().split('\n');
        QCOMPARE(lines[4].size(), 150);
        QCOMPARE(lines[6].size(), 60);
        QVERIFY(lines[4].endsWith(' '));
        QVERIFY(lines[6].endsWith(' '));
        QCOMPARE(frame->CommBar()->TextBox()->font().capitalization(), QFont::AllUppercase);

        frame->RunCommand(CMainFrame::IdConnectionBar);
        QVERIFY(!frame->CommBar()->isVisible());
        QVERIFY(!frame->Action(CMainFrame::IdConnectionBar)->isChecked());
        // Hiding keeps the log.
        QVERIFY(frame->CommBar()->Text().startsWith(expected));
    }

    void communicationBarIsAQuarterHigh() {
        frame->resize(900, 600);
        frame->RunCommand(CMainFrame::IdConnectionBar);
        QCoreApplication::processEvents();
        const int client = frame->height() - frame->menuBar()->height();
        // The dock's own frame may take a pixel or two; the layout honours the request.
        QTRY_VERIFY(qAbs(frame->CommBar()->height() - client / 4) <= 2);
    }

    void connectAndDisconnectFollowTheLink() {
        TestPty pty;  // nobody answers at the other end
        QVERIFY(!pty.Path().empty());
        frame->Link().settings.portName = pty.Path();
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(frame->Link().IsConnected());
        QVERIFY(ui->messages.empty());
        QVERIFY(!frame->Action(CMainFrame::IdConnect)->isEnabled());
        QVERIFY(frame->Action(CMainFrame::IdConnect)->isChecked());
        QVERIFY(frame->Action(CMainFrame::IdDisconnect)->isEnabled());
        QVERIFY(!frame->Action(CMainFrame::IdDisconnect)->isChecked());
        QCOMPARE(frame->StatusPane()->text(),
                 QString::fromStdString("On  " + pty.Path() +
                                        " Baudrate：57600 Databits:8 Stopbits:1 Parity:None"));
        // Connect while connected is refused by the disabled item.
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(ui->messages.empty());

        frame->RunCommand(CMainFrame::IdDisconnect);
        QVERIFY(!frame->Link().IsConnected());
        QCOMPARE(frame->StatusPane()->text(), QString("Off"));

        // A long port name is shown whole: the pane grows beyond its 400 pixels, and back.
        const QString longName = dir->filePath("usb-Serial_Adapter_Controller_0123456789ABCDEF-if00-port0");
        QVERIFY(QFile::link(QString::fromStdString(pty.Path()), longName));
        frame->Link().settings.portName = longName.toStdString();
        frame->Link().settings.parity = ParityEven;
        frame->Link().settings.stopBits = StopBits2;
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(frame->Link().IsConnected());
        QLabel* pane = frame->StatusPane();
        QVERIFY(pane->text().endsWith("Stopbits:2 Parity:EVEN"));
        QTRY_VERIFY(pane->contentsRect().width() >= pane->fontMetrics().horizontalAdvance(pane->text()));
        QVERIFY(pane->width() > 400);
        frame->RunCommand(CMainFrame::IdDisconnect);
        QTRY_COMPARE(pane->width(), 400);
    }

    void reconnectChoiceIsRemembered() {
        QAction* option = frame->LinkState().ReconnectAction();
        QVERIFY(option->isChecked());
        option->trigger();
        QVERIFY(!frame->Session().Reconnect());
        CBrondaleDoc otherDoc;
        test::ScriptedUserInterface otherUi;
        CMainFrame next(otherDoc, otherUi, settings.get());
        QVERIFY(!next.LinkState().ReconnectAction()->isChecked());
        QVERIFY(!next.Session().Reconnect());
    }

    void connectFailureShowsTheMessage() {
        frame->Link().settings.portName = TempPath("no-such-port");
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(!frame->Link().IsConnected());
        QCOMPARE(ui->messages.size(), std::size_t(1));
        QVERIFY(ui->messages[0].text.rfind("打开串口出错！", 0) == 0);
    }

    void exitClosesTheLinkAndTheWindows() {
        TestPty pty;  // nobody answers at the other end
        frame->Link().settings.portName = pty.Path();
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(frame->Link().IsConnected());
        QPointer<QWidget> clock = new QWidget(frame.get(), Qt::Window);
        frame->clockWindow = clock;
        clock->show();
        frame->RunCommand(CMainFrame::IdExit);
        QVERIFY(!frame->isVisible());
        QVERIFY(!frame->Link().IsConnected());
        QVERIFY(!frame->TimersRunning());
        QVERIFY(clock.isNull());
        QVERIFY(frame->clockWindow.isNull());
        QCOMPARE(ui->saveChangesAsked, 0);
    }

    void readWithTheLinkClosedGivesUp() {
        frame->RunCommand(CMainFrame::IdConnectionBar);
        frame->RunCommand(CMainFrame::IdNewProject);
        frame->Tree()->RunCommand(CMacView::CmdReadFromDevice);
        ProtocolEngine& engine = frame->Engine();
        QVERIFY(engine.AwaitingReply());
        QVERIFY(engine.TransferBusy());
        // Three resends, then the give-up on the 16th tick; nothing reaches the closed port.
        for (int tick = 1; tick <= 15; ++tick) frame->OnTimer(3);
        QVERIFY(ui->messages.empty());
        QVERIFY(engine.AwaitingReply());
        frame->OnTimer(3);
        QCOMPARE(ui->MessageTexts(), std::vector<std::string>{"串口不通!"});
        QCOMPARE(ui->messages[0].caption, std::string("通讯提示"));
        QVERIFY(!engine.AwaitingReply());
        QVERIFY(!engine.TransferBusy());
        QVERIFY(!frame->Link().IsConnected());
        QCOMPARE(frame->CommBar()->Text(), QString());
        // Polling stays off with the link closed.
        frame->OnTimer(1);
        QVERIFY(!engine.AwaitingReply());
    }

    void closingWithUnsavedChangesAsks() {
        frame->RunCommand(CMainFrame::IdNewProject);
        frame->RunCommand(CMainFrame::IdLanguage);  // keeps modified set by New Project
        QVERIFY(doc->Modified() != 0);
        QVERIFY(!doc->HasUnsavedChanges());  // a new project holds nothing to lose yet
        doc->Project().devices[0].address = 5;  // an edit, as the list makes it
        doc->MarkModified();

        ui->saveChoices.push_back(ui::SaveChoice::Cancel);
        QVERIFY(!frame->close());
        QVERIFY(frame->isVisible());
        QVERIFY(frame->TimersRunning());
        QCOMPARE(ui->saveChangesAsked, 1);

        // Save, but the file chooser is cancelled: nothing written, so the window stays.
        ui->saveChoices.push_back(ui::SaveChoice::Save);
        QVERIFY(!frame->close());
        QVERIFY(frame->isVisible());
        QCOMPARE(ui->saveAsked, 1);
        QVERIFY(doc->Modified() != 0);

        // Save with a file: written, then closed.
        const std::string path = TempPath("closing.mac");
        ui->saveChoices.push_back(ui::SaveChoice::Save);
        ui->savePaths.push_back(path);
        QVERIFY(frame->close());
        QCOMPARE(test::ReadFileBytes(path).size(), std::size_t(ProjectFileSize));
        QVERIFY(!frame->TimersRunning());
    }

    void closingDiscardsWhenAsked() {
        frame->RunCommand(CMainFrame::IdNewProject);
        doc->MarkModified();
        ui->saveChoices.push_back(ui::SaveChoice::Discard);
        QVERIFY(frame->close());
        QCOMPARE(ui->saveChangesAsked, 1);
        QCOMPARE(ui->saveAsked, 0);
    }

    void closingWithoutChangesDoesNotAsk() {
        QVERIFY(frame->close());
        QCOMPARE(ui->saveChangesAsked, 0);
    }

    void newEventsKeepTheirText() {
        frame->AppendEventText("a\r\n");
        frame->AppendEventText("b\r\n");
        QCOMPARE(frame->eventText, std::string("a\r\nb\r\n"));
        frame->autoShowEvents = 0;
        frame->ShowEventWindowForNewEvents();
        QCOMPARE(frame->eventWindowVisible, 1);
        QVERIFY(frame->Action(CMainFrame::IdEventWindow)->isChecked());
        frame->RunCommand(CMainFrame::IdEventWindow);
        QCOMPARE(frame->eventWindowVisible, 0);
        QVERIFY(!frame->Action(CMainFrame::IdEventWindow)->isChecked());
    }

    void executeButtonWithoutAMouse() {
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        frame->RunCommand(CMainFrame::IdNewProject);
        frame->Tree()->setCurrentItem(frame->Tree()->FindNode(KindCpuSupervision));
        CMacListView* list = frame->List();
        QPushButton* button = list->ExecuteButton();
        const QPoint cell =
            list->viewport()->mapToGlobal(list->visualRect(list->model()->index(0, 3)).topLeft());
        QCOMPARE(button->mapToGlobal(QPoint()), cell);                           // where the page places it
        list->parentWidget()->move(list->parentWidget()->pos() + QPoint(0, 7));  // a parent moves alone
        QCOMPARE(button->mapToGlobal(QPoint()), cell + QPoint(0, 7));

        // A screen reader walking the window finds it.
        std::function<QAccessibleInterface*(QAccessibleInterface*)> find = [&](QAccessibleInterface* node) {
            if (node->role() == QAccessible::Button && node->text(QAccessible::Name) == "执行") return node;
            QAccessibleInterface* hit = nullptr;
            for (int i = 0; i < node->childCount() && !hit; ++i) hit = find(node->child(i));
            return hit;
        };
        QAccessibleInterface* found = find(QAccessible::queryAccessibleInterface(frame.get()));
        QVERIFY(found && found->object() == button && found->state().focusable);

        // Tab from the list reaches it; Space and Enter press it.
        QSignalSpy pressed(button, &QPushButton::clicked);
        for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(button));
            QTest::keyClick(button, key);
        }
        QCOMPARE(pressed.count(), 2);
        const std::span<const uint8_t> sent = frame->Engine().OutgoingFrame();
        QCOMPARE(DecodeHeader(sent.data(), sent.size()).function, FC_OUTPUT_TEST);
    }
};

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
