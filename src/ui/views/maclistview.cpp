// SPDX-License-Identifier: Apache-2.0
// Construction of the list and the fill of every page, from the pages' description.
#include "ui/views/maclistview.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "model/doc.h"
#include "model/pages.h"
#include "model/texts.h"

using namespace corvix;

namespace {

constexpr int MinRowHeight = 24;

}  // namespace

CMacListView::CMacListView(CBrondaleDoc& doc, QWidget* parent) : QTableWidget(parent), doc_(doc) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setSortingEnabled(false);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(MinRowHeight);
    verticalHeader()->setDefaultSectionSize(MinRowHeight);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // The editors and the button live on the viewport so that they lie over a cell and
    // move with the content when it scrolls sideways.
    cellEdit_ = new QLineEdit(viewport());
    cellEdit_->setObjectName(QStringLiteral("cellEdit"));
    cellEdit_->setMaxLength(31);
    cellEdit_->setGeometry(0, 0, 100, 20);
    cellEdit_->setAccessibleName(QString::fromUtf8(Pick(txt::ListAccCellEdit, doc_.Language())));
    cellEdit_->installEventFilter(this);
    cellEdit_->hide();

    cellCombo_ = new QComboBox(viewport());
    cellCombo_->setObjectName(QStringLiteral("cellCombo"));
    // A pure choice list: a typed value would show in the box without ever being stored.
    cellCombo_->setEditable(false);
    cellCombo_->setGeometry(0, 0, 100, 20);
    cellCombo_->setAccessibleName(QString::fromUtf8(Pick(txt::ListAccCellCombo, doc_.Language())));
    cellCombo_->installEventFilter(this);
    cellCombo_->hide();

    executeButton_ = new QPushButton(QString::fromUtf8(txt::ListExecute.zh), viewport());
    executeButton_->setObjectName(QStringLiteral("executeButton"));
    executeButton_->setGeometry(0, 0, 100, 20);
    executeButton_->setAccessibleName(executeButton_->text());
    executeButton_->setFocusPolicy(Qt::StrongFocus);
    executeButton_->installEventFilter(this);  // Enter presses it, as Space does
    executeButton_->hide();

    SetUpFilter();

    connect(cellEdit_, &QLineEdit::textChanged, this, &CMacListView::OnEditTextChanged);
    connect(cellCombo_, &QComboBox::activated, this, &CMacListView::OnComboChosen);
    connect(executeButton_, &QPushButton::clicked, this, &CMacListView::ExecuteOutputTest);

    // Every row whose state changes becomes the editors' row, selected or deselected alike.
    // When several change at once (a range), the focused row is the one the user acted on.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                const QModelIndex focus = currentIndex();
                if (focus.isValid() && (selected.contains(focus) || deselected.contains(focus)))
                    OnItemChanged(focus.row());
                else if (!selected.isEmpty())
                    OnItemChanged(selected.indexes().constLast().row());
                else if (!deselected.isEmpty())
                    OnItemChanged(deselected.indexes().constLast().row());
            });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                if (current.isValid()) OnItemChanged(current.row());
            });
    // Keep the button and an open editor over their cell when a column or row is resized.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { PlaceEditors(); });
    connect(verticalHeader(), &QHeaderView::sectionResized, this, [this] { PlaceEditors(); });
}

CMacListView::~CMacListView() {
    // Placed in the window, it is not ours to free with the list otherwise.
    if (executeButton_->parentWidget() != viewport()) delete executeButton_;
}

void CMacListView::SetEngine(ProtocolEngine* engine) { engine_ = engine; }

void CMacListView::SetConnectedQuery(std::function<bool()> isConnected) {
    isConnected_ = std::move(isConnected);
}

void CMacListView::ShowPage() {
    shownAnyway_.clear();  // another page, or the page anew
    switch (doc_.CurrentPage()) {
        case KindCpuSupervision:
            FillCpuSupervisionPage();
            break;
        case KindEventLog:
            FillEventLogPage();
            break;
        default:
            if (FindPage(doc_.CurrentPage()) != nullptr)
                FillPage(doc_.CurrentPage());
            else
                ClearPage();
            break;
    }
    ShowExecuteButton(doc_.CurrentPage() == KindCpuSupervision && shownPage_ == KindCpuSupervision);
}

void CMacListView::ClearPage() {
    filling_ = true;
    HideEditors();
    ShowExecuteButton(false);
    setRowCount(0);
    setColumnCount(0);
    shownPage_ = 0;
    filling_ = false;
    ApplyLiveStale();
    ApplyFilter();
}

