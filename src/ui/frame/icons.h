// SPDX-License-Identifier: Apache-2.0
// The program's own images: tool-bar buttons and the tree's image strip, drawn in code, and
// the application icon.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <vector>

namespace corvix::ui {

enum class ToolImage { Import, Save, SerialPort, Connect, Disconnect, Undo, Redo };

QIcon ToolIcon(ToolImage image);
// Six 16x16 cells side by side (96x16): 0 two grey computers (device), 1 two linked
// computers, 2 one computer, 3 and 4 an open folder (4 is the project), 5 a folder with a
// sheet of paper (pages and the Configuration folder).
QPixmap TreeImageStrip();
// The strip cut into its six cells.
std::vector<QIcon> TreeImages();
// The application icon at every size the desktop has it (16 to 256 px).
QIcon AppIcon();

}  // namespace corvix::ui
