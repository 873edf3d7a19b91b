#include "document/table.h"

#include <gtest/gtest.h>

#include "document/sqlite_store.h"
#include "document/memory_store.h"
#include "support/temp_dir.h"

namespace qx {
namespace {


using testing::TempDir;

// The cursor rules hold whatever stores the rows: every test here runs on the working
// table's SQLite file and on a store in memory.
enum class StoreKind { kSqlite, kMemory };

class TableTest : public ::testing::TestWithParam<StoreKind> {
 protected:
  void SetUp() override {
    table_ = MakeTable();
    table_->Create();
    table_->Open();
  }

  std::unique_ptr<SegmentTable> MakeTable() {
    std::unique_ptr<RowStore> store;
    if (GetParam() == StoreKind::kSqlite) {
      store = std::make_unique<SqliteRowStore>();
    } else {
      if (!memory_) memory_ = std::make_shared<MemoryRowStore>();
      store = std::make_unique<SharedStore>(memory_);
    }
    auto t = std::make_unique<SegmentTable>(std::move(store));
    t->Bind(dir_ / "TL.$$$");
    return t;
  }

  // Appends and stores a row with the given upper line.
  void AddRow(const std::string& upper_text) {
    table_->Append();
    table_->SetText(kUpperLineColumn, upper_text);
    table_->Store();
  }

  // The upper lines of all rows, first to last, read through a second table on the same
  // file after closing this one: what a new process would find.
  std::vector<std::string> Reread() {
    table_->Close();
    auto t = MakeTable();
    t->Open();
    std::vector<std::string> out;
    for (t->First(); !t->Eof(); t->Next()) out.push_back(t->Text(kUpperLineColumn));
    return out;
  }

  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    const Bookmark here = table_->TakeBookmark();
    for (table_->First(); !table_->Eof(); table_->Next()) out.push_back(table_->Text(kUpperLineColumn));
    table_->GotoBookmark(here);
    return out;
  }

  // Lets a second table reopen the memory store after the first one closed it.
  struct SharedStore : RowStore {
    explicit SharedStore(std::shared_ptr<MemoryRowStore> s) : s_(std::move(s)) {}
    void Create(const std::filesystem::path& p) override { s_->Create(p); }
    std::vector<StoredRow> Open(const std::filesystem::path& p) override { return s_->Open(p); }
    void Close() override { s_->Close(); }
    int64_t Insert(const RowValues& v, std::optional<int64_t> b) override { return s_->Insert(v, b); }
    void Update(int64_t k, const RowValues& v) override { s_->Update(k, v); }
    void Remove(int64_t k) override { s_->Remove(k); }
    void BeginBatch() override { s_->BeginBatch(); }
    void CommitBatch() override { s_->CommitBatch(); }
    std::shared_ptr<MemoryRowStore> s_;
  };

  TempDir dir_;
  std::shared_ptr<MemoryRowStore> memory_;
  std::unique_ptr<SegmentTable> table_;
};

TEST_P(TableTest, AppendedRowHasNoNumberUntilStoredWithOne) {
  EXPECT_TRUE(table_->IsEmpty());
  table_->Append();
  EXPECT_TRUE(table_->CurrentIsNew());
  EXPECT_TRUE(table_->InEditMode());
  EXPECT_EQ(table_->RowCount(), 1);
  EXPECT_EQ(table_->Position(), 1);
  EXPECT_TRUE(table_->IsNull(kNumberColumn));
  table_->SetText(kUpperLineColumn, "A");
  table_->Store();
  EXPECT_FALSE(table_->CurrentIsNew());
  EXPECT_TRUE(table_->IsNull(kNumberColumn));  // storing alone does not number a row

  AddRow("B");
  table_->Edit();
  table_->SetInt(kNumberColumn, table_->Position());
  table_->Store();
  EXPECT_EQ(table_->Int(kNumberColumn), 2);
  EXPECT_EQ(Reread(), (std::vector<std::string>{"A", "B"}));
}

TEST_P(TableTest, UnstoredNewRowIsNotInTheFile) {
  AddRow("A");
  table_->Append();
  table_->SetText(kUpperLineColumn, "never stored");
  EXPECT_EQ(Reread(), (std::vector<std::string>{"A"}));
}

TEST_P(TableTest, InsertGoesBeforeTheCurrentRowAndDeleteKeepsTheCurrentRowRules) {
  for (const char* s : {"A", "B", "C"}) AddRow(s);
  table_->First();
  table_->Next();  // on B
  table_->Insert();
  EXPECT_EQ(table_->Position(), 2);
  table_->SetText(kUpperLineColumn, "X");
  table_->Store();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"A", "X", "B", "C"}));

  // Deleting X makes the next row (B) current, at X's position.
  table_->Delete();
  EXPECT_EQ(table_->Position(), 2);
  EXPECT_EQ(table_->Text(kUpperLineColumn), "B");
  EXPECT_FALSE(table_->Eof());

  // Deleting the last row makes the new last row current, and the table is at its end.
  table_->Last();
  table_->Delete();
  EXPECT_EQ(table_->Text(kUpperLineColumn), "B");
  EXPECT_TRUE(table_->Eof());
  EXPECT_EQ(table_->RowCount(), 2);

  EXPECT_EQ(Reread(), (std::vector<std::string>{"A", "B"}));
}

