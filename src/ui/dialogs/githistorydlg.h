// SPDX-License-Identifier: Apache-2.0
// History… of a device: its recorded states in the settings history (time, operation, user,
// port, changed fields, baseline mark). A state is compared with the project as it is now, or
// with the state recorded before it, in the compare window (its list of "file devices" lists
// the states), taken back into the project as one undo step, or marked as the device's
// baseline.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "history/recorder.h"
#include "model/doc.h"

class CCompareDlg;
class QLabel;
class QPushButton;
class QTableWidget;

// History… on device node `deviceCode`: the window over the default history (CORVIX_HISTORY
// or the user's data folder), modal; `changed` runs after the project device changed.
// `settings`: the window's history settings (default: the default folder).
// `projectId`: the id the window's recordings of this project were made under (a project not
// saved yet has no file to keep it beside); empty: found from the file or the content.
void OpenGitHistory(QWidget* parent, corvix::CBrondaleDoc& doc, int deviceCode, const std::function<void()>& changed,
                    corvix::history::Settings settings = {}, const std::string& projectId = {});

class CGitHistoryDlg : public QDialog {
    Q_OBJECT
  public:
    // `doc` and `recorder` outlive the window; `identity` is the project's (see Recorder::Identify).
    CGitHistoryDlg(corvix::CBrondaleDoc& doc, int deviceIndex, corvix::history::Recorder& recorder,
                   corvix::history::ProjectIdentity identity, QWidget* parent = nullptr);

    const std::vector<corvix::history::State>& States() const { return states_; }
    QTableWidget* Table() const { return table_; }
    QLabel* StatusLabel() const { return status_; }
    QPushButton* CompareButton() const { return compare_; }
    QPushButton* ComparePreviousButton() const { return previous_; }
    QPushButton* RestoreButton() const { return restore_; }
    QPushButton* BaselineButton() const { return baseline_; }

    // The compare window on the selected state (non-modal, deleted when closed); null when no
    // state is selected or it cannot be read.
    CCompareDlg* CompareSelected();
    // The same, the selected state against the one recorded before it; null also for the
    // oldest state.
    CCompareDlg* CompareSelectedWithPrevious();
    // Takes the selected state's settings into the project device (its event log stays).
    bool RestoreSelected();
    bool MarkSelectedAsBaseline();

  signals:
    // The project device changed (restore, or a value taken in the compare window).
    void ProjectChanged();

  private:
    void Refill();
    int SelectedRow() const;
    void UpdateButtons();
    QStringList StateNames() const;
    std::unique_ptr<corvix::DeviceRecord> StateRecord(int row, std::string& error);

    corvix::CBrondaleDoc& doc_;
    const int deviceIndex_;
    corvix::history::Recorder& recorder_;
    const corvix::history::ProjectIdentity identity_;
    const std::string path_;
    std::vector<corvix::history::State> states_;
    QTableWidget* table_;
    QLabel* status_;
    QPushButton* compare_;
    QPushButton* previous_;
    QPushButton* restore_;
    QPushButton* baseline_;
};
