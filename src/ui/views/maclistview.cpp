// Construction of the list and the fill of every page.
#include "ui/views/maclistview.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>

#include "link/engine.h"
#include "model/doc.h"
#include "model/gbk.h"
#include "model/texts.h"

using namespace corvix;

namespace {

constexpr int MinRowHeight = 24;

QString Num(const char* format, int value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, value);
    return QString::fromUtf8(buf);
}

// A record text (GBK bytes in a fixed field) for display.
QString RecordText(const char* field, int width) {
    return QString::fromStdString(GbkToUtf8(FieldText(field, width)));
}

// A code outside its list has no text: the cell stays empty.
QString CodeText(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

}  // namespace

CMacListView::CMacListView(CBrondaleDoc& doc, QWidget* parent) : QTableWidget(parent), doc_(doc) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setSortingEnabled(false);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(MinRowHeight);
    verticalHeader()->setDefaultSectionSize(MinRowHeight);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // The editors and the button live on the viewport so that they lie over a cell and
    // move with the content when it scrolls sideways.
    cellEdit_ = new QLineEdit(viewport());
    cellEdit_->setObjectName(QStringLiteral("cellEdit"));
    cellEdit_->setMaxLength(31);
    cellEdit_->setGeometry(0, 0, 100, 20);
    cellEdit_->setAccessibleName(QString::fromUtf8(Pick(txt::ListAccCellEdit, doc_.uiLanguage)));
    cellEdit_->installEventFilter(this);
    cellEdit_->hide();

    cellCombo_ = new QComboBox(viewport());
    cellCombo_->setObjectName(QStringLiteral("cellCombo"));
    // A pure choice list: a typed value would show in the box without ever being stored.
    cellCombo_->setEditable(false);
    cellCombo_->setGeometry(0, 0, 100, 20);
    cellCombo_->setAccessibleName(QString::fromUtf8(Pick(txt::ListAccCellCombo, doc_.uiLanguage)));
    cellCombo_->installEventFilter(this);
    cellCombo_->hide();

    executeButton_ = new QPushButton(QString::fromUtf8(txt::ListExecute.zh), viewport());
    executeButton_->setObjectName(QStringLiteral("executeButton"));
    executeButton_->setGeometry(0, 0, 100, 20);
    executeButton_->setAccessibleName(executeButton_->text());
    executeButton_->hide();

    connect(cellEdit_, &QLineEdit::textChanged, this, &CMacListView::OnEditTextChanged);
    connect(cellCombo_, &QComboBox::activated, this, &CMacListView::OnComboChosen);
    connect(executeButton_, &QPushButton::clicked, this, &CMacListView::ExecuteOutputTest);

    // Every row whose state changes becomes the editors' row, selected or deselected alike.
    // When several change at once (a range), the focused row is the one the user acted on.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                const QModelIndex focus = currentIndex();
                if (focus.isValid() && (selected.contains(focus) || deselected.contains(focus)))
                    OnItemChanged(focus.row());
                else if (!selected.isEmpty())
                    OnItemChanged(selected.indexes().constLast().row());
                else if (!deselected.isEmpty())
                    OnItemChanged(deselected.indexes().constLast().row());
            });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                if (current.isValid()) OnItemChanged(current.row());
            });
    // Keep the button and an open editor over their cell when a column or row is resized.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { PlaceEditors(); });
    connect(verticalHeader(), &QHeaderView::sectionResized, this, [this] { PlaceEditors(); });
}

void CMacListView::SetEngine(ProtocolEngine* engine) { engine_ = engine; }

void CMacListView::SetConnectedQuery(std::function<bool()> isConnected) {
    isConnected_ = std::move(isConnected);
}

void CMacListView::ShowPage() {
    switch (doc_.currentPage) {
        case KindDeviceAddress:
            FillDeviceAddressPage();
            break;
        case KindPortB1:
            FillPortPage(0);
            break;
        case KindPortB2:
            FillPortPage(1);
            break;
        case KindSignalNames:
            FillSignalNamesPage();
            break;
        case KindInputStatus:
            FillInputStatusPage();
            break;
        case KindCpuSupervision:
            FillCpuSupervisionPage();
            break;
        case KindEventLog:
            FillEventLogPage();
            break;
        case KindTimeSync:
            FillTimeSyncPage();
            break;
        default:
            ClearPage();
            break;
    }
    executeButton_->setVisible(doc_.currentPage == KindCpuSupervision && shownPage_ == KindCpuSupervision);
}

void CMacListView::ClearPage() {
    filling_ = true;
    HideEditors();
    executeButton_->hide();
    setRowCount(0);
    setColumnCount(0);
    shownPage_ = 0;
    filling_ = false;
}

