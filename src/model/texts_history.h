// SPDX-License-Identifier: Apache-2.0
// Catalog section: undo and redo. Included through model/texts.h.
#pragma once

namespace corvix::txt {

inline constexpr BiText MenuEdit{"编辑(&E)", "Edit"};
// The Edit menu's items; %s is what the step was (StepLabel), or they stand alone.
inline constexpr BiText MenuUndoStep{"撤销 «%s»", "Undo «%s»"};
inline constexpr BiText MenuRedoStep{"重做 «%s»", "Redo «%s»"};
inline constexpr BiText MenuUndo{"撤销", "Undo"};
inline constexpr BiText MenuRedo{"重做", "Redo"};

// What a step was, by its kind (StepKind order); %s is the device's (or project's) name.
inline constexpr BiText StepLabels[] = {
    {"修改 %s", "Change to %s"},
    {"编辑 %s 的数值", "Edit Value of %s"},
    {"选择 %s 的数值", "Choose Value of %s"},
    {"添加 %s 的信号", "Add Signal to %s"},
    {"删除 %s 的信号", "Delete Signals of %s"},
    {"剪切 %s 的信号", "Cut Signals of %s"},
    {"粘贴 %s 的信号", "Paste Signals into %s"},
    {"导入 %s 的信号名称", "Import Signal Names of %s"},
    {"添加装置 %s", "Add Device %s"},
    {"删除装置 %s", "Delete Device %s"},
    {"剪切装置 %s", "Cut Device %s"},
    {"粘贴装置 %s", "Paste Device %s"},
    {"重命名装置 %s", "Rename Device %s"},
    {"重命名工程 %s", "Rename Project %s"},
    {"修改 %s 的型号和编号", "Set Type and Serial Number of %s"},
    {"从装置读取 %s 的配置", "Read Configuration of %s"},
    {"从装置读取 %s 的事件记录", "Read Event Log of %s"},
    {"新事件清空 %s 的事件记录", "Event Log of %s Emptied by New Events"},
};

// The tooltip of a value that differs from what its device held when last read or written;
// the device's value follows.
inline constexpr BiText DeviceValueTip{"装置中的值: ", "Value in device: "};

// The filter box above the list of the signal-name, status and event-log pages.
inline constexpr BiText ListFilterHint{"筛选 (Ctrl+F)", "Filter (Ctrl+F)"};
inline constexpr BiText ListAccFilter{"筛选", "Filter"};

}  // namespace corvix::txt
