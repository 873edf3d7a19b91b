#include "device/print_job.h"

#include <algorithm>
#include <new>
#include <optional>

#include "device/gen1.h"
#include "device/gen2.h"
#include "device/printer_messages.h"
#include "layout/fit.h"
#include "layout/tape.h"

namespace qx {

bool TidyForPrint(SegmentTable& t) {
  if (t.RowCount() == 0) return false;
  // The operator stays on the Segment that was current, or, when it goes, on the one that
  // takes its place (the new last one when it was last).
  int current = t.Position();
  t.DetachControls();
  {
    SegmentTable::Batch batch(t);
    t.First();
    while (!t.Eof()) {
      if (t.Text(kUpperLineColumn).empty() && t.RowCount() > 1) {
        if (t.Position() < current) --current;
        t.Delete();  // the row that takes its place is examined next
      } else {
        t.Next();
      }
    }
    t.First();
    for (int n = 1; !t.Eof(); ++n) {
      if (t.Int(kNumberColumn) != n) {
        t.Edit();
        t.SetInt(kNumberColumn, n);
        t.Store();
      }
      t.Next();
    }
    batch.Commit();
  }
  t.First();
  const bool something = !t.Text(kUpperLineColumn).empty();
  GoToPosition(t, current);
  t.AttachControls();
  return something;
}

namespace {

// The serial values of a decoded Segment; one pass without a value when it has none.
struct SerialRange {
  bool has_serial;
  uint32_t first, last;
  uint32_t count() const { return last - first + 1; }
};

SerialRange RangeOf(const SegmentValues& v) {
  if (v.SerialType == kNoSerial) return {false, 0, 0};
  return {true, v.SerialFirst, v.SerialLast < v.SerialFirst ? v.SerialFirst : v.SerialLast};
}

// Moves the table to row `row` (1-based) from the first; false when there is no such row.
bool GoToRow(SegmentTable& t, int row) {
  t.First();
  for (int i = 1; i < row && !t.Eof(); ++i) t.Next();
  return !t.Eof();
}

class Walker {
 public:
  Walker(const JobDocument& doc, PrintJob& job, const SendItem& send, WalkCounts& counts,
         const SkipItems& skipped, const RowStarted& row_started)
      : doc_(doc), job_(job), send_(send), counts_(counts), skipped_(skipped),
        row_started_(row_started) {}

  bool Run() {
    if (job_.StartRow < 1) return true;
    SegmentTable& t = doc_.table;
    if (!GoToRow(t, job_.StartRow)) return true;
    for (int row = job_.StartRow; row <= job_.EndRow && !t.Eof(); ++row) {
      row_ = row;
      if (row_started_) row_started_(row);
      DecodePrintValues(t, doc_.file_state.MaterialCode, job_.calibration, v_);
      upper_text_ = t.Text(kUpperLineColumn);
      lower_text_ = t.Text(kLowerLineColumn);
      // A Segment without an upper line prints nothing: printing deletes such Segments
      // first, and a preview of the untidied Document passes over them.
      if (!upper_text_.empty() && !RunSegment()) return false;
      t.Next();
    }
    return true;
  }

 private:
  // Two-line Segments with zero-padded numbers or small letters are checked once per
  // pass over their values: every value has the same width there.
  bool CheckedOnce() const {
    return !lower_text_.empty() &&
           (v_.SerialType == kSerialDecimalPadded || v_.SerialType == kSerialSmall);
  }

  bool RunSegment() {
    const SerialRange r = RangeOf(v_);
    const int repeats = v_.RepeatCount > 0 ? v_.RepeatCount : 0;
    if (!job_.RepeatFirst) {
      for (int rep = 0; rep < repeats; ++rep) {
        if (CheckedOnce() && !Fits(r.first)) {
          PassRefused(static_cast<int>(r.count()));
          continue;
        }
        for (uint32_t value = r.first; value <= r.last; ++value)
          if (!Item(r, value)) return false;
      }
    } else {
      if (CheckedOnce() && repeats > 0 && !Fits(r.first)) {
        PassRefused(static_cast<int>(r.count()) * repeats);
        return true;
      }
      for (uint32_t value = r.first; value <= r.last; ++value)
        for (int rep = 0; rep < repeats; ++rep)
          if (!Item(r, value)) return false;
    }
    return true;
  }

