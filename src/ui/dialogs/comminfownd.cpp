// SPDX-License-Identifier: Apache-2.0
#include "ui/dialogs/comminfownd.h"

#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cstdio>
#include <vector>

#include "model/texts.h"
#include "ui/dialogs/dialog_util.h"

namespace {

const char* const KeyTimeStamps = "commLog/timeStamps";
const char* const KeyAutoLog = "commLog/automatic";
const char* const KeyAutoPcapng = "commLog/automaticPcapng";

// One entry as one block of the box: its lines are joined by line separators, which cost
// far less than a block each; the box's plain text still reads "\n" for them.
void AppendEntryText(std::string& out, const corvix::CommLogEntry& e, bool timeStamps) {
    const std::string text = corvix::CommLogText(e, timeStamps);
    static const char lineSeparator[] = "\u2028";
    std::size_t from = 0;
    for (;;) {
        const std::size_t eol = text.find("\r\n", from);
        if (eol == std::string::npos || eol + 2 >= text.size()) {
            out.append(text, from, eol == std::string::npos ? std::string::npos : eol - from);
            out += '\n';
            return;
        }
        out.append(text, from, eol - from);
        out += lineSeparator;
        from = eol + 2;
    }
}

QString EntryText(const corvix::CommLogEntry& e, bool timeStamps) {
    std::string text;
    AppendEntryText(text, e, timeStamps);
    QString piece = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    piece.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return piece;
}

std::string Formatted(const corvix::BiText& text, int lang, const std::string& a, const std::string& b) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, corvix::Pick(text, lang), a.c_str(), b.c_str());
    return buffer;
}

}  // namespace

CCommInfoWnd::CCommInfoWnd(QWidget* parent, QSettings* settings, LanguageFn language)
    : QDockWidget(parent),
      settings_(settings),
      language_(std::move(language)),
      clock_(corvix::SystemLocalTime),
      utcClock_(corvix::SystemUtcMicros),
      logFile_(corvix::DefaultLogFolder()),
      pcapFiles_(corvix::DefaultLogFolder()) {
    setObjectName("commBar");
    setWindowTitle(QString::fromUtf8(corvix::txt::CommBarCaption));
    setAllowedAreas(Qt::AllDockWidgetAreas);
    text_ = new corvix::ui::PlainTextBox(this);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setUndoRedoEnabled(false);  // the log grows for the whole run; keep no undo copy

    // The box shows its text in capitals; the text itself stays as written.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setCapitalization(QFont::AllUppercase);
    text_->setFont(font);
    text_->setAccessibleName(QString::fromUtf8(corvix::Pick(corvix::txt::AccCommLog, corvix::LangChinese)) +
                             " / " +
                             QString::fromUtf8(corvix::Pick(corvix::txt::AccCommLog, corvix::LangEnglish)));
    text_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(text_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = BuildContextMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(text_->viewport()->mapToGlobal(at));
    });
    setWidget(text_);

    if (settings_) {
        timeStamps_ = settings_->value(KeyTimeStamps, true).toBool();
        autoLog_ = settings_->value(KeyAutoLog, false).toBool();
        autoPcapng_ = settings_->value(KeyAutoPcapng, false).toBool();
    }
    batch_.setSingleShot(true);
    batch_.setInterval(BatchMs);
    connect(&batch_, &QTimer::timeout, this, &CCommInfoWnd::Flush);
}

int CCommInfoWnd::Language() const { return language_ ? language_() : corvix::LangChinese; }

std::pair<std::string, std::string> CCommInfoWnd::CaptureInterface() const {
    if (!linkSettings_) return {"serial", ""};
    const corvix::SerialSettings line = linkSettings_();
    return {line.portName, corvix::LineSettingsText(line)};
}

// ---- appending ----

