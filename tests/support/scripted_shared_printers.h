// A scripted printer application for the print path's tests: a list of shared printers
// that finds what the test says (at once or when the test lets it), and a client that
// takes a job and answers each ask for its state with the next scripted status.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "device/shared/shared_printer_list.h"
#include "device/shared/shared_printers.h"
#include "document/document.h"
#include "document/document_file.h"
#include "document/gbk.h"
#include "document/memory_store.h"

namespace qx::testing {

inline SharedPrinter Shared(std::string name, std::string host) {
  const std::string queue = name;
  return {std::move(name), host, "ipp://" + host + ":8631/ipp/print/" + queue, "uuid-" + queue,
          "Kelmor QA30"};
}

// A list that finds what the test says, at once or when the test lets it.
class ScriptedList final : public SharedPrinterList {
 public:
  void Refresh() override {
    ++refreshes;
    if (searching_) return;
    searching_ = true;
    ++version_;
    if (!hold) Finish();
  }
  void Finish() {
    searching_ = false;
    current_ = found;
    ++version_;
  }
  bool searching() const override { return searching_; }
  std::vector<SharedPrinter> printers() const override { return current_; }
  uint64_t version() const override { return version_; }

  std::vector<SharedPrinter> found;
  bool hold = false;  // a search ends only when Finish() is called
  int refreshes = 0;

 private:
  bool searching_ = false;
  std::vector<SharedPrinter> current_;
  uint64_t version_ = 0;
};

// A printer application: takes the job, then answers each ask for its state with the next
// scripted status (the last one repeated).
class ScriptedClient final : public SharedPrinterClient {
 public:
  SubmitResult Submit(const SharedPrinter& printer, const std::string& document,
                      const SharedJobChoice& choice, const std::string& user) override {
    ++submits;
    to = printer.uri;
    sent_choice = choice;
    sent_user = user;
    document_path = document;
    // What was sent, read back as the printer application reads it.
    DocumentState doc(std::make_unique<MemoryRowStore>());
    doc.table.Bind("sent");
    if (ReadDocumentFile(document, doc.table, doc.settings)) {
      for (int r = 0; r < doc.table.RowCount(); ++r)
        sent_rows.push_back(gbk::ToUtf8(doc.table.TextAt(r, kUpperLineColumn)));
      sent_material = doc.settings.material_index;
    }
    return submit_result;
  }
  SharedJobStatus Status(const SharedPrinter&, int job_id) override {
    EXPECT_EQ(job_id, submit_result.job_id);
    ++asks;
    if (on_ask) on_ask(asks);
    SharedJobStatus s = statuses.front();
    if (statuses.size() > 1) statuses.pop_front();
    if (cancelled && s.answered) {
      s.state = SharedJobState::kCanceled;
    }
    return s;
  }
  bool Cancel(const SharedPrinter&, int, const std::string&) override {
    ++cancels;
    cancelled = cancel_taken;
    return cancel_taken;
  }

  SubmitResult submit_result{7, SubmitError::kNone, ""};
  std::deque<SharedJobStatus> statuses;
  std::function<void(int ask)> on_ask;
  bool cancel_taken = true;
  int submits = 0, asks = 0, cancels = 0;
  bool cancelled = false;
  std::string to, sent_user, document_path;
  SharedJobChoice sent_choice;
  std::vector<std::string> sent_rows;
  int sent_material = -1;
};

inline SharedJobStatus Running(int done, int total) {
  return {true, SharedJobState::kProcessing, total, done, ""};
}
inline SharedJobStatus Ended(SharedJobState state, int done, int total, std::string message = "") {
  return {true, state, total, done, std::move(message)};
}

}  // namespace qx::testing
