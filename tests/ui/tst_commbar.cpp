// SPDX-License-Identifier: Apache-2.0
// The communication bar's log: time-stamped header lines with the verdict, the cap on its
// entries, the context menu's commands and what they remember, and the automatic log.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "link/engine.h"
#include "link/frame.h"
#include "model/doc.h"
#include "present/pcapng.h"
#include "ui/dialogs/comminfownd.h"
#include "ui/frame/mainframe.h"
#include "ui/ui_test_helper.h"

using namespace corvix;

namespace {

LocalTime Fixed() { return LocalTime{2026, 3, 0, 1, 10, 20, 30, 456}; }

QString ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return QString::fromUtf8(f.readAll());
}

}  // namespace

class TestCommBar : public QObject, private corvix::test::FrameFixture {
    Q_OBJECT

    CCommInfoWnd* bar = nullptr;
    QString State() const { return dir->filePath("state/Corvix"); }

  private slots:
    void init() {
        OpenFrame(true);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        frame->RunCommand(CMainFrame::IdConnectionBar);
        bar = frame->CommBar();
        bar->SetClock(Fixed);
        bar->SetAutoLogFolder(State().toStdString());
    }

    void cleanup() { CloseFrame(); }

    void headerLinesCarryTimeAndVerdict() {
        QVERIFY(bar->TimeStamps());  // on from the start
        const uint8_t three[] = {1, 2, 3};
        uint8_t frameBytes[MaxFrameSize];
        const std::size_t n = BuildFrame(frameBytes, CTRL_LAST, 0, 1, TYPE_DATA, FC_STATUS, three, 1);
        frame->Engine().OnSent(three, sizeof three);
        frame->Engine().OnReceived(frameBytes, n);
        doc->SetLanguage(LangEnglish);
        frame->Engine().OnReceived(three, 2);
        QString hex;
        for (std::size_t i = 0; i < n; ++i) hex += QString::asprintf("%02x ", frameBytes[i]);
        QCOMPARE(bar->Text(), "10:20:30.456 send-->repeat=0\n01 02 03 \n" +
                                  QString("10:20:30.456 receive<-- (校验正确)\n") + hex +
                                  "\n10:20:30.456 receive<-- (too short)\n01 02 \n");
        // Off: the headers read as without time stamps, for the entries already there too.
        bar->SetTimeStamps(false);
        QCOMPARE(bar->Text(), "send-->repeat=0\n01 02 03 \nreceive<--\n" + hex + "\nreceive<--\n01 02 \n");
        QCOMPARE(bar->TextBox()->toPlainText(), bar->Text());
        // Remembered.
        CCommInfoWnd again(nullptr, settings.get());
        QVERIFY(!again.TimeStamps());
        QVERIFY(!again.AutoLog());
    }

    void keepsTheLastEntries() {
        const int total = static_cast<int>(CommLogMaxEntries) + 11;
        for (int i = 0; i < total; ++i) {
            CommLogEntry e;
            e.sent = true;
            e.repeat = i;
            e.time = Fixed();
            e.bytes = {uint8_t(i)};
            bar->AddEntry(std::move(e));
            if (i == total - 30) bar->Flush();  // the rest goes in as a batch, past the cap
        }
        bar->Flush();
        QCOMPARE(bar->Entries().Size(), CommLogMaxEntries);
        QCOMPARE(bar->Entries().Entries().front().repeat, 11);
        // The box drops a few more of the oldest at once; it ends with the newest, a block each.
        const int shown = bar->TextBox()->document()->blockCount() - 1;
        QVERIFY(shown <= int(CommLogMaxEntries) && shown >= int(CommLogMaxEntries - CCommInfoWnd::TrimEntries));
        const QString text = bar->TextBox()->toPlainText();
        QVERIFY(text.startsWith(QString("10:20:30.456 send-->repeat=%1\n").arg(total - shown)));
        QVERIFY(text.endsWith(QString("send-->repeat=%1\n%2 \n").arg(total - 1).arg((total - 1) & 0xFF, 2, 16, QChar('0'))));
        // Save Log writes the whole log.
        std::string reason;
        QVERIFY(bar->SaveTo(dir->filePath("all.log"), reason));
        QVERIFY(ReadAll(dir->filePath("all.log")).startsWith("10:20:30.456 send-->repeat=11\n0b \n"));
    }

