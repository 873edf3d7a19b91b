#include "app/job_preview_window.h"

#include <algorithm>

#include "app/print_dialog.h"
#include "document/gbk.h"
#include "editing/segment_preview.h"

namespace qx {

JobPreviewWindow::JobPreviewWindow(JobPreview preview, std::function<void(int row)> go_to_segment)
    : preview_(std::move(preview)), go_to_segment_(std::move(go_to_segment)) {
  Wrap();
}

std::string JobPreviewWindow::FiguresText() const {
  std::string text = JobFiguresText(preview_.markers(), preview_.metres());
  if (preview_.skipped_items() > 0)
    text += ", " + std::to_string(preview_.skipped_items()) + " 个不打印";
  return text;
}

std::string JobPreviewWindow::ChosenText() const {
  if (!chosen_) return "点击标记可转到它所在的段";
  const std::size_t k = *chosen_;
  const JobEntry& e = preview_.entry(k);
  std::string text;
  if (e.printed) text = "第 " + std::to_string(preview_.marker_number(k)) + " 个标记";
  if (preview_.copies() > 1) {
    if (!text.empty()) text += " · ";
    text += "第 " + std::to_string(preview_.copy_of(k)) + " 份";
  }
  if (!text.empty()) text += " · ";
  text += "第 " + std::to_string(e.row) + " 段";
  if (!e.serial_text.empty()) text += " · 序号 " + gbk::ToUtf8(e.serial_text);
  if (!e.printed) {
    if (e.skipped.count > 1) text += " 起 " + std::to_string(e.skipped.count) + " 个";
    text += ": ";
    text += NotPrintedNote(e.skipped.result, e.skipped.refusal);
  }
  return text;
}

void JobPreviewWindow::Wrap() {
  rows_ = WrapRows(preview_.pictures(), scale_, 0, std::max(view_width_, 1));
}

void JobPreviewWindow::SetViewWidth(int pixels) {
  if (pixels == view_width_) return;
  view_width_ = pixels;
  Wrap();
}

void JobPreviewWindow::ZoomIn() {
  if (!CanZoomIn()) return;
  ++scale_;
  Wrap();
}

void JobPreviewWindow::ZoomOut() {
  if (!CanZoomOut()) return;
  --scale_;
  Wrap();
}

std::pair<int, int> JobPreviewWindow::RowsWithin(int top, int height) const {
  const int pitch = row_pitch();
  const int first = std::clamp(top / pitch, 0, row_count());
  const int last = std::clamp((top + std::max(height, 1) - 1) / pitch, 0, row_count() - 1);
  return {first, std::max(first, last)};
}

int JobPreviewWindow::RowOf(std::size_t entry) const {
  const auto it = std::upper_bound(rows_.first.begin(), rows_.first.end(), entry);
  return static_cast<int>(it - rows_.first.begin()) - 1;
}

IndexedImage JobPreviewWindow::DrawRow(int row) const {
  IndexedImage img(std::max(rows_.width, 1), rows_.row_height, TapePalette(), kBlankIndex);
  if (row >= 0 && row < row_count()) DrawRows(preview_.pictures(), rows_, row, 1, img);
  return img;
}

std::vector<JobPreviewWindow::Cell> JobPreviewWindow::CellsOf(int row) const {
  std::vector<Cell> cells;
  if (row < 0 || row >= row_count() || preview_.empty()) return cells;
  int x = 0;
  const std::size_t end = rows_.first[static_cast<std::size_t>(row) + 1];
  for (std::size_t k = rows_.first[static_cast<std::size_t>(row)]; k < end; ++k) {
    const int width = ItemFeedDots(preview_.picture(k)) * scale_;
    cells.push_back({k, x, width});
    x += width + scale_;  // the boundary line between two items
  }
  return cells;
}

std::string JobPreviewWindow::Caption(std::size_t entry) const {
  const JobEntry& e = preview_.entry(entry);
  if (e.printed) return std::to_string(preview_.marker_number(entry));
  return e.skipped.count > 1 ? "跳过 " + std::to_string(e.skipped.count) + " 个" : "跳过";
}

void JobPreviewWindow::Choose(std::size_t entry) {
  if (entry >= preview_.size()) return;
  chosen_ = entry;
  if (go_to_segment_) go_to_segment_(preview_.entry(entry).row);
}

void JobPreviewWindow::OnClick(int x, int y) {
  if (y < 0 || x < 0) return;
  const int row = y / row_pitch();
  if (y - RowTop(row) >= rows_.row_height + kCaptionPixels) return;  // the gap
  for (const Cell& c : CellsOf(row))
    if (x >= c.x && x < c.x + c.width) return Choose(c.entry);
}

void JobPreviewWindow::Move(int step) {
  if (preview_.empty()) return;
  const long long last = static_cast<long long>(preview_.size()) - 1;
  const long long from = chosen_ ? static_cast<long long>(*chosen_) : -1;
  long long to = 0;
  if (step == kFirst)
    to = 0;
  else if (step == kLast)
    to = last;
  else if (from < 0)
    to = 0;
  else
    to = std::clamp(from + step, 0LL, last);
  Choose(static_cast<std::size_t>(to));
}

void JobPreviewWindow::MoveRows(int rows) {
  if (preview_.empty()) return;
  if (!chosen_) return Move(0);
  const int row = RowOf(*chosen_);
  const int to = std::clamp(row + rows, 0, row_count() - 1);
  if (to == row) return;
  // The entry of the target row under the chosen one's middle, or the row's last.
  int middle = 0;
  for (const Cell& c : CellsOf(row))
    if (c.entry == *chosen_) middle = c.x + c.width / 2;
  const std::vector<Cell> cells = CellsOf(to);
  std::size_t pick = cells.back().entry;
  for (const Cell& c : cells)
    if (middle < c.x + c.width) {
      pick = c.entry;
      break;
    }
  Choose(pick);
}

}  // namespace qx
