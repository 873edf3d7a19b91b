#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "app/main_window_model.h"
#include "document/document_file.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::WindowFixture;
using S = std::vector<std::string>;

class DocumentFilesTest : public WindowFixture<> {
 protected:
  // The program's samples and the user's documents folder exist, as on a desktop.
  DocumentFilesTest() : WindowFixture<>() {
    std::filesystem::create_directory(dir_ / "Sample");
    std::filesystem::create_directory(dir_ / "Documents");
    model_.context().documents_dir = dir_ / "Documents";
    model_.context().home_dir = dir_.path();
  }
  // Typing and Enter, each an event of the window.
  void Type(const std::string& upper_text, const std::string& lower_text = "") {
    Event([&] { model_.line_editors().TypeText(Control::UpperLine, upper_text); });
    if (!lower_text.empty())
      Event([&] { model_.line_editors().PasteText(Control::LowerLine, lower_text); });
  }
  void Next(const std::string& upper_text, const std::string& lower_text = "") {
    Event([&] { model_.line_editors().PressEnter(Control::UpperLine); });
    Type(upper_text, lower_text);
  }
  // The rows of a document file: upper line and number (the settings row last).
  std::vector<std::pair<std::string, int64_t>> FileRows(const std::filesystem::path& file) {
    auto f = MakeDocumentFileTable(file);
    f->Open();
    std::vector<std::pair<std::string, int64_t>> rows;
    for (int r = 0; r < f->RowCount(); ++r)
      rows.emplace_back(gbk::ToUtf8(f->TextAt(r, kUpperLineColumn)),
                        f->ValueAt(r, kNumberColumn).index() == 1
                            ? std::get<int64_t>(f->ValueAt(r, kNumberColumn))
                            : -1);
    f->Close();
    return rows;
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    for (int r = 0; r < t().RowCount(); ++r)
      out.push_back(gbk::ToUtf8(t().TextAt(r, kUpperLineColumn)));
    return out;
  }
};

