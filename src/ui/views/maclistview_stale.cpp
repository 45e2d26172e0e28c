// SPDX-License-Identifier: Apache-2.0
// The status page's marking of old live states: a greyed state column and a note with the
// time of the last update. The note lies over the list's lower left corner, so no described
// widget moves or changes size for it; a screen reader, which does not reach a widget painted
// over a list, hears it as the list's description.
#include <QLabel>
#include <QScrollBar>

#include "model/pages.h"
#include "model/record.h"
#include "ui/views/maclistview.h"

using namespace corvix;

void CMacListView::SetLiveStale(bool stale, const QString& note) {
    const bool changed = stale != liveStale_;
    liveStale_ = stale;
    if (stale) {
        if (staleNote_ == nullptr) {
            staleNote_ = new QLabel(this);
            staleNote_->setObjectName(QStringLiteral("staleNote"));
            staleNote_->setAutoFillBackground(true);
            staleNote_->setFrameShape(QFrame::StyledPanel);
            staleNote_->setMargin(2);
            staleNote_->hide();
        }
        if (staleNote_->text() != note) staleNote_->setText(note);
    }
    if (changed || stale) ApplyLiveStale();
}

void CMacListView::ApplyLiveStale() {
    const bool onPage = shownPage_ == KindInputStatus;
    if (onPage) {
        const PageDef& page = *FindPage(KindInputStatus);
        const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
        for (int row = 0; row < rowCount(); ++row) {
            QTableWidgetItem* cell = item(row, page.liveColumn);
            if (cell == nullptr) continue;
            if (liveStale_)
                cell->setForeground(grey);
            else
                cell->setData(Qt::ForegroundRole, QVariant());
        }
    }
    if (staleNote_ == nullptr) return;
    const bool show = onPage && liveStale_;
    const QString description = show ? staleNote_->text() : QString();
    if (accessibleDescription() != description) setAccessibleDescription(description);
    if (show) {
        staleNote_->adjustSize();
        const QRect area = viewport()->geometry();
        staleNote_->move(area.left(), area.bottom() + 1 - staleNote_->height());
        staleNote_->raise();
    }
    staleNote_->setVisible(show);
}
