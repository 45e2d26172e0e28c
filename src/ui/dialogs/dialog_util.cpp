// SPDX-License-Identifier: Apache-2.0
#include "ui/dialogs/dialog_util.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPushButton>
#include <climits>

namespace corvix::ui {

bool PlainTextBox::canInsertFromMimeData(const QMimeData* source) const {
    return source != nullptr && source->hasText();
}

void PlainTextBox::insertFromMimeData(const QMimeData* source) {
    if (canInsertFromMimeData(source)) QPlainTextEdit::insertFromMimeData(source);
}

void AddOkCancel(QDialog* dialog, QHBoxLayout* row, int endStretch, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton(dialog);
    cancel = new QPushButton(dialog);
    ok->setDefault(true);
    const QSize buttonSize = DialogUnits(dialog, 50, 14);
    ok->setMinimumSize(buttonSize);
    cancel->setMinimumSize(buttonSize);
    row->addWidget(ok);
    row->addStretch(1);
    row->addWidget(cancel);
    row->addStretch(endStretch);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}

int LeadingInt(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto isBlank = [](QChar c) {
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
    };
    while (i < n && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<int>(value);
}

QString ToBoxText(const std::string& textUtf8) {
    QString text = QString::fromUtf8(textUtf8.data(), static_cast<qsizetype>(textUtf8.size()));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

std::string FromBoxText(const QString& boxText) {
    QString text = boxText;
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text.toStdString();
}

}  // namespace corvix::ui
