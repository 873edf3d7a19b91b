// The window's title, its list of recent files and files dropped on it: the rules the
// view only shows, driven through the window model.
#include <gtest/gtest.h>

#include <fstream>

#include "app/main_window_model.h"
#include "app/recent_files.h"
#include "app/window_title.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::TempDir;
using testing::WindowTest;
using S = std::vector<std::string>;
using Paths = std::vector<std::filesystem::path>;

std::filesystem::path ExcelFixture(const char* name) {
  return std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures" / "excel" / name;
}

TEST(WindowTitleRule, NameChangedMarkAndCaption) {
  struct Case {
    bool has_file, modified;
    const char* path;
    const char* title;
  } cases[] = {
      {false, false, "", "未命名 - QX Editor  8.30"},
      {false, true, "", "未命名* - QX Editor  8.30"},
      {true, false, "/home/op/线号/柜1.kel", "柜1.kel - QX Editor  8.30"},
      {true, true, "/home/op/线号/柜1.kel", "柜1.kel* - QX Editor  8.30"},
      // A path left from an earlier file does not name a Document that has none.
      {false, false, "/home/op/old.kel", "未命名 - QX Editor  8.30"},
  };
  for (const Case& c : cases) {
    DocumentFileState f;
    f.HasFile = c.has_file;
    f.DocModified = c.modified;
    f.DocPath = c.path;
    EXPECT_EQ(WindowTitle(f), c.title) << c.path;
  }
}

class WindowFilesTest : public WindowTest {
 protected:
  std::filesystem::path Touch(const std::string& name) {
    const auto p = dir_ / name;
    std::ofstream(p) << "x";
    return std::filesystem::weakly_canonical(p);
  }
  const Paths& Recent() { return model_.recent_files().entries(); }
};

TEST_F(WindowFilesTest, TitleFollowsTheDocumentThroughTypingSavingAndNew) {
  EXPECT_EQ(model_.WindowTitle(), "未命名 - QX Editor  8.30");
  Event([&] { model_.line_editors().TypeText(Control::UpperLine, "A1"); });
  EXPECT_EQ(model_.WindowTitle(), "未命名* - QX Editor  8.30");
  ui_.files = {dir_ / "柜1.kel"};
  Event([&] { model_.files().OnSaveButton(); });
  EXPECT_EQ(model_.WindowTitle(), "柜1.kel - QX Editor  8.30");
  Event([&] { model_.line_editors().TypeText(Control::UpperLine, "A"); });
  EXPECT_EQ(model_.WindowTitle(), "柜1.kel* - QX Editor  8.30");
  ui_.yes_no = {Answer::kNo};
  Event([&] { model_.files().OnNewButton(); });
  EXPECT_EQ(model_.WindowTitle(), "未命名 - QX Editor  8.30");
}

TEST(RecentFilesRules, MostRecentFirstOnceEachAtMostEightKeptAcrossRuns) {
  TempDir dir;
  Paths files;
  for (int i = 0; i < 10; ++i) {
    files.push_back(dir / ("f" + std::to_string(i) + ".kel"));
    std::ofstream(files.back()) << "x";
    files.back() = std::filesystem::weakly_canonical(files.back());
  }
  const auto storage = dir / "config" / "qx-editor" / "recent-files";
  {
    RecentFiles recent;
    recent.SetStorage(storage);
    EXPECT_TRUE(recent.entries().empty());
    for (int i = 0; i < 10; ++i) recent.Add(files[static_cast<std::size_t>(i)]);
    // The same file by another spelling moves up instead of being listed twice.
    recent.Add(dir / "sub" / ".." / "f5.kel");
    EXPECT_EQ(recent.entries(),
              (Paths{files[5], files[9], files[8], files[7], files[6], files[4], files[3],
                     files[2]}));
  }
  std::filesystem::remove(files[8]);
  RecentFiles next_run;
  next_run.SetStorage(storage);  // a file gone since is left out
  EXPECT_EQ(next_run.entries(), (Paths{files[5], files[9], files[7], files[6], files[4],
                                       files[3], files[2]}));
  std::filesystem::remove(files[3]);
  EXPECT_TRUE(next_run.DropMissing());
  EXPECT_FALSE(next_run.DropMissing());
  EXPECT_EQ(next_run.entries().size(), 6u);
}

TEST(RecentFilesRules, AStorageThatCannotBeWrittenOnlyCostsTheList) {
  TempDir dir;
  std::ofstream(dir / "blocker") << "a file where the folder should be";
  RecentFiles recent;
  recent.SetStorage(dir / "blocker" / "recent-files");
  std::ofstream(dir / "a.kel") << "x";
  recent.Add(dir / "a.kel");
  EXPECT_EQ(recent.entries().size(), 1u);
}

