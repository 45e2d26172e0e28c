// SPDX-License-Identifier: Apache-2.0
#include "ui/ops/ops_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "model/compare.h"
#include "model/gbk.h"
#include "model/texts.h"
#include "present/project_ops_text.h"
#include "ui/dialogs/dialog_util.h"

namespace corvix::ui {
namespace {

const BiText* const Headers[] = {&txt::ListColName, &txt::OpColAddress,  &txt::OpColPort, &txt::OpColProgress,
                                 &txt::OpColState,  &txt::OpColResult, &txt::OpColTime};

QString Utf8(const std::string& s) { return QString::fromUtf8(s.c_str()); }

}  // namespace

COpsWindow::COpsWindow(CBrondaleDoc& doc, ProjectOpKind kind, std::vector<DeviceTarget> targets,
                       ProjectOperation::Options options, std::function<void()> changed, QWidget* parent)
    : QDialog(parent), doc_(doc), kind_(kind), changed_(std::move(changed)) {
    const int lang = doc_.Language();
    setWindowTitle(Text(txt::OpTitles[static_cast<int>(kind)], lang));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(static_cast<int>(targets.size()), ColumnCount, this);
    QStringList headers;
    for (const BiText* h : Headers) headers << Text(*h, lang);
    table_->setHorizontalHeaderLabels(headers);
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->horizontalHeader()->setSectionResizeMode(ColResult, QHeaderView::Stretch);
    for (int r = 0; r < table_->rowCount(); ++r) {
        const DeviceTarget& t = targets[r];
        table_->setItem(r, ColName, new QTableWidgetItem(Utf8(PrintableText(GbkToUtf8(t.nameGbk)))));
        table_->setItem(r, ColAddress, new QTableWidgetItem(QString::number(t.address)));
        table_->setItem(r, ColPort, new QTableWidgetItem(Utf8(t.line.portName)));
        auto* bar = new QProgressBar(table_);
        bar->setRange(0, 1);
        bar->setValue(0);
        bar->setTextVisible(true);
        bar->setFormat(QStringLiteral("0"));
        table_->setCellWidget(r, ColProgress, bar);
        for (int c : {ColState, ColResult, ColTime}) table_->setItem(r, c, new QTableWidgetItem());
        table_->item(r, ColState)->setText(Utf8(DeviceOpStateText(DeviceOpState::Waiting, lang)));
    }
    table_->resizeColumnsToContents();
    table_->setColumnWidth(ColProgress, 120);
    table_->setColumnWidth(ColState, 100);
    table_->setColumnWidth(ColTime, 90);
    layout->addWidget(table_);
    summary_ = new QLabel(this);
    layout->addWidget(summary_);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    cancel_ = new QPushButton(Text(txt::OpCancel, lang), this);
    retry_ = new QPushButton(Text(txt::OpRetryFailed, lang), this);
    close_ = new QPushButton(Text(txt::OpClose, lang), this);
    row->addWidget(cancel_);
    row->addWidget(retry_);
    row->addWidget(close_);
    layout->addLayout(row);
    resize(900, 120 + 30 * std::min<int>(table_->rowCount(), 20));
    differences_.assign(targets.size(), 0);

    if (!options.guide)
        options.guide = [this](const DeviceTarget& t, std::function<void(GuideAnswer)> answer) { Guide(t, std::move(answer)); };
    ProjectOperation::Hooks hooks;
    // Worker threads post; the function runs on this window's thread. Once the window is gone
    // (it ends the operation first), Qt drops what is still queued for it.
    hooks.post = [this](std::function<void()> fn) {
        QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
    };
    hooks.changed = [this](const DeviceOpResult& r) { OnChanged(r); };
    hooks.ended = [this](const DeviceOpResult& r) { OnEnded(r); };
    hooks.finished = [this] { OnFinished(); };
    op_ = std::make_unique<ProjectOperation>(kind, std::move(targets), std::move(options), std::move(hooks));

    connect(cancel_, &QPushButton::clicked, this, [this] { op_->Cancel(); });
    connect(retry_, &QPushButton::clicked, this, [this] {
        finished_ = false;
        if (op_->RetryFailed()) Refresh();
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::close);
    Refresh();
}

COpsWindow::~COpsWindow() { op_.reset(); }

void COpsWindow::Start() {
    finished_ = false;
    op_->Start();
    Refresh();
}

int COpsWindow::RowOf(int slot) const {
    const auto& targets = op_->Targets();
    for (std::size_t i = 0; i < targets.size(); ++i)
        if (targets[i].slot == slot) return static_cast<int>(i);
    return -1;
}

void COpsWindow::OnChanged(const DeviceOpResult& r) {
    const int row = RowOf(r.slot);
    if (row < 0) return;
    const int lang = doc_.Language();
    auto* bar = static_cast<QProgressBar*>(table_->cellWidget(row, ColProgress));
    if (r.Ended()) {
        bar->setRange(0, 1);
        bar->setValue(r.state == DeviceOpState::Done ? 1 : 0);
        bar->setFormat(QString::number(r.segmentsDone));
    } else if (r.segmentsTotal > 0) {
        bar->setRange(0, r.segmentsTotal);
        bar->setValue(std::min(r.segmentsDone, r.segmentsTotal));
        bar->setFormat(QStringLiteral("%v / %m"));
    } else {
        // The number of segments is not known in advance: a busy bar with the count so far.
        bar->setRange(0, 0);
        bar->setFormat(QString::number(r.segmentsDone));
    }
    table_->item(row, ColState)->setText(Utf8(DeviceOpStateText(r.state, lang)));
    const std::string port = op_->Targets()[row].line.portName;
    table_->item(row, ColResult)->setText(
        r.Ended() ? Utf8(DeviceOpOutcomeText(kind_, r, port, differences_[row], lang)) : QString());
    table_->item(row, ColTime)->setText(r.Ended() ? QStringLiteral("%1 ms").arg(r.ms) : QString());
    const bool failed = r.state == DeviceOpState::Failed;
    table_->item(row, ColResult)->setForeground(failed ? QBrush(Qt::red) : QBrush());
    Refresh();
}

void COpsWindow::OnEnded(const DeviceOpResult& r) {
    const int row = RowOf(r.slot);
    if (row >= 0 && kind_ == ProjectOpKind::Compare && r.state == DeviceOpState::Done && r.record &&
        r.slot < doc_.Project().DeviceCountClamped()) {
        differences_[row] = static_cast<int>(CompareRecords(doc_.Device(r.slot), *r.record, doc_.Language()).size());
        OnChanged(r);  // the result column names the differences now
    }
    // The one place where a device's result reaches the project.
    // A write changes no value, but the marks of what differs from the device go.
    const bool written = kind_ == ProjectOpKind::Write && r.state == DeviceOpState::Done;
    if ((ApplyDeviceResult(doc_, kind_, r) || written) && changed_ && !changePending_) {
        changePending_ = true;
        // After what is already queued (the other devices' ends), before the next input.
        QTimer::singleShot(0, this, &COpsWindow::FlushChange);
    }
    if (ended) ended(r);
}

void COpsWindow::FlushChange() {
    if (!changePending_) return;
    changePending_ = false;
    changed_();
}

void COpsWindow::hideEvent(QHideEvent* event) {
    // Closed before the deferred refresh ran: the views still follow what the project took.
    FlushChange();
    QDialog::hideEvent(event);
}

void COpsWindow::OnFinished() {
    // Whoever waits for the end sees the views as the project is.
    FlushChange();
    finished_ = true;
    Refresh();
}

void COpsWindow::Refresh() {
    summary_->setText(Utf8(DeviceOpSummaryText(op_->Results(), doc_.Language())));
    const bool running = op_->Running();
    cancel_->setEnabled(running);
    bool anyFailed = false;
    for (const DeviceOpResult& r : op_->Results()) anyFailed |= r.state == DeviceOpState::Failed;
    retry_->setEnabled(!running && anyFailed);
}

void COpsWindow::Guide(const DeviceTarget& target, std::function<void(GuideAnswer)> answer) {
    if (askGuide) {
        answer(askGuide(target));
        return;
    }
    const int lang = doc_.Language();
    auto* box = new QMessageBox(QMessageBox::Information, Text(txt::OpGuideTitle, lang),
                                Utf8(GuidePromptText(target, lang)), QMessageBox::NoButton, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* go = box->addButton(Text(txt::OpGuideContinue, lang), QMessageBox::AcceptRole);
    QPushButton* skip = box->addButton(Text(txt::OpGuideSkip, lang), QMessageBox::DestructiveRole);
    box->addButton(Text(txt::OpGuideCancel, lang), QMessageBox::RejectRole);
    box->setDefaultButton(go);
    // Not modal: the table stays live while the user moves the cable.
    connect(box, &QMessageBox::finished, this, [box, go, skip, answer] {
        QAbstractButton* b = box->clickedButton();
        answer(b == go ? GuideAnswer::Continue : b == skip ? GuideAnswer::Skip : GuideAnswer::Cancel);
    });
    box->open();
}

}  // namespace corvix::ui
