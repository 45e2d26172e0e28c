// SPDX-License-Identifier: Apache-2.0
// The project tree: rebuild, selection, context menus and their graying, every device
// command, the keyboard shortcuts, the link commands, and the name dialog.
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <memory>

#include "link/engine.h"
#include "link/frame.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "ui/frame/icons.h"
#include "ui/ui_test_helper.h"
#include "ui/views/macview.h"
#include "ui/views/namedlg.h"

using namespace corvix;
using corvix::test::ScriptedUserInterface;

namespace {

// The document's views: the tree for real, the list as a record of what was asked of it.
struct RecordingViews : IDocViews {
    CMacView* tree = nullptr;
    std::vector<std::string> calls;
    void RebuildTree() override { tree->RebuildTree(); }
    void ShowPage() override { calls.push_back("ShowPage"); }
    void ClearPage() override { calls.push_back("ClearPage"); }
};

struct CapturingSink : IFrameSink {
    std::vector<std::vector<uint8_t>> frames;
    void SubmitFrame(const uint8_t* bytes, std::size_t length) override {
        frames.emplace_back(bytes, bytes + length);
    }
    bool IsConnected() const override { return true; }
    void CloseLink() override {}
};

QStringList ChildTexts(QTreeWidgetItem* item) {
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i) texts << item->child(i)->text(0);
    return texts;
}

QList<int> ChildCodes(QTreeWidgetItem* item) {
    QList<int> codes;
    for (int i = 0; i < item->childCount(); ++i) codes << CMacView::NodeCode(item->child(i));
    return codes;
}

struct MenuEntry {
    QString text;
    bool enabled;
};

QList<MenuEntry> Entries(QMenu* menu) {
    QList<MenuEntry> entries;
    for (QAction* a : menu->actions())
        entries.append({a->isSeparator() ? QString("---") : a->text(), a->isEnabled()});
    return entries;
}

