// SPDX-License-Identifier: Apache-2.0
// Compare With Device through the real window against the simulated device: the rows that
// differ, taking a device value, writing the project and reading again, and taking the
// selected rows' values by keyboard, button and context menu.
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "devsim/sim_server.h"
#include "model/gbk.h"
#include "ui/dialogs/comparedlg.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"
#include "ui/views/macview.h"

using namespace corvix;
using corvix::test::Generous;

class TestCompare : public QObject, private corvix::test::DeviceFixture {
    Q_OBJECT

  private:
    void Start() {
        sim::SimOptions options;
        options.device.address = 1;
        options.changeEveryMs = 0;
        StartServer(options);
        frame->RunCommand(CMainFrame::IdNewProject);
        frame->Tree()->setCurrentItem(frame->Tree()->FindNode(KindDeviceFirst));
        Connect();
    }

    // What the window shows while it is open, step by step.
    void DriveCompare(CCompareDlg& dialog) {
        QTRY_COMPARE_WITH_TIMEOUT(dialog.Differences().size(), std::size_t(2), Generous);
        QVERIFY(!doc->HasUnsavedChanges());
        QCOMPARE(dialog.Table()->item(0, 3)->text(), QString("1"));
        QCOMPARE(dialog.Table()->item(1, 2)->text(), QString("主变跳闸"));

        dialog.UseButton(0)->click();
        QCOMPARE(doc->Device(0).address, 1);
        QVERIFY(doc->Modified());
        QVERIFY(doc->HasUnsavedChanges());
        QCOMPARE(dialog.Differences().size(), std::size_t(1));

        // The project's signal name goes to the device; the device is read again afterwards.
        dialog.WriteButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.StatusLabel()->text() == "No differences", Generous);
        QVERIFY(dialog.Differences().empty());
        QCOMPARE(GbkToUtf8(server->Device().Designation(2)), std::string("主变跳闸"));
    }

    // The project device differs in its address (row 0), signal name 3 (row 1) and three
    // signal names the device does not have (rows 2 to 4: "A", "B", "C").
    void MakeFiveDifferences() {
        DeviceRecord& d = doc->Device(0);
        d.address = 7;
        CopyTextField(d.signalNames[2], SignalNameSize, Utf8ToGbk("主变跳闸").c_str());
        for (const char* name : {"A", "B", "C"}) InsertSignalName(d, d.SignalCountClamped(), name);
    }

    QStringList ExtraSignals() {
        QStringList out;
        const DeviceRecord& d = doc->Device(0);
        for (int k = NewDeviceSignalCount; k < d.SignalCountClamped(); ++k)
            out << QString::fromStdString(GbkToUtf8(FieldText(d.signalNames[k], SignalNameSize)));
        return out;
    }

    // Runs the selected rows' command the way `way` names, as a user would.
    void RunSelected(CCompareDlg& dialog, const QString& way) {
        QTableWidget* table = dialog.Table();
        if (way == "space" || way == "enter") {
            QTest::keyClick(table, way == "space" ? Qt::Key_Space : Qt::Key_Return);
        } else if (way == "button") {
            QVERIFY(dialog.UseSelectedButton()->isEnabled());
            dialog.UseSelectedButton()->click();
        } else {
            bool offered = false;
            QTimer::singleShot(0, &dialog, [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (menu == nullptr) return;
                offered = menu->actions().contains(dialog.UseSelectedAction());
                menu->setActiveAction(dialog.UseSelectedAction());
                QTest::keyClick(menu, Qt::Key_Return);
            });
            const QRect cell = table->visualItemRect(table->item(table->currentRow(), 1));
            QContextMenuEvent event(QContextMenuEvent::Mouse, cell.center(),
                                    table->viewport()->mapToGlobal(cell.center()));
            QApplication::sendEvent(table->viewport(), &event);
            QVERIFY(offered);
        }
    }

    // Selects `rows` and takes them the way `way` names.
    void DriveSelected(CCompareDlg& dialog, const QString& way, const QList<int>& rows) {
        dialog.show();
        // Keys reach the table only once its window is active.
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTRY_COMPARE_WITH_TIMEOUT(dialog.Differences().size(), std::size_t(5), Generous);
        QCOMPARE(dialog.UseSelectedButton()->accessibleName(), QString("Use device value for selected rows"));
        QVERIFY(!dialog.UseSelectedButton()->accessibleDescription().isEmpty());
        QTableWidget* table = dialog.Table();
        table->setFocus();
        QVERIFY(!dialog.UseSelectedButton()->isEnabled());
        table->setCurrentCell(rows[0], 0);
        for (int r : rows)
            table->selectionModel()->select(table->model()->index(r, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        RunSelected(dialog, way);
        QCOMPARE(dialog.Differences().size(), std::size_t(5 - rows.size()));
        // Nothing stays selected: a second Space selects the row the keyboard is on, unseen
        // rows are not taken.
        QVERIFY(table->selectionModel()->selectedRows().isEmpty());
        QVERIFY(!dialog.UseSelectedButton()->isEnabled());
        QTest::keyClick(table, Qt::Key_Space);
        QCOMPARE(dialog.Differences().size(), std::size_t(5 - rows.size()));
        QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    }

  private slots:
    void init() {
        OpenFrame();
        frame->show();
    }
    void cleanup() { CloseFrameAndDevice(); }

    void compareTakesADeviceValueAndWritesTheProject() {
        Start();
        frame->RunCommand(CMainFrame::IdLanguage);  // English
        doc->Device(0).address = 7;
        CopyTextField(doc->Device(0).signalNames[2], SignalNameSize, Utf8ToGbk("主变跳闸").c_str());
        bool shown = false;
        frame->runModal = [&](QDialog& d) {
            auto* dialog = qobject_cast<CCompareDlg*>(&d);
            if (dialog == nullptr) return 0;
            shown = true;
            DriveCompare(*dialog);
            return 0;
        };
        frame->Tree()->RunCommand(CMacView::CmdCompareWithDevice);
        QVERIFY(shown);
        QVERIFY(frame->compareWindow.isNull());
        QCOMPARE(ui->CountMessages("Write Data Success"), 1);
    }

    void selectedRowsTakeTheirDeviceValues_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<int>("address");
        QTest::addColumn<bool>("nameTaken");
        QTest::addColumn<QStringList>("extra");
        QTest::addRow("space") << "space" << QList<int>{0} << 1 << false << QStringList{"A", "B", "C"};
        QTest::addRow("enter") << "enter" << QList<int>{1} << 7 << true << QStringList{"A", "B", "C"};
        QTest::addRow("button, two rows")
            << "button" << QList<int>{0, 1} << 1 << true << QStringList{"A", "B", "C"};
        // Two rows the device does not have: each goes, and the one between stays.
        QTest::addRow("button, rows only the project has")
            << "button" << QList<int>{2, 4} << 7 << false << QStringList{"B"};
        QTest::addRow("context menu") << "menu" << QList<int>{3} << 7 << false << QStringList{"A", "C"};
    }

    void selectedRowsTakeTheirDeviceValues() {
        QFETCH(QString, way);
        QFETCH(QList<int>, rows);
        Start();
        frame->RunCommand(CMainFrame::IdLanguage);  // English
        MakeFiveDifferences();
        // Saved, so that the take's own marks and undo step show.
        QTemporaryDir dir;
        doc->SetProjectPath(dir.filePath("plant.mac").toStdString());
        QVERIFY(doc->SaveProject() == CBrondaleDoc::FileOutcome::Done);
        QVERIFY(!doc->HasUnsavedChanges());
        bool shown = false;
        frame->runModal = [&](QDialog& d) {
            auto* dialog = qobject_cast<CCompareDlg*>(&d);
            if (dialog == nullptr) return 0;
            shown = true;
            DriveSelected(*dialog, way, rows);
            return 0;
        };
        frame->Tree()->RunCommand(CMacView::CmdCompareWithDevice);
        QVERIFY(shown);
        QFETCH(int, address);
        QFETCH(bool, nameTaken);
        QFETCH(QStringList, extra);
        QCOMPARE(doc->Device(0).address, address);
        QCOMPARE(GbkToUtf8(FieldText(doc->Device(0).signalNames[2], SignalNameSize)) != "主变跳闸",
                 nameTaken);
        QCOMPARE(ExtraSignals(), extra);
        QVERIFY(doc->Modified());
        QVERIFY(doc->HasUnsavedChanges());
        // The command is one step: one undo brings every taken value back, to the saved state.
        QVERIFY(doc->Undo().has_value());
        QCOMPARE(doc->Device(0).address, 7);
        QCOMPARE(ExtraSignals(), (QStringList{"A", "B", "C"}));
        QVERIFY(!doc->HasUnsavedChanges());
    }
};

QTEST_MAIN(TestCompare)
#include "tst_compare.moc"
