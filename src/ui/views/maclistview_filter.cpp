// SPDX-License-Identifier: Apache-2.0
// The filter box above the list of the signal-name, status and event-log pages: only the rows
// whose number or text contains what was typed stay shown. Rows are hidden, never taken out,
// so a row index keeps naming its record entry for the editors and the row commands; what
// they act on is chosen in one place, SelectedRows, which leaves hidden rows out.
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

#include "model/doc.h"
#include "model/texts.h"
#include "ui/views/maclistview.h"

using namespace corvix;

namespace {

bool FilteredPage(int page) { return page == KindSignalNames || page == KindInputStatus || page == KindEventLog; }

}  // namespace

void CMacListView::SetUpFilter() {
    filterBox_ = new QLineEdit(this);
    filterBox_->setObjectName(QStringLiteral("filterBox"));
    filterBox_->setClearButtonEnabled(true);
    filterBox_->installEventFilter(this);  // Escape clears it
    filterBox_->hide();
    // textChanged carries committed text only: an input method's composition still under way
    // filters nothing until its characters are committed.
    connect(filterBox_, &QLineEdit::textChanged, this, [this] {
        shownAnyway_.clear();
        ApplyFilter();
    });
}

QWidget* CMacListView::MakePane(QWidget* parent) {
    auto* pane = new QWidget(parent);
    pane->setObjectName(QStringLiteral("listPane"));
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(filterBox_);
    layout->addWidget(this, 1);
    filterBox_->setVisible(FilterShown());
    // Execute, placed in the window, follows the list when the pane moves.
    pane->installEventFilter(this);
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), pane);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, &CMacListView::FocusFilter);
    setTabOrder(filterBox_, this);
    return pane;
}

bool CMacListView::FilterShown() const { return FilteredPage(shownPage_); }

void CMacListView::FocusFilter() {
    if (!FilterShown()) return;
    HideEditors();
    filterBox_->setFocus(Qt::ShortcutFocusReason);
    filterBox_->selectAll();
}

bool CMacListView::RowMatches(int row, const QString& text) const {
    for (int column = 0; column < columnCount(); ++column) {
        const QTableWidgetItem* cell = item(row, column);
        if (cell != nullptr && cell->text().contains(text, Qt::CaseInsensitive)) return true;
    }
    return false;
}

void CMacListView::ApplyFilter() {
    const bool shown = FilterShown();
    // Standing alone (no pane), the box is the list's hidden child and filters all the same.
    if (filterBox_->parentWidget() != this && filterBox_->isHidden() == shown) filterBox_->setVisible(shown);
    const int lang = doc_.Language();
    const QString hint = QString::fromUtf8(Pick(txt::ListFilterHint, lang));
    if (filterBox_->placeholderText() != hint) {
        filterBox_->setPlaceholderText(hint);
        filterBox_->setAccessibleName(QString::fromUtf8(Pick(txt::ListAccFilter, lang)));
    }
    const QString text = shown ? filterBox_->text() : QString();
    for (int row = 0; row < rowCount(); ++row) {
        const bool show = text.isEmpty() || RowMatches(row, text) ||
                          std::find(shownAnyway_.begin(), shownAnyway_.end(), row) != shownAnyway_.end();
        if (isRowHidden(row) == show) setRowHidden(row, !show);
    }
    // An editor over a row the filter took away would write into an entry no longer in view.
    if (currentRow_ >= 0 && currentRow_ < rowCount() && isRowHidden(currentRow_)) HideEditors();
}

void CMacListView::ShowNewRows(int first, int count) {
    if (count <= 0 || first < 0 || first >= rowCount()) return;
    if (!filterBox_->text().isEmpty()) {
        for (int row = first; row < first + count && row < rowCount(); ++row) shownAnyway_.push_back(row);
        ApplyFilter();
    }
    scrollToItem(item(first, 0));
}

std::vector<int> CMacListView::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        if (!isRowHidden(index.row())) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}
