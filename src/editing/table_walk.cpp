#include "editing/table_walk.h"

#include "document/document.h"

namespace qx {

void StoreCurrentNumbered(SegmentTable& t) {
  t.Edit();
  t.Store();
  StoreNumbered(t);
}

Bookmark DetachAt(EditingContext& ctx) {
  SegmentTable& t = ctx.doc.table;
  const Bookmark at = t.TakeBookmark();
  t.DetachControls();
  ctx.doc.file_state.UserEditing = false;
  return at;
}

void ReturnAndAttach(EditingContext& ctx, const Bookmark* at, bool reload) {
  SegmentTable& t = ctx.doc.table;
  // Back on the Segment before the editors see the table again, so that they never show
  // a Segment of the walk.
  if (at) t.GotoBookmark(*at);
  t.AttachControls();
  if (reload) ReloadWorkingValues(t, ctx.doc.values);
}

void WriteFollowing(SegmentTable& t, const Bookmark& at, const std::function<void()>& set) {
  t.GotoBookmark(at);
  SegmentTable::Batch batch(t);
  ForEachRowToEnd(t, [&] {
    t.Edit();
    set();
    t.Store();
    return true;
  });
  batch.Commit();
}

}  // namespace qx
