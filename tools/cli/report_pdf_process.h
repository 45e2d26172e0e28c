// SPDX-License-Identifier: Apache-2.0
// Runs the PDF writer program (corvix-report-pdf) for `project report --pdf`: the command line
// itself links no Qt, so every other command starts without loading it.
#pragma once

#include <string>
#include <vector>

namespace corvix::cli {

// Where the writer is looked for, in order: beside this program (the build folder), then
// the installed helper folder relative to it (bin/../libexec/corvix).
std::vector<std::string> PdfWriterCandidates();

struct PdfWriterRun {
    enum Outcome { Written, WriteFailed, Missing, Failed } outcome = Failed;
    int status = 0;  // Failed: its exit code, or 128 + the signal that ended it
};

// Hands `encodedDocument` to the writer on its standard input and waits for it to write `out`.
PdfWriterRun RunPdfWriter(const std::string& encodedDocument, const std::string& out);

}  // namespace corvix::cli