bool CCommInfoWnd::AddResult(const corvix::EngineResult& result, int lang) {
    if (!std::holds_alternative<corvix::FrameSent>(result) && !std::holds_alternative<corvix::FrameReceived>(result))
        return false;
    AddEntry(*corvix::CommLogEntryOf(result, clock_(), lang, utcClock_()));
    return true;
}

void CCommInfoWnd::AddEntry(corvix::CommLogEntry entry) {
    // An entry about to make room must reach the automatic log first.
    if (autoLog_ && unlogged_ > 0 && unlogged_ >= store_.Limit()) WriteAutoLog();
    store_.Append(std::move(entry));
    unshown_ = std::min(unshown_ + 1, store_.Size());
    if (autoLog_) unlogged_ = std::min(unlogged_ + 1, store_.Size());
    // A flood that outruns the batch time is shown in batches of bounded size, so that no
    // single update holds the window for long.
    if (unshown_ >= BatchEntries)
        Flush();
    else if (!batch_.isActive())
        batch_.start();
}

void CCommInfoWnd::Flush() {
    batch_.stop();
    WriteAutoLog();
    if (unshown_ == 0) return;
    // A hidden box is not kept up to date: nobody looks, and a flood would pay for it.
    if (isVisible() && !stale_)
        ShowPending();
    else
        stale_ = true;
    unshown_ = 0;
}

void CCommInfoWnd::ShowPending() {
    if (unshown_ >= store_.Size()) {
        Rebuild();
        return;
    }
    const auto& entries = store_.Entries();
    std::string batch;
    for (std::size_t i = entries.size() - unshown_; i < entries.size(); ++i) {
        const std::size_t before = batch.size();
        AppendEntryText(batch, entries[i], timeStamps_);
        shownSizes_.push_back(batch.size() - before);
        shownChars_ += batch.size() - before;
    }
    QTextCursor cursor(text_->document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromUtf8(batch.data(), static_cast<qsizetype>(batch.size())));
    cursor.endEditBlock();
    // Past the cap or the text budget the oldest entries (a block each) go from the top, a
    // chunk more than needed: every removal makes the document compact its whole text, so it
    // is done seldom and on a text of bounded size. The range is set by position: moving a
    // cursor block by block would lay out every block it passes.
    int drop = 0;
    if (shownSizes_.size() > store_.Size() || shownChars_ > TextBudget) {
        const std::size_t entryGoal = shownSizes_.size() > store_.Size()
                                          ? store_.Size() - std::min(TrimEntries, store_.Size() / 2)
                                          : store_.Size();
        while (shownSizes_.size() > 1 && (shownSizes_.size() > entryGoal || shownChars_ > TextBudget / 10 * 9)) {
            shownChars_ -= shownSizes_.front();
            shownSizes_.pop_front();
            ++drop;
        }
    }
    if (drop > 0) {
        QTextDocument* doc = text_->document();
        QTextCursor top(doc);
        top.beginEditBlock();
        top.setPosition(0);
        top.setPosition(doc->findBlockByNumber(drop).position(), QTextCursor::KeepAnchor);
        top.removeSelectedText();
        top.endEditBlock();
    }
    ScrollToEnd();
}

QString CCommInfoWnd::TextOf(std::size_t first) const {
    QString all;
    const auto& entries = store_.Entries();
    for (std::size_t i = first; i < entries.size(); ++i) all += EntryText(entries[i], timeStamps_);
    return all;
}

void CCommInfoWnd::Rebuild() {
    // The newest entries that fit the text budget.
    const auto& entries = store_.Entries();
    std::vector<std::string> texts;
    std::size_t chars = 0;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        std::string text;
        AppendEntryText(text, *it, timeStamps_);
        if (!texts.empty() && chars + text.size() > TextBudget) break;
        chars += text.size();
        texts.push_back(std::move(text));
    }
    std::string all;
    all.reserve(chars);
    shownSizes_.clear();
    for (auto it = texts.rbegin(); it != texts.rend(); ++it) {
        all += *it;
        shownSizes_.push_back(it->size());
    }
    shownChars_ = chars;
    text_->setPlainText(QString::fromUtf8(all.data(), static_cast<qsizetype>(all.size())));
    stale_ = false;
    unshown_ = 0;
    ScrollToEnd();
}

