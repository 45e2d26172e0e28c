// SPDX-License-Identifier: Apache-2.0
#include "ui/dialogs/sysmdlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <cstdio>

#include "ui/dialogs/dialog_util.h"

using corvix::ui::DialogUnits;
using corvix::ui::Text;
namespace txt = corvix::txt;

namespace {

template <std::size_t N>
std::string Join(const char* const (&pieces)[N]) {
    std::string text;
    for (const char* piece : pieces) text += piece;
    return text;
}

}  // namespace

CSYSMDlg::CSYSMDlg(QWidget* parent) : QDialog(parent) {
    // The guide stays above other windows while it is open.
    setWindowFlag(Qt::WindowStaysOnTopHint);
    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setRootIsDecorated(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tree_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tree_->setMinimumSize(DialogUnits(this, 150, 252));
    tree_->setMaximumWidth(DialogUnits(this, 150, 0).width());
    text_ = new corvix::ui::PlainTextBox(this);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setMinimumSize(DialogUnits(this, 270, 252));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(DialogUnits(this, 6, 0).width(), DialogUnits(this, 0, 6).height(),
                               DialogUnits(this, 6, 0).width(), DialogUnits(this, 0, 6).height());
    layout->addWidget(tree_);
    layout->addWidget(text_, 1);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &CSYSMDlg::OnSelectionChanged);
}

void CSYSMDlg::showEvent(QShowEvent* event) {
    if (!initialised_) Initialise();
    QDialog::showEvent(event);
}

void CSYSMDlg::Initialise() {
    initialised_ = true;
    setWindowTitle(Text(txt::GuideCaption, language));
    tree_->setAccessibleName(Text(txt::AccGuideTree, language));
    text_->setAccessibleName(Text(txt::AccGuideText, language));
    auto* root = new QTreeWidgetItem(tree_, QStringList(Text(txt::GuideRoot, language)));
    root->setData(0, Qt::UserRole, int(GuideNone));
    const struct {
        const corvix::BiText* text;
        GuideTopic topic;
    } children[] = {{&txt::GuideDeviceInfo, GuideDeviceInfo},
                    {&txt::GuideDeviceOption, GuideDeviceOption},
                    {&txt::GuideProjectOption, GuideProjectOption},
                    {&txt::GuideViewOption, GuideViewOption}};
    for (const auto& child : children) {
        auto* item = new QTreeWidgetItem(root, QStringList(Text(*child.text, language)));
        item->setData(0, Qt::UserRole, int(child.topic));
    }
    root->setExpanded(true);
    // Nothing selected yet and no text.
    tree_->clearSelection();
    text_->clear();
}

void CSYSMDlg::OnSelectionChanged() {
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    if (selected.isEmpty()) return;
    const int topic = selected.first()->data(0, Qt::UserRole).toInt();
    guideText = BuildGuideText(topic, language, deviceType, serialNumber, firmwareVersion, programVersion);
    text_->setPlainText(corvix::ui::ToBoxText(guideText));
}

std::string CSYSMDlg::BuildGuideText(int topic, int language, const std::string& deviceType,
                                     const std::string& serialNumber, const std::string& firmwareVersion,
                                     const std::string& programVersion) {
    const bool english = corvix::IsEnglish(language);
    switch (topic) {
        case GuideDeviceInfo:
            return std::string(corvix::Pick(txt::GuideLabelDeviceType, language)) + deviceType + "\r\n" +
                   corvix::Pick(txt::GuideLabelSerialNumber, language) + serialNumber + "\r\n" +
                   corvix::Pick(txt::GuideLabelFirmware, language) + firmwareVersion + "\r\n" +
                   corvix::Pick(txt::GuideLabelProgram, language) + programVersion;
        case GuideDeviceOption:
            return english ? Join(txt::GuideDeviceOptionEn) : Join(txt::GuideDeviceOptionZh);
        case GuideProjectOption:
            return english ? Join(txt::GuideProjectOptionEn) : Join(txt::GuideProjectOptionZh);
        case GuideViewOption:
            return english ? Join(txt::GuideViewOptionEn) : Join(txt::GuideViewOptionZh);
        default:
            return txt::GuideBlank;
    }
}

std::string CSYSMDlg::FormatVersion(const int8_t version[3]) {
    char text[32];
    std::snprintf(text, sizeof text, txt::VersionFormat, version[0], version[1], version[2]);
    return text;
}
