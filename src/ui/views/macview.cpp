// SPDX-License-Identifier: Apache-2.0
#include "ui/views/macview.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include "link/engine.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/texts.h"
#include "model/texts_githistory.h"
#include "ui/frame/icons.h"

using namespace corvix;

namespace {

QString FromGbkField(const char* field, int width) {
    return QString::fromStdString(GbkToUtf8(FieldText(field, width)));
}

QString T(const BiText& text, int uiLanguage) { return QString::fromUtf8(Pick(text, uiLanguage)); }

}  // namespace

CMacView::CMacView(CBrondaleDoc& doc, QWidget* parent)
    : QTreeWidget(parent), doc_(doc), images_(ui::TreeImages()) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    // Several devices may be selected for the operations over devices; the current item stays
    // the one every single-device command works on.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setIconSize(QSize(16, 16));
    setContextMenuPolicy(Qt::NoContextMenu);
    setAccessibleName(T(txt::AccProjectTree, doc_.Language()));
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CMacView::OnSelectionChanged);
}

CMacView::~CMacView() {
    // Tearing down the items must not reach the document as a selection change.
    rebuilding_ = true;
    blockSignals(true);
}

int CMacView::NodeCode(const QTreeWidgetItem* item) {
    if (!item) return -1;
    bool ok = false;
    const int code = item->data(0, Qt::UserRole).toInt(&ok);
    return ok ? code : -1;
}

QTreeWidgetItem* CMacView::FindNode(int code) const {
    for (QTreeWidgetItemIterator it(const_cast<CMacView*>(this)); *it; ++it)
        if (NodeCode(*it) == code) return *it;
    return nullptr;
}

QTreeWidgetItem* CMacView::AddNode(QTreeWidgetItem* parent, const QString& text, int code, int image) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, text);
    item->setData(0, Qt::UserRole, code);
    item->setIcon(0, images_[image]);
    return item;
}

void CMacView::RebuildTree() {
    // Clearing empties the selection; that must not move the current device.
    rebuilding_ = true;
    clear();
    if (!doc_.ProjectOpen()) {
        rebuilding_ = false;
        ForgetSelection();
        return;
    }
    const int lang = doc_.Language();
    ProjectBlock& block = doc_.Project();
    QTreeWidgetItem* root =
        AddNode(nullptr, FromGbkField(block.projectName, ProjectNameSize), KindProject, ImageProject);
    const int count = block.DeviceCountClamped();
    QTreeWidgetItem* firstDevice = nullptr;
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* device = AddNode(root, FromGbkField(block.devices[i].name, DeviceNameSize),
                                          KindDeviceFirst + i, ImageDevice);
        if (!firstDevice) firstDevice = device;
        QTreeWidgetItem* config =
            AddNode(device, T(txt::NodeConfiguration, lang), KindConfiguration, ImagePage);
        AddNode(device, T(txt::NodeInputStatus, lang), KindInputStatus, ImagePage);
        AddNode(device, T(txt::NodeCpuSupervision, lang), KindCpuSupervision, ImagePage);
        AddNode(device, T(txt::NodeEventLog, lang), KindEventLog, ImagePage);
        AddNode(config, T(txt::NodeDeviceAddress, lang), KindDeviceAddress, ImagePage);
        AddNode(config, T(txt::NodeTimeSync, lang), KindTimeSync, ImagePage);
        AddNode(config, T(txt::NodePortB1, lang), KindPortB1, ImagePage);
        AddNode(config, T(txt::NodePortB2, lang), KindPortB2, ImagePage);
        AddNode(config, T(txt::NodeSignalNames, lang), KindSignalNames, ImagePage);
    }
    root->setExpanded(true);
    if (firstDevice) setCurrentItem(firstDevice, 0, QItemSelectionModel::ClearAndSelect);
    rebuilding_ = false;
    // One selection change for the first device, whatever signals the rebuild emitted.
    if (firstDevice)
        OnSelectionChanged();
    else
        ForgetSelection();
}

void CMacView::ForgetSelection() {
    // Nothing is selected any more: no page is shown and no node's menu may appear. The
    // current device record stays as it was, so nothing points at a freed slot.
    doc_.ForgetPage();
    if (IDocViews* views = doc_.Views()) views->ClearPage();
}

void CMacView::OnSelectionChanged() {
    if (rebuilding_) return;
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (selected.isEmpty()) return;
    // Of several selected nodes, the current one is shown (a selection may change before the
    // current item follows it, so one selected node is taken as it is).
    QTreeWidgetItem* node =
        selected.size() > 1 && currentItem() && currentItem()->isSelected() ? currentItem() : selected.first();
    const int code = NodeCode(node);
    int deviceCode = -1;
    if (code != KindProject) {
        for (QTreeWidgetItem* it = currentItem() ? currentItem() : node; it; it = it->parent()) {
            const int c = NodeCode(it);
            if (IsDeviceKind(c) || c == KindProject) {
                deviceCode = c;
                break;
            }
        }
    } else {
        deviceCode = KindProject;
    }
    doc_.SelectNode(code, deviceCode);
}

int CMacView::CaretCode() const { return NodeCode(currentItem()); }

