#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "app/main_form.h"
#include "document/document_file.h"
#include "document/gbk.h"
#include "document/sqlite_store.h"
#include "support/bar_canvas.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using testing::BarCanvas;
using testing::ScriptedUi;
using testing::TempDir;
using S = std::vector<std::string>;

class FilesTest : public ::testing::Test {
 protected:
  FilesTest() : form_(ui_, std::make_unique<SqliteRowStore>(), canvas_, canvas_) {
    form_.FormCreate(1024, 768, dir_.path(), dir_ / "TL.$$$");
    form_.FormActivate();
  }
  SegmentTable& t() { return form_.table(); }
  std::string Field(int col) { return gbk::ToUtf8(t().Text(col)); }
  void Type(const std::string& flin, const std::string& slin = "") {
    form_.TypeText(Ctl::FlinEdit, flin);
    if (!slin.empty()) form_.PasteText(Ctl::SlinEdit, slin);
  }
  void Next(const std::string& flin, const std::string& slin = "") {
    form_.PressEnter(Ctl::FlinEdit);
    Type(flin, slin);
  }
  // The rows of a document file: upper line and number (the settings row last).
  std::vector<std::pair<std::string, int64_t>> FileRows(const std::filesystem::path& file) {
    auto f = MakeDocumentFileTable(file);
    f->Open();
    std::vector<std::pair<std::string, int64_t>> rows;
    for (int r = 0; r < f->RowCount(); ++r)
      rows.emplace_back(gbk::ToUtf8(f->TextAt(r, kFlin)), f->ValueAt(r, kNum).index() == 1
                                                              ? std::get<int64_t>(f->ValueAt(r, kNum))
                                                              : -1);
    f->Close();
    return rows;
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    for (int r = 0; r < t().RowCount(); ++r) out.push_back(gbk::ToUtf8(t().TextAt(r, kFlin)));
    return out;
  }

  TempDir dir_;
  ScriptedUi ui_;
  BarCanvas canvas_;
  TPrintForm form_;
};

TEST_F(FilesTest, SaveAndOpenRestoreEverySegmentAndSetting) {
  Type("L1-A");
  form_.PickSelector(Ctl::ZhBox, 3);
  form_.PickSelector(Ctl::XsBox, 1);
  Next("中文", "下行");
  t().Edit();
  t().SetText(kXuLei, gbk::Encode("序号000-999"));
  t().SetText(kXuFirst, "7");
  t().SetText(kXuEnd, "12");
  t().SetInt(kPitchRep, 200);
  t().SetInt(kPitchLen, 0);
  form_.doc().settings = {.MatBox = 6, .CutBox = 2, .PlBox = 1, .ZjBox = 19, .NdBox = 2,
                          .ZitiBox = "宋体", .BlodBtn = true, .EditorFontBold = true};
  const auto file = dir_ / "job.kel";
  ui_.files = {file};
  form_.SaveFileAsBtn();
  EXPECT_TRUE(form_.para().HasFile);
  EXPECT_FALSE(form_.para().DocModified);
  EXPECT_EQ(form_.status(1), "文件路径:" + file.string());
  ASSERT_EQ(ui_.dialogs.size(), 1u);
  EXPECT_EQ(ui_.dialogs[0].title, "输出本机文件");
  EXPECT_EQ(ui_.dialogs[0].filter, "Lable File [*.kel]|*.kel");
  EXPECT_EQ(ui_.dialogs[0].folder, dir_ / "Sample");

  // Another Document in between, then the file again; density and bold stay the window's.
  form_.CloseFilebtn();
  form_.doc().settings.NdBox = 5;
  form_.doc().settings.BlodBtn = false;
  ui_.files = {file};
  form_.OpenFilebtn();
  ASSERT_EQ(t().RowCount(), 2);
  EXPECT_EQ(t().Position(), 1);
  EXPECT_EQ(Field(kFlin), "L1-A");
  EXPECT_EQ(Field(kZihao), "3 号");
  EXPECT_EQ(Field(kXiuShi), "加 边 框");
  EXPECT_EQ(t().Int(kNum), 1);
  EXPECT_EQ(t().Int(kUpLen), 0);
  t().Next();
  EXPECT_EQ(Field(kFlin), "中文");
  EXPECT_EQ(Field(kSlin), "下行");
  EXPECT_EQ(Field(kXuLei), "序号000-999");
  EXPECT_EQ(Field(kXuFirst), "7");
  EXPECT_EQ(Field(kXuEnd), "12");
  EXPECT_EQ(t().Int(kPitchRep), 200);
  EXPECT_EQ(t().Int(kPitchLen), 0);
  const SettingsSelectors& s = form_.doc().settings;
  EXPECT_EQ(s.MatBox, 6);
  EXPECT_EQ(s.CutBox, 2);
  EXPECT_EQ(s.PlBox, 1);
  EXPECT_EQ(s.ZjBox, 19);
  EXPECT_EQ(s.ZitiBox, "宋体");
  EXPECT_EQ(s.NdBox, 5);
  EXPECT_FALSE(s.BlodBtn);
  EXPECT_EQ(form_.para().MaterialCode, 7);
  EXPECT_EQ(form_.para().CharSpacing, 20);
  EXPECT_FALSE(form_.para().DocModified);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(FilesTest, SaveWritesEverySegmentGivingUpOnlyThoseWithText) {
  Type("a");
  Next("");
  form_.PasteText(Ctl::SlinEdit, "only lower");
  Next("c");
  const auto saved = dir_ / "three.kel";
  ui_.files = {saved};
  form_.SaveFileBtn();
  EXPECT_EQ(FileRows(saved).size(), 4u);  // three Segments and the settings row

  form_.TypeText(Ctl::FlinEdit, "d");  // a change, then Yes before new
  ui_.yes_no = {Answer::kYes};
  form_.CloseFilebtn();
  const auto rows = FileRows(saved);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], std::make_pair(std::string("a"), int64_t{1}));
  EXPECT_EQ(rows[1], std::make_pair(std::string("cd"), int64_t{2}));
  EXPECT_EQ(rows[2].second, 0);  // settings row
  EXPECT_EQ(t().RowCount(), 1);  // a new Document
  EXPECT_EQ(ui_.questions, S{"当前文件已修改,是否保存？"});
}

