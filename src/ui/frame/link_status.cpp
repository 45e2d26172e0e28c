// SPDX-License-Identifier: Apache-2.0
#include "ui/frame/link_status.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSettings>

#include "link/link_session.h"
#include "model/doc.h"
#include "model/texts.h"
#include "present/session_texts.h"
#include "ui/views/maclistview.h"

namespace corvix::ui {

LinkStatus::LinkStatus(LinkSession& session, CBrondaleDoc& doc, QLabel& pane, CMacListView& list,
                       QSettings* settings, QMenu& menu, QAction* after)
    : session_(session), doc_(doc), pane_(pane), list_(list), settings_(settings) {
    reconnect_ = new QAction(this);
    reconnect_->setCheckable(true);
    reconnect_->setChecked(settings_ == nullptr || settings_->value(ReconnectKey, true).toBool());
    session_.SetReconnect(reconnect_->isChecked());
    connect(reconnect_, &QAction::toggled, this, &LinkStatus::OnReconnectToggled);

    // Right after `after`, so the link commands stay together.
    const QList<QAction*> items = menu.actions();
    const qsizetype at = items.indexOf(after);
    menu.insertAction(at >= 0 && at + 1 < items.size() ? items[at + 1] : nullptr, reconnect_);
    Retranslate();
}

void LinkStatus::OnReconnectToggled(bool on) {
    session_.SetReconnect(on);
    if (settings_ != nullptr) settings_->setValue(ReconnectKey, on);
    Refresh();
}

void LinkStatus::Retranslate() {
    const int lang = doc_.Language();
    reconnect_->setText(QString::fromUtf8(Pick(txt::MenuReconnect, lang)));
    // The pane's name is its text; what the pane is stays available as its description.
    pane_.setAccessibleDescription(QString::fromUtf8(Pick(txt::AccLinkStatus, lang)));
}

void LinkStatus::Refresh() {
    const int lang = doc_.Language();
    const QString text = QString::fromStdString(StatusPaneText(session_, lang));
    if (pane_.text() != text) pane_.setText(text);
    // Set only on a change: every change is announced to a screen reader.
    if (pane_.accessibleName() != text) pane_.setAccessibleName(text);

    const bool stale = session_.StatusStale();
    list_.SetLiveStale(
        stale, stale ? QString::fromStdString(LastUpdateText(session_.LastStatusUpdate(), lang)) : QString());
}

}  // namespace corvix::ui
