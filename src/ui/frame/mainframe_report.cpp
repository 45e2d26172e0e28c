// SPDX-License-Identifier: Apache-2.0
// Project > Export Report: the project's settings report, written as HTML, PDF or an XLSX
// workbook in the interface language. The report itself is built in the core; this only asks for the file.
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <thread>

#include "model/gbk.h"
#include "model/texts.h"
#include "present/report.h"
#include "report/report_xlsx.h"
#include "ui/frame/mainframe.h"
#include "ui/report/report_pdf.h"

using namespace corvix;

namespace {

// The save dialog: HTML, PDF or XLSX by the chosen filter; a name typed without any of their
// suffixes gets the filter's.
std::optional<std::string> AskReportPath(CMainFrame& frame) {
    const int lang = frame.Doc().Language();
    const QString html = txt::ReportFilterHtml;
    const QString pdf = txt::ReportFilterPdf;
    const QString xlsx = txt::ReportFilterXlsx;
    QFileDialog dialog(&frame, QString::fromUtf8(Pick(txt::ReportDialogCaption, lang)));
    dialog.setNameFilters({html, pdf, xlsx});
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix("html");
    // Another filter also changes the suffix of the name in the box, so the name and the
    // filter never ask for different formats.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, pdf, xlsx](const QString& filter) {
        const QString suffix = filter == pdf ? "pdf" : filter == xlsx ? "xlsx" : "html";
        dialog.setDefaultSuffix(suffix);
        const QFileInfo typed(dialog.selectedFiles().value(0));
        const QString old = typed.suffix().toLower();
        if (old == "pdf" || old == "html" || old == "htm" || old == "xlsx")
            dialog.selectFile(typed.completeBaseName() + "." + suffix);
    });
    // Beside the project file, named after the project.
    const std::string& projectPath = frame.Doc().ProjectPath();
    if (!projectPath.empty())
        dialog.setDirectory(QFileInfo(QFile::decodeName(projectPath.c_str())).absolutePath());
    QString name =
        QString::fromStdString(GbkToUtf8(FieldText(frame.Doc().Project().projectName, ProjectNameSize)));
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (!name.trimmed().isEmpty()) dialog.selectFile(name + ".html");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    QString path = dialog.selectedFiles().first();
    const ReportFormat chosen = dialog.selectedNameFilter() == pdf ? ReportFormat::Pdf : ReportFormat::Html;
    const std::string encoded = QFile::encodeName(path).toStdString();
    if (IsXlsxPath(encoded)) return encoded;
    if (dialog.selectedNameFilter() == xlsx && ReportFormatOf(encoded, ReportFormat::Pdf) != ReportFormatOf(encoded, ReportFormat::Html))
        return encoded + ".xlsx";
    // A name that already says .htm, .html, .pdf or .xlsx keeps it; any other gets the filter's.
    if (ReportFormatOf(encoded, ReportFormat::Pdf) != ReportFormatOf(encoded, ReportFormat::Html))
        return encoded + (chosen == ReportFormat::Pdf ? ".pdf" : ".html");
    return encoded;
}

// A long PDF takes a while to lay out: it is written on a thread of its own while a modal box
// says so, so the window keeps painting and the link keeps its timers. The report is a copy;
// nothing the window does meanwhile reaches it.
bool WritePdfAside(CMainFrame& frame, const Report& report, const std::string& path, int lang) {
    QProgressDialog box(QString::fromUtf8(Pick(txt::ReportWriting, lang)), QString(), 0, 0, &frame);
    box.setWindowTitle(txt::AppName);
    box.setWindowModality(Qt::ApplicationModal);
    box.setCancelButton(nullptr);
    box.setMinimumDuration(0);
    bool written = false;
    std::thread writer([&box, &report, &path, &written] {
        written = ui::WriteReportPdf(report, path);
        QMetaObject::invokeMethod(
            &box, [&box] { box.done(QDialog::Accepted); }, Qt::QueuedConnection);
    });
    box.exec();
    writer.join();  // also when the box was closed early
    return written;
}

}  // namespace

void CMainFrame::OnExportReport() {
    const int lang = doc_.Language();
    if (!doc_.ProjectOpen()) {
        ui_.ShowMessage(Pick(txt::ReportNoProject, lang), txt::AppName);
        return;
    }
    const std::optional<std::string> path = askReportPath ? askReportPath() : AskReportPath(*this);
    if (!path) return;
    ReportRequest request;
    request.project = &doc_.Project();
    request.projectPath = QFile::decodeName(doc_.ProjectPath().c_str()).toStdString();
    request.language = lang;
    request.dateOrder = doc_.DateOrder();
    request.clock = localClock;
    const Report report = BuildReport(request);
    ui_.SetBusy(true);
    const bool written = IsXlsxPath(*path) ? WriteReportXlsx(report, *path)
                         : ReportFormatOf(*path, ReportFormat::Html) == ReportFormat::Pdf
                             ? WritePdfAside(*this, report, *path, lang)
                             : WriteReportFile(*path, ReportHtml(report));
    ui_.SetBusy(false);
    if (!written)
        ui_.ShowMessage(Pick(txt::ReportWriteFailed, lang) + QFile::decodeName(path->c_str()).toStdString(),
                        txt::AppName);
}
