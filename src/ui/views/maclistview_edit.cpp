// SPDX-License-Identifier: Apache-2.0
// In-place editing over the value column, the list's context menus and its Ctrl shortcuts.
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QValidator>
#include <algorithm>
#include <string>

#include "link/engine.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/pages.h"
#include "model/texts.h"
#include "ui/views/maclistview.h"

using namespace corvix;

namespace {

// At most `limit` characters, without cutting a surrogate pair in two.
QString FirstChars(const QString& text, int limit) {
    if (text.size() <= limit) return text;
    int n = limit;
    if (n > 0 && text.at(n - 1).isHighSurrogate()) --n;
    return text.left(n);
}

// A signal name must fit its record field as GBK, so the box takes no more than that.
class GbkFieldValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return Utf8ToGbk(input.toStdString()).size() < static_cast<std::size_t>(SignalNameSize) ? Acceptable
                                                                                                : Invalid;
    }
};

}  // namespace

void CMacListView::OnItemChanged(int row) {
    if (filling_) return;
    currentRow_ = row;
    HideEditors();
}

void CMacListView::HideEditors() {
    cellCombo_->hidePopup();
    cellEdit_->hide();
    cellCombo_->hide();
}

void CMacListView::PlaceEditors() {
    PlaceExecuteButton();
    if (currentRow_ < 0 || currentRow_ >= rowCount() || columnCount() < 3) return;
    const QRect cell = visualRect(model()->index(currentRow_, 2));
    if (!cellEdit_->isHidden()) cellEdit_->setGeometry(cell);
    if (!cellCombo_->isHidden()) cellCombo_->setGeometry(cell);
}

void CMacListView::OpenEditor() {
    const int page = doc_.CurrentPage();
    if (shownPage_ == 0 || shownPage_ != page || currentRow_ < 0 || currentRow_ >= rowCount() ||
        columnCount() < 3 || isRowHidden(currentRow_))
        return;
    const PageDef* def = FindPage(page);
    if (def == nullptr) return;
    const int row = currentRow_;
    const RowEditor editor = EditorFor(*def, Source(), row);
    if (editor.kind == EditorKind::None) return;  // input states and the event log are not edited
    const QRect cell = visualRect(model()->index(row, 2));
    const QTableWidgetItem* valueItem = item(row, 2);
    const QTableWidgetItem* nameItem = item(row, 1);
    const QString fieldName = nameItem ? nameItem->text() : QString();

    if (editor.kind == EditorKind::Text) {
        if (!nameValidator_) nameValidator_ = new GbkFieldValidator(cellEdit_);
        cellEdit_->setValidator(editor.rule == TextRule::GbkField ? nameValidator_ : nullptr);
        cellEdit_->setMaxLength(editor.maxChars);
        cellEdit_->setGeometry(cell);
        cellEdit_->setAccessibleName(fieldName);
        {
            const QSignalBlocker block(cellEdit_);
            cellEdit_->setText(valueItem ? valueItem->text() : QString());
        }
        cellEdit_->show();
        doc_.SealStep();  // this editor's keystrokes become one step of their own
        // Filling the box counts as a change of its text: the record takes the cell's text
        // and the project is marked modified, as with every later keystroke.
        OnEditTextChanged(cellEdit_->text());
        return;
    }

    QStringList entries;
    for (const std::string& entry : editor.choices) entries << QString::fromStdString(entry);
    // The drop-down list is a pop-up of its own, so the box takes the cell's height only.
    cellCombo_->setGeometry(cell);
    cellCombo_->setAccessibleName(fieldName);
    {
        const QSignalBlocker block(cellCombo_);
        cellCombo_->clear();
        cellCombo_->addItems(entries);
        cellCombo_->setCurrentIndex(editor.preselect);
    }
    cellCombo_->show();
}

void CMacListView::OnEditTextChanged(const QString& text) {
    const PageDef* page = FindPage(shownPage_);
    if (cellEdit_->isHidden() || page == nullptr) return;
    const int row = currentRow_;
    const StoreResult stored =
        StoreText(*page, Target(), row, FirstChars(text, cellEdit_->maxLength()).toStdString());
    if (stored.cellText && row >= 0 && row < rowCount())
        SetCell(row, 2, QString::fromStdString(*stored.cellText));
    if (!stored.projectWritten) return;
    MarkDeviceValues();
    // The keystrokes in one cell make one step.
    const uint64_t cell = (static_cast<uint64_t>(shownPage_) << 16) | static_cast<uint64_t>(row + 1);
    doc_.MarkModified(StepKind::EditValue, cell);
    emit DocumentChanged();
}

