#include "app/main_form.h"

#include <unistd.h>

#include <algorithm>

#include "app/messages.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "layout/fit.h"
#include "layout/tape.h"

namespace qx {

FormLayout ComputeLayout(int w, int h) {
  FormLayout l;
  l.max_width = w;
  l.max_height = h;
  l.grid_width = w - 160;
  l.tool_panel_width = l.grid_width;
  l.status0_width = w / 2;
  if (h > 760) {
    l.slin_left = 10;
    l.slin_top = h - 170;
    l.slin_width = w - 40;
    l.flin_left = 10;
    l.flin_top = l.slin_top - 80;
    l.flin_width = w - 40;
    l.grid_height = l.flin_top - 110;
    l.logo_visible = true;
    l.logo_left = (l.tool_panel_width - 783) / 2 + 623;
  } else {
    l.logo_visible = false;
    l.slin_left = 136;
    l.slin_top = h - 160;
    l.slin_width = w - 175;
    l.flin_left = 136;
    l.flin_top = l.slin_top - 70;
    l.flin_width = w - 175;
    l.grid_height = l.flin_top - 98;
  }
  l.grid_text_col_width = (l.grid_width - 40) / 2;
  return l;
}

TPrintForm::TPrintForm(Ui& ui, std::unique_ptr<RowStore> store, TextCanvas& measure_canvas,
                       TextCanvas& glyph_canvas)
    : ui_(ui),
      doc_(std::move(store)),
      measurer_(measure_canvas),
      preview_builder_(glyph_canvas, measurer_),
      print_builder_(glyph_canvas, measurer_) {
  enabled_.fill(true);
  null_transport_ = std::make_unique<NullTransport>();
  transport_ = null_transport_.get();
  prt_sel_ = std::make_unique<TPrtSelForm>(ui_, *transport_, devices_, job_);
  prt_sel_->FormCreate();
  doc_.table.SetChangeHandler([this] { RefreshBound(); });
}

TPrintForm::~TPrintForm() { doc_.table.SetChangeHandler(nullptr); }

void TPrintForm::Changed() {
  if (on_refresh_) on_refresh_();
}

bool TPrintForm::Enabled(Ctl c) const {
  const Ctl parent = Info(c).parent;
  return OwnEnabled(c) && (parent == Ctl::None || OwnEnabled(parent));
}

LineEditor& TPrintForm::Line(Ctl c) { return c == Ctl::SlinEdit ? slin_ : flin_; }

const LineEditor& TPrintForm::editor(Ctl c) const { return c == Ctl::SlinEdit ? slin_ : flin_; }

std::string TPrintForm::NumberEditText(Ctl c) const {
  return c == Ctl::RepEdit ? rep_text_ : plen_text_;
}

void TPrintForm::SetNumberEditText(Ctl c, std::string text) {
  (c == Ctl::RepEdit ? rep_text_ : plen_text_) = std::move(text);
  Changed();
}

std::span<const std::string_view> TPrintForm::SelectorItems(Ctl c) const {
  static const auto utf8_items = [](std::span<const CodedText> coded) {
    std::vector<std::string> owned;
    for (const CodedText& t : coded) owned.push_back(gbk::ToUtf8(t.text));
    return owned;
  };
  static const std::vector<std::string> sizes = utf8_items(SizeTexts());
  static const std::vector<std::string> orientations = utf8_items(OrientationTexts());
  static const std::vector<std::string> decorations = utf8_items(DecorationTexts());
  static const auto views = [](const std::vector<std::string>& v) {
    return std::vector<std::string_view>(v.begin(), v.end());
  };
  static const std::vector<std::string_view> size_views = views(sizes),
                                             orientation_views = views(orientations),
                                             decoration_views = views(decorations);
  switch (c) {
    case Ctl::ZhBox: return size_views;
    case Ctl::DirxBox: return orientation_views;
    case Ctl::XsBox: return decoration_views;
    case Ctl::MatBox: return MaterialItems();
    case Ctl::CutBox: return CutItems();
    case Ctl::PlBox: return AlignItems();
    case Ctl::ZjBox: return SpacingItems();
    case Ctl::NdBox: return DensityItems();
    default: return {};
  }
}

int TPrintForm::SelectorIndex(Ctl c) const {
  const SettingsSelectors& s = doc_.settings;
  switch (c) {
    case Ctl::MatBox: return s.MatBox;
    case Ctl::CutBox: return s.CutBox;
    case Ctl::PlBox: return s.PlBox;
    case Ctl::ZjBox: return s.ZjBox;
    case Ctl::NdBox: return s.NdBox;
    default: break;
  }
  const std::string text = SelectorText(c);
  const auto items = SelectorItems(c);
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i] == text) return static_cast<int>(i);
  return -1;
}

