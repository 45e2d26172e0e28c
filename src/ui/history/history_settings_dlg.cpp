// SPDX-License-Identifier: Apache-2.0
#include "ui/history/history_settings_dlg.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

#include "model/texts_githistory.h"
#include "ui/dialogs/dialog_util.h"

namespace corvix::ui {

namespace {

QString Format(const BiText& text, int language, const std::string& arg) {
    char buffer[2048];
    std::snprintf(buffer, sizeof buffer, Pick(text, language), arg.c_str());
    return QString::fromUtf8(buffer);
}

}  // namespace

CHistorySettingsDlg::CHistorySettingsDlg(const HistoryPrefs& prefs, int language, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(Text(txt::GitSettingsTitle, language));
    auto* layout = new QVBoxLayout(this);
    enabled_ = new QCheckBox(Text(txt::GitSettingsRecord, language), this);
    layout->addWidget(enabled_);

    auto* form = new QFormLayout;
    folder_ = new QLineEdit(this);
    folder_->setMinimumWidth(360);
    // Empty keeps the default; the default is what the placeholder shows.
    folder_->setPlaceholderText(Format(txt::GitSettingsDefault, language, history::DefaultFolder()));
    auto* browse = new QPushButton(Text(txt::GitSettingsBrowse, language), this);
    connect(browse, &QPushButton::clicked, this, [this, language] {
        const QString chosen =
            QFileDialog::getExistingDirectory(this, Text(txt::GitSettingsFolder, language), folder_->text());
        if (!chosen.isEmpty()) folder_->setText(chosen);
    });
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(browse);
    form->addRow(Text(txt::GitSettingsFolder, language), folderRow);
    if (const char* env = std::getenv("CORVIX_HISTORY"); env != nullptr && *env != '\0') {
        auto* note = new QLabel(Format(txt::GitSettingsEnvWins, language, env), this);
        note->setWordWrap(true);
        form->addRow(QString(), note);
    }
    name_ = new QLineEdit(this);
    name_->setPlaceholderText(Text(txt::GitSettingsOsUser, language));
    email_ = new QLineEdit(this);
    form->addRow(Text(txt::GitSettingsName, language), name_);
    form->addRow(Text(txt::GitSettingsEmail, language), email_);
    layout->addLayout(form);

    auto* row = new QHBoxLayout;
    QPushButton *ok = nullptr, *cancel = nullptr;
    AddOkCancel(this, row, 0, ok, cancel);
    ok->setText(Text(txt::DlgOk, language));
    cancel->setText(Text(txt::DlgCancel, language));
    layout->addLayout(row);

    enabled_->setChecked(prefs.enabled);
    folder_->setText(QString::fromStdString(prefs.folder));
    name_->setText(QString::fromStdString(prefs.name));
    email_->setText(QString::fromStdString(prefs.email));
    // The rest only matters while recording is on.
    auto follow = [this, browse] {
        for (QWidget* w : {static_cast<QWidget*>(folder_), static_cast<QWidget*>(browse),
                           static_cast<QWidget*>(name_), static_cast<QWidget*>(email_)})
            w->setEnabled(enabled_->isChecked());
    };
    connect(enabled_, &QCheckBox::toggled, this, follow);
    follow();
}

HistoryPrefs CHistorySettingsDlg::Prefs() const {
    HistoryPrefs prefs;
    prefs.enabled = enabled_->isChecked();
    prefs.folder = folder_->text().trimmed().toStdString();
    prefs.name = name_->text().trimmed().toStdString();
    prefs.email = email_->text().trimmed().toStdString();
    return prefs;
}

}  // namespace corvix::ui
