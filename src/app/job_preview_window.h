// The job preview window as a model: the whole job as tape wrapped into rows as wide as
// the window, each marker with its number under it and the items the job skips marked
// with the reason, the job's figures, zoom, and a chosen item whose Segment becomes the
// current one. Rows are drawn only when the view asks for them (the visible ones), with
// the tape drawing every picture of printed items goes through.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/job_preview.h"
#include "layout/png.h"
#include "layout/tape.h"

namespace qx {

class JobPreviewWindow {
 public:
  static constexpr int kMinScale = 1, kMaxScale = 6;
  // Pixels under each row of tape for the items' captions, and between two rows.
  static constexpr int kCaptionPixels = 20, kRowGapPixels = 8;
  // What the window is as wide as when the view has not said (pixels).
  static constexpr int kDefaultWidth = 960;

  // `go_to_segment` makes a Segment (its row in the walked table) the current one.
  JobPreviewWindow(JobPreview preview, std::function<void(int row)> go_to_segment);

  // --- What the window shows -----------------------------------------------------------
  static constexpr std::string_view kTitle = "任务预览";
  // "共 N 个标记, 约 X.X 米", and the items the job skips when there are any.
  std::string FiguresText() const;
  // The chosen item: its number, copy, Segment and serial value, or why it is skipped; a
  // hint when none is chosen.
  std::string ChosenText() const;
  const JobPreview& preview() const { return preview_; }

  // --- Layout ----------------------------------------------------------------------------
  // The width the rows may take (the view's visible width); rows are wrapped again.
  void SetViewWidth(int pixels);
  int scale() const { return scale_; }
  bool CanZoomIn() const { return scale_ < kMaxScale; }
  bool CanZoomOut() const { return scale_ > kMinScale; }
  void ZoomIn();
  void ZoomOut();
  int row_count() const { return rows_.rows(); }
  int tape_height() const { return rows_.row_height; }
  int row_pitch() const { return rows_.row_height + kCaptionPixels + kRowGapPixels; }
  int RowTop(int row) const { return row * row_pitch(); }
  int content_width() const { return rows_.width; }
  int content_height() const { return row_count() * row_pitch(); }
  // The rows any part of which lies within pixel rows top..top + height - 1.
  std::pair<int, int> RowsWithin(int top, int height) const;
  // The row an entry is in.
  int RowOf(std::size_t entry) const;

  // --- Drawing ---------------------------------------------------------------------------
  // Row `row`'s tape, tape_height() pixels high and content_width() wide.
  IndexedImage DrawRow(int row) const;
  // The entries of a row with where they lie (pixels from the row's left edge).
  struct Cell {
    std::size_t entry;
    int x, width;
  };
  std::vector<Cell> CellsOf(int row) const;
  // The caption under an entry: its marker number, or "跳过" with the count.
  std::string Caption(std::size_t entry) const;

  // --- Choosing --------------------------------------------------------------------------
  std::optional<std::size_t> chosen() const { return chosen_; }
  // Chooses an entry and makes its Segment the current one.
  void Choose(std::size_t entry);
  // A click at content pixel (x, y): the entry there, if any, is chosen.
  void OnClick(int x, int y);
  // Arrow keys and the like: the chosen entry moves by `step` entries, or to the first
  // (kFirst) or last (kLast); with none chosen the first is chosen.
  static constexpr int kFirst = -1000000000, kLast = 1000000000;
  void Move(int step);
  // Moves by whole rows, keeping about the same place along the row.
  void MoveRows(int rows);

 private:
  void Wrap();

  JobPreview preview_;
  std::function<void(int)> go_to_segment_;
  ItemSequence pictures_;
  TapeRows rows_;
  int view_width_ = kDefaultWidth;
  int scale_ = 1;
  std::optional<std::size_t> chosen_;
};

}  // namespace qx