TEST_P(TableTest, InsertBeforeTheFirstRowAndIntoAnEmptyTable) {
  table_->Insert();
  table_->SetText(kUpperLineColumn, "B");
  table_->Insert();  // stores B, then goes before it
  table_->SetText(kUpperLineColumn, "A");
  table_->Store();
  EXPECT_EQ(table_->Position(), 1);
  EXPECT_EQ(Reread(), (std::vector<std::string>{"A", "B"}));
}

TEST_P(TableTest, DeletingAnUnstoredRowDiscardsIt) {
  AddRow("A");
  AddRow("B");
  table_->First();
  table_->Insert();
  table_->Delete();
  EXPECT_EQ(table_->Text(kUpperLineColumn), "A");
  EXPECT_EQ(Reread(), (std::vector<std::string>{"A", "B"}));
}

TEST_P(TableTest, EveryMoveStoresARowInEditMode) {
  using Move = void (*)(SegmentTable&);
  const Move moves[] = {
      [](SegmentTable& t) { t.First(); }, [](SegmentTable& t) { t.Last(); },
      [](SegmentTable& t) { t.Next(); },  [](SegmentTable& t) { t.Prior(); },
      [](SegmentTable& t) { t.Append(); }, [](SegmentTable& t) { t.Insert(); },
  };
  AddRow("A");
  AddRow("B");
  int n = 0;
  for (Move move : moves) {
    table_->First();
    table_->Edit();
    const std::string text = "edit" + std::to_string(++n);
    table_->SetText(kUpperLineColumn, text);
    move(*table_);
    if (table_->CurrentIsNew()) table_->Delete();
    table_->First();
    EXPECT_EQ(table_->Text(kUpperLineColumn), text) << "move " << n;
  }
  EXPECT_EQ(Reread().front(), "edit6");
}

TEST_P(TableTest, CloseDropsAnEditThatWasNotStored) {
  AddRow("A");
  table_->Edit();
  table_->SetText(kUpperLineColumn, "changed");
  EXPECT_EQ(Reread(), (std::vector<std::string>{"A"}));
}

TEST_P(TableTest, NextOnTheLastRowSetsTheEndFlag) {
  EXPECT_TRUE(table_->Eof());  // empty
  AddRow("A");
  AddRow("B");
  table_->First();
  EXPECT_FALSE(table_->Eof());
  table_->Next();
  EXPECT_FALSE(table_->Eof());
  table_->Next();
  EXPECT_TRUE(table_->Eof());
  EXPECT_EQ(table_->Text(kUpperLineColumn), "B");
  table_->Prior();
  EXPECT_FALSE(table_->Eof());
  EXPECT_EQ(table_->Text(kUpperLineColumn), "A");
}