QMenu* CMacView::BuildContextMenu(QWidget* parent) {
    const int page = doc_.CurrentPage();
    const int lang = doc_.Language();
    const bool canAdd = doc_.CanAddDevice();
    const bool canPaste = doc_.CanPasteDevice();
    auto add = [lang](QMenu* menu, const BiText& text, int command, bool enabled) {
        QAction* action = menu->addAction(T(text, lang));
        action->setData(command);
        action->setEnabled(enabled);
    };
    if (page == KindProject) {
        auto* menu = new QMenu(parent);
        add(menu, txt::TreeRenameProject, CmdRenameProject, true);
        add(menu, txt::TreeAddDevice, CmdAddDevice, canAdd);
        add(menu, txt::TreePasteAfterLast, CmdPasteAfterLast, canPaste);
        if (!projectActions_.empty()) {
            emit ProjectMenuOpening();
            menu->addSeparator();
            for (QAction* action : projectActions_) menu->addAction(action);
        }
        return menu;
    }
    if (IsDeviceKind(page)) {
        auto* menu = new QMenu(parent);
        add(menu, txt::TreeCut, CmdCut, true);
        add(menu, txt::TreeCopy, CmdCopy, true);
        add(menu, txt::TreePasteBefore, CmdPasteBefore, canPaste);
        add(menu, txt::TreeDelete, CmdDelete, true);
        add(menu, txt::TreeRenameDevice, CmdRenameDevice, true);
        menu->addSeparator();
        add(menu, txt::TreeReadFromDevice, CmdReadFromDevice, true);
        add(menu, txt::TreeWriteToDevice, CmdWriteToDevice, true);
        add(menu, txt::TreeCompareWithDevice, CmdCompareWithDevice, engine_ != nullptr);
        add(menu, txt::GitMenuHistory, CmdGitHistory, true);
        add(menu, txt::MenuConnection, CmdConnection, true);
        return menu;
    }
    return nullptr;
}

void CMacView::ShowContextMenu(const QPoint& globalPos) {
    QMenu* menu = BuildContextMenu(this);
    if (!menu) return;
    QAction* chosen = menu->exec(globalPos);
    const int command = chosen ? chosen->data().toInt() : 0;
    delete menu;
    if (command) RunCommand(command);
}

void CMacView::mousePressEvent(QMouseEvent* event) {
    // The menu belongs to the selected node; a right click leaves the selection alone.
    if (event->button() == Qt::RightButton) {
        ShowContextMenu(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CMacView::keyPressEvent(QKeyEvent* event) {
    if ((event->modifiers() & Qt::ControlModifier) && IsDeviceKind(doc_.CurrentPage())) {
        switch (event->key()) {
            case Qt::Key_C:
                RunCommand(CmdCopy);
                break;
            case Qt::Key_D:
                RunCommand(CmdDelete);
                break;
            case Qt::Key_V:
                RunCommand(CmdPasteBefore);
                break;
            case Qt::Key_X:
                RunCommand(CmdCut);
                break;
            default:
                break;
        }
    }
    // The key goes on to the tree's own handling.
    QTreeWidget::keyPressEvent(event);
}

void CMacView::RunCommand(int command) {
    // Commands exist only on the nodes of an open project.
    if (!doc_.ProjectOpen()) return;
    const int caret = CaretCode();
    switch (command) {
        case CmdRenameProject: {
            doc_.RenameProject();
            if (QTreeWidgetItem* item = currentItem())
                item->setText(0, FromGbkField(doc_.Project().projectName, ProjectNameSize));
            break;
        }
        case CmdAddDevice:
            doc_.AddDevice();
            break;
        case CmdPasteAfterLast:
            doc_.PasteAfterLastDevice();
            break;
        case CmdCopy:
            if (IsDeviceKind(caret)) doc_.CopyDevice(caret);
            break;
        case CmdDelete:
            if (IsDeviceKind(caret)) doc_.DeleteDevice(caret);
            break;
        case CmdCut:
            if (IsDeviceKind(caret)) doc_.CutDevice(caret);
            break;
        case CmdPasteBefore:
            if (IsDeviceKind(caret)) doc_.PasteBeforeDevice(caret);
            break;
        case CmdRenameDevice: {
            if (!IsDeviceKind(caret)) return;
            doc_.RenameDevice(caret);
            const int index = caret - KindDeviceFirst;
            if (QTreeWidgetItem* item = currentItem())
                item->setText(0, FromGbkField(doc_.Project().devices[index].name, DeviceNameSize));
            break;
        }
        case CmdReadFromDevice:
            if (!IsDeviceKind(caret) || !engine_) return;
            doc_.TakeDevice(caret);
            engine_->ReadConfiguration();
            break;
        case CmdWriteToDevice:
            if (!IsDeviceKind(caret) || !engine_) return;
            doc_.TakeDevice(caret);
            engine_->WriteConfiguration();
            break;
        case CmdCompareWithDevice:
            if (!IsDeviceKind(caret)) return;
            emit CompareRequested(caret);
            return;  // the window reports its own changes of the project
        case CmdGitHistory:
            if (!IsDeviceKind(caret)) return;
            emit GitHistoryRequested(caret);
            return;
        case CmdConnection:
            if (!IsDeviceKind(caret)) return;
            emit ConnectionRequested(caret);
            return;
        default:
            break;
    }
    emit DocumentChanged();
}
