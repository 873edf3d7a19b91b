// Every text the main window shows in a message box, and the captions of those boxes.
#pragma once

#include <string_view>

namespace qx::msg {

// Captions.
inline constexpr std::string_view kInfo = "信息提示";
inline constexpr std::string_view kConfirm = "信息确认";
inline constexpr std::string_view kError = "错误提示";
inline constexpr std::string_view kHint = "提示";

// Main window.
inline constexpr std::string_view kStopPrintingFirst = "请先终止打印,再退出.";
inline constexpr std::string_view kRestoreLeftover =
    "上次编辑的文件未正常关闭,已保存的段落可以恢复。是否恢复?";
inline constexpr std::string_view kRestore = "恢复";
inline constexpr std::string_view kDiscard = "放弃";

// Document files.
inline constexpr std::string_view kInvalidFile = "非法文件!";
inline constexpr std::string_view kSaveChanges = "当前文件已修改,是否保存？";
inline constexpr std::string_view kSaveChangesOnExit = "当前文件已修改,是否保存?";
inline constexpr std::string_view kSaveFailed = "文件保存失败,当前文件仍保持打开:";
inline constexpr std::string_view kExportFailed = "文件导出失败:";
inline constexpr std::string_view kImportFailed = "无法读取此Excel文件:";
inline constexpr std::string_view kImportStopped = "读取Excel文件时出错,只导入了前面的行:";
inline constexpr std::string_view kImportTooManyRows = "工作表超过65535行,只导入了前65535行。";
inline constexpr std::string_view kImportReplaced = "有些字符打印机的字库中没有,已替换为“?”。";
inline constexpr std::string_view kDocumentFilter = "Lable File [*.kel]|*.kel";
inline constexpr std::string_view kNativeFilter = "Qx Printer  File [*.qxf]|*.qxf";
inline constexpr std::string_view kExcelFilter = "Excel  [*.xls *.xlsx]|*.xls;*.xlsx";
inline constexpr std::string_view kSaveDialogTitle = "输出本机文件";

// Segment list.
inline constexpr std::string_view kFileEmpty = "文件已空!";

// Property editors.
inline constexpr std::string_view kLengthRange = "指定段长请输入6-100mm,自动段长请输入0!";
inline constexpr std::string_view kSizeAlreadyAuto = "字号已为自动,段长不能再设为自动!";
inline constexpr std::string_view kLengthTooLong = "段内容超长，修改无效!";
inline constexpr std::string_view kRepeatRange = "数据范围1-200.";
inline constexpr std::string_view kBothAuto = "段长字号不能同时设为自动!";
inline constexpr std::string_view kSizeNotForMaterial = "当前材料不能打印此字号,选择无效!";
inline constexpr std::string_view kSizeTooLong = "段内容超长,选择无效!";
inline constexpr std::string_view kSizeLowerTooLong = "下行内容超长,选择无效!";
inline constexpr std::string_view kOrientationTooLong = "段内容超长,修改无效!";
inline constexpr std::string_view kOrientationLowerTooLong = "下行内容超长,修改无效!";

// Line editors.
inline constexpr std::string_view kContentTooLong = "段内容超长.";
inline constexpr std::string_view kUpperFirst = "请先输入上行字符!";
inline constexpr std::string_view kNoTwoLines6mm = "6mm贴纸不允许双行打印!";
inline constexpr std::string_view kSizeNoTwoLines = "当前字号无法正确打印双行!";
inline constexpr std::string_view kMaterialNoTwoLines = "当前材料不允许双行打印!";
inline constexpr std::string_view kNotGbk = "无法输入字符“%s”:打印机的字库中没有这个字符。";

// Status bar.
inline constexpr std::string_view kStateEditing = "当前状态:文件编辑";
inline constexpr std::string_view kStatePrinting = "信息提示: 数据打印中......";
inline constexpr std::string_view kFilePath = "文件路径:";

// Titles.
inline constexpr std::string_view kApplicationTitle = "QX  Editor";
inline constexpr std::string_view kWindowCaption = "QX Editor  8.30";

}  // namespace qx::msg
