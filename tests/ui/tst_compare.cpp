// SPDX-License-Identifier: Apache-2.0
// Compare With Device through the real window against the simulated device: the rows that
// differ, taking a device value, writing the project and reading again.
#include <QLabel>
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
};

QTEST_MAIN(TestCompare)
#include "tst_compare.moc"
