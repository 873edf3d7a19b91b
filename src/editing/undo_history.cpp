#include "editing/undo_history.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

#include "editing/messages.h"

namespace qx {
namespace {

// The settings a document file keeps.
bool SameFileSettings(const DocumentSettings& a, const DocumentSettings& b) {
  return a.material_index == b.material_index && a.cut_index == b.cut_index &&
         a.alignment_index == b.alignment_index && a.spacing_index == b.spacing_index &&
         a.font_face == b.font_face;
}

// The settings the window shows: those of the file, the density and the bold switch.
bool SameSettings(const DocumentSettings& a, const DocumentSettings& b) {
  return SameFileSettings(a, b) && a.density_index == b.density_index && a.bold == b.bold &&
         a.editor_bold == b.editor_bold;
}

// Whether two versions of a row print differently: the number and the running lengths
// follow from the rest (storing and moving fill them in).
bool PrintsDifferently(const RowValues& a, const RowValues& b) {
  for (int c = 0; c < kColumnCount; ++c) {
    if (c == kNumberColumn || c == kUpperLengthColumn || c == kLowerLengthColumn) continue;
    if (a[static_cast<std::size_t>(c)] != b[static_cast<std::size_t>(c)]) return true;
  }
  return false;
}

// Whether a version of a row is saved: Segments without text are not (they are dropped
// from the end of the file, and given up with the Document).
bool HasText(const std::optional<RowSlot>& row) {
  if (!row) return false;
  for (int c : {kUpperLineColumn, kLowerLineColumn}) {
    const auto* line = std::get_if<std::string>(&row->values[static_cast<std::size_t>(c)]);
    if (line && !line->empty()) return true;
  }
  return false;
}

}  // namespace

UndoHistory::UndoHistory(EditingContext& ctx) : ctx_(ctx) {
  ctx_.doc.table.SetRowChangeObserver(this);
  ctx_.on_replacing_document = [this] { StartReplacing(); };
  ctx_.on_saved = [this] { OnSaved(); };
}

UndoHistory::~UndoHistory() {
  ctx_.doc.table.SetRowChangeObserver(nullptr);
  ctx_.on_replacing_document = nullptr;
  ctx_.on_saved = nullptr;
}

void UndoHistory::OnSaved() {
  // During an event the point is taken after the steps the event makes (a save stores the
  // current Segment first), unless the event goes on to change what a save writes. Outside
  // any event it is taken now when the history follows this table, else when the history
  // takes the table up.
  saved_here_ = true;
  pending_.changed_since_mark = false;
  marked_settings_ = ctx_.doc.settings;
  if (recording_ || generation_ != ctx_.doc.table.generation() || untracked_change_) return;
  saved_here_ = false;
  saved_ = static_cast<long>(position_);
  state_unkept_ = true;
  Keep();
}

void UndoHistory::OnRowChange(const RowChange& change) {
  if (recording_) {
    TakeChange(change);
  } else {
    untracked_change_ = true;  // the history no longer matches the rows
  }
}

void UndoHistory::TakeChange(const RowChange& c) {
  AppendRowChanges(pending_.changes, std::span<const RowChange>(&c, 1));
  ++pending_.count;
  // Shown: a row added or deleted, or changed as printed other than by storing what was
  // being edited in it (that is on screen already).
  const WindowState& b = before_;
  if (!c.before || !c.after) {
    pending_.shows_change = true;
  } else if (PrintsDifferently(c.before->values, c.after->values)) {
    const bool stores_edits = c.index == b.cursor.current && b.cursor.editing &&
                              !PrintsDifferently(c.after->values, b.cursor.edit_buffer);
    if (!stores_edits) pending_.shows_change = true;
  }
  // What a save writes: rows with text.
  if ((HasText(c.before) || HasText(c.after)) &&
      (!c.before || !c.after || PrintsDifferently(c.before->values, c.after->values))) {
    pending_.changes_rows_text = true;
    pending_.changed_since_mark = true;
  }
}

WindowState UndoHistory::Capture() const {
  const DocumentState& d = ctx_.doc;
  const SegmentTable& t = d.table;
  WindowState s;
  s.settings = d.settings;
  s.MaterialCode = d.file_state.MaterialCode;
  s.CutCode = d.file_state.CutCode;
  s.CharSpacing = d.file_state.CharSpacing;
  s.AlignCode = d.file_state.AlignCode;
  s.ActiveLine = d.file_state.ActiveLine;
  s.SavedCaret = d.file_state.SavedCaret;
  s.values = d.values;
  s.before_edit = ctx_.before_edit;
  s.cursor = t.Cursor();
  if (t.IsOpen() && !t.IsEmpty()) {
    s.row_count = t.RowCount();
    for (int c = 0; c < kColumnCount; ++c)
      s.current_row[static_cast<std::size_t>(c)] = t.ValueAt(s.cursor.current, c);
  }
  s.upper = ctx_.editor(Control::UpperLine);
  s.lower = ctx_.editor(Control::LowerLine);
  s.length_text = ctx_.NumberEditText(Control::LengthEdit);
  s.repeat_text = ctx_.NumberEditText(Control::RepeatEdit);
  s.controls = ctx_.controls;
  s.modified = d.file_state.DocModified;
  s.doc_path = d.file_state.DocPath;
  s.has_file = d.file_state.HasFile;
  return s;
}

void UndoHistory::Restore(const WindowState& s) {
  DocumentState& d = ctx_.doc;
  const bool face_changed = d.settings.font_face != s.settings.font_face;
  d.settings = s.settings;
  d.file_state.MaterialCode = s.MaterialCode;
  d.file_state.CutCode = s.CutCode;
  d.file_state.CharSpacing = s.CharSpacing;
  d.file_state.AlignCode = s.AlignCode;
  d.file_state.ActiveLine = s.ActiveLine;
  d.file_state.SavedCaret = s.SavedCaret;
  d.values = s.values;
  ctx_.before_edit = s.before_edit;
  if (face_changed) ctx_.measurer.SetFace(d.settings.font_face);
  d.table.RestoreCursor(s.cursor);
  ctx_.Line(Control::UpperLine) = s.upper;
  ctx_.Line(Control::LowerLine) = s.lower;
  ctx_.SetNumberEditText(Control::LengthEdit, s.length_text);
  ctx_.SetNumberEditText(Control::RepeatEdit, s.repeat_text);
  // The buttons as they were; the status bar tells what is true now (the file's path).
  const std::string status0 = ctx_.controls.status(0), status1 = ctx_.controls.status(1);
  ctx_.controls = s.controls;
  ctx_.controls.SetStatus(0, status0);
  ctx_.controls.SetStatus(1, status1);
}

void UndoHistory::Apply(std::size_t index, bool forward) {
  SegmentTable& t = ctx_.doc.table;
  const UndoStep& step = steps_[index];
  t.SetRowChangeObserver(nullptr);
  t.DetachControls();
  try {
    // The rows and the kept history's new position become durable together.
    SegmentTable::Batch batch(t);
    ApplyRowChanges(t, step.changes, forward);
    position_ = forward ? index + 1 : index;
    // The saved point of the Document come to is kept with the new position.
    std::optional<UndoStep::Side> entered;
    if (step.replaces_document) entered = SwapDocumentSides(index, forward);
    state_unkept_ = true;
    Keep();
    batch.Commit();
    Restore(forward ? step.after : step.before);
    if (entered) {
      DocumentFileState& p = ctx_.doc.file_state;
      p.DocPath = entered->doc_path;
      p.HasFile = entered->has_file;
      ctx_.controls.SetStatus(1, std::string(msg::kFilePath) +
                                     (p.HasFile ? p.DocPath.string() : ""));
    }
  } catch (...) {
    // Half a step taken back cannot be trusted to go further: the history starts again
    // from what the rows are now.
    t.SetRowChangeObserver(this);
    t.AttachAllControls();
    Clear();
    throw;
  }
  t.SetRowChangeObserver(this);
  t.AttachControls();
  ctx_.Changed();
}

UndoStep::Side UndoHistory::SwapDocumentSides(std::size_t index, bool forward) {
  const DocumentFileState& p = ctx_.doc.file_state;
  UndoStep& step = steps_[index];
  const long start = static_cast<long>(index), end = start + 1;
  // The side left: before the step when redoing it (saved at or before its start), after
  // it when undoing it (saved at or after its end).
  UndoStep::Side left{p.DocPath, p.HasFile, -1};
  if (saved_ >= 0) left.saved_distance = std::max(-1L, forward ? start - saved_ : saved_ - end);
  UndoStep::Side entered = std::exchange(step.parked, std::move(left));
  MarkToKeep(index);
  long saved = -1;
  if (entered.saved_distance >= 0)
    saved = forward ? end + entered.saved_distance : start - entered.saved_distance;
  saved_ = saved >= 0 && saved <= static_cast<long>(steps_.size()) ? saved : -1;
  return entered;
}

void UndoHistory::ForgetInMemory() {
  steps_.clear();
  position_ = 0;
  bytes_ = 0;
  // A Document just saved, opened or started matches its file; otherwise the flag as it
  // stands tells (a restored Document is changed until its kept history says more).
  saved_ = saved_here_ || !ctx_.doc.file_state.DocModified ? 0 : -1;
  saved_here_ = false;
  typing_open_ = false;
  generation_ = ctx_.doc.table.generation();
  untracked_change_ = false;
  first_number_ = 0;
  kept_write_ = {};
  to_keep_.clear();
  state_unkept_ = false;
}

void UndoHistory::Clear() {
  ForgetInMemory();
  kept_write_.drop_from = 0;
  state_unkept_ = true;
  Keep();
}

// The number of the first step, the position and the saved point as a step number (-1: none).
std::string UndoHistory::EncodeState() const {
  const int64_t saved = saved_ < 0 ? -1 : first_number_ + saved_;
  return std::to_string(first_number_) + ' ' + std::to_string(position_) + ' ' +
         std::to_string(saved);
}

void UndoHistory::TakeUpKept() {
  ForgetInMemory();
  SegmentTable& t = ctx_.doc.table;
  if (!t.IsOpen()) return;
  KeptHistory kept;
  try {
    kept = t.ReadHistory();
  } catch (const TableError&) {
    return Clear();
  }
  if (kept.state.empty() && kept.steps.empty()) {
    // A new table: its saved point is kept at once, so that a crash before the first step
    // still restores it as it stands.
    state_unkept_ = true;
    return Keep();
  }
  long long first = 0, saved = -1;
  std::size_t position = 0;
  const int fields = std::sscanf(kept.state.c_str(), "%lld %zu %lld", &first, &position, &saved);
  bool usable = kept.matches_rows && fields >= 2 && position <= kept.steps.size();
  std::vector<UndoStep> steps;
  for (std::size_t i = 0; usable && i < kept.steps.size(); ++i) {
    std::optional<UndoStep> step = DecodeStep(kept.steps[i].data);
    usable = step && kept.steps[i].number == first + static_cast<long long>(i);
    if (usable) steps.push_back(std::move(*step));
  }
  if (!usable) return Clear();  // it would lead somewhere else than the rows
  steps_ = std::move(steps);
  position_ = position;
  first_number_ = first;
  for (const UndoStep& step : steps_) bytes_ += step.bytes;
  // The saved point kept with the steps: the restored Document differs from its file by
  // the steps between it and the position. Without one (a dropped step) it stays unknown.
  // The Document on the other side of a step that replaced it comes back with the file and
  // the saved point kept in that step.
  saved_ = fields == 3 && saved >= first && saved - first <= static_cast<long long>(steps_.size())
               ? static_cast<long>(saved - first)
               : -1;
}

void UndoHistory::Keep() {
  if (!state_unkept_ && to_keep_.empty() && !kept_write_.drop_from &&
      kept_write_.drop_below == 0)
    return;
  HistoryWrite write = std::move(kept_write_);
  std::sort(to_keep_.begin(), to_keep_.end());
  to_keep_.erase(std::unique(to_keep_.begin(), to_keep_.end()), to_keep_.end());
  for (int64_t number : to_keep_) {
    const int64_t i = number - first_number_;
    if (i < 0 || i >= static_cast<int64_t>(steps_.size())) continue;
    write.put.push_back({number, EncodeStep(steps_[static_cast<std::size_t>(i)])});
  }
  write.state = EncodeState();
  kept_write_ = {};
  to_keep_.clear();
  state_unkept_ = false;
  SegmentTable& t = ctx_.doc.table;
  if (!t.IsOpen()) return;
  try {
    t.WriteHistory(write);
  } catch (const TableError&) {
  }
}

void UndoHistory::DropRedo() {
  if (position_ >= steps_.size()) return;
  for (std::size_t i = position_; i < steps_.size(); ++i) bytes_ -= steps_[i].bytes;
  steps_.resize(position_);
  if (saved_ > static_cast<long>(position_)) saved_ = -1;
  const int64_t from = first_number_ + static_cast<int64_t>(position_);
  kept_write_.drop_from = kept_write_.drop_from ? std::min(*kept_write_.drop_from, from) : from;
  state_unkept_ = true;
}

void UndoHistory::StartReplacing() {
  if (!recording_) return;
  // What the event did so far (edits stored by the save question, the save) ends here.
  const std::string name = ctx_.step_name;
  EndStep();
  BeginStep();
  ctx_.step_name = name;
  replacing_ = true;
}

void UndoHistory::BeginStep() {
  if (generation_ != ctx_.doc.table.generation()) {
    TakeUpKept();
  } else if (untracked_change_) {
    Clear();
  }
  before_ = Capture();
  ForgetPending();
  ctx_.step_name.clear();
  undo_ran_ = false;
  replacing_ = false;
  recording_ = true;
}

bool UndoHistory::ChangesWhatIsShown(const WindowState& after) const {
  const WindowState& b = before_;
  if (!SameSettings(b.settings, after.settings)) return true;
  // The lines of the same Segment typed; the lines of another Segment moved to are no change.
  const bool same_row = b.cursor.current == after.cursor.current && b.row_count == after.row_count;
  if (same_row && (b.upper.text != after.upper.text || b.lower.text != after.lower.text))
    return true;
  if (pending_.shows_change) return true;
  return b.cursor.current == after.cursor.current && b.row_count == after.row_count &&
         PrintsDifferently(b.current_row, after.current_row);
}

bool UndoHistory::ChangesTheDocument(const WindowState& after) const {
  if (pending_.changes_rows_text) return true;
  if (!SameFileSettings(before_.settings, after.settings)) return true;
  // The fields of the Segment being edited changed before it is stored (a property chosen),
  // when it has text.
  const bool same_row =
      before_.cursor.current == after.cursor.current && before_.row_count == after.row_count;
  const auto has_text = [](const WindowState& s) {
    return !s.upper.text.empty() || !s.lower.text.empty();
  };
  if (same_row && (has_text(before_) || has_text(after)) &&
      PrintsDifferently(before_.current_row, after.current_row))
    return true;
  // Characters typed or deleted in the Segment being edited.
  return before_.cursor.current == after.cursor.current &&
         (before_.upper.text != after.upper.text || before_.lower.text != after.lower.text);
}

bool UndoHistory::IsTyping(const WindowState& after, Control* line) const {
  if (!ctx_.step_name.empty() || pending_.count > 0) return false;
  if (before_.cursor.current != after.cursor.current) return false;
  if (!SameSettings(before_.settings, after.settings)) return false;
  const bool upper = before_.upper.text != after.upper.text;
  const bool lower = before_.lower.text != after.lower.text;
  if (upper == lower) return false;
  *line = upper ? Control::UpperLine : Control::LowerLine;
  return true;
}

void UndoHistory::EndStep() {
  recording_ = false;
  const bool replacing = std::exchange(replacing_, false);
  // A saved point marked before the event changed what a save writes does not hold (the
  // new, empty Document an import fills).
  if (saved_here_ && ChangedSinceMarked()) saved_here_ = false;
  if (undo_ran_) {
    ForgetPending();
  } else if (generation_ != ctx_.doc.table.generation()) {
    // Another Document (opened, new, restored): its history starts now, or goes on from
    // where the working table's own history left it.
    TakeUpKept();
    ForgetPending();
  } else {
    Record(replacing);
  }
  if (saved_here_) {
    // Saved by this event: the file holds what its steps made.
    saved_here_ = false;
    saved_ = static_cast<long>(position_);
    state_unkept_ = true;
    Keep();
  }
  ctx_.doc.file_state.DocModified = DiffersFromSaved();
}

void UndoHistory::TakeUpTable() {
  if (generation_ != ctx_.doc.table.generation()) TakeUpKept();
  ctx_.doc.file_state.DocModified = DiffersFromSaved();
}

bool UndoHistory::ChangedSinceMarked() const {
  if (!SameFileSettings(marked_settings_, ctx_.doc.settings)) return true;
  return pending_.changed_since_mark;
}

void UndoHistory::Record(bool replacing) {
  WindowState after = Capture();
  if (!replacing && !ChangesWhatIsShown(after)) {
    if (pending_.count > 0) {
      // Edits stored on leaving a line or moving: they belong to the step that made them.
      DropRedo();
      if (position_ > 0) {
        UndoStep& last = steps_[position_ - 1];
        last.changes += pending_.changes;
        bytes_ -= last.bytes;
        last.bytes = BytesOf(last);
        bytes_ += last.bytes;
        MarkToKeep(position_ - 1);
      }
      typing_open_ = false;
      Keep();
    }
    if (ctx_.focus() != typing_line_) typing_open_ = false;
    ForgetPending();
    return;
  }
  Control line = Control::None;
  const bool typing = IsTyping(after, &line);
  const uint64_t now = typing ? ctx_.ui.NowMs() : 0;
  const bool merge = typing && typing_open_ && position_ == steps_.size() && position_ > 0 &&
                     line == typing_line_ && after.cursor.current == typing_row_ &&
                     now - typing_last_ms_ <= kTypingPauseMs &&
                     saved_ != static_cast<long>(position_);
  // Whether the event changed what a save writes: the rows of the file, the lines typed,
  // the settings the file keeps. Only such steps make the Document differ from its file.
  const bool changes_document = ChangesTheDocument(after);
  if (merge) {
    // Kept beside the table with the next step: typing writes nothing per key.
    UndoStep& last = steps_[position_ - 1];
    last.after = std::move(after);
    last.marks_changed = last.marks_changed || changes_document;
    MarkToKeep(position_ - 1);
    typing_last_ms_ = now;
  } else {
    UndoStep step;
    step.name = ctx_.step_name;
    if (step.name.empty() && typing) step.name = msg::kStepTyping;
    // A key in an editor of the Segment or the document (Enter in the length editor):
    // named after that editor.
    if (step.name.empty() && ctx_.focus() != Control::None && !Info(ctx_.focus()).caption.empty())
      step.name = StepName(ctx_.focus());
    if (step.name.empty()) step.name = msg::kStepEdit;
    // A step that replaced the Document changes it whatever the two hold; the saved point
    // never lies across it (see SwapDocumentSides).
    step.marks_changed = replacing || changes_document;
    if (replacing) {
      // The Document given up, parked in the step with the step it was saved at; the new
      // one has no saved point until the event marks one (an open, not an import).
      step.replaces_document = true;
      step.parked = {before_.doc_path, before_.has_file, -1};
      if (saved_ >= 0 && saved_ <= static_cast<long>(position_))
        step.parked.saved_distance = static_cast<long>(position_) - saved_;
      saved_ = -1;
    }
    step.before = std::move(before_);
    step.after = std::move(after);
    step.changes = std::move(pending_.changes);
    Push(std::move(step));
    Keep();
    typing_open_ = typing;
    typing_line_ = line;
    typing_row_ = steps_.back().after.cursor.current;
    typing_last_ms_ = now;
  }
  ForgetPending();
}

void UndoHistory::Push(UndoStep step) {
  // A new step drops the steps that were undone.
  DropRedo();
  step.bytes = BytesOf(step);
  bytes_ += step.bytes;
  steps_.push_back(std::move(step));
  position_ = steps_.size();
  MarkToKeep(position_ - 1);
  state_unkept_ = true;
  // The oldest steps go first; the newest one stays whatever its size.
  std::size_t drop = 0;
  while (steps_.size() - drop > 1 &&
         (steps_.size() - drop > kMaxSteps || bytes_ > kMaxBytes)) {
    bytes_ -= steps_[drop].bytes;
    ++drop;
  }
  if (drop > 0) {
    steps_.erase(steps_.begin(), steps_.begin() + static_cast<std::ptrdiff_t>(drop));
    position_ -= drop;
    saved_ = saved_ >= static_cast<long>(drop) ? saved_ - static_cast<long>(drop) : -1;
    first_number_ += static_cast<int64_t>(drop);
    kept_write_.drop_below = first_number_;
  }
}

bool UndoHistory::DiffersFromSaved() const {
  if (saved_ < 0) return true;
  const auto saved = static_cast<std::size_t>(saved_);
  for (std::size_t i = std::min(saved, position_); i < std::max(saved, position_); ++i)
    if (steps_[i].marks_changed) return true;
  return false;
}

std::string UndoHistory::UndoText() const {
  std::string s(msg::kUndo);
  if (CanUndo()) s += " " + steps_[position_ - 1].name;
  return s;
}

std::string UndoHistory::RedoText() const {
  std::string s(msg::kRedo);
  if (CanRedo()) s += " " + steps_[position_].name;
  return s;
}

void UndoHistory::TakeInPending() {
  // The command's event may have stored edits before it came here (the focus left a line).
  if (!recording_ || pending_.count == 0) return;
  const std::string name = ctx_.step_name;
  EndStep();
  BeginStep();
  ctx_.step_name = name;
}

void UndoHistory::Undo() {
  TakeInPending();
  if (!CanUndo()) return;
  undo_ran_ = true;
  typing_open_ = false;
  Apply(position_ - 1, false);
  ctx_.doc.file_state.DocModified = DiffersFromSaved();
  ctx_.Changed();
}

void UndoHistory::Redo() {
  TakeInPending();
  if (!CanRedo()) return;
  undo_ran_ = true;
  typing_open_ = false;
  Apply(position_, true);
  ctx_.doc.file_state.DocModified = DiffersFromSaved();
  ctx_.Changed();
}

}  // namespace qx
