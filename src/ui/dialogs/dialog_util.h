// SPDX-License-Identifier: Apache-2.0
// Small helpers shared by the dialogs: template sizes in dialog units, texts from the
// catalog, the OK/Cancel button row, the decimal reading the dialogs' number boxes use, and
// the multi-line text box of the windows.
#pragma once

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QSize>
#include <QString>
#include <QWidget>
#include <string>

#include "model/texts.h"

class QDialog;
class QHBoxLayout;
class QPushButton;

namespace corvix::ui {

// A size given in dialog units, in pixels for the widget's font (a horizontal unit is a
// quarter of the average character width, a vertical unit an eighth of the line height).
inline QSize DialogUnits(const QWidget* widget, int width, int height) {
    const QFontMetrics metrics(widget->font());
    return QSize(width * metrics.averageCharWidth() / 4, height * metrics.height() / 8);
}

inline QString Text(const BiText& text, int language) { return QString::fromUtf8(Pick(text, language)); }

// Creates the dialog's OK and Cancel buttons and puts them in `row` after whatever leads it:
// OK, a stretch, Cancel, then a closing stretch of `endStretch`. OK is the default; both
// have the template's 50 x 14 size; OK accepts the dialog and Cancel rejects it. Called after
// the dialog's other widgets, so the buttons come last in the tab order.
void AddOkCancel(QDialog* dialog, QHBoxLayout* row, int endStretch, QPushButton*& ok, QPushButton*& cancel);

// Decimal value of a typed text: leading blanks are skipped, an optional sign and the digits
// after it are taken, reading stops at the first other character; no digits give 0. Values
// beyond the range of int stop at its limits.
int LeadingInt(const QString& text);

// The multi-line text box of the communication bar, the event window and the user guide.
// Paste takes text only: Qt 6.4 crashes when it pastes a clipboard that offers no text at all,
// which is what the clipboard looks like when no program owns it.
class PlainTextBox : public QPlainTextEdit {
  public:
    using QPlainTextEdit::QPlainTextEdit;

  protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};

// "\r\n" line ends of the program's texts to the "\n" of a text box, and back.
QString ToBoxText(const std::string& textUtf8);
std::string FromBoxText(const QString& boxText);

}  // namespace corvix::ui