  void SetSerial(const SerialRange& r, uint32_t value) {
    item_values_ = v_;
    if (!r.has_serial) {
      job_.SerialText.clear();
      return;
    }
    job_.SerialText = SerialText(v_.SerialType, static_cast<uint16_t>(value), v_.SerialLast);
    if (v_.SerialType == kSerialDecimal)
      item_values_.SerialWidth = static_cast<uint8_t>(job_.SerialText.size());
  }

  // The layout check made once for a whole pass, with the pass's first value. Every value
  // of the pass is then built with that layout: no marker of the range is left out.
  bool Fits(uint32_t first) {
    SetSerial(RangeOf(v_), first);
    const LayoutContext c{doc_.measurer, item_values_, doc_.file_state, job_.SerialText};
    pass_layout_ = LayoutSegment(c, upper_text_, lower_text_);
    return pass_layout_.has_value();
  }

  ItemResult Build(const LayoutContext& c) {
    image_.columns.clear();
    if (CheckedOnce() && pass_layout_)
      return BuildItem(doc_.builder, c, *pass_layout_, upper_text_, lower_text_, image_);
    return MakeItem(doc_.builder, c, upper_text_, lower_text_, image_);
  }

  // Counts skipped items and tells the host; the job goes on.
  void Skip(SkippedItems items) {
    counts_.skipped += items.count;
    if (items.result == ItemResult::kTooLong) counts_.too_long += items.count;
    items.row = row_;
    if (skipped_) skipped_(items);
  }

  // A pass checked once was refused: all its items, with the serial text of its first.
  void PassRefused(int count) {
    const LayoutContext c{doc_.measurer, item_values_, doc_.file_state, job_.SerialText};
    Skip({.serial_text = job_.SerialText,
          .count = count,
          .refusal = WhyLayoutRefuses(c, upper_text_, lower_text_)});
  }

  bool Item(const SerialRange& r, uint32_t value) {
    SetSerial(r, value);
    const LayoutContext c{doc_.measurer, item_values_, doc_.file_state, job_.SerialText};
    switch (Build(c)) {
      case ItemResult::kBuilt:
        break;
      case ItemResult::kSkipped:
        Skip({.serial_text = job_.SerialText,
              .refusal = WhyLayoutRefuses(c, upper_text_, lower_text_)});
        return true;
      case ItemResult::kTooLong:
        Skip({.serial_text = job_.SerialText,
              .result = ItemResult::kTooLong,
              .columns = static_cast<int>(image_.columns.size() / kColumnBytes)});
        return true;
    }
    if (!send_(image_, v_.RowNumber)) return false;
    ++counts_.sent;
    return true;
  }

