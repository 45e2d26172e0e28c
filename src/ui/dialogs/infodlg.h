// The event window: a modeless window whose text box lists the events the device reported.
// It keeps no state of the frame's: its buttons only signal, and the frame applies the
// effects (shown flag, automatic showing). It destroys itself when closed (Esc, close box).
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

class CInfoDlg : public QDialog {
    Q_OBJECT
  public:
    // `noEject`: the initial check mark of "No Eject" (the inverse of automatic showing).
    CInfoDlg(int language, bool noEject, QWidget* parent = nullptr);

    const int language;

    // The whole text, UTF-8 with "\r\n" line ends.
    std::string Text() const;
    void SetText(const std::string& textUtf8);
    // Appends at the end of the text, then keeps the last line in view.
    void AppendText(const std::string& textUtf8);
    // True (once) when the text changed other than by AppendText since the last call, and
    // for a new window: a copy kept of the text must then be taken again.
    bool TakeChanged();
    void ScrollToEnd();

    QPlainTextEdit* TextBox() const { return text_; }
    QCheckBox* NoEjectBox() const { return noEject_; }
    QPushButton* HideButton() const { return hide_; }
    QPushButton* ClearButton() const { return clear_; }
    QPushButton* ExportButton() const { return export_; }

    // Esc closes (and destroys) the window.
    void reject() override;

  signals:
    void HideClicked();
    void NoEjectClicked();
    void ExportCsvClicked();
    void Cleared();  // Clear emptied the text
    void Closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool changed_ = true;
    bool appending_ = false;
    QPlainTextEdit* text_;
    QCheckBox* noEject_;
    QPushButton* hide_;
    QPushButton* clear_;
    QPushButton* export_;
};
