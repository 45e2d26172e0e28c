// SPDX-License-Identifier: Apache-2.0
// History… of a device: the states of a real history repository listed in both languages,
// a state compared with the project in the compare window, restored as one undo step, and
// marked as the baseline; the device's context menu offers it. With CORVIX_SHOTS_DIR set,
// the windows are also saved as pictures there.
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

#include "history/recorder.h"
#include "model/doc.h"
#include "model/texts_githistory.h"
#include "ui/dialogs/comparedlg.h"
#include "ui/dialogs/dialog_util.h"
#include "ui/dialogs/githistorydlg.h"
#include "ui/views/macview.h"

using namespace corvix;

class TestGitHistory : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir;  // a fresh one per test: its own history
    std::unique_ptr<CBrondaleDoc> doc;
    std::unique_ptr<history::Recorder> recorder;
    history::ProjectIdentity identity;
    std::string first, second;  // the two recorded reads
    const char* original = "Breaker closed";

    void Shot(QWidget& window, const QString& name) {
        const QString folder = qEnvironmentVariable("CORVIX_SHOTS_DIR");
        if (folder.isEmpty()) return;
        window.show();
        QCoreApplication::processEvents();
        window.grab().save(folder + "/" + name + ".png");
    }

  private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        auto p = std::make_unique<ProjectBlock>();
        p->projectOpen = 1;
        p->deviceCount = 1;
        InitialiseNewDevice(p->devices[0], "Feeder 1", LangEnglish);
        std::strcpy(p->devices[0].signalNames[0], original);
        const std::string file = dir->filePath("plant.mac").toStdString();
        history::Settings settings;
        settings.folder = dir->filePath("history").toStdString();
        settings.author = history::Author{"Li Wei", "li.wei@example.org"};
        recorder = std::make_unique<history::Recorder>(settings);
        identity = recorder->Identify(*p, file, true);
        first = recorder->RecordRead(*p, {0}, identity, "/dev/ttyUSB0");
        std::strcpy(p->devices[0].signalNames[0], "Changed at the panel");
        p->devices[0].baudRate[1] = 4800;
        second = recorder->RecordRead(*p, {0}, identity, "/dev/ttyUSB0");
        QVERIFY(!first.empty() && !second.empty());
        // The project as opened from its file: no step to undo yet.
        QCOMPARE(WriteProjectFileAtomic(file, *p), FileError::None);
        doc = std::make_unique<CBrondaleDoc>();
        QVERIFY(doc->ImportProjectFrom(file));
    }

    void listsTheStatesNewestFirst_data() {
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("baselineButton");
        QTest::newRow("en") << int(LangEnglish) << "Settings History - Feeder 1" << "read" << "Mark as Baseline";
        QTest::newRow("zh") << int(LangChinese) << "设置历史 - Feeder 1" << "读取" << "设为基线";
    }
    void listsTheStatesNewestFirst() {
        QFETCH(int, lang);
        QFETCH(QString, title);
        QFETCH(QString, operation);
        QFETCH(QString, baselineButton);
        doc->SetLanguage(lang);
        CGitHistoryDlg dialog(*doc, 0, *recorder, identity);
        QCOMPARE(dialog.windowTitle(), title);
        QCOMPARE(dialog.Table()->rowCount(), 2);
        QCOMPARE(dialog.Table()->item(0, 1)->text(), operation);
        QCOMPARE(dialog.Table()->item(0, 2)->text(), QString("Li Wei"));
        QCOMPARE(dialog.Table()->item(0, 3)->text(), QString("/dev/ttyUSB0"));
        QCOMPARE(dialog.Table()->item(0, 4)->text(), QString("2"));  // a name and a baud rate
        QCOMPARE(dialog.Table()->item(0, 0)->toolTip().toStdString(), second);
        QCOMPARE(dialog.BaselineButton()->text(), baselineButton);
        Shot(dialog, "history-window-" + QString(IsEnglish(lang) ? "en" : "zh"));
    }

    void comparesAStateWithTheProject_data() { listsTheStatesNewestFirst_data(); }
    void comparesAStateWithTheProject() {
        QFETCH(int, lang);
        doc->SetLanguage(lang);
        // The project's event log is no setting: a state, which has none, does not differ by it.
        doc->Device(0).eventCount = 3;
        CGitHistoryDlg dialog(*doc, 0, *recorder, identity);
        dialog.Table()->selectRow(1);
        CCompareDlg* compare = dialog.CompareSelected();
        QVERIFY(compare != nullptr);
        QCOMPARE(compare->FileDeviceBox()->count(), 2);
        QCOMPARE(compare->FileDeviceBox()->currentIndex(), 1);
        // The first read against the project now: the name and the baud rate changed since.
        QCOMPARE(static_cast<int>(compare->Differences().size()), 2);
        QCOMPARE(compare->Table()->horizontalHeaderItem(3)->text(), ui::Text(txt::GitColState, lang));
        QVERIFY(compare->UseButton(0) != nullptr);
        QCOMPARE(compare->UseButton(0)->text(), ui::Text(txt::GitUseState, lang));
        Shot(*compare, "history-compare-" + QString(IsEnglish(lang) ? "en" : "zh"));
        // The newest state, chosen as a person does: the project as it is.
        compare->FileDeviceBox()->setCurrentIndex(0);
        emit compare->FileDeviceBox()->activated(0);
        QCOMPARE(static_cast<int>(compare->Differences().size()), 0);
        compare->close();
    }

    void comparesAStateWithThePreviousOne_data() { listsTheStatesNewestFirst_data(); }
    void comparesAStateWithThePreviousOne() {
        QFETCH(int, lang);
        doc->SetLanguage(lang);
        doc->Device(0).baudRate[1] = 2400;  // the project's own value takes no part
        CGitHistoryDlg dialog(*doc, 0, *recorder, identity);
        dialog.Table()->selectRow(1);
        QVERIFY(!dialog.ComparePreviousButton()->isEnabled());  // the oldest state
        QVERIFY(dialog.CompareSelectedWithPrevious() == nullptr);
        dialog.Table()->selectRow(0);
        QVERIFY(dialog.ComparePreviousButton()->isEnabled());
        CCompareDlg* compare = dialog.CompareSelectedWithPrevious();
        QVERIFY(compare != nullptr);
        // The second read against the first: the name and the baud rate changed between them.
        QCOMPARE(static_cast<int>(compare->Differences().size()), 2);
        QCOMPARE(compare->UseButton(0), nullptr);
        QVERIFY(!compare->UseAllButton()->isVisible() && !compare->WriteButton()->isVisible());
        QVERIFY(!compare->UseSelectedAction()->isEnabled());
        Shot(*compare, "history-previous-" + QString(IsEnglish(lang) ? "en" : "zh"));
        // The oldest state chosen in the window: nothing before it.
        compare->FileDeviceBox()->setCurrentIndex(1);
        emit compare->FileDeviceBox()->activated(1);
        QVERIFY(compare->Differences().empty());
        QCOMPARE(compare->StatusLabel()->text(), ui::Text(txt::GitNoPreviousState, lang));
        compare->close();
        QVERIFY(!doc->Modified());
    }

    void restoresAStateAsOneUndoStep() {
        doc->SetLanguage(LangEnglish);
        CGitHistoryDlg dialog(*doc, 0, *recorder, identity);
        QSignalSpy changed(&dialog, &CGitHistoryDlg::ProjectChanged);
        doc->Device(0).eventCount = 1;
        dialog.Table()->selectRow(1);
        QVERIFY(dialog.RestoreSelected());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(QString(doc->Device(0).signalNames[0]), QString(original));
        QCOMPARE(doc->Device(0).baudRate[1], 19200u);
        QCOMPARE(doc->Device(0).eventCount, 1);  // the event log is the project's own
        QVERIFY(doc->Modified());
        // The restore is recorded, newest first.
        QCOMPARE(dialog.Table()->rowCount(), 3);
        QCOMPARE(dialog.Table()->item(0, 1)->text(), QString("restore"));
        // The state restored stays selected, one row further down.
        QCOMPARE(dialog.Table()->selectedItems().front()->toolTip().toStdString(), first);
        Shot(dialog, "history-restored-en");
        QVERIFY(doc->CanUndo());
        doc->Undo();
        QCOMPARE(QString(doc->Device(0).signalNames[0]), QString("Changed at the panel"));
        QVERIFY(!doc->CanUndo());
    }

    void marksTheBaseline() {
        doc->SetLanguage(LangEnglish);
        CGitHistoryDlg dialog(*doc, 0, *recorder, identity);
        dialog.Table()->selectRow(1);
        QVERIFY(dialog.MarkSelectedAsBaseline());
        QCOMPARE(dialog.Table()->item(1, 5)->text(), QString("Baseline"));
        QCOMPARE(dialog.Table()->item(0, 5)->text(), QString());
        const std::string path = history::Recorder::DevicePath(doc->Project(), 0, identity);
        QCOMPARE(recorder->Repo(false)->Baseline(path).value_or(""), first);
    }

    void deviceContextMenuOffersIt() {
        for (int lang : {LangEnglish, LangChinese}) {
            doc->SetLanguage(lang);
            CMacView tree(*doc);
            tree.RebuildTree();
            doc->SelectNode(KindDeviceFirst, KindDeviceFirst);
            std::unique_ptr<QMenu> menu(tree.BuildContextMenu());
            QVERIFY(menu != nullptr);
            QStringList texts;
            for (QAction* a : menu->actions()) texts << a->text();
            QVERIFY2(texts.contains(IsEnglish(lang) ? "History..." : "历史记录..."), qPrintable(texts.join('|')));
            QSignalSpy asked(&tree, &CMacView::GitHistoryRequested);
            tree.RunCommand(CMacView::CmdGitHistory);
            QCOMPARE(asked.count(), 1);
            QCOMPARE(asked.at(0).at(0).toInt(), int(KindDeviceFirst));
        }
    }
};

QTEST_MAIN(TestGitHistory)
#include "tst_githistory.moc"
