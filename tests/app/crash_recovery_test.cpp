// Nothing typed is lost when the program or its storage fails: the working table keeps the
// whole session (rows, settings, document file, changed flag) for the next start, a damaged
// one is kept and what can be read is offered, and a store that fails is told while the
// editor goes on with the text still in place.
#include <gtest/gtest.h>
#include <functional>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/main_window_model.h"
#include "document/document_file.h"
#include "document/memory_store.h"
#include "document/working_table.h"
#include "editing/messages.h"
#include "support/failing_store.h"
#include "support/window_fixture.h"

namespace qx {
namespace {

using testing::BarCanvas;
using testing::FailingStore;
using testing::ScriptedUi;
using testing::TempDir;
using S = std::vector<std::string>;

S UpperLines(SegmentTable& t) {
  S lines;
  for (int r = 0; r < t.RowCount(); ++r) lines.push_back(gbk::ToUtf8(t.TextAt(r, kUpperLineColumn)));
  return lines;
}

// Runs `edit` on an editor started in `dir` in a child process, then kills it outright
// (SIGKILL), as a crash or a power cut would end it.
void EditAndKill(const TempDir& dir, const std::function<void(MainWindowModel&, ScriptedUi&)>& edit) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ScriptedUi ui;
    BarCanvas a, b;
    MainWindowModel model(ui, std::make_unique<SqliteRowStore>(), a, b);
    model.settings().SetFaceItems({"黑体", "宋体"});
    model.Start(1024, 768, dir.path(), dir / "TL.$$$");
    edit(model, ui);
    kill(getpid(), SIGKILL);
    _exit(0);  // not reached
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
}

// The next start in `dir`, answering "恢复".
struct Restored {
  explicit Restored(const TempDir& dir)
      : slot(WorkingTableSlot::Acquire(dir.path())),
        model(ui, std::make_unique<SqliteRowStore>(), a, b) {
    EXPECT_TRUE(slot.has_leftover());
    ui.answers = {true};  // "恢复"
    model.Start(1024, 768, dir.path(), {slot.table_path(), true});
  }
  WorkingTableSlot slot;
  ScriptedUi ui;
  BarCanvas a, b;
  MainWindowModel model;
};

// An editor that saved its Document as a file, went on editing and changed every document
// setting, then was killed outright: the next start restores all of it.
TEST(CrashRecovery, RestoreBringsBackRowsSettingsAndTheDocumentFile) {
  TempDir dir;
  EditAndKill(dir, [&](MainWindowModel& model, ScriptedUi& ui) {
    ui.files = {dir / "wires.kel"};
    model.OnActivated();
    model.line_editors().TypeText(Control::UpperLine, "K1");
    model.files().OnSaveAsButton();
    model.segment_list().OnAppendButton();
    model.line_editors().TypeText(Control::UpperLine, "K2");
    model.segment_list().OnStoreButton();
    model.PickSelector(Control::MaterialSelector, 6);  // 热缩管
    model.PickSelector(Control::CutSelector, 2);
    model.PickSelector(Control::AlignmentSelector, 1);
    model.PickSelector(Control::SpacingSelector, 7);
    model.PickSelector(Control::DensitySelector, 5);
    model.PickSelector(Control::FontFaceSelector, 1);  // 宋体
    model.settings().OnBoldButton();
    model.context().FocusLineEnd(0);
  });
  Restored r(dir);
  MainWindowModel& model = r.model;
  ScriptedUi& ui = r.ui;
  EXPECT_EQ(UpperLines(model.table()), (S{"K1", "K2"}));
  const DocumentSettings& s = model.doc().settings;
  EXPECT_EQ(s.material_index, 6);
  EXPECT_EQ(s.cut_index, 2);
  EXPECT_EQ(s.alignment_index, 1);
  EXPECT_EQ(s.spacing_index, 7);
  EXPECT_EQ(s.density_index, 5);
  EXPECT_EQ(s.font_face, "宋体");
  EXPECT_TRUE(s.bold);
  EXPECT_TRUE(s.editor_bold);
  const DocumentFileState& p = model.doc().file_state;
  EXPECT_EQ(p.MaterialCode, 7);
  EXPECT_EQ(p.CutCode, 2);
  EXPECT_EQ(p.AlignCode, 1);
  EXPECT_EQ(p.CharSpacing, 8);
  EXPECT_TRUE(p.HasFile);
  EXPECT_EQ(p.DocPath, dir / "wires.kel");
  EXPECT_TRUE(p.DocModified);  // nothing of the restored session was saved by this run
  EXPECT_EQ(model.measurer().face(), "宋体");
  EXPECT_EQ(model.controls().status(1), std::string(msg::kFilePath) + (dir / "wires.kel").string());

  // Saving goes to the restored file without asking for a name.
  model.files().OnSaveButton();
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_FALSE(model.doc().file_state.DocModified);
}

// The undo history lives with the working table: after a crash and "恢复" the steps made
// before the crash can be undone and redone. A history that a crash left behind the rows
// (a row changed after its last write) is not used: its steps would lead elsewhere.
TEST(CrashRecovery, TheUndoHistoryOutlivesACrash) {
  struct Case {
    const char* name;
    bool change_after_history;  // a row stored outside any step, then the crash
  };
  for (const Case c : {Case{"steps kept", false}, Case{"rows ahead of the history", true}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    EditAndKill(dir, [&](MainWindowModel& model, ScriptedUi&) {
      auto run = [&](const std::function<void()>& f) { model.Run(f); };
      run([&] { model.OnActivated(); });
      run([&] { model.line_editors().TypeText(Control::UpperLine, "K1"); });
      run([&] {
        model.NameStep(Control::AppendButton);
        model.segment_list().OnAppendButton();
      });
      run([&] { model.line_editors().TypeText(Control::UpperLine, "K2"); });
      run([&] {
        model.NameStep(Control::StoreButton);
        model.segment_list().OnStoreButton();
      });
      run([&] { model.PickSelector(Control::MaterialSelector, 6); });  // 热缩管
      run([&] { model.PickSelector(Control::CutSelector, 2); });
      if (c.change_after_history) {
        SegmentTable& t = model.table();
        t.Edit();
        t.SetText(kUpperLineColumn, "X");
        t.Store();
      }
    });
    Restored r(dir);
    MainWindowModel& model = r.model;
    auto run = [&](const std::function<void()>& f) { ASSERT_TRUE(model.Run(f)); };
    run([&] { model.OnActivated(); });
    if (c.change_after_history) {
      EXPECT_EQ(UpperLines(model.table()), (S{"K1", "X"}));
      EXPECT_FALSE(model.CanUndo());
      continue;
    }
    EXPECT_EQ(UpperLines(model.table()), (S{"K1", "K2"}));
    EXPECT_EQ(model.UndoText(), "撤销 半切");
    std::vector<std::string> undone;
    while (model.CanUndo()) {
      undone.push_back(model.UndoText());
      run([&] { model.Undo(); });
    }
    // Storing what was typed belongs to the typing step.
    EXPECT_EQ(undone, (S{"撤销 半切", "撤销 材料", "撤销 输入", "撤销 添加", "撤销 输入"}));
    EXPECT_EQ(UpperLines(model.table()), (S{""}));
    EXPECT_EQ(model.doc().settings.material_index, DocumentSettings{}.material_index);
    EXPECT_EQ(model.doc().settings.cut_index, DocumentSettings{}.cut_index);
    // The restored Document differs from the new one it started as by its restored steps
    // alone: with them all undone it is unchanged.
    EXPECT_FALSE(model.doc().file_state.DocModified);
    while (model.CanRedo()) run([&] { model.Redo(); });
    EXPECT_TRUE(model.doc().file_state.DocModified);
    EXPECT_EQ(UpperLines(model.table()), (S{"K1", "K2"}));
    EXPECT_EQ(model.doc().settings.material_index, 6);
    EXPECT_EQ(model.doc().settings.cut_index, 2);
  }
}

// The point the document file was saved at is kept with the history: after a crash and
// "恢复" the Document is changed, undoing back to that point leaves it unchanged, and going
// past it either way changes it again.
TEST(CrashRecovery, TheSavedPointOutlivesACrash) {
  TempDir dir;
  EditAndKill(dir, [&](MainWindowModel& model, ScriptedUi& ui) {
    auto run = [&](const std::function<void()>& f) { model.Run(f); };
    run([&] { model.OnActivated(); });
    run([&] { model.line_editors().TypeText(Control::UpperLine, "K1"); });
    ui.files = {dir / "wires.kel"};
    run([&] { model.files().OnSaveAsButton(); });
    run([&] { model.line_editors().TypeText(Control::UpperLine, "2"); });
    run([&] {
      model.NameStep(Control::StoreButton);
      model.segment_list().OnStoreButton();
    });
  });
  Restored r(dir);
  MainWindowModel& model = r.model;
  auto run = [&](const std::function<void()>& f) { ASSERT_TRUE(model.Run(f)); };
  const auto changed = [&] { return model.doc().file_state.DocModified; };
  EXPECT_EQ(UpperLines(model.table()), (S{"K12"}));
  EXPECT_TRUE(changed());
  run([&] { model.OnActivated(); });
  EXPECT_TRUE(changed());
  ASSERT_EQ(model.UndoText(), "撤销 输入");
  run([&] { model.Undo(); });
  EXPECT_FALSE(changed());  // as saved
  EXPECT_EQ(UpperLines(model.table()), (S{"K1"}));
  run([&] { model.Undo(); });
  EXPECT_TRUE(changed());
  run([&] { model.Redo(); });
  EXPECT_FALSE(changed());
  run([&] { model.Redo(); });
  EXPECT_TRUE(changed());
  // Closing asks only while it is changed.
  run([&] { model.Undo(); });
  EXPECT_TRUE(model.CanClose());
  EXPECT_EQ(r.ui.questions.size(), 1u);  // only "恢复"
}

// An open replaces the Document as one step; each side's file and saved point are kept
// with the history: after a crash and "恢复", undoing the open brings the saved Document
// back unchanged under its own name, and redoing it the opened one as it was left.
TEST(CrashRecovery, EachSideOfAnOpenKeepsItsSavedPointThroughACrash) {
  const std::filesystem::path sample =
      std::filesystem::path(QX_TEST_DATA_DIR) / ".." / "data" / "Sample" / "线号套管.kel";
  TempDir dir;
  EditAndKill(dir, [&](MainWindowModel& model, ScriptedUi& ui) {
    auto run = [&](const std::function<void()>& f) { model.Run(f); };
    run([&] { model.OnActivated(); });
    run([&] { model.line_editors().TypeText(Control::UpperLine, "K1"); });
    ui.files = {dir / "wires.kel"};
    run([&] { model.files().OnSaveAsButton(); });
    run([&] { model.OpenGivenFile(sample); });  // unchanged: no question
    run([&] { model.line_editors().TypeText(Control::UpperLine, "Z"); });
  });
  Restored r(dir);
  MainWindowModel& model = r.model;
  auto run = [&](const std::function<void()>& f) { ASSERT_TRUE(model.Run(f)); };
  const DocumentFileState& p = model.doc().file_state;
  run([&] { model.OnActivated(); });
  EXPECT_EQ(p.DocPath, sample);
  EXPECT_TRUE(p.DocModified);
  ASSERT_EQ(model.UndoText(), "撤销 输入");
  run([&] { model.Undo(); });
  EXPECT_FALSE(p.DocModified);  // as opened
  ASSERT_EQ(model.UndoText(), "撤销 打开");
  run([&] { model.Undo(); });
  EXPECT_EQ(UpperLines(model.table()), (S{"K1"}));
  EXPECT_TRUE(p.HasFile);
  EXPECT_EQ(p.DocPath, dir / "wires.kel");
  EXPECT_FALSE(p.DocModified);  // as saved
  EXPECT_EQ(model.WindowTitle(), "wires.kel - QX Editor  8.30");
  run([&] { model.Undo(); });
  EXPECT_TRUE(p.DocModified);
  run([&] { model.Redo(); });
  EXPECT_FALSE(p.DocModified);
  run([&] { model.Redo(); });
  EXPECT_EQ(p.DocPath, sample);
  EXPECT_FALSE(p.DocModified);
  run([&] { model.Redo(); });
  EXPECT_TRUE(p.DocModified);
  EXPECT_EQ(model.WindowTitle(), "线号套管.kel* - QX Editor  8.30");
}

TEST(CrashRecovery, ADamagedLeftoverIsToldAndItsReadableRowsRestored) {
  TempDir dir;
  {
    DocumentState doc(std::make_unique<SqliteRowStore>());
    NewDocument(doc, dir / "TL.$$$");
    doc.table.SetText(kUpperLineColumn, "R1");
    StoreNumbered(doc.table);
  }
  for (bool readable : {true, false}) {
    ScriptedUi ui;
    BarCanvas a, b;
    MainWindowModel model(ui, std::make_unique<SqliteRowStore>(), a, b);
    WorkingTableStart start(dir / "TL.$$$", readable);
    start.damaged_kept_as = dir / "TL.$$$.damaged-20261210-120000";
    start.salvaged_rows = readable ? 1 : 0;
    if (readable) ui.answers = {true};
    model.Start(1024, 768, dir.path(), start);
    if (readable) {
      ASSERT_EQ(ui.questions.size(), 1u);
      EXPECT_NE(ui.questions[0].find("TL.$$$.damaged-20261210-120000"), std::string::npos);
      EXPECT_NE(ui.questions[0].find("其中1个段落仍可读出"), std::string::npos);
      EXPECT_EQ(UpperLines(model.table()), (S{"R1"}));
      EXPECT_TRUE(model.doc().file_state.DocModified);
    } else {
      EXPECT_TRUE(ui.questions.empty());
      ASSERT_EQ(ui.messages.size(), 1u);
      EXPECT_NE(ui.messages[0].text.find("没有可以读出的段落"), std::string::npos);
      EXPECT_NE(ui.messages[0].text.find("TL.$$$.damaged-20261210-120000"), std::string::npos);
      EXPECT_EQ(UpperLines(model.table()), (S{""}));  // a new Document
    }
  }
}

TEST(CrashRecovery, AnUnusableStateFolderIsToldAndTheEditorRuns) {
  TempDir dir;
  ScriptedUi ui;
  BarCanvas a, b;
  MainWindowModel model(ui, std::make_unique<SqliteRowStore>(), a, b);
  WorkingTableStart start(dir / "TL.$$$");
  start.state_folder = "/home/op/.local/state/qx-editor";
  start.storage_problem = "Read-only file system";
  model.Start(1024, 768, dir.path(), start);
  model.OnActivated();
  ASSERT_EQ(ui.messages.size(), 1u);
  const std::string& text = ui.messages[0].text;
  EXPECT_NE(text.find("/home/op/.local/state/qx-editor"), std::string::npos);
  EXPECT_NE(text.find("Read-only file system"), std::string::npos);
  EXPECT_NE(text.find("无法恢复"), std::string::npos);
  model.line_editors().TypeText(Control::UpperLine, "A1");
  model.line_editors().PressEnter(Control::UpperLine);
  EXPECT_EQ(UpperLines(model.table()), (S{"A1", ""}));
}

// An editor on a working table whose writes fail while `failing` is set.
class FailingWorkingTable : public ::testing::Test {
 protected:
  FailingWorkingTable() {
    model.Start(1024, 768, dir.path(), dir / "TL.$$$");
    model.OnActivated();
  }
  TempDir dir;
  std::shared_ptr<bool> failing = std::make_shared<bool>(false);
  ScriptedUi ui;
  BarCanvas a, b;
  MainWindowModel model{ui, std::make_unique<FailingStore>(failing), a, b};
};

// The folder of the working table fills up (or turns read-only) while the operator types:
// Enter and "存段" fail with a message, the typed text stays, the window goes on, and the
// next store once there is room again writes the Segment.
TEST_F(FailingWorkingTable, AFailedStoreKeepsTheTextAndTheWindow) {
  model.line_editors().TypeText(Control::UpperLine, "A1");
  *failing = true;
  for (auto step : std::vector<std::function<void()>>{
           [&] { model.line_editors().PressEnter(Control::UpperLine); },
           [&] { model.segment_list().OnStoreButton(); },
           [&] { model.segment_list().OnAppendButton(); }}) {
    EXPECT_FALSE(model.Run(step));
    ASSERT_FALSE(ui.messages.empty());
    for (const auto& m : ui.messages) EXPECT_EQ(m.text.rfind("段落未能存入工作表:", 0), 0u) << m.text;
    EXPECT_NE(ui.messages.back().text.find("database or disk is full"), std::string::npos);
    ui.messages.clear();
    EXPECT_EQ(gbk::ToUtf8(model.context().editor(Control::UpperLine).text), "A1");
    EXPECT_EQ(model.table().RowCount(), 1);
    EXPECT_TRUE(model.table().InEditMode());
    EXPECT_FALSE(model.doc().file_state.DocBusy);
  }
  // A print that cannot tidy the Document first leaves the window as it was.
  EXPECT_FALSE(model.Run([&] { model.printing().OnPrintButton(); }));
  EXPECT_FALSE(model.doc().file_state.DocBusy);
  ui.messages.clear();

  *failing = false;
  EXPECT_TRUE(model.Run([&] { model.line_editors().PressEnter(Control::UpperLine); }));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(UpperLines(model.table()), (S{"A1", ""}));
  SegmentTable on_disk(std::make_unique<SqliteRowStore>());
  on_disk.Bind(dir / "TL.$$$");
  on_disk.Open();
  EXPECT_EQ(UpperLines(on_disk), (S{"A1", ""}));
}

// While the working table cannot be written (a full or failing disk), 另存文件 still writes
// the Document elsewhere, the Segment being edited included, and says that the table is
// not being written; the text stays in the editor for when the table works again.
TEST_F(FailingWorkingTable, SaveAsWritesTheDocumentWhileTheWorkingTableFails) {
  for (const char* line : {"A1", "B2→"}) {
    ASSERT_TRUE(model.Run([&] { model.line_editors().TypeText(Control::UpperLine, line); }));
    ASSERT_TRUE(model.Run([&] { model.line_editors().PressEnter(Control::UpperLine); }));
  }
  ASSERT_TRUE(model.Run([&] { model.line_editors().TypeText(Control::UpperLine, "C3←"); }));
  *failing = true;
  const std::filesystem::path elsewhere = dir / "elsewhere" / "wires.kel";
  std::filesystem::create_directories(elsewhere.parent_path());
  ui.files = {elsewhere};
  EXPECT_TRUE(model.Run([&] { model.files().OnSaveAsButton(); }));

  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text.rfind("文档已保存到" + elsewhere.string(), 0), 0u)
      << ui.messages[0].text;
  EXPECT_NE(ui.messages[0].text.find("database or disk is full"), std::string::npos);
  SegmentTable saved(std::make_unique<MemoryRowStore>());
  saved.Bind(elsewhere);
  DocumentSettings settings;
  ASSERT_TRUE(ReadDocumentFile(elsewhere, saved, settings));
  EXPECT_EQ(UpperLines(saved), (S{"A1", "B2→", "C3←"}));
  for (int r = 0; r < saved.RowCount(); ++r)
    EXPECT_EQ(saved.TextAt(r, kNumberColumn), std::to_string(r + 1));
  EXPECT_EQ(model.doc().file_state.DocPath, elsewhere);
  EXPECT_EQ(gbk::ToUtf8(model.context().editor(Control::UpperLine).text), "C3←");
  EXPECT_TRUE(model.table().InEditMode());

  // Once the table works again, the Segment is stored as usual.
  *failing = false;
  ui.messages.clear();
  EXPECT_TRUE(model.Run([&] { model.segment_list().OnStoreButton(); }));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(UpperLines(model.table()), (S{"A1", "B2→", "C3←"}));
}

}  // namespace
}  // namespace qx
