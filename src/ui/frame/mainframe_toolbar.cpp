// SPDX-License-Identifier: Apache-2.0
// The main window's tool bar: its buttons, and its names in the interface language. The
// title is what the bars' context menu (a right-click on the tool bar or the dock area)
// lists beside the communication bar, so it follows the language switch like the menus.
#include <QAction>
#include <QToolBar>

#include "model/texts.h"
#include "ui/dialogs/dialog_util.h"
#include "ui/frame/mainframe.h"

using namespace corvix;

void CMainFrame::CreateToolBar() {
    toolBar_ = addToolBar(QString());
    toolBar_->setObjectName("toolBar");
    toolBar_->setIconSize(QSize(16, 15));
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar_->addAction(actions_[IdImportProject]);
    toolBar_->addAction(actions_[IdSaveProject]);
    toolBar_->addSeparator();
    toolBar_->addAction(actions_[IdPcSerialPort]);
    toolBar_->addAction(actions_[IdConnect]);
    toolBar_->addAction(actions_[IdDisconnect]);
}

void CMainFrame::RetranslateToolBar() {
    const int lang = doc_.Language();
    toolBar_->setWindowTitle(ui::Text(txt::ToolBarTitle, lang));
    toolBar_->setAccessibleName(ui::Text(txt::AccToolBar, lang));
    for (QAction* action : toolBar_->actions()) {
        if (QWidget* button = toolBar_->widgetForAction(action)) button->setAccessibleName(action->toolTip());
    }
}