std::string TPrintForm::SelectorText(Ctl c) const {
  if (!doc_.table.IsOpen() || doc_.table.IsEmpty()) return {};
  switch (c) {
    case Ctl::ZhBox: return gbk::ToUtf8(doc_.table.Text(kZihao));
    case Ctl::DirxBox: return gbk::ToUtf8(doc_.table.Text(kHengShu));
    case Ctl::XsBox: return gbk::ToUtf8(doc_.table.Text(kXiuShi));
    case Ctl::XhlxEdit: return gbk::ToUtf8(doc_.table.Text(kXuLei));
    case Ctl::FxuEdit: return gbk::ToUtf8(doc_.table.Text(kXuFirst));
    case Ctl::ExuEdit: return gbk::ToUtf8(doc_.table.Text(kXuEnd));
    default: {
      const int i = SelectorIndex(c);
      const auto items = SelectorItems(c);
      return i >= 0 && i < static_cast<int>(items.size()) ? std::string(items[static_cast<std::size_t>(i)])
                                                          : std::string();
    }
  }
}

void TPrintForm::RefreshBound() {
  if (refreshing_) return;
  refreshing_ = true;
  SegmentTable& t = doc_.table;
  const bool has_row = t.IsOpen() && !t.IsEmpty();
  // A bound editor shows the field. Showing another Segment is not an edit: the change
  // handlers are not run, so browsing never marks the Document changed.
  for (Ctl c : {Ctl::FlinEdit, Ctl::SlinEdit}) {
    const std::string text = has_row ? t.Text(c == Ctl::FlinEdit ? kFlin : kSlin) : std::string();
    LineEditor& e = Line(c);
    if (e.text != text) {
      e.text = text;
      e.caret = std::min(e.caret, static_cast<int>(text.size()));
      e.sel_start = e.caret;
      e.sel_length = 0;
    }
  }
  if (focus_ != Ctl::PlenEdit) plen_text_ = has_row ? t.Text(kPitchLen) : std::string();
  if (focus_ != Ctl::RepEdit) rep_text_ = has_row ? t.Text(kPitchRep) : std::string();
  refreshing_ = false;
  Changed();
}

void TPrintForm::SetLineText(Ctl c, std::string text, bool run_change_handler) {
  LineEditor& e = Line(c);
  e.text = std::move(text);
  SegmentTable& t = doc_.table;
  if (t.IsOpen() && !t.IsEmpty()) {
    t.Edit();
    refreshing_ = true;  // the field follows the editor; no refresh back
    t.SetText(c == Ctl::FlinEdit ? kFlin : kSlin, e.text);
    refreshing_ = false;
  }
  if (run_change_handler) EditorChanged(c);
  Changed();
}

void TPrintForm::EditorChanged(Ctl c) {
  if (c == Ctl::FlinEdit) {
    FlinEditChange();
  } else {
    SlinEditChange();
  }
}

void TPrintForm::ListButtons(bool first, bool last, bool append, bool insert, bool del, bool post) {
  SetEnabled(Ctl::FirstBtn, first);
  SetEnabled(Ctl::LastBtn, last);
  SetEnabled(Ctl::AppendBtn, append);
  SetEnabled(Ctl::InsertBtn, insert);
  SetEnabled(Ctl::DeleteBtn, del);
  SetEnabled(Ctl::PostBtn, post);
}

void TPrintForm::SetInsertTools(bool on) {
  for (Ctl c : {Ctl::FuhaoBtn, Ctl::XuhaoBit, Ctl::UpBiaoBit, Ctl::DwBiaoBit}) SetEnabled(c, on);
}

int TPrintForm::LineLengthOf(std::string_view text, bool two_lines) {
  const LayoutContext c{measurer_, doc_.values, doc_.para};
  return LineLength(c, text, doc_.values.SerialWidth, two_lines);
}

// --- Focus ------------------------------------------------------------------------------

void TPrintForm::Focus(Ctl c) {
  if (focus_ == c) return;
  const Ctl old = focus_;
  focus_ = c;
  RunExit(old);
  if (focus_ != c) return;  // the exit handler sent the focus elsewhere
  if (Info(c).parent == Ctl::GroupBox1 && Info(old).parent != Ctl::GroupBox1) GroupBox1Enter();
  if (Info(c).parent == Ctl::GroupBox3 && Info(old).parent != Ctl::GroupBox3) GroupBox3Enter();
  RunEnter(c);
  Changed();
}

