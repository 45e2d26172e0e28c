// SPDX-License-Identifier: Apache-2.0
#include "ui/report/report_pdf.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QSaveFile>
#include <QTextDocument>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace corvix::ui {
namespace {

constexpr int kDotsPerInch = 300;
constexpr qreal kMarginMm = 20;

// Chinese first: its Latin letters are fine, while a Latin font has no Chinese glyphs.
const QStringList kFontFamilies = {"Noto Sans CJK SC",    "Noto Sans SC", "Source Han Sans SC",
                                   "WenQuanYi Micro Hei", "Noto Sans",    "DejaVu Sans"};

// ---- text that can be copied and searched ----
//
// A PDF holds glyphs and, per font, a ToUnicode map from each glyph back to its character.
// Qt fills that map with the lowest code point the font draws with the glyph. CJK fonts draw
// a Kangxi radical and the ideograph it resembles with one glyph, so the map reads U+2F2F for
// 工 and text copied or searched in the PDF would hold radicals. The report never writes
// radicals itself: where a radical shares its glyph with a character the report holds, the
// map is pointed at that character.

using CodeMap = std::map<char16_t, char16_t>;

constexpr char16_t kRadicalsFirst = 0x2E80;  // CJK Radicals Supplement and Kangxi Radicals
constexpr char16_t kRadicalsLast = 0x2FDF;

CodeMap RadicalReplacements(const QString& text, const QFont& font) {
    CodeMap replacements;
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::SimplifiedChinese);
    if (!raw.isValid()) return replacements;
    std::map<quint32, char16_t> used;  // glyph -> a character of the text drawn with it
    QString ideographs;
    for (QChar c : text)
        if (c.unicode() >= 0x3400 && !c.isSurrogate() && !ideographs.contains(c)) ideographs += c;
    const QList<quint32> usedGlyphs = raw.glyphIndexesForString(ideographs);
    for (qsizetype i = 0; i < usedGlyphs.size() && i < ideographs.size(); ++i)
        if (usedGlyphs[i] != 0) used.emplace(usedGlyphs[i], ideographs[i].unicode());
    QString radicals;
    for (char16_t c = kRadicalsFirst; c <= kRadicalsLast; ++c) radicals += QChar(c);
    const QList<quint32> radicalGlyphs = raw.glyphIndexesForString(radicals);
    for (qsizetype i = 0; i < radicalGlyphs.size() && i < radicals.size(); ++i) {
        const auto at = radicalGlyphs[i] != 0 ? used.find(radicalGlyphs[i]) : used.end();
        if (at != used.end()) replacements.emplace(radicals[i].unicode(), at->second);
    }
    return replacements;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Rewrites the four-digit hex string at `at` ("<XXXX>") when its code is replaced; the
// length stays, so the file's offsets do.
void RewriteCode(QByteArray& pdf, qsizetype at, const CodeMap& replacements) {
    if (at + 5 >= pdf.size() || pdf[at] != '<' || pdf[at + 5] != '>') return;
    int code = 0;
    for (int k = 1; k <= 4; ++k) {
        const int digit = HexDigit(pdf[at + k]);
        if (digit < 0) return;
        code = code * 16 + digit;
    }
    const auto found = replacements.find(static_cast<char16_t>(code));
    if (found == replacements.end()) return;
    const QByteArray hex = QByteArray::number(found->second, 16).toUpper().rightJustified(4, '0');
    for (int k = 0; k < 4; ++k) pdf[at + 1 + k] = hex[k];
}

// The positions of the hex strings of one section, in order, with the brackets that group
// them (-1 '[' and -2 ']').
std::vector<qsizetype> SectionTokens(const QByteArray& pdf, qsizetype from, qsizetype to) {
    std::vector<qsizetype> tokens;
    for (qsizetype i = from; i < to; ++i) {
        if (pdf[i] == '[')
            tokens.push_back(-1);
        else if (pdf[i] == ']')
            tokens.push_back(-2);
        else if (pdf[i] == '<' && i + 1 < to && pdf[i + 1] != '<')
            tokens.push_back(i);
    }
    return tokens;
}

// Points the targets of every ToUnicode map (bfchar and bfrange sections) at `replacements`.
// Only the target codes change, never the glyph codes beside them.
void RewriteToUnicode(QByteArray& pdf, const CodeMap& replacements) {
    if (replacements.empty()) return;
    for (const bool ranges : {false, true}) {
        const QByteArray begin = ranges ? "beginbfrange" : "beginbfchar";
        const QByteArray end = ranges ? "endbfrange" : "endbfchar";
        for (qsizetype start = pdf.indexOf(begin); start >= 0; start = pdf.indexOf(begin, start + 1)) {
            const qsizetype stop = pdf.indexOf(end, start);
            if (stop < 0) break;
            const std::vector<qsizetype> t = SectionTokens(pdf, start + begin.size(), stop);
            std::size_t i = 0;
            while (i < t.size()) {
                if (!ranges) {  // <glyph> <target>
                    if (i + 1 < t.size() && t[i] >= 0 && t[i + 1] >= 0)
                        RewriteCode(pdf, t[i + 1], replacements);
                    i += 2;
                    continue;
                }
                // <first> <last> <target> (a run of consecutive targets) or <first> <last> [targets]
                if (i + 2 >= t.size() || t[i] < 0 || t[i + 1] < 0) break;
                if (t[i + 2] == -1) {
                    std::size_t k = i + 3;
                    for (; k < t.size() && t[k] != -2; ++k)
                        if (t[k] >= 0) RewriteCode(pdf, t[k], replacements);
                    i = k + 1;
                } else {
                    // A run of several glyphs counts up from its target: only a single one is rewritten.
                    if (pdf.mid(t[i], 6) == pdf.mid(t[i + 1], 6)) RewriteCode(pdf, t[i + 2], replacements);
                    i += 3;
                }
            }
            start = stop;
        }
    }
}

}  // namespace