PageSource CMacListView::Source() const {
    return {&doc_.CurrentDevice(), doc_.Language(), doc_.DateOrder(), doc_.LiveStatus(), doc_.CpuFailureTest()};
}

PageTarget CMacListView::Target() { return doc_.EditTarget(); }

void CMacListView::ResetTable(int page) {
    HideEditors();
    if (page != KindCpuSupervision) ShowExecuteButton(false);
    clearSelection();
    setRowCount(0);
    setColumnCount(0);
    shownPage_ = page;
}

void CMacListView::AddColumn(const std::string& title, int width) {
    const int column = columnCount();
    setColumnCount(column + 1);
    setHorizontalHeaderItem(column, new QTableWidgetItem(QString::fromStdString(title)));
    setColumnWidth(column, width);
}

void CMacListView::SetCell(int row, int column, const QString& text) {
    if (QTableWidgetItem* existing = item(row, column)) {
        existing->setText(text);
        return;
    }
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, column, cell);
}

bool CMacListView::FillPage(int kind) {
    const PageDef* page = FindPage(kind);
    if (page == nullptr || doc_.CurrentDeviceId() == -1) return false;
    const PageTable table = BuildPage(*page, Source());
    filling_ = true;
    ResetTable(kind);
    for (std::size_t c = 0; c < table.titles.size(); ++c) AddColumn(table.titles[c], table.widths[c]);
    setRowCount(static_cast<int>(table.rows.size()));
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        for (std::size_t c = 0; c < table.rows[r].size(); ++c)
            SetCell(static_cast<int>(r), static_cast<int>(c), QString::fromStdString(table.rows[r][c]));
    filling_ = false;
    ApplyLiveStale();
    ApplyFilter();  // the filter stays as typed over the new rows
    MarkDeviceValues();
    return true;
}

void CMacListView::RefreshInputStates() {
    // Only the live column changes, so the selection and the scroll position stay.
    if (doc_.CurrentDeviceId() == -1 || shownPage_ != KindInputStatus) return;
    const PageDef& page = *FindPage(KindInputStatus);
    const PageSource source = Source();
    const int count = std::min(RowCount(page, source), rowCount());
    for (int i = 0; i < count; ++i)
        SetCell(i, page.liveColumn, QString::fromStdString(CellText(page, source, i, page.liveColumn)));
    ApplyLiveStale();
    ApplyFilter();
}

void CMacListView::FillEventLogPage() {
    // The link refills this page when a read ends; a page the user has left stays as it is.
    if (doc_.CurrentPage() != KindEventLog) return;
    FillPage(KindEventLog);
}

void CMacListView::FillCpuSupervisionPage() {
    // The link refills this page on the device's answer; a page the user has left stays.
    if (doc_.CurrentPage() != KindCpuSupervision || !FillPage(KindCpuSupervision)) return;
    executeButton_->setText(QString::fromUtf8(Pick(txt::ListExecute, doc_.Language())));
    executeButton_->setAccessibleName(executeButton_->text());
    ShowExecuteButton(true);
}

void CMacListView::ShowExecuteButton(bool shown) {
    executeShown_ = shown;
    PlaceExecuteButton();
}

void CMacListView::PlaceExecuteButton() {
    if (!executeButton_) return;  // events of the list's own construction
    QWidget* home = window() != this ? window() : viewport();
    if (executeButton_->parentWidget() != home) {
        executeButton_->setParent(home);
        if (home != viewport()) {
            setTabOrder(this, executeButton_);
            // The list moves inside the window with its parents (tool bar shown or hidden).
            for (QWidget* w = parentWidget(); w && w != home; w = w->parentWidget())
                w->installEventFilter(this);
        }
    }
    const bool hasCell = shownPage_ == KindCpuSupervision && rowCount() > 0 && columnCount() > 3;
    const QRect cell = hasCell ? visualRect(model()->index(0, 3)) : QRect();
    if (home == viewport()) {
        if (hasCell) executeButton_->setGeometry(cell);
        executeButton_->setVisible(executeShown_);
        return;
    }
    // Cut to the list's visible area, as the viewport would cut a child of its own.
    const QRect visible = cell & viewport()->rect();
    const bool show = executeShown_ && isVisible() && !visible.isEmpty();
    if (show) {
        executeButton_->setGeometry(QRect(viewport()->mapTo(home, visible.topLeft()), visible.size()));
        executeButton_->raise();
    }
    executeButton_->setVisible(show);
}