TEST_F(FilesTest, SaveDropsTrailingEmptySegmentsAndFindsTheCurrentOneAgain) {
  Type("a");
  Next("b");
  Next("");
  Next("");
  t().First();
  RenumberToEnd(t());  // as the list operations leave them
  t().First();
  t().Next();  // "b" is current
  ui_.files = {dir_ / "x.kel"};
  form_.SaveFileAsBtn();
  EXPECT_EQ(Lines(), (S{"a", "b"}));
  EXPECT_EQ(Field(kFlin), "b");
  EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
  EXPECT_TRUE(form_.para().SkipNextEnter);  // the first Enter after a save does nothing

  form_.CloseFilebtn();  // unchanged: no question
  ui_.files = {dir_ / "y.kel"};
  form_.SaveFileAsBtn();  // a Document of one empty Segment keeps it
  EXPECT_EQ(t().RowCount(), 1);
  EXPECT_EQ(FileRows(dir_ / "y.kel").size(), 2u);
}

TEST_F(FilesTest, OneEmptySegmentIsGivenUpWithoutAQuestion) {
  form_.PickSelector(Ctl::XsBox, 1);  // changed, but still one Segment without text
  ASSERT_TRUE(form_.para().DocModified);
  form_.CloseFilebtn();
  EXPECT_TRUE(ui_.questions.empty());
}

TEST_F(FilesTest, NewWithChangesCancelAndNo) {
  Type("keep me");
  ui_.yes_no = {Answer::kCancel};
  form_.CloseFilebtn();
  EXPECT_EQ(Field(kFlin), "keep me");
  EXPECT_TRUE(form_.para().DocModified);
  EXPECT_TRUE(form_.para().SkipNextEnter);
  EXPECT_FALSE(form_.para().UserEditing);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "TL.$$$"));

  ui_.yes_no = {Answer::kNo};
  form_.CloseFilebtn();
  EXPECT_EQ(Field(kFlin), "");
  EXPECT_FALSE(form_.para().DocModified);
  EXPECT_TRUE(ui_.dialogs.empty());  // nothing written
}

// Cancelling a save dialog never loses the changed flag; cancelling the save before
// closing keeps the window open.
TEST_F(FilesTest, CancelledSaveDialogsKeepTheChanges) {
  Type("x");
  ui_.files = {std::nullopt};
  form_.SaveFileAsBtn();
  EXPECT_TRUE(form_.para().DocModified);
  EXPECT_FALSE(form_.para().HasFile);
  for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
    EXPECT_NE(e.path().extension(), ".kel");  // nothing written

  ui_.yes_no = {Answer::kYes};
  ui_.files = {std::nullopt};
  EXPECT_FALSE(form_.FormCloseQuery());
  EXPECT_EQ(ui_.questions.back(), "当前文件已修改,是否保存?");
  EXPECT_EQ(Field(kFlin), "x");
  EXPECT_TRUE(t().IsOpen());

  ui_.yes_no = {Answer::kYes};
  ui_.files = {dir_ / "closing.kel"};
  EXPECT_TRUE(form_.FormCloseQuery());
  EXPECT_EQ(FileRows(dir_ / "closing.kel").size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "TL.$$$"));
}

