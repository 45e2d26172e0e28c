// SPDX-License-Identifier: Apache-2.0
// What the PDF writer draws, as plain data: the document's title and the HTML parts that each
// begin a printed page. The command line builds it from the report without any of Qt and
// hands it, encoded, to the PDF writer program, so Qt is loaded only when a PDF is written.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "present/report.h"

namespace corvix::ui {

struct PdfDocument {
    std::string title;                   // the PDF's title entry
    std::vector<std::string> htmlParts;  // each begins a page, see ReportHtmlParts
};

PdfDocument PdfDocumentOf(const Report& report);

// A self-delimiting binary form (CBOR): texts pass byte for byte, whatever they hold.
std::string EncodePdfDocument(const PdfDocument& document);
// Nothing for bytes that are not an encoded document.
std::optional<PdfDocument> DecodePdfDocument(std::string_view bytes);

}  // namespace corvix::ui
