// Prints a document to the first printer of a printer application the way the editor's
// print dialog does: the printers found at an address, the job submitted, its state asked
// until it ends. The network test runs it on "another machine".
//
//   shared_print HOST:PORT DOCUMENT
// Prints "completed MARKERS" and exits 0 when the job completed; says why and exits 1
// otherwise.
#include <chrono>
#include <cstdio>
#include <thread>

#include "device/shared/shared_printers.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: shared_print HOST:PORT DOCUMENT\n");
    return 2;
  }
  qx::SharedPrinterSearch search;
  search.addresses = {argv[1]};
  search.dns_sd = false;
  const std::vector<qx::SharedPrinter> printers = qx::FindSharedPrinters(search);
  if (printers.empty()) {
    std::fprintf(stderr, "no printer found at %s\n", argv[1]);
    return 1;
  }
  std::unique_ptr<qx::SharedPrinterClient> client = qx::MakeIppClient();
  const qx::SubmitResult submitted = client->Submit(printers.front(), argv[2], {}, "");
  if (submitted.job_id <= 0) {
    std::fprintf(stderr, "not taken: %s\n", submitted.detail.c_str());
    return 1;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (std::chrono::steady_clock::now() < deadline) {
    const qx::SharedJobStatus status = client->Status(printers.front(), submitted.job_id);
    if (status.ended()) {
      const bool completed = status.state == qx::SharedJobState::kCompleted;
      std::printf("%s %d\n", completed ? "completed" : "ended", status.markers_done);
      if (!completed) std::fprintf(stderr, "%s\n", status.message.c_str());
      return completed ? 0 : 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  std::fprintf(stderr, "job %d did not end\n", submitted.job_id);
  return 1;
}
