// SPDX-License-Identifier: Apache-2.0
// The document's side of the connections file: its reading with an import, its writing with a
// save, and what the user is told when either goes wrong.
#include <cstdio>

#include "model/doc.h"
#include "model/texts.h"

namespace corvix {
namespace {

std::string Formatted(const BiText& text, int lang, const std::string& a, const std::string& b) {
    char buffer[2048];
    std::snprintf(buffer, sizeof buffer, Pick(text, lang), a.c_str(), b.c_str());
    return buffer;
}

}  // namespace

void CBrondaleDoc::LoadConnections(const std::string& path) {
    std::string reason;
    if (connections_.LoadFor(path, &reason) != ProjectConnections::Load::Corrupt || ui_ == nullptr) return;
    ui_->ShowMessage(Formatted(txt::ConnectionsCorrupt, uiLanguage, ProjectConnections::SidecarPath(path), reason),
                     txt::AppName);
}

void CBrondaleDoc::SaveConnections(const std::string& path) {
    std::string reason;
    if (connections_.SaveFor(path, *project, &reason) || ui_ == nullptr) return;
    // The project itself is saved; only the connections are not.
    ui_->ShowMessage(Formatted(txt::ConnectionsWriteFailed, uiLanguage, ProjectConnections::SidecarPath(path), reason),
                     txt::AppName);
}

}  // namespace corvix
