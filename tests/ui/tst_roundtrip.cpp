// SPDX-License-Identifier: Apache-2.0
// End to end: a project made and edited through the real main window (tree clicks, the
// list's in-place editors, the tool bar's Save with a scripted file chooser) is read back
// by the command-line program from the file it wrote.
#include <QComboBox>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <memory>

#include "model/doc.h"
#include "model/gbk.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"
#include "ui/views/maclistview.h"
#include "ui/views/macview.h"

using namespace corvix;

class TestRoundTrip : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

  private:
    // Clicks the node of `code` in the tree as a user would (the tree is expanded first).
    void ClickNode(int code) {
        CMacView* tree = frame->Tree();
        tree->expandAll();
        QTreeWidgetItem* node = tree->FindNode(code);
        QVERIFY(node);
        tree->scrollToItem(node);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
        QCOMPARE(doc->CurrentPage(), code);
    }

    // Selects a row of the list with a click on its name cell, then double-clicks it.
    void OpenRow(int row) {
        CMacListView* list = frame->List();
        const QRect cell = list->visualRect(list->model()->index(row, 1));
        QVERIFY(cell.isValid());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(list->CurrentRow(), row);
    }

    void TypeIntoCell(const QString& text) {
        QLineEdit* edit = frame->List()->CellEdit();
        QVERIFY(edit->isVisible());
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        for (QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClick(edit, c.toLatin1());
            } else {
                QInputMethodEvent typed;  // as an input method commits a Chinese character
                typed.setCommitString(QString(c));
                QCoreApplication::sendEvent(edit, &typed);
            }
        }
    }

    // The last entry of the open value list, chosen with the keyboard.
    void ChooseLastEntry() {
        QComboBox* combo = frame->List()->CellCombo();
        QVERIFY(combo->isVisible());
        QVERIFY(combo->currentIndex() != combo->count() - 1);
        QTest::keyClick(combo, Qt::Key_End);
        QCOMPARE(combo->currentIndex(), combo->count() - 1);
    }

    QString Cell(int row, int column) const {
        const QTableWidgetItem* item = frame->List()->item(row, column);
        return item ? item->text() : QString();
    }

    void ClickSave() {
        QAction* save = frame->Action(CMainFrame::IdSaveProject);
        QWidget* button = frame->ToolBar()->widgetForAction(save);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // `corvix-cli project show FILE --json`, parsed.
    QJsonObject ShowProject(const QString& path) {
        QProcess cli;
        cli.start(QString(CORVIX_BINARY_DIR) + "/corvix-cli", {"project", "show", path, "--json"});
        if (!cli.waitForFinished(30000)) {
            qWarning() << "corvix-cli did not finish:" << cli.errorString();
            return {};
        }
        if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
            qWarning() << "corvix-cli failed:" << cli.readAllStandardError();
            return {};
        }
        QJsonParseError error;
        const QJsonDocument json = QJsonDocument::fromJson(cli.readAllStandardOutput(), &error);
        if (error.error != QJsonParseError::NoError) qWarning() << "bad JSON:" << error.errorString();
        return json.object();
    }

  private slots:
    void init() {
        OpenFrame(true);
        QVERIFY(dir->isValid());
        frame->resize(1100, 720);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    }

    void cleanup() { CloseFrame(); }

    void editedProjectReadsBackFromTheFile() {
        frame->RunCommand(CMainFrame::IdNewProject);
        QCOMPARE(doc->Project().deviceCount, 1);

        ClickNode(KindDeviceAddress);
        OpenRow(0);
        TypeIntoCell("77");
        QCOMPARE(Cell(0, 2), QString("77"));

        ClickNode(KindPortB2);
        OpenRow(0);  // baud rate
        ChooseLastEntry();
        QCOMPARE(Cell(0, 2), QString("115200"));

        ClickNode(KindTimeSync);
        OpenRow(0);
        ChooseLastEntry();
        QCOMPARE(Cell(0, 2), QString("无对时"));

        ClickNode(KindSignalNames);
        OpenRow(2);
        TypeIntoCell(QString::fromUtf8("QF1 合位"));
        QCOMPARE(Cell(2, 2), QString::fromUtf8("QF1 合位"));

        // Save on a project never written asks where to put it.
        const QString path = dir->filePath("station.mac");
        ui->savePaths.push_back(path.toStdString());
        QVERIFY(frame->Action(CMainFrame::IdSaveProject)->isEnabled());
        ClickSave();
        QCOMPARE(ui->saveAsked, 1);
        QVERIFY(ui->messages.empty());
        QCOMPARE(doc->Modified(), uint8_t(0));
        QVERIFY(!frame->Action(CMainFrame::IdSaveProject)->isEnabled());

        QJsonObject project = ShowProject(path);
        QCOMPARE(project.value("projectOpen").toInt(), 1);
        QCOMPARE(project.value("projectName").toString(), QString::fromUtf8("新工程"));
        QCOMPARE(project.value("deviceCount").toInt(), 1);
        QJsonObject device = project.value("devices").toArray().at(0).toObject();
        QCOMPARE(device.value("name").toString(), QString("1"));
        QCOMPARE(device.value("address").toInt(), 77);
        QCOMPARE(device.value("timeSync").toInt(), 2);
        const QJsonArray ports = device.value("ports").toArray();
        QCOMPARE(ports.size(), 2);
        QCOMPARE(ports.at(1).toObject().value("baudRate").toInt(), 115200);
        // Only the value chosen changed: the other port and the other fields stay.
        QCOMPARE(ports.at(0).toObject().value("baudRate").toInt(), 19200);
        QCOMPARE(ports.at(1).toObject().value("dataBits").toInt(), 8);
        QCOMPARE(ports.at(1).toObject().value("parity").toInt(), 1);
        const QJsonArray names = device.value("signalNames").toArray();
        QCOMPARE(names.size(), 65);
        QCOMPARE(names.at(2).toString(), QString::fromUtf8("QF1 合位"));
        QCOMPARE(names.at(1).toString(), Cell(1, 2));
        QCOMPARE(names.at(3).toString(), Cell(3, 2));

        // A further edit offers Save at once; it goes to the same file without a question.
        ClickNode(KindDeviceAddress);
        OpenRow(0);
        TypeIntoCell("201");
        QVERIFY(frame->Action(CMainFrame::IdSaveProject)->isEnabled());
        ClickSave();
        QCOMPARE(ui->saveAsked, 1);
        QVERIFY(ui->messages.empty());
        project = ShowProject(path);
        device = project.value("devices").toArray().at(0).toObject();
        QCOMPARE(device.value("address").toInt(), 201);
        QCOMPARE(device.value("signalNames").toArray().at(2).toString(), QString::fromUtf8("QF1 合位"));

        // So does a command of the tree.
        QVERIFY(!frame->Action(CMainFrame::IdSaveProject)->isEnabled());
        ui->names.push_back(Utf8ToGbk("变电站"));
        ClickNode(KindProject);
        frame->Tree()->RunCommand(CMacView::CmdRenameProject);
        QVERIFY(frame->Action(CMainFrame::IdSaveProject)->isEnabled());
        ClickSave();
        QCOMPARE(ShowProject(path).value("projectName").toString(), QString::fromUtf8("变电站"));
    }
};

QTEST_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
