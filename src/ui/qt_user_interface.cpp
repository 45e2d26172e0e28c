#include "ui/qt_user_interface.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

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

std::optional<std::string> QtUserInterface::AskPortName(const std::vector<std::string>& names,
                                                        const std::string& current, int uiLanguage) {
    QDialog dialog(parent_);
    dialog.setWindowTitle(QString::fromUtf8(Pick(txt::SerialPortSetCaption, uiLanguage)));
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(QString::fromUtf8(Pick(txt::SerialPortPrompt, uiLanguage)), &dialog);
    auto* combo = new QComboBox(&dialog);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setAccessibleName(QString::fromUtf8(Pick(txt::SerialPortPrompt, uiLanguage)));
    label->setBuddy(combo);
    for (const std::string& name : names) combo->addItem(QFile::decodeName(name.c_str()));
    combo->setEditText(QFile::decodeName(current.c_str()));
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QString::fromUtf8(Pick(txt::NameDlgOk, uiLanguage)), QDialogButtonBox::AcceptRole);
    buttons->addButton(QString::fromUtf8(Pick(txt::NameDlgCancel, uiLanguage)), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(combo);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(320);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QString text = combo->currentText().trimmed();
    if (text.isEmpty()) return std::nullopt;
    return QFile::encodeName(text).toStdString();
}

}  // namespace corvix::ui
