// The question before a changed Document is given up (quit, new, open, a recent file, a
// dropped workbook, import): 取消 backs out of the command and leaves the Document, its
// file, its history and the working table as they were; 否 gives the changes up; 是 saves
// them first, and a cancelled save dialog gives nothing up. A Document replaced while the
// window stays open comes back with one undo, with its file, changed flag and history.
#include <gtest/gtest.h>

#include <ostream>

#include "app/main_window_model.h"
#include "document/document_file.h"
#include "document/gbk.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

enum class Command { kQuit, kNew, kOpen, kRecent, kDropWorkbook, kImport };
enum class Reply { kCancel, kNo, kYes, kYesSaveDialogCancelled };

struct Case {
  std::string name;
  Command command;
  Reply reply;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::filesystem::path SampleDocument() {
  return std::filesystem::path(QX_TEST_DATA_DIR) / ".." / "data" / "Sample" / "线号套管.kel";
}
std::filesystem::path Workbook() {
  return std::filesystem::path(QX_TEST_DATA_DIR) / "fixtures" / "excel" / "basic.xlsx";
}

// The upper lines of a document file's Segments.
std::vector<std::string> FileLines(const std::filesystem::path& file) {
  auto f = MakeDocumentFileTable(file);
  f->Open();
  std::vector<std::string> lines;
  for (int r = 0; r + 1 < f->RowCount(); ++r)  // the settings row last
    lines.push_back(gbk::ToUtf8(f->TextAt(r, kUpperLineColumn)));
  f->Close();
  return lines;
}

// What giving up may touch: the Document, its file and changed flag, the history and the
// working table with the history kept beside it.
struct Snapshot {
  std::string rows, settings, editor, file, title;
  bool changed = false;
  std::size_t position = 0, steps = 0, kept_steps = 0;
  std::string undo_text;
  bool working_table = false;
  bool operator==(const Snapshot&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Snapshot& s) {
  return os << "\n  rows " << s.rows << "\n  settings " << s.settings << "\n  editor ["
            << s.editor << "]\n  file " << s.file << " changed " << s.changed << " title "
            << s.title << "\n  history " << s.position << " of " << s.steps << " (kept "
            << s.kept_steps << ") " << s.undo_text << "\n  working table " << s.working_table;
}

class GiveUpTest : public testing::WindowTest, public ::testing::WithParamInterface<Case> {
 protected:
  void Event(const std::function<void()>& f) { ASSERT_TRUE(model_.Run(f)); }

  // "A1" and "B2" saved as old.kel (unless `untitled`), then "C" typed into the second and
  // the material changed: a changed Document with a history of several steps.
  void ChangedDocument(bool untitled) {
    Event([&] { model_.line_editors().TypeText(Control::UpperLine, "A1"); });
    Event([&] { model_.line_editors().PressEnter(Control::UpperLine); });
    Event([&] { model_.line_editors().TypeText(Control::UpperLine, "B2"); });
    if (!untitled) {
      ui_.files = {dir_ / "old.kel"};
      Event([&] { model_.files().OnSaveButton(); });
    }
    Event([&] { model_.line_editors().TypeText(Control::UpperLine, "C"); });
    Event([&] { model_.PickSelector(Control::MaterialSelector, 1); });
    ASSERT_TRUE(model_.doc().file_state.DocModified);
  }

  Snapshot Take() {
    Snapshot s;
    for (int r = 0; r < t().RowCount(); ++r)
      s.rows += "[" + gbk::ToUtf8(t().TextAt(r, kUpperLineColumn)) + "/" +
                gbk::ToUtf8(t().TextAt(r, kLowerLineColumn)) + "]";
    const DocumentSettings& g = model_.doc().settings;
    s.settings = std::to_string(g.material_index) + " " + std::to_string(g.cut_index) + " " +
                 std::to_string(g.alignment_index) + " " + std::to_string(g.spacing_index) +
                 " " + g.font_face;
    s.editor = gbk::ToUtf8(model_.context().editor(Control::UpperLine).text);
    const DocumentFileState& p = model_.doc().file_state;
    s.file = p.HasFile ? p.DocPath.filename().string() : "-";
    s.changed = p.DocModified;
    s.title = model_.WindowTitle();
    s.position = model_.history().position();
    s.steps = model_.history().step_count();
    s.undo_text = model_.UndoText();
    s.working_table = t().IsOpen() && std::filesystem::exists(dir_ / "TL.$$$");
    if (s.working_table) s.kept_steps = t().ReadHistory().steps.size();
    return s;
  }

