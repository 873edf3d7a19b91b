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
