// The print job: tidying the Document, walking the chosen Segments once per copy in
// serial-first or repeat-first order, laying out and building every item and sending it
// through the protocol of the printer's generation. Used by the editor's print command
// and by `qxlabel print`; the window's part (controls, status text, waits) comes in
// through PrintHost.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "device/device_table.h"
#include "device/print_job_state.h"
#include "document/table.h"
#include "layout/image.h"
#include "layout/measure.h"

namespace qx {

// Deletes every Segment whose upper line is empty (keeping at least one row) and numbers
// the rest 1, 2, ... from the first. Leaves the table on the Segment that was current, or
// the one that took its place when it was deleted. Returns whether anything is left to
// print (the first row's upper line is not empty).
bool TidyForPrint(SegmentTable& t);

// Items the job skipped together: one item, or the whole range of values of a pass that
// was checked once (two lines with zero-padded numbers or small letters).
struct SkippedItems {
  int row = 0;              // the Segment's number, from 1
  std::string serial_text;  // of the first item skipped; empty without a serial
  int count = 1;
  // kSkipped: the layout refused the items (`refusal` says why); kTooLong: the image
  // passes the printer's image store (kImageStoreBytes) and is `columns` columns long.
  ItemResult result = ItemResult::kSkipped;
  LayoutRefusal refusal = LayoutRefusal::kNoSizeFits;
  int columns = 0;
};

class PrintHost : public PrinterUi {
 public:
  // The window disables its editing controls and shows that it prints.
  virtual void EnterPrintingState() = 0;
  virtual void EnableStop() = 0;
  // The window returns to editing.
  virtual void EndOfJob() = 0;
  // Called before each item is sent: `done` items of `total` have been handled.
  virtual void Progress(int /*done*/, int /*total*/) {}
  // The printer has reported `markers` markers of the whole job printed, counted from the
  // job's first marker (those an earlier job printed included).
  virtual void MarkersPrinted(int /*markers*/) {}
  // Items were skipped, in every copy that reaches them; the job goes on.
  virtual void Skipped(const SkippedItems& /*items*/) {}
};

// What a job prints from.
struct JobDocument {
  SegmentTable& table;
  const DocumentFileState& file_state;  // material, cut mode, alignment, spacing
  GlyphMeasurer& measurer;
  ImageBuilder& builder;  // its renderer has the document's face and style
  uint8_t density = 4;    // 1..7
};

// Counts of a finished walk, for the progress display and the command-line tool.
struct WalkCounts {
  int sent = 0;
  // Of the markers sent, those the printer reported printed (see device/printed_markers.h),
  // and whether the one after them reached the printer and may be partly on the tape.
  int printed = 0;
  bool next_may_be_partial = false;
  int skipped = 0;   // items not sent: the layout refused them or they were too long
  int too_long = 0;  // of those, the items whose image passes the printer's image store
};

// Where a job that ended early goes on: the markers of the whole job on the tape, counted
// from its first marker, and the first one to print again. A marker the printer had not
// reported printed is printed again, so none is ever left out; the one that may then be on
// the tape twice is named.
struct ResumePoint {
  int printed = 0;
  bool next_may_be_partial = false;
  int next() const { return printed + 1; }
};
// `job` ran from its FromItem and ended with `counts`.
ResumePoint ResumeAfter(const PrintJob& job, const WalkCounts& counts);

// What a job prints of a Document: copies, the range of Segments and the order, as the
// print dialog, `qxlabel print` and the printer application take them.
struct JobChoice {
  int copies = 1;
  int first = 0, last = 0;  // a range of Segments; 0: every Segment
  bool repeat_first = false;
};
// The job over the tidied Document `t` the choice makes (a range as the print dialog
// takes it: in either order, cut to the Document).
PrintJob JobOf(const JobChoice& c, SegmentTable& t);

// Items the rows StartRow..EndRow give per copy (before any is skipped).
int CountItems(SegmentTable& t, const DocumentFileState& file_state, const PrintJob& job);

// What a job will print: the markers sent to the printer (every copy) and the tape they
// take, blank feed included, at the job's calibration.
struct JobFigures {
  int items = 0;
  double metres = 0;
};

// Metres of tape `dots` dots of feed take on `material` at `calibration`.
double TapeMetres(int64_t dots, uint8_t material, const Calibration& calibration);

// The figures of `job` with every copy, from one walk over its rows that builds every
// item as the job will (without sending anything). Leaves the table where the walk ends.
JobFigures MeasureJob(const JobDocument& doc, const PrintJob& job);

// Walks rows job.StartRow..job.EndRow once in the job's order, building every item and
// handing it to `send` with its row number; stops and fails as soon as a send fails.
// Items that cannot be printed are counted and handed to `skipped`.
using SendItem = std::function<bool(const ItemImage& item, uint8_t row_number)>;
// `row_started` hears each row the walk comes to, before its items.
using SkipItems = std::function<void(const SkippedItems& items)>;
using RowStarted = std::function<void(int row)>;
bool WalkSegments(const JobDocument& doc, PrintJob& job, const SendItem& send, WalkCounts& counts,
                  const SkipItems& skipped = {}, const RowStarted& row_started = {});

// Everything after the print dialog's OK: checks that the printer was opened, picks the
// protocol by the selected slot's model name, runs the job for every copy and returns the
// window to editing. Returns whether every item was sent and the printer finished.
bool RunDeviceJob(Transport& t, DeviceTable& d, PrintJob& job, const JobDocument& doc,
                  PrintHost& host, WalkCounts* counts = nullptr);

// The printer set-up of a job whose items do not come from a Document.
struct JobSetup {
  uint8_t material_code = 5;
  uint8_t cut_code = 1;
  uint8_t density = 4;  // 1..7
};

// Hands every item of a job to `send` in print order; fails as soon as a send fails.
using ItemWalk = std::function<bool(const SendItem& send, WalkCounts& counts)>;

// The same job as RunDeviceJob (printer check, set-up, items, finish, reset, closing the
// printer) for items built elsewhere, such as the pages a printer application receives.
bool RunItemsJob(Transport& t, DeviceTable& d, PrintJob& job, const JobSetup& setup,
                 const ItemWalk& walk, PrintHost& host, WalkCounts* counts = nullptr);

}  // namespace qx
