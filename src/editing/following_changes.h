// The five buttons that copy one property of the current Segment (length, repeat, size,
// orientation, decoration) to it and every Segment after it. Each asks first, checks the
// whole range, and then changes every Segment of it or none, as one durable step.
#pragma once

#include <string>
#include <string_view>

#include "editing/editing_context.h"

namespace qx {

class FollowingSegmentChanges {
 public:
  explicit FollowingSegmentChanges(EditingContext& ctx) : ctx_(ctx) {}

  void OnFollowingLengthButton();
  void OnFollowingRepeatButton();
  void OnFollowingSizeButton();
  void OnFollowingOrientationButton();
  void OnFollowingDecorationButton();

 private:
  // A change refused by one of its checks: nothing was written. The table is still on the
  // Segment that stops the change; `why` says what stops it.
  void Refuse(const Bookmark& at, std::string_view message, std::string_view why);
  std::string TooLongHere();

  EditingContext& ctx_;
};

}  // namespace qx
