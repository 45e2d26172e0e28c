// SPDX-License-Identifier: Apache-2.0
// The settings report as PDF: A4, through Qt's own PDF writer, with a CJK font so Chinese
// names render. The header is free of Qt so that a program without a GUI (the PDF writer
// program the command line runs) can write PDF without taking in anything else of Qt.
#pragma once

#include <string>

#include "present/report.h"
#include "ui/report/pdf_document.h"

namespace corvix::ui {

// Writes `document` as a PDF file at `path` (replaced only once the whole file is written).
// Needs a running QGuiApplication. False when the file cannot be written.
bool WritePdf(const PdfDocument& document, const std::string& path);
// The same for a program that runs no Qt application: one is created for the call, on the
// offscreen platform unless the caller chose a platform (QT_QPA_PLATFORM), so no display is
// needed.
bool WritePdfHeadless(const PdfDocument& document, const std::string& path);

// The same for a report.
bool WriteReportPdf(const Report& report, const std::string& path);

bool WriteReportPdfHeadless(const Report& report, const std::string& path);

}  // namespace corvix::ui