  const JobDocument& doc_;
  PrintJob& job_;
  const SendItem& send_;
  WalkCounts& counts_;
  const SkipItems& skipped_;
  const RowStarted& row_started_;
  int row_ = 0;  // the Segment being walked, from 1
  SegmentValues v_, item_values_;
  std::optional<SegmentLayout> pass_layout_;
  std::string upper_text_, lower_text_;
  ItemImage image_;
};

}  // namespace

PrintJob JobOf(const JobChoice& c, SegmentTable& t) {
  PrintJob job;
  job.StartRow = 1;
  job.EndRow = t.RowCount();
  if (c.first) {
    const int b = std::min(c.last, job.EndRow);
    job.StartRow = std::min(c.first, b);
    job.EndRow = std::max(c.first, b);
  }
  job.Copies = c.copies;
  job.RepeatFirst = c.repeat_first;
  return job;
}

int CountItems(SegmentTable& t, const DocumentFileState& file_state, const PrintJob& job) {
  if (job.StartRow < 1 || !GoToRow(t, job.StartRow)) return 0;
  int total = 0;
  SegmentValues v;
  for (int row = job.StartRow; row <= job.EndRow && !t.Eof(); ++row, t.Next()) {
    DecodePrintValues(t, file_state.MaterialCode, job.calibration, v);
    if (v.RepeatCount > 0) total += v.RepeatCount * static_cast<int>(RangeOf(v).count());
  }
  return total;
}

bool WalkSegments(const JobDocument& doc, PrintJob& job, const SendItem& send,
                  WalkCounts& counts, const SkipItems& skipped, const RowStarted& row_started) {
  return Walker(doc, job, send, counts, skipped, row_started).Run();
}

JobFigures MeasureJob(const JobDocument& doc, const PrintJob& job) {
  // One copy is walked: every copy prints the same items.
  PrintJob walk = job;
  walk.Copies = 1;
  int64_t dots = 0;
  WalkCounts counts;
  WalkSegments(
      doc, walk,
      [&](const ItemImage& item, uint8_t) {
        dots += ItemFeedDots(item);
        return true;
      },
      counts);
  const int copies = job.Copies > 0 ? job.Copies : 1;
  JobFigures f;
  f.items = counts.sent * copies;
  f.metres = TapeMetres(dots, doc.file_state.MaterialCode, job.calibration) * copies;
  return f;
}

ResumePoint ResumeAfter(const PrintJob& job, const WalkCounts& counts) {
  return {std::max(job.FromItem, 1) - 1 + counts.printed, counts.next_may_be_partial};
}

double TapeMetres(int64_t dots, uint8_t material, const Calibration& calibration) {
  // `factor` dots make 10 mm of tape.
  const int factor =
      IsLabelMaterial(material) ? calibration.LabelCalibration : calibration.TubeCalibration;
  return factor > 0 ? static_cast<double>(dots) * 10.0 / factor / 1000.0 : 0;
}

namespace {

// Copies of the range, one after the other, within one printer job.
bool WalkCopies(const JobDocument& doc, PrintJob& job, PrintHost& host, WalkCounts& counts,
                const SendItem& send) {
  const int per_copy = CountItems(doc.table, doc.file_state, job);
  const int total = per_copy * (job.Copies > 0 ? job.Copies : 1);
  int handled = 0;
  int printable = 0, passed_over = 0;
  const SendItem counted = [&](const ItemImage& item, uint8_t row) {
    // Markers before the one the job goes on from were printed by an earlier job.
    if (++printable < job.FromItem) {
      ++passed_over;
      ++handled;
      return true;
    }
    host.Progress(handled, total);
    ++handled;
    return send(item, row);
  };
  bool ok = true;
  const SkipItems skipped = [&](const SkippedItems& items) { host.Skipped(items); };
  while (job.Copies > 0 && ok) {
    const int skipped_before = counts.skipped;
    ok = WalkSegments(doc, job, counted, counts, skipped);
    handled += counts.skipped - skipped_before;
    --job.Copies;
  }
  counts.sent -= passed_over;
  if (ok) host.Progress(total, total);
  return ok;
}

// Tells the host each rise of the markers the printer reported printed, and leaves the
// final figures in the job's counts however the job ends.
class MarkerReport {
 public:
  MarkerReport(const PrintedMarkers& markers, const PrintJob& job, PrintHost& host,
               WalkCounts& counts)
      : markers_(markers), before_(std::max(job.FromItem, 1) - 1), host_(host), counts_(counts) {}
  ~MarkerReport() { Update(); }
  void Update() {
    counts_.printed = markers_.printed();
    counts_.next_may_be_partial = markers_.next_may_be_partial();
    if (markers_.printed() > told_) {
      told_ = markers_.printed();
      host_.MarkersPrinted(before_ + told_);
    }
  }