TEST_P(TableTest, BookmarksFindTheirRowAfterInsertsAndFailOnceItIsGone) {
  for (const char* s : {"A", "B", "C"}) AddRow(s);
  table_->First();
  table_->Next();
  Bookmark b = table_->TakeBookmark();
  table_->First();
  table_->Insert();
  table_->SetText(kUpperLineColumn, "0");
  table_->Store();
  table_->Last();
  table_->GotoBookmark(b);
  EXPECT_EQ(table_->Text(kUpperLineColumn), "B");
  EXPECT_EQ(table_->Position(), 3);

  table_->Delete();
  EXPECT_THROW(table_->GotoBookmark(b), TableError);
  table_->ReleaseBookmark(b);
  EXPECT_THROW(table_->GotoBookmark(b), TableError);
}

TEST_P(TableTest, FieldsAreCheckedAgainstTheirColumns) {
  AddRow("A");
  EXPECT_THROW(table_->SetText(kUpperLineColumn, "x"), TableError);  // not in edit mode
  table_->Edit();
  EXPECT_THROW(table_->SetText(kUpperLineColumn, std::string(101, 'x')), TableError);
  EXPECT_NO_THROW(table_->SetText(kUpperLineColumn, std::string(100, 'x')));
  EXPECT_THROW(table_->SetText(kSizeColumn, "12345"), TableError);
  EXPECT_THROW(table_->SetInt(kRepeatColumn, 65536), TableError);
  EXPECT_THROW(table_->SetInt(kRepeatColumn, -1), TableError);
  EXPECT_THROW(table_->SetText(kLengthColumn, "25mm"), TableError);
  EXPECT_THROW(table_->SetInt(kUpperLengthColumn, int64_t{1} << 31), TableError);

  table_->SetText(kLengthColumn, "25");  // text into a number column
  table_->SetInt(kSerialFirstColumn, 7);       // a number into a text column
  table_->SetText(kLowerLengthColumn, "");       // empty text makes a number column null
  table_->Store();
  EXPECT_EQ(table_->Value(kLengthColumn), FieldValue{int64_t{25}});
  EXPECT_EQ(table_->Text(kSerialFirstColumn), "7");
  EXPECT_TRUE(table_->IsNull(kLowerLengthColumn));
  EXPECT_EQ(table_->Text(kLowerLengthColumn), "");
  EXPECT_EQ(table_->Int(kLowerLengthColumn), 0);
  EXPECT_EQ(table_->Text(kUpperLineColumn), std::string(100, 'x'));
}

TEST_P(TableTest, ValuesSurviveTheFileExactly) {
  table_->Append();
  const std::string gbk_with_markers = "\xA8\x49" "A\xA1\xED" "\xD6\xD0";
  table_->SetText(kUpperLineColumn, gbk_with_markers);
  table_->SetText(kLowerLineColumn, "");
  table_->SetInt(kLengthColumn, 0);
  table_->SetInt(kRepeatColumn, 65535);
  table_->SetInt(kUpperLengthColumn, -5);
  table_->Store();
  table_->Close();
  auto t = MakeTable();
  t->Open();
  EXPECT_EQ(t->Text(kUpperLineColumn), gbk_with_markers);
  EXPECT_EQ(t->Value(kLowerLineColumn), FieldValue{std::string()});  // empty, not null
  EXPECT_TRUE(t->IsNull(kNumberColumn));
  EXPECT_EQ(t->Int(kLengthColumn), 0);
  EXPECT_EQ(t->Int(kRepeatColumn), 65535);
  EXPECT_EQ(t->Int(kUpperLengthColumn), -5);
}

TEST_P(TableTest, DetachedControlsHearNothingUntilReattached) {
  int refreshes = 0;
  table_->SetChangeHandler([&] { ++refreshes; });
  AddRow("A");
  EXPECT_GT(refreshes, 0);
  refreshes = 0;
  table_->DetachControls();
  table_->DetachControls();
  for (const char* s : {"B", "C"}) AddRow(s);
  table_->First();
  table_->AttachControls();
  EXPECT_EQ(refreshes, 0);
  table_->AttachControls();
  EXPECT_EQ(refreshes, 1);
}

TEST_P(TableTest, ABatchStoresEveryRow) {
  {
    SegmentTable::Batch batch(*table_);
    for (int i = 0; i < 50; ++i) AddRow(std::to_string(i));
    batch.Commit();
  }
  EXPECT_EQ(Reread().size(), 50u);
}