TEST_F(FilesTest, AFailedSaveKeepsTheDocument) {
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
  form_.SaveFileAsBtn();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_NE(ui_.messages[0].text.find("文件保存失败"), std::string::npos);
  EXPECT_TRUE(form_.para().DocModified);
  EXPECT_FALSE(form_.para().HasFile);
  EXPECT_EQ(Field(kFlin), "precious");

  ui_.messages.clear();
  ui_.yes_no = {Answer::kYes};
  ui_.files = {target};
  form_.CloseFilebtn();  // the write fails: nothing is given up
  EXPECT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(Field(kFlin), "precious");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "TL.$$$"));
}

TEST_F(FilesTest, InvalidFilesEndInANewDocument) {
  {
    std::ofstream(dir_ / "bad.kel") << "this is not a table at all";
  }
  Type("old");
  form_.PostClick();
  ui_.yes_no = {Answer::kNo};
  ui_.files = {dir_ / "bad.kel"};
  form_.OpenFilebtn();
  EXPECT_EQ(ui_.Take(), S{"非法文件!"});
  EXPECT_EQ(t().RowCount(), 1);
  EXPECT_EQ(Field(kFlin), "");
  EXPECT_FALSE(form_.para().HasFile);

  ui_.files = {std::nullopt};  // a cancelled open: a new empty Document as well
  form_.OpenFilebtn();
  EXPECT_EQ(t().RowCount(), 1);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(FilesTest, ExportWritesTheNativeFile) {
  Type("AB");
  const auto out = dir_ / "job.qxf";
  ui_.files = {out};
  form_.ExportFileBtn();
  ASSERT_TRUE(std::filesystem::exists(out));
  EXPECT_EQ(std::filesystem::file_size(out), 54u);
  EXPECT_EQ(ui_.dialogs[0].filter, "Qx Printer  File [*.qxf]|*.qxf");
  EXPECT_TRUE(form_.para().UserEditing);

  ui_.files = {std::nullopt};
  form_.ExportFileBtn();  // cancelled: nothing written, nothing changed
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(FilesTest, ExcelImportFromTheWindow) {
  const std::filesystem::path excel = std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures" / "excel";
  // A workbook the readers cannot open: a clear message, and the new empty Document.
  ui_.files = {excel / "bad" / "truncated.xlsx"};
  form_.OpenExcelBtnClick();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text.rfind("无法读取此Excel文件:", 0), 0u) << ui_.messages[0].text;
  EXPECT_EQ(ui_.dialogs[0].filter, "Excel  [*.xls *.xlsx]|*.xls;*.xlsx");
  EXPECT_EQ(ui_.dialogs[0].folder, dir_ / "Sample");
  EXPECT_EQ(t().RowCount(), 1);
  ui_.messages.clear();

  for (const char* book : {"basic.xlsx", "basic.xls"}) {
    SCOPED_TRACE(book);
    ui_.files = {excel / book};
    if (form_.para().DocModified) ui_.yes_no = {Answer::kNo};  // give the last import up
    form_.OpenExcelBtnClick();
    EXPECT_TRUE(ui_.messages.empty()) << ui_.messages[0].text;
    ASSERT_EQ(Lines().size(), 4u);
    EXPECT_EQ(Lines()[0], "W-001");
    EXPECT_EQ(gbk::ToUtf8(t().TextAt(0, kSlin)), "Line one");
    EXPECT_TRUE(form_.para().DocModified);
    EXPECT_EQ(form_.focus(), Ctl::FlinEdit);
    EXPECT_EQ(form_.editor(Ctl::FlinEdit).text, "W-001");
  }
}

TEST_F(FilesTest, ADocumentGivenOnTheCommandLineOpensAsTheOpenCommandWould) {
  const std::filesystem::path sample =
      std::filesystem::path(QX_TEST_DATA_DIR) / ".." / "data" / "Sample" / "线号套管.kel";
  form_.OpenDocumentFile(sample);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(ui_.dialogs.empty());  // no file dialog
  EXPECT_GT(t().RowCount(), 1);
  EXPECT_EQ(form_.para().DocPath, sample);
  EXPECT_FALSE(form_.para().DocModified);
  EXPECT_EQ(form_.status(1), "文件路径:" + sample.string());

  // A file that is not a document: the open command's message and an empty Document.
  form_.OpenDocumentFile(dir_ / "missing.kel");
  EXPECT_EQ(ui_.Take(), std::vector<std::string>{"非法文件!"});
  EXPECT_EQ(t().RowCount(), 1);
  EXPECT_TRUE(form_.para().DocPath.empty());
}

}  // namespace
}  // namespace qx