TEST_F(DocumentFilesTest, SaveAndOpenRestoreEverySegmentAndSetting) {
  Type("L1-A");
  model_.PickSelector(Control::SizeSelector, 3);
  model_.PickSelector(Control::DecorationSelector, 1);
  Next("中文", "下行");
  t().Edit();
  t().SetText(kSerialTypeColumn, gbk::Encode("序号000-999"));
  t().SetText(kSerialFirstColumn, "7");
  t().SetText(kSerialLastColumn, "12");
  t().SetInt(kRepeatColumn, 200);
  t().SetInt(kLengthColumn, 0);
  model_.doc().settings = {.material_index = 6,
                           .cut_index = 2,
                           .alignment_index = 1,
                           .spacing_index = 19,
                           .density_index = 2,
                           .font_face = "宋体",
                           .bold = true,
                           .editor_bold = true};
  const auto file = dir_ / "job.kel";
  ui_.files = {file};
  model_.files().OnSaveAsButton();
  EXPECT_TRUE(model_.doc().file_state.HasFile);
  EXPECT_FALSE(model_.doc().file_state.DocModified);
  EXPECT_EQ(model_.controls().status(1), "文件路径:" + file.string());
  ASSERT_EQ(ui_.dialogs.size(), 1u);
  EXPECT_EQ(ui_.dialogs[0].title, "输出本机文件");
  EXPECT_EQ(ui_.dialogs[0].filter, "Lable File [*.kel]|*.kel");
  EXPECT_EQ(ui_.dialogs[0].folder, dir_ / "Documents");  // a first save: the documents

  // Another Document in between, then the file again; density and bold stay the window's.
  model_.files().OnNewButton();
  model_.doc().settings.density_index = 5;
  model_.doc().settings.bold = false;
  ui_.files = {file};
  model_.files().OnOpenButton();
  ASSERT_EQ(t().RowCount(), 2);
  EXPECT_EQ(t().Position(), 1);
  EXPECT_EQ(Field(kUpperLineColumn), "L1-A");
  EXPECT_EQ(Field(kSizeColumn), "3 号");
  EXPECT_EQ(Field(kDecorationColumn), "加 边 框");
  EXPECT_EQ(t().Int(kNumberColumn), 1);
  EXPECT_EQ(t().Int(kUpperLengthColumn), 0);
  t().Next();
  EXPECT_EQ(Field(kUpperLineColumn), "中文");
  EXPECT_EQ(Field(kLowerLineColumn), "下行");
  EXPECT_EQ(Field(kSerialTypeColumn), "序号000-999");
  EXPECT_EQ(Field(kSerialFirstColumn), "7");
  EXPECT_EQ(Field(kSerialLastColumn), "12");
  EXPECT_EQ(t().Int(kRepeatColumn), 200);
  EXPECT_EQ(t().Int(kLengthColumn), 0);
  const DocumentSettings& s = model_.doc().settings;
  EXPECT_EQ(s.material_index, 6);
  EXPECT_EQ(s.cut_index, 2);
  EXPECT_EQ(s.alignment_index, 1);
  EXPECT_EQ(s.spacing_index, 19);
  EXPECT_EQ(s.font_face, "宋体");
  EXPECT_EQ(s.density_index, 5);
  EXPECT_FALSE(s.bold);
  EXPECT_EQ(model_.doc().file_state.MaterialCode, 7);
  EXPECT_EQ(model_.doc().file_state.CharSpacing, 20);
  EXPECT_FALSE(model_.doc().file_state.DocModified);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(DocumentFilesTest, SaveWritesEverySegmentGivingUpOnlyThoseWithText) {
  Type("a");
  Next("");
  model_.line_editors().PasteText(Control::LowerLine, "only lower");
  Next("c");
  const auto saved = dir_ / "three.kel";
  ui_.files = {saved};
  model_.files().OnSaveButton();
  EXPECT_EQ(FileRows(saved).size(), 4u);  // three Segments and the settings row

  Type("d");  // a change, then Yes before new
  ui_.yes_no = {Answer::kYes};
  model_.files().OnNewButton();
  const auto rows = FileRows(saved);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], std::make_pair(std::string("a"), int64_t{1}));
  EXPECT_EQ(rows[1], std::make_pair(std::string("cd"), int64_t{2}));
  EXPECT_EQ(rows[2].second, 0);  // settings row
  EXPECT_EQ(t().RowCount(), 1);  // a new Document
  EXPECT_EQ(ui_.questions, S{"当前文件已修改,是否保存？"});
}

TEST_F(DocumentFilesTest, SaveDropsTrailingEmptySegmentsAndFindsTheCurrentOneAgain) {
  Type("a");
  Next("b");
  Next("");
  Next("");
  t().First();
  RenumberToEnd(t());  // as the list operations leave them
  t().First();
  t().Next();  // "b" is current
  ui_.files = {dir_ / "x.kel"};
  model_.files().OnSaveAsButton();
  EXPECT_EQ(Lines(), (S{"a", "b"}));
  EXPECT_EQ(Field(kUpperLineColumn), "b");
  EXPECT_EQ(model_.focus(), Control::UpperLine);
  EXPECT_TRUE(model_.doc().file_state.SkipNextEnter);  // the first Enter after a save does nothing

  model_.files().OnNewButton();  // unchanged: no question
  ui_.files = {dir_ / "y.kel"};
  model_.files().OnSaveAsButton();  // a Document of one empty Segment keeps it
  EXPECT_EQ(t().RowCount(), 1);
  EXPECT_EQ(FileRows(dir_ / "y.kel").size(), 2u);
}