    void boxTextStaysWithinItsBudget() {
        // Blocks of 1024 bytes: the box keeps the newest that fit, the log keeps them all.
        for (int i = 0; i < 3000; ++i) bar->AddEntry(CommLogEntry{false, 0, FrameVerdict::BadStart, Fixed(), 0, std::vector<uint8_t>(1024, uint8_t(i))});
        bar->Flush();
        QCOMPARE(bar->Entries().Size(), std::size_t(3000));
        const QString text = bar->TextBox()->toPlainText();
        QVERIFY(std::size_t(text.size()) <= CCommInfoWnd::TextBudget && text.size() > 1000000);
        QVERIFY(text.endsWith("\n" + QString("b7 ").repeated(24) + "\n"));  // the newest: 2999 = 0x..b7
    }

    void contextMenuSavesAndClears() {
        doc->SetLanguage(LangEnglish);
        std::unique_ptr<QMenu> menu(bar->BuildContextMenu(nullptr));
        QStringList texts;
        for (QAction* a : menu->actions()) texts << (a->isSeparator() ? "---" : a->text());
        QCOMPARE(texts, QStringList({"&Save Log...", "Save Log as &pcapng...", "&Clear", "---", "&Time Stamps",
                                     "&Automatic Log", "Automatic Log &Writes pcapng Too"}));
        QVERIFY(menu->actions()[4]->isChecked());
        QVERIFY(!menu->actions()[5]->isChecked());
        QVERIFY(!menu->actions()[6]->isChecked());
        QVERIFY(!menu->actions()[6]->isEnabled());  // only with the automatic log

        const uint8_t bytes[] = {0xAB, 0xCD};
        frame->Engine().OnSent(bytes, sizeof bytes);
        std::string reason;
        const QString path = dir->filePath("saved.log");
        QVERIFY(bar->SaveTo(path, reason));
        QCOMPARE(ReadAll(path), QString("10:20:30.456 send-->repeat=0\nab cd \n"));
        QVERIFY(!bar->SaveTo(dir->filePath("no/such/folder/x.log"), reason));
        QVERIFY(!reason.empty());

        menu->actions()[4]->trigger();  // Time Stamps off, remembered
        QCOMPARE(settings->value("commLog/timeStamps").toBool(), false);
        menu->actions()[2]->trigger();  // Clear
        QCOMPARE(bar->Text(), QString());
        QCOMPARE(bar->Entries().Size(), std::size_t(0));
    }