  // Runs the command; false when quitting was refused.
  bool Run(Command c) {
    bool closed = false;
    switch (c) {
      case Command::kQuit:
        Event([&] { closed = model_.CanClose(); });
        break;
      case Command::kNew:
        Event([&] { model_.files().OnNewButton(); });
        break;
      case Command::kOpen:
        Event([&] { model_.files().OnOpenButton(); });
        break;
      case Command::kRecent:
        Event([&] { model_.OpenRecentFile(0); });
        break;
      case Command::kDropWorkbook:
        Event([&] { model_.OpenGivenFile(Workbook()); });
        break;
      case Command::kImport:
        Event([&] { model_.OnImportButton(); });
        break;
    }
    return closed;
  }
};

TEST_P(GiveUpTest, EveryAnswerOfTheQuestion) {
  const Case c = GetParam();
  const bool untitled = c.reply == Reply::kYesSaveDialogCancelled;
  ChangedDocument(untitled);
  const Snapshot before = Take();
  ASSERT_EQ(before.kept_steps, before.steps);

  // The file the command takes, the reply, and the save dialog of 是 for an untitled one.
  const bool opens = c.command == Command::kOpen || c.command == Command::kRecent;
  const bool imports = c.command == Command::kDropWorkbook || c.command == Command::kImport;
  ui_.files.clear();
  if (c.command == Command::kOpen) ui_.files.push_back(SampleDocument());
  if (c.command == Command::kImport) ui_.files.push_back(Workbook());
  if (c.command == Command::kRecent) model_.recent_files().Add(SampleDocument());
  ui_.yes_no = {c.reply == Reply::kCancel ? Answer::kCancel
                : c.reply == Reply::kNo   ? Answer::kNo
                                          : Answer::kYes};
  if (untitled) ui_.files.push_back(std::nullopt);
  ui_.questions.clear();
  const bool closed = Run(c.command);

  EXPECT_TRUE(ui_.yes_no.empty());
  EXPECT_TRUE(ui_.files.empty());
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0], c.command == Command::kQuit ? "当前文件已修改,是否保存?"
                                                          : "当前文件已修改,是否保存？");
  EXPECT_TRUE(ui_.messages.empty());
  if (!untitled) {
    // 是 saved the changes first; otherwise the file is as it was saved.
    EXPECT_EQ(FileLines(dir_ / "old.kel"),
              (std::vector<std::string>{"A1", c.reply == Reply::kYes ? "B2C" : "B2"}));
  }

  if (c.reply == Reply::kCancel || c.reply == Reply::kYesSaveDialogCancelled) {
    // Backed out of: nothing at all was given up.
    EXPECT_FALSE(closed);
    EXPECT_EQ(Take(), before);
    return;
  }

  const Snapshot after = Take();
  if (c.command == Command::kQuit) {
    EXPECT_TRUE(closed);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "TL.$$$"));
    return;
  }
  EXPECT_TRUE(after.working_table);
  if (c.command == Command::kNew) {
    EXPECT_EQ(after.rows, "[/]");
    EXPECT_EQ(after.title, "未命名 - QX Editor  8.30");
    EXPECT_EQ(after.steps, 0u);
    return;
  }

  // Replaced, as one step.
  ASSERT_TRUE(opens || imports);
  EXPECT_EQ(gbk::ToUtf8(t().TextAt(0, kUpperLineColumn)),
            opens ? FileLines(SampleDocument()).front() : "W-001");
  EXPECT_EQ(after.file, opens ? "线号套管.kel" : "-");
  EXPECT_EQ(after.changed, imports);
  EXPECT_EQ(after.undo_text, opens ? "撤销 打开" : "撤销 导入");
  EXPECT_EQ(after.kept_steps, after.steps);

  // Undo brings the Document given up back with its history; after 是 it is the saved one.
  Event([&] { model_.Undo(); });
  Snapshot expected = before;
  if (c.reply == Reply::kYes) {
    expected.changed = false;
    expected.title = "old.kel - QX Editor  8.30";
  }
  expected.steps = before.steps + 1;  // the replacement, to redo
  expected.kept_steps = expected.steps;
  EXPECT_EQ(Take(), expected);
  EXPECT_EQ(model_.RedoText(), opens ? "重做 打开" : "重做 导入");
  // Its own steps undo as before: the material comes back first.
  Event([&] { model_.Undo(); });
  EXPECT_EQ(model_.doc().settings.material_index, 4);
  EXPECT_EQ(gbk::ToUtf8(t().TextAt(1, kUpperLineColumn)), "B2C");

  // Redo makes both steps again: the Document is the replacing one as the command left it.
  Event([&] { model_.Redo(); });
  Event([&] { model_.Redo(); });
  EXPECT_EQ(Take(), after);
}

std::vector<Case> AllCases() {
  const std::pair<const char*, Command> commands[] = {
      {"Quit", Command::kQuit},     {"New", Command::kNew},
      {"Open", Command::kOpen},     {"RecentFile", Command::kRecent},
      {"DroppedWorkbook", Command::kDropWorkbook}, {"Import", Command::kImport}};
  const std::pair<const char*, Reply> replies[] = {{"Cancel", Reply::kCancel},
                                                   {"No", Reply::kNo},
                                                   {"Yes", Reply::kYes},
                                                   {"YesSaveDialogCancelled",
                                                    Reply::kYesSaveDialogCancelled}};
  std::vector<Case> cases;
  for (const auto& [command_name, command] : commands)
    for (const auto& [reply_name, reply] : replies)
      cases.push_back({std::string(command_name) + reply_name, command, reply});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(CommandsAndAnswers, GiveUpTest, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& param) {
                           return param.param.name;
                         });

}  // namespace
}  // namespace qx
