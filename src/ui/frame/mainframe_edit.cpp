// SPDX-License-Identifier: Apache-2.0
// The Edit menu: undo and redo of the project's steps, named after what each step was, with
// their tool-bar buttons; and showing the place a step changed.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QTreeWidgetItemIterator>
#include <set>
#include <utility>

#include "model/gbk.h"
#include "model/texts.h"
#include "ui/frame/icons.h"
#include "ui/frame/mainframe.h"
#include "ui/views/macview.h"

using namespace corvix;

namespace {

QString T(const BiText& text, int uiLanguage) { return QString::fromUtf8(Pick(text, uiLanguage)); }

// "Undo «Edit Value of Bay 3»", or plain "Undo" with nothing to undo.
QString StepItemText(const BiText& withStep, const BiText& alone, const std::string& label, int lang) {
    if (label.empty()) return T(alone, lang);
    return T(withStep, lang).replace(QStringLiteral("%s"), QString::fromStdString(label));
}

// Where a node sits: its device's code (or the project's) and its own.
std::pair<int, int> NodePlace(const QTreeWidgetItem* item) {
    int device = -1;
    for (const QTreeWidgetItem* it = item; it; it = it->parent()) {
        const int c = CMacView::NodeCode(it);
        if (IsDeviceKind(c) || c == KindProject) {
            device = c;
            break;
        }
    }
    return {device, CMacView::NodeCode(item)};
}

QString FromGbkField(const char* field, int width) {
    return QString::fromStdString(GbkToUtf8(FieldText(field, width)));
}

// The tree still names the project and its devices as they are: no rebuild is needed.
bool TreeShowsDevicesOf(const CMacView& tree, const ProjectBlock& project) {
    if (project.projectOpen == 0 || tree.topLevelItemCount() != 1) return false;
    const QTreeWidgetItem* root = tree.topLevelItem(0);
    const int count = project.DeviceCountClamped();
    if (root->childCount() != count || root->text(0) != FromGbkField(project.projectName, ProjectNameSize))
        return false;
    for (int i = 0; i < count; ++i) {
        const QTreeWidgetItem* device = root->child(i);
        if (CMacView::NodeCode(device) != KindDeviceFirst + i ||
            device->text(0) != FromGbkField(project.devices[i].name, DeviceNameSize))
            return false;
    }
    return true;
}

}  // namespace

void CMainFrame::CreateEditMenu() {
    undoAction_ = new QAction(this);
    redoAction_ = new QAction(this);
    undoAction_->setIcon(ui::ToolIcon(ui::ToolImage::Undo));
    redoAction_->setIcon(ui::ToolIcon(ui::ToolImage::Redo));
    undoAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redoAction_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    connect(undoAction_, &QAction::triggered, this, [this] { OnUndoRedo(true); });
    connect(redoAction_, &QAction::triggered, this, [this] { OnUndoRedo(false); });

    editMenu_ = new QMenu(this);
    editMenu_->addAction(undoAction_);
    editMenu_->addAction(redoAction_);
    connect(editMenu_, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    // Between the Project and the View menu; the other menus keep their numbers.
    menuBar()->insertMenu(menus_.at(2)->menuAction(), editMenu_);

    toolBar_->addSeparator();
    toolBar_->addAction(undoAction_);
    toolBar_->addAction(redoAction_);
}

void CMainFrame::RetranslateEditMenu() {
    if (editMenu_ == nullptr) return;
    const int lang = doc_.Language();
    editMenu_->setTitle(T(txt::MenuEdit, lang));
    const std::pair<QAction*, QString> items[] = {
        {undoAction_, StepItemText(txt::MenuUndoStep, txt::MenuUndo, doc_.UndoLabel(), lang)},
        {redoAction_, StepItemText(txt::MenuRedoStep, txt::MenuRedo, doc_.RedoLabel(), lang)},
    };
    for (const auto& [action, text] : items) {
        // A device name may hold '&', which a menu would take for a mnemonic.
        QString shown = text;
        if (action->text() != shown.replace(QLatin1Char('&'), QStringLiteral("&&"))) action->setText(shown);
        if (action->toolTip() != text) {
            action->setToolTip(text);
            if (QWidget* button = toolBar_->widgetForAction(action)) button->setAccessibleName(text);
        }
    }
    undoAction_->setEnabled(doc_.CanUndo());
    redoAction_->setEnabled(doc_.CanRedo());
}

void CMainFrame::OnUndoRedo(bool undo) {
    if (undo)
        doc_.Undo();
    else
        doc_.Redo();
    UpdateCommandStates();
}

void CMainFrame::ShowChange(int deviceIndex, int32_t page) {
    // When names or the device list changed, rebuild, keeping what was unfolded.
    const bool rebuilt = !TreeShowsDevicesOf(*tree_, doc_.Project());
    if (rebuilt) {
        std::set<std::pair<int, int>> unfolded;
        for (QTreeWidgetItemIterator it(tree_); *it; ++it)
            if ((*it)->isExpanded()) unfolded.insert(NodePlace(*it));
        tree_->RebuildTree();
        for (QTreeWidgetItemIterator it(tree_); *it; ++it)
            if (unfolded.count(NodePlace(*it)) != 0) (*it)->setExpanded(true);
    }

    QTreeWidgetItem* target = deviceIndex >= 0 ? tree_->FindNode(KindDeviceFirst + deviceIndex) : nullptr;
    if (target != nullptr && page != 0 && !IsDeviceKind(page)) {
        for (QTreeWidgetItemIterator it(target);
             *it && (*it == target || NodePlace(*it).first == CMacView::NodeCode(target)); ++it) {
            if (CMacView::NodeCode(*it) == page) {
                target = *it;
                break;
            }
        }
    }
    if (target == nullptr) target = tree_->topLevelItemCount() > 0 ? tree_->topLevelItem(0) : nullptr;
    if (target != nullptr) {
        for (QTreeWidgetItem* up = target->parent(); up; up = up->parent()) up->setExpanded(true);
        const bool selected = !rebuilt && tree_->currentItem() == target && target->isSelected();
        // Selecting it shows its page. Only it: the Ctrl of Ctrl+Z is still held, and the tree
        // would add the node to the selection and keep showing the old page.
        tree_->setCurrentItem(target, 0, QItemSelectionModel::ClearAndSelect);
        if (selected) {
            // Already shown: only the values changed underneath.
            const auto [device, code] = NodePlace(target);
            doc_.SelectNode(code, device);
        }
        tree_->scrollToItem(target);
    }
    UpdateCommandStates();
}
