#include "device/shared/shared_job.h"

#include <chrono>
#include <future>

#include "device/printer_messages.h"

namespace qx {
namespace {

// Runs `call` on a thread of its own while the window goes on dispatching its events. The
// waiting alternates with the window's events, so that the window's time (a fake clock in
// tests) moves about as fast as real time while the call takes.
template <typename Call>
auto Aside(PrintHost& host, Call call) {
  auto result = std::async(std::launch::async, std::move(call));
  while (result.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
    host.PumpWait(10);
  return result.get();
}

}  // namespace

bool RunSharedJob(SharedPrinterClient& client, const SharedPrinter& printer,
                  const std::string& document, const SharedJobChoice& choice,
                  const std::string& user, PrintJob& job, PrintHost& host,
                  WalkCounts* counts) {
  WalkCounts local;
  WalkCounts& c = counts ? *counts : local;
  c = WalkCounts{};
  const int before = std::max(choice.first_marker, 1) - 1;
  host.EnterPrintingState();
  const SubmitResult sent =
      Aside(host, [&] { return client.Submit(printer, document, choice, user); });
  if (sent.job_id <= 0) {
    if (sent.error == SubmitError::kRefused)
      host.Message(std::string(pmsg::kSharedRefused) + sent.detail, pmsg::kInfo);
    else
      host.Message(pmsg::kSharedUnreachable, pmsg::kInfo);
    host.EndOfJob();
    return false;
  }
  host.EnableStop();
  c.next_may_be_partial = true;  // until the job is known to have completed

  bool cancel_sent = false;
  int unanswered = 0;
  SharedJobStatus status;
  for (;;) {
    if (job.StopRequested && !cancel_sent) {
      // Asked once; the job's own end is then awaited, as a printer on USB ends its job.
      cancel_sent = Aside(host, [&] { return client.Cancel(printer, sent.job_id, user); });
      if (!cancel_sent) {  // not taken: the operator may press stop again
        job.StopRequested = false;
        host.EnableStop();
      }
    }
    status = Aside(host, [&] { return client.Status(printer, sent.job_id); });
    if (!status.answered) {
      if (++unanswered >= kSharedUnansweredLimit) {
        host.Message(pmsg::kSharedLost, pmsg::kInfo);
        host.EndOfJob();
        return false;
      }
    } else {
      unanswered = 0;
      // The printer application counts the markers of the whole job the printer reported
      // printed, those before the first marker sent included; kept as this run's.
      if (!status.gone) c.sent = c.printed = std::max(status.markers_done - before, 0);
      if (status.markers > 0) host.Progress(status.markers_done, status.markers);
      if (status.ended()) break;
    }
    host.PumpWait(kSharedPollMs);
  }

  switch (status.state) {
    case SharedJobState::kCompleted:
      host.Message(pmsg::kPrintFinished, pmsg::kInfo);
      break;
    case SharedJobState::kCanceled:
      host.Message(cancel_sent ? pmsg::kPrintStopped : pmsg::kSharedCanceledThere, pmsg::kInfo);
      break;
    default:  // aborted: the printer's own message, as a printer on USB tells it
      if (status.gone)
        host.Message(pmsg::kSharedJobGone, pmsg::kInfo);
      else
        host.Message(status.message.empty() ? std::string(pmsg::kPrintStopped) : status.message,
                     pmsg::kInfo);
      break;
  }
  // The printer application does not say whether the marker after the printed ones was
  // under the head when the job ended: it may have been.
  const bool completed = status.state == SharedJobState::kCompleted;
  if (completed) c.next_may_be_partial = false;
  host.EndOfJob();
  return completed;
}

}  // namespace qx
