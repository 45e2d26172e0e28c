// SPDX-License-Identifier: Apache-2.0
#include "ui/dialogs/githistorydlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstring>

#include "history/device_key.h"
#include "model/gbk.h"
#include "model/texts_githistory.h"
#include "ui/dialogs/comparedlg.h"
#include "model/version.h"
#include "ui/dialogs/dialog_util.h"

using namespace corvix;

namespace {

const BiText& OperationText(const std::string& op) {
    if (op == "write") return txt::GitOpWrite;
    if (op == "save") return txt::GitOpSave;
    if (op == "check") return txt::GitOpCheck;
    if (op == "restore") return txt::GitOpRestore;
    return txt::GitOpRead;
}

QString TimeText(const history::State& s) {
    // "2026-12-09T06:45:28+08:00" shown as "2026-12-09 06:45:28"
    return QString::fromStdString(history::IsoTime(s.time, s.offsetMinutes).substr(0, 19)).replace('T', ' ');
}

}  // namespace

CGitHistoryDlg::CGitHistoryDlg(CBrondaleDoc& doc, int deviceIndex, history::Recorder& recorder,
                               history::ProjectIdentity identity, QWidget* parent)
    : QDialog(parent),
      doc_(doc),
      deviceIndex_(deviceIndex),
      recorder_(recorder),
      identity_(std::move(identity)),
      path_(history::Recorder::DevicePath(doc.Project(), deviceIndex, identity_)) {
    const int lang = doc_.Language();
    const std::string name = GbkToUtf8(FieldText(doc_.Device(deviceIndex).name, DeviceNameSize));
    setWindowTitle(ui::Text(txt::GitWindowTitle, lang).replace("%s", QString::fromStdString(PrintableText(name))));
    table_ = new QTableWidget(this);
    table_->setColumnCount(6);
    table_->setHorizontalHeaderLabels({ui::Text(txt::GitColTime, lang), ui::Text(txt::GitColOperation, lang),
                                       ui::Text(txt::GitColUser, lang), ui::Text(txt::GitColPort, lang),
                                       ui::Text(txt::GitColChanged, lang), ui::Text(txt::GitColBaseline, lang)});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    // Column widths from the newest states: measuring 10,000 rows would hold up the opening.
    table_->horizontalHeader()->setResizeContentsPrecision(200);
    status_ = new QLabel(this);
    compare_ = new QPushButton(ui::Text(txt::GitCompareWithProject, lang), this);
    previous_ = new QPushButton(ui::Text(txt::GitCompareWithPrevious, lang), this);
    restore_ = new QPushButton(ui::Text(txt::GitRestore, lang), this);
    baseline_ = new QPushButton(ui::Text(txt::GitMarkBaseline, lang), this);
    auto* close = new QPushButton(ui::Text(txt::GitClose, lang), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {compare_, previous_, restore_, baseline_}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(status_);
    layout->addLayout(buttons);
    resize(720, 420);
    connect(compare_, &QPushButton::clicked, this, [this] { CompareSelected(); });
    connect(previous_, &QPushButton::clicked, this, [this] { CompareSelectedWithPrevious(); });
    connect(restore_, &QPushButton::clicked, this, [this] { RestoreSelected(); });
    connect(baseline_, &QPushButton::clicked, this, [this] { MarkSelectedAsBaseline(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &CGitHistoryDlg::UpdateButtons);
    Refill();
}

void CGitHistoryDlg::Refill() {
    const int lang = doc_.Language();
    // The selection follows its state, not its row: a new state comes in on top.
    const int selectedRow = SelectedRow();
    const std::string selectedRev = selectedRow >= 0 ? states_[selectedRow].rev : std::string();
    states_.clear();
    std::string error;
    history::Repository* repo = path_.empty() ? nullptr : recorder_.Repo(false);
    if (repo != nullptr) {
        if (auto found = repo->States(path_, error)) states_ = std::move(*found);
    }
    table_->setRowCount(static_cast<int>(states_.size()));
    for (int row = 0; row < static_cast<int>(states_.size()); ++row) {
        const history::State& s = states_[row];
        const QString cells[] = {TimeText(s),
                                 ui::Text(OperationText(s.operation), lang),
                                 QString::fromStdString(PrintableText(s.user)),
                                 QString::fromStdString(PrintableText(s.port)),
                                 QString::number(s.changed),
                                 s.baseline ? ui::Text(txt::GitColBaseline, lang) : QString()};
        for (int col = 0; col < 6; ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            item->setToolTip(QString::fromStdString(s.rev));
            table_->setItem(row, col, item);
        }
    }
    table_->resizeColumnsToContents();
    if (!error.empty())
        status_->setText(QString::fromStdString(error));
    else if (states_.empty())
        status_->setText(ui::Text(txt::GitNoStates, lang));
    else
        status_->clear();
    int selected = -1;
    for (int row = 0; row < static_cast<int>(states_.size()) && selected < 0; ++row)
        if (!selectedRev.empty() && states_[row].rev == selectedRev) selected = row;
    if (selected >= 0)
        table_->selectRow(selected);
    else if (!states_.empty())
        table_->selectRow(0);
    UpdateButtons();
}

void CGitHistoryDlg::UpdateButtons() {
    const int row = SelectedRow();
    for (QPushButton* b : {compare_, restore_, baseline_}) b->setEnabled(row >= 0);
    previous_->setEnabled(row >= 0 && row + 1 < static_cast<int>(states_.size()));
}

QStringList CGitHistoryDlg::StateNames() const {
    QStringList names;
    for (const history::State& s : states_)
        names << TimeText(s) + "  " + ui::Text(OperationText(s.operation), doc_.Language());
    return names;
}

int CGitHistoryDlg::SelectedRow() const {
    const QList<QTableWidgetItem*> items = table_->selectedItems();
    return items.isEmpty() ? -1 : items.front()->row();
}

std::unique_ptr<DeviceRecord> CGitHistoryDlg::StateRecord(int row, std::string& error) {
    history::Repository* repo = recorder_.Repo(false);
    if (row < 0 || row >= static_cast<int>(states_.size()) || repo == nullptr) return nullptr;
    auto state = repo->StateAt(states_[row].rev, path_, error);
    return state ? history::RecordFromSettings(state->second) : nullptr;
}

CCompareDlg* CGitHistoryDlg::CompareSelected() {
    const int row = SelectedRow();
    if (row < 0) return nullptr;
    auto* dialog = new CCompareDlg(doc_, deviceIndex_, doc_.Language(), this, CCompareDlg::Against::File);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The compare window's choice of "file devices" lists the states, newest first.
    const QStringList names = StateNames();
    const auto show = [this, dialog](int chosen) {
        std::string error;
        std::unique_ptr<DeviceRecord> rec = StateRecord(chosen, error);
        if (rec)
            dialog->SetDeviceRecord(std::shared_ptr<const DeviceRecord>(std::move(rec)));
        else
            dialog->ShowFailure(QString::fromStdString(error));
    };
    dialog->SetFileDevices(names, row);
    dialog->SetChooserLabel(ui::Text(txt::GitStateChooser, doc_.Language()));
    // The project device as the history keeps it: a state has no event log to compare.
    const int slot = deviceIndex_;
    dialog->CompareAsRecordedState([slot](const DeviceRecord& device) { return history::AsRecorded(device, slot); });
    show(row);
    connect(dialog, &CCompareDlg::FileDeviceChosen, this, show);
    connect(dialog, &CCompareDlg::ProjectChanged, this, &CGitHistoryDlg::ProjectChanged);
    dialog->show();
    return dialog;
}

CCompareDlg* CGitHistoryDlg::CompareSelectedWithPrevious() {
    const int row = SelectedRow();
    if (row < 0 || row + 1 >= static_cast<int>(states_.size())) return nullptr;
    auto* dialog = new CCompareDlg(doc_, deviceIndex_, doc_.Language(), this, CCompareDlg::Against::State);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Newest first: the state before row r is row r + 1.
    const auto show = [this, dialog](int chosen) {
        if (chosen + 1 >= static_cast<int>(states_.size())) {
            dialog->ShowFailure(ui::Text(txt::GitNoPreviousState, doc_.Language()));
            return;
        }
        std::string error;
        std::unique_ptr<DeviceRecord> earlier = StateRecord(chosen + 1, error);
        std::unique_ptr<DeviceRecord> rec = earlier ? StateRecord(chosen, error) : nullptr;
        if (!rec) {
            dialog->ShowFailure(QString::fromStdString(error));
            return;
        }
        dialog->SetReferenceRecord(std::shared_ptr<const DeviceRecord>(std::move(earlier)));
        dialog->SetDeviceRecord(std::shared_ptr<const DeviceRecord>(std::move(rec)));
    };
    dialog->SetFileDevices(StateNames(), row);
    dialog->SetChooserLabel(ui::Text(txt::GitStateChooser, doc_.Language()));
    show(row);
    connect(dialog, &CCompareDlg::FileDeviceChosen, this, [dialog, show](int chosen) {
        dialog->ShowReading();
        show(chosen);
    });
    dialog->show();
    return dialog;
}

bool CGitHistoryDlg::RestoreSelected() {
    std::string error;
    std::unique_ptr<DeviceRecord> rec = StateRecord(SelectedRow(), error);
    if (!rec) {
        status_->setText(QString::fromStdString(error));
        return false;
    }
    DeviceRecord& device = doc_.Device(deviceIndex_);
    rec->eventCount = device.eventCount;  // the event log is the project's own
    std::memcpy(rec->events, device.events, sizeof device.events);
    device = *rec;
    doc_.MarkModified(StepKind::Change);
    recorder_.RecordRestore(doc_.Project(), deviceIndex_, identity_);
    Refill();
    emit ProjectChanged();
    return true;
}

bool CGitHistoryDlg::MarkSelectedAsBaseline() {
    const int row = SelectedRow();
    history::Repository* repo = recorder_.Repo(false);
    if (row < 0 || repo == nullptr) return false;
    std::string error;
    if (!repo->SetBaseline(path_, states_[row].rev, error)) {
        status_->setText(QString::fromStdString(error));
        return false;
    }
    Refill();
    return true;
}

void OpenGitHistory(QWidget* parent, CBrondaleDoc& doc, int deviceCode, const std::function<void()>& changed,
                    history::Settings settings, const std::string& projectId) {
    const int index = deviceCode - KindDeviceFirst;
    if (index < 0 || index >= doc.Project().DeviceCountClamped()) return;
    if (settings.program.empty()) settings.program = std::string("corvix ") + CORVIX_VERSION_STRING;
    history::Recorder recorder(settings);
    const history::ProjectIdentity identity = projectId.empty()
                                                  ? recorder.Identify(doc.Project(), doc.ProjectPath(), false)
                                                  : history::ProjectIdentity{doc.ProjectPath(), projectId};
    CGitHistoryDlg dialog(doc, index, recorder, identity, parent);
    QObject::connect(&dialog, &CGitHistoryDlg::ProjectChanged, parent, changed);
    dialog.exec();
}
