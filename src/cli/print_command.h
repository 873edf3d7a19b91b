// qxlabel devices / qxlabel print: the printers found, and a document printed from the
// command line through the same job as the editor's print command.
#pragma once

#include <string>
#include <vector>

#include "device/print_job.h"
#include "document/document.h"
#include "layout/image.h"

namespace qx::cli {

// A whole decimal number from lo to hi, nothing else in the text.
bool ParseInt(const char* s, int lo, int hi, int& out);

// Takes argv[i] (and its value, moving i on) when it is one of --copies N, --range A-B,
// --repeat-first, --serial-first. Returns false when it is not; `error` says what is
// wrong with an option it took.
bool TakeJobOption(int argc, char** argv, int& i, JobChoice& c, std::string& error);
// Why an item does not print: `result` kSkipped with the layout's `refusal`, or kTooLong
// with the image's `columns` (items of several lengths: `columns` to `most_columns`).
std::string NotPrintedReason(ItemResult result, LayoutRefusal refusal, int columns,
                             int most_columns = 0);

// Items that do not print, gathered per Segment and reason, and told on stderr one line
// each ("qxlabel: Segment 3 (serial 1 to 20): 20 item(s) skipped: too long ...").
class SkipReport {
 public:
  void Add(const SkippedItems& items);
  void Print() const;
  bool empty() const { return skips_.empty(); }

 private:
  struct Skips {
    int row;
    ItemResult result;
    LayoutRefusal refusal;
    int count;
    int fewest_columns, most_columns;
    std::string first_serial, last_serial;
  };
  std::vector<Skips> skips_;  // in the order first met
};

int Devices(int argc, char** argv);
// `doc` is the loaded Document (its working table in memory).
int Print(DocumentState& doc, const char* file, int argc, char** argv);

}  // namespace qx::cli
