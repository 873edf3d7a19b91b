// QX printers that printer applications (qx-printer-app) share over IPP, on this machine
// and on the network, and the jobs the editor sends them: our document file with its
// print choices, followed to its end.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/virtual/virtual_config.h"

namespace qx {

// The document type a QX printer application takes our document files as.
inline constexpr std::string_view kQxDocumentFormat = "application/x-qx-document";

// The port qx-printer-app listens on unless told otherwise.
inline constexpr int kPrinterAppPort = 8631;

struct SharedPrinter {
  std::string name;   // the queue's printer-info or printer-name: "Kelmor QB20 virtual 1"
  std::string host;   // where it is shared from, as the operator knows it: "localhost", "workshop.local"
  std::string uri;    // ipp://host:port/ipp/print/QUEUE
  std::string uuid;   // printer-uuid: the same printer found twice is listed once
  std::string model;  // printer-make-and-model: "Kelmor QB20"
};

// Where printer applications are looked for.
struct SharedPrinterSearch {
  // "host:port" of printer applications asked directly (CUPS-Get-Printers on /ipp/system).
  std::vector<std::string> addresses;
  // Whether printers announced on the network by DNS-SD (_ipp._tcp) are looked for too,
  // and for how long.
  bool dns_sd = true;
  int dns_sd_ms = 1500;
};

// localhost:8631, and the "host:port" addresses of QX_PRINTER_APPS (comma-separated);
// QX_PRINTER_APPS=none asks none and turns DNS-SD off (tests).
SharedPrinterSearch SharedPrinterSearchFromEnvironment(const EnvLookup& env = {});

// Asks every address and DNS-SD, and keeps the printers that take our document files,
// each once, sorted by host and name. Blocks, but every step is bounded by a short timeout
// (an address that does not answer costs at most about two seconds); never throws.
std::vector<SharedPrinter> FindSharedPrinters(const SharedPrinterSearch& search);

// What a job prints of the document sent: as the print dialog chooses it.
struct SharedJobChoice {
  int copies = 1;
  int first = 0, last = 0;  // a range of Segments; 0: every Segment
  bool repeat_first = false;
  int first_marker = 1;  // a job that ended early goes on from this marker (from 1)
  int density = 0;       // 1..7, as the editor's 浓度; 0: the printer's configured darkness
};

enum class SharedJobState { kPending, kProcessing, kCompleted, kCanceled, kAborted };

struct SharedJobStatus {
  bool answered = false;  // false: the printer application could not be reached
  SharedJobState state = SharedJobState::kPending;
  int markers = 0;       // job-impressions: what the job prints (0 until the job knows)
  int markers_done = 0;  // job-impressions-completed
  std::string message;   // job-state-message: the printer's own message when it aborted
  bool gone = false;     // the printer application no longer knows the job (restarted)
  bool ended() const {
    return state == SharedJobState::kCompleted || state == SharedJobState::kCanceled ||
           state == SharedJobState::kAborted;
  }
};

// Why a job could not be sent.
enum class SubmitError { kNone, kUnreachable, kRefused };

struct SubmitResult {
  int job_id = 0;  // > 0 when the printer application took the job
  SubmitError error = SubmitError::kNone;
  std::string detail;  // the status-message of a refusal, or the connection error
};

// Talks to printer applications. An interface so that the print command can be tested
// against a scripted one; MakeIppClient() is the real one. Every call blocks for at most
// a bounded time and never throws.
class SharedPrinterClient {
 public:
  virtual ~SharedPrinterClient() = default;
  // Sends the document file at `document` (.kel) with the choice, as the user `user`.
  virtual SubmitResult Submit(const SharedPrinter& printer, const std::string& document,
                              const SharedJobChoice& choice, const std::string& user) = 0;
  virtual SharedJobStatus Status(const SharedPrinter& printer, int job_id) = 0;
  // Asks the printer application to stop the job; true when it took the request.
  virtual bool Cancel(const SharedPrinter& printer, int job_id, const std::string& user) = 0;
};

std::unique_ptr<SharedPrinterClient> MakeIppClient();

}  // namespace qx
