// SPDX-License-Identifier: Apache-2.0
// The window's side of the settings history. Reads, writes and saves are queued with copies of
// the project and committed by one worker thread, so a slow or broken repository never holds
// up the device operation or the save. A failure is told once per settings, through `notify`
// on the window's thread.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "history/recorder.h"
#include "model/record.h"

class QSettings;

namespace corvix::ui {

// The history options of the settings dialog, as kept in QSettings.
struct HistoryPrefs {
    bool enabled = true;
    std::string folder;       // empty: the default folder
    std::string name, email;  // empty name: the OS user
};
HistoryPrefs LoadHistoryPrefs(QSettings* settings);
void SaveHistoryPrefs(QSettings* settings, const HistoryPrefs& prefs);
// What the window's recorder uses: CORVIX_HISTORY, when set, wins over the folder chosen.
history::Settings RecorderSettings(const HistoryPrefs& prefs);

class CRecorderHost : public QObject {
    Q_OBJECT
  public:
    explicit CRecorderHost(QObject* parent = nullptr);
    // Finishes what is queued, but waits no longer than ExitBound.
    ~CRecorderHost() override;
    static constexpr std::chrono::milliseconds ExitBound{2000};

    void SetSettings(history::Settings settings);
    const history::Settings& Settings() const { return settings_; }

    // `projectFile` is the project's path now (empty: not saved yet).
    void Read(const ProjectBlock& project, const std::string& projectFile, std::vector<int> devices,
              const std::string& port);
    void Written(const ProjectBlock& project, const std::string& projectFile, std::vector<int> devices,
                 const std::string& port);
    // `before`: the path before the save; a Save As carries the project's identity along.
    void Saved(const ProjectBlock& project, const std::string& before, const std::string& after);

    // Waits until every queued record is done or `bound` passed; true when done.
    bool Drain(std::chrono::milliseconds bound);
    // The project id the recordings of `projectFile` (empty: the project not saved yet) were
    // made under; empty when none was recorded with these settings.
    std::string ProjectId(const std::string& projectFile) const;
    // How many failures were told (tests).
    int Notices() const { return notices_; }

    // On the window's thread, with the reason in English.
    std::function<void(const std::string& reason)> notify;

  private:
    struct Job;
    struct Shared;
    void Enqueue(Job job);
    void Told(const std::string& reason);

    history::Settings settings_;
    std::shared_ptr<Shared> shared_;
    int notices_ = 0;
};

}  // namespace corvix::ui
