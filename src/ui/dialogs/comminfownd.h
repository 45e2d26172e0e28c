// The communication bar: a bar docked at the bottom of the main window whose text box holds
// every frame written to and every block read from the serial port, as hexadecimal text.
#pragma once

#include <QDockWidget>
#include <string>

class QPlainTextEdit;

class CCommInfoWnd : public QDockWidget {
    Q_OBJECT
  public:
    explicit CCommInfoWnd(QWidget* parent = nullptr);

    // Appends one entry ("\r\n" line ends) at the end of the log and scrolls to its last line.
    // Costs time in proportion to the entry, not to the log.
    void AppendEntry(const std::string& entry);

    // The whole log with "\n" line ends.
    QString Text() const;
    QPlainTextEdit* TextBox() const { return text_; }

  private:
    QPlainTextEdit* text_;
};
