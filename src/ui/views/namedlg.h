// SPDX-License-Identifier: Apache-2.0
// The small modal dialog in which a project or device name is typed.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

class CNameDlg : public QDialog {
    Q_OBJECT
  public:
    // Names hold at most this many GBK bytes (a 100-byte field with its terminator).
    static constexpr int MaxNameBytes = 99;

    explicit CNameDlg(QWidget* parent = nullptr);

    // The name buffer, GBK bytes. Set it (and `language`) before showing the dialog.
    void SetName(const std::string& nameGbk);
    const std::string& Name() const { return name_; }

    int language = 0;  // UiLanguage, set by the caller before the dialog is shown

    QLineEdit* Edit() const { return edit_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void ApplyLanguage();

    std::string name_;
    QLineEdit* edit_;
    QPushButton* ok_;
    QPushButton* cancel_;
};
