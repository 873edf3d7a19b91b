// Steps shared by the checks and changes that walk several Segments of the table (the
// document settings and the changes to the following Segments).
#pragma once

#include <functional>

#include "editing/editing_context.h"

namespace qx {

// Stores the current Segment, then stores it again with its 1-based position as number.
void StoreCurrentNumbered(SegmentTable& t);

// Remembers the current Segment and detaches the bound editors, with UserEditing off, so
// that a walk over the table runs no editor's handler: the start of every check over
// several Segments.
Bookmark DetachAt(EditingContext& ctx);

// The end of such a walk: back to `at` (when given) and the editors attached; the working
// values of the Segment then current are reloaded when `reload`.
void ReturnAndAttach(EditingContext& ctx, const Bookmark* at, bool reload);

// Writes `set` into the Segment at `at` and every one after it, as one durable step.
void WriteFollowing(SegmentTable& t, const Bookmark& at, const std::function<void()>& set);

}  // namespace qx
