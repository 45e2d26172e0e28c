// SPDX-License-Identifier: Apache-2.0
// Compare With Device: the values of a project device that differ from the configuration the
// device holds, with the device's value to take per row, for the selected rows or all at once,
// and the way to write the project's values to the device instead. The frame reads the device
// and hands the record in; taking a value writes into the project device through the core's
// comparison.
// Compare With File: the same window against a device of a project file, with a choice of the
// file's device; it lists the whole record (identity and events too) and takes configuration
// values as the device compare does.
// Against a state: two recorded states of the settings history, the earlier one in place of
// the project device; nothing is taken or written.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "model/compare.h"
#include "model/doc.h"

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

class CCompareDlg : public QDialog {
    Q_OBJECT
  public:
    enum class Against { Device, File, State };
    // `deviceIndex`: the project device compared; `doc` outlives the window.
    CCompareDlg(corvix::CBrondaleDoc& doc, int deviceIndex, int language, QWidget* parent = nullptr,
                Against against = Against::Device);

    const int language;
    int DeviceIndex() const { return deviceIndex_; }

    // The device's configuration has been read: the differences are listed.
    void SetDeviceRecord(std::shared_ptr<const corvix::DeviceRecord> record);
    // Reading (again) is under way, e.g. after a write: the list waits for the new record.
    void ShowReading();
    // The read failed; the text says why.
    void ShowFailure(const QString& text);
    // Against::State: the earlier state, compared in place of the project device.
    void SetReferenceRecord(std::shared_ptr<const corvix::DeviceRecord> record) { reference_ = std::move(record); }

    // Compare With File: the file's devices by name (slot order) and the one compared first;
    // choosing another emits FileDeviceChosen.
    void SetFileDevices(const QStringList& names, int selected);
    // The chooser's label, when it lists something else than a file's devices.
    void SetChooserLabel(const QString& text);
    // Against::File on a recorded state of the settings history: the project device is compared
    // as the history keeps it (`view`, e.g. without its event log), and the texts speak of the
    // state's values instead of the file's.
    void CompareAsRecordedState(std::function<std::unique_ptr<corvix::DeviceRecord>(const corvix::DeviceRecord&)> view);

    const std::vector<corvix::Difference>& Differences() const { return rows_; }
    QComboBox* FileDeviceBox() const { return fileDevices_; }
    QTableWidget* Table() const { return table_; }
    QLabel* StatusLabel() const { return status_; }
    QPushButton* UseAllButton() const { return useAll_; }
    // Takes the value of every selected row that can be taken: the button under the table, the
    // table's context menu and Space or Enter on the table run it.
    QAction* UseSelectedAction() const { return useSelected_; }
    QPushButton* UseSelectedButton() const { return useSelectedButton_; }
    QPushButton* WriteButton() const { return write_; }
    // The "Use device value" button of table row `row`, or null.
    QPushButton* UseButton(int row) const;

  signals:
    // A device value went into the project (modified and unsaved marks are set).
    void ProjectChanged();
    // "Write project to device" was clicked.
    void WriteRequested();
    // Compare With File: the file's device `slot` was chosen.
    void FileDeviceChosen(int slot);

  private:
    void Refill();
    void Take(int row);
    void TakeAll();
    void TakeSelected();
    // The rows the window lists for the project device as it is now.
    std::vector<corvix::Difference> Compare() const;
    bool CanTake(int row) const;
    void UpdateSelectedState();

    corvix::CBrondaleDoc& doc_;
    const int deviceIndex_;
    const Against against_;
    std::shared_ptr<const corvix::DeviceRecord> device_;
    std::shared_ptr<const corvix::DeviceRecord> reference_;
    std::function<std::unique_ptr<corvix::DeviceRecord>(const corvix::DeviceRecord&)> projectView_;
    bool recordedState_ = false;
    std::vector<corvix::Difference> rows_;
    QTableWidget* table_;
    QLabel* status_;
    QPushButton* useAll_;
    QAction* useSelected_;
    QPushButton* useSelectedButton_;
    QPushButton* write_;
    QPushButton* close_;
    QLabel* fileDevicesLabel_;
    QComboBox* fileDevices_;
};
