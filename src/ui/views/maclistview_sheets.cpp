// SPDX-License-Identifier: Apache-2.0
// Import Signal Names… and Export Signal Names… of the signal-name page's context menu. The
// reading, checking and writing live in the core; this asks for the file and says what failed.
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>

#include "model/doc.h"
#include "model/gbk.h"
#include "model/signal_sheet.h"
#include "model/texts.h"
#include "report/report_xlsx.h"
#include "ui/views/maclistview.h"

using namespace corvix;

namespace {

// A file dialog: CSV to open; CSV or XLSX to save, a name typed without a suffix taking the
// chosen filter's.
std::optional<std::string> AskSheetPath(QWidget* parent, bool save, int lang, const std::string& suggested) {
    const QString csv = txt::SheetFilterCsv;
    const QString xlsx = txt::SheetFilterXlsx;
    const QString caption = QString::fromUtf8(Pick(save ? txt::ExportSignalsCaption : txt::ImportSignalsCaption, lang));
    QString chosen;
    QString filter;
    if (save)
        chosen = QFileDialog::getSaveFileName(parent, caption, QString::fromStdString(suggested), csv + ";;" + xlsx,
                                              &filter);
    else
        chosen = QFileDialog::getOpenFileName(parent, caption, QString(), csv + ";;" + QString::fromUtf8(Pick(txt::SheetFilterAll, lang)));
    if (chosen.isEmpty()) return std::nullopt;
    if (save) {
        const QString suffix = QFileInfo(chosen).suffix().toLower();
        if (suffix != "csv" && suffix != "xlsx") chosen += filter == xlsx ? ".xlsx" : ".csv";
    }
    return QFile::encodeName(chosen).toStdString();
}

}  // namespace

void CMacListView::ImportSignalNames() {
    const int lang = doc_.Language();
    const int device = doc_.CurrentDeviceId() - KindDeviceFirst;
    if (device < 0 || device >= doc_.Project().DeviceCountClamped()) return;
    const std::optional<std::string> path = askSheetPath ? askSheetPath(false) : AskSheetPath(this, false, lang, {});
    if (!path) return;
    IUserInterface* ui = doc_.UserInterface();
    const std::string caption = Pick(txt::ImportSignalsCaption, lang);
    QFile file(QFile::decodeName(path->c_str()));
    if (!file.open(QIODevice::ReadOnly)) {
        if (ui) ui->ShowMessage(Pick(txt::SheetCannotRead, lang) + file.fileName().toStdString(), caption);
        return;
    }
    const QByteArray bytes = file.readAll();
    const SignalSheet sheet = ReadSignalSheet(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (!sheet.Ok()) {
        if (ui) ui->ShowMessage(SheetErrorText(sheet.error, lang), caption);
        return;
    }
    HideEditors();
    doc_.SetSignalNames(device, sheet.namesGbk);
    FillPage(KindSignalNames);
    emit DocumentChanged();
}

void CMacListView::ExportSignalNames() {
    const int lang = doc_.Language();
    if (doc_.CurrentDeviceId() == -1) return;
    const DeviceRecord& device = doc_.CurrentDevice();
    std::string suggested = GbkToUtf8(FieldText(device.name, DeviceNameSize));
    for (char& c : suggested)
        if (c == '/') c = '_';
    const std::optional<std::string> path =
        askSheetPath ? askSheetPath(true) : AskSheetPath(this, true, lang, suggested.empty() ? "" : suggested + ".csv");
    if (!path) return;
    bool written = false;
    if (IsXlsxPath(*path)) {
        written = WriteSignalsXlsx(device, lang, *path);
    } else {
        // All or nothing: a file that existed stays whole when the new one cannot be written.
        const std::string csv = SignalSheetCsv(device, lang);
        QSaveFile file(QFile::decodeName(path->c_str()));
        written = file.open(QIODevice::WriteOnly) &&
                  file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
                  file.commit();
    }
    if (!written && doc_.UserInterface())
        doc_.UserInterface()->ShowMessage(Pick(txt::SheetWriteFailed, lang) + QFile::decodeName(path->c_str()).toStdString(),
                                          Pick(txt::ExportSignalsCaption, lang));
}
