// SPDX-License-Identifier: Apache-2.0
#include "ui/ops/all_events_window.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <fstream>

#include "model/event_csv.h"
#include "model/formats.h"
#include "model/gbk.h"
#include "model/texts.h"
#include "ui/dialogs/dialog_util.h"

namespace corvix::ui {

CAllEventsWindow::CAllEventsWindow(CBrondaleDoc& doc, std::function<ClockOffsets()> offsets, QWidget* parent)
    : QDialog(parent), doc_(doc), offsets_(std::move(offsets)) {
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, 4, this);
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);
    auto* row = new QHBoxLayout;
    correct_ = new QCheckBox(this);
    row->addWidget(correct_);
    row->addStretch(1);
    refresh_ = new QPushButton(this);
    export_ = new QPushButton(this);
    row->addWidget(refresh_);
    row->addWidget(export_);
    layout->addLayout(row);
    connect(correct_, &QCheckBox::toggled, this, &CAllEventsWindow::Refresh);
    connect(refresh_, &QPushButton::clicked, this, &CAllEventsWindow::Refresh);
    connect(export_, &QPushButton::clicked, this, &CAllEventsWindow::Export);
    resize(760, 480);
    Refresh();
}

void CAllEventsWindow::Refresh() {
    const int lang = doc_.Language();
    // The texts follow the language, which may have changed while the window stayed open.
    setWindowTitle(Text(txt::MenuAllEvents, lang));
    table_->setHorizontalHeaderLabels({Text(txt::ListColTime, lang), Text(txt::OpColDevice, lang),
                                       Text(txt::ListColName, lang), Text(txt::ListColState, lang)});
    correct_->setText(Text(txt::AllEventsCorrect, lang));
    refresh_->setText(Text(txt::AllEventsRefresh, lang));
    export_->setText(Text(txt::AllEventsExport, lang));
    const ClockOffsets offsets = offsets_ ? offsets_() : ClockOffsets{};
    correct_->setEnabled(!offsets.empty());
    std::vector<int> devices;
    for (int i = 0; i < doc_.Project().DeviceCountClamped(); ++i) devices.push_back(i);
    shown_ = MergeEventLogs(doc_.Project(), devices, correct_->isChecked() ? offsets : ClockOffsets{});
    MergeLive(offsets);
    table_->setRowCount(static_cast<int>(shown_.size()));
    for (int r = 0; r < table_->rowCount(); ++r) {
        const MergedEvent& m = shown_[r];
        std::string device = PrintableText(GbkToUtf8(FieldText(doc_.Device(m.device).name, DeviceNameSize)));
        const auto offset = offsets.find(m.device);
        const bool beyond = offset != offsets.end() && std::llabs(offset->second) > 1000;
        if (beyond) device += Pick(txt::AllEventsOffsetMark, lang);
        const std::string signal =
            PrintableText(GbkToUtf8(FieldText(m.event.signalName, static_cast<int>(sizeof m.event.signalName))));
        const QString cells[] = {QString::fromStdString(IsoEventTime(m.event)).replace(QLatin1Char('T'), QLatin1Char(' ')),
                                 QString::fromUtf8(device.c_str()), QString::fromUtf8(signal.c_str()),
                                 QString::fromUtf8(TransitionText(m.event.transition, lang))};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (beyond && c == 1) item->setForeground(QBrush(Qt::red));
            table_->setItem(r, c, item);
        }
    }
    table_->resizeColumnsToContents();
}

namespace {

bool SameEvent(const EventRecord& a, const EventRecord& b) {
    return EventTimeMs(a) == EventTimeMs(b) && a.transition == b.transition &&
           std::memcmp(a.signalName, b.signalName, sizeof a.signalName) == 0;
}

}  // namespace

void CAllEventsWindow::AddLiveEvents(int slot, const std::vector<EventRecord>& events) {
    if (events.empty() || slot < 0 || slot >= doc_.Project().DeviceCountClamped()) return;
    for (const EventRecord& e : events) live_.push_back(MergedEvent{slot, e, false, false});
    Refresh();
}

void CAllEventsWindow::MergeLive(const ClockOffsets& offsets) {
    // A live event is dropped once its device's stored log holds it (a later log read).
    const int count = doc_.Project().DeviceCountClamped();
    std::erase_if(live_, [&](const MergedEvent& m) {
        if (m.device >= count) return true;
        const DeviceRecord& device = doc_.Device(m.device);
        for (int i = 0; i < device.EventCountClamped(); ++i)
            if (SameEvent(device.events[i], m.event)) return true;
        return false;
    });
    if (live_.empty()) return;
    const std::size_t stored = shown_.size();
    for (MergedEvent m : live_) {
        const auto offset = offsets.find(m.device);
        if (offset != offsets.end()) {
            m.offsetBeyond = std::llabs(offset->second) > 1000;
            if (correct_->isChecked()) {
                SetEventTimeMs(m.event, EventTimeMs(m.event) - offset->second);
                m.corrected = true;
            }
        }
        shown_.push_back(m);
    }
    // Stored events come first among equal times, then the live ones in arrival order.
    const auto earlier = [](const MergedEvent& a, const MergedEvent& b) { return EventTimeMs(a.event) < EventTimeMs(b.event); };
    const auto middle = shown_.begin() + static_cast<std::ptrdiff_t>(stored);
    std::stable_sort(middle, shown_.end(), earlier);
    std::inplace_merge(shown_.begin(), middle, shown_.end(), earlier);
}

std::string CAllEventsWindow::Csv() const { return MergedEventsCsv(doc_.Project(), shown_, doc_.Language()); }

void CAllEventsWindow::Export() {
    std::optional<std::string> path;
    if (askCsvPath) {
        path = askCsvPath();
    } else {
        const QString chosen = QFileDialog::getSaveFileName(this, Text(txt::AllEventsExport, doc_.Language()),
                                                            QString(), QStringLiteral("CSV (*.csv)"));
        if (!chosen.isEmpty()) path = chosen.toStdString();
    }
    if (!path) return;
    std::ofstream out(*path, std::ios::binary | std::ios::trunc);
    const std::string csv = Csv();
    out.write(csv.data(), static_cast<std::streamsize>(csv.size()));
    out.close();
    if (!out) QMessageBox::warning(this, QString::fromUtf8(txt::AppName), Text(txt::WriteFileError, doc_.Language()));
}

}  // namespace corvix::ui
