// SPDX-License-Identifier: Apache-2.0
// The operations window: one operation over several devices of the project, non-modal, with a
// row per device (name, address, port, progress, state, result or reason, time), Cancel, Retry
// Failed and a summary line. It hosts the project operation on the window's own loop and puts
// what each device delivered into the document as the device ends.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "link/project_ops.h"
#include "model/doc.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace corvix::ui {

class COpsWindow : public QDialog {
    Q_OBJECT
  public:
    enum Column { ColName, ColAddress, ColPort, ColProgress, ColState, ColResult, ColTime, ColumnCount };

    // `changed` runs after the document took a device's result (the frame refreshes its views).
    COpsWindow(CBrondaleDoc& doc, ProjectOpKind kind, std::vector<DeviceTarget> targets,
               ProjectOperation::Options options, std::function<void()> changed, QWidget* parent = nullptr);
    ~COpsWindow() override;

    // Starts the operation (separate from construction so tests and the frame can wire hooks).
    void Start();
    ProjectOperation& Operation() { return *op_; }
    QTableWidget* Table() const { return table_; }
    QLabel* Summary() const { return summary_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* RetryButton() const { return retry_; }
    bool Finished() const { return finished_; }

    // Each device's end, after the document took its result (the frame keeps clock offsets).
    std::function<void(const DeviceOpResult&)> ended;
    // The cable prompt; empty: a message box with Continue, Skip and Cancel.
    std::function<GuideAnswer(const DeviceTarget&)> askGuide;

  protected:
    void hideEvent(QHideEvent* event) override;

  private:
    void OnChanged(const DeviceOpResult& row);
    void OnEnded(const DeviceOpResult& row);
    void OnFinished();
    void Guide(const DeviceTarget& target, std::function<void(GuideAnswer)> answer);
    void Refresh();
    int RowOf(int slot) const;

    CBrondaleDoc& doc_;
    const ProjectOpKind kind_;
    std::function<void()> changed_;
    std::unique_ptr<ProjectOperation> op_;
    std::vector<int> differences_;  // per row, for a comparison
    QTableWidget* table_ = nullptr;
    QLabel* summary_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* retry_ = nullptr;
    QPushButton* close_ = nullptr;
    bool finished_ = false;
    // The views follow the project once per burst of ended devices, not once per device: 20
    // devices often end within a few milliseconds of each other.
    bool changePending_ = false;
    void FlushChange();
};

}  // namespace corvix::ui
