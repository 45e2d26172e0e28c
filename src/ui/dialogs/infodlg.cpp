// SPDX-License-Identifier: Apache-2.0
#include "ui/dialogs/infodlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHash>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "ui/dialogs/dialog_util.h"

using corvix::ui::DialogUnits;
namespace txt = corvix::txt;

namespace {

// Whether `text` has the lines `wanted` from line `first` on.
bool LinesAt(const QStringList& text, qsizetype first, const QStringList& wanted) {
    if (first + wanted.size() > text.size()) return false;
    for (qsizetype i = 0; i < wanted.size(); ++i)
        if (text.at(first + i) != wanted.at(i)) return false;
    return true;
}

}  // namespace

CInfoDlg::CInfoDlg(int lang, bool noEject, QWidget* parent) : QDialog(parent), language(lang) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    text_ = new corvix::ui::PlainTextBox(this);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setUndoRedoEnabled(false);  // the text grows with every event; keep no undo copy
    text_->setMinimumSize(DialogUnits(this, 276, 143));
    text_->installEventFilter(this);
    noEject_ = new QCheckBox(this);
    hide_ = new QPushButton(this);
    clear_ = new QPushButton(this);
    export_ = new QPushButton(this);
    export_->setAutoDefault(false);
    // Enter in the window runs no button.
    hide_->setAutoDefault(false);
    clear_->setAutoDefault(false);
    const QSize buttonSize = DialogUnits(this, 50, 14);
    hide_->setMinimumSize(buttonSize);
    clear_->setMinimumSize(buttonSize);

    auto* row = new QHBoxLayout;
    row->addWidget(noEject_);
    row->addStretch(1);
    row->addWidget(hide_);
    row->addStretch(1);
    row->addWidget(clear_);
    row->addStretch(1);
    row->addWidget(export_);
    row->addSpacing(DialogUnits(this, 18, 0).width());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(DialogUnits(this, 7, 0).width(), DialogUnits(this, 0, 7).height(),
                               DialogUnits(this, 7, 0).width(), DialogUnits(this, 0, 7).height());
    layout->addWidget(text_, 1);
    layout->addLayout(row);

    connect(hide_, &QPushButton::clicked, this, &CInfoDlg::HideClicked);
    connect(clear_, &QPushButton::clicked, this, [this] {
        SetText(txt::InfoDlgClearedText);
        emit Cleared();
    });
    connect(export_, &QPushButton::clicked, this, &CInfoDlg::ExportCsvClicked);
    connect(noEject_, &QCheckBox::clicked, this, &CInfoDlg::NoEjectClicked);
    connect(text_, &QPlainTextEdit::textChanged, this, [this] {
        if (!appending_) changed_ = true;
    });

    setWindowTitle(corvix::ui::Text(txt::InfoDlgCaption, language));
    noEject_->setText(corvix::ui::Text(txt::InfoDlgNoEject, language));
    hide_->setText(corvix::ui::Text(txt::InfoDlgHide, language));
    clear_->setText(corvix::ui::Text(txt::InfoDlgClear, language));
    export_->setText(corvix::ui::Text(txt::MenuExportCsv, language));
    text_->setAccessibleName(corvix::ui::Text(txt::AccEventText, language));
    noEject_->setChecked(noEject);
}

std::string CInfoDlg::Text() const { return corvix::ui::FromBoxText(text_->toPlainText()); }

void CInfoDlg::SetText(const std::string& textUtf8) {
    events_.clear();  // the text they were listed by has gone
    text_->setPlainText(corvix::ui::ToBoxText(textUtf8));
}

void CInfoDlg::AppendText(const std::string& textUtf8) {
    appending_ = true;
    QTextCursor cursor(text_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(corvix::ui::ToBoxText(textUtf8));
    appending_ = false;
    ScrollToEnd();
}

void CInfoDlg::AppendEvent(const corvix::EventRecord& event, const std::string& textUtf8) {
    AppendText(textUtf8);
    QStringList lines = corvix::ui::ToBoxText(textUtf8).split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.constLast().isEmpty()) lines.removeLast();
    if (!lines.isEmpty()) events_.push_back({event, std::move(lines)});
}

std::vector<corvix::EventRecord> CInfoDlg::ListedEvents() const {
    QStringList lines;
    for (QTextBlock line = text_->document()->begin(); line.isValid(); line = line.next()) lines << line.text();
    // Where each line stands, so that finding the events costs one pass, not one per event.
    QHash<QString, std::vector<qsizetype>> where;
    for (qsizetype i = 0; i < lines.size(); ++i) where[lines.at(i)].push_back(i);
    QHash<QString, std::size_t> passed;  // per first line: the places before the cursor
    std::vector<corvix::EventRecord> listed;
    qsizetype cursor = 0;
    for (const KeptEvent& kept : events_) {
        const auto found = where.constFind(kept.lines.constFirst());
        if (found == where.cend()) continue;
        const std::vector<qsizetype>& places = *found;
        std::size_t& next = passed[kept.lines.constFirst()];
        while (next < places.size() && places[next] < cursor) ++next;
        for (std::size_t i = next; i < places.size(); ++i) {
            if (!LinesAt(lines, places[i], kept.lines)) continue;
            listed.push_back(kept.event);
            cursor = places[i] + kept.lines.size();
            break;
        }
    }
    return listed;
}

bool CInfoDlg::TakeChanged() {
    const bool changed = changed_;
    changed_ = false;
    return changed;
}

void CInfoDlg::ScrollToEnd() {
    QScrollBar* bar = text_->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void CInfoDlg::reject() { close(); }

void CInfoDlg::closeEvent(QCloseEvent* event) {
    event->accept();
    emit Closed();
}

bool CInfoDlg::eventFilter(QObject* watched, QEvent* event) {
    // The text box takes typing but, like a dialog's text box, no line breaks: Enter goes
    // to the window, which ignores it.
    if (watched == text_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CInfoDlg::keyPressEvent(QKeyEvent* event) {
    // Enter would end the dialog and hide the window behind the frame's back; it does nothing.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