void CCommInfoWnd::ScrollToEnd() {
    QScrollBar* bar = text_->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void CCommInfoWnd::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    if (stale_ || unshown_ > 0) {
        WriteAutoLog();
        Rebuild();
    }
}

QString CCommInfoWnd::Text() {
    Flush();
    return stale_ ? TextOf(0) : text_->toPlainText();
}

// ---- automatic log ----

void CCommInfoWnd::WriteAutoLog() {
    if (!autoLog_ || unlogged_ == 0) return;
    const auto& entries = store_.Entries();
    const std::vector<corvix::CommLogEntry> batch(entries.end() - static_cast<std::ptrdiff_t>(unlogged_),
                                                  entries.end());
    unlogged_ = 0;
    std::string path, reason;
    // A file read later needs the times, whatever the box shows.
    bool written = logFile_.Append(batch, true, path, reason);
    if (autoPcapng_) {
        const auto [name, description] = CaptureInterface();
        pcapFiles_.SetInterface(name, description);
        std::string pcapPath, pcapReason;
        if (!pcapFiles_.Append(batch, pcapPath, pcapReason) && written) {
            written = false;
            path = pcapPath;
            reason = pcapReason;
        }
    }
    if (written || autoLogFailureShown_) return;
    // Said once per run of the program; the link goes on and later entries try again.
    autoLogFailureShown_ = true;
    const int lang = Language();
    auto* box = new QMessageBox(QMessageBox::Warning, corvix::ui::Text(corvix::txt::LogCaption, lang),
                                QString::fromStdString(Formatted(corvix::txt::LogAutoFailed, lang, path, reason)),
                                QMessageBox::Ok, this);
    box->setObjectName("autoLogFailure");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

// ---- context menu ----

void CCommInfoWnd::Clear() {
    Flush();  // nothing leaves before the automatic log has it
    store_.Clear();
    shownSizes_.clear();
    shownChars_ = 0;
    unshown_ = unlogged_ = 0;
    stale_ = false;
    text_->clear();
}

void CCommInfoWnd::SetTimeStamps(bool on) {
    if (settings_) settings_->setValue(KeyTimeStamps, on);
    if (on == timeStamps_) return;
    WriteAutoLog();
    timeStamps_ = on;
    // Entries keep their time: the whole log shows the new way.
    if (isVisible())
        Rebuild();
    else
        stale_ = !store_.Entries().empty();
}

void CCommInfoWnd::SetAutoPcapng(bool on) {
    if (settings_) settings_->setValue(KeyAutoPcapng, on);
    if (on && !autoPcapng_) autoLogFailureShown_ = false;
    WriteAutoLog();  // what gathered before goes where it was due
    autoPcapng_ = on;
}

void CCommInfoWnd::SetAutoLog(bool on) {
    if (settings_) settings_->setValue(KeyAutoLog, on);
    if (on && !autoLog_) autoLogFailureShown_ = false;
    autoLog_ = on;
    if (!on) unlogged_ = 0;
}

bool CCommInfoWnd::SaveTo(const QString& path, std::string& reason) {
    Flush();
    return WriteFile(path, TextOf(0).toUtf8(), reason);
}

bool CCommInfoWnd::WriteFile(const QString& path, const QByteArray& bytes, std::string& reason) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        reason = file.errorString().toStdString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        reason = file.errorString().toStdString();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        reason = file.errorString().toStdString();
        return false;
    }
    return true;
}

