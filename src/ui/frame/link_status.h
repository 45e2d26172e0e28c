// SPDX-License-Identifier: Apache-2.0
// The window's view of the link session's state: the status pane's text and what a screen
// reader hears of it, the "Reconnect automatically" option of the Device menu (remembered in
// the settings, on by default) and the greying of the status page's states when they are old.
#pragma once

#include <QObject>
#include <QString>

class QAction;
class QLabel;
class QMenu;
class QSettings;
class CMacListView;

namespace corvix {
class CBrondaleDoc;
class LinkSession;
}  // namespace corvix

namespace corvix::ui {

class LinkStatus : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* ReconnectKey = "link/reconnect";

    // `settings` (not owned, may be null: nothing remembered) holds the reconnect choice. The
    // option goes into `menu` right after `after`.
    LinkStatus(LinkSession& session, CBrondaleDoc& doc, QLabel& pane, CMacListView& list, QSettings* settings,
               QMenu& menu, QAction* after);

    QAction* ReconnectAction() const { return reconnect_; }
    // The pane's text and accessible text, and the status page's marking, from the session now.
    void Refresh();
    // Texts that follow the interface language: the option and the pane's description.
    void Retranslate();

  private:
    void OnReconnectToggled(bool on);

    LinkSession& session_;
    CBrondaleDoc& doc_;
    QLabel& pane_;
    CMacListView& list_;
    QSettings* settings_;
    QAction* reconnect_;
};

}  // namespace corvix::ui
