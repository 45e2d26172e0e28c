#include "ui/dialogs/comminfownd.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

#include "model/texts.h"
#include "ui/dialogs/dialog_util.h"

CCommInfoWnd::CCommInfoWnd(QWidget* parent) : QDockWidget(parent) {
    setObjectName("commBar");
    setWindowTitle(QString::fromUtf8(corvix::txt::CommBarCaption));
    setAllowedAreas(Qt::AllDockWidgetAreas);
    text_ = new corvix::ui::PlainTextBox(this);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setUndoRedoEnabled(false);  // the log grows for the whole run; keep no undo copy
    // The box shows its text in capitals; the text itself stays as written.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setCapitalization(QFont::AllUppercase);
    text_->setFont(font);
    text_->setAccessibleName(QString::fromUtf8(corvix::Pick(corvix::txt::AccCommLog, corvix::LangChinese)) +
                             " / " +
                             QString::fromUtf8(corvix::Pick(corvix::txt::AccCommLog, corvix::LangEnglish)));
    setWidget(text_);
}

void CCommInfoWnd::AppendEntry(const std::string& entry) {
    QString piece = QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size()));
    piece.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QTextCursor cursor(text_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(piece);
    // Keep the last line in view.
    QScrollBar* bar = text_->verticalScrollBar();
    bar->setValue(bar->maximum());
}

QString CCommInfoWnd::Text() const { return text_->toPlainText(); }