void CMacListView::ResetTable(int page) {
    HideEditors();
    if (page != KindCpuSupervision) executeButton_->hide();
    clearSelection();
    setRowCount(0);
    setColumnCount(0);
    shownPage_ = page;
}

void CMacListView::AddColumn(const char* title, int width) {
    const int column = columnCount();
    setColumnCount(column + 1);
    setHorizontalHeaderItem(column, new QTableWidgetItem(QString::fromUtf8(title)));
    setColumnWidth(column, width);
}

void CMacListView::SetCell(int row, int column, const QString& text) {
    if (QTableWidgetItem* existing = item(row, column)) {
        existing->setText(text);
        return;
    }
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, column, cell);
}

void CMacListView::FillDeviceAddressPage() {
    if (doc_.currentDeviceId == -1) return;
    const int lang = doc_.uiLanguage;
    filling_ = true;
    ResetTable(KindDeviceAddress);
    AddColumn(Pick(txt::ListColNumber, lang), 100);
    AddColumn(Pick(txt::ListColName, lang), 200);
    AddColumn(Pick(txt::ListColAddressData, lang), 200);
    setRowCount(1);
    SetCell(0, 0, QStringLiteral("1"));
    SetCell(0, 1, QString::fromUtf8(Pick(txt::ListRowDeviceAddress, lang)));
    SetCell(0, 2, Num("%d", doc_.currentDevice->address));
    filling_ = false;
}

void CMacListView::FillPortPage(int port) {
    if (doc_.currentDeviceId == -1) return;
    const int lang = doc_.uiLanguage;
    const DeviceRecord& rec = *doc_.currentDevice;
    filling_ = true;
    ResetTable(port == 0 ? KindPortB1 : KindPortB2);
    AddColumn(Pick(txt::ListColNumber, lang), 100);
    AddColumn(Pick(txt::ListColName, lang), 200);
    AddColumn(Pick(txt::ListColData, lang), 200);
    const BiText* names[] = {&txt::ListRowBaudRate, &txt::ListRowDataBits, &txt::ListRowStopBits,
                             &txt::ListRowParity, &txt::ListRowProtocol};
    const QString data[] = {
        Num("%d", static_cast<int32_t>(rec.baudRate[port])),
        Num("%d", rec.dataBits[port]),
        CodeText(txt::StopBitsText(rec.stopBits[port], lang)),
        CodeText(txt::ParityText(rec.parity[port], lang)),
        CodeText(txt::PortProtocolText(rec.protocol[port], lang)),
    };
    setRowCount(5);
    for (int row = 0; row < 5; ++row) {
        SetCell(row, 0, Num("%d", row + 1));
        SetCell(row, 1, QString::fromUtf8(Pick(*names[row], lang)));
        SetCell(row, 2, data[row]);
    }
    filling_ = false;
}

void CMacListView::FillSignalNamesPage() {
    if (doc_.currentDeviceId == -1) return;
    const int lang = doc_.uiLanguage;
    const DeviceRecord& rec = *doc_.currentDevice;
    filling_ = true;
    ResetTable(KindSignalNames);
    AddColumn(Pick(txt::ListColNumber, lang), 100);
    AddColumn(Pick(txt::ListColDesignation, lang), 200);
    AddColumn(Pick(txt::ListColSignalDefinition, lang), 200);
    const int count = rec.SignalCountClamped();
    setRowCount(count);
    for (int i = 0; i < count; ++i) {
        SetCell(i, 0, Num("%02d", i + 1));
        SetCell(i, 1, Num(Pick(txt::ListSignalDesignation, lang), i + 1));
        SetCell(i, 2, RecordText(rec.signalNames[i], SignalNameSize));
    }
    filling_ = false;
}

void CMacListView::FillTimeSyncPage() {
    if (doc_.currentDeviceId == -1) return;
    const int lang = doc_.uiLanguage;
    const int code = doc_.currentDevice->timeSync;
    filling_ = true;
    ResetTable(KindTimeSync);
    AddColumn(Pick(txt::ListColNumber, lang), 100);
    AddColumn(Pick(txt::ListColName, lang), 200);
    AddColumn(Pick(txt::ListColData, lang), 200);
    setRowCount(1);
    SetCell(0, 0, QStringLiteral("1"));
    SetCell(0, 1, QString::fromUtf8(Pick(txt::ListRowTimeSync, lang)));
    SetCell(0, 2, CodeText(txt::TimeSyncText(code, lang)));
    filling_ = false;
}

namespace {

QString StateText(uint8_t state, int lang) {
    if (state == 0) return QString::fromUtf8(Pick(txt::ListStateOff, lang));
    if (state == 1) return QString::fromUtf8(Pick(txt::ListStateOn, lang));
    return QString::fromUtf8(Pick(txt::ListStateUnknown, lang));
}

}  // namespace

