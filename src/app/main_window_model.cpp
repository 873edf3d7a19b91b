#include "app/main_window_model.h"

#include "app/import_window.h"

#include <algorithm>
#include <cctype>

#include "app/window_title.h"
#include "editing/messages.h"

namespace qx {

MainWindowModel::MainWindowModel(WindowUi& ui, std::unique_ptr<RowStore> store,
                                 TextCanvas& measure_canvas, TextCanvas& glyph_canvas)
    : ui_(ui),
      doc_(std::move(store)),
      measurer_(measure_canvas),
      ctx_(ui, doc_, measurer_),
      list_(ctx_),
      lines_(ctx_, list_),
      properties_(ctx_),
      settings_(ctx_),
      following_(ctx_),
      insertions_(ctx_, lines_),
      files_(ctx_),
      preview_(ctx_, glyph_canvas),
      printing_(ctx_, ui, glyph_canvas),
      serial_dialog_(ui, SerialDialogHost{[this] { return insertions_.CurrentSeries(); },
                                          [this](const SerialSeries& s, bool insert) {
                                            return insertions_.CommitSeries(s, insert);
                                          },
                                          [this] { insertions_.GiveUpSeries(); }}),
      symbol_picker_(
          SymbolPickerHost{[this] { return doc_.settings.font_face; },
                           [this](std::string_view s) { insertions_.InsertSymbol(s); }}),
      history_(ctx_) {
  ctx_.SetFocusRouter([this](Control c) { RouteFocus(c); });
  files_.SetFileUsedHandler([this](const std::filesystem::path& file) { recent_.Add(file); });
  printing_.SetGoToSegment([this](int row) {
    list_.OnGridRowClicked(row);
    ctx_.Changed();
  });
}

MainWindowModel::~MainWindowModel() = default;

// --- The window --------------------------------------------------------------------------

void MainWindowModel::Start(int screen_width, int screen_height, std::filesystem::path app_dir,
                            const WorkingTableStart& working_table) {
  layout_ = ComputeLayout(screen_width, screen_height);
  ctx_.app_dir = std::move(app_dir);
  files_.StartSession(working_table);
  history_.TakeUpTable();
}

bool MainWindowModel::Run(const std::function<void()>& event) {
  // The outermost event is one step of the undo history; the events of a modal dialog it
  // shows belong to it.
  struct Step {
    MainWindowModel& m;
    explicit Step(MainWindowModel& model) : m(model) {
      if (m.run_depth_++ == 0) m.history_.BeginStep();
    }
    ~Step() {
      if (--m.run_depth_ != 0) return;
      const bool was_changed = m.doc_.file_state.DocModified;
      m.history_.EndStep();
      // The history decides the changed flag once the event is over: the title follows.
      if (m.doc_.file_state.DocModified != was_changed) m.ctx_.Changed();
      std::string shown = m.UndoText() + '\n' + m.RedoText() + '\n' +
                          char('0' + m.CanUndo()) + char('0' + m.CanRedo());
      if (shown != m.undo_redo_shown_) {
        m.undo_redo_shown_ = std::move(shown);
        if (m.on_undo_redo_) m.on_undo_redo_();
      }
    }
  } step(*this);
  try {
    event();
    return true;
  } catch (const TableError& e) {
    // The step stopped where the store failed: a walk may have left the editors detached,
    // and a print that had not started yet leaves the Document busy.
    doc_.table.AttachAllControls();
    if (!printing_.running()) doc_.file_state.DocBusy = false;
    ctx_.ReportStorageFailure(e.what());
    ctx_.Changed();
    return false;
  }
}

void MainWindowModel::OnActivated() {
  Focus(Control::UpperLine);
}

bool MainWindowModel::CanClose() {
  if (printing_.HoldsClose()) return false;
  return files_.SaveBeforeExit();
}

void MainWindowModel::OnHelpButton() {
  // The help pages are opened from the program's folder, so that their relative links
  // resolve there.
  std::error_code ec;
  const std::filesystem::path saved = std::filesystem::current_path(ec);
  std::filesystem::current_path(ctx_.app_dir, ec);
  help_cwd_ok_ = !ec;
  // Without a viewer on the desktop (no browser set up, no xdg-open) the program shows the
  // pages itself.
  const std::filesystem::path page = ctx_.app_dir / "help" / "index.html";
  if (!ui_.OpenWithDesktop(page)) ui_.ShowHelp(page);
  if (!saved.empty()) std::filesystem::current_path(saved, ec);
}

std::string MainWindowModel::WindowTitle() const {
  return qx::WindowTitle(doc_.file_state);
}

// --- Undo and redo --------------------------------------------------------------------------

bool MainWindowModel::CanUndo() const {
  return history_.CanUndo() && !printing_.running() && !doc_.file_state.DocBusy;
}

bool MainWindowModel::CanRedo() const {
  return history_.CanRedo() && !printing_.running() && !doc_.file_state.DocBusy;
}

void MainWindowModel::Undo() {
  if (CanUndo()) history_.Undo();
}

void MainWindowModel::Redo() {
  if (CanRedo()) history_.Redo();
}

void MainWindowModel::NameStep(Control c) {
  ctx_.NameStep(StepName(c));
}

// --- Files from outside the dialogs ---------------------------------------------------------

MainWindowModel::FileKind MainWindowModel::KindOf(const std::filesystem::path& file) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == ".kel") return FileKind::kDocument;
  for (const char* table : {".xls", ".xlsx", ".ods", ".csv", ".tsv", ".txt"})
    if (ext == table) return FileKind::kWorkbook;
  return FileKind::kOther;
}

