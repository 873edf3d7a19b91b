// The main window, TPrintForm, as a model without any toolkit: the states of its
// controls, the Document behind them, and one handler per control event. The Qt window
// shows this model and forwards its events here; tests drive it directly with a scripted Ui.
//
// Handlers carry the names of the window's events. Those of the Segment list live in
// list_operations.cpp, the property editors' and the line editors' in src/editing/.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/controls.h"
#include "app/print_dialog.h"
#include "app/serial_dialog.h"
#include "app/symbol_picker.h"
#include "app/ui.h"
#include "document/document.h"
#include "document/working_table.h"
#include "device/print_job.h"
#include "layout/image.h"
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
struct BAKUPPARA {
  int32_t RepeatOnEntry = 0;
  int32_t LengthOnEntry = 0;
  std::string SizeOnPick;
  std::string OrientationOnPick;
  int32_t SpacingOnEntry = 0;
  int32_t MaterialOnEntry = 0;
  int32_t FaceOnEntry = 0;
};

// Positions and sizes the start-up layout gives the window for its screen.
struct FormLayout {
  int max_width = 0, max_height = 0;
  int grid_width = 0, grid_height = 0;
  int tool_panel_width = 0;
  int status0_width = 0;
  int flin_left = 0, flin_top = 0, flin_width = 0;
  int slin_left = 0, slin_top = 0, slin_width = 0;
  bool logo_visible = true;
  int logo_left = 0;
  int grid_col0_width = 30;
  int grid_text_col_width = 0;  // columns 1 and 2
};
FormLayout ComputeLayout(int screen_width, int screen_height);

// The print preview of the current Segment.
struct SegmentPreview {
  std::optional<ItemImage> item;  // empty when the Segment would be skipped at print
  double length_mm = 0;           // of the item on the tape, blank feed included
  std::string note;               // why nothing prints, for the operator
};

class TPrintForm {
 public:
  TPrintForm(Ui& ui, std::unique_ptr<RowStore> store, TextCanvas& measure_canvas,
             TextCanvas& glyph_canvas);
  ~TPrintForm();

  // --- Start-up, close, help (the window) --------------------------------------------
  // Lays the window out for the screen and starts an empty Document in `working_table`
  // (or restores the table left there by a run that did not end, when `offer_restore`
  // and the operator agrees).
  void FormCreate(int screen_width, int screen_height, std::filesystem::path app_dir,
                  std::filesystem::path working_table, bool offer_restore = false);
  void FormActivate();
  bool FormCloseQuery();  // true when the window may close
  void AboutBtnClick();
  void ReturnToEditing();
  void NewDocumentWindow();  // NewDocument with the window side
  void FocusLineEnd(int line);  // 0 upper, 1 lower

  // --- Document files, export, import --------------------------------------------------
  void OpenFilebtn();
  // Opens `file` as the open command does once the operator has chosen it (the file the
  // desktop hands the program on its command line).
  void OpenDocumentFile(const std::filesystem::path& file);
  void CloseFilebtn();
  void SaveFileBtn();
  void SaveFileAsBtn();
  bool SaveBeforeExit();  // true when the window may close
  void ExportFileBtn();
  void OpenExcelBtnClick();

  // --- Insertions: superscripts, serial numbers, symbols ------------------------------
  // (src/editing/insertions.cpp)
  // A superscript or subscript prefix at the caret of the upper line.
  void UpBiaoClick();
  void DwBiaoClick();
  // The symbol picker, shown modally; it inserts at the caret of the active line.
  void FuhaoBtnClick();
  // The serial-number dialog (shown by XuhaoBitClick) and the symbol picker, created once.
  TXuhoForm& serial_dialog() { return xuho_; }
  TFuhaoForm& symbol_picker() { return fuhao_; }
  // --- end of insertions ---