void CMacListView::OnComboChosen(int index) {
    if (cellCombo_->isHidden() || index < 0 || index >= cellCombo_->count()) return;
    const int row = currentRow_;
    const PageDef* page = FindPage(shownPage_);
    if (row < 0 || row >= rowCount() || page == nullptr) return;
    // Choosing the CPU operation stores no project value: it only picks what Execute sends.
    const StoreResult stored = StoreChoice(*page, Target(), row, index, doc_.Language());
    if (stored.cellText) SetCell(row, 2, QString::fromStdString(*stored.cellText));
    if (!stored.projectWritten) return;
    MarkDeviceValues();
    doc_.MarkModified(StepKind::ChooseValue);
    emit DocumentChanged();
}

void CMacListView::ExecuteOutputTest() {
    if (engine_) engine_->ExecuteOutputTest();
}

QMenu* CMacListView::BuildContextMenu(QWidget* parent) {
    const int lang = doc_.Language();
    auto add = [lang](QMenu* menu, const BiText& text, int command, bool enabled) {
        QAction* action = menu->addAction(QString::fromUtf8(Pick(text, lang)));
        action->setData(command);
        action->setEnabled(enabled);
    };
    if (doc_.CurrentPage() == KindSignalNames && shownPage_ == KindSignalNames) {
        const bool clipboardFull = doc_.SignalClipboardCount() != 0;
        const bool anySelected = !SelectedRows().empty();
        auto* menu = new QMenu(parent);
        add(menu, txt::ListMenuCut, CmdCut, clipboardFull);
        add(menu, txt::ListMenuCopy, CmdCopy, anySelected);
        add(menu, txt::ListMenuPaste, CmdPaste, clipboardFull);
        add(menu, txt::ListMenuDelete, CmdDelete, anySelected);
        add(menu, txt::ListMenuAddItem, CmdAddItem, true);
        menu->addSeparator();
        add(menu, txt::MenuImportSignals, CmdImportSignals, true);
        add(menu, txt::MenuExportSignals, CmdExportSignals, true);
        return menu;
    }
    if (doc_.CurrentPage() == KindEventLog && shownPage_ == KindEventLog) {
        auto* menu = new QMenu(parent);
        add(menu, txt::ListMenuRefresh, CmdRefresh, isConnected_ && isConnected_());
        add(menu, txt::MenuExportCsv, CmdExportCsv, doc_.CurrentDevice().EventCountClamped() > 0);
        return menu;
    }
    return nullptr;
}

void CMacListView::RunCommand(int command) {
    if (command == CmdOutputTest) {
        ExecuteOutputTest();
        return;
    }
    if (command == CmdExportCsv) {
        if (doc_.CurrentPage() == KindEventLog) emit ExportCsvRequested();
        return;
    }
    if (command == CmdRefresh) {
        // Offered only while the link is up; the engine reports its own progress and errors.
        if (engine_ && isConnected_ && isConnected_()) engine_->ReadEventLog();
        return;
    }
    if (doc_.CurrentDeviceId() == -1 || doc_.CurrentPage() != KindSignalNames || shownPage_ != KindSignalNames)
        return;
    if (command == CmdImportSignals || command == CmdExportSignals) {
        command == CmdImportSignals ? ImportSignalNames() : ExportSignalNames();
        return;
    }
    const std::vector<int> rows = SelectedRows();
    // Added rows go before the first selected entry, or after the last.
    const int countBefore = doc_.CurrentDevice().SignalCountClamped();
    const int addedAt = rows.empty() ? countBefore : rows.front();
    switch (command) {
        case CmdCopy:
            doc_.CopySignals(rows);
            break;
        case CmdCut:
            doc_.CutSignals(rows);
            break;
        case CmdPaste:
            doc_.PasteSignals(rows);
            break;
        case CmdDelete:
            doc_.DeleteSignals(rows);
            break;
        case CmdAddItem:
            doc_.AddSignalItem(rows);
            break;
        default:
            return;
    }
    FillPage(KindSignalNames);
    if (command == CmdAddItem || command == CmdPaste)
        ShowNewRows(addedAt, doc_.CurrentDevice().SignalCountClamped() - countBefore);
    emit DocumentChanged();
}

void CMacListView::mouseDoubleClickEvent(QMouseEvent* event) {
    OpenEditor();
    QTableWidget::mouseDoubleClickEvent(event);
    FocusEditor();  // typing right after the double-click goes into the value
}

void CMacListView::FocusEditor() {
    if (!cellEdit_->isHidden()) {
        cellEdit_->setFocus();
        cellEdit_->selectAll();
    } else if (!cellCombo_->isHidden()) {
        cellCombo_->setFocus();
    }
}

