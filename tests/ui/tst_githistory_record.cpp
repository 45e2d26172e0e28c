// SPDX-License-Identifier: Apache-2.0
// The window records in the settings history: a read from the simulated device, a save, a
// write and a second, identical read (a check) land in the repository with the port; a
// history folder that cannot be made leaves the reads whole and tells the user once, without
// a box; the settings dialog turns recording off and keeps its values.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

#include "devsim/sim_server.h"
#include "history/device_key.h"
#include "history/recorder.h"
#include "model/doc.h"
#include "model/texts_githistory.h"
#include "ui/dialogs/githistorydlg.h"
#include "ui/frame/mainframe.h"
#include "ui/history/history_settings_dlg.h"
#include "ui/history/recorder_host.h"
#include "ui/ops/ops_window.h"
#include "ui/ui_test_helper.h"
#include "ui/views/macview.h"

using namespace corvix;
using corvix::test::Generous;

class TestGitHistoryRecord : public QObject, private corvix::test::DeviceFixture {
    Q_OBJECT

  private:
    QTemporaryDir work;
    QString historyDir;

    ui::CRecorderHost* Host() { return frame->findChild<ui::CRecorderHost*>(); }

    // A new project of one device at the simulated device's address, connected, selected.
    void OpenOnDevice() {
        sim::SimOptions options;
        options.device.address = 1;
        options.changeEveryMs = 0;
        StartServer(options);
        OpenFrame(true);
        frame->show();
        frame->RunCommand(CMainFrame::IdNewProject);
        doc->Device(0).address = 1;
        Connect();
        frame->Tree()->setCurrentItem(frame->Tree()->FindNode(KindDeviceFirst));
        QCOMPARE(doc->CurrentDeviceId(), KindDeviceFirst);
    }

    void ReadDevice() {
        frame->Tree()->RunCommand(CMacView::CmdReadFromDevice);
        QTRY_VERIFY_WITH_TIMEOUT(frame->Engine().Idle(), Generous);
        const sim::ConfigImage image = server->Device().Image();
        QVERIFY(std::memcmp(&doc->Device(0), image.data(), ConfigImageSize) == 0);
    }

    // The recorded states of device `slot`, newest first.
    std::vector<history::State> Recorded(const std::string& projectFile, int slot = 0) {
        history::Settings settings;
        settings.folder = historyDir.toStdString();
        history::Recorder recorder(settings);
        const history::ProjectIdentity identity = recorder.Identify(doc->Project(), projectFile, false);
        const std::string path = history::Recorder::DevicePath(doc->Project(), slot, identity);
        history::Repository* repo = recorder.Repo(false);
        if (path.empty() || repo == nullptr) return {};
        std::string error;
        return repo->States(path, error).value_or(std::vector<history::State>{});
    }

  private slots:
    void init() {
        historyDir = work.filePath(QString("history-%1").arg(QTest::currentTestFunction()));
        qputenv("CORVIX_HISTORY", historyDir.toUtf8());
    }
    void cleanup() {
        CloseFrameAndDevice();
        qunsetenv("CORVIX_HISTORY");
    }

    void readSaveWriteAndAnIdenticalReadAreRecorded() {
        OpenOnDevice();
        ReadDevice();
        // An edit, then Save (it asks for the file: the project was never saved).
        CopyTextField(doc->Device(0).name, DeviceNameSize, "Feeder 7");
        doc->Device(0).timeSync = TimeSyncNone;
        doc->MarkModified();
        const std::string file = work.filePath("plant.mac").toStdString();
        ui->savePaths.push_back(file);
        frame->RunCommand(CMainFrame::IdSaveProject);
        QCOMPARE(ui->saveAsked, 1);
        QCOMPARE(doc->ProjectPath(), file);
        frame->Tree()->RunCommand(CMacView::CmdWriteToDevice);
        QTRY_COMPARE_WITH_TIMEOUT(ui->messages.size(), std::size_t(1), Generous);
        QTRY_VERIFY_WITH_TIMEOUT(frame->Engine().Idle(), Generous);
        ReadDevice();  // the device holds what was written
        QVERIFY(Host()->Drain(std::chrono::seconds(20)));
        QCOMPARE(Host()->Notices(), 0);

        const std::vector<history::State> states = Recorded(file);
        QStringList ops;
        for (const history::State& s : states) ops << QString::fromStdString(s.operation);
        QCOMPARE(ops, QStringList({"check", "write", "save", "read"}));  // newest first
        const std::string port = server->DevicePath();
        for (const history::State& s : states)
            if (s.operation != "save") QCOMPARE(s.port, port);
        QVERIFY(states[1].changed == 0);  // what was saved was written
        QVERIFY(states[2].changed > 0);   // the edit
        // The identity went along with the first save: the file finds its history later.
        QVERIFY(QFile::exists(QString::fromStdString(history::SidecarPath(file))));
        if (const QString shots = qEnvironmentVariable("CORVIX_SHOTS_DIR"); !shots.isEmpty()) {
            QProcess git;
            git.setStandardOutputFile(shots + "/history-window-log.txt");
            git.start("git", {"-C", historyDir, "log", "--stat"});
            QVERIFY(git.waitForFinished());
        }
    }

