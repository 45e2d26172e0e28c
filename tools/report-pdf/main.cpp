// SPDX-License-Identifier: Apache-2.0
// corvix-report-pdf OUT: writes the PDF document read from standard input (as
// EncodePdfDocument gives it) to OUT. corvix-cli runs it for `project report --pdf`, so that
// only this program loads Qt. Exit codes: 0 written, 2 usage or input that is no document,
// 3 OUT could not be written. It says nothing on success; corvix-cli words the failures.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "ui/report/pdf_document.h"
#include "ui/report/report_pdf.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFile = 3;

bool ReadAll(int fd, std::string& bytes) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0)
            return true;
        else if (errno != EINTR)
            return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fputs("usage: corvix-report-pdf OUT < document\n"
                   "Run by corvix-cli project report --pdf; reads the report from standard input.\n",
                   stderr);
        return kExitUsage;
    }
    std::string bytes;
    if (!ReadAll(STDIN_FILENO, bytes)) {
        std::perror("corvix-report-pdf: standard input");
        return kExitUsage;
    }
    const auto document = corvix::ui::DecodePdfDocument(bytes);
    if (!document) {
        std::fputs("corvix-report-pdf: standard input holds no report document\n", stderr);
        return kExitUsage;
    }
    return corvix::ui::WritePdfHeadless(*document, argv[1]) ? 0 : kExitFile;
}
