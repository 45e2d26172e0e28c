// SPDX-License-Identifier: Apache-2.0
// The window's operations over all devices against simulated devices on pseudo-terminals:
// the operations window's rows, what reaches the document (one undo step per device, never a
// wrong cable's image), Retry Failed, the cable prompt, Write's confirmation and the
// Connection… dialog.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

#include <cstring>

#include "devsim/sim_server.h"
#include "link/frame.h"
#include "model/gbk.h"
#include "model/texts.h"
#include "ui/frame/mainframe.h"
#include "ui/ops/all_events_window.h"
#include "ui/ops/connection_dlg.h"
#include "ui/ops/ops_window.h"
#include "ui/ui_test_helper.h"
#include "ui/views/macview.h"

using namespace corvix;
using corvix::test::Generous;

class TestProjectOps : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

  private:
    std::vector<std::unique_ptr<sim::SimServer>> sims;

    // Devices 0..n-1 with addresses 1..n; the simulated device behind device i answers with
    // `simAddresses[i]`, each on its own pty, entered as the device's connection.
    void MakeDevices(const std::vector<int>& simAddresses) {
        frame->RunCommand(CMainFrame::IdNewProject);
        ProjectBlock& p = doc->Project();
        p.deviceCount = static_cast<int32_t>(simAddresses.size());
        for (std::size_t i = 0; i < simAddresses.size(); ++i) {
            InitialiseNewDevice(p.devices[i], Utf8ToGbk("Feeder " + std::to_string(i + 1)).c_str(), LangEnglish);
            p.devices[i].address = static_cast<int16_t>(i + 1);
            sim::SimOptions options;
            options.device.address = simAddresses[i];
            options.device.initialEvents = 2;
            options.device.uiLanguage = LangEnglish;
            options.changeEveryMs = 0;
            sims.push_back(std::make_unique<sim::SimServer>(options));
            QVERIFY(sims.back()->Start());
            doc->Connections().Set(p, static_cast<int>(i), DeviceConnection{sims.back()->DevicePath()});
        }
        doc->SaveProject();  // no path: the history's baseline becomes this project
        frame->RebuildTree();
    }

    QString Cell(ui::COpsWindow* w, int row, int column) { return w->Table()->item(row, column)->text(); }

  private slots:
    void init() {
        OpenFrame();
        doc->SetLanguage(LangEnglish);
        frame->show();
    }
    void cleanup() {
        CloseFrame();
        sims.clear();
    }

    void readAllStoresEachDeviceAsOneStepAndNeverAWrongCable() {
        MakeDevices({1, 2, 7});
        DeviceRecord before2 = doc->Device(2);
        ui::COpsWindow* w = frame->RunProjectOperation(ProjectOpKind::Read);
        QVERIFY(w);
        QVERIFY(!frame->RunProjectOperation(ProjectOpKind::Read));  // one window at a time
        QTRY_VERIFY_WITH_TIMEOUT(w->Finished(), Generous);
        QCOMPARE(Cell(w, 0, ui::COpsWindow::ColState), QStringLiteral("done"));
        QCOMPARE(Cell(w, 2, ui::COpsWindow::ColState), QStringLiteral("failed"));
        QCOMPARE(Cell(w, 2, ui::COpsWindow::ColResult), QStringLiteral("the device at the cable answered with address 7"));
        QCOMPARE(w->Summary()->text(), QStringLiteral("2 done, 1 failed, 0 skipped, 3 in all"));
        QVERIFY(w->RetryButton()->isEnabled());
        QVERIFY(!w->CancelButton()->isEnabled());
        for (int i : {0, 1}) {
            const sim::ConfigImage image = sims[i]->Device().Image();
            QCOMPARE(std::memcmp(&doc->Device(i), image.data(), ConfigImageSize), 0);
        }
        QCOMPARE(std::memcmp(&doc->Device(2), &before2, sizeof before2), 0);
        QVERIFY(doc->HasUnsavedChanges());
        // One step per device: the first undo takes one read back, the second the other.
        auto restored = [&] {
            return int(std::string(doc->Device(0).name) == "Feeder 1") + int(std::string(doc->Device(1).name) == "Feeder 2");
        };
        QCOMPARE(restored(), 0);
        QVERIFY(doc->Undo());
        QCOMPARE(restored(), 1);
        QVERIFY(doc->Undo());
        QCOMPARE(restored(), 2);

        // The right cable now: Retry Failed runs only device 2, which succeeds.
        sims[2]->Stop();
        sim::SimOptions options;
        options.device.address = 3;
        options.changeEveryMs = 0;
        sims[2] = std::make_unique<sim::SimServer>(options);
        QVERIFY(sims[2]->Start());
        doc->Connections().Set(doc->Project(), 2, DeviceConnection{sims[2]->DevicePath()});
        w->close();
        QTRY_VERIFY(!frame->opsWindow);
        w = frame->RunProjectOperation(ProjectOpKind::Compare);
        QTRY_VERIFY_WITH_TIMEOUT(w->Finished(), Generous);
        QVERIFY(Cell(w, 2, ui::COpsWindow::ColResult).endsWith(QStringLiteral("differences")));
        QCOMPARE(Cell(w, 2, ui::COpsWindow::ColState), QStringLiteral("done"));
    }

    void retryFailedRunsTheFailedDevicesAgain() {
        MakeDevices({1, 2});
        QTemporaryDir links;
        const std::string path = sims[1]->DevicePath();
        const std::string later = links.filePath(QStringLiteral("later")).toStdString();
        doc->Connections().Set(doc->Project(), 1, DeviceConnection{later});
        ui::COpsWindow* w = frame->RunProjectOperation(ProjectOpKind::EventLog);
        QTRY_VERIFY_WITH_TIMEOUT(w->Finished(), Generous);
        QCOMPARE(Cell(w, 1, ui::COpsWindow::ColState), QStringLiteral("failed"));
        QCOMPARE(doc->Device(0).eventCount, 2);
        // The port comes back under the name the row was started with.
        QCOMPARE(::symlink(path.c_str(), later.c_str()), 0);
        w->RetryButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->Finished() && w->Operation().Results()[1].state == DeviceOpState::Done, Generous);
        QCOMPARE(doc->Device(1).eventCount, 2);
        QVERIFY(!w->RetryButton()->isEnabled());
    }

    void oneCableAsksBeforeEachDevice() {
        MakeDevices({1});
        ProjectBlock& p = doc->Project();
        p.deviceCount = 3;
        for (int i : {1, 2}) {
            InitialiseNewDevice(p.devices[i], "x", LangEnglish);
            p.devices[i].address = 1;  // the one device at the cable answers every time
        }
        std::vector<DeviceTarget> targets;
        for (int i = 0; i < 3; ++i) {
            DeviceTarget t;
            t.slot = i;
            t.address = 1;
            t.nameGbk = "d" + std::to_string(i);
            t.line.portName = sims[0]->DevicePath();
            targets.push_back(t);
        }
        auto* w = new ui::COpsWindow(*doc, ProjectOpKind::ClockCheck, targets, {}, nullptr, frame.get());
        std::vector<std::string> asked;
        std::deque<GuideAnswer> answers{GuideAnswer::Continue, GuideAnswer::Skip, GuideAnswer::Cancel};
        w->askGuide = [&](const DeviceTarget& t) {
            asked.push_back(t.nameGbk);
            const GuideAnswer a = answers.front();
            answers.pop_front();
            return a;
        };
        w->show();
        w->Start();
        QTRY_VERIFY_WITH_TIMEOUT(w->Finished(), Generous);
        QCOMPARE(asked, (std::vector<std::string>{"d0", "d1", "d2"}));
        QCOMPARE(Cell(w, 0, ui::COpsWindow::ColState), QStringLiteral("done"));
        QCOMPARE(Cell(w, 1, ui::COpsWindow::ColResult), QStringLiteral("skipped by the user"));
        QCOMPARE(Cell(w, 2, ui::COpsWindow::ColResult), QStringLiteral("cancelled"));
        w->close();
    }

    void allEventsMergesTheDevicesLogsAndMarksAClockFarOff() {
        MakeDevices({1, 2, 3});
        ui::COpsWindow* w = frame->RunProjectOperation(ProjectOpKind::EventLog);
        QTRY_VERIFY_WITH_TIMEOUT(w->Finished(), Generous);
        w->close();
        QTRY_VERIFY(!frame->opsWindow);
        w = frame->RunProjectOperation(ProjectOpKind::ClockCheck);
        QTRY_VERIFY_WITH_TIMEOUT(w->Finished(), Generous);
        QCOMPARE(frame->clockOffsets.size(), std::size_t(3));
        frame->OnAllEvents();
        ui::CAllEventsWindow* events = frame->allEventsWindow;
        QVERIFY(events);
        QCOMPARE(events->Table()->rowCount(), 6);
        for (int r = 1; r < 6; ++r)
            QVERIFY(events->Table()->item(r - 1, 0)->text() <= events->Table()->item(r, 0)->text());
        QVERIFY(events->CorrectBox()->isEnabled());
        // Device 2's clock turns out 5 s ahead: marked, and its events move 5 s earlier.
        frame->clockOffsets[1] = 5000;
        events->CorrectBox()->setChecked(true);
        int marked = 0;
        for (int r = 0; r < 6; ++r) marked += events->Table()->item(r, 1)->text().contains(QStringLiteral("more than 1 s"));
        QCOMPARE(marked, 2);
        QCOMPARE(events->Table()->item(0, 1)->text().contains(QStringLiteral("more than 1 s")), true);
        const std::string csv = events->Csv();
        QVERIFY(csv.find("Number,Time,Device,Name,State") != std::string::npos);
        QCOMPARE(std::count(csv.begin(), csv.end(), '\n'), 7L);
        // The language switch retranslates the window that stays open.
        frame->RunCommand(CMainFrame::IdLanguage);
        const int lang = doc->Language();
        QCOMPARE(events->Table()->horizontalHeaderItem(1)->text(), QString::fromUtf8(Pick(txt::OpColDevice, lang)));
        QCOMPARE(events->CorrectBox()->text(), QString::fromUtf8(Pick(txt::AllEventsCorrect, lang)));
        QCOMPARE(events->windowTitle(), QString::fromUtf8(Pick(txt::MenuAllEvents, lang)));
    }

    void writeAllAsksFirstAndTheConnectionDialogKeepsTheChoice() {
        MakeDevices({1, 2});
        std::string asked;
        frame->confirmWriteAll = [&](const std::string& text) {
            asked = text;
            return false;
        };
        QVERIFY(!frame->RunProjectOperation(ProjectOpKind::Write));
        QVERIFY(asked.find(sims[1]->DevicePath()) != std::string::npos);
        QVERIFY(asked.find("Feeder 2") != std::string::npos);

        ui::CConnectionDlg dialog(*doc, 1, {"/dev/ttyS0"});
        QVERIFY(!dialog.UseCommonBox()->isChecked());
        QCOMPARE(dialog.PortBox()->currentText().toStdString(), sims[1]->DevicePath());
        dialog.PortBox()->setEditText(QStringLiteral("rfc2217://srv:4001"));
        dialog.BaudRateBox()->setEditText(QStringLiteral("9600"));
        dialog.ParityBox()->setCurrentIndex(2);
        dialog.accept();
        std::optional<DeviceConnection> c = doc->Connections().For(doc->Project(), 1);
        QVERIFY(c);
        QCOMPARE(c->port, std::string("rfc2217://srv:4001"));
        QCOMPARE(c->baudRate, 9600);
        QCOMPARE(c->parity, 2);
        // An empty port keeps the dialog open and changes nothing.
        ui::CConnectionDlg empty(*doc, 1, {});
        empty.PortBox()->setEditText(QString());
        empty.accept();
        QCOMPARE(doc->Connections().For(doc->Project(), 1)->port, std::string("rfc2217://srv:4001"));
        ui::CConnectionDlg back(*doc, 1, {});
        back.UseCommonBox()->setChecked(true);
        QVERIFY(!back.PortBox()->isEnabled());
        back.accept();
        QVERIFY(!doc->Connections().For(doc->Project(), 1));
    }

    // Ctrl+click adds a device to the selection and makes it the current device; the
    // operations then run on the selected devices only, and a single selection means all.
    void theSelectedDevicesAreTheOperationsTargets() {
        MakeDevices({1, 2, 3});
        CMacView* tree = frame->Tree();
        tree->setCurrentItem(tree->FindNode(KindDeviceFirst));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          tree->visualItemRect(tree->FindNode(KindDeviceFirst + 2)).center());
        QCOMPARE(tree->selectedItems().size(), 2);
        QCOMPARE(doc->CurrentDeviceId(), KindDeviceFirst + 2);
        doc->Device(1).name[0] = 'Z';  // device 1 is not read: its name stays
        ui::COpsWindow* w = frame->RunProjectOperation(ProjectOpKind::Read);
        QTRY_VERIFY_WITH_TIMEOUT(w->Finished(), Generous);
        QCOMPARE(w->Table()->rowCount(), 2);
        QCOMPARE(w->Operation().Results()[1].slot, 2);
        QCOMPARE(doc->Device(1).name[0], 'Z');
        // The read renamed nodes in place: the selection and the current device stay.
        QCOMPARE(tree->selectedItems().size(), 2);
        QCOMPARE(doc->CurrentDeviceId(), KindDeviceFirst + 2);
        w->close();
        QTRY_VERIFY(!frame->opsWindow);

        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                          tree->visualItemRect(tree->FindNode(KindDeviceFirst + 1)).center());
        QCOMPARE(tree->selectedItems().size(), 1);
        w = frame->RunProjectOperation(ProjectOpKind::ClockCheck);
        QTRY_VERIFY_WITH_TIMEOUT(w->Finished(), Generous);
        QCOMPARE(w->Table()->rowCount(), 3);
        w->close();
        QTRY_VERIFY(!frame->opsWindow);

        // Single-device keys act on the current device only, whatever else is selected.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          tree->visualItemRect(tree->FindNode(KindDeviceFirst)).center());
        QCOMPARE(tree->selectedItems().size(), 2);
        QCOMPARE(doc->CurrentDeviceId(), KindDeviceFirst);
        QTest::keyClick(tree, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(doc->Project().DeviceCountClamped(), 2);
        QCOMPARE(doc->Device(0).name[0], 'Z');
    }

    void theTreeMenusOfferTheOperationsAndConnection() {
        MakeDevices({1, 2});
        CMacView* tree = frame->Tree();
        struct Case {
            int lang;
            QString readAll;
        };
        for (const Case& c : {Case{LangEnglish, QStringLiteral("Read All Devices")},
                              Case{LangChinese, QStringLiteral("读取全部装置")}}) {
            doc->SetLanguage(c.lang);
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                              tree->visualItemRect(tree->FindNode(KindProject)).center());
            std::unique_ptr<QMenu> menu(tree->BuildContextMenu());
            QStringList texts;
            for (QAction* a : menu->actions())
                if (!a->isSeparator()) texts << a->text();
            QVERIFY2(texts.size() == 3 + 6, qPrintable(texts.join(QLatin1Char('|'))));
            QVERIFY2(texts.contains(c.readAll), qPrintable(texts.join(QLatin1Char('|'))));
        }
        doc->SetLanguage(LangEnglish);
        std::unique_ptr<QMenu> menu(tree->BuildContextMenu());
        QAction* readAll = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == QStringLiteral("Read All Devices")) readAll = a;
        QVERIFY(readAll && readAll->isEnabled());
        readAll->trigger();
        QVERIFY(frame->opsWindow);
        QTRY_VERIFY_WITH_TIMEOUT(frame->opsWindow->Finished(), Generous);
        // While a window runs its operation, the menu offers no second one.
        menu.reset(tree->BuildContextMenu());
        for (QAction* a : menu->actions())
            if (a->text() == QStringLiteral("Read All Devices")) QVERIFY(!a->isEnabled());
        frame->opsWindow->close();
        QTRY_VERIFY(!frame->opsWindow);

        // Connection… opens the dialog of the device whose menu it is.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                          tree->visualItemRect(tree->FindNode(KindDeviceFirst + 1)).center());
        menu.reset(tree->BuildContextMenu());
        QAction* connection = nullptr;
        for (QAction* a : menu->actions())
            if (a->data().toInt() == CMacView::CmdConnection) connection = a;
        QVERIFY(connection && connection->text() == QStringLiteral("Connection…"));
        std::string shownPort;
        frame->runModal = [&](QDialog& d) {
            shownPort = static_cast<ui::CConnectionDlg&>(d).PortBox()->currentText().toStdString();
            return 0;
        };
        tree->RunCommand(CMacView::CmdConnection);
        QCOMPARE(shownPort, sims[1]->DevicePath());
    }

    // New events from the window's link join an open All Events in time order, and leave it
    // once a stored log holds them.
    void allEventsTakesNewEventsAsTheyCome() {
        MakeDevices({1, 2});
        ui::COpsWindow* w = frame->RunProjectOperation(ProjectOpKind::EventLog);
        QTRY_VERIFY_WITH_TIMEOUT(w->Finished(), Generous);
        frame->OnAllEvents();
        ui::CAllEventsWindow* events = frame->allEventsWindow;
        QCOMPARE(events->Table()->rowCount(), 4);
        frame->Tree()->setCurrentItem(frame->Tree()->FindNode(KindDeviceFirst + 1));
        auto event = [](int year, const char* name) {
            WireEvent e;
            std::strncpy(e.designation, name, sizeof e.designation);
            e.year = static_cast<uint16_t>(year);
            e.month = e.day = 1;
            e.direction = 1;
            return e;
        };
        frame->OnEngineResult(NewEvents{{event(2099, "late"), event(2000, "early")}});
        QCOMPARE(events->Table()->rowCount(), 6);
        QCOMPARE(events->Table()->item(0, 2)->text(), QStringLiteral("early"));
        QCOMPARE(events->Table()->item(0, 1)->text(), QStringLiteral("Feeder 2"));
        QCOMPARE(events->Table()->item(5, 2)->text(), QStringLiteral("late"));
        const std::string csv = events->Csv();
        QCOMPARE(std::count(csv.begin(), csv.end(), '\n'), 7L);
        // Device 1's stored log now holds "early": it shows once, not twice.
        DeviceRecord& d = doc->Device(1);
        WireEventToRecord(event(2000, "early"), d.events[d.eventCount++]);
        events->Refresh();
        QCOMPARE(events->Table()->rowCount(), 6);
        int early = 0;
        for (int r = 0; r < 6; ++r) early += events->Table()->item(r, 2)->text() == QStringLiteral("early");
        QCOMPARE(early, 1);
    }
};

QTEST_MAIN(TestProjectOps)
#include "tst_project_ops.moc"