    // A project never saved keeps the id its reads were recorded under, so History… finds them
    // after the project was edited (a search by content no longer could).
    void aProjectNeverSavedFindsItsStatesAfterAnEdit() {
        OpenOnDevice();
        ReadDevice();
        QVERIFY(Host()->Drain(std::chrono::seconds(20)));
        const std::string id = Host()->ProjectId("");
        QVERIFY(history::IsProjectId(id));
        CopyTextField(doc->Device(0).name, DeviceNameSize, "Feeder 9");
        doc->MarkModified();
        QVERIFY(Recorded("").empty());
        history::Settings settings;
        settings.folder = historyDir.toStdString();
        history::Recorder recorder(settings);
        CGitHistoryDlg dialog(*doc, 0, recorder, history::ProjectIdentity{"", id});
        QCOMPARE(dialog.States().size(), std::size_t(1));
        QCOMPARE(dialog.States()[0].operation, std::string("read"));
    }

    void anUnwritableHistoryLeavesTheReadsWholeAndTellsOnce() {
        // A folder that cannot be made: its parent is a file.
        QFile blocker(work.filePath("not-a-folder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        historyDir = blocker.fileName() + "/history";
        qputenv("CORVIX_HISTORY", historyDir.toUtf8());
        OpenOnDevice();
        for (int i = 0; i < 3; ++i) ReadDevice();
        QVERIFY(Host()->Drain(std::chrono::seconds(20)));
        QTRY_COMPARE_WITH_TIMEOUT(Host()->Notices(), 1, Generous);
        QTest::qWait(50);  // nothing else queued behind it
        QCOMPARE(Host()->Notices(), 1);
        const QString prefix =
            QString::fromUtf8(Pick(txt::GitHistoryNotRecorded, doc->Language())).section('%', 0, 0);
        QVERIFY2(frame->statusBar()->currentMessage().startsWith(prefix),
                 qPrintable(frame->statusBar()->currentMessage()));
        QVERIFY(ui->messages.empty());  // no box
    }

    void aReadOfAllDevicesIsOneCommitNamingEveryPort() {
        OpenFrame(true);
        frame->show();
        frame->RunCommand(CMainFrame::IdNewProject);
        ProjectBlock& p = doc->Project();
        p.deviceCount = 3;
        std::vector<std::unique_ptr<sim::SimServer>> sims;
        for (int i = 0; i < 3; ++i) {
            InitialiseNewDevice(p.devices[i], ("Feeder " + std::to_string(i + 1)).c_str(), LangEnglish);
            p.devices[i].address = static_cast<int16_t>(i + 1);
            sim::SimOptions options;
            options.device.address = i == 2 ? 9 : i + 1;  // the third cable has the wrong device
            options.changeEveryMs = 0;
            sims.push_back(std::make_unique<sim::SimServer>(options));
            QVERIFY(sims.back()->Start());
            doc->Connections().Set(p, i, DeviceConnection{sims.back()->DevicePath()});
        }
        frame->RebuildTree();
        const std::string file = work.filePath("three.mac").toStdString();
        ui->savePaths.push_back(file);
        frame->RunCommand(CMainFrame::IdSaveProject);
        QCOMPARE(doc->ProjectPath(), file);
        ui::COpsWindow* w = frame->RunProjectOperation(ProjectOpKind::Read);
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(w->Finished(), Generous);
        QVERIFY(Host()->Drain(std::chrono::seconds(20)));
        std::vector<std::vector<history::State>> states;
        for (int i = 0; i < 3; ++i) states.push_back(Recorded(file, i));
        QCOMPARE(states[0].size(), std::size_t(2));  // the save, then the read
        QCOMPARE(states[1].size(), std::size_t(2));
        QCOMPARE(states[2].size(), std::size_t(1));    // not read: only saved
        QCOMPARE(states[0][0].rev, states[1][0].rev);  // one commit for the run
        QCOMPARE(states[0][0].operation, std::string("read"));
        QCOMPARE(states[0][0].port, sims[0]->DevicePath() + "," + sims[1]->DevicePath());
        w->close();
        for (auto& sim : sims) sim->Stop();
    }

    void settingsTurnRecordingOffAndAreKept_data() {
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("menuText");
        QTest::newRow("en") << int(LangEnglish) << "History Settings…";
        QTest::newRow("zh") << int(LangChinese) << "设置历史选项…";
    }
    void settingsTurnRecordingOffAndAreKept() {
        QFETCH(int, lang);
        QFETCH(QString, menuText);
        OpenOnDevice();
        if (doc->Language() != lang) frame->RunCommand(CMainFrame::IdLanguage);  // the menus follow at once
        QAction* action = nullptr;
        for (QAction* menu : frame->menuBar()->actions())
            if (menu->menu() != nullptr) {
                for (QAction* a : menu->menu()->actions())
                    if (a->text() == menuText) action = a;
            }
        QVERIFY(action != nullptr);
        frame->runModal = [](QDialog& dialog) {
            auto* d = qobject_cast<ui::CHistorySettingsDlg*>(&dialog);
            if (d == nullptr) return int(QDialog::Rejected);
            d->Enabled()->setChecked(false);
            d->Name()->setText("  Li Wei ");
            d->Email()->setText("li.wei@example.org");
            return int(QDialog::Accepted);
        };
        if (const QString shots = qEnvironmentVariable("CORVIX_SHOTS_DIR"); !shots.isEmpty()) {
            ui::HistoryPrefs prefs;
            prefs.name = "Li Wei";
            prefs.email = "li.wei@example.org";
            const QByteArray env = qgetenv("CORVIX_HISTORY");
            qunsetenv("CORVIX_HISTORY");  // the default folder shown, not the test's
            ui::CHistorySettingsDlg shown(prefs, lang);
            qputenv("CORVIX_HISTORY", env);
            shown.show();
            QCoreApplication::processEvents();
            shown.grab().save(shots + QString("/history-settings-%1.png").arg(QTest::currentDataTag()));
        }
        action->trigger();
        {
            ui::CHistorySettingsDlg labelled(ui::HistoryPrefs{}, lang);
            for (QPushButton* b : labelled.findChildren<QPushButton*>()) QVERIFY(!b->text().isEmpty());
        }
        const ui::HistoryPrefs kept = ui::LoadHistoryPrefs(settings.get());
        QVERIFY(!kept.enabled);
        QCOMPARE(kept.name, std::string("Li Wei"));
        QCOMPARE(kept.email, std::string("li.wei@example.org"));
        ReadDevice();
        QVERIFY(Host()->Drain(std::chrono::seconds(20)));
        QVERIFY(!QFileInfo::exists(historyDir));  // nothing recorded, nothing made
    }

    void theEnvironmentWinsOverTheFolderChosen_data() {
        QTest::addColumn<QString>("env");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("used");
        QTest::newRow("env set") << "/tmp/from-env"
                                 << "/tmp/chosen"
                                 << "";
        QTest::newRow("env unset") << ""
                                   << "/tmp/chosen"
                                   << "/tmp/chosen";
        QTest::newRow("neither") << ""
                                 << ""
                                 << "";
    }
    void theEnvironmentWinsOverTheFolderChosen() {
        QFETCH(QString, env);
        QFETCH(QString, folder);
        QFETCH(QString, used);
        if (env.isEmpty())
            qunsetenv("CORVIX_HISTORY");
        else
            qputenv("CORVIX_HISTORY", env.toUtf8());
        ui::HistoryPrefs prefs;
        prefs.folder = folder.toStdString();
        const history::Settings s = ui::RecorderSettings(prefs);
        QCOMPARE(QString::fromStdString(s.folder), used);
        QVERIFY(!s.author);  // no name: the OS user
        history::Recorder recorder(s);
        QCOMPARE(
            QString::fromStdString(recorder.Folder()),
            env.isEmpty() && !folder.isEmpty() ? folder : QString::fromStdString(history::DefaultFolder()));
    }
};

QTEST_MAIN(TestGitHistoryRecord)
#include "tst_githistory_record.moc"
