// Undo and redo of the changes to the Document. Every event of the window is one step
// (typing merges while the same line of the same Segment is typed without a pause): the
// step keeps the changes to the rows the table reports while the event runs, and the
// window's state around them (settings, current row, editors) before and after. Undo takes
// the row changes back in reverse order and puts the state before the step back; redo does
// the reverse. Steps are plain data, so that they can be kept beside the working table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "editing/editing_context.h"

namespace qx {

// What the window shows around the rows: restored whole by undo and redo.
struct WindowState {
  DocumentSettings settings;
  uint8_t MaterialCode = 0, CutCode = 0, CharSpacing = 0, AlignCode = 0;
  uint8_t ActiveLine = 0;
  int32_t SavedCaret = 0;
  SegmentValues values;
  ValuesBeforeEdit before_edit;
  CursorState cursor;
  int row_count = 0;
  RowValues current_row{};  // the current row as shown (with unstored edits)
  LineEditor upper, lower;
  std::string length_text, repeat_text;
  ControlStates controls;
  bool modified = false;  // the changed flag (not restored: the history decides it)
};

struct UndoStep {
  std::string name;
  WindowState before, after;
  std::vector<RowChange> changes;  // in the order they were made
  std::size_t bytes = 0;           // about what the step takes in memory
  // Whether the step made the Document differ from its file: a change that leaves the
  // changed flag off (copying to the following Segments) does not.
  bool marks_changed = true;
};

class UndoHistory : private RowChangeObserver {
 public:
  static constexpr std::size_t kMaxSteps = 200;
  static constexpr std::size_t kMaxBytes = std::size_t{50} << 20;
  // Keys typed further apart than this start a new step.
  static constexpr uint64_t kTypingPauseMs = 1500;

  explicit UndoHistory(EditingContext& ctx);
  ~UndoHistory() override;
  UndoHistory(const UndoHistory&) = delete;
  UndoHistory& operator=(const UndoHistory&) = delete;

  // Around every event of the window (not nested).
  void BeginStep();
  void EndStep();

  bool CanUndo() const { return position_ > 0; }
  bool CanRedo() const { return position_ < steps_.size(); }
  // "撤销 <step>" and "重做 <step>": the commands as the menu shows them.
  std::string UndoText() const;
  std::string RedoText() const;
  void Undo();
  void Redo();

  // Forgets every step: a new Document.
  void Clear();
  std::size_t step_count() const { return steps_.size(); }
  std::size_t position() const { return position_; }
  std::size_t bytes() const { return bytes_; }

 private:
  void OnRowChange(const RowChange& change) override;
  WindowState Capture() const;
  void Restore(const WindowState& s);
  void Apply(const UndoStep& step, bool forward);
  bool ChangesWhatIsShown(const WindowState& after) const;
  bool IsTyping(const WindowState& after, Control* line) const;
  void Push(UndoStep step);
  void FollowSavedPoint();
  bool DiffersFromSaved() const;
  void StartHere();
  void TakeInPending();

  EditingContext& ctx_;
  std::vector<UndoStep> steps_;
  std::size_t position_ = 0;  // steps before it are done; from it on they can be redone
  long saved_ = 0;            // the position the file on disk matches; -1: none
  std::size_t bytes_ = 0;
  uint64_t generation_ = ~uint64_t{0};  // the table the history belongs to

  bool recording_ = false;
  bool untracked_change_ = false;  // the rows changed outside any step
  bool undo_ran_ = false;          // the running event was an undo or redo
  WindowState before_;
  std::vector<RowChange> pending_;
  // Typing into a line merges into the last step while this is set.
  bool typing_open_ = false;
  Control typing_line_ = Control::None;
  int typing_row_ = 0;
  uint64_t typing_last_ms_ = 0;
};

}  // namespace qx
