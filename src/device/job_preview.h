// The whole job as it will print, before it is sent: every marker of every copy in job
// order with its serial value and the Segment it comes from, and the items the job will
// skip with the reason. Built by the same walk the print job makes (layout, fit check,
// raster), so what it holds is what the printer receives. The editor's job preview and
// `qxlabel preview` draw from it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "device/print_job.h"
#include "layout/tape.h"

namespace qx {

// One entry of the job: a marker, or items the job skips together.
struct JobEntry {
  int row = 0;              // the Segment's row in the walked table, from 1
  std::string serial_text;  // the marker's serial value (GBK); empty without a serial
  bool printed = true;
  SkippedItems skipped;  // when not printed: how many items, and why
};

class JobPreview {
 public:
  // The blank tape a skipped entry takes in pictures of the job, in dots.
  static constexpr uint16_t kSkippedCellDots = 96;

  // Walks one copy of `job` (its rows, order and calibration) without sending anything:
  // every copy prints the same items. Leaves the table where the walk ends.
  static JobPreview Build(const JobDocument& doc, const PrintJob& job);

  // The walk Build makes, keeping nothing: each entry of one copy goes to `each` as it
  // comes, with the marker's picture (null for skipped items), which lives only for the
  // call. A job of any size is walked in little memory this way. Stops when `each`
  // returns false; returns false then.
  struct WalkTotals {
    int skipped = 0;   // items skipped
    int64_t dots = 0;  // tape the markers take, blank feed included
  };
  using EachEntry = std::function<bool(const JobEntry& entry, const ItemImage* picture)>;
  static bool Walk(const JobDocument& doc, const PrintJob& job, const EachEntry& each,
                   WalkTotals* totals = nullptr);

  int copies() const { return copies_; }
  // Entries of the whole job, every copy.
  std::size_t size() const { return entries_.size() * static_cast<std::size_t>(copies_); }
  bool empty() const { return entries_.empty(); }
  const JobEntry& entry(std::size_t k) const { return entries_[k % entries_.size()]; }
  // The copy entry `k` belongs to, from 1.
  int copy_of(std::size_t k) const { return static_cast<int>(k / entries_.size()) + 1; }
  // The picture of entry `k`: the marker's image, or blank tape for skipped items.
  const ItemImage& picture(std::size_t k) const;
  // Pictures of every entry in job order, for the tape drawing.
  ItemSequence pictures() const;
  // The number a printed marker has in the job, from 1 (the number a job continued from
  // it starts at); 0 for skipped items.
  int marker_number(std::size_t k) const;
  // The entry of marker `n` (from 1); size() when there is none.
  std::size_t entry_of_marker(int n) const;

  int markers() const { return static_cast<int>(images_.size()) * copies_; }
  int skipped_items() const { return skipped_per_copy_ * copies_; }
  // Tape the markers take, blank feed included, at the job's calibration.
  double metres() const { return metres_per_copy_ * copies_; }

 private:
  std::vector<JobEntry> entries_;    // one copy
  std::vector<ItemImage> images_;    // one copy's markers, in order
  std::vector<int> image_of_entry_;  // index into images_; -1 for skipped
  std::vector<std::size_t> entry_of_image_;
  ItemImage skipped_cell_;
  int copies_ = 1;
  int skipped_per_copy_ = 0;
  double metres_per_copy_ = 0;
};

}  // namespace qx
