#include "device/job_preview.h"

#include <algorithm>

namespace qx {

bool JobPreview::Walk(const JobDocument& doc, const PrintJob& job, const EachEntry& each,
                      WalkTotals* totals) {
  PrintJob walk = job;
  walk.Copies = 1;
  walk.FromItem = 1;
  int64_t dots = 0;
  int row = 0;  // the Segment of the item the walk is on
  bool go_on = true;
  WalkCounts counts;
  WalkSegments(
      doc, walk,
      [&](const ItemImage& item, uint8_t) {
        dots += ItemFeedDots(item);
        go_on = each({.row = row, .serial_text = walk.SerialText, .printed = true, .skipped = {}},
                     &item);
        return go_on;
      },
      counts,
      [&](const SkippedItems& items) {
        // A skip heard after `each` asked to stop is not passed on.
        if (go_on)
          go_on = each({.row = items.row, .serial_text = items.serial_text, .printed = false,
                        .skipped = items},
                       nullptr);
      },
      [&](int r) { row = r; });
  if (totals) *totals = {.skipped = counts.skipped, .dots = dots};
  return go_on;
}

JobPreview JobPreview::Build(const JobDocument& doc, const PrintJob& job) {
  JobPreview p;
  p.copies_ = std::max(job.Copies, 1);
  p.skipped_cell_.LeadBlank = kSkippedCellDots;
  WalkTotals totals;
  Walk(
      doc, job,
      [&](const JobEntry& entry, const ItemImage* picture) {
        if (picture) {
          p.image_of_entry_.push_back(static_cast<int>(p.images_.size()));
          p.entry_of_image_.push_back(p.entries_.size());
          p.images_.push_back(*picture);
        } else {
          p.image_of_entry_.push_back(-1);
        }
        p.entries_.push_back(entry);
        return true;
      },
      &totals);
  p.skipped_per_copy_ = totals.skipped;
  p.metres_per_copy_ = TapeMetres(totals.dots, doc.file_state.MaterialCode, job.calibration);
  return p;
}

const ItemImage& JobPreview::picture(std::size_t k) const {
  const int image = image_of_entry_[k % entries_.size()];
  return image < 0 ? skipped_cell_ : images_[static_cast<std::size_t>(image)];
}

ItemSequence JobPreview::pictures() const {
  return ItemSequence(size(), [this](std::size_t k) -> const ItemImage& { return picture(k); });
}

int JobPreview::marker_number(std::size_t k) const {
  const std::size_t n = k % entries_.size();
  if (image_of_entry_[n] < 0) return 0;
  return static_cast<int>(k / entries_.size()) * static_cast<int>(images_.size()) +
         image_of_entry_[n] + 1;
}

std::size_t JobPreview::entry_of_marker(int n) const {
  if (images_.empty() || n < 1 || n > markers()) return size();
  const auto per_copy = images_.size(), m = static_cast<std::size_t>(n - 1);
  return m / per_copy * entries_.size() + entry_of_image_[m % per_copy];
}

}  // namespace qx