  // --- Document settings and changes to the following Segments ------------------------
  // (src/editing/settings_editors.cpp)
  // The font faces the font-face selector offers, in its order (the view fills it from
  // the installed faces). The document's face may be missing from the list.
  void SetFaceItems(std::vector<std::string> faces) { face_items_ = std::move(faces); }
  const std::vector<std::string>& FaceItems() const { return face_items_; }
  // The face the line editors show the text in (bold: doc().settings.EditorFontBold).
  // A refused face puts the selector back, so the editors' face is always its text.
  const std::string& editor_face() const { return doc_.settings.ZitiBox; }
  void ZitiBoxEnter();
  void ZitiBoxChange();
  void BlodBtnClick();  // the bold switch flips, then its click
  void MatBoxEnter();
  void MatBoxChange();
  void MatBoxExit();
  void CutBoxEnter();
  void CutBoxChange();
  void CutBoxExit();
  void PlBoxEnter();
  void PlBoxChange();
  void PlBoxExit();
  void ZjBoxEnter();
  void ZjBoxChange();
  void ZjBoxExit();
  // The operator picks entry `index` of a document-settings selector (MatBox, CutBox,
  // PlBox, ZjBox, NdBox) or of the font-face selector: enter, the pick, change.
  void PickSetting(Ctl selector, int index);
  void PickFace(int index);
  // Copy one property of the current Segment to it and every Segment after it.
  void PitchLenBtnClick();
  void RepBtnClick();
  void ZihaoBtnClick();
  void DirxBtnClick();
  void XiushiBtnClick();
  // --- end of settings ---

  // --- Printing ----------------------------------------------------------------------
  // The printers are reached through `t` (real, virtual or both); none until it is set.
  void SetTransport(Transport& t);
  void PrintFileBtn();
  void StopPrtBtn();
  void Timer1Timer();
  // The job's waits: both keep dispatching the window's events.
  void PumpWait(uint32_t ms);
  void WaitTick();
  TPrtSelForm& print_dialog() { return *prt_sel_; }
  PrintJob& print_job() { return job_; }
  DeviceTable& devices() { return devices_; }
  const WalkCounts& last_job_counts() const { return last_counts_; }
  bool timer1_enabled() const { return timer1_enabled_; }

  // --- Segment list ------------------------------------------------------------------
  void PostClick() { StoreSegment(); }
  void StoreSegment();
  void AppendClick() { AppendSegment(); }
  void AppendSegment();
  void InsertClick();
  void DeleteClick();
  void FirstClick();
  void LastClick();
  void DBGrid1Enter();
  void DBGrid1CellClick(int row);  // 1-based row clicked in the grid
  void GroupBox1Enter();
  void GroupBox3Enter();
  void XuhaoBitClick();
  void DisableListButtons();

  // --- Property editors --------------------------------------------------------------
  void PlenEditEnter();
  void OnlenExit();
  void PlenEditKeyUp(int key);
  void RepEditEnter();
  void OnrepExit();
  void RepEditKeyUp(int key);
  // A key typed into the length or repeat editor: digits, "+" and "-" only.
  void NumberEditKeyPress(Ctl editor, char ch);
  void ZhBoxClick();
  void ZhBoxChange();
  void ZhBoxExit();
  void DirxBoxClick();
  void DirxBoxChange();
  void DirxBoxExit();
  void XsBoxClick();
  void XsBoxChange();
  void XsBoxExit();
  // The operator picks an entry of a selector: click, the pick reaches the field, change.
  void PickSelector(Ctl selector, int index);

  // --- Line editors ------------------------------------------------------------------
  void FlinEditEnter();
  void OnFlinExit();
  void FlinEditChange();
  void FlinEditClick();
  void FlinEditKeyDown(int key);
  void FlinEditKeyPress(unsigned char key);
  void SlinEditEnter();
  void OnSlinExit();
  void SlinEditChange();
  void OnSlinClick();
  void SlinEditKeyDown(int key);
  void SlinEditKeyPress(unsigned char key);

