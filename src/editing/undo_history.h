// Undo and redo of the changes to the Document. Every event of the window that changes
// what the window shows of the Document (rows, lines, settings) is one step (typing merges
// while the same line of the same Segment is typed without a pause); moving to another
// Segment, focusing an editor or opening a list is none. The step keeps the changes to the
// rows the table reports while the event runs, and the window's state around them
// (settings, current row, editors) before and after. Undo takes the row changes back in
// reverse order and puts the state before the step back, so the current Segment is the
// one the change was made in; redo does the reverse. Steps are plain data, so that they
// can be kept beside the working table.
//
// The history also decides the changed flag: it remembers the point the file matches (set
// by saving, opening and starting a Document) and the flag is on exactly when the steps
// between that point and the current one change what is saved. That point is kept with
// the history, so a restored Document is unchanged again once its restored steps are undone.
//
// Opening a file and importing into a new Document replace the Document as one step. The
// Document on the other side of such a step keeps its file and its saved point in the
// step, and undo or redo of the step brings them back: the saved point is always one of
// the side the history is on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "editing/editing_context.h"
#include "editing/undo_record.h"

namespace qx {

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
  // Takes up the table the Document is in now, outside any event (at start-up), and sets
  // the changed flag from it.
  void TakeUpTable();
  // Whether the Document differs from its file (or from a new, empty Document).
  bool DiffersFromSaved() const;

  bool CanUndo() const { return position_ > 0; }
  bool CanRedo() const { return position_ < steps_.size(); }
  // "撤销 <step>" and "重做 <step>": the commands as the menu shows them.
  std::string UndoText() const;
  std::string RedoText() const;
  void Undo();
  void Redo();

  // Forgets every step, here and beside the working table.
  void Clear();
  std::size_t step_count() const { return steps_.size(); }
  std::size_t position() const { return position_; }
  std::size_t bytes() const { return bytes_; }

 private:
  void OnRowChange(const RowChange& change) override;
  // The step the event that ends makes, if any (`replacing`: the step that replaced the
  // Document, made whatever it changed).
  void Record(bool replacing);
  WindowState Capture() const;
  void Restore(const WindowState& s);
  // Undoes (or redoes) steps_[index] and moves the position past it (or before it).
  void Apply(std::size_t index, bool forward);
  void DropRedo();
  bool ChangesWhatIsShown(const WindowState& after) const;
  bool IsTyping(const WindowState& after, Control* line) const;
  bool ChangesTheDocument(const WindowState& after) const;
  void Push(UndoStep step);
  void OnSaved();
  // Whether the running event changed what a save writes after it marked the saved point.
  bool ChangedSinceMarked() const;
  // The rest of the running event replaces the Document: one step of its own.
  void StartReplacing();
  // Undoing (or redoing) the step at `index` that replaced the Document, before the new
  // position is kept: the saved point of the side the history comes to is taken back and
  // that of the side it leaves kept in the step, with its file. Returns the side come to.
  UndoStep::Side SwapDocumentSides(std::size_t index, bool forward);
  void TakeInPending();
  // Another table: takes up the history kept beside it when that leads to its rows, else
  // starts anew.
  void TakeUpKept();
  void ForgetInMemory();
  // Writes what changed since the last write beside the working table. A failed write
  // is not reported: the rows change the next time, and the kept history then no longer
  // matches them, so it is never used.
  void Keep();
  void MarkToKeep(std::size_t index) { to_keep_.push_back(first_number_ + static_cast<int64_t>(index)); }
  std::string EncodeState() const;

  EditingContext& ctx_;
  std::vector<UndoStep> steps_;
  std::size_t position_ = 0;  // steps before it are done; from it on they can be redone
  long saved_ = 0;            // the position the file on disk matches; -1: none
  bool saved_here_ = false;   // the Document was saved, opened or started: not taken up yet
  // The settings when the running event marked the saved point.
  DocumentSettings marked_settings_;
  std::size_t bytes_ = 0;
  uint64_t generation_ = ~uint64_t{0};  // the table the history belongs to

  // Beside the working table, steps_[i] is kept as number first_number_ + i.
  int64_t first_number_ = 0;
  HistoryWrite kept_write_;         // what the next Keep writes besides to_keep_
  std::vector<int64_t> to_keep_;    // numbers of steps to write again
  bool state_unkept_ = false;

  bool recording_ = false;
  bool untracked_change_ = false;  // the rows changed outside any step
  bool undo_ran_ = false;          // the running event was an undo or redo
  bool replacing_ = false;         // the running step replaces the Document
  WindowState before_;
  // The row changes of the running event, encoded as they come (a bulk change of a long
  // document is not held row by row), with what the step's checks need to know of them.
  struct Pending {
    std::string changes;  // AppendRowChanges
    std::size_t count = 0;
    bool shows_change = false;       // a change the window shows (see ChangesWhatIsShown)
    bool changes_rows_text = false;  // a row with text added, deleted or changed as printed
    bool changed_since_mark = false; // such a change after the saved point was marked
  };
  Pending pending_;
  void TakeChange(const RowChange& change);
  void ForgetPending() { pending_ = Pending{}; }
  // Typing into a line merges into the last step while this is set.
  bool typing_open_ = false;
  Control typing_line_ = Control::None;
  int typing_row_ = 0;
  uint64_t typing_last_ms_ = 0;
};

}  // namespace qx