void CMacListView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        if (QMenu* menu = BuildContextMenu(this)) {
            // The command runs on the selection the menu was built for; the page is then
            // refilled, so the right click does not select anything afterwards.
            QAction* chosen = menu->exec(event->globalPosition().toPoint());
            const int command = chosen ? chosen->data().toInt() : 0;
            delete menu;
            if (command) RunCommand(command);
            event->accept();
            return;
        }
    }
    QTableWidget::mousePressEvent(event);
}

void CMacListView::wheelEvent(QWheelEvent* event) {
    HideEditors();
    QTableWidget::wheelEvent(event);
}

void CMacListView::scrollContentsBy(int dx, int dy) {
    // Sideways scrolling keeps an open editor; it moves with the content.
    if (dy != 0) HideEditors();
    QTableWidget::scrollContentsBy(dx, dy);
    PlaceExecuteButton();
}

bool CMacListView::IsCtrlListKey(const QKeyEvent* event) const {
    if (!(event->modifiers() & Qt::ControlModifier)) return false;
    const int key = event->key();
    if (key != Qt::Key_C && key != Qt::Key_X && key != Qt::Key_V && key != Qt::Key_D) return false;
    return !cellEdit_->isHidden() || (doc_.CurrentPage() == KindSignalNames && shownPage_ == KindSignalNames);
}

bool CMacListView::HandleCtrlKey(int key) {
    if (!cellEdit_->isHidden()) {
        // The edit box is open: the keys work on its text and the system clipboard.
        switch (key) {
            case Qt::Key_C:
                cellEdit_->copy();
                break;
            case Qt::Key_X:
                cellEdit_->cut();
                break;
            case Qt::Key_V:
                cellEdit_->paste();
                break;
            default:
                break;
        }
        return true;
    }
    if (doc_.CurrentPage() != KindSignalNames || shownPage_ != KindSignalNames) return false;
    switch (key) {
        case Qt::Key_C:
            RunCommand(CmdCopy);
            break;
        case Qt::Key_X:
            RunCommand(CmdCut);
            break;
        case Qt::Key_V:
            RunCommand(CmdPaste);
            break;
        case Qt::Key_D:
            RunCommand(CmdDelete);
            break;
        default:
            return false;
    }
    return true;
}

bool CMacListView::event(QEvent* e) {
    // These keys belong to the list here, ahead of any window-wide shortcut.
    if (e->type() == QEvent::ShortcutOverride && IsCtrlListKey(static_cast<QKeyEvent*>(e))) {
        e->accept();
        return true;
    }
    const bool handled = QTableWidget::event(e);
    switch (e->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ParentChange:
            PlaceExecuteButton();
            break;
        default:
            break;
    }
    return handled;
}

bool CMacListView::focusNextPrevChild(bool next) {
    // Tab goes from the list to Execute (the list would move between its cells instead);
    // from Execute on, the window's order takes over.
    if (next && hasFocus() && executeButton_->isVisible()) {
        executeButton_->setFocus(Qt::TabFocusReason);
        return true;
    }
    return QTableWidget::focusNextPrevChild(next);
}

bool CMacListView::eventFilter(QObject* watched, QEvent* e) {
    // Escape empties the filter box; in an empty box it gives the keyboard back to the list.
    if (watched == filterBox_ && e->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
        if (filterBox_->text().isEmpty())
            setFocus(Qt::OtherFocusReason);
        else
            filterBox_->clear();
        return true;
    }
    // Escape puts an editor away (the value was already written as typed) and gives the
    // keyboard back to the list.
    if ((watched == cellEdit_ || watched == cellCombo_) && e->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
        HideEditors();
        setFocus();
        e->accept();
        return true;
    }
    if (watched == executeButton_ && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            executeButton_->click();
            return true;
        }
    }
    // Parents of the list moved or resized: Execute, placed in the window, follows.
    if ((e->type() == QEvent::Move || e->type() == QEvent::Resize) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isAncestorOf(this))
        PlaceExecuteButton();
    // Ctrl+D does nothing in the edit box (a line edit would delete a character).
    if (watched == cellEdit_ && (e->type() == QEvent::KeyPress || e->type() == QEvent::ShortcutOverride)) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if ((key->modifiers() & Qt::ControlModifier) && key->key() == Qt::Key_D) {
            e->accept();
            return true;
        }
    }
    return QTableWidget::eventFilter(watched, e);
}

void CMacListView::keyPressEvent(QKeyEvent* event) {
    if (IsCtrlListKey(event) && HandleCtrlKey(event->key())) {
        event->accept();
        return;
    }
    // F2 and Enter open the row's editor as a double-click does, so values can be changed
    // without a mouse; the editor then takes the keyboard.
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain &&
        (event->key() == Qt::Key_F2 || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        OpenEditor();
        FocusEditor();
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}