void TPrintForm::RunExit(Ctl c) {
  switch (c) {
    case Ctl::FlinEdit: OnFlinExit(); break;
    case Ctl::SlinEdit: OnSlinExit(); break;
    case Ctl::PlenEdit:
      if (!CommitNumberEdit(c)) {
        focus_ = c;  // not a whole number: the editor keeps the focus, text selected
        return;
      }
      OnlenExit();
      break;
    case Ctl::RepEdit:
      if (!CommitNumberEdit(c)) {
        focus_ = c;
        return;
      }
      OnrepExit();
      break;
    case Ctl::ZhBox: ZhBoxExit(); break;
    case Ctl::DirxBox: DirxBoxExit(); break;
    case Ctl::XsBox: XsBoxExit(); break;
    case Ctl::MatBox: MatBoxExit(); break;
    case Ctl::CutBox: CutBoxExit(); break;
    case Ctl::PlBox: PlBoxExit(); break;
    case Ctl::ZjBox: ZjBoxExit(); break;
    default: break;
  }
}

void TPrintForm::RunEnter(Ctl c) {
  switch (c) {
    case Ctl::FlinEdit: FlinEditEnter(); break;
    case Ctl::SlinEdit: SlinEditEnter(); break;
    case Ctl::PlenEdit: PlenEditEnter(); break;
    case Ctl::RepEdit: RepEditEnter(); break;
    case Ctl::DBGrid1: DBGrid1Enter(); break;
    case Ctl::ZitiBox: ZitiBoxEnter(); break;
    case Ctl::MatBox: MatBoxEnter(); break;
    case Ctl::CutBox: CutBoxEnter(); break;
    case Ctl::PlBox: PlBoxEnter(); break;
    case Ctl::ZjBox: ZjBoxEnter(); break;
    default: break;
  }
}

bool TPrintForm::CommitNumberEdit(Ctl c) {
  const std::string text = NumberEditText(c);
  SegmentTable& t = doc_.table;
  const int col = c == Ctl::RepEdit ? kPitchRep : kPitchLen;
  if (!t.IsOpen() || t.IsEmpty()) return true;
  t.Edit();
  if (text.empty()) {
    t.SetNull(col);
    return true;
  }
  // A whole number: an optional sign, then digits.
  std::size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (i == text.size() || !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                                       [](char ch) { return ch >= '0' && ch <= '9'; }))
    return false;
  const int64_t v = std::stoll(text);
  // Out of the column's range (a negative repeat): as far below the editor's range as
  // it can be stored; the exit check refuses it.
  if (c == Ctl::RepEdit && v < 0) {
    t.SetInt(col, 0);
  } else {
    t.SetInt(col, v);
  }
  return true;
}

// --- Start-up and the window side of a new Document ---------------------------------

void TPrintForm::FormCreate(int screen_width, int screen_height, std::filesystem::path app_dir,
                            std::filesystem::path working_table, bool offer_restore) {
  layout_ = ComputeLayout(screen_width, screen_height);
  app_dir_ = std::move(app_dir);
  if (offer_restore &&
      ui_.Ask(msg::kRestoreLeftover, msg::kConfirm, msg::kRestore, msg::kDiscard)) {
    doc_.para.TempPath = working_table;
    RestoreLeftover();
    return;
  }
  doc_.para.TempPath = std::move(working_table);
  NewDocumentWindow();
}

void TPrintForm::NewDocumentWindow() {
  NewDocument(doc_, doc_.para.TempPath);
  measurer_.SetFace(doc_.settings.ZitiBox);
  for (Ctl c : {Ctl::OpenBtn, Ctl::SaveBtn, Ctl::CloseBtn, Ctl::FuhaoBtn, Ctl::PitchLenBtn,
                Ctl::RepBtn, Ctl::ZihaoBtn, Ctl::DirxBtn, Ctl::XiushiBtn})
    SetEnabled(c, true);
  SetEnabled(Ctl::StopBtn, false);
  ListButtons(false, false, false, false, false, true);
  SetStatus(0, std::string(msg::kStateEditing));
  SetStatus(1, std::string(msg::kFilePath));
  RefreshBound();
}

// A working table left by a run that did not end: its stored Segments become the
// Document, which has not been saved.
void TPrintForm::RestoreLeftover() {
  SegmentTable& t = doc_.table;
  t.Bind(doc_.para.TempPath);
  t.Open();
  measurer_.SetFace(doc_.settings.ZitiBox);
  doc_.para.DocPath.clear();
  doc_.para.HasFile = false;
  doc_.para.DocModified = true;
  doc_.para.UserEditing = false;
  ReadDocumentSettings(doc_.settings, doc_.para);
  SetEnabled(Ctl::StopBtn, false);
  ListButtons(true, true, true, true, true, false);
  SetStatus(0, std::string(msg::kStateEditing));
  SetStatus(1, std::string(msg::kFilePath));
  t.First();
  ReloadWorkingValues(t, doc_.values);
  RefreshBound();
}