  // Typing into a line editor as the keyboard and input methods do: each character's GBK
  // bytes go to the key handler one at a time, lead byte first, and the character enters
  // the text only when every byte is accepted under the maximum-length rule. A character
  // GBK cannot hold is refused with a message. Returns the characters inserted.
  int TypeText(Ctl editor, std::string_view utf8);
  void PressBackspace(Ctl editor);
  void PressDelete(Ctl editor);
  void PressEnter(Ctl editor);
  // Pasted text: not measured; never takes the line past 100 bytes or splits a character.
  void PasteText(Ctl editor, std::string_view utf8);
  // Caret and selection set by the operator (mouse, arrow keys), in bytes; snapped to
  // character boundaries.
  void SetCaret(Ctl editor, int caret, int sel_start = 0, int sel_length = 0);

  // --- Focus -------------------------------------------------------------------------
  // Moves the focus as the operator or the program does: the exit handler of the control
  // that had it runs, then the enter handler of the new one.
  void Focus(Ctl c);
  Ctl focus() const { return focus_; }

  // --- State -------------------------------------------------------------------------
  bool Enabled(Ctl c) const;  // effective: the control and its container
  bool OwnEnabled(Ctl c) const { return enabled_[static_cast<std::size_t>(c)]; }
  void SetEnabled(Ctl c, bool on) { enabled_[static_cast<std::size_t>(c)] = on; }
  const LineEditor& editor(Ctl c) const;
  std::string NumberEditText(Ctl c) const;
  void SetNumberEditText(Ctl c, std::string text);
  int SelectorIndex(Ctl c) const;
  std::string SelectorText(Ctl c) const;  // UTF-8
  std::span<const std::string_view> SelectorItems(Ctl c) const;
  const std::string& status(int panel) const { return status_[static_cast<std::size_t>(panel)]; }
  const FormLayout& layout() const { return layout_; }
  bool help_opened_from_app_dir() const { return help_cwd_ok_; }

  DocumentState& doc() { return doc_; }
  const DocumentState& doc() const { return doc_; }
  SegmentTable& table() { return doc_.table; }
  FILEPARA& para() { return doc_.para; }
  SegmentValues& values() { return doc_.values; }
  BAKUPPARA& bak() { return bak_; }
  GlyphMeasurer& measurer() { return measurer_; }
  const std::filesystem::path& app_dir() const { return app_dir_; }
  bool& StopRequested() { return job_.StopRequested; }

  // Called after any change the view must show (rows, fields, states).
  void SetRefreshHandler(std::function<void()> f) { on_refresh_ = std::move(f); }
  // Called when only the status bar and the current row changed (progress of a job).
  void SetStatusHandler(std::function<void()> f) { on_status_ = std::move(f); }
  // Asks the view to close the window (a close requested while a stopped job ended).
  void SetCloseHandler(std::function<void()> f) { on_close_ = std::move(f); }

  // The current Segment as it would print (default calibration until a printer reports one).
  SegmentPreview PreviewCurrent();

 private:
  LineEditor& Line(Ctl c);
  bool IsLine(Ctl c) const { return c == Ctl::FlinEdit || c == Ctl::SlinEdit; }
  void ListButtons(bool first, bool last, bool append, bool insert, bool del, bool post);
  void SetInsertTools(bool on);
  void SetStatus(int panel, std::string text) { status_[static_cast<std::size_t>(panel)] = std::move(text); }
  // Shows the current row in the bound editors (texts change without the operator).
  void RefreshBound();
  void Changed();
  // Writes an editor's text into its field (the editor is bound to the current row).
  void SetLineText(Ctl c, std::string text, bool run_change_handler);
  void EditorChanged(Ctl c);
  void KeyPress(Ctl c, unsigned char key);
  void ReplaceSelection(Ctl c, std::string_view bytes);
  int LineLengthOf(std::string_view text, bool two_lines);
  void RestoreLeftover();
  enum class GiveUp { kOpen, kNew, kExit, kImport };
  bool GiveUpDocument(GiveUp command);  // true when the command may go on
  bool WriteAndDrop(const std::filesystem::path& file);
  bool LoadDocument(const std::filesystem::path* given = nullptr);
  void OpenDocument(const std::filesystem::path* given);
  void SaveDocument(bool ask);
  void ImportExcel();
  void DropWorkingTable();
  FileDialog DocumentDialog(bool save) const;
  void RunExit(Ctl c);
  void RunEnter(Ctl c);
  // The number editors hand their text to the field when left; false when it is not a
  // whole number (the editor then keeps the focus and its exit check does not run).
  bool CommitNumberEdit(Ctl c);