bool WritePdf(const PdfDocument& document, const std::string& path) {
    QSaveFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                     QPageLayout::Millimeter));
    writer.setResolution(kDotsPerInch);
    writer.setTitle(QString::fromStdString(document.title));
    writer.setCreator("Corvix");

    QFont font;
    font.setFamilies(kFontFamilies);
    font.setPointSizeF(10);
    // Plain glyphs from the font's character map: shaped runs may pick glyphs (digits after
    // Latin letters) that the PDF's text map cannot name, and they would vanish from copied text.
    font.setStyleStrategy(QFont::PreferNoShaping);
    const QRectF paper = writer.pageLayout().fullRectPixels(kDotsPerInch);
    const qreal margin = kMarginMm / 25.4 * kDotsPerInch;
    const QRectF body = paper.adjusted(margin, margin, -margin, -margin);

    // Every part is laid out before printing, so each page can say how many there are.
    std::vector<std::unique_ptr<QTextDocument>> parts;
    int pages = 0;
    QString text;
    for (const std::string& html : document.htmlParts) {
        auto part = std::make_unique<QTextDocument>();
        part->documentLayout()->setPaintDevice(&writer);
        part->setDefaultFont(font);
        part->setHtml(QString::fromUtf8(html));
        part->setPageSize(body.size());
        pages += part->pageCount();
        text += part->toPlainText();
        parts.push_back(std::move(part));
    }

    QPainter painter;
    if (!painter.begin(&writer)) return false;
    QFont footer = font;
    footer.setPointSizeF(8);
    int page = 0;
    for (const auto& part : parts) {
        for (int i = 0; i < part->pageCount(); ++i) {
            if (page++ > 0) writer.newPage();
            const QRectF view(0, i * body.height(), body.width(), body.height());
            painter.save();
            painter.translate(body.left(), body.top() - view.top());
            painter.setClipRect(view);
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = view;
            context.palette.setColor(QPalette::Text, Qt::black);
            part->documentLayout()->draw(&painter, context);
            painter.restore();
            painter.setFont(footer);
            painter.drawText(QRectF(body.left(), body.bottom(), body.width(), margin / 2),
                             Qt::AlignRight | Qt::AlignVCenter, QString("%1 / %2").arg(page).arg(pages));
        }
    }
    if (!painter.end()) return false;
    RewriteToUnicode(pdf, RadicalReplacements(text, font));
    if (file.write(pdf) != pdf.size() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool WritePdfHeadless(const PdfDocument& document, const std::string& path) {
    if (QGuiApplication::instance() != nullptr) return WritePdf(document, path);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Notes of the platform (a missing runtime folder and the like) are no concern of a
    // program that only writes a file; real failures still reach stderr.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", qPrintable(message));
        });
    int argc = 1;
    char name[] = "corvix";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    const bool written = WritePdf(document, path);
    qInstallMessageHandler(previous);
    return written;
}

bool WriteReportPdf(const Report& report, const std::string& path) {
    return WritePdf(PdfDocumentOf(report), path);
}

bool WriteReportPdfHeadless(const Report& report, const std::string& path) {
    return WritePdfHeadless(PdfDocumentOf(report), path);
}

}  // namespace corvix::ui
