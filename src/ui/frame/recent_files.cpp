// SPDX-License-Identifier: Apache-2.0
#include "ui/frame/recent_files.h"

#include <QSettings>

namespace corvix::ui {
namespace {
const char* const Group = "Recent File List";
}

RecentFileList::RecentFileList(QSettings* settings) : settings_(settings) { Load(); }

void RecentFileList::Load() {
    if (!settings_) return;
    settings_->beginGroup(Group);
    for (int i = 1; i <= MaxEntries; ++i) {
        const QString path = settings_->value(QString("File%1").arg(i)).toString();
        if (!path.isEmpty() && !entries_.contains(path)) entries_.append(path);
    }
    settings_->endGroup();
}

void RecentFileList::Store() {
    if (!settings_) return;
    settings_->beginGroup(Group);
    for (int i = 1; i <= MaxEntries; ++i) {
        const QString key = QString("File%1").arg(i);
        if (i <= entries_.size())
            settings_->setValue(key, entries_.at(i - 1));
        else
            settings_->remove(key);
    }
    settings_->endGroup();
    settings_->sync();
}

void RecentFileList::Add(const QString& path) {
    if (path.isEmpty()) return;
    entries_.removeAll(path);
    entries_.prepend(path);
    while (entries_.size() > MaxEntries) entries_.removeLast();
    Store();
}

}  // namespace corvix::ui