 private:
  const PrintedMarkers& markers_;
  int before_;
  PrintHost& host_;
  WalkCounts& counts_;
  int told_ = 0;
};

void EnterPrintingState(PrintJob& job, PrintHost& host, bool& entered) {
  job.StopRequested = false;
  host.EnterPrintingState();
  entered = true;
}

bool RunFirstGeneration(Transport& t, DeviceTable& d, PrintJob& job, const JobSetup& setup,
                        const ItemWalk& walk, PrintHost& host, WalkCounts& counts,
                        bool& entered) {
  Gen1Printer printer(t, d, job, host);
  MarkerReport report(printer.markers(), job, host, counts);
  if (!printer.Open(setup.material_code, setup.cut_code)) return false;
  EnterPrintingState(job, host, entered);
  host.EnableStop();
  bool ok = walk(
      [&](const ItemImage& item, uint8_t) {
        const bool sent = printer.SendSegment(item);
        report.Update();
        return sent;
      },
      counts);
  if (ok) ok = printer.Command(14) && printer.WaitFinish();
  return ok;
}

bool RunSecondGeneration(Transport& t, DeviceTable& d, PrintJob& job, const JobSetup& setup,
                         const ItemWalk& walk, PrintHost& host, WalkCounts& counts,
                         bool& entered) {
  Gen2Printer printer(t, d, job, host);
  MarkerReport report(printer.markers(), job, host, counts);
  if (!printer.Open(setup.material_code, setup.cut_code)) return false;
  EnterPrintingState(job, host, entered);
  if (!printer.StartJob(setup.density)) return false;
  host.EnableStop();
  const bool sent = walk(
      [&](const ItemImage& item, uint8_t row) {
        const bool ok = printer.SendSegment(item, row);
        report.Update();
        return ok;
      },
      counts);
  if (!sent) {
    printer.SetEndedEarly();
    if (ReopenDevice(t, d, host)) printer.Reset();
    return false;
  }
  const bool finished = printer.FinishJob();
  if (!finished) printer.SetEndedEarly();
  if (finished || ReopenDevice(t, d, host)) printer.Reset();
  return finished && !printer.ended_early();
}

}  // namespace

bool RunItemsJob(Transport& t, DeviceTable& d, PrintJob& job, const JobSetup& setup,
                 const ItemWalk& walk, PrintHost& host, WalkCounts* counts_out) {
  WalkCounts counts;
  if (!d.open) {
    host.Message(pmsg::kOpenFailed, "");
    return false;
  }
  const Generation g = GenerationOf(d.Name(d.selected));
  bool entered = false;
  bool ok = false;
  try {
    job.BufferIndex = 0;
    job.FirstSegment = true;
    if (g == Generation::kFirst)
      ok = RunFirstGeneration(t, d, job, setup, walk, host, counts, entered);
    else if (g == Generation::kSecond)
      ok = RunSecondGeneration(t, d, job, setup, walk, host, counts, entered);
  } catch (const std::bad_alloc&) {
    host.Message(pmsg::kNoMemory, pmsg::kInfo);
    ok = false;
  }
  // A job never leaves the printer claimed: the next job opens it anew from the dialog.
  CloseDevice(t, d);
  if (entered) host.EndOfJob();
  if (counts_out) *counts_out = counts;
  return ok;
}

bool RunDeviceJob(Transport& t, DeviceTable& d, PrintJob& job, const JobDocument& doc,
                  PrintHost& host, WalkCounts* counts_out) {
  const JobSetup setup{doc.file_state.MaterialCode, doc.file_state.CutCode, doc.density};
  return RunItemsJob(
      t, d, job, setup,
      [&](const SendItem& send, WalkCounts& counts) {
        return WalkCopies(doc, job, host, counts, send);
      },
      host, counts_out);
}

}  // namespace qx
