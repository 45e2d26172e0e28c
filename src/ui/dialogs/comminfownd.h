// SPDX-License-Identifier: Apache-2.0
// The communication bar: a bar docked at the bottom of the main window whose text box holds
// the communication log: the frames written to and the blocks read from the serial port, as
// hexadecimal text, the last CommLogMaxEntries of them. Entries are kept as they happened and
// shown in batches, so a flood of receptions costs one text update per batch.
#pragma once

#include <QDockWidget>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>

#include "link/engine_results.h"
#include "model/local_time.h"
#include "present/comm_log.h"
#include "present/pcapng.h"

class QMenu;
class QPlainTextEdit;
class QSettings;

class CCommInfoWnd : public QDockWidget {
    Q_OBJECT
  public:
    using LanguageFn = std::function<int()>;
    // Appends gathered within this time go into the box together.
    static constexpr int BatchMs = 50;
    // ... or as soon as this many have gathered.
    static constexpr std::size_t BatchEntries = 200;
    // Past the cap, the box drops this many more of the oldest entries than it must (the log
    // itself keeps the full count for Save Log and the automatic log).
    static constexpr std::size_t TrimEntries = 1000;
    // The box holds at most about this much text (a few thousand garbage blocks of 1024
    // bytes, or the whole cap of ordinary frames); the log keeps every entry regardless.
    static constexpr std::size_t TextBudget = std::size_t(8) << 20;

    // `settings` (not owned, may be null) remembers Time Stamps and Automatic Log; `language`
    // names the interface language for the menu and messages.
    explicit CCommInfoWnd(QWidget* parent = nullptr, QSettings* settings = nullptr, LanguageFn language = {});

    // Logs a FrameSent or FrameReceived, stamped with the clocks' time now; false (nothing
    // logged) for any other result.
    bool AddResult(const corvix::EngineResult& result, int lang);
    void AddEntry(corvix::CommLogEntry entry);
    // Shows and writes what has gathered now instead of at the end of the batch.
    void Flush();

    // The whole log as shown, "\n" line ends, entries not yet shown included.
    QString Text();
    QPlainTextEdit* TextBox() const { return text_; }
    const corvix::CommLogStore& Entries() const { return store_; }

    // Context-menu commands.
    void Clear();
    bool TimeStamps() const { return timeStamps_; }
    void SetTimeStamps(bool on);
    bool AutoLog() const { return autoLog_; }
    void SetAutoLog(bool on);
    // Writes the log as shown (UTF-8, "\n" line ends); false with the system's reason.
    bool SaveTo(const QString& path, std::string& reason);
    // Asks for a file and saves; a failure is shown in a message box.
    void SaveLogAs();
    // Writes every entry the log holds as a pcapng capture; false with the system's reason.
    bool SavePcapngTo(const QString& path, std::string& reason);
    void SaveLogAsPcapng();
    // The automatic log also writes a capture file per day beside the text log.
    bool AutoPcapng() const { return autoPcapng_; }
    void SetAutoPcapng(bool on);
    // The menu, in the current interface language.
    QMenu* BuildContextMenu(QWidget* parent);

    // Where the automatic log goes (default: corvix::DefaultLogFolder()) and where time
    // stamps come from (default: the PC's clock).
    void SetAutoLogFolder(const std::string& folder) {
        logFile_ = corvix::CommLogFile(folder);
        pcapFiles_ = corvix::PcapngDayFiles(folder);
    }
    const std::string& AutoLogFolder() const { return logFile_.Folder(); }
    void SetClock(corvix::LocalClockFn clock) { clock_ = std::move(clock); }
    void SetUtcClock(corvix::UtcClockFn clock) { utcClock_ = std::move(clock); }
    // The port and line settings a capture file names as its interface.
    void SetLinkSettings(std::function<corvix::SerialSettings()> settings) { linkSettings_ = std::move(settings); }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    int Language() const;
    std::pair<std::string, std::string> CaptureInterface() const;
    void WriteAutoLog();
    static bool WriteFile(const QString& path, const QByteArray& bytes, std::string& reason);
    void ShowPending();
    void Rebuild();
    QString TextOf(std::size_t first) const;
    void ScrollToEnd();

    QPlainTextEdit* text_;
    QSettings* settings_;
    LanguageFn language_;
    corvix::LocalClockFn clock_;
    corvix::UtcClockFn utcClock_;
    std::function<corvix::SerialSettings()> linkSettings_;
    corvix::CommLogStore store_;
    corvix::CommLogFile logFile_;
    corvix::PcapngDayFiles pcapFiles_;
    QTimer batch_;
    std::size_t unshown_ = 0;  // the newest entries not in the box yet
    std::size_t unlogged_ = 0;  // the newest entries not in the automatic log yet
    bool stale_ = false;        // the box missed entries while hidden: rebuilt when shown
    // The text size of each entry in the box (a block each), oldest first, and their sum.
    std::deque<std::size_t> shownSizes_;
    std::size_t shownChars_ = 0;
    bool timeStamps_ = true;
    bool autoLog_ = false;
    bool autoPcapng_ = false;
    bool autoLogFailureShown_ = false;
};