// Segments appended with "添加" and left empty do not reach the file at its end, also the
// last of them, which has no number until it is stored (the operator went back to the
// first Segment with "文首"). An empty Segment between others stays where it is.
TEST_F(DocumentFilesTest, EmptySegmentsAppendedAtTheEndAreNotSaved) {
  struct Case {
    const char* what;
    S typed;          // the upper line of each Segment, each after "添加" but the first
    bool back_first;  // "文首" before the save; else the last Segment is current
    S saved;          // "upper line:number" of the Segments read back
  };
  const Case cases[] = {
      {"one empty at the end", {"a", ""}, true, {"a:1"}},
      {"two empty at the end", {"a", "", ""}, true, {"a:1"}},
      {"saved while on the last empty one", {"a", "", ""}, false, {"a:1"}},
      {"empty in the middle and at the end", {"a", "", "c", ""}, true, {"a:1", ":2", "c:3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Type(c.typed[0]);
    model_.segment_list().StoreSegment();
    for (std::size_t i = 1; i < c.typed.size(); ++i) {
      model_.segment_list().OnAppendButton();
      if (!c.typed[i].empty()) Type(c.typed[i]);
    }
    if (c.back_first) model_.segment_list().OnFirstButton();
    const auto file = dir_ / "appended.kel";
    ui_.files = {file};
    model_.files().OnSaveAsButton();

    DocumentState read(std::make_unique<MemoryRowStore>());
    read.table.Bind("read back");
    ASSERT_TRUE(ReadDocumentFile(file, read.table, read.settings));
    S rows;
    for (int r = 0; r < read.table.RowCount(); ++r)
      rows.push_back(gbk::ToUtf8(read.table.TextAt(r, kUpperLineColumn)) + ":" +
                     read.table.TextAt(r, kNumberColumn));
    EXPECT_EQ(rows, c.saved);
    EXPECT_EQ(t().RowCount(), static_cast<int>(c.saved.size()));  // the editor holds the same
    EXPECT_EQ(Field(kUpperLineColumn), "a");
    model_.files().OnNewButton();  // saved: no question
  }
}

// Saving stores and writes the Segments but leaves the operator where they were, also when
// the rows' numbers do not follow their places (a file from an older editor, rows appended
// and never stored with a number).
TEST_F(DocumentFilesTest, SaveKeepsTheOperatorOnTheirSegment) {
  struct Case {
    const char* what;
    int stale_number_of_first;  // 0: numbers as the list operations leave them
    int current;
    const char* expected;
  };
  const Case cases[] = {
      {"numbered rows", 0, 2, "b"},
      {"the first row numbered as the second", 2, 2, "b"},
      {"the last row", 3, 3, "c"},
  };
  for (const Case& c : cases) {
    BuildRows({{"a"}, {"b"}, {"c"}}, c.current);
    if (c.stale_number_of_first > 0) {
      t().First();
      t().Edit();
      t().SetInt(kNumberColumn, c.stale_number_of_first);
      t().Store();
      model_.segment_list().OnGridRowClicked(c.current);
      model_.context().FocusLineEnd(0);
    }
    ui_.files = {dir_ / "kept.kel"};
    model_.files().OnSaveAsButton();
    EXPECT_EQ(t().Position(), c.current) << c.what;
    EXPECT_EQ(Field(kUpperLineColumn), c.expected) << c.what;
    EXPECT_EQ(UpperText(), c.expected) << c.what;
    model_.files().OnNewButton();
  }
}

TEST_F(DocumentFilesTest, OneEmptySegmentIsGivenUpWithoutAQuestion) {
  // A property of the one Segment, which has no text: nothing a save would keep changed.
  Event([&] { model_.PickSelector(Control::DecorationSelector, 1); });
  ASSERT_FALSE(model_.doc().file_state.DocModified);
  model_.files().OnNewButton();
  EXPECT_TRUE(ui_.questions.empty());
}

TEST_F(DocumentFilesTest, NewWithChangesCancelAndNo) {
  Type("keep me");
  ui_.yes_no = {Answer::kCancel};
  model_.files().OnNewButton();
  EXPECT_EQ(Field(kUpperLineColumn), "keep me");
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  EXPECT_TRUE(model_.doc().file_state.SkipNextEnter);
  EXPECT_FALSE(model_.doc().file_state.UserEditing);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "TL.$$$"));

  ui_.yes_no = {Answer::kNo};
  model_.files().OnNewButton();
  EXPECT_EQ(Field(kUpperLineColumn), "");
  EXPECT_FALSE(model_.doc().file_state.DocModified);
  EXPECT_TRUE(ui_.dialogs.empty());  // nothing written
}