bool MainWindowModel::CanOpen(const std::filesystem::path& file) const {
  switch (KindOf(file)) {
    case FileKind::kDocument:
      return ctx_.controls.Enabled(Control::OpenButton);
    case FileKind::kWorkbook:
      return ctx_.controls.Enabled(Control::ImportExcelButton);
    default:
      return false;
  }
}

void MainWindowModel::OpenGivenFile(const std::filesystem::path& file) {
  const FileKind kind = KindOf(file);
  if (kind == FileKind::kOther) {
    std::string text(msg::kCannotOpenFileKind);
    text.replace(text.find("%s"), 2, file.string());
    ui_.Message(text, msg::kInfo);
    return;
  }
  if (!CanOpen(file)) return;  // not while printing, nor while a number editor holds the focus
  if (kind == FileKind::kDocument) {
    files_.OpenDocumentFile(file);
  } else {
    OnImportButton(&file);
  }
  ctx_.Changed();
}

void MainWindowModel::OpenRecentFile(std::size_t index) {
  if (index >= recent_.entries().size()) return;
  const std::filesystem::path file = recent_.entries()[index];
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    recent_.Remove(file);
    std::string text(msg::kRecentFileMissing);
    text.replace(text.find("%s"), 2, file.string());
    ui_.Message(text, msg::kInfo);
    ctx_.Changed();
    return;
  }
  OpenGivenFile(file);
}

// --- Routing -------------------------------------------------------------------------------

void MainWindowModel::Focus(Control c) {
  ctx_.Focus(c);
}

void MainWindowModel::RouteFocus(Control c) {
  const Control old = ctx_.focus();
  if (old == c) return;
  // Leaving an editor commits what it holds: the step is named after it.
  if (!EditingContext::IsLine(old) && old != Control::None && !Info(old).caption.empty())
    ctx_.NameStep(StepName(old));
  ctx_.SetFocusOnly(c);
  RunExit(old);
  if (ctx_.focus() != c) return;  // the exit handler sent the focus elsewhere
  const Control group = Info(c).parent;
  if (group != Info(old).parent) {
    if (group == Control::SegmentGroup) properties_.OnGroupEntered();
    if (group == Control::DocumentGroup) settings_.OnGroupEntered();
  }
  RunEnter(c);
  ctx_.Changed();
}

