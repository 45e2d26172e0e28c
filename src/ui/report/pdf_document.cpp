// SPDX-License-Identifier: Apache-2.0
#include "ui/report/pdf_document.h"

#include <cstdint>
#include <nlohmann/json.hpp>

namespace corvix::ui {

PdfDocument PdfDocumentOf(const Report& report) {
    PdfDocument document;
    document.title = report.title;
    if (!report.facts.empty() && !report.facts[0].value.empty()) document.title += " - " + report.facts[0].value;
    document.htmlParts = ReportHtmlParts(report);
    return document;
}

std::string EncodePdfDocument(const PdfDocument& document) {
    const nlohmann::json j = {{"title", document.title}, {"parts", document.htmlParts}};
    const std::vector<std::uint8_t> bytes = nlohmann::json::to_cbor(j);
    return std::string(bytes.begin(), bytes.end());
}

std::optional<PdfDocument> DecodePdfDocument(std::string_view bytes) {
    // No exceptions: a malformed input gives a discarded value.
    const nlohmann::json j = nlohmann::json::from_cbor(bytes.begin(), bytes.end(), true, false);
    if (!j.is_object() || j.size() != 2) return std::nullopt;
    const auto title = j.find("title");
    const auto parts = j.find("parts");
    if (title == j.end() || !title->is_string() || parts == j.end() || !parts->is_array()) return std::nullopt;
    PdfDocument document;
    document.title = title->get<std::string>();
    for (const nlohmann::json& part : *parts) {
        if (!part.is_string()) return std::nullopt;
        document.htmlParts.push_back(part.get<std::string>());
    }
    return document;
}

}  // namespace corvix::ui
