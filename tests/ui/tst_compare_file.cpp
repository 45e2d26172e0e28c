// SPDX-License-Identifier: Apache-2.0
// Project > Compare With File… through the real window: the menu item in both languages, the
// rows against the file's device, choosing another device of the file, taking a file value
// with the marks a device value sets, the selected rows' command, and a file that is no project.
#include <QAction>
#include <functional>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "model/doc.h"
#include "model/gbk.h"
#include "model/project_text.h"
#include "ui/dialogs/comparedlg.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"
#include "ui/views/macview.h"

using namespace corvix;

class TestCompareFile : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

  private:
    QTemporaryDir files;

    // A file of two devices: the first differs from the new project's in its name and port B1.
    std::string WriteFile() {
        auto p = std::make_unique<ProjectBlock>(doc->Project());
        p->deviceCount = 2;
        CopyTextField(p->devices[0].name, DeviceNameSize, "Feeder 1");
        p->devices[0].baudRate[0] = 9600;
        InitialiseNewDevice(p->devices[1], Utf8ToGbk("馈线2").c_str(), LangChinese);
        p->devices[1].address = 9;
        const std::string path = files.filePath("other.mac").toStdString();
        if (WriteProjectFileAtomic(path, *p) != FileError::None) return {};
        return path;
    }

    QStringList Column(const CCompareDlg& dialog, int column) {
        QStringList out;
        for (int r = 0; r < dialog.Table()->rowCount(); ++r) out << dialog.Table()->item(r, column)->text();
        return out;
    }

    // What the window shows while it is open, step by step.
    void Drive(CCompareDlg& dialog) {
        QCOMPARE(dialog.windowTitle(), QString("Compare With File"));
        QCOMPARE(dialog.Table()->horizontalHeaderItem(3)->text(), QString("File value"));
        QCOMPARE(dialog.FileDeviceBox()->count(), 2);
        QCOMPARE(dialog.FileDeviceBox()->currentIndex(), 0);
        QVERIFY(dialog.WriteButton()->isHidden());
        QCOMPARE(Column(dialog, 1), (QStringList{"Device name", "Baud rate"}));
        QCOMPARE(Column(dialog, 3), (QStringList{"Feeder 1", "9600"}));
        // The name is shown, not taken; the port value is taken as a device value is.
        QVERIFY(dialog.UseButton(0) == nullptr);
        QCOMPARE(dialog.UseButton(1)->text(), QString("Use file value"));
        QVERIFY(!doc->HasUnsavedChanges());
        dialog.UseButton(1)->click();
        QCOMPARE(doc->Device(0).baudRate[0], 9600u);
        QVERIFY(doc->Modified());
        QVERIFY(doc->HasUnsavedChanges());
        QCOMPARE(Column(dialog, 1), QStringList{"Device name"});

        // The file's second device against the same project device.
        emit dialog.FileDeviceBox()->activated(1);
        QCOMPARE(Column(dialog, 3).mid(0, 2), (QStringList{"馈线2", "9"}));
        dialog.UseAllButton()->click();
        QCOMPARE(doc->Device(0).address, 9);
    }

    // Every row selected: Enter takes the port value, and the device name, which is shown but
    // not taken, leaves the command disabled once it is the only row.
    void DriveSelected(CCompareDlg& dialog) {
        dialog.show();
        // Keys reach the table only once its window is active.
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(dialog.UseSelectedButton()->accessibleName(), QString("Use file value for selected rows"));
        QTableWidget* table = dialog.Table();
        table->setFocus();
        table->selectAll();
        QVERIFY(dialog.UseSelectedButton()->isEnabled());
        QTest::keyClick(table, Qt::Key_Enter);
        QCOMPARE(doc->Device(0).baudRate[0], 9600u);
        QCOMPARE(Column(dialog, 1), QStringList{"Device name"});
        table->selectAll();
        QVERIFY(!dialog.UseSelectedButton()->isEnabled());
        QVERIFY(!dialog.UseSelectedAction()->isEnabled());
    }

  private slots:
    void init() {
        OpenFrame();
        frame->show();
        frame->RunCommand(CMainFrame::IdNewProject);
    }
    void cleanup() { CloseFrame(); }

    void menuItemInBothLanguages() {
        QAction* action = frame->Action(CMainFrame::IdCompareWithFile);
        QVERIFY(action != nullptr);
        QVERIFY(frame->Menu(1)->actions().contains(action));
        frame->UpdateCommandStates();
        QVERIFY(action->isEnabled());
        QCOMPARE(action->text(), QString("与文件比较…"));
        frame->RunCommand(CMainFrame::IdLanguage);
        QCOMPARE(action->text(), QString("Compare With File…"));
    }

    // Compare With File against WriteFile()'s project in English, the window driven by `drive`;
    // false when the window never opened.
    bool CompareWithFile(const std::function<void(CCompareDlg&)>& drive) {
        frame->RunCommand(CMainFrame::IdLanguage);  // English
        const std::string path = WriteFile();
        if (path.empty()) return false;
        frame->askComparePath = [&] { return std::optional<std::string>(path); };
        bool shown = false;
        frame->runModal = [&](QDialog& d) {
            auto* dialog = qobject_cast<CCompareDlg*>(&d);
            if (dialog == nullptr) return 0;
            shown = true;
            drive(*dialog);
            return 0;
        };
        frame->RunCommand(CMainFrame::IdCompareWithFile);
        return shown;
    }

    void takingAFileValueMarksTheProject() {
        QVERIFY(CompareWithFile([this](CCompareDlg& d) { Drive(d); }));
        QVERIFY(frame->compareWindow.isNull());
        // The project's own name stays: only configuration is taken.
        QCOMPARE(GbkToUtf8(FieldText(doc->Device(0).name, DeviceNameSize)), std::string("1"));
    }

    void selectedRowsTakeOnlyWhatCanBeTaken() {
        QVERIFY(CompareWithFile([this](CCompareDlg& d) { DriveSelected(d); }));
        QVERIFY(doc->HasUnsavedChanges());
        QCOMPARE(GbkToUtf8(FieldText(doc->Device(0).name, DeviceNameSize)), std::string("1"));
    }

    void aFileThatIsNoProjectIsSaid() {
        const std::string path = files.filePath("junk.json").toStdString();
        QFile junk(QString::fromStdString(path));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("{ not json");
        junk.close();
        frame->askComparePath = [&] { return std::optional<std::string>(path); };
        bool shown = false;
        frame->runModal = [&](QDialog&) { return shown = true, 0; };
        frame->RunCommand(CMainFrame::IdCompareWithFile);
        QVERIFY(!shown);
        QCOMPARE(ui->messages.size(), std::size_t(1));
        QVERIFY(ui->messages[0].text.find("不是工程文件：" + path) == 0);
        QCOMPARE(ui->messages[0].caption, std::string("与文件比较"));
        QVERIFY(!doc->HasUnsavedChanges());
    }
};

QTEST_MAIN(TestCompareFile)
#include "tst_compare_file.moc"