bool SameImage(const QIcon& a, const QIcon& b) {
    return a.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32) ==
           b.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class TestMacView : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<CBrondaleDoc> doc;
    std::unique_ptr<ScriptedUserInterface> ui;
    std::unique_ptr<RecordingViews> views;
    std::unique_ptr<CMacView> tree;
    std::unique_ptr<CapturingSink> sink;
    std::unique_ptr<ProtocolEngine> engine;

    QTreeWidgetItem* Root() { return tree->topLevelItem(0); }

    void Select(int code) {
        QTreeWidgetItem* node = tree->FindNode(code);
        QVERIFY(node);
        tree->setCurrentItem(node);
    }

    void SelectChild(int deviceCode, int pageCode) {
        QTreeWidgetItem* device = tree->FindNode(deviceCode);
        QVERIFY(device);
        for (QTreeWidgetItemIterator it(device); *it; ++it) {
            if (CMacView::NodeCode(*it) == pageCode) {
                tree->setCurrentItem(*it);
                return;
            }
        }
        QFAIL("page node not found");
    }

    // New project with devices named as given (the first is "1").
    void MakeProject(const QStringList& extraNames) {
        doc->NewProject();
        for (const QString& name : extraNames) {
            ui->names.push_back(Utf8ToGbk(name.toStdString()));
            Select(KindProject);
            tree->RunCommand(CMacView::CmdAddDevice);
        }
    }

    QStringList DeviceNames() {
        QStringList names;
        for (int i = 0; i < Root()->childCount(); ++i) names << Root()->child(i)->text(0);
        return names;
    }

  private slots:
    void init() {
        doc = std::make_unique<CBrondaleDoc>();
        ui = std::make_unique<ScriptedUserInterface>();
        views = std::make_unique<RecordingViews>();
        tree = std::make_unique<CMacView>(*doc);
        views->tree = tree.get();
        doc->SetViews(views.get());
        doc->SetUserInterface(ui.get());
        sink = std::make_unique<CapturingSink>();
        engine = std::make_unique<ProtocolEngine>(*doc, *sink, ResultFn{});
        tree->SetEngine(engine.get());
        tree->resize(300, 500);
        tree->show();
    }

    void cleanup() {
        tree.reset();
        engine.reset();
        doc.reset();
    }

    void emptyBeforeAProject() {
        tree->RebuildTree();
        QCOMPARE(tree->topLevelItemCount(), 0);
        QVERIFY(tree->BuildContextMenu() == nullptr);
        tree->RunCommand(CMacView::CmdAddDevice);
        QVERIFY(ui->nameInitials.empty());
    }

    void rebuildBuildsEveryNodeInTheLanguage() {
        MakeProject({"B"});
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(CMacView::NodeCode(Root()), int(KindProject));
        QCOMPARE(Root()->text(0), QString("新工程"));
        QVERIFY(Root()->isExpanded());
        QCOMPARE(ChildCodes(Root()), (QList<int>{139, 140}));
        QCOMPARE(DeviceNames(), (QStringList{"1", "B"}));
        for (int d = 0; d < 2; ++d) {
            QTreeWidgetItem* device = Root()->child(d);
            QVERIFY(!device->isExpanded());
            QCOMPARE(ChildCodes(device), (QList<int>{159, 133, 134, 137}));
            QCOMPARE(ChildTexts(device),
                     (QStringList{"系统配置", "开关量状态显示", "CPU 出错模拟", "事件信息"}));
            QCOMPARE(ChildCodes(device->child(0)), (QList<int>{129, 162, 130, 131, 132}));
            QCOMPARE(ChildTexts(device->child(0)), (QStringList{"装置地址", "对时方式", "RS485 系统接口 B1",
                                                                "RS485 系统接口 B2", "开关量信息定义"}));
        }
        // Images: 4 the project, 0 a device, 5 every page and the Configuration folder.
        const std::vector<QIcon> images = ui::TreeImages();
        QCOMPARE(images.size(), std::size_t(6));
        QVERIFY(SameImage(Root()->icon(0), images[4]));
        QVERIFY(SameImage(Root()->child(0)->icon(0), images[0]));
        QVERIFY(SameImage(Root()->child(0)->child(0)->icon(0), images[5]));
        QVERIFY(SameImage(Root()->child(0)->child(0)->child(2)->icon(0), images[5]));
        QVERIFY(!SameImage(images[0], images[5]));

        doc->SetLanguage(LangEnglish);
        tree->RebuildTree();
        QCOMPARE(Root()->text(0), QString("新工程"));  // names stay as stored
        QCOMPARE(ChildTexts(Root()->child(1)),
                 (QStringList{"Configuration", "Matrix I/O Status", "Test CPU Supervision", "Event Log"}));
        QCOMPARE(ChildTexts(Root()->child(1)->child(0)),
                 (QStringList{"Device Address", "Time Synchronization", "RS485 Port B1 - System",
                              "RS485 Port B2 - System", "Matrix I/O Assignment"}));
    }

    void rebuildSelectsTheFirstDeviceAndEmptiesTheList() {
        MakeProject({"B", "C"});
        SelectChild(141, KindEventLog);
        QCOMPARE(doc->CurrentDeviceId(), 141);
        views->calls.clear();
        tree->RebuildTree();
        QCOMPARE(tree->currentItem(), Root()->child(0));
        QVERIFY(Root()->child(0)->isSelected());
        QCOMPARE(doc->CurrentPage(), 139);
        QCOMPARE(doc->CurrentDeviceId(), 139);
        QCOMPARE(&doc->CurrentDevice(), &doc->Device(0));
        // One selection change, which empties the list.
        QCOMPARE(views->calls, std::vector<std::string>{"ClearPage"});
    }

    void selectionFindsTheNearestDevice() {
        MakeProject({"B"});
        views->calls.clear();
        SelectChild(140, KindDeviceAddress);
        QCOMPARE(doc->CurrentPage(), int(KindDeviceAddress));
        QCOMPARE(doc->CurrentDeviceId(), 140);
        QCOMPARE(&doc->CurrentDevice(), &doc->Device(1));
        QCOMPARE(views->calls.back(), std::string("ShowPage"));

        SelectChild(139, KindConfiguration);
        QCOMPARE(doc->CurrentPage(), int(KindConfiguration));
        QCOMPARE(doc->CurrentDeviceId(), 139);
        QCOMPARE(views->calls.back(), std::string("ClearPage"));

        // The project node leaves the current device as it was.
        Select(KindProject);
        QCOMPARE(doc->CurrentPage(), int(KindProject));
        QCOMPARE(doc->CurrentDeviceId(), 139);
        QCOMPARE(&doc->CurrentDevice(), &doc->Device(0));
    }

    void contextMenusAndTheirGraying() {
        MakeProject({});
        // A page node has no menu.
        SelectChild(139, KindPortB1);
        QVERIFY(tree->BuildContextMenu() == nullptr);
        SelectChild(139, KindConfiguration);
        QVERIFY(tree->BuildContextMenu() == nullptr);

        Select(KindProject);
        std::unique_ptr<QMenu> project(tree->BuildContextMenu());
        QVERIFY(project);
        QList<MenuEntry> entries = Entries(project.get());
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0].text, QString("重命名"));
        QCOMPARE(entries[1].text, QString("添加装置"));
        QCOMPARE(entries[2].text, QString("粘贴"));
        QVERIFY(entries[0].enabled && entries[1].enabled);
        QVERIFY(!entries[2].enabled);  // nothing on the clipboard

        Select(139);
        std::unique_ptr<QMenu> device(tree->BuildContextMenu());
        entries = Entries(device.get());
        QStringList texts;
        for (const MenuEntry& e : entries) texts << e.text;
        QCOMPARE(texts, (QStringList{"剪切(X)", "复制(C)", "粘贴(V)", "删除(D)", "重命名", "---",
                                     "从装置读出", "写入装置", "与装置比较", "历史记录...", "连接设置…"}));
        QVERIFY(!entries[2].enabled);
        tree->RunCommand(CMacView::CmdCopy);
        device.reset(tree->BuildContextMenu());
        QVERIFY(Entries(device.get())[2].enabled);

        // English menus; at 20 devices Add Device and both pastes are grayed.
        doc->SetLanguage(LangEnglish);
        for (int i = 1; i < MaxDevices; ++i) {
            Select(KindProject);
            tree->RunCommand(CMacView::CmdPasteAfterLast);
        }
        QCOMPARE(doc->Project().deviceCount, MaxDevices);
        Select(KindProject);
        project.reset(tree->BuildContextMenu());
        entries = Entries(project.get());
        QCOMPARE(entries[0].text, QString("Rename"));
        QCOMPARE(entries[1].text, QString("Add Device"));
        QCOMPARE(entries[2].text, QString("Paste"));
        QVERIFY(!entries[1].enabled);
        QVERIFY(!entries[2].enabled);
        Select(150);
        device.reset(tree->BuildContextMenu());
        entries = Entries(device.get());
        QCOMPARE(entries[2].text, QString("Paste(V)"));
        QVERIFY(!entries[2].enabled);
        QCOMPARE(entries[6].text, QString("Read From Device"));
        QCOMPARE(entries[7].text, QString("Write to Device"));
        QCOMPARE(entries[8].text, QString("Compare With Device"));
        // The commands themselves do nothing at the limit (the shortcut reaches them too).
        tree->RunCommand(CMacView::CmdPasteBefore);
        QCOMPARE(doc->Project().deviceCount, MaxDevices);
    }

    void rightClickKeepsTheSelection() {
        MakeProject({"B"});
        Select(140);
        QTreeWidgetItem* page = tree->FindNode(KindProject);
        QStringList shown;
        QTimer::singleShot(0, this, [&shown] {
            if (QMenu* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* a : popup->actions()) shown << a->text();
                popup->close();
            }
        });
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(page).center());
        QCOMPARE(tree->currentItem(), tree->FindNode(140));
        QCOMPARE(doc->CurrentPage(), 140);
        // The menu was the selected device's, not the clicked project's.
        QCOMPARE(shown.value(0), QString("剪切(X)"));
    }

    void addAndRename() {
        MakeProject({});
        // Cancelled: no device, but the project counts as changed.
        doc->SetModified(0);
        Select(KindProject);
        tree->RunCommand(CMacView::CmdAddDevice);
        QCOMPARE(doc->Project().deviceCount, 1);
        QCOMPARE(doc->Modified(), uint8_t(1));
        QCOMPARE(ui->nameInitials.back(), std::string());

        ui->names.push_back(Utf8ToGbk("馈线二"));
        tree->RunCommand(CMacView::CmdAddDevice);
        QCOMPARE(DeviceNames(), (QStringList{"1", "馈线二"}));

        // Rename a device: the node text changes without a rebuild (the list keeps its page).
        Select(140);
        views->calls.clear();
        ui->names.push_back(std::string());
        tree->RunCommand(CMacView::CmdRenameDevice);
        QCOMPARE(ui->nameInitials.back(), Utf8ToGbk("馈线二"));
        QCOMPARE(tree->FindNode(140)->text(0), QString());
        QVERIFY(views->calls.empty());

        // Rename the project; cancelling keeps the name.
        Select(KindProject);
        ui->names.push_back(Utf8ToGbk("Plant"));
        tree->RunCommand(CMacView::CmdRenameProject);
        QCOMPARE(Root()->text(0), QString("Plant"));
        tree->RunCommand(CMacView::CmdRenameProject);
        QCOMPARE(Root()->text(0), QString("Plant"));
    }

    void pasteBeforeTheFirstOfThree() {
        MakeProject({"B", "C"});
        Select(141);
        tree->RunCommand(CMacView::CmdCopy);
        Select(139);
        tree->RunCommand(CMacView::CmdPasteBefore);
        QCOMPARE(DeviceNames(), (QStringList{"C", "1", "B", "C"}));
        QCOMPARE(ChildCodes(Root()), (QList<int>{139, 140, 141, 142}));
        QVERIFY(std::memcmp(&doc->Device(0), &doc->Device(3), sizeof(DeviceRecord)) == 0);
        // The clipboard stays full: paste again after the last.
        Select(KindProject);
        tree->RunCommand(CMacView::CmdPasteAfterLast);
        QCOMPARE(DeviceNames(), (QStringList{"C", "1", "B", "C", "C"}));
    }

    void deleteAndCut() {
        MakeProject({"B", "C"});
        Select(141);
        tree->RunCommand(CMacView::CmdDelete);
        QCOMPARE(ChildCodes(Root()), (QList<int>{139, 140}));

        // Cut the first, paste it after the last: the record comes back byte for byte.
        DeviceRecord first = doc->Device(0);
        Select(139);
        tree->RunCommand(CMacView::CmdCut);
        QCOMPARE(DeviceNames(), (QStringList{"B"}));
        Select(KindProject);
        tree->RunCommand(CMacView::CmdPasteAfterLast);
        QCOMPARE(DeviceNames(), (QStringList{"B", "1"}));
        QVERIFY(std::memcmp(&doc->Device(1), &first, sizeof first) == 0);

        // Deleting every device leaves the root alone.
        Select(139);
        tree->RunCommand(CMacView::CmdDelete);
        Select(139);
        tree->RunCommand(CMacView::CmdDelete);
        QCOMPARE(doc->Project().deviceCount, 0);
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(Root()->childCount(), 0);
        // Nothing is selected, so no page is shown and no stale device menu appears.
        QCOMPARE(doc->CurrentPage(), 0);
        QCOMPARE(views->calls.back(), std::string("ClearPage"));
        QVERIFY(tree->BuildContextMenu() == nullptr);
    }

    void keyboardShortcutsOnADevice() {
        MakeProject({"B"});
        Select(140);
        tree->setFocus();
        QTest::keyClick(tree.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(doc->DeviceClipboardFull(), 1);
        Select(139);
        QTest::keyClick(tree.get(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(DeviceNames(), (QStringList{"B", "1", "B"}));
        Select(140);
        QTest::keyClick(tree.get(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(DeviceNames(), (QStringList{"B", "B"}));
        Select(139);
        QTest::keyClick(tree.get(), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(DeviceNames(), (QStringList{"B"}));

        // On a page node the keys do nothing to the devices.
        SelectChild(139, KindSignalNames);
        QTest::keyClick(tree.get(), Qt::Key_D, Qt::ControlModifier);
        QTest::keyClick(tree.get(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(doc->Project().deviceCount, 1);
        // Without Ctrl a letter is only the tree's own key search.
        Select(139);
        QTest::keyClick(tree.get(), Qt::Key_D);
        QCOMPARE(doc->Project().deviceCount, 1);
    }

    void readAndWriteStartTheTransfer() {
        MakeProject({"B"});
        doc->Device(1).address = 9;
        Select(140);
        tree->RunCommand(CMacView::CmdReadFromDevice);
        QCOMPARE(doc->CurrentDeviceId(), 140);
        QVERIFY(engine->TransferBusy());
        QVERIFY(engine->AwaitingReply());
        QCOMPARE(sink->frames.size(), std::size_t(1));
        QCOMPARE(sink->frames[0][8], TYPE_READ);
        QCOMPARE(sink->frames[0][9], FC_CONFIG);

        engine->PollStatus();  // a single request ends the read
        QVERIFY(!engine->TransferBusy());
        sink->frames.pop_back();
        tree->RunCommand(CMacView::CmdWriteToDevice);
        QVERIFY(engine->TransferBusy());
        QCOMPARE(sink->frames.size(), std::size_t(2));
        const std::vector<uint8_t>& piece = sink->frames[1];
        QCOMPARE(piece[8], TYPE_WRITE);
        QCOMPARE(piece[9], FC_CONFIG);
        // The first piece carries the selected device's image.
        QVERIFY(std::memcmp(piece.data() + FrameHeaderSize, &doc->Device(1), ConfigPieceSize) == 0);
    }

    void nameDialogTextsAndLimits() {
        CNameDlg chinese;
        chinese.language = LangChinese;
        chinese.show();
        QCOMPARE(chinese.windowTitle(), QString("名称"));
        QCOMPARE(chinese.OkButton()->text(), QString("确认"));
        QCOMPARE(chinese.CancelButton()->text(), QString("取消"));
        chinese.close();

        CNameDlg english;
        english.language = LangEnglish;
        english.SetName(Utf8ToGbk("馈线"));
        english.show();
        QCOMPARE(english.windowTitle(), QString("Name"));
        QCOMPARE(english.OkButton()->text(), QString("OK"));
        QCOMPARE(english.CancelButton()->text(), QString("CANCEL"));
        QCOMPARE(english.Edit()->text(), QString("馈线"));

        // Cancel leaves the buffer; OK takes at most 99 bytes, never half a character.
        english.Edit()->setText(QString(120, 'a'));
        english.reject();
        QCOMPARE(english.Name(), Utf8ToGbk("馈线"));
        english.show();
        english.Edit()->setText(QString(120, 'a'));
        QTest::mouseClick(english.OkButton(), Qt::LeftButton);
        QCOMPARE(english.result(), int(QDialog::Accepted));
        QCOMPARE(english.Name(), std::string(99, 'a'));

        english.show();
        english.Edit()->setText(QString(60, QChar(0x4E2D)));  // 60 double-byte characters
        english.accept();
        QCOMPARE(english.Name().size(), std::size_t(98));
        QCOMPARE(GbkToUtf8(english.Name()), QString(49, QChar(0x4E2D)).toStdString());

        english.show();
        english.Edit()->clear();
        english.accept();
        QCOMPARE(english.Name(), std::string());
    }
};

QTEST_MAIN(TestMacView)
#include "tst_macview.moc"
