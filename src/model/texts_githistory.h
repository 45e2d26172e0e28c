// SPDX-License-Identifier: Apache-2.0
// Catalog section: the settings history kept in git (recording, the History window,
// corvix-cli history and project check). Not the undo history (texts_history.h).
#pragma once

#include "model/texts.h"

namespace corvix::txt {

// printf format with the reason (English, from the repository).
inline constexpr BiText GitHistoryNotRecorded{"设置历史未能记录（操作本身已完成）：%s",
                                              "The settings history could not be recorded (the operation itself "
                                              "succeeded): %s"};
// What was recorded, as the history lists it.
inline constexpr BiText GitOpRead{"读取", "read"};
inline constexpr BiText GitOpWrite{"写入", "write"};
inline constexpr BiText GitOpSave{"保存", "save"};
inline constexpr BiText GitOpCheck{"核对", "check"};
inline constexpr BiText GitOpRestore{"恢复", "restore"};
// Columns of the list of states.
inline constexpr BiText GitColRev{"版本", "Revision"};
inline constexpr BiText GitColTime{"时间", "Time"};
inline constexpr BiText GitColOperation{"操作", "Operation"};
inline constexpr BiText GitColUser{"用户", "User"};
inline constexpr BiText GitColPort{"端口", "Port"};
inline constexpr BiText GitColChanged{"改变的字段", "Changed fields"};
inline constexpr BiText GitColBaseline{"基线", "Baseline"};
inline constexpr BiText GitNoStates{"此装置还没有记录的状态", "No state of this device has been recorded"};
// printf format with the revision.
inline constexpr BiText GitBaselineIs{"基线：%s", "Baseline: %s"};
inline constexpr BiText GitBaselineSet{"已设为基线：%s", "Marked as baseline: %s"};
inline constexpr BiText GitNoBaseline{"此装置没有基线", "This device has no baseline"};
inline constexpr BiText GitProjectNow{"当前工程", "Project now"};
// project check, per device: printf format with the 0-based slot and the device's name.
inline constexpr BiText GitCheckMatch{"装置 %d（%s）：与基线一致", "device %d (%s): matches its baseline"};
inline constexpr BiText GitCheckDrift{"装置 %d（%s）：与基线不同", "device %d (%s): differs from its baseline"};
inline constexpr BiText GitCheckUnread{"装置 %d（%s）：未能读取", "device %d (%s): could not be read"};
inline constexpr BiText GitCheckNoBaseline{"装置 %d（%s）：没有基线", "device %d (%s): has no baseline"};
inline constexpr BiText GitColBaselineValue{"基线值", "Baseline value"};
inline constexpr BiText GitColDeviceValue{"装置值", "Device value"};
// The History window.
inline constexpr BiText GitMenuHistory{"历史记录...", "History..."};
inline constexpr BiText GitWindowTitle{"设置历史 - %s", "Settings History - %s"};
inline constexpr BiText GitRestore{"恢复到工程", "Restore into Project"};
inline constexpr BiText GitMarkBaseline{"设为基线", "Mark as Baseline"};
inline constexpr BiText GitCompareWithPrevious{"与前一状态比较", "Compare with Previous"};
inline constexpr BiText GitCompareWithProject{"与当前工程比较", "Compare with Project"};
inline constexpr BiText GitClose{"关闭", "Close"};
// The compare window on a state and the state recorded before it.
inline constexpr BiText GitPreviousCaption{"与前一状态比较", "Compare with Previous State"};
// The compare window on a state and the project now.
inline constexpr BiText GitUseState{"采用该状态的值", "Use state value"};
inline constexpr BiText GitUseAllState{"全部采用该状态的值", "Use all state values"};
inline constexpr BiText GitUseSelectedState{"所选行采用该状态的值", "Use state value for selected rows"};
inline constexpr BiText GitUseSelectedStateHint{
    "将每个所选行的该状态的值写入工程；在表格中按空格键或回车键效果相同",
    "Takes the state value of each selected row into the project; Space or Enter on the table does the same"};
inline constexpr BiText GitStateChooser{"记录的状态：", "Recorded state:"};
inline constexpr BiText GitColPrevious{"前一状态的值", "Previous state"};
inline constexpr BiText GitColState{"该状态的值", "This state"};
inline constexpr BiText GitNoPreviousState{"这是最早记录的状态，之前没有状态", "This is the oldest recorded state: none came before it"};

// History Settings... (Project menu).
inline constexpr BiText GitSettingsMenu{"设置历史选项…", "History Settings…"};
inline constexpr BiText GitSettingsTitle{"设置历史选项", "Settings History Options"};
inline constexpr BiText GitSettingsRecord{"记录每次读取、写入和保存", "Record every read, write and save"};
inline constexpr BiText GitSettingsFolder{"历史文件夹：", "History folder:"};
inline constexpr BiText GitSettingsBrowse{"浏览...", "Browse..."};
inline constexpr BiText GitSettingsName{"作者姓名：", "Author name:"};
inline constexpr BiText GitSettingsEmail{"作者电子邮件：", "Author e-mail:"};
inline constexpr BiText GitSettingsOsUser{"空：操作系统用户", "Empty: the OS user"};
// printf format with the folder.
inline constexpr BiText GitSettingsDefault{"空：%s", "Empty: %s"};
inline constexpr BiText GitSettingsEnvWins{"CORVIX_HISTORY 已设置，优先使用：%s", "CORVIX_HISTORY is set and used instead: %s"};

}  // namespace corvix::txt
