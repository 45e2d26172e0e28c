// SPDX-License-Identifier: Apache-2.0
// Catalog section: ui texts (main window, project tree, name dialog, communication bar).
// Included through model/texts.h.
#pragma once

namespace corvix::txt {

// ---- main menu ----
inline constexpr BiText MenuDevice{"系统", "Device"};
inline constexpr BiText MenuPcSerialPort{"通讯设置", "PC Serial Port"};
inline constexpr BiText MenuConnect{"串口连接", "Connect with Device"};
inline constexpr BiText MenuDisconnect{"串口断开", "Disconnect with Device"};
inline constexpr BiText MenuInternalClock{"时钟设置", "Internal Clock"};
inline constexpr BiText MenuExit{"退出", "Exit"};
inline constexpr BiText MenuProject{"工程", "Project"};
inline constexpr BiText MenuNewProject{"创建工程", "New Project"};
inline constexpr BiText MenuImportProject{"工程导入", "Import Project"};
inline constexpr BiText MenuExportProject{"工程导出", "Export Project "};
inline constexpr BiText MenuSaveProject{"工程保存", "Save Project"};
inline constexpr BiText MenuView{"视图(&V)", "View"};
inline constexpr BiText MenuToolBar{"工具栏(&T)", "Tool Bar"};
inline constexpr BiText MenuStatusBar{"状态栏(&S)", "Status Bar"};
inline constexpr BiText MenuConnectionBar{"通讯栏", "PC Connection Bar"};
inline constexpr BiText MenuEventWindow{"信息显示", "Event Pop-up Window"};
// Names the language it switches to.
inline constexpr BiText MenuLanguage{"Enlish", "中文"};
inline constexpr BiText MenuHelp{"帮助(&H)", "Help"};
inline constexpr BiText MenuContent{"使用说明", "Content"};

// ---- communication bar (same caption in both languages) ----
inline constexpr const char* CommBarCaption = "通讯栏";

// ---- project tree ----
inline constexpr BiText NodeConfiguration{"系统配置", "Configuration"};
inline constexpr BiText NodeDeviceAddress{"装置地址", "Device Address"};
inline constexpr BiText NodeTimeSync{"对时方式", "Time Synchronization"};
inline constexpr BiText NodePortB1{"RS485 系统接口 B1", "RS485 Port B1 - System"};
inline constexpr BiText NodePortB2{"RS485 系统接口 B2", "RS485 Port B2 - System"};
inline constexpr BiText NodeSignalNames{"开关量信息定义", "Matrix I/O Assignment"};
inline constexpr BiText NodeInputStatus{"开关量状态显示", "Matrix I/O Status"};
inline constexpr BiText NodeCpuSupervision{"CPU 出错模拟", "Test CPU Supervision"};
inline constexpr BiText NodeEventLog{"事件信息", "Event Log"};

// ---- tree context menus ----
inline constexpr BiText TreeRenameProject{"重命名", "Rename"};
inline constexpr BiText TreeAddDevice{"添加装置", "Add Device"};
inline constexpr BiText TreePasteAfterLast{"粘贴", "Paste"};
inline constexpr BiText TreeCut{"剪切(X)", "Cut(X)"};
inline constexpr BiText TreeCopy{"复制(C)", "Copy(C)"};
inline constexpr BiText TreePasteBefore{"粘贴(V)", "Paste(V)"};
inline constexpr BiText TreeDelete{"删除(D)", "Delete(D)"};
inline constexpr BiText TreeRenameDevice{"重命名", "Rename"};
inline constexpr BiText TreeReadFromDevice{"从装置读出", "Read From Device"};
inline constexpr BiText TreeWriteToDevice{"写入装置", "Write to Device"};

// ---- name dialog ----
inline constexpr BiText NameDlgCaption{"名称", "Name"};
inline constexpr BiText NameDlgOk{"确认", "OK"};
inline constexpr BiText NameDlgCancel{"取消", "CANCEL"};

// ---- PC serial port command ----
inline constexpr BiText NoSerialPort{"没有可使用的串口", "no serial port can be used"};
inline constexpr BiText SerialPortSetCaption{"串口设置", "Serial Port Set"};

// ---- closing with changes never written ----
inline constexpr BiText UnsavedChanges{"工程已修改，是否保存？", "The project has changed. Save it?"};
inline constexpr BiText ButtonSave{"保存", "Save"};
inline constexpr BiText ButtonDiscard{"不保存", "Don't Save"};
inline constexpr BiText ButtonCancel{"取消", "Cancel"};

// ---- accessible names of widgets without a visible label ----
inline constexpr BiText AccProjectTree{"工程树", "Project tree"};
inline constexpr BiText AccParameterList{"参数列表", "Parameter list"};
inline constexpr BiText AccLinkStatus{"串口状态", "Serial link status"};
inline constexpr BiText AccCommLog{"通讯记录", "Communication log"};
inline constexpr BiText AccToolBar{"工具栏", "Tool bar"};
// The tool bar's title: its entry in the context menu of the tool and dock bars.
inline constexpr BiText ToolBarTitle{"工具栏", "Tool Bar"};
inline constexpr BiText AccNameEdit{"名称", "Name"};

// ---- command line of the desktop program ----
inline constexpr BiText AppUsage{
    "用法：corvix [选项] [工程文件.mac]\n"
    "  工程文件.mac   启动时导入该工程\n"
    "  --demo         启动内置的模拟装置并连接\n"
    "  --help         显示本说明\n",
    "Usage: corvix [options] [project.mac]\n"
    "  project.mac    import this project at start\n"
    "  --demo         start a built-in simulated device and connect to it\n"
    "  --help         show this help\n"};
inline constexpr BiText AppUnknownOption{"未知选项：", "unknown option: "};
inline constexpr BiText AppOneProjectOnly{"只能指定一个工程文件：", "only one project file can be given: "};
inline constexpr BiText DemoStartFailed{"模拟装置无法启动", "The simulated device could not be started"};

}  // namespace corvix::txt