TEST_F(WindowFilesTest, OpenSaveAndImportAreRecordedAndRecentEntriesOpenAgain) {
  model_.line_editors().TypeText(Control::UpperLine, "A1");
  ui_.files = {dir_ / "one.kel"};
  model_.files().OnSaveButton();
  const auto one = std::filesystem::weakly_canonical(dir_ / "one.kel");
  EXPECT_EQ(Recent(), Paths{one});

  ui_.files = {ExcelFixture("basic.xlsx")};
  model_.files().OnImportExcelButton();
  EXPECT_EQ(Recent(), (Paths{std::filesystem::weakly_canonical(ExcelFixture("basic.xlsx")), one}));

  // A failed open is not recorded.
  const auto bad = Touch("bad.kel");
  ui_.yes_no = {Answer::kNo};
  ui_.files = {bad};
  model_.files().OnOpenButton();
  EXPECT_EQ(ui_.Take(), S{"非法文件!"});
  EXPECT_EQ(Recent().size(), 2u);

  // The second entry, the document, opens again without a file dialog.
  model_.OpenRecentFile(1);
  EXPECT_TRUE(ui_.files.empty());
  EXPECT_EQ(model_.doc().file_state.DocPath, one);
  EXPECT_EQ(Field(kUpperLineColumn), "A1");
  EXPECT_EQ(Recent().front(), one);
}

TEST_F(WindowFilesTest, ARecentFileThatIsGoneIsToldAndDropped) {
  const auto gone = Touch("gone.kel");
  model_.recent_files().Add(gone);
  std::filesystem::remove(gone);
  model_.OpenRecentFile(0);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "文件不存在,已从最近的文件中删除:\n" + gone.string());
  EXPECT_EQ(ui_.messages[0].caption, "信息提示");
  EXPECT_TRUE(Recent().empty());
  EXPECT_EQ(t().RowCount(), 1);  // the Document is untouched
}

TEST_F(WindowFilesTest, DroppedFilesTakeTheOpenAndImportPathsWithTheirQuestions) {
  EXPECT_EQ(MainWindowModel::KindOf("a/B.KEL"), MainWindowModel::FileKind::kDocument);
  EXPECT_EQ(MainWindowModel::KindOf("b.Xlsx"), MainWindowModel::FileKind::kWorkbook);
  EXPECT_EQ(MainWindowModel::KindOf("c.xls"), MainWindowModel::FileKind::kWorkbook);
  for (const char* table : {"e.ods", "f.CSV", "g.tsv", "h.txt"})
    EXPECT_EQ(MainWindowModel::KindOf(table), MainWindowModel::FileKind::kWorkbook) << table;
  EXPECT_EQ(MainWindowModel::KindOf("d.qxf"), MainWindowModel::FileKind::kOther);
  EXPECT_EQ(MainWindowModel::KindOf("kel"), MainWindowModel::FileKind::kOther);

  Event([&] { model_.line_editors().TypeText(Control::UpperLine, "OTHER"); });
  ui_.files = {dir_ / "other.kel"};
  Event([&] { model_.files().OnSaveButton(); });
  Event([&] { model_.files().OnNewButton(); });
  ui_.dialogs.clear();

  // A workbook dropped on a changed Document: the import window, then the save question.
  Event([&] { model_.line_editors().TypeText(Control::UpperLine, "KEEP"); });
  ui_.yes_no = {Answer::kCancel};
  Event([&] { model_.OpenGivenFile(ExcelFixture("basic.xlsx")); });
  EXPECT_EQ(ui_.import_windows, 1);
  EXPECT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(Field(kUpperLineColumn), "KEEP");  // cancelled: nothing replaced
  ui_.yes_no = {Answer::kNo};
  Event([&] { model_.OpenGivenFile(ExcelFixture("basic.xlsx")); });
  EXPECT_EQ(gbk::ToUtf8(t().TextAt(0, kUpperLineColumn)), "W-001");
  EXPECT_TRUE(ui_.dialogs.empty());  // no file dialog

  // A document file dropped on the imported Document: "yes, save" asks where, as open does.
  ui_.yes_no = {Answer::kYes};
  ui_.files = {dir_ / "imported.kel"};
  Event([&] { model_.OpenGivenFile(dir_ / "other.kel"); });
  EXPECT_EQ(ui_.dialogs.size(), 1u);  // the save dialog of the question only
  EXPECT_TRUE(std::filesystem::exists(dir_ / "imported.kel"));
  EXPECT_EQ(model_.doc().file_state.DocPath, dir_ / "other.kel");
  EXPECT_EQ(Field(kUpperLineColumn), "OTHER");
  EXPECT_TRUE(ui_.messages.empty());

  // Any other file is refused with a message and changes nothing.
  const auto qxf = Touch("job.qxf");
  model_.OpenGivenFile(qxf);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text.rfind("不能打开这种文件:\n" + qxf.string(), 0), 0u);
  EXPECT_EQ(model_.doc().file_state.DocPath, dir_ / "other.kel");
}

TEST_F(WindowFilesTest, NoDropIsTakenWhileItsCommandIsDisabled) {
  const auto doc = Touch("x.kel");
  EXPECT_TRUE(model_.CanOpen(doc));
  EXPECT_TRUE(model_.CanOpen(ExcelFixture("basic.xls")));
  EXPECT_TRUE(model_.CanOpen(Touch("y.txt")));  // a text table
  EXPECT_FALSE(model_.CanOpen(Touch("y.pdf")));
  // The length editor holds the focus: the upper tool bar with open and import is off.
  model_.Focus(Control::LengthEdit);
  EXPECT_FALSE(model_.CanOpen(doc));
  EXPECT_FALSE(model_.CanOpen(ExcelFixture("basic.xls")));
  model_.OpenGivenFile(doc);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(model_.doc().file_state.DocPath.empty());
}

}  // namespace
}  // namespace qx
