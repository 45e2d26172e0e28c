#include "ui/views/maclistview.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "link/engine.h"
#include "model/doc.h"

CMacListView::CMacListView(corvix::CBrondaleDoc& doc, QWidget* parent) : QTableWidget(parent), doc_(doc) {
    cellEdit_ = new QLineEdit(viewport());
    cellCombo_ = new QComboBox(viewport());
    executeButton_ = new QPushButton(viewport());
    cellEdit_->hide();
    cellCombo_->hide();
    executeButton_->hide();
}

void CMacListView::SetEngine(corvix::ProtocolEngine* engine) { engine_ = engine; }
void CMacListView::SetConnectedQuery(std::function<bool()> isConnected) { isConnected_ = std::move(isConnected); }
void CMacListView::ShowPage() {}
void CMacListView::ClearPage() {}
void CMacListView::RefreshInputStates() {}
void CMacListView::FillEventLogPage() {}
void CMacListView::FillCpuSupervisionPage() {}
QMenu* CMacListView::BuildContextMenu(QWidget*) { return nullptr; }
void CMacListView::RunCommand(int) {}
void CMacListView::OpenEditor() {}
void CMacListView::mouseDoubleClickEvent(QMouseEvent* event) { QTableWidget::mouseDoubleClickEvent(event); }
void CMacListView::mousePressEvent(QMouseEvent* event) { QTableWidget::mousePressEvent(event); }
void CMacListView::wheelEvent(QWheelEvent* event) { QTableWidget::wheelEvent(event); }
void CMacListView::keyPressEvent(QKeyEvent* event) { QTableWidget::keyPressEvent(event); }
void CMacListView::scrollContentsBy(int dx, int dy) { QTableWidget::scrollContentsBy(dx, dy); }
bool CMacListView::eventFilter(QObject* watched, QEvent* event) { return QTableWidget::eventFilter(watched, event); }
