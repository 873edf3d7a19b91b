// The main window as a model without any toolkit. It composes the editing parts, each of
// which owns one concern (the line editors, the property editors, the Segment list, the
// document settings, the changes to the following Segments, the insertions, the file
// commands, the preview) and the print command with its dialog, and routes the window's
// events to them: focus changes run the exit handler of the control left and the enter
// handler of the control entered. The Qt window shows this model and forwards its events;
// tests drive it directly with a scripted WindowUi.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "app/print_command.h"
#include "app/recent_files.h"
#include "app/serial_dialog.h"
#include "app/symbol_picker.h"
#include "app/window_layout.h"
#include "app/window_ui.h"
#include "document/document.h"
#include "editing/document_files.h"
#include "editing/document_settings.h"
#include "editing/editing_context.h"
#include "editing/following_changes.h"
#include "editing/insertions.h"
#include "editing/line_editors.h"
#include "editing/property_editors.h"
#include "editing/segment_list.h"
#include "editing/segment_preview.h"
#include "editing/undo_history.h"
#include "layout/measure.h"

namespace qx {

class MainWindowModel {
 public:
  MainWindowModel(WindowUi& ui, std::unique_ptr<RowStore> store, TextCanvas& measure_canvas,
                  TextCanvas& glyph_canvas);
  ~MainWindowModel();

  // --- The window ----------------------------------------------------------------------
  // Lays the window out for the screen and starts an empty Document in the working table
  // (or restores the table left there by a run that did not end, when the operator agrees).
  void Start(int screen_width, int screen_height, std::filesystem::path app_dir,
             const WorkingTableStart& working_table);
  // Runs one event of the window. A failure of the working table stops that step only:
  // it is told, what the step left half-way is put right, and the editor goes on.
  // Returns false when the step failed.
  bool Run(const std::function<void()>& event);
  void OnActivated();
  bool CanClose();  // true when the window may close
  void OnHelpButton();
  const WindowLayout& layout() const { return layout_; }
  // The window's title for the Document as it is now.
  std::string WindowTitle() const;
  bool help_opened_from_app_dir() const { return help_cwd_ok_; }

  // --- Routing ---------------------------------------------------------------------------
  // Moves the focus as the operator or the program does: the exit handler of the control
  // that had it runs, then the enter handler of the new one.
  void Focus(Control c);
  Control focus() const { return ctx_.focus(); }
  // The operator picks entry `index` of a selector (the Segment's, the document's, or the
  // font face).
  void PickSelector(Control selector, int index);
  // The serial-number dialog and the symbol picker, shown modally over the line being edited.
  void OnSerialButton();
  // Text pasted into a line editor. Several lines (copied from a spreadsheet, say) are
  // offered as one Segment a line, put after the current Segment; otherwise, or when
  // the operator declines, the text goes into the line.
  void PasteText(Control line, std::string_view utf8);
  // The import command: a workbook chosen (or `given`), the import window, and the rows
  // imported only when the operator confirms there.
  void OnImportButton(const std::filesystem::path* given = nullptr);
  void OnSymbolButton();

  // --- Undo and redo ----------------------------------------------------------------------
  // Offered when there is a step to take back (or make again) and nothing is printing.
  bool CanUndo() const;
  bool CanRedo() const;
  // "撤销 <step>", "重做 <step>".
  std::string UndoText() const { return history_.UndoText(); }
  std::string RedoText() const { return history_.RedoText(); }
  void Undo();
  void Redo();
  // Names the step the running event makes after a control (StepName).
  void NameStep(Control c);
  UndoHistory& history() { return history_; }
  // Called when the undo or redo command changed (offered, or named after another step)
  // once an event has ended.
  void SetUndoRedoHandler(std::function<void()> f) { on_undo_redo_ = std::move(f); }

  // --- Files from outside the dialogs -------------------------------------------------------
  // What a file given by name (dropped on the window, picked from the recent files) is to
  // the window: a document file to open, a workbook to import, or neither.
  enum class FileKind { kDocument, kWorkbook, kOther };
  static FileKind KindOf(const std::filesystem::path& file);
  // Whether the command `file` would run is offered now (its button is enabled).
  bool CanOpen(const std::filesystem::path& file) const;
  // Opens a document file or imports a workbook through the same steps as the open and
  // import commands, with their questions and checks; only the file dialog is skipped.
  // Any other file is refused with a message.
  void OpenGivenFile(const std::filesystem::path& file);
  // Opens entry `index` of the recent files; a file that is gone is told and dropped.
  void OpenRecentFile(std::size_t index);
  RecentFiles& recent_files() { return recent_; }

  // --- The parts -------------------------------------------------------------------------
  EditingContext& context() { return ctx_; }
  const EditingContext& context() const { return ctx_; }
  const ControlStates& controls() const { return ctx_.controls; }
  LineEditors& line_editors() { return lines_; }
  PropertyEditors& property_editors() { return properties_; }
  SegmentList& segment_list() { return list_; }
  DocumentSettingsEditors& settings() { return settings_; }
  FollowingSegmentChanges& following() { return following_; }
  Insertions& insertions() { return insertions_; }
  DocumentFiles& files() { return files_; }
  PrintCommand& printing() { return printing_; }
  SegmentPreviewer& preview() { return preview_; }
  SerialNumberDialog& serial_dialog() { return serial_dialog_; }
  SymbolPicker& symbol_picker() { return symbol_picker_; }

  DocumentState& doc() { return doc_; }
  const DocumentState& doc() const { return doc_; }
  SegmentTable& table() { return doc_.table; }
  GlyphMeasurer& measurer() { return measurer_; }

  // Called after any change the view must show (rows, fields, states).
  void SetRefreshHandler(std::function<void()> f) { ctx_.on_refresh = std::move(f); }
  // Called when only the status bar and the current row changed (progress of a job).
  void SetStatusHandler(std::function<void()> f) { ctx_.on_status = std::move(f); }
  // Asks the view to close the window (a close requested while a stopped job ended).
  void SetCloseHandler(std::function<void()> f) { ctx_.on_close = std::move(f); }

 private:
  void RouteFocus(Control c);
  void RunExit(Control c);
  void RunEnter(Control c);

  WindowUi& ui_;
  DocumentState doc_;
  GlyphMeasurer measurer_;
  EditingContext ctx_;
  SegmentList list_;
  LineEditors lines_;
  PropertyEditors properties_;
  DocumentSettingsEditors settings_;
  FollowingSegmentChanges following_;
  Insertions insertions_;
  DocumentFiles files_;
  SegmentPreviewer preview_;
  PrintCommand printing_;
  SerialNumberDialog serial_dialog_;
  SymbolPicker symbol_picker_;
  WindowLayout layout_;
  RecentFiles recent_;
  bool help_cwd_ok_ = false;
  UndoHistory history_;
  int run_depth_ = 0;  // events nest while a modal dialog runs
  std::function<void()> on_undo_redo_;
  std::string undo_redo_shown_;  // the commands as last told to the view
};

}  // namespace qx
