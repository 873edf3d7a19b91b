// What every part of the editor window works on: the Document, the desktop (Ui), the glyph
// measurer, the states of the window's controls, the line and number editors' contents and
// the focus. The window model owns one context and hands it to each part.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "document/document.h"
#include "editing/controls.h"
#include "editing/ui.h"
#include "layout/measure.h"

namespace qx {

// A single-line text editor: GBK text, caret and selection in bytes, maximum length.
struct LineEditor {
  std::string text;
  int caret = 0;
  int sel_start = 0;
  int sel_length = 0;
  int max_length = 100;
};

// Values the editors put back when a check refuses.
struct ValuesBeforeEdit {
  int32_t RepeatOnEntry = 0;
  int32_t LengthOnEntry = 0;
  std::string SizeOnPick;
  std::string OrientationOnPick;
  int32_t SpacingOnEntry = 0;
  int32_t MaterialOnEntry = 0;
  int32_t FaceOnEntry = 0;
};

// Which controls are enabled, and the two panels of the status bar.
class ControlStates {
 public:
  ControlStates() { enabled_.fill(true); }

  bool Enabled(Control c) const;  // effective: the control and its container
  bool OwnEnabled(Control c) const { return enabled_[static_cast<std::size_t>(c)]; }
  void SetEnabled(Control c, bool on) { enabled_[static_cast<std::size_t>(c)] = on; }
  // The six buttons of the Segment list.
  void SetListButtons(bool first, bool last, bool append, bool insert, bool del, bool store);
  void DisableListButtons() { SetListButtons(false, false, false, false, false, false); }
  // The symbol, serial, superscript and subscript buttons.
  void SetInsertTools(bool on);

  const std::string& status(int panel) const { return status_[static_cast<std::size_t>(panel)]; }
  void SetStatus(int panel, std::string text) {
    status_[static_cast<std::size_t>(panel)] = std::move(text);
  }

 private:
  std::array<bool, kControlCount> enabled_{};
  std::array<std::string, 2> status_;
};

// The shared context of the editing parts.
class EditingContext {
 public:
  EditingContext(Ui& ui, DocumentState& doc, GlyphMeasurer& measurer);
  ~EditingContext();
  EditingContext(const EditingContext&) = delete;
  EditingContext& operator=(const EditingContext&) = delete;

  Ui& ui;
  DocumentState& doc;
  GlyphMeasurer& measurer;
  ControlStates controls;
  ValuesBeforeEdit before_edit;
  std::filesystem::path app_dir;  // the program's own files: help pages, "Sample"
  // The user's documents and home folders, where the save dialogs start when no folder
  // used before can take the file; empty when unknown.
  std::filesystem::path documents_dir, home_dir;

  // --- Editors ---------------------------------------------------------------------------
  static bool IsLine(Control c) { return c == Control::UpperLine || c == Control::LowerLine; }
  LineEditor& Line(Control c) { return c == Control::LowerLine ? lower_line_ : upper_line_; }
  const LineEditor& editor(Control c) const {
    return c == Control::LowerLine ? lower_line_ : upper_line_;
  }
  // The text of the length or repeat editor, as typed. Setting it (the operator typed)
  // ends a selection of the whole text.
  const std::string& NumberEditText(Control c) const;
  void SetNumberEditText(Control c, std::string text);
  // Whether the whole text of the length or repeat editor is selected, so that the next
  // key replaces it: an editor whose text is not a whole number keeps the focus that way.
  bool NumberEditAllSelected(Control c) const { return c == number_edit_all_selected_; }
  void SetNumberEditAllSelected(Control c, bool all) {
    if (all) {
      number_edit_all_selected_ = c;
    } else if (c == number_edit_all_selected_) {
      number_edit_all_selected_ = Control::None;
    }
  }
  // The current row shown in the bound editors. Showing another Segment is not an edit:
  // no change handler runs, so browsing never marks the Document changed.
  void ShowCurrentRow();
  // Writes an editor's text into its field (the editors are bound to the current row).
  void WriteLineField(Control c);
  // Dots a line of text needs with the working values and document settings.
  int LineLengthOf(std::string_view text, bool two_lines);

  // --- Focus -----------------------------------------------------------------------------
  Control focus() const { return focus_; }
  // Moves the focus as the operator or the program does, through the window's routing:
  // the exit handler of the control that had it runs, then the enter handler of the new one.
  void Focus(Control c) { route_focus_(c); }
  // The focus set without any handler (the routing itself, and an editor keeping it).
  void SetFocusOnly(Control c) { focus_ = c; }
  // The focus into a line editor with the caret at the end of its text.
  void FocusLineEnd(int line);
  void SetFocusRouter(std::function<void(Control)> route) { route_focus_ = std::move(route); }

  // --- The view ----------------------------------------------------------------------------
  // Tells the view that something it shows changed (rows, fields, states). The session
  // facts (settings, document file, changed flag) go into the working table first when
  // they changed, so that a crash restores them with the rows.
  void Changed();
  // Tells the view that only the status bar and the current row changed.
  void StatusChanged() {
    if (on_status) on_status();
  }
  std::function<void()> on_refresh;
  std::function<void()> on_status;
  std::function<void()> on_close;  // asks the view to close the window

  // --- Undo history ------------------------------------------------------------------------
  // Names the step the running event makes, as the undo and redo commands show it; the
  // first name given wins (the command before the handlers it runs).
  void NameStep(std::string_view name) {
    if (step_name.empty()) step_name = name;
  }
  std::string step_name;
  // What the running event does from here on replaces the Document (open, import into a
  // new Document): one step, which undo takes back whole with the file and the changed
  // flag the Document had here. What the event did before (edits stored, a save) is a step
  // of its own.
  void StartReplacingDocument() {
    if (on_replacing_document) on_replacing_document();
  }
  std::function<void()> on_replacing_document;
  // The Document now matches its file (saved, opened) or is a new, empty one: the changed
  // flag is cleared, and the history takes this point as the one undo and redo compare
  // with. The history alone sets the flag otherwise, from what its steps change. A point
  // marked while the running event goes on to change what a save writes (an import into
  // the new, empty Document) does not hold at the event's end.
  void MarkSaved() {
    doc.file_state.DocModified = false;
    if (on_saved) on_saved();
  }
  std::function<void()> on_saved;

  // --- What a refusal needs changed --------------------------------------------------------
  // The figures of the last refusal (refusal_figures.h), shown beside the Segment preview
  // while the Segment and the document settings stay as they were when it was reported.
  void ReportRefusal(std::string figures);
  std::string RefusalFigures() const;

  // --- Storage failures --------------------------------------------------------------------
  // Writes the session facts into the working table when they changed since they were
  // last written there. A failure is told once; the next change tries again.
  void PersistSession();
  // Tells the operator that the working table could not store a step; what was typed
  // stays in the editors and the next store tries again.
  void ReportStorageFailure(std::string_view reason);
  // The operator was told that the working table cannot be written: the session facts
  // failing to be written in the same event are not told again.
  void StorageFailureTold() { session_failed_ = true; }

 private:
  LineEditor upper_line_, lower_line_;
  std::string length_text_, repeat_text_;
  Control number_edit_all_selected_ = Control::None;
  std::string refusal_figures_;
  std::string refusal_state_;  // what the figures were reported for (RefusalState)
  std::string RefusalState() const;
  Control focus_ = Control::None;
  bool showing_row_ = false;
  uint64_t session_generation_ = ~uint64_t{0};
  SessionValues session_written_;
  bool session_failed_ = false;
  std::function<void(Control)> route_focus_;
};

}  // namespace qx
