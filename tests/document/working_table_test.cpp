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


// A table with `rows` stored Segments "R1", "R2", ... in `path`, closed as an editor leaves
// it when it is killed after its last store.
void StoredTable(const std::filesystem::path& path, int rows) {
  DocumentState doc(std::make_unique<SqliteRowStore>());
  NewDocument(doc, path);
  doc.settings.material_index = 6;
  for (int i = 1; i <= rows; ++i) {
    if (i > 1) {
      doc.table.Append();
      FillNewSegment(doc.table);
    }
    doc.table.SetText(kUpperLineColumn, "R" + std::to_string(i));
    StoreNumbered(doc.table);
  }
  doc.table.WriteSession(SessionOf(doc));
}

std::vector<std::string> UpperLines(const std::filesystem::path& table) {
  SegmentTable t(std::make_unique<SqliteRowStore>());
  t.Bind(table);
  t.Open();
  std::vector<std::string> lines;
  for (int r = 0; r < t.RowCount(); ++r) lines.push_back(t.TextAt(r, kUpperLineColumn));
  return lines;
}

// A leftover that cannot be read whole is kept under a name of its own, byte for byte, and
// the rows that can still be read come back in order in a fresh table, with the session.
TEST(WorkingTableSlot, ADamagedLeftoverIsKeptAsideAndItsReadableRowsOffered) {
  TempDir dir;
  const auto table = dir / "TL.$$$";
  StoredTable(table, 300);
  // A page of rows in the middle of the file is overwritten, as a failing disk or a stray write
  // would leave them.
  std::string bytes;
  {
    std::FILE* f = std::fopen(table.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    ASSERT_GT(size, 8 * 4096);
    // The last pages hold rows; the first ones the roots of the file's tables.
    std::fseek(f, size - 2 * 4096, SEEK_SET);
    const std::string garbage(4096, '\x5a');
    std::fwrite(garbage.data(), 1, garbage.size(), f);
    std::fseek(f, 0, SEEK_SET);
    bytes.resize(static_cast<std::size_t>(size));
    ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
  }
  auto slot = WorkingTableSlot::Acquire(dir.path());
  EXPECT_EQ(slot.table_path(), table);
  ASSERT_FALSE(slot.damaged_kept_as().empty());
  EXPECT_EQ(slot.damaged_kept_as().parent_path(), dir.path());
  {
    std::FILE* f = std::fopen(slot.damaged_kept_as().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string kept(bytes.size() + 1, '\0');
    kept.resize(std::fread(kept.data(), 1, kept.size(), f));
    std::fclose(f);
    EXPECT_EQ(kept, bytes);
  }
  ASSERT_TRUE(slot.has_leftover());
  EXPECT_GT(slot.salvaged_rows(), 0);
  EXPECT_LT(slot.salvaged_rows(), 300);
  const std::vector<std::string> lines = UpperLines(table);
  ASSERT_EQ(static_cast<int>(lines.size()), slot.salvaged_rows());
  // What came back is in the order it was typed, each row whole.
  int last = 0;
  for (const std::string& line : lines) {
    const int n = std::stoi(line.substr(1));
    EXPECT_GT(n, last);
    last = n;
  }
  SqliteRowStore store;
  store.Open(table);
  EXPECT_EQ(store.ReadSession().at("material"), "6");
}

TEST(WorkingTableSlot, ANewRunIsOfferedTheLeftoverOfAnySlot) {
  TempDir dir;
  StoredTable(dir / "TL-2.$$$", 2);
  StoredTable(dir / "TL-3.$$$", 3);
  // Started alone, the editor takes the lowest slot with a leftover.
  auto first = WorkingTableSlot::Acquire(dir.path());
  EXPECT_EQ(first.table_path(), dir / "TL-2.$$$");
  EXPECT_TRUE(first.has_leftover());
  // One at a time: the other leftover waits for the next editor that starts.
  auto second = WorkingTableSlot::Acquire(dir.path());
  EXPECT_EQ(second.table_path(), dir / "TL-3.$$$");
  EXPECT_EQ(UpperLines(second.table_path()), (std::vector<std::string>{"R1", "R2", "R3"}));
  // With no leftover left, the first free slot.
  auto third = WorkingTableSlot::Acquire(dir.path());
  EXPECT_EQ(third.table_path(), dir / "TL.$$$");
  EXPECT_FALSE(third.has_leftover());
}

TEST(WorkingTableSlot, AStateFolderThatCannotBeWrittenFallsBackToAPrivateFolder) {
  TempDir dir;
  {
    std::FILE* f = std::fopen((dir / "file").c_str(), "wb");
    std::fclose(f);
  }
  std::filesystem::path private_dir;
  {
    SlotChoice choice = AcquireSlot(dir / "file" / "qx-editor", dir.path());
    EXPECT_FALSE(choice.problem.empty());
    private_dir = choice.slot.table_path().parent_path();
    EXPECT_EQ(private_dir.parent_path(), dir.path());
    EXPECT_EQ(choice.slot.table_path().filename(), "TL.$$$");
    // Moved on (as the editor's start does), the slot still owns its folder.
    WorkingTableSlot moved = std::move(choice.slot);
    EXPECT_TRUE(std::filesystem::is_directory(private_dir));
  }
  // A normal end leaves no folder behind.
  EXPECT_FALSE(std::filesystem::exists(private_dir));

  SlotChoice usable = AcquireSlot(dir / "state", dir.path());
  EXPECT_TRUE(usable.problem.empty());
  EXPECT_EQ(usable.slot.table_path(), dir / "state" / "TL.$$$");
}

}  // namespace
}  // namespace qx
