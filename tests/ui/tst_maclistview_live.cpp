// SPDX-License-Identifier: Apache-2.0
// The input-status page of the real main window follows the simulated device's inputs
// through polls, without losing the user's selection or scroll position.
#include <QAccessible>
#include <QLabel>
#include <QScrollBar>
#include <QtTest>
#include <memory>

#include "devsim/sim_server.h"
#include "link/comm_link.h"
#include "link/engine.h"
#include "model/doc.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"
#include "ui/views/maclistview.h"
#include "ui/views/macview.h"

using namespace corvix;
using corvix::test::Generous;

class TestMacListViewLive : public QObject {
    Q_OBJECT
  private slots:
    void inputStatusFollowsTheDevice() {
        sim::SimOptions options;
        options.device.address = 1;
        options.changeEveryMs = 0;  // inputs change only when the test says so
        sim::SimServer server(options);
        std::string error;
        QVERIFY2(server.Start(&error), error.c_str());

        CBrondaleDoc doc;
        test::ScriptedUserInterface ui;
        auto frame = std::make_unique<CMainFrame>(doc, ui);
        frame->show();
        frame->RunCommand(CMainFrame::IdNewProject);
        QTreeWidgetItem* node = frame->Tree()->FindNode(KindInputStatus);
        QVERIFY(node);
        frame->Tree()->setCurrentItem(node);
        CMacListView* list = frame->List();
        QCOMPARE(list->ShownPage(), int(KindInputStatus));
        const int rows = list->rowCount();
        QVERIFY(rows > 40);

        frame->Link().settings.portName = server.DevicePath();
        frame->RunCommand(CMainFrame::IdConnect);
        QVERIFY(frame->Link().IsConnected());

        list->selectRow(40);
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
        const int scroll = list->verticalScrollBar()->value();
        auto state = [list](int row) { return list->item(row, 2)->text(); };

        for (bool on : {true, false}) {
            QVERIFY(server.Device().SetInput(3, on));
            QVERIFY(server.Device().SetInput(40, on));
            QTRY_VERIFY_WITH_TIMEOUT(!frame->Engine().TransferBusy() && !frame->Engine().AwaitingReply(),
                                     Generous);
            frame->OnTimer(1);
            const QString expected = QString::fromUtf8(on ? "合上" : "断开");
            QTRY_COMPARE_WITH_TIMEOUT(state(3), expected, Generous);
            QCOMPARE(state(40), expected);
            QCOMPARE(list->rowCount(), rows);
            QCOMPARE(list->verticalScrollBar()->value(), scroll);
            const QModelIndexList selected = list->selectionModel()->selectedRows();
            QCOMPARE(selected.size(), 1);
            QCOMPARE(selected.first().row(), 40);
        }

        frame->RunCommand(CMainFrame::IdDisconnect);
        doc.SetModified(0);
        frame->close();
        frame.reset();
        server.Stop();
    }

    void oldStatesAreGreyedWithTheLastUpdate() {
        test::ListBench bench(LangEnglish);
        bench.Show(KindInputStatus);
        CMacListView& list = bench.view;
        const QBrush normal = list.item(0, 2)->foreground();
        // A screen reader reaches the note through the list, which it is painted over.
        auto spoken = [&list] {
            return QAccessible::queryAccessibleInterface(&list)->text(QAccessible::Description);
        };
        list.SetLiveStale(true, "last update 10:11:12");
        bench.Show(KindInputStatus);  // a refill keeps the marking
        QVERIFY(list.item(list.rowCount() - 1, 2)->foreground() != normal);
        QVERIFY(list.StaleNote()->isVisible() && list.StaleNote()->text() == "last update 10:11:12");
        QVERIFY(list.viewport()->geometry().contains(list.StaleNote()->geometry()));
        QCOMPARE(spoken(), QString("last update 10:11:12"));
        list.SetLiveStale(true, "last update 10:11:15");  // each tick's note is heard
        QCOMPARE(spoken(), QString("last update 10:11:15"));
        bench.Show(KindDeviceAddress);  // another page has none
        QVERIFY(!list.StaleNote()->isVisible());
        QCOMPARE(spoken(), QString());
        bench.Show(KindInputStatus);
        QCOMPARE(spoken(), QString("last update 10:11:15"));
        list.SetLiveStale(false, QString());
        QVERIFY(list.item(0, 2)->foreground() == normal && !list.StaleNote()->isVisible());
        QCOMPARE(spoken(), QString());
    }
};

QTEST_MAIN(TestMacListViewLive)
#include "tst_maclistview_live.moc"