    void automaticLogTakesEveryEntryAndComplainsOnce() {
        bar->SetAutoLog(true);
        QCOMPARE(settings->value("commLog/automatic").toBool(), true);
        const uint8_t bytes[] = {0x58};
        frame->Engine().OnSent(bytes, 1);
        frame->RunCommand(CMainFrame::IdConnectionBar);  // hidden: still logged
        frame->Engine().OnReceived(bytes, 1);
        QTRY_COMPARE(ReadAll(State() + "/corvix-2026-03-01.log"),
                     QString("10:20:30.456 send-->repeat=0\n58 \n10:20:30.456 receive<-- (过短)\n58 \n"));

        // A folder that cannot be made: one message, the log goes on.
        QFile blocker(dir->filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        bar->SetAutoLogFolder(dir->filePath("blocker/Corvix").toStdString());
        for (int i = 0; i < 3; ++i) {
            frame->Engine().OnSent(bytes, 1);
            bar->Flush();
        }
        const auto boxes = bar->findChildren<QMessageBox*>("autoLogFailure");
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0]->text().contains("blocker"));
        QCOMPARE(bar->Entries().Size(), std::size_t(5));
    }

    void savesWhatItHoldsAsPcapng() {
        bar->SetUtcClock([] { return uint64_t(1700000000123456); });
        bar->SetLinkSettings([] {
            SerialSettings line;
            line.portName = "/dev/ttyX";
            return line;
        });
        doc->SetLanguage(LangChinese);
        std::unique_ptr<QMenu> menu(bar->BuildContextMenu(nullptr));
        QCOMPARE(menu->findChild<QAction*>("savePcapng")->text(), QString("保存为 pcapng(&P)..."));
        QCOMPARE(menu->findChild<QAction*>("automaticPcapng")->text(), QString("自动日志同时写 pcapng(&W)"));

        const uint8_t bytes[] = {0xAB, 0xCD};
        frame->Engine().OnSent(bytes, sizeof bytes);
        frame->Engine().OnReceived(bytes, 1);
        std::string reason;
        const QString path = dir->filePath("saved.pcapng");
        QVERIFY(bar->SavePcapngTo(path, reason));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        // The header blocks, then the entries as packets: time, direction, comment.
        std::vector<uint8_t> expected = PcapngSectionHeader();
        for (const auto& block : {PcapngInterface("/dev/ttyX", "57600 baud 8N1"),
                                  PcapngPacket(1700000000123456, PacketDirection::Outbound, {bytes, 2}, "repeat=0"),
                                  PcapngPacket(1700000000123456, PacketDirection::Inbound, {bytes, 1}, "no frame")})
            expected.insert(expected.end(), block.begin(), block.end());
        QCOMPARE(all, QByteArray(reinterpret_cast<const char*>(expected.data()), qsizetype(expected.size())));
        QVERIFY(!bar->SavePcapngTo(dir->filePath("no/such/folder/x.pcapng"), reason));
        QVERIFY(!reason.empty());
    }

    void automaticLogWritesAPcapngBesideTheTextWhenAsked() {
        bar->SetUtcClock([] { return uint64_t(1700000000123456); });
        const uint8_t bytes[] = {0x58};
        bar->SetAutoLog(true);
        frame->Engine().OnSent(bytes, 1);
        bar->Flush();
        QVERIFY(!QFile::exists(State() + "/corvix-2026-03-01.pcapng"));  // off by default

        std::unique_ptr<QMenu> menu(bar->BuildContextMenu(nullptr));
        QAction* pcapng = menu->findChild<QAction*>("automaticPcapng");
        QVERIFY(pcapng->isEnabled());
        pcapng->trigger();
        QVERIFY(bar->AutoPcapng());
        QCOMPARE(settings->value("commLog/automaticPcapng").toBool(), true);
        frame->Engine().OnReceived(bytes, 1);
        frame->Engine().OnSent(bytes, 1);
        bar->Flush();
        QFile f(State() + "/corvix-2026-03-01.pcapng");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        const std::vector<uint8_t> head = PcapngSectionHeader();
        QVERIFY(all.startsWith(QByteArray(reinterpret_cast<const char*>(head.data()), qsizetype(head.size()))));
        const std::vector<uint8_t> last = PcapngPacket(1700000000123456, PacketDirection::Outbound, {bytes, 1}, "repeat=0");
        QVERIFY(all.endsWith(QByteArray(reinterpret_cast<const char*>(last.data()), qsizetype(last.size()))));
        // The entry from before the switch is only in the text log; the two after it in both.
        QCOMPARE(all.count(QByteArray("repeat=0")), 1);
        QCOMPARE(all.count(QByteArray("no frame")), 1);
        QCOMPARE(ReadAll(State() + "/corvix-2026-03-01.log").count("send-->"), 2);

        CCommInfoWnd again(nullptr, settings.get());
        QVERIFY(again.AutoPcapng());
    }
};

QTEST_MAIN(TestCommBar)
#include "tst_commbar.moc"
