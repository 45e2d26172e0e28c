// SPDX-License-Identifier: Apache-2.0
// The user guide: a tree of topics on the left and the selected topic's text on the right,
// including the identity and versions of the current device and of the program.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

class QPlainTextEdit;
class QTreeWidget;

enum GuideTopic : int {
    GuideNone = 0,
    GuideDeviceInfo = 100,
    GuideDeviceOption = 101,
    GuideProjectOption = 102,
    GuideViewOption = 103
};

class CSYSMDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CSYSMDlg(QWidget* parent = nullptr);

    // Handed in by the creator before the dialog opens (UTF-8); taken once, at opening.
    int language = 0;
    std::string deviceType;
    std::string serialNumber;
    std::string firmwareVersion;
    std::string programVersion;
    // The text of the selected topic ("\r\n" line ends).
    std::string guideText;

    // The text of a topic in a language; anything but the four topics gives a single blank.
    static std::string BuildGuideText(int topic, int language, const std::string& deviceType,
                                      const std::string& serialNumber, const std::string& firmwareVersion,
                                      const std::string& programVersion);
    // "%02d.%02d.%02d" of a version's three numbers.
    static std::string FormatVersion(const int8_t version[3]);

    QTreeWidget* Tree() const { return tree_; }
    QPlainTextEdit* TextBox() const { return text_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Initialise();
    void OnSelectionChanged();

    bool initialised_ = false;
    QTreeWidget* tree_;
    QPlainTextEdit* text_;
};
