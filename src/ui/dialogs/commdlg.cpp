// SPDX-License-Identifier: Apache-2.0
#include "ui/dialogs/commdlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/dialogs/dialog_util.h"

using corvix::ui::AddOkCancel;
using corvix::ui::DialogUnits;
using corvix::ui::Text;
namespace txt = corvix::txt;

namespace {

QComboBox* NewBox(QWidget* parent, bool editable) {
    auto* box = new QComboBox(parent);
    box->setEditable(editable);
    if (editable) {
        // What is typed stays as typed: no completion from the list, nothing added to it.
        box->setCompleter(nullptr);
        box->setInsertPolicy(QComboBox::NoInsert);
    }
    return box;
}

template <std::size_t N>
void AddItems(QComboBox* box, const char* const (&items)[N]) {
    for (const char* item : items) box->addItem(QString::fromLatin1(item));
}

// An editable box shows the text as typed, with no list item chosen.
void ShowEditText(QComboBox* box, const QString& text) {
    box->setCurrentIndex(-1);
    box->setEditText(text);
}

// Changes in the watched folders come in bursts (the device node, then udev's links); the
// list is read once the burst is over, well within a second.
constexpr int RefreshDelayMs = 200;

}  // namespace

CCommDlg::CCommDlg(QWidget* parent) : QDialog(parent) {
    port_ = NewBox(this, true);
    baudRate_ = NewBox(this, true);
    dataBits_ = NewBox(this, true);
    // The parity box is a plain drop-down list, so it always names one of its codes.
    parity_ = NewBox(this, false);
    stopBits_ = NewBox(this, false);
    QComboBox* boxes[5] = {port_, baudRate_, dataBits_, parity_, stopBits_};

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(DialogUnits(this, 6, 0).width());
    grid->setVerticalSpacing(DialogUnits(this, 0, 6).height());
    for (int row = 0; row < 5; ++row) {
        labels_[row] = new QLabel(this);
        labels_[row]->setBuddy(boxes[row]);
        boxes[row]->setMinimumWidth(DialogUnits(this, 54, 0).width());
        grid->addWidget(labels_[row], row, 0);
        grid->addWidget(boxes[row], row, 1);
    }

    auto* centred = new QHBoxLayout;
    centred->addStretch(1);
    centred->addLayout(grid);
    centred->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    AddOkCancel(this, buttons, 1, ok_, cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addSpacing(DialogUnits(this, 0, 12).height());
    layout->addLayout(centred);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setMinimumSize(DialogUnits(this, 178, 156));

    // An entry stands for its port name, which may be shorter than what the entry shows
    // (a stable name with its tty and adapter): choosing it puts the name in the box.
    connect(port_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) port_->setEditText(port_->itemData(index).toString());
    });
    // A stable name is longer than the box shows; the whole of it is at hand.
    connect(port_, &QComboBox::editTextChanged, port_, &QWidget::setToolTip);
}

void CCommDlg::showEvent(QShowEvent* event) {
    if (!initialised_) Initialise();
    QDialog::showEvent(event);
}

void CCommDlg::Initialise() {
    initialised_ = true;
    // The three texts first, while the lists are still empty: they show as typed.
    ShowEditText(port_, QFile::decodeName(portText.c_str()));
    ShowEditText(baudRate_, QString::fromStdString(baudRateText));
    ShowEditText(dataBits_, QString::fromStdString(dataBitsText));

    setWindowTitle(Text(txt::CommDlgCaption, language));
    const corvix::BiText* labelTexts[5] = {&txt::CommDlgPort, &txt::CommDlgBaudRate, &txt::CommDlgDataBits,
                                           &txt::CommDlgParity, &txt::CommDlgStopBits};
    QComboBox* boxes[5] = {port_, baudRate_, dataBits_, parity_, stopBits_};
    for (int i = 0; i < 5; ++i) {
        labels_[i]->setText(Text(*labelTexts[i], language));
        boxes[i]->setAccessibleName(labels_[i]->text());
    }
    ok_->setText(Text(txt::DlgOk, language));
    cancel_->setText(Text(txt::DlgCancel, language));

    if (listPorts) {
        WatchFolders();  // before reading, so that no change after the reading is missed
        FillPortList(listPorts());
    } else {
        std::vector<corvix::PortChoice> plain;
        for (const std::string& name : portNames) plain.push_back({name, name});
        FillPortList(plain);
    }
    AddItems(parity_, txt::ParityItems);
    parity_->setCurrentIndex(parityPosition >= 0 && parityPosition < parity_->count() ? parityPosition : -1);
    const QString dataShown = dataBits_->currentText();
    const QString baudShown = baudRate_->currentText();
    AddItems(dataBits_, txt::DataBitsItems);
    AddItems(baudRate_, txt::BaudRateItems);
    ShowEditText(dataBits_, dataShown);
    ShowEditText(baudRate_, baudShown);
    AddItems(stopBits_, txt::StopBitsItems);
    stopBits_->setCurrentIndex(
        stopBitsPosition >= 0 && stopBitsPosition < stopBits_->count() ? stopBitsPosition : -1);
}

void CCommDlg::FillPortList(const std::vector<corvix::PortChoice>& choices) {
    // Filling an editable list must not replace the text shown (typed or chosen before).
    const QString shown = port_->currentText();
    const int cursor = port_->lineEdit()->cursorPosition();
    {
        const QSignalBlocker block(port_);
        port_->clear();
        for (const corvix::PortChoice& choice : choices)
            port_->addItem(QString::fromUtf8(choice.text.c_str()), QFile::decodeName(choice.name.c_str()));
    }
    ShowEditText(port_, shown);
    port_->lineEdit()->setCursorPosition(cursor);
    shownPorts_ = choices;
    // Entries with a stable name are far wider than the box: the drop-down list takes their
    // width, so that they can be read whole.
    QAbstractItemView* view = port_->view();
    view->setMinimumWidth(view->sizeHintForColumn(0) + 2 * view->frameWidth() +
                          view->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

void CCommDlg::WatchFolders() {
    if (!watcher_) {
        watcher_ = new QFileSystemWatcher(this);
        refresh_ = new QTimer(this);
        refresh_->setSingleShot(true);
        refresh_->setInterval(RefreshDelayMs);
        connect(watcher_, &QFileSystemWatcher::directoryChanged, refresh_, qOverload<>(&QTimer::start));
        connect(refresh_, &QTimer::timeout, this, &CCommDlg::RefreshPorts);
    }
    // A folder that does not exist yet (by-id before the first adapter) is taken up when its
    // parent reports it; one that went away has dropped out of the watch by itself.
    const QStringList watched = watcher_->directories();
    for (const std::string& folder : watchedFolders) {
        const QString path = QFile::decodeName(folder.c_str());
        if (!watched.contains(path) && QFileInfo(path).isDir()) watcher_->addPath(path);
    }
}

void CCommDlg::RefreshPorts() {
    if (!listPorts) return;
    WatchFolders();
    std::vector<corvix::PortChoice> choices = listPorts();
    if (choices != shownPorts_) FillPortList(choices);
}

void CCommDlg::accept() {
    portText = QFile::encodeName(port_->currentText()).toStdString();
    baudRateText = baudRate_->currentText().toStdString();
    dataBitsText = dataBits_->currentText().toStdString();
    parityPosition = parity_->currentIndex();
    stopBitsPosition = stopBits_->currentIndex();
    QDialog::accept();
}
