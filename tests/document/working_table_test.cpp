#include "document/working_table.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "document/document.h"
#include "document/sqlite_store.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

using testing::TempDir;

TEST(WorkingTableSlot, RunningEditorsGetSeparateTables) {
  TempDir dir;
  auto first = WorkingTableSlot::Acquire(dir.path());
  auto second = WorkingTableSlot::Acquire(dir.path());
  EXPECT_EQ(first.table_path(), dir / "TL.$$$");
  EXPECT_EQ(second.table_path(), dir / "TL-2.$$$");
  EXPECT_FALSE(first.has_leftover());

  // A slot given up is taken again by the next editor.
  { WorkingTableSlot gone = std::move(first); }
  auto third = WorkingTableSlot::Acquire(dir.path());
  EXPECT_EQ(third.table_path(), dir / "TL.$$$");
}

TEST(WorkingTableSlot, StateDirectoryFollowsXdgStateHome) {
  TempDir dir;
  const char* old = std::getenv("XDG_STATE_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_STATE_HOME", dir.path().c_str(), 1);
  const auto state = StateDirectory();
  if (old) setenv("XDG_STATE_HOME", saved.c_str(), 1); else unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(state, dir / "qx-editor");
  EXPECT_TRUE(std::filesystem::is_directory(state));
}

// A Segment stored by an editor that is then killed outright is found by the next editor.
TEST(WorkingTableSlot, StoredRowSurvivesAKilledProcess) {
  TempDir dir;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto slot = WorkingTableSlot::Acquire(dir.path());
    DocumentState doc(std::make_unique<SqliteRowStore>());
    NewDocument(doc, slot.table_path());
    doc.table.SetText(kUpperLineColumn, "L1-A");
    StoreNumbered(doc.table);
    doc.table.Append();
    doc.table.SetText(kUpperLineColumn, "typed but never stored");
    kill(getpid(), SIGKILL);
    _exit(0);  // not reached
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));

  auto slot = WorkingTableSlot::Acquire(dir.path());
  EXPECT_EQ(slot.table_path(), dir / "TL.$$$");  // the dead editor's lock is gone
  ASSERT_TRUE(slot.has_leftover());

  SegmentTable t(std::make_unique<SqliteRowStore>());
  t.Bind(slot.table_path());
  t.Open();
  ASSERT_EQ(t.RowCount(), 1);
  EXPECT_EQ(t.Text(kUpperLineColumn), "L1-A");
  EXPECT_EQ(t.Int(kNumberColumn), 1);
  EXPECT_EQ(t.Int(kLengthColumn), 25);
}

TEST(WorkingTableSlot, AnEmptyOrForeignFileIsNoLeftover) {
  TempDir dir;
  {
    DocumentState doc(std::make_unique<SqliteRowStore>());
    NewDocument(doc, dir / "TL.$$$");  // created, nothing stored
  }
  {
    std::FILE* f = std::fopen((dir / "TL-2.$$$").c_str(), "wb");
    std::fputs("not ours", f);
    std::fclose(f);
  }
  auto a = WorkingTableSlot::Acquire(dir.path());
  auto b = WorkingTableSlot::Acquire(dir.path());
  EXPECT_FALSE(a.has_leftover());
  EXPECT_FALSE(b.has_leftover());
}

}  // namespace
}  // namespace qx
