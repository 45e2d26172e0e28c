// SPDX-License-Identifier: Apache-2.0
// Import Signal Names… and Export Signal Names… in the signal-name page's context menu of the
// main window, and the workbook choice of Export Report….
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QTimer>
#include <QtTest>
#include <deque>

#include "model/doc.h"
#include "model/gbk.h"
#include "model/signal_sheet.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"
#include "ui/views/macview.h"

using namespace corvix;

class TestSignalSheets : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

    std::deque<std::optional<std::string>> answers;
    std::vector<bool> asked;  // save (true) or open (false), per question

    std::string Path(const char* name) const { return dir->filePath(name).toStdString(); }
    void Write(const std::string& path, const std::string& bytes) {
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    // Shows the signal-name page of device `index` as a click in the tree does.
    void ShowSignalPage(int index) {
        QTreeWidgetItem* device = frame->Tree()->FindNode(KindDeviceFirst + index);
        QVERIFY(device);
        std::vector<QTreeWidgetItem*> pending{device};
        while (!pending.empty()) {
            QTreeWidgetItem* node = pending.back();
            pending.pop_back();
            if (CMacView::NodeCode(node) == KindSignalNames) frame->Tree()->setCurrentItem(node);
            for (int i = 0; i < node->childCount(); ++i) pending.push_back(node->child(i));
        }
        QCOMPARE(frame->List()->ShownPage(), int(KindSignalNames));
    }
    // Right-clicks the list and chooses the entry `text` of the menu that opens; returns the
    // texts of the menu's entries.
    QStringList ChooseFromContextMenu(const QString& text) {
        QStringList shown;
        QTimer::singleShot(0, this, [&shown, text] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!popup) return;
            for (QAction* a : popup->actions()) {
                shown << a->text();
                if (a->text() == text) popup->setActiveAction(a);
            }
            QTest::keyClick(popup, Qt::Key_Return);
        });
        CMacListView* list = frame->List();
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, list->visualItemRect(list->item(0, 0)).center());
        return shown;
    }
    QStringList Names() const {
        QStringList out;
        for (int r = 0; r < frame->List()->rowCount(); ++r) out << frame->List()->item(r, 2)->text();
        return out;
    }

  private slots:
    void init() {
        OpenFrame(true);
        answers.clear();
        asked.clear();
        frame->List()->askSheetPath = [this](bool save) {
            asked.push_back(save);
            std::optional<std::string> answer = answers.empty() ? std::nullopt : answers.front();
            if (!answers.empty()) answers.pop_front();
            return answer;
        };
        frame->RunCommand(CMainFrame::IdNewProject);
        ui->names.push_back("B");
        frame->Tree()->RunCommand(CMacView::CmdAddDevice);
        frame->Doc().SetModified(false);
        frame->UpdateCommandStates();
    }
    void cleanup() { CloseFrame(); }

    void importThroughTheMenuIsAnEditAndRefusalsChangeNothing() {
        ShowSignalPage(1);
        const std::string good = Path("good.csv");
        Write(good, "\xD0\xF2\xBA\xC5\t\xD0\xC5\xCF\xA2\xB6\xA8\xD2\xE5\r\n1\t\xBF\xAA\xB9\xD8\xC1\xBF\r\n2\t\"x;\"\"y\"\"\"\r\n");
        answers = {good};
        QVERIFY(!frame->Action(CMainFrame::IdSaveProject)->isEnabled());
        const QStringList menu = ChooseFromContextMenu("导入信息定义…");
        QCOMPARE(menu.mid(5), QStringList({"", "导入信息定义…", "导出信息定义…"}));
        QCOMPARE(asked, std::vector<bool>{false});
        QCOMPARE(Names(), QStringList({"开关量", "x;\"y\""}));
        QCOMPARE(frame->Doc().Project().devices[1].signalCount, uint16_t(2));
        QCOMPARE(frame->Doc().Project().devices[0].signalCount, uint16_t(NewDeviceSignalCount));
        QVERIFY(frame->Doc().HasUnsavedChanges());
        QVERIFY(frame->Action(CMainFrame::IdSaveProject)->isEnabled());
        QVERIFY(ui->messages.empty());

        // Refused, in the interface language, with the row; the device keeps its names.
        const std::string bad = Path("bad.csv");
        Write(bad, "No,Name\n1,a\n2,b\n4,d\n");
        answers = {bad};
        frame->RunCommand(CMainFrame::IdLanguage);
        ShowSignalPage(1);
        const QStringList english = ChooseFromContextMenu("Import Signal Names…");
        QCOMPARE(english.mid(5), QStringList({"", "Import Signal Names…", "Export Signal Names…"}));
        QCOMPARE(ui->MessageTexts(),
                 std::vector<std::string>{"Row 4: the number should be 3; nothing was changed."});
        QCOMPARE(Names(), QStringList({"开关量", "x;\"y\""}));
        answers = {Path("missing.csv")};
        frame->List()->RunCommand(CMacListView::CmdImportSignals);
        QCOMPARE(ui->messages.back().text, "The file cannot be read: " + Path("missing.csv"));
        QCOMPARE(frame->Doc().Project().devices[1].signalCount, uint16_t(2));
        // Cancelled: nothing happens.
        frame->List()->RunCommand(CMacListView::CmdImportSignals);
        QCOMPARE(ui->messages.size(), std::size_t(2));
    }

    void exportWritesCsvOrXlsxByTheName() {
        ShowSignalPage(0);
        const std::string csv = Path("names.csv");
        const std::string xlsx = Path("names.xlsx");
        answers = {csv, xlsx, Path("missing/names.csv")};
        ChooseFromContextMenu("导出信息定义…");
        QCOMPARE(test::ReadFileBytes(csv), SignalSheetCsv(frame->Doc().Project().devices[0], LangChinese));
        frame->List()->RunCommand(CMacListView::CmdExportSignals);
        QCOMPARE(QByteArray::fromStdString(test::ReadFileBytes(xlsx)).left(2), QByteArray("PK"));
        QVERIFY(ui->messages.empty());
        frame->List()->RunCommand(CMacListView::CmdExportSignals);
        QCOMPARE(ui->MessageTexts(), std::vector<std::string>{"文件无法写入：" + Path("missing/names.csv")});
        QCOMPARE(asked, (std::vector<bool>{true, true, true}));
        QVERIFY(!frame->Doc().Modified());  // an export changes nothing
    }

    void exportReportWritesAWorkbookForXlsx() {
        const std::string book = Path("report.xlsx");
        frame->askReportPath = [book] { return std::optional<std::string>(book); };
        frame->RunCommand(CMainFrame::IdExportReport);
        QVERIFY(ui->messages.empty());
        QProcess reader;
        reader.start("/usr/bin/python3",
                     {"-c", "import sys, openpyxl\nprint('|'.join(openpyxl.load_workbook(sys.argv[1]).sheetnames))",
                      QString::fromStdString(book)});
        QVERIFY(reader.waitForFinished(60000));
        QCOMPARE(reader.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(reader.readAllStandardOutput()), QString("工程|1 1|2 B\n"));
    }
};

QTEST_MAIN(TestSignalSheets)
#include "tst_signal_sheets.moc"