void MainWindowModel::RunExit(Control c) {
  switch (c) {
    case Control::UpperLine:
      lines_.OnUpperLineLeft();
      break;
    case Control::LowerLine:
      lines_.OnLowerLineLeft();
      break;
    case Control::LengthEdit:
    case Control::RepeatEdit:
      if (!properties_.CommitNumberEdit(c)) {
        // Not a whole number: the editor keeps the focus with its text selected, so that
        // the next key replaces it.
        ctx_.SetFocusOnly(c);
        ctx_.SetNumberEditAllSelected(c, true);
        ctx_.Changed();
        return;
      }
      ctx_.SetNumberEditAllSelected(c, false);
      if (c == Control::LengthEdit) {
        properties_.OnLengthEditLeft();
      } else {
        properties_.OnRepeatEditLeft();
      }
      break;
    case Control::SizeSelector:
      properties_.OnSizeSelectorLeft();
      break;
    case Control::OrientationSelector:
      properties_.OnOrientationSelectorLeft();
      break;
    case Control::DecorationSelector:
      properties_.OnDecorationSelectorLeft();
      break;
    case Control::MaterialSelector:
      settings_.OnMaterialLeft();
      break;
    case Control::CutSelector:
      settings_.OnCutLeft();
      break;
    case Control::AlignmentSelector:
      settings_.OnAlignmentLeft();
      break;
    case Control::SpacingSelector:
      settings_.OnSpacingLeft();
      break;
    default:
      break;
  }
}

void MainWindowModel::RunEnter(Control c) {
  switch (c) {
    case Control::UpperLine:
      lines_.OnUpperLineEntered();
      break;
    case Control::LowerLine:
      lines_.OnLowerLineEntered();
      break;
    case Control::LengthEdit:
      properties_.OnLengthEditEntered();
      break;
    case Control::RepeatEdit:
      properties_.OnRepeatEditEntered();
      break;
    case Control::SegmentGrid:
      list_.OnGridEntered();
      break;
    case Control::FontFaceSelector:
      settings_.OnFontFaceEntered();
      break;
    case Control::MaterialSelector:
      settings_.OnMaterialEntered();
      break;
    case Control::CutSelector:
      settings_.OnCutEntered();
      break;
    case Control::AlignmentSelector:
      settings_.OnAlignmentEntered();
      break;
    case Control::SpacingSelector:
      settings_.OnSpacingEntered();
      break;
    default:
      break;
  }
}

void MainWindowModel::PickSelector(Control selector, int index) {
  NameStep(selector);
  switch (Info(selector).parent) {
    case Control::SegmentGroup:
      return properties_.Pick(selector, index);
    case Control::DocumentGroup:
      return settings_.Pick(selector, index);
    default:
      break;
  }
  if (selector == Control::FontFaceSelector) settings_.PickFace(index);
}

void MainWindowModel::OnImportButton(const std::filesystem::path* given) {
  const std::optional<std::filesystem::path> file = given ? *given : files_.ChooseImportFile();
  if (!file) return;
  std::unique_ptr<Workbook> book = files_.OpenImportSource(*file);
  if (!book) return;
  ImportWindow window(*file, std::move(book), files_.SegmentsToFollow());
  if (ui_.ShowImportWindow(window) != ImportWindow::kResultImport) return;
  const ImportOptions options = window.options();
  files_.ImportFromSource(*file, window.workbook(), options);
}

void MainWindowModel::PasteText(Control line, std::string_view utf8) {
  int lines = 0;
  std::size_t start = 0;
  while (start <= utf8.size()) {
    std::size_t end = utf8.find('\n', start);
    if (end == std::string_view::npos) end = utf8.size();
    const std::string_view text = utf8.substr(start, end - start);
    if (text.find_first_not_of(" \t\r") != std::string_view::npos) ++lines;
    start = end + 1;
  }
  if (lines >= 2 && EditingContext::IsLine(line) && ctx_.controls.Enabled(line) &&
      ui_.AskYesNo(msg::kPasteAsSegments, msg::kConfirm, false) == Answer::kYes)
    return files_.PasteRows(utf8);
  lines_.PasteText(line, utf8);
}

void MainWindowModel::OnSerialButton() {
  NameStep(Control::SerialButton);
  insertions_.BeforeSerialDialog();
  ui_.ShowSerialDialog(serial_dialog_);  // the dialog inserts or changes the series
  insertions_.AfterSerialDialog();
}

void MainWindowModel::OnSymbolButton() {
  NameStep(Control::SymbolButton);
  insertions_.BeforeSymbolPicker();
  ui_.ShowSymbolPicker(symbol_picker_);  // the picker inserts symbols
  insertions_.AfterSymbolPicker();
}

}  // namespace qx