void TPrintForm::FormActivate() { Focus(Ctl::FlinEdit); }

bool TPrintForm::FormCloseQuery() {
  if (doc_.para.DocBusy) {
    if (!stop_pressed_) {
      ui_.Message(msg::kStopPrintingFirst, msg::kConfirm);
      return false;
    }
    // The job is still ending on the printer and walks the table: the window closes
    // when it has ended.
    close_after_job_ = true;
    return false;
  }
  return SaveBeforeExit();
}

void TPrintForm::AboutBtnClick() {
  std::error_code ec;
  const std::filesystem::path saved = std::filesystem::current_path(ec);
  std::filesystem::current_path(app_dir_, ec);
  help_cwd_ok_ = !ec;
  ui_.OpenWithDesktop(app_dir_ / "help" / "index.html");
  if (!saved.empty()) std::filesystem::current_path(saved, ec);
}

void TPrintForm::ReturnToEditing() {
  for (Ctl c : {Ctl::DBGrid1, Ctl::OpenBtn, Ctl::CloseBtn, Ctl::SaveBtn, Ctl::SaveAsBtn,
                Ctl::AboutBtn, Ctl::OpenExcelBtn, Ctl::GroupBox1, Ctl::GroupBox3, Ctl::ControlBar2,
                Ctl::ZitiBox, Ctl::BlodBtn, Ctl::FuhaoBtn, Ctl::PitchLenBtn, Ctl::RepBtn,
                Ctl::ZihaoBtn, Ctl::DirxBtn, Ctl::XiushiBtn, Ctl::FlinEdit, Ctl::SlinEdit,
                Ctl::PrintBtn, Ctl::ExportBtn})
    SetEnabled(c, true);
  SetEnabled(Ctl::StopBtn, false);
  job_.StopRequested = false;
  SetStatus(0, std::string(msg::kStateEditing));
  doc_.table.Edit();
  doc_.para.DocBusy = false;
  FocusLineEnd(0);
}

void TPrintForm::FocusLineEnd(int line) {
  doc_.table.Edit();
  const Ctl c = line == 1 ? Ctl::SlinEdit : Ctl::FlinEdit;
  Focus(c);
  LineEditor& e = Line(c);
  e.caret = static_cast<int>(e.text.size());
  e.sel_start = e.caret;
  e.sel_length = 0;
  doc_.para.SavedCaret = e.caret;
  Changed();
}

// --- Preview --------------------------------------------------------------------------

SegmentPreview TPrintForm::PreviewCurrent() {
  SegmentPreview p;
  SegmentTable& t = doc_.table;
  if (!t.IsOpen() || t.IsEmpty()) return p;
  // Decode into a copy: the working values belong to the editors.
  SegmentValues v;
  DecodePrintValues(t, doc_.para.MaterialCode, doc_.calibration, v);
  std::string serial;
  if (v.SerialType != kNoSerial) {
    serial = SerialText(v.SerialType, v.SerialFirst, v.SerialLast);
    if (v.SerialType == kSerialDecimal) v.SerialWidth = static_cast<uint8_t>(serial.size());
  }
  if (preview_face_ != doc_.settings.ZitiBox || preview_bold_ != doc_.settings.BlodBtn) {
    preview_face_ = doc_.settings.ZitiBox;
    preview_bold_ = doc_.settings.BlodBtn;
    preview_builder_.renderer().SelectFont(preview_face_, preview_bold_);
  }
  const LayoutContext c{measurer_, v, doc_.para, serial};
  ItemImage img;
  const std::string flin = t.Text(kFlin), slin = t.Text(kSlin);
  switch (MakeItem(preview_builder_, c, flin, slin, img)) {
    case ItemResult::kBuilt:
      p.length_mm = ItemFeedDots(img) * 10.0 /
                    (IsLabelMaterial(doc_.para.MaterialCode) ? doc_.calibration.LabelCalibration
                                                             : doc_.calibration.TubeCalibration);
      p.item = std::move(img);
      break;
    case ItemResult::kSkipped:
      if (flin.empty()) {
        p.note = "上行为空,此段不打印。";
      } else if (v.LengthDots == 0 && v.SizeCode == 0) {
        p.note = "段长和字号都为自动,此段不打印。";
      } else {
        p.note = "没有能容纳此内容的字号,此段不打印。";
      }
      break;
    case ItemResult::kTooLong:
      p.note = "此段超出打印机的最大长度,不能打印。";
      break;
  }
  return p;
}

}  // namespace qx
