// SPDX-License-Identifier: Apache-2.0
#include "ui/qt_user_interface.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "model/texts.h"
#include "ui/views/namedlg.h"

namespace corvix::ui {
namespace {

const char* const ProjectFilters = "mac Files(*.mac);;All Files (*.*)";

std::optional<std::string> RunFileDialog(QWidget* parent, bool save) {
    QFileDialog dialog(parent, save ? "Save As" : "Open", QString(), ProjectFilters);
    dialog.setDefaultSuffix("mac");
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

}  // namespace

std::optional<std::string> QtUserInterface::AskOpenProjectPath() { return RunFileDialog(parent_, false); }

std::optional<std::string> QtUserInterface::AskSaveProjectPath() { return RunFileDialog(parent_, true); }

std::optional<std::string> QtUserInterface::AskName(const std::string& initialGbk, int uiLanguage) {
    CNameDlg dialog;
    dialog.language = uiLanguage;
    dialog.SetName(initialGbk);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Name();
}

void QtUserInterface::ShowMessage(const std::string& textUtf8, const std::string& captionUtf8) {
    // Busy cursor must not hide the pointer over the box.
    const bool busy = busyDepth_ > 0;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    QMessageBox box(QMessageBox::Information, QString::fromStdString(captionUtf8),
                    QString::fromStdString(textUtf8), QMessageBox::Ok);
    box.exec();
    if (busy) QApplication::restoreOverrideCursor();
}

void QtUserInterface::SetBusy(bool busy) {
    if (busy) {
        ++busyDepth_;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busyDepth_ > 0) {
        --busyDepth_;
        QApplication::restoreOverrideCursor();
    }
}

SaveChoice QtUserInterface::AskSaveChanges(int uiLanguage) {
    QMessageBox box(QMessageBox::Question, "Corvix", QString::fromUtf8(Pick(txt::UnsavedChanges, uiLanguage)),
                    QMessageBox::NoButton, parent_);
    QPushButton* save =
        box.addButton(QString::fromUtf8(Pick(txt::ButtonSave, uiLanguage)), QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(QString::fromUtf8(Pick(txt::ButtonDiscard, uiLanguage)), QMessageBox::DestructiveRole);
    QPushButton* cancel =
        box.addButton(QString::fromUtf8(Pick(txt::ButtonCancel, uiLanguage)), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) return SaveChoice::Save;
    if (box.clickedButton() == discard) return SaveChoice::Discard;
    return SaveChoice::Cancel;
}

}  // namespace corvix::ui
