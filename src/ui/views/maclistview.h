// SPDX-License-Identifier: Apache-2.0
// The parameter list: one page of the current device at a time, in-place editors over the
// value column, and the row commands of the signal-name and event-log pages.
#pragma once

#include <QTableWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QValidator;

namespace corvix {
class CBrondaleDoc;
class ProtocolEngine;
struct PageSource;
struct PageTarget;
}  // namespace corvix

class CMacListView : public QTableWidget {
    Q_OBJECT
  public:
    explicit CMacListView(corvix::CBrondaleDoc& doc, QWidget* parent = nullptr);
    ~CMacListView() override;

    void SetEngine(corvix::ProtocolEngine* engine);
    void SetConnectedQuery(std::function<bool()> isConnected);

    // Page operations: dispatch by currentPage, empty the list, and the fills the link calls.
    void ShowPage();
    void ClearPage();
    void RefreshInputStates();
    void FillEventLogPage();
    void FillCpuSupervisionPage();
    // The live states are old: the status page greys its state column and shows `note` (the
    // time of the last update) over the list's lower edge; false brings both back
    // (maclistview_stale.cpp).
    void SetLiveStale(bool stale, const QString& note);
    bool LiveStale() const { return liveStale_; }
    QLabel* StaleNote() const { return staleNote_; }

    // The list under its filter box, for the window to place (maclistview_filter.cpp). The box
    // shows on the signal-name, status and event-log pages; Ctrl+F in the window focuses it.
    QWidget* MakePane(QWidget* parent);
    QLineEdit* FilterBox() const { return filterBox_; }
    // Rows stay entries of the page: the filter hides the others, so a row index is always
    // the entry the commands and editors address.
    void ApplyFilter();
    void FocusFilter();
    // Values that differ from what the device held when last read or written are drawn bold,
    // with the device's value as tooltip (maclistview_marks.cpp).
    void MarkDeviceValues();

    // The command identifiers of the list's menus.
    enum Command {
        CmdCopy = 32787,
        CmdPaste = 32788,
        CmdCut = 32789,
        CmdDelete = 32790,
        CmdAddItem = 32792,
        CmdOutputTest = 32798,
        CmdRefresh = 32799,
        CmdExportCsv = 32841,
        CmdImportSignals = 32842,
        CmdExportSignals = 32843,
    };

    // The context menu of the current page, built in uiLanguage with its graying, or null
    // when the page has none. Each action carries its command in data(). Caller owns it.
    QMenu* BuildContextMenu(QWidget* parent = nullptr);
    // Runs one list command as the menu or the keyboard would.
    void RunCommand(int command);
    // Opens the editor of currentRow as a double-click does.
    void OpenEditor();
    // Import Signal Names… and Export Signal Names… of the signal-name page
    // (maclistview_sheets.cpp): a CSV file's names become the current device's through the
    // document, or the device's names go to a CSV or XLSX file.
    void ImportSignalNames();
    void ExportSignalNames();
    // Where those two read and write (empty: a file dialog); tests answer it in place.
    std::function<std::optional<std::string>(bool save)> askSheetPath;

    int CurrentRow() const { return currentRow_; }
    int ShownPage() const { return shownPage_; }  // page code on show, 0 when empty
    QLineEdit* CellEdit() const { return cellEdit_; }
    QComboBox* CellCombo() const { return cellCombo_; }
    QPushButton* ExecuteButton() const { return executeButton_; }

  signals:
    // An edit or a row command has written into the document (the Save command may now apply).
    void DocumentChanged();
    // Export CSV… on the event-log page.
    void ExportCsvRequested();

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Gives the open cell editor the keyboard.
    void FocusEditor();
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    // What the pages read from and write to: the document's current device and live data.
    corvix::PageSource Source() const;
    corvix::PageTarget Target();
    // Rebuilds the list with the described page `kind`; false when there is nothing to fill.
    bool FillPage(int kind);
    void ResetTable(int page);
    void AddColumn(const std::string& title, int width);
    void SetCell(int row, int column, const QString& text);
    // Execute lies over the first row's fourth cell of the CPU supervision page. Inside a
    // window it is the window's child, so that screen readers find it (an item view exposes
    // only its cells) and it takes its place in the Tab order after the list.
    void ShowExecuteButton(bool shown);
    void PlaceExecuteButton();
    void PlaceEditors();
    void HideEditors();
    void OnItemChanged(int row);
    void OnEditTextChanged(const QString& text);
    void OnComboChosen(int index);
    void ExecuteOutputTest();
    // The entries the row commands work on: the selected rows the filter shows.
    std::vector<int> SelectedRows() const;
    void SetUpFilter();
    bool FilterShown() const;  // the page shown has the filter box
    bool RowMatches(int row, const QString& text) const;
    // After a command put new entries at `first` on (`count` of them): they stay shown under
    // the filter, selected, until the filter or the page changes.
    void ShowNewRows(int first, int count);
    bool HandleCtrlKey(int key);
    bool IsCtrlListKey(const QKeyEvent* event) const;
    // Puts the stale marking on the shown page (or takes it off when another page shows).
    void ApplyLiveStale();

    corvix::CBrondaleDoc& doc_;
    corvix::ProtocolEngine* engine_ = nullptr;
    std::function<bool()> isConnected_;
    QLineEdit* cellEdit_ = nullptr;
    QComboBox* cellCombo_ = nullptr;
    QPushButton* executeButton_ = nullptr;
    bool executeShown_ = false;  // the page wants it; shown while the list shows too
    QValidator* nameValidator_ = nullptr;
    int currentRow_ = -1;
    int shownPage_ = 0;
    bool filling_ = false;  // page rebuilds are not the user's item changes
    bool liveStale_ = false;
    QLabel* staleNote_ = nullptr;
    QLineEdit* filterBox_ = nullptr;
    std::vector<int> shownAnyway_;  // entries added under the filter
};
