// SPDX-License-Identifier: Apache-2.0
#include "ui/dialogs/dlgtime.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "link/clock_timing.h"
#include "present/clock_offset_text.h"
#include "ui/dialogs/dialog_util.h"

using corvix::ui::DialogUnits;
using corvix::ui::LeadingInt;
using corvix::ui::Text;
namespace txt = corvix::txt;

namespace {

// The box holds at most this many characters, as the entry is read.
constexpr int MaxEntryLength = 99;

struct Piece {
    int first;
    int length;
};
// Positions of year, month, day, hour, minute, second.
constexpr Piece ChinaPieces[6] = {{0, 4}, {5, 2}, {8, 2}, {11, 2}, {14, 2}, {17, 2}};
constexpr Piece WorldPieces[6] = {{6, 4}, {3, 2}, {0, 2}, {11, 2}, {14, 2}, {17, 2}};

int PieceValue(const QString& text, Piece p) {
    if (p.first >= text.size()) return 0;
    return LeadingInt(text.mid(p.first, p.length));
}

}  // namespace

void ReadClockEntry(const QString& text, int dateFormat, corvix::LocalTime& t) {
    const Piece* pieces = dateFormat == corvix::DateWorld ? WorldPieces : ChinaPieces;
    const QString entry = text.left(MaxEntryLength);
    t.year = PieceValue(entry, pieces[0]);
    t.month = PieceValue(entry, pieces[1]);
    t.day = PieceValue(entry, pieces[2]);
    t.hour = PieceValue(entry, pieces[3]);
    t.minute = PieceValue(entry, pieces[4]);
    t.second = PieceValue(entry, pieces[5]);
}

