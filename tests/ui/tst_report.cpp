// SPDX-License-Identifier: Apache-2.0
// Project > Export Report in the main window: the menu item in both languages, the format
// chosen by the file name, and the message when the report cannot be written.
#include <QAction>
#include <QMenu>
#include <QtTest>
#include <deque>

#include "model/doc.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"

using namespace corvix;

class TestReport : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

  private slots:
    void init() { OpenFrame(true); }
    void cleanup() { CloseFrame(); }

    void menuItemFollowsTheProjectAndTheLanguage() {
        QAction* item = frame->Action(CMainFrame::IdExportReport);
        QVERIFY(item);
        QVERIFY(frame->Menu(1)->actions().contains(item));  // the Project menu
        QCOMPARE(item->text(), QString("导出报告…"));
        frame->UpdateCommandStates();
        QVERIFY(!item->isEnabled());  // nothing to report before a project is open
        frame->RunCommand(CMainFrame::IdNewProject);
        QVERIFY(item->isEnabled());
        frame->RunCommand(CMainFrame::IdLanguage);
        QCOMPARE(item->text(), QString("Export Report…"));
    }

    void writesTheChosenFormatOrSaysWhyNot() {
        frame->RunCommand(CMainFrame::IdNewProject);
        frame->RunCommand(CMainFrame::IdLanguage);
        frame->localClock = [] {
            LocalTime t;
            t.year = 2026, t.month = 1, t.day = 2, t.hour = 3, t.minute = 4, t.second = 5;
            return t;
        };
        const std::string html = dir->filePath("r.html").toStdString();
        const std::string pdf = dir->filePath("r.pdf").toStdString();
        const std::string refused = dir->filePath("missing/r.html").toStdString();
        std::deque<std::optional<std::string>> answers = {html, pdf, std::nullopt, refused, refused};
        frame->askReportPath = [&answers] {
            std::optional<std::string> answer = answers.front();
            answers.pop_front();
            return answer;
        };

        frame->RunCommand(CMainFrame::IdExportReport);
        const QString page = QString::fromStdString(test::ReadFileBytes(html));
        QVERIFY(page.contains("<html lang=\"en\">"));
        QVERIFY(page.contains("Project Settings Report"));
        QVERIFY(page.contains("新工程"));
        QVERIFY(page.contains("2026.01.02 03:04:05"));
        QVERIFY(page.contains("RS485 Port B2 - System"));

        frame->RunCommand(CMainFrame::IdExportReport);
        QCOMPARE(QByteArray::fromStdString(test::ReadFileBytes(pdf)).left(5), QByteArray("%PDF-"));
        frame->RunCommand(CMainFrame::IdExportReport);  // cancelled: nothing to say
        QVERIFY(ui->messages.empty());

        frame->RunCommand(CMainFrame::IdExportReport);
        frame->RunCommand(CMainFrame::IdLanguage);
        frame->RunCommand(CMainFrame::IdExportReport);
        QCOMPARE(ui->MessageTexts(), (std::vector<std::string>{"The report could not be written: " + refused,
                                                               "报告无法写入：" + refused}));
        QCOMPARE(ui->busyDepth, 0);
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
