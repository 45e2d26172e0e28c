// SPDX-License-Identifier: Apache-2.0
// Start-up of the desktop program: the command line, --help of the real binary, the
// recent-file list, and a project named at start.
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "model/doc.h"
#include "ui/frame/mainframe.h"
#include "ui/frame/recent_files.h"
#include "ui/frame/startup.h"
#include "ui/ui_test_helper.h"
#include "ui/views/maclistview.h"
#include "ui/views/macview.h"

using namespace corvix;
using corvix::test::ScriptedUserInterface;

class TestApp : public QObject {
    Q_OBJECT

  private slots:
    void commandLine() {
        ui::StartOptions o = ui::ParseCommandLine({});
        QVERIFY(!o.help && !o.demo && o.projectPath.empty() && o.error.empty());

        o = ui::ParseCommandLine({"plant.mac"});
        QCOMPARE(o.projectPath, std::string("plant.mac"));
        QVERIFY(o.error.empty());

        o = ui::ParseCommandLine({"--demo"});
        QVERIFY(o.demo);
        o = ui::ParseCommandLine({"--help"});
        QVERIFY(o.help);

        o = ui::ParseCommandLine({"--frobnicate"});
        QVERIFY(o.error.find("--frobnicate") != std::string::npos);

        // "--" lets a file look like an option.
        o = ui::ParseCommandLine({"--", "--demo"});
        QVERIFY(!o.demo);
        QCOMPARE(o.projectPath, std::string("--demo"));

        o = ui::ParseCommandLine({"a.mac", "b.mac"});
        QVERIFY(!o.error.empty());
    }

    void helpOfTheProgram() {
        const QString program = QString(CORVIX_BINARY_DIR) + "/corvix";
        QProcess help;
        help.start(program, {"--help"});
        QVERIFY(help.waitForFinished(30000));
        QCOMPARE(help.exitCode(), 0);
        const QString out = QString::fromUtf8(help.readAllStandardOutput());
        QVERIFY(out.contains("--demo"));
        QVERIFY(out.contains("用法"));

        QProcess bad;
        bad.start(program, {"-platform", "offscreen", "--frobnicate"});
        QVERIFY(bad.waitForFinished(30000));
        QCOMPARE(bad.exitCode(), 2);
        QVERIFY(QString::fromUtf8(bad.readAllStandardError()).contains("--frobnicate"));
    }

    void recentFilesKeepFourNewestFirst() {
        QTemporaryDir dir;
        const QString file = dir.filePath("settings.conf");
        {
            QSettings settings(file, QSettings::IniFormat);
            ui::RecentFileList list(&settings);
            for (const char* p : {"/a.mac", "/b.mac", "/c.mac", "/d.mac", "/e.mac"}) list.Add(p);
            QCOMPARE(list.Entries(), (QStringList{"/e.mac", "/d.mac", "/c.mac", "/b.mac"}));
            list.Add("/c.mac");
            QCOMPARE(list.Entries(), (QStringList{"/c.mac", "/e.mac", "/d.mac", "/b.mac"}));
        }
        // Kept between runs.
        QSettings again(file, QSettings::IniFormat);
        ui::RecentFileList reloaded(&again);
        QCOMPARE(reloaded.Entries(), (QStringList{"/c.mac", "/e.mac", "/d.mac", "/b.mac"}));
    }

    void projectNamedAtStart() {
        QTemporaryDir dir;
        QSettings settings(dir.filePath("settings.conf"), QSettings::IniFormat);
        const std::string good = dir.filePath("good.mac").toStdString();
        {
            CBrondaleDoc maker;
            maker.NewProject();
            QVERIFY(maker.WriteProjectFile(good));
        }

        // A file that cannot be imported: the message, and the program goes on without a project.
        CBrondaleDoc doc;
        ScriptedUserInterface ui;
        CMainFrame frame(doc, ui, &settings);
        QVERIFY(!frame.ImportAtStart(dir.filePath("missing.mac").toStdString()));
        QCOMPARE(ui.MessageTexts(), std::vector<std::string>{"文件打不开"});
        QCOMPARE(frame.Tree()->topLevelItemCount(), 0);
        QVERIFY(!frame.Action(CMainFrame::IdExportProject)->isEnabled());
        QVERIFY(frame.RecentFiles().Entries().isEmpty());

        // A project file is imported as Import Project would.
        QVERIFY(frame.ImportAtStart(good));
        QCOMPARE(frame.Tree()->topLevelItemCount(), 1);
        QCOMPARE(frame.windowTitle(), QString::fromStdString("Corvix-" + good + " - "));
        QVERIFY(frame.Action(CMainFrame::IdExportProject)->isEnabled());
        QVERIFY(!frame.Action(CMainFrame::IdSaveProject)->isEnabled());
        QCOMPARE(frame.RecentFiles().Entries(), QStringList{QString::fromStdString(good)});
        // Without --demo the first device is selected with its pages folded; no page is listed.
        const QTreeWidgetItem* current = frame.Tree()->currentItem();
        QCOMPARE(CMacView::NodeCode(current), int(KindDeviceFirst));
        QVERIFY(!current->isExpanded());
        QCOMPARE(frame.List()->ShownPage(), 0);
        QCOMPARE(frame.List()->rowCount(), 0);
    }
};

QTEST_MAIN(TestApp)
#include "tst_app.moc"