void CMacListView::FillInputStatusPage() {
    if (doc_.currentDeviceId == -1) return;
    const int lang = doc_.uiLanguage;
    const DeviceRecord& rec = *doc_.currentDevice;
    filling_ = true;
    ResetTable(KindInputStatus);
    AddColumn(Pick(txt::ListColNumber, lang), 100);
    AddColumn(Pick(txt::ListColAssignment, lang), 200);
    AddColumn(Pick(txt::ListColState, lang), 200);
    const int count = rec.SignalCountClamped();
    setRowCount(count);
    for (int i = 0; i < count; ++i) {
        SetCell(i, 0, Num("%d", i + 1));
        SetCell(i, 1, RecordText(rec.signalNames[i], SignalNameSize));
        SetCell(i, 2, StateText(doc_.liveStatus[i], lang));
    }
    filling_ = false;
}

void CMacListView::RefreshInputStates() {
    // Only the State column changes, so the selection and the scroll position stay.
    if (doc_.currentDeviceId == -1 || shownPage_ != KindInputStatus) return;
    const int lang = doc_.uiLanguage;
    const int count = std::min(doc_.currentDevice->SignalCountClamped(), rowCount());
    for (int i = 0; i < count; ++i) SetCell(i, 2, StateText(doc_.liveStatus[i], lang));
}

void CMacListView::FillEventLogPage() {
    // The link refills this page when a read ends; a page the user has left stays as it is.
    if (doc_.currentDeviceId == -1 || doc_.currentPage != KindEventLog) return;
    const int lang = doc_.uiLanguage;
    const DeviceRecord& rec = *doc_.currentDevice;
    filling_ = true;
    ResetTable(KindEventLog);
    AddColumn(Pick(txt::ListColNumber, lang), 100);
    AddColumn(Pick(txt::ListColTime, lang), 200);
    AddColumn(Pick(txt::ListColName, lang), 200);
    AddColumn(Pick(txt::ListColState, lang), 80);
    const int count = rec.EventCountClamped();
    setRowCount(count);
    const bool world = doc_.dateFormat == DateWorld;
    for (int i = 0; i < count; ++i) {
        const EventRecord& ev = rec.events[count - 1 - i];
        char stamp[64];
        if (world)
            std::snprintf(stamp, sizeof stamp, "%02d.%02d.%04d %02d:%02d:%02d.%4d", ev.day, ev.month, ev.year,
                          ev.hour, ev.minute, ev.second, ev.millisecond);
        else
            std::snprintf(stamp, sizeof stamp, "%04d.%02d.%02d %02d:%02d:%02d.%4d", ev.year, ev.month, ev.day,
                          ev.hour, ev.minute, ev.second, ev.millisecond);
        SetCell(i, 0, Num("%d", i + 1));
        SetCell(i, 1, QString::fromLatin1(stamp));
        SetCell(i, 2, RecordText(ev.signalName, sizeof ev.signalName));
        SetCell(i, 3, QString::fromUtf8(txt::TransitionText(ev.transition, lang)));
    }
    filling_ = false;
}

void CMacListView::FillCpuSupervisionPage() {
    // The link refills this page on the device's answer; a page the user has left stays.
    if (doc_.currentDeviceId == -1 || doc_.currentPage != KindCpuSupervision) return;
    const int lang = doc_.uiLanguage;
    filling_ = true;
    ResetTable(KindCpuSupervision);
    AddColumn(Pick(txt::ListColNumber, lang), 100);
    AddColumn(Pick(txt::ListColAssignment, lang), 200);
    AddColumn(Pick(txt::ListColOperation, lang), 200);
    AddColumn(Pick(txt::ListColBlank, lang), 200);
    setRowCount(1);
    SetCell(0, 0, QStringLiteral("1"));
    SetCell(0, 1, QString::fromUtf8(Pick(txt::ListRowCpuFailure, lang)));
    SetCell(0, 2,
            QString::fromUtf8(Pick(doc_.cpuFailureTest != 0 ? txt::ListStateOn : txt::ListStateOff, lang)));
    executeButton_->setText(QString::fromUtf8(Pick(txt::ListExecute, lang)));
    executeButton_->setAccessibleName(executeButton_->text());
    PlaceExecuteButton();
    executeButton_->show();
    filling_ = false;
}

void CMacListView::PlaceExecuteButton() {
    if (shownPage_ == KindCpuSupervision && rowCount() > 0 && columnCount() > 3)
        executeButton_->setGeometry(visualRect(model()->index(0, 3)));
}
