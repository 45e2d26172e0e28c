// The settings report as PDF: A4, through Qt's own PDF writer, with a CJK font so Chinese
// names render. The header is free of Qt so that a program without a GUI (the command line)
// can write PDF without taking in anything else of Qt.
#pragma once

#include <string>

#include "present/report.h"

namespace corvix::ui {

// Writes `report` as a PDF file at `path` (replaced only once the whole file is written).
// Needs a running QGuiApplication. False when the file cannot be written.
bool WriteReportPdf(const Report& report, const std::string& path);

// The same for a program that runs no Qt application: one is created for the call, on the
// offscreen platform unless the caller chose a platform (QT_QPA_PLATFORM), so no display is
// needed.
bool WriteReportPdfHeadless(const Report& report, const std::string& path);

}  // namespace corvix::ui
