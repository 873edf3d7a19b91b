// Every text the printer code shows, in one place.
#pragma once

#include <string_view>

namespace qx::pmsg {

inline constexpr std::string_view kInfo = "信息提示";

// Opening and losing the printer.
inline constexpr std::string_view kLinkLost = "通讯中断!";  // reopening failed
inline constexpr std::string_view kLinkBroken = "通讯中断";
inline constexpr std::string_view kOpenFailed = "打开设备出错";
inline constexpr std::string_view kNothingToPrint = "无内容可打印!";
inline constexpr std::string_view kNoMemory = "内存不足，无法打印";
inline constexpr std::string_view kPrintFinished = "打印完成!";
// At the end of a job; %d: the markers not printed.
inline constexpr std::string_view kItemsTooLong = "有%d个标记超出打印机的存储容量,未打印。";

// First generation.
inline constexpr std::string_view kSendError = "发送通讯错误";
inline constexpr std::string_view kReceiveError = "接收通讯错误";
inline constexpr std::string_view kMaterialWriteError = "写材料通讯错误!";
inline constexpr std::string_view kMaterialReadError = "读材料通讯错误!";
inline constexpr std::string_view kMaterialRefused = "设置材料错误!";
inline constexpr std::string_view kBusy1 = "设备忙,稍后再试";
inline constexpr std::string_view kNoRibbonCassette1 = "没有色带盒!";
inline constexpr std::string_view kNoRibbon1 = "没有色带!";
inline constexpr std::string_view kCoverOpen1 = "上盖未盖好!";
inline constexpr std::string_view kRibbonUsedUp1 = "色带用完,打印终止!";
inline constexpr std::string_view kCoverOpened1 = "上盖异常打开,打印终止!";
inline constexpr std::string_view kPrintStopped = "打印终止!";

// Second generation.
inline constexpr std::string_view kCommError = "通讯出错";
inline constexpr std::string_view kNoResponse = "设备无响应";
inline constexpr std::string_view kBusy2 = "设备忙，稍后再试";
inline constexpr std::string_view kNoRibbonCassette2 = "没检测到色带盒";
inline constexpr std::string_view kRibbonEmpty2 = "色带用完，请更换";
inline constexpr std::string_view kNoLabelCassette = "没检测到贴纸盒";
inline constexpr std::string_view kLabelsUsedUp = "贴纸用完，请更换";
inline constexpr std::string_view kCoverNotClosed2 = "上盖未盖好";
inline constexpr std::string_view kNoMaterial = "测不到打印材料";
inline constexpr std::string_view kExchangeTimeout = "信息通信超时";
inline constexpr std::string_view kExchangeError = "信息通信出错";
inline constexpr std::string_view kFeedNoResponse = "自动进管无响应";
inline constexpr std::string_view kCoverOpenedAtStart = "上盖异常打开";
inline constexpr std::string_view kNoRibbonSensed = "光电检测不到色带";
inline constexpr std::string_view kFeedFailed = "自动进管失败";
inline constexpr std::string_view kRibbonZero = "当前色带余量为0,打印终止!";
inline constexpr std::string_view kRibbonUsedUp2 = "色带用完，打印终止!";
inline constexpr std::string_view kCoverOpened2 = "上盖异常打开,打印终止!";
inline constexpr std::string_view kConsumablesUsedUp = "耗材用完,打印终止!";
inline constexpr std::string_view kResetNoResponse = "系统复位无响应!";

}  // namespace qx::pmsg