// Cancelling a save dialog never loses the changed flag; cancelling the save before
// closing keeps the window open.
TEST_F(DocumentFilesTest, CancelledSaveDialogsKeepTheChanges) {
  Type("x");
  ui_.files = {std::nullopt};
  model_.files().OnSaveAsButton();
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  EXPECT_FALSE(model_.doc().file_state.HasFile);
  for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
    EXPECT_NE(e.path().extension(), ".kel");  // nothing written

  ui_.yes_no = {Answer::kYes};
  ui_.files = {std::nullopt};
  EXPECT_FALSE(model_.CanClose());
  EXPECT_EQ(ui_.questions.back(), "当前文件已修改,是否保存?");
  EXPECT_EQ(Field(kUpperLineColumn), "x");
  EXPECT_TRUE(t().IsOpen());

  ui_.yes_no = {Answer::kYes};
  ui_.files = {dir_ / "closing.kel"};
  EXPECT_TRUE(model_.CanClose());
  EXPECT_EQ(FileRows(dir_ / "closing.kel").size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "TL.$$$"));
}

TEST_F(DocumentFilesTest, AFailedSaveKeepsTheDocument) {
  if (geteuid() == 0) {
    // root writes through permissions: make the target a folder instead, which no
    // rename can replace.
    std::filesystem::create_directories(dir_ / "blocked.kel" / "inside");
  } else {
    std::filesystem::create_directories(dir_ / "ro");
    chmod((dir_ / "ro").c_str(), 0555);
  }
  const auto target = geteuid() == 0 ? dir_ / "blocked.kel" : dir_ / "ro" / "job.kel";
  Type("precious");
  ui_.files = {target};
  model_.files().OnSaveAsButton();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_NE(ui_.messages[0].text.find("文件保存失败"), std::string::npos);
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  EXPECT_FALSE(model_.doc().file_state.HasFile);
  EXPECT_EQ(Field(kUpperLineColumn), "precious");

  ui_.messages.clear();
  ui_.yes_no = {Answer::kYes};
  ui_.files = {target};
  model_.files().OnNewButton();  // the write fails: nothing is given up
  EXPECT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(Field(kUpperLineColumn), "precious");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "TL.$$$"));
}

