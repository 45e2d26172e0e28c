// SPDX-License-Identifier: Apache-2.0
// History Settings…: the history folder, the author of the commits, and whether the window
// records at all.
#pragma once

#include <QDialog>

#include "ui/history/recorder_host.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace corvix::ui {

class CHistorySettingsDlg : public QDialog {
    Q_OBJECT
  public:
    CHistorySettingsDlg(const HistoryPrefs& prefs, int language, QWidget* parent = nullptr);
    HistoryPrefs Prefs() const;

    QCheckBox* Enabled() const { return enabled_; }
    QLineEdit* Folder() const { return folder_; }
    QLineEdit* Name() const { return name_; }
    QLineEdit* Email() const { return email_; }

  private:
    QCheckBox* enabled_;
    QLineEdit* folder_;
    QLineEdit* name_;
    QLineEdit* email_;
};

}  // namespace corvix::ui
