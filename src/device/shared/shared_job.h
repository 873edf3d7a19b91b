// A job on a printer that a printer application shares: everything after the print
// dialog's OK. The document file goes to the printer application with the job's choices,
// the job is followed to its end with the window's progress, the stop button cancels it
// there, and the end is told as the printer application reports it: a job that a fault
// ended is never told as finished.
#pragma once

#include <string>
#include <string_view>

#include "device/print_job.h"
#include "device/shared/shared_printers.h"

namespace qx {

namespace pmsg {
inline constexpr std::string_view kSharedUnreachable =
    "无法连接共享打印机,请检查网络和打印服务是否开启。";
// Followed by the printer application's reason.
inline constexpr std::string_view kSharedRefused = "共享打印机不接受此任务: ";
inline constexpr std::string_view kSharedLost =
    "与共享打印机失去联系,任务可能仍在打印,请到打印机处查看。";
inline constexpr std::string_view kSharedCanceledThere = "任务已在共享打印机上被取消。";
inline constexpr std::string_view kSharedJobGone =
    "共享打印机的打印服务已找不到这个任务,请到打印机处查看打印到了哪里。";
}  // namespace pmsg

// How often the job's state is asked for, and how many unanswered asks in a row give up.
inline constexpr uint32_t kSharedPollMs = 250;
inline constexpr int kSharedUnansweredLimit = 40;

// Sends `document` (a document file) to `printer` with `choice` and follows the job.
// `job.StopRequested` is the stop button; `host` is the window (printing state, waits,
// progress, messages). Every call to the printer application runs beside the window's
// event loop, so the window keeps answering. Returns whether the job completed; `counts`
// gets the markers the printer application reports printed.
bool RunSharedJob(SharedPrinterClient& client, const SharedPrinter& printer,
                  const std::string& document, const SharedJobChoice& choice,
                  const std::string& user, PrintJob& job, PrintHost& host,
                  WalkCounts* counts = nullptr);

}  // namespace qx
