// SPDX-License-Identifier: Apache-2.0
// Values changed since the device: once a device's configuration was read from it or written
// to it in this session, each value of the shown page that now differs from what the device
// holds is drawn bold, with the device's value as its tooltip. The rows and their texts come
// from the compare window's diff, so both agree on what differs and how it reads.
#include <QFont>

#include "model/compare.h"
#include "model/doc.h"
#include "model/texts.h"
#include "ui/views/maclistview.h"

using namespace corvix;

void CMacListView::MarkDeviceValues() {
    std::vector<Difference> changed;
    const int slot = doc_.CurrentDeviceId() - KindDeviceFirst;
    if (shownPage_ != 0 && doc_.CurrentDeviceId() != -1 && doc_.DeviceState().StateOf(slot) != nullptr)
        changed = doc_.DeviceState().Changed(doc_.Project(), slot, doc_.Language());
    std::vector<const Difference*> byRow(static_cast<std::size_t>(rowCount()), nullptr);
    for (const Difference& d : changed)
        if (d.page == shownPage_ && d.row >= 0 && d.row < rowCount()) byRow[static_cast<std::size_t>(d.row)] = &d;
    const QString tip = QString::fromUtf8(Pick(txt::DeviceValueTip, doc_.Language()));
    QFont bold = font();
    bold.setBold(true);
    for (int row = 0; row < rowCount(); ++row) {
        QTableWidgetItem* cell = item(row, 2);
        if (cell == nullptr) continue;
        if (const Difference* d = byRow[static_cast<std::size_t>(row)]) {
            cell->setFont(bold);
            cell->setToolTip(tip + QString::fromStdString(d->deviceText));
        } else if (cell->data(Qt::FontRole).isValid()) {
            cell->setData(Qt::FontRole, QVariant());
            cell->setData(Qt::ToolTipRole, QVariant());
        }
    }
}
