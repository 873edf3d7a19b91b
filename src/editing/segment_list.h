// The Segment list: the grid of stored Segments and the six list buttons (first, last,
// append, insert, delete, store), with the states those buttons take after each step.
// Append and insert stop at kMaxSegments.
#pragma once

#include "editing/editing_context.h"

namespace qx {

class SegmentList {
 public:
  explicit SegmentList(EditingContext& ctx) : ctx_(ctx) {}

  void OnStoreButton() { StoreSegment(); }
  void OnAppendButton() { AppendSegment(); }
  void OnInsertButton();
  void OnDeleteButton();
  void OnFirstButton();
  void OnLastButton();
  void OnGridEntered();
  void OnGridRowClicked(int row);  // 1-based row clicked in the grid

  // Stores the current Segment with its number ("存段", and Enter in a line editor).
  void StoreSegment();
  // Stores the current Segment and appends a new one after the last, which takes the
  // current one's length, size, orientation, decoration and repeat count. A Document of
  // kMaxSegments takes no more: the current Segment is stored and the operator told.
  void AppendSegment();

 private:
  // Tells the operator when the Document holds kMaxSegments and no Segment can be added.
  bool RefuseWhenFull();

  EditingContext& ctx_;
};

}  // namespace qx