  Ui& ui_;
  DocumentState doc_;
  BAKUPPARA bak_;
  GlyphMeasurer measurer_;
  ImageBuilder preview_builder_;
  std::array<bool, kControlCount> enabled_{};
  LineEditor flin_, slin_;
  std::string plen_text_, rep_text_;
  Ctl focus_ = Ctl::None;
  std::array<std::string, 2> status_;
  FormLayout layout_;
  std::filesystem::path app_dir_;
  // Insertions' own state.
  // The prefix of a superscript (true) or subscript at the caret of the upper line.
  void InsertMark(bool superscript);
  // What the serial-number dialog reads and does in the window.
  SerialSeries CurrentSeries() const;
  bool CommitSeries(const SerialSeries& s, bool insert);
  // Inserts a symbol of the picker at the caret of the active line, if the line still fits.
  void InsertSymbol(std::string_view symbol);
  TXuhoForm xuho_{ui_, SerialDialogHost{[this] { return CurrentSeries(); },
                                        [this](const SerialSeries& s, bool insert) {
                                          return CommitSeries(s, insert);
                                        },
                                        [this] { doc_.table.Store(); }}};
  TFuhaoForm fuhao_{SymbolPickerHost{[this] { return doc_.settings.ZitiBox; },
                                     [this](std::string_view s) { InsertSymbol(s); }}};
  // --- end of insertions' state ---
  // Settings editors' own state.
  std::vector<std::string> face_items_;
  std::string face_on_entry_;  // the font-face selector's text when it was entered
  // Stores the current Segment, then stores it again with its 1-based position as number.
  void StoreCurrentNumbered();
  // Remembers the current Segment and detaches the bound editors, with UserEditing off,
  // so that a walk over the table runs no editor's handler: the start of every check
  // over several Segments.
  Bookmark DetachAt();
  // The end of such a walk: back to `at` (when given) and the editors attached; the
  // working values of the Segment then current are reloaded when `reload`.
  void ReturnAndAttach(const Bookmark* at, bool reload);
  // Writes `set` into the Segment at `at` and every one after it, as one durable step.
  void WriteFollowing(const Bookmark& at, const std::function<void()>& set);
  // A change to the following Segments refused by one of its checks: nothing was written.
  void RefuseFollowing(const Bookmark& at, std::string_view message);
  // --- end of settings' state ---
  class JobHost;
  std::unique_ptr<Transport> null_transport_;
  Transport* transport_ = nullptr;
  DeviceTable devices_;
  PrintJob job_;
  std::unique_ptr<TPrtSelForm> prt_sel_;
  ImageBuilder print_builder_;
  WalkCounts last_counts_;
  bool timer1_enabled_ = false;
  bool stop_pressed_ = false;   // the stop button was pressed during the current job
  bool close_after_job_ = false;
  bool help_cwd_ok_ = false;
  bool refreshing_ = false;
  bool key_refused_ = false;  // the last printable key was refused
  std::string preview_face_;
  bool preview_bold_ = false;
  std::function<void()> on_refresh_;
  std::function<void()> on_status_;
  std::function<void()> on_close_;
};

}  // namespace qx