CDlgTime::CDlgTime(corvix::CBrondaleDoc& doc, corvix::ProtocolEngine& engine, corvix::LocalClockFn localClock,
                   int lang, QWidget* parent)
    : QDialog(parent),
      dateFormat(doc.DateOrder()),
      language(lang),
      doc_(doc),
      engine_(engine),
      localClock_(std::move(localClock)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    formatGroup_ = new QGroupBox(this);
    china_ = new QRadioButton(formatGroup_);
    world_ = new QRadioButton(formatGroup_);
    auto* orders = new QButtonGroup(this);
    orders->addButton(china_);
    orders->addButton(world_);
    auto* formatLayout = new QHBoxLayout(formatGroup_);
    formatLayout->addSpacing(DialogUnits(this, 18, 0).width());
    formatLayout->addWidget(china_);
    formatLayout->addSpacing(DialogUnits(this, 20, 0).width());
    formatLayout->addWidget(world_);
    formatLayout->addStretch(1);

    deviceGroup_ = new QGroupBox(this);
    deviceTime_ = new QLineEdit(deviceGroup_);
    auto* deviceLayout = new QHBoxLayout(deviceGroup_);
    deviceLayout->addSpacing(DialogUnits(this, 18, 0).width());
    deviceLayout->addWidget(deviceTime_);
    offset_ = new QLabel(deviceGroup_);
    // Room for the longest offset text, so the window does not change size with each reading:
    // up to a device some 270 years off (a clock reset to its first year goes beyond; the
    // window then widens).
    const QString widest = QString::fromStdString(corvix::ClockOffsetText(-(99999 * 86400000LL + 86399000), lang));
    offset_->setMinimumWidth(
        std::max(DialogUnits(this, 110, 0).width(), offset_->fontMetrics().horizontalAdvance(widest)));
    deviceLayout->addWidget(offset_);
    deviceLayout->addStretch(1);

    hint_ = new QLabel(this);

    pcGroup_ = new QGroupBox(this);
    systemTime_ = new QLineEdit(pcGroup_);
    systemTime_->setMaxLength(MaxEntryLength);
    auto* pcLayout = new QHBoxLayout(pcGroup_);
    pcLayout->addSpacing(DialogUnits(this, 18, 0).width());
    pcLayout->addWidget(systemTime_);
    pcLayout->addStretch(1);

    const int boxWidth = DialogUnits(this, 102, 0).width();
    deviceTime_->setMinimumWidth(boxWidth);
    systemTime_->setMinimumWidth(boxWidth);

    usePcClock_ = new QCheckBox(this);
    set_ = new QPushButton(this);
    quit_ = new QPushButton(this);
    set_->setDefault(true);
    // Quit never becomes the default, so Set stays it while Quit has the focus; Enter on a
    // focused Quit is handled in eventFilter.
    quit_->setAutoDefault(false);
    quit_->installEventFilter(this);
    const QSize buttonSize = DialogUnits(this, 50, 14);
    set_->setMinimumSize(buttonSize);
    quit_->setMinimumSize(buttonSize);

    // Left column: the three groups, the hint under the device time, the check box; right
    // column: Set beside the device time, Quit beside the PC time.
    auto* grid = new QGridLayout(this);
    grid->addWidget(formatGroup_, 0, 0);
    grid->addWidget(deviceGroup_, 1, 0);
    grid->addWidget(set_, 1, 1, Qt::AlignCenter);
    grid->addWidget(hint_, 2, 0);
    grid->addWidget(pcGroup_, 3, 0);
    grid->addWidget(quit_, 3, 1, Qt::AlignCenter);
    grid->addWidget(usePcClock_, 4, 0);
    grid->setColumnMinimumWidth(0, DialogUnits(this, 168, 0).width());
    grid->setColumnMinimumWidth(1, DialogUnits(this, 70, 0).width());
    grid->setContentsMargins(DialogUnits(this, 24, 0).width(), DialogUnits(this, 0, 6).height(),
                             DialogUnits(this, 12, 0).width(), DialogUnits(this, 0, 8).height());

    connect(china_, &QRadioButton::clicked, this, [this] { ChooseOrder(corvix::DateChina); });
    connect(world_, &QRadioButton::clicked, this, [this] { ChooseOrder(corvix::DateWorld); });
    connect(set_, &QPushButton::clicked, this, &CDlgTime::OnSet);
    connect(quit_, &QPushButton::clicked, this, &CDlgTime::close);

    // Initialisation: the order, then the texts of the window's language; the check box
    // starts cleared.
    const bool world = dateFormat == corvix::DateWorld;
    china_->setChecked(!world);
    world_->setChecked(world);
    setWindowTitle(Text(txt::TimeDlgCaption, language));
    formatGroup_->setTitle(Text(txt::TimeDlgFormatGroup, language));
    deviceGroup_->setTitle(Text(txt::TimeDlgDeviceGroup, language));
    pcGroup_->setTitle(Text(txt::TimeDlgPcGroup, language));
    hint_->setText(Text(world ? txt::TimeHintWorldAtOpen : txt::TimeHintChinaAtOpen, language));
    usePcClock_->setText(Text(txt::TimeDlgUsePcClock, language));
    china_->setText(Text(txt::TimeDlgChina, language));
    world_->setText(Text(txt::TimeDlgWorld, language));
    set_->setText(Text(txt::TimeDlgSet, language));
    quit_->setText(Text(txt::TimeDlgQuit, language));
    usePcClock_->setChecked(false);
    deviceTime_->setAccessibleName(deviceGroup_->title());
    systemTime_->setAccessibleName(pcGroup_->title());
}

bool CDlgTime::UsePcClock() const { return usePcClock_->isChecked(); }

void CDlgTime::SetSystemTimeText(const QString& text) { systemTime_->setText(text); }

void CDlgTime::SetDeviceTimeText(const QString& text) { deviceTime_->setText(text); }

void CDlgTime::SetDeviceOffsetText(const QString& text) { offset_->setText(text); }

void CDlgTime::ChooseOrder(int order) {
    china_->setChecked(order == corvix::DateChina);
    world_->setChecked(order == corvix::DateWorld);
    dateFormat = order;
    doc_.SetDateOrder(order);  // the whole program's order, from now on
    hint_->setText(Text(order == corvix::DateWorld ? txt::TimeHintWorld : txt::TimeHintChina, language));
}

void CDlgTime::OnSet() {
    // A typed time keeps the day of week and milliseconds of the time set before.
    corvix::LocalTime time = engine_.TimeToSet();
    if (UsePcClock())
        time = lineSettings_ != nullptr ? corvix::ClockSetTime(localClock_, *lineSettings_) : localClock_();
    else
        ReadClockEntry(systemTime_->text(), dateFormat, time);
    engine_.SetDeviceTime(time);
}

void CDlgTime::reject() { close(); }

bool CDlgTime::eventFilter(QObject* watched, QEvent* event) {
    // A button that is not the default ignores Enter, and the dialog would press Set: a clock
    // frame sent by a key meant to close the window.
    if (watched == quit_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            quit_->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CDlgTime::closeEvent(QCloseEvent* event) {
    event->accept();
    emit Closed();
}
