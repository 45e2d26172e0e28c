// SPDX-License-Identifier: Apache-2.0
// The password dialog that guards the service command. The comparison is the caller's.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

class CPWDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CPWDlg(QWidget* parent = nullptr);

    int language = 0;      // UiLanguage, set before the dialog opens
    std::string password;  // the text entered (UTF-8), set by OK

    QLineEdit* Edit() const { return edit_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QLineEdit* edit_;
    QPushButton* ok_;
    QPushButton* cancel_;
};
