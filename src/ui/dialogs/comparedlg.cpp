// SPDX-License-Identifier: Apache-2.0
#include "ui/dialogs/comparedlg.h"

#include <algorithm>
#include <functional>
#include <utility>

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "model/texts.h"
#include "model/texts_githistory.h"
#include "ui/dialogs/dialog_util.h"

using corvix::ui::DialogUnits;
using corvix::ui::Text;
namespace txt = corvix::txt;

namespace {

constexpr int ButtonColumn = 4;

QTableWidgetItem* Cell(const std::string& text) {
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

}  // namespace

CCompareDlg::CCompareDlg(corvix::CBrondaleDoc& doc, int deviceIndex, int lang, QWidget* parent, Against against)
    : QDialog(parent), language(lang), doc_(doc), deviceIndex_(deviceIndex), against_(against) {
    const bool file = against_ == Against::File;
    const bool state = against_ == Against::State;
    table_ = new QTableWidget(0, 5, this);
    table_->setHorizontalHeaderLabels({Text(txt::CompareColPage, language), Text(txt::CompareColField, language),
                                       Text(state ? txt::GitColPrevious : txt::CompareColProject, language),
                                       Text(state ? txt::GitColState : file ? txt::CompareColFile : txt::CompareColDevice, language),
                                       QString()});
    table_->verticalHeader()->setVisible(false);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Nothing here is edited in place: a key on the empty button cell must not open an editor.
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->setMinimumSize(DialogUnits(this, 420, 150));
    status_ = new QLabel(this);
    // The per-row buttons are cell widgets, which assistive technology does not see: the
    // selected rows' command is the way in for keyboard and screen-reader users.
    const QString useSelected = Text(file ? txt::CompareUseSelectedFile : txt::CompareUseSelected, language);
    const QString useSelectedHint =
        Text(file ? txt::CompareUseSelectedFileHint : txt::CompareUseSelectedHint, language);
    useSelected_ = new QAction(useSelected, this);
    useSelected_->setShortcuts(
        {QKeySequence(Qt::Key_Space), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    useSelected_->setShortcutContext(Qt::WidgetShortcut);
    useSelected_->setShortcutVisibleInContextMenu(true);
    useSelected_->setToolTip(useSelectedHint);
    table_->addAction(useSelected_);
    table_->setContextMenuPolicy(Qt::ActionsContextMenu);
    table_->setAccessibleName(Text(file ? txt::CompareFileCaption : txt::CompareCaption, language));
    table_->setAccessibleDescription(useSelectedHint);
    // Made before the other buttons: Tab and the accessible tree follow the row as it is shown.
    useSelectedButton_ = new QPushButton(useSelected, this);
    useSelectedButton_->setAccessibleName(useSelected);
    useSelectedButton_->setAccessibleDescription(useSelectedHint);
    useAll_ = new QPushButton(Text(file ? txt::CompareUseAllFile : txt::CompareUseAll, language), this);
    write_ = new QPushButton(Text(txt::CompareWriteProject, language), this);
    close_ = new QPushButton(Text(txt::CompareClose, language), this);
    for (QPushButton* b : {useSelectedButton_, useAll_, write_, close_}) b->setAutoDefault(false);

    fileDevicesLabel_ = new QLabel(Text(txt::CompareFileDevice, language), this);
    fileDevices_ = new QComboBox(this);
    fileDevicesLabel_->setBuddy(fileDevices_);
    auto* chooser = new QHBoxLayout;
    chooser->addWidget(fileDevicesLabel_);
    chooser->addWidget(fileDevices_, 1);
    fileDevicesLabel_->setVisible(file || state);
    fileDevices_->setVisible(file || state);
    // Nothing is written to a file: only the device compare offers the write.
    write_->setVisible(against_ == Against::Device);
    // Two recorded states: a view, nothing to take.
    for (QPushButton* b : {useSelectedButton_, useAll_}) b->setVisible(!state);
    if (state) {
        table_->removeAction(useSelected_);
        table_->setColumnHidden(ButtonColumn, true);
        table_->setAccessibleName(Text(txt::GitPreviousCaption, language));
        table_->setAccessibleDescription(QString());
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(useSelectedButton_);
    buttons->addWidget(useAll_);
    buttons->addWidget(write_);
    buttons->addStretch(1);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(chooser);
    layout->addWidget(status_);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);

    connect(useAll_, &QPushButton::clicked, this, &CCompareDlg::TakeAll);
    connect(useSelected_, &QAction::triggered, this, &CCompareDlg::TakeSelected);
    connect(useSelectedButton_, &QPushButton::clicked, useSelected_, &QAction::trigger);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &CCompareDlg::UpdateSelectedState);
    connect(write_, &QPushButton::clicked, this, &CCompareDlg::WriteRequested);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    connect(fileDevices_, &QComboBox::activated, this, [this](int slot) { emit FileDeviceChosen(slot); });
    setWindowTitle(Text(state ? txt::GitPreviousCaption : file ? txt::CompareFileCaption : txt::CompareCaption, language));
    ShowReading();
}

QPushButton* CCompareDlg::UseButton(int row) const {
    return qobject_cast<QPushButton*>(table_->cellWidget(row, ButtonColumn));
}

void CCompareDlg::SetFileDevices(const QStringList& names, int selected) {
    fileDevices_->clear();
    fileDevices_->addItems(names);
    fileDevices_->setCurrentIndex(selected);
}

void CCompareDlg::SetChooserLabel(const QString& text) { fileDevicesLabel_->setText(text); }

void CCompareDlg::CompareAsRecordedState(
    std::function<std::unique_ptr<corvix::DeviceRecord>(const corvix::DeviceRecord&)> view) {
    projectView_ = std::move(view);
    recordedState_ = true;
    table_->horizontalHeaderItem(3)->setText(Text(txt::GitColState, language));
    const QString useSelected = Text(txt::GitUseSelectedState, language);
    const QString hint = Text(txt::GitUseSelectedStateHint, language);
    useSelected_->setText(useSelected);
    useSelected_->setToolTip(hint);
    useSelectedButton_->setText(useSelected);
    useSelectedButton_->setAccessibleName(useSelected);
    useSelectedButton_->setAccessibleDescription(hint);
    table_->setAccessibleDescription(hint);
    useAll_->setText(Text(txt::GitUseAllState, language));
    Refill();
}

void CCompareDlg::ShowReading() {
    device_.reset();
    rows_.clear();
    table_->setRowCount(0);
    status_->setText(Text(txt::CompareReading, language));
    status_->setVisible(true);
    useAll_->setEnabled(false);
    write_->setEnabled(false);
    UpdateSelectedState();
}

void CCompareDlg::ShowFailure(const QString& text) {
    status_->setText(text);
    status_->setVisible(true);
    // The project can still be written: the device may well take it.
    write_->setEnabled(true);
}

void CCompareDlg::SetDeviceRecord(std::shared_ptr<const corvix::DeviceRecord> record) {
    device_ = std::move(record);
    Refill();
}

std::vector<corvix::Difference> CCompareDlg::Compare() const {
    if (against_ == Against::State)
        return device_ && reference_ ? corvix::CompareRecords(*reference_, *device_, language) : std::vector<corvix::Difference>{};
    if (!device_ || deviceIndex_ < 0 || deviceIndex_ >= doc_.Project().DeviceCountClamped()) return {};
    if (against_ == Against::File && projectView_) {
        const std::unique_ptr<corvix::DeviceRecord> project = projectView_(doc_.Device(deviceIndex_));
        return project ? corvix::DiffDevices(*project, *device_, language) : std::vector<corvix::Difference>{};
    }
    if (against_ == Against::File) return corvix::DiffDevices(doc_.Device(deviceIndex_), *device_, language);
    return corvix::CompareRecords(doc_.Device(deviceIndex_), *device_, language);
}

void CCompareDlg::Refill() {
    if (!device_) return;
    const bool deviceKnown = deviceIndex_ >= 0 && deviceIndex_ < doc_.Project().DeviceCountClamped();
    rows_ = Compare();
    // The rows are new: a selection kept by index would point at other values.
    table_->clearSelection();
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
        const corvix::Difference& d = rows_[r];
        table_->setItem(r, 0, Cell(d.pageName));
        table_->setItem(r, 1, Cell(d.field));
        table_->setItem(r, 2, Cell(d.projectText));
        table_->setItem(r, 3, Cell(d.deviceText));
        // Identity, events and other bytes are shown, not taken.
        if (!CanTake(r)) continue;
        auto* use = new QPushButton(Text(recordedState_            ? txt::GitUseState
                                         : against_ == Against::File ? txt::CompareUseFile
                                                                     : txt::CompareUseDevice,
                                         language));
        use->setAutoDefault(false);
        connect(use, &QPushButton::clicked, this, [this, r] { Take(r); });
        table_->setCellWidget(r, ButtonColumn, use);
    }
    table_->resizeColumnsToContents();
    status_->setText(rows_.empty() ? Text(txt::CompareNoDifferences, language) : QString());
    status_->setVisible(!status_->text().isEmpty());
    useAll_->setEnabled(against_ != Against::State &&
                        std::any_of(rows_.begin(), rows_.end(),
                                    [](const corvix::Difference& d) { return corvix::CanTakePage(d.page); }));
    write_->setEnabled(deviceKnown && against_ == Against::Device);
    UpdateSelectedState();
}

bool CCompareDlg::CanTake(int row) const {
    return device_ && against_ != Against::State && row >= 0 && row < static_cast<int>(rows_.size()) &&
           corvix::CanTakePage(rows_[row].page);
}

void CCompareDlg::UpdateSelectedState() {
    bool any = false;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        any = any || CanTake(index.row());
    // Disabled, the action leaves Space to the table, which then selects the current row.
    useSelected_->setEnabled(any);
    useSelectedButton_->setEnabled(any);
}

void CCompareDlg::Take(int row) {
    if (!device_ || row < 0 || row >= static_cast<int>(rows_.size())) return;
    const corvix::Difference d = rows_[row];
    if (corvix::TakeDeviceValue(doc_.Device(deviceIndex_), *device_, d.page, d.row)) {
        doc_.MarkModified();
        emit ProjectChanged();
    }
    Refill();
}

void CCompareDlg::TakeAll() {
    if (!device_ || against_ == Against::State) return;
    if (corvix::TakeAllDeviceValues(doc_.Device(deviceIndex_), *device_)) {
        doc_.MarkModified();
        emit ProjectChanged();
    }
    Refill();
}

void CCompareDlg::TakeSelected() {
    std::vector<std::pair<int32_t, int>> wanted;  // page, row
    int firstRow = -1;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        if (!CanTake(index.row())) continue;
        wanted.emplace_back(rows_[index.row()].page, rows_[index.row()].row);
        firstRow = firstRow < 0 ? index.row() : std::min(firstRow, index.row());
    }
    if (wanted.empty()) return;
    // Later rows first: removing a signal row only the project holds moves the rows after it,
    // never those before.
    std::sort(wanted.begin(), wanted.end(), std::greater<>());
    bool taken = false;
    for (const auto& [page, row] : wanted) {
        // Taking a signal row only the device has appends the rows before it as well: a row an
        // earlier take settled is not taken again.
        const std::vector<corvix::Difference> now = Compare();
        if (std::none_of(now.begin(), now.end(),
                         [&](const corvix::Difference& d) { return d.page == page && d.row == row; }))
            continue;
        taken = corvix::TakeDeviceValue(doc_.Device(deviceIndex_), *device_, page, row) || taken;
    }
    if (taken) {
        doc_.MarkModified();
        emit ProjectChanged();
    }
    Refill();
    // The keyboard stays where the taken rows were, with nothing selected, so that a second
    // Space selects the next row rather than taking it unseen.
    if (table_->rowCount() > 0)
        table_->selectionModel()->setCurrentIndex(
            table_->model()->index(std::min(firstRow, table_->rowCount() - 1), 0),
            QItemSelectionModel::NoUpdate);
}
