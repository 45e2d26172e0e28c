// SPDX-License-Identifier: Apache-2.0
// The recent-file list: the last four project files imported or exported, newest first,
// kept in the program's settings between runs.
#pragma once

#include <QStringList>

class QSettings;

namespace corvix::ui {

class RecentFileList {
  public:
    static constexpr int MaxEntries = 4;

    // `settings` is not owned; null keeps the list in memory only.
    explicit RecentFileList(QSettings* settings);

    // Moves `path` to the front (an entry appears once), drops what falls beyond four and
    // stores the list.
    void Add(const QString& path);
    const QStringList& Entries() const { return entries_; }

  private:
    void Load();
    void Store();

    QSettings* settings_;
    QStringList entries_;
};

}  // namespace corvix::ui