void CCommInfoWnd::SaveLogAs() {
    const int lang = Language();
    const QString path =
        QFileDialog::getSaveFileName(this, corvix::ui::Text(corvix::txt::LogSaveTitle, lang), "corvix-log.txt",
                                     corvix::ui::Text(corvix::txt::LogFileFilter, lang));
    if (path.isEmpty()) return;
    std::string reason;
    if (SaveTo(path, reason)) return;
    QMessageBox::warning(
        this, corvix::ui::Text(corvix::txt::LogCaption, lang),
        QString::fromStdString(Formatted(corvix::txt::LogSaveFailed, lang, path.toStdString(), reason)));
}

bool CCommInfoWnd::SavePcapngTo(const QString& path, std::string& reason) {
    Flush();
    const auto [name, description] = CaptureInterface();
    std::vector<uint8_t> bytes = corvix::PcapngSectionHeader();
    const std::vector<uint8_t> idb = corvix::PcapngInterface(name, description);
    bytes.insert(bytes.end(), idb.begin(), idb.end());
    for (const corvix::CommLogEntry& e : store_.Entries()) {
        const std::vector<uint8_t> packet = corvix::PcapngPacketOf(e);
        bytes.insert(bytes.end(), packet.begin(), packet.end());
    }
    return WriteFile(path, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())), reason);
}

void CCommInfoWnd::SaveLogAsPcapng() {
    const int lang = Language();
    const QString path = QFileDialog::getSaveFileName(this, corvix::ui::Text(corvix::txt::LogSavePcapngTitle, lang),
                                                      "corvix-log.pcapng",
                                                      corvix::ui::Text(corvix::txt::LogPcapngFilter, lang));
    if (path.isEmpty()) return;
    std::string reason;
    if (SavePcapngTo(path, reason)) return;
    QMessageBox::warning(
        this, corvix::ui::Text(corvix::txt::LogCaption, lang),
        QString::fromStdString(Formatted(corvix::txt::LogSaveFailed, lang, path.toStdString(), reason)));
}

QMenu* CCommInfoWnd::BuildContextMenu(QWidget* parent) {
    const int lang = Language();
    auto* menu = new QMenu(parent);
    menu->setObjectName("commLogMenu");
    menu->addAction(corvix::ui::Text(corvix::txt::LogSave, lang), this, &CCommInfoWnd::SaveLogAs);
    QAction* savePcapng =
        menu->addAction(corvix::ui::Text(corvix::txt::LogSavePcapng, lang), this, &CCommInfoWnd::SaveLogAsPcapng);
    savePcapng->setObjectName("savePcapng");
    menu->addAction(corvix::ui::Text(corvix::txt::LogClear, lang), this, &CCommInfoWnd::Clear);
    menu->addSeparator();
    QAction* stamps = menu->addAction(corvix::ui::Text(corvix::txt::LogTimeStamps, lang));
    stamps->setCheckable(true);
    stamps->setChecked(timeStamps_);
    connect(stamps, &QAction::toggled, this, &CCommInfoWnd::SetTimeStamps);
    QAction* automatic = menu->addAction(corvix::ui::Text(corvix::txt::LogAutomatic, lang));
    automatic->setCheckable(true);
    automatic->setChecked(autoLog_);
    automatic->setToolTip(QString::fromStdString(logFile_.Folder()));
    connect(automatic, &QAction::toggled, this, &CCommInfoWnd::SetAutoLog);
    QAction* pcapng = menu->addAction(corvix::ui::Text(corvix::txt::LogAutomaticPcapng, lang));
    pcapng->setObjectName("automaticPcapng");
    pcapng->setCheckable(true);
    pcapng->setChecked(autoPcapng_);
    pcapng->setEnabled(autoLog_);  // it goes with the text log, never alone
    pcapng->setToolTip(QString::fromStdString(Formatted(corvix::txt::LogAutomaticPcapngTip, lang, logFile_.Folder(), "")));
    connect(pcapng, &QAction::toggled, this, &CCommInfoWnd::SetAutoPcapng);
    return menu;
}
