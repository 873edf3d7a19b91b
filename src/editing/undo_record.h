// The steps of the undo history as data: what a step holds, its changes to the rows kept
// compactly (a changed row keeps only the fields that changed), and the encoding in which
// the history is kept beside the working table, so that it outlives a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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
  bool modified = false;  // the changed flag as it was (not restored: the history decides it)
  // The document file (restored only by a step that replaced the Document).
  std::filesystem::path doc_path;
  bool has_file = false;
};

struct UndoStep {
  std::string name;
  WindowState before, after;
  std::string changes;  // the row changes in the order they were made (AppendRowChanges)
  std::size_t bytes = 0;  // about what the step takes in memory
  // Whether the step changes what a save writes (Segments with text, the lines typed, the
  // settings the file keeps): the Document differs from its file while such a step lies
  // between the saved point and the current one. The density and the bold switch do not.
  bool marks_changed = true;
  // The step replaced the Document (open, import into a new one): undo and redo also put
  // back the file and the saved point of the Document on the other side.
  bool replaces_document = false;
  // For such a step, the Document on the side the history is not on: its file, and the
  // step it was saved at as a distance from the step (before: back from the step's start;
  // after: on from its end), -1 when no step matches its file. Kept with the step, so that
  // a restored history still knows whether the other Document differs from its file.
  struct Side {
    std::filesystem::path doc_path;
    bool has_file = false;
    long saved_distance = -1;
  };
  Side parked;
};

// Adds `changes` to the encoded changes in `out`.
void AppendRowChanges(std::string& out, std::span<const RowChange> changes);

// Makes the encoded changes again in order (`forward`) or takes them back in reverse order.
// A changed row is rebuilt from the row as the table holds it. Throws TableError when the
// changes do not fit the table.
void ApplyRowChanges(SegmentTable& t, std::string_view changes, bool forward);

// A step as kept beside the working table, and back; nullopt for a record this program
// cannot read (damaged, or written by another version).
std::string EncodeStep(const UndoStep& step);
std::optional<UndoStep> DecodeStep(std::string_view data);

// About what a step takes in memory.
std::size_t BytesOf(const UndoStep& step);

}  // namespace qx