TEST_P(TableTest, OperationsOnAClosedOrEmptyTableFailCleanly) {
  EXPECT_THROW(table_->Delete(), TableError);
  EXPECT_THROW(table_->Text(kUpperLineColumn), TableError);
  EXPECT_NO_THROW(table_->Edit());
  EXPECT_FALSE(table_->InEditMode());
  table_->Close();
  EXPECT_THROW(table_->Append(), TableError);
  EXPECT_THROW(table_->First(), TableError);
}

// Numbering from a row is one change, however many rows it numbers: rows already numbered
// by their positions are left, the others take their positions (also in the file), and the
// change keeps their numbers before, so that taking it back restores them exactly.
TEST_P(TableTest, NumberingRowsIsOneChangeThatIsTakenBackExactly) {
  struct Recorder : RowChangeObserver {
    std::vector<RowChange> changes;
    void OnRowChange(const RowChange& c) override { changes.push_back(c); }
  } recorder;
  const std::vector<std::optional<int64_t>> before = {1, 2, std::nullopt, 9, 10, 4};
  for (std::size_t i = 0; i < before.size(); ++i) {
    table_->Append();
    table_->SetText(kUpperLineColumn, std::string(1, static_cast<char>('A' + i)));
    if (before[i]) table_->SetInt(kNumberColumn, *before[i]);
    table_->Store();
  }
  const auto numbers = [](SegmentTable& t) {
    std::vector<std::optional<int64_t>> out;
    for (int r = 0; r < t.RowCount(); ++r) {
      const auto* n = std::get_if<int64_t>(&t.ValueAt(r, kNumberColumn));
      out.push_back(n ? std::optional<int64_t>(*n) : std::nullopt);
    }
    return out;
  };
  const auto stored_numbers = [&] {
    table_->Close();
    table_ = MakeTable();
    table_->Open();
    return numbers(*table_);
  };
  table_->First();
  table_->Next();  // the cursor stays where it is
  table_->SetRowChangeObserver(&recorder);
  table_->NumberRowsFrom(0);
  EXPECT_EQ(table_->Position(), 2);
  const std::vector<std::optional<int64_t>> by_position = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(numbers(*table_), by_position);
  ASSERT_EQ(recorder.changes.size(), 1u);
  const RowChange change = recorder.changes[0];
  EXPECT_TRUE(change.renumbering);
  EXPECT_EQ(change.index, 2);  // the first two were numbered already
  EXPECT_EQ(change.numbers_before,
            (std::vector<NumberRun>{{1, std::nullopt}, {2, 9}, {1, 4}}));
  table_->SetRowChangeObserver(nullptr);
  EXPECT_EQ(stored_numbers(), by_position);

  table_->ApplyRowChange(change, /*forward=*/false);
  EXPECT_EQ(numbers(*table_), before);
  EXPECT_EQ(stored_numbers(), before);
  table_->ApplyRowChange(change, /*forward=*/true);
  EXPECT_EQ(stored_numbers(), by_position);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"A", "B", "C", "D", "E", "F"}));
}

INSTANTIATE_TEST_SUITE_P(Stores, TableTest,
                         ::testing::Values(StoreKind::kSqlite, StoreKind::kMemory),
                         [](const ::testing::TestParamInfo<StoreKind>& p) {
                           return p.param == StoreKind::kSqlite ? "Sqlite" : "Memory";
                         });

TEST(SqliteRowStore, RefusesAFileThatIsNotAWorkingTable) {
  TempDir dir;
  const auto path = dir / "TL.$$$";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("garbage that is not a table", f);
    std::fclose(f);
  }
  SegmentTable t(std::make_unique<SqliteRowStore>());
  t.Bind(path);
  EXPECT_THROW(t.Open(), TableError);
  EXPECT_FALSE(t.IsOpen());
  EXPECT_EQ(SqliteRowStore::StoredRowCount(path), 0);
  EXPECT_EQ(SqliteRowStore::StoredRowCount(dir / "missing"), 0);
  // Creating replaces the file.
  t.Create();
  t.Open();
  EXPECT_TRUE(t.IsEmpty());
}

}  // namespace
}  // namespace qx
