// SPDX-License-Identifier: Apache-2.0
// All Events: the stored event logs of every device of the project as one timeline sorted by
// device time, optionally corrected by each device's known clock offset (devices more than a
// second off are marked), with Export CSV in the event export's format plus a device column.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "model/doc.h"
#include "model/merged_events.h"

class QCheckBox;
class QPushButton;
class QTableWidget;

namespace corvix::ui {

class CAllEventsWindow : public QDialog {
    Q_OBJECT
  public:
    // `offsets` are the clock offsets known so far (device slot -> ms the device is ahead).
    CAllEventsWindow(CBrondaleDoc& doc, std::function<ClockOffsets()> offsets, QWidget* parent = nullptr);

    // Fills the table again from the document (after a read of event logs, a clock check).
    void Refresh();
    // Events device `slot` reported as new; they join the timeline in time order and stay
    // until that device's stored log holds them.
    void AddLiveEvents(int slot, const std::vector<EventRecord>& events);
    QTableWidget* Table() const { return table_; }
    QCheckBox* CorrectBox() const { return correct_; }
    // The CSV of what the table shows.
    std::string Csv() const;
    // Where Export CSV… writes (empty: a save-file dialog).
    std::function<std::optional<std::string>()> askCsvPath;

  private:
    void Export();
    void MergeLive(const ClockOffsets& offsets);

    CBrondaleDoc& doc_;
    std::function<ClockOffsets()> offsets_;
    std::vector<MergedEvent> shown_;
    std::vector<MergedEvent> live_;
    QTableWidget* table_;
    QCheckBox* correct_;
    QPushButton* export_;
    QPushButton* refresh_;
};

}  // namespace corvix::ui