// A read-only document or export target is refused, not replaced, and the message says
// why in plain words; links are written through and permissions kept.
TEST_F(DocumentFilesTest, ReadOnlyTargetsAreRefusedAndOthersKeepTheirPermissions) {
  Type("A1");
  ui_.files = {dir_ / "job.kel"};
  model_.files().OnSaveAsButton();
  ASSERT_TRUE(ui_.messages.empty());
  const std::string saved = [&] {
    std::ifstream in(dir_ / "job.kel", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  chmod((dir_ / "job.kel").c_str(), 0444);
  Type("2");
  model_.files().OnSaveButton();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "文件保存失败,当前文件仍保持打开:\n文件是只读的。");
  EXPECT_TRUE(model_.doc().file_state.DocModified);
  std::ifstream in(dir_ / "job.kel", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), saved);

  ui_.messages.clear();
  { std::ofstream(dir_ / "job.qxf") << "old"; }
  chmod((dir_ / "job.qxf").c_str(), 0444);
  ui_.files = {dir_ / "job.qxf"};
  model_.files().OnExportButton();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "文件导出失败:\n文件是只读的。");

  // A private document saved through a link stays private, and the link stays a link.
  ui_.messages.clear();
  chmod((dir_ / "job.kel").c_str(), 0600);
  std::filesystem::create_symlink("job.kel", dir_ / "link.kel");
  ui_.files = {dir_ / "link.kel"};
  model_.files().OnSaveAsButton();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "link.kel"));
  EXPECT_EQ(FileRows(dir_ / "job.kel").front().first, "A12");
  struct stat st;
  ASSERT_EQ(stat((dir_ / "job.kel").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A file is chosen and read before the open Document is given up: a cancelled dialog or a
// file that cannot be read leaves the Document as it was, and nothing is asked.
TEST_F(DocumentFilesTest, AFileThatIsNotOpenedLeavesTheDocumentAsItWas) {
  { std::ofstream(dir_ / "bad.kel") << "this is not a table at all"; }
  const std::filesystem::path bad_book =
      std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures" / "excel" / "bad" / "truncated.xlsx";
  struct Case {
    const char* name;
    std::optional<std::filesystem::path> file;
    void (DocumentFiles::*command)();
    S told;
  };
  const Case cases[] = {
      {"open, not a document", dir_ / "bad.kel", &DocumentFiles::OnOpenButton, {"非法文件!"}},
      {"open, cancelled", std::nullopt, &DocumentFiles::OnOpenButton, {}},
      {"import, not a workbook", bad_book, &DocumentFiles::OnImportExcelButton,
       {"无法读取此Excel文件:\n文件已损坏。"}},
      {"import, cancelled", std::nullopt, &DocumentFiles::OnImportExcelButton, {}},
  };
  Type("old");
  model_.segment_list().OnStoreButton();
  ASSERT_TRUE(model_.doc().file_state.DocModified);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_.files = {c.file};
    (model_.files().*c.command)();
    EXPECT_EQ(ui_.Take(), c.told);
    EXPECT_TRUE(ui_.questions.empty());
    EXPECT_EQ(t().RowCount(), 1);
    EXPECT_EQ(Field(kUpperLineColumn), "old");
    EXPECT_TRUE(model_.doc().file_state.DocModified);
    EXPECT_TRUE(model_.doc().file_state.UserEditing);
  }
}

TEST_F(DocumentFilesTest, ExportWritesTheNativeFile) {
  Type("AB");
  const auto out = dir_ / "job.qxf";
  ui_.files = {out};
  model_.files().OnExportButton();
  ASSERT_TRUE(std::filesystem::exists(out));
  EXPECT_EQ(std::filesystem::file_size(out), 54u);
  EXPECT_EQ(ui_.dialogs[0].filter, "Qx Printer  File [*.qxf]|*.qxf");
  EXPECT_TRUE(model_.doc().file_state.UserEditing);

  ui_.files = {std::nullopt};
  model_.files().OnExportButton();  // cancelled: nothing written, nothing changed
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(DocumentFilesTest, ExcelImportFromTheWindow) {
  const std::filesystem::path excel =
      std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures" / "excel";
  // A workbook the readers cannot open: a clear message, and the Document as it was.
  ui_.files = {excel / "bad" / "truncated.xlsx"};
  model_.files().OnImportExcelButton();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text.rfind("无法读取此Excel文件:", 0), 0u) << ui_.messages[0].text;
  EXPECT_EQ(ui_.dialogs[0].filter, "表格 [*.xls *.xlsx *.ods *.csv *.tsv *.txt]|*.xls;*.xlsx;*.ods;*.csv;*.tsv;*.txt");
  EXPECT_EQ(ui_.dialogs[0].folder, dir_ / "Sample");
  EXPECT_EQ(t().RowCount(), 1);
  ui_.messages.clear();

  for (const char* book : {"basic.xlsx", "basic.xls"}) {
    SCOPED_TRACE(book);
    ui_.files = {excel / book};
    if (model_.doc().file_state.DocModified) ui_.yes_no = {Answer::kNo};  // give the last import up
    Event([&] { model_.files().OnImportExcelButton(); });
    EXPECT_TRUE(ui_.messages.empty()) << ui_.messages[0].text;
    ASSERT_EQ(Lines().size(), 4u);
    EXPECT_EQ(Lines()[0], "W-001");
    EXPECT_EQ(gbk::ToUtf8(t().TextAt(0, kLowerLineColumn)), "Line one");
    EXPECT_TRUE(model_.doc().file_state.DocModified);
    EXPECT_EQ(model_.focus(), Control::UpperLine);
    EXPECT_EQ(model_.context().editor(Control::UpperLine).text, "W-001");
  }
}

TEST_F(DocumentFilesTest, AnImportStoppedByAnEmptyFirstCellSaysWhatWasLeftOut) {
  // gap.xlsx: "first", "second", then a row with both cells empty, then "fourth" and more.
  ui_.files = {std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures" / "excel" / "gap.xlsx"};
  model_.files().OnImportExcelButton();
  EXPECT_EQ(ui_.Take(), S{"已导入2行;第3行的第一格为空,以下的行未导入。"});
  EXPECT_EQ(Lines(), (S{"first", "second"}));
  EXPECT_EQ(model_.focus(), Control::UpperLine);
}

TEST_F(DocumentFilesTest, AnExportWhoseTextsPassTheFileFormatIsRefused) {
  // 220 Segments of 50 serial placeholders each: every placeholder is written as its
  // 6-byte serial code, 301 bytes a Segment with its end.
  SegmentTable& table = t();
  std::string placeholders;
  for (int i = 0; i < 50; ++i) placeholders += gbk::kSerialMark;
  table.First();
  for (int r = 0; r < 220; ++r) {
    if (r) table.Append();
    table.Edit();
    FillNewSegment(table);
    table.SetText(kUpperLineColumn, placeholders);
    table.SetText(kSerialTypeColumn, SerialTypeText(kSerialDecimal));
    table.SetText(kSerialFirstColumn, "1");
    table.SetText(kSerialLastColumn, "9");
    table.SetInt(kNumberColumn, r + 1);
    table.Store();
  }
  const auto out = dir_ / "job.qxf";
  ui_.files = {out};
  model_.files().OnExportButton();
  // Only 200 Segments are exported: 200 x 301 + 1 = 60201 bytes still fit.
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(std::filesystem::exists(out));

  for (int r = 0; r < 200; ++r) {  // a lower line as long again for every Segment
    table.First();
    for (int k = 0; k < r; ++k) table.Next();
    table.Edit();
    table.SetText(kLowerLineColumn, placeholders);
    table.Store();
  }
  std::filesystem::remove(out);
  ui_.files = {out};
  model_.files().OnExportButton();
  EXPECT_EQ(ui_.Take(), S{"文件导出失败:\n各段文字合计超过65535字节,本机格式文件容纳不下,请分成几个文件导出。"});
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(model_.doc().file_state.UserEditing);
}

TEST_F(DocumentFilesTest, ADocumentGivenOnTheCommandLineOpensAsTheOpenCommandWould) {
  const std::filesystem::path sample =
      std::filesystem::path(QX_TEST_DATA_DIR) / ".." / "data" / "Sample" / "线号套管.kel";
  model_.files().OpenDocumentFile(sample);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(ui_.dialogs.empty());  // no file dialog
  EXPECT_GT(t().RowCount(), 1);
  EXPECT_EQ(model_.doc().file_state.DocPath, sample);
  EXPECT_FALSE(model_.doc().file_state.DocModified);
  EXPECT_EQ(model_.controls().status(1), "文件路径:" + sample.string());

  // A file that is not a document: the open command's message, and the open Document
  // stays.
  const int rows = t().RowCount();
  model_.files().OpenDocumentFile(dir_ / "missing.kel");
  EXPECT_EQ(ui_.Take(), std::vector<std::string>{"非法文件!"});
  EXPECT_EQ(t().RowCount(), rows);
  EXPECT_EQ(model_.doc().file_state.DocPath, sample);
}

// --- Where the file dialogs start ---------------------------------------------------------

TEST(StartingFolder, ReadingStartsWhereTheLastFileWasWritingOnlyWhereItCanBe) {
  const DialogFolders all{.last_used = "/last", .samples = "/samples", .documents = "/docs",
                          .home = "/home"};
  DialogFolders first_time = all;
  first_time.last_used.clear();
  using enum FolderState;
  struct Case {
    const char* what;
    DialogPurpose purpose;
    const DialogFolders& folders;
    std::map<std::string, FolderState> states;  // missing when not listed
    std::filesystem::path expected;
  };
  const auto read = DialogPurpose::kRead, write = DialogPurpose::kWrite;
  const Case cases[] = {
      {"open, first time: the samples", read, first_time,
       {{"/samples", kReadOnly}, {"/docs", kWritable}, {"/home", kWritable}}, "/samples"},
      {"open: the folder used last", read, all,
       {{"/last", kWritable}, {"/samples", kReadOnly}}, "/last"},
      {"open: a read-only folder used last", read, all,
       {{"/last", kReadOnly}, {"/samples", kReadOnly}}, "/last"},
      {"open: the folder used last is gone", read, all,
       {{"/samples", kReadOnly}, {"/docs", kWritable}}, "/samples"},
      {"open: no samples installed", read, first_time, {{"/docs", kWritable}}, "/docs"},
      {"save, first time: the documents, never the samples", write, first_time,
       {{"/samples", kReadOnly}, {"/docs", kWritable}, {"/home", kWritable}}, "/docs"},
      {"save: the folder used last", write, all,
       {{"/last", kWritable}, {"/docs", kWritable}}, "/last"},
      {"save after opening a sample: the documents", write, all,
       {{"/last", kReadOnly}, {"/docs", kWritable}}, "/docs"},
      {"save: no documents folder", write, all, {{"/last", kReadOnly}, {"/home", kWritable}},
       "/home"},
      {"save: a read-only documents folder", write, first_time,
       {{"/docs", kReadOnly}, {"/home", kWritable}}, "/home"},
      {"save: nothing writable, the desktop's choice", write, all,
       {{"/last", kReadOnly}, {"/samples", kWritable}, {"/docs", kReadOnly}}, ""},
      {"open: nothing there, the desktop's choice", read, all, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(StartingFolder(c.purpose, c.folders,
                             [&](const std::filesystem::path& f) {
                               const auto it = c.states.find(f.string());
                               return it == c.states.end() ? kMissing : it->second;
                             }),
              c.expected);
  }
}

TEST(StartingFolder, FolderStateOfAsTheFileSystemSaysIt) {
  testing::TempDir dir;
  std::ofstream(dir / "file.kel") << "x";
  EXPECT_EQ(FolderStateOf(dir.path()), FolderState::kWritable);
  EXPECT_EQ(FolderStateOf(dir / "gone"), FolderState::kMissing);
  EXPECT_EQ(FolderStateOf(dir / "file.kel"), FolderState::kMissing);  // not a folder
  std::filesystem::create_directory(dir / "locked");
  chmod((dir / "locked").c_str(), 0555);
  // Permissions do not hold the superuser back: there the folder is writable indeed.
  EXPECT_EQ(FolderStateOf(dir / "locked"),
            geteuid() == 0 ? FolderState::kWritable : FolderState::kReadOnly);
  chmod((dir / "locked").c_str(), 0755);
}

// Every command's dialog: its title and filter, and the folder it starts in as the
// commands before it used folders.
TEST_F(DocumentFilesTest, DialogsStartInTheFolderUsedLast) {
  std::filesystem::create_directory(dir_ / "work");
  std::filesystem::create_directory(dir_ / "out");
  Type("A1");
  ui_.files = {dir_ / "work" / "a.kel"};
  model_.files().OnSaveAsButton();
  ui_.files = {dir_ / "out" / "a.qxf"};
  model_.files().OnExportButton();
  ui_.files = {std::nullopt};
  model_.files().OnExportButton();
  ui_.files = {dir_ / "work" / "a.kel"};
  model_.files().OnOpenButton();
  ui_.files = {std::nullopt};
  model_.files().OnImportExcelButton();
  ui_.files = {std::nullopt};
  model_.files().OnSaveAsButton();
  EXPECT_TRUE(ui_.messages.empty());

  struct Shown {
    std::string title, filter;
    std::filesystem::path folder;
    bool operator==(const Shown&) const = default;
  };
  std::vector<Shown> shown;
  for (const FileDialog& d : ui_.dialogs) shown.push_back({d.title, d.filter, d.folder});
  const std::vector<Shown> expected = {
      {"输出本机文件", "Lable File [*.kel]|*.kel", dir_ / "Documents"},  // save as, first
      {"", "Qx Printer  File [*.qxf]|*.qxf", dir_ / "work"},            // export
      {"", "Qx Printer  File [*.qxf]|*.qxf", dir_ / "out"},             // export again
      {"", "Lable File [*.kel]|*.kel", dir_ / "out"},                   // open
      {"", "表格 [*.xls *.xlsx *.ods *.csv *.tsv *.txt]|*.xls;*.xlsx;*.ods;*.csv;*.tsv;*.txt", dir_ / "work"},        // import
      {"输出本机文件", "Lable File [*.kel]|*.kel", dir_ / "work"},       // save as
  };
  ASSERT_EQ(shown.size(), expected.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(shown[i].title, expected[i].title);
    EXPECT_EQ(shown[i].filter, expected[i].filter);
    EXPECT_EQ(shown[i].folder, expected[i].folder);
  }

  // A document the desktop hands over counts as well.
  std::filesystem::create_directory(dir_ / "given");
  std::filesystem::copy_file(dir_ / "work" / "a.kel", dir_ / "given" / "b.kel");
  model_.files().OpenDocumentFile(dir_ / "given" / "b.kel");
  EXPECT_EQ(model_.files().last_folder(), dir_ / "given");
}

// The folder used last is kept in the state folder: the next run's dialogs start there,
// and a run without that file, or with a file that names no folder, starts as the first.
TEST(DialogFolderMemory, TheNextRunStartsInTheFolderUsedLast) {
  testing::TempDir dir;
  std::filesystem::create_directories(dir / "state");
  std::filesystem::create_directories(dir / "Sample");
  std::filesystem::create_directories(dir / "work");
  testing::BarCanvas a, b;
  auto open_dialog_folder = [&](const std::string& table) {
    testing::ScriptedUi ui;
    ui.files = {std::nullopt};
    MainWindowModel model(ui, std::make_unique<SqliteRowStore>(), a, b);
    WorkingTableStart start(dir / table);
    start.state_folder = dir / "state";
    model.Start(1024, 768, dir.path(), start);
    model.OnActivated();
    model.files().OnOpenButton();
    return ui.dialogs.at(0).folder;
  };
  EXPECT_EQ(open_dialog_folder("TL-1.$$$"), dir / "Sample");
  {
    testing::ScriptedUi ui;
    ui.files = {dir / "work" / "wires.kel"};
    MainWindowModel model(ui, std::make_unique<SqliteRowStore>(), a, b);
    WorkingTableStart start(dir / "TL-2.$$$");
    start.state_folder = dir / "state";
    model.Start(1024, 768, dir.path(), start);
    model.OnActivated();
    model.line_editors().TypeText(Control::UpperLine, "K1");
    model.files().OnSaveAsButton();
    ASSERT_TRUE(std::filesystem::exists(dir / "work" / "wires.kel"));
  }
  EXPECT_EQ(open_dialog_folder("TL-3.$$$"), dir / "work");
  std::ofstream(dir / "state" / "last-folder") << "work\n";  // not a whole path
  EXPECT_EQ(open_dialog_folder("TL-4.$$$"), dir / "Sample");
}

}  // namespace
}  // namespace qx
