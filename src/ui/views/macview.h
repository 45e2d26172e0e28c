// SPDX-License-Identifier: Apache-2.0
// The project tree: project, devices and the pages of each device. It holds no data of its
// own; every node carries its NodeKind code and every command works on the document.
#pragma once

#include <QIcon>
#include <QTreeWidget>
#include <vector>

class QAction;
class QMenu;

namespace corvix {
class CBrondaleDoc;
class ProtocolEngine;
}  // namespace corvix

class CMacView : public QTreeWidget {
    Q_OBJECT
  public:
    enum Command {
        CmdRenameProject = 32804,
        CmdAddDevice = 32806,
        CmdPasteBefore = 32808,
        CmdReadFromDevice = 32813,
        CmdWriteToDevice = 32814,
        CmdCopy = 32815,
        CmdDelete = 32816,
        CmdRenameDevice = 32817,
        CmdPasteAfterLast = 32818,
        CmdCut = 32820,
        CmdCompareWithDevice = 32840,
        CmdGitHistory = 32841,
        CmdConnection = 32842,
    };
    // Tree images (cells of the image strip).
    enum Image { ImageDevice = 0, ImageProject = 4, ImagePage = 5 };

    explicit CMacView(corvix::CBrondaleDoc& doc, QWidget* parent = nullptr);
    ~CMacView() override;

    void SetEngine(corvix::ProtocolEngine* engine) { engine_ = engine; }
    // The operations over all devices the project node's menu offers (the window's own
    // actions, so texts, enabling and handlers stay in one place).
    void SetProjectActions(std::vector<QAction*> actions) { projectActions_ = std::move(actions); }

    // Rebuilds every node from the document in uiLanguage and selects the first device.
    void RebuildTree();

    // The context menu of the selected node in uiLanguage with its graying, or null when the
    // node has none. Each action carries its command in data(). Caller owns it.
    QMenu* BuildContextMenu(QWidget* parent = nullptr);
    // Runs one tree command on the caret node, as its menu item does.
    void RunCommand(int command);

    // Item data of a node, or -1 for none.
    static int NodeCode(const QTreeWidgetItem* item);
    // The node carrying `code`, or null.
    QTreeWidgetItem* FindNode(int code) const;

  signals:
    // A tree command has run on the document (it may have changed the project).
    void DocumentChanged();
    // Compare With Device on the device node `deviceCode`.
    void CompareRequested(int deviceCode);
    // History… on the device node `deviceCode`.
    void GitHistoryRequested(int deviceCode);
    // Connection… on the device node `deviceCode`.
    void ConnectionRequested(int deviceCode);
    // The project node's menu is about to offer the project actions: bring them up to date.
    void ProjectMenuOpening();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void ForgetSelection();
    void OnSelectionChanged();
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& text, int code, int image);
    int CaretCode() const;
    void ShowContextMenu(const QPoint& globalPos);

    corvix::CBrondaleDoc& doc_;
    corvix::ProtocolEngine* engine_ = nullptr;
    std::vector<QIcon> images_;
    std::vector<QAction*> projectActions_;
    bool rebuilding_ = false;
};
