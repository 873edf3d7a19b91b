// The qxlabel command-line tool, run as a program: what it prints, what it writes and
// its exit status, for good input and for every way the input can be wrong.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "document/document_file.h"
#include "document/gbk.h"
#include "document/memory_store.h"
#include "document/native_export.h"
#include "document/paradox.h"
#include "layout/png.h"
#include "layout/tape.h"
#include "support/numbered_document.h"
#include "support/temp_dir.h"

extern char** environ;

namespace qx {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(QX_TEST_DATA_DIR) / "fixtures";
const fs::path kSampleKel = kFixtures / "paradox" / "kel" / "sample-level5.kel";

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  const std::string s = ReadText(p);
  return {s.begin(), s.end()};
}

struct Result {
  int status = -1;  // the exit status, or -1 when the program did not exit normally
  std::string out, err;
};

// Starts qxlabel with `args` as Run does, without waiting for it: its process id, or -1.
pid_t Start(const fs::path& dir, const std::vector<std::string>& args);
// Waits for a program Start started and collects what it wrote.
Result Finish(const fs::path& dir, pid_t pid);

// Runs qxlabel with `args`, its output and error streams caught in files of `dir`.
// Leak reports of fontconfig's lifelong configuration are suppressed, so a build with
// AddressSanitizer gives the same exit status as any other. With `address_space`, the
// program runs with at most that much memory (RLIMIT_AS).
Result Run(const fs::path& dir, const std::vector<std::string>& args, rlim_t address_space = 0,
           bool wait = true, pid_t* started = nullptr) {
  const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt", supp = dir / "lsan.supp";
  std::ofstream(supp) << "leak:libfontconfig\n";
  std::vector<std::string> env_text;
  std::string lsan = "LSAN_OPTIONS=print_suppressions=0:suppressions=" + supp.string();
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "LSAN_OPTIONS=", 13) == 0)
      lsan += std::string(":") + (*e + 13);
    else
      env_text.emplace_back(*e);
  }
  env_text.push_back(lsan);
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::vector<std::string> argv_text = {QX_QXLABEL};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  int rc = 0;
  if (address_space == 0) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
  } else {
    pid = fork();
    if (pid == 0) {
      const rlimit lim{address_space, address_space};
      const int in_fd = open("/dev/null", O_RDONLY);
      const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (setrlimit(RLIMIT_AS, &lim) != 0 || dup2(in_fd, 0) < 0 || dup2(out_fd, 1) < 0 ||
          dup2(err_fd, 2) < 0)
        _exit(127);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    if (pid < 0) rc = errno;
  }
  Result r;
  if (rc != 0) {
    r.err = std::string("spawn failed: ") + std::strerror(rc);
    return r;
  }
  if (!wait) {
    *started = pid;
    return r;
  }
  return Finish(dir, pid);
}

pid_t Start(const fs::path& dir, const std::vector<std::string>& args) {
  pid_t pid = -1;
  Run(dir, args, 0, false, &pid);
  return pid;
}

Result Finish(const fs::path& dir, pid_t pid) {
  const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
  Result r;
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
  r.out = ReadText(out);
  r.err = ReadText(err);
  return r;
}

std::string Describe(const Result& r) {
  return "exit " + std::to_string(r.status) + "\nstdout:\n" + r.out + "stderr:\n" + r.err;
}

// A Document built in memory, the way the editor holds it.
class Doc {
 public:
  Doc() : doc_(std::make_unique<MemoryRowStore>()) { NewDocument(doc_, "working table"); }

  // Adds a Segment (the first call fills the one a new Document has). Texts are UTF-8.
  Doc& Add(const std::string& upper_text, const std::string& lower_text = "", int length = 25, int repeat = 1) {
    SegmentTable& t = doc_.table;
    if (added_++ > 0) {
      t.Append();
      FillNewSegment(t);
    }
    t.SetText(kUpperLineColumn, gbk::Encode(upper_text));
    t.SetText(kLowerLineColumn, gbk::Encode(lower_text));
    t.SetInt(kLengthColumn, length);
    t.SetInt(kRepeatColumn, repeat);
    t.SetInt(kNumberColumn, t.Position());
    t.Store();
    return *this;
  }
  // A serial range on the last Segment, e.g. ("序号0-999", "1", "5").
  Doc& Serial(const std::string& type, const std::string& first, const std::string& last) {
    SegmentTable& t = doc_.table;
    t.Edit();
    t.SetText(kSerialTypeColumn, gbk::Encode(type));
    t.SetText(kSerialFirstColumn, first);
    t.SetText(kSerialLastColumn, last);
    t.Store();
    return *this;
  }
  // The size of the last Segment, as its coded text ("自动", "3 号").
  Doc& Size(const std::string& size) {
    SegmentTable& t = doc_.table;
    t.Edit();
    t.SetText(kSizeColumn, gbk::Encode(size));
    t.Store();
    return *this;
  }
  Doc& Material(int index) {
    doc_.settings.material_index = index;
    return *this;
  }
  fs::path Save(const fs::path& file) {
    WriteDocumentFile(doc_.table, doc_.settings, file, DocumentRows::kAll);
    return file;
  }

 private:
  DocumentState doc_;
  int added_ = 0;
};

fs::path DocumentOf(const fs::path& file, int segments) {
  return qx::testing::WriteNumberedDocument(file, segments);
}

class QxlabelTest : public ::testing::Test {
 protected:
  Result Run(const std::vector<std::string>& args, rlim_t address_space = 0) {
    return qx::Run(dir_.path(), args, address_space);
  }
  fs::path Path(const std::string& name) const { return dir_ / name; }

  qx::testing::TempDir dir_;
};

// --- dump -------------------------------------------------------------------------------

TEST_F(QxlabelTest, DumpPrintsTheRowsOfDocumentFilesFromAnIndependentWriter) {
  // Both fixtures hold the same rows, one at level 5 and one at level 7.
  const std::string want = ReadText(kFixtures / "paradox" / "kel" / "sample.rows.tsv");
  for (const char* name : {"sample-level5.kel", "sample-level7-long.kel"}) {
    const Result r = Run({"dump", (kFixtures / "paradox" / "kel" / name).string()});
    EXPECT_EQ(r.status, 0) << name << "\n" << Describe(r);
    EXPECT_EQ(r.out, want) << name;
    EXPECT_EQ(r.err, "") << name;
  }
}

TEST_F(QxlabelTest, DumpEscapesControlCharactersSoEveryRowStaysOneLine) {
  Doc().Add("a\tb", "c\\d").Add("e\nf").Save(Path("ctl.kel"));
  const Result r = Run({"dump", Path("ctl.kel").string()});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find('\n') + 1) + 1),
            "1\ta\\tb\tc\\\\d\t25\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n"
            "2\te\\nf\t\\N\t25\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n");
}

// The largest document: every row printed as it is stored, in order. A file damaged
// anywhere, even in its very last row, prints nothing but the reason, although dump reads
// a file a block at a time.
TEST_F(QxlabelTest, DumpPrintsTheLargestDocumentWholeAndADamagedOneNotAtAll) {
  std::vector<RowValues> rows;
  std::string want;
  for (int n = 1; n <= 65535; ++n) {
    RowValues r{};
    r[kNumberColumn] = int64_t{n};
    const std::string upper = "X" + std::to_string(n % 1000) + (n % 5 == 0 ? "\t\\" : "");
    r[kUpperLineColumn] = gbk::FromUtf8(upper).gbk;
    if (n % 3 == 0) r[kLowerLineColumn] = gbk::FromUtf8("线号" + std::to_string(n)).gbk;
    r[3] = int64_t{n % 90};
    r[kRepeatColumn] = int64_t{1 + n % 200};
    rows.push_back(r);
    std::string upper_dumped;
    for (char c : upper)
      upper_dumped += c == '\t' ? std::string("\\t") : c == '\\' ? std::string("\\\\") : std::string(1, c);
    want += std::to_string(n) + "\t" + upper_dumped + "\t" +
            (n % 3 == 0 ? "线号" + std::to_string(n) : "\\N") + "\t" + std::to_string(n % 90) +
            "\t\\N\t\\N\t\\N\t" + std::to_string(1 + n % 200) + "\t\\N\t\\N\t\\N\t\\N\t\\N\n";
  }
  rows.push_back(DocumentSettingsRow(DocumentSettings{}));
  std::string error;
  ASSERT_TRUE(paradox::WriteDocumentTable(Path("big.kel"), rows, &error)) << error;
  const Result r = Run({"dump", Path("big.kel").string()});
  ASSERT_EQ(r.status, 0) << Describe(r);
  ASSERT_GT(r.out.size(), want.size());
  EXPECT_EQ(r.out.substr(0, want.size()), want);
  const std::string settings = r.out.substr(want.size());
  EXPECT_EQ(std::count(settings.begin(), settings.end(), '\n'), 1) << settings;

  // A value out of its column's range in the last Segment, and the file cut short.
  rows[65534][kRepeatColumn] = int64_t{70000};
  ASSERT_TRUE(paradox::WriteDocumentTable(Path("range.kel"), rows, &error)) << error;
  const std::vector<uint8_t> bytes = ReadBytes(Path("big.kel"));
  std::ofstream(Path("cut.kel"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size() - 3000));
  for (const char* name : {"range.kel", "cut.kel"}) {
    const Result bad = Run({"dump", Path(name).string()});
    EXPECT_EQ(bad.status, 1) << name << "\n" << Describe(bad);
    EXPECT_EQ(bad.out, "") << name;
    EXPECT_NE(bad.err.find("not a document file: "), std::string::npos) << bad.err;
  }
}

// --- build ------------------------------------------------------------------------------

TEST_F(QxlabelTest, BuildIsTheReverseOfDump) {
  for (const char* name : {"sample-level5.kel", "sample-level7-long.kel"}) {
    SCOPED_TRACE(name);
    const Result dump = Run({"dump", (kFixtures / "paradox" / "kel" / name).string()});
    ASSERT_EQ(dump.status, 0) << Describe(dump);
    // Comments, empty lines and Windows line ends are allowed around the rows.
    std::string rows = "# rows of " + std::string(name) + "\r\n\n";
    for (char c : dump.out) rows += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::ofstream(Path("rows.tsv"), std::ios::binary) << rows;
    const Result build = Run({"build", Path("rows.tsv").string(), Path("copy.kel").string()});
    ASSERT_EQ(build.status, 0) << Describe(build);
    EXPECT_EQ(build.out, "5 row(s) written to " + Path("copy.kel").string() + "\n");
    const Result again = Run({"dump", Path("copy.kel").string()});
    EXPECT_EQ(again.out, dump.out);
  }
}

// --- export -----------------------------------------------------------------------------

TEST_F(QxlabelTest, ExportWritesWhatTheEditorsExportWritesForTheOpenedDocument) {
  Doc()
      .Add("QF1", "3x2.5", 0)
      .Add("L1-№", "", 30, 2)
      .Serial("序号000-999", "1", "12")
      .Add("A↖2", "", 25)
      .Add("")  // trailing Segments without an upper line are not exported
      .Add("")
      .Material(2)
      .Save(Path("job.kel"));
  const Result r = Run({"export", Path("job.kel").string(), Path("job.qxf").string()});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_NE(r.out.find("3 Segment(s)"), std::string::npos) << r.out;

  // The same document opened into a working table and exported as the editor does.
  DocumentState opened(std::make_unique<MemoryRowStore>());
  opened.table.Bind("working table");
  ASSERT_TRUE(ReadDocumentFile(Path("job.kel"), opened.table, opened.settings));
  DropTrailingEmptySegments(opened.table);
  const std::vector<uint8_t> want = BuildNativeFile(opened.table, opened.settings).bytes;
  EXPECT_EQ(ReadBytes(Path("job.qxf")), want);
  ASSERT_GE(want.size(), 42u);
  EXPECT_EQ(want[32], 3) << "material 贴纸 12mm";
  EXPECT_EQ(want[36], 3) << "Segments in the file";
}

TEST_F(QxlabelTest, ExportTakesTheHeaderFromTheSettingsRow) {
  // The fixture's settings row: 贴纸 12mm, 左齐, 分隔线, spacing 7; its fourth Segment has
  // only a lower line and is the last, so it is dropped.
  const Result r = Run({"export", kSampleKel.string(), Path("s.qxf").string()});
  ASSERT_EQ(r.status, 0) << Describe(r);
  const std::vector<uint8_t> f = ReadBytes(Path("s.qxf"));
  ASSERT_GE(f.size(), 42u);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 29), "Qx series printer files v1.00");
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 32, f.begin() + 37),
            (std::vector<uint8_t>{3, 2, 1, 6, 3}));
}

TEST_F(QxlabelTest, ExportStopsAtTwoHundredSegments) {
  Doc d;
  for (int i = 1; i <= 250; ++i) d.Add(std::string("W").append(std::to_string(i)));
  d.Save(Path("big.kel"));
  const Result r = Run({"export", Path("big.kel").string(), Path("big.qxf").string()});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_NE(r.out.find("200 Segment(s)"), std::string::npos) << r.out;
  const std::vector<uint8_t> f = ReadBytes(Path("big.qxf"));
  ASSERT_GE(f.size(), 42u);
  EXPECT_EQ(f[36], 200);
}

TEST_F(QxlabelTest, ExportRefusesTextsPastTheFilesSixteenBitFields) {
  // 120 Segments of 50 serial placeholders on both lines: each written as a 6-byte serial
  // code, 602 bytes a Segment, 72241 in all with the final zero.
  std::string placeholders;
  for (int i = 0; i < 50; ++i) placeholders += "№";
  Doc d;
  for (int i = 0; i < 120; ++i) d.Add(placeholders, placeholders).Serial("序号0-999", "1", "300");
  d.Save(Path("full.kel"));
  const Result r = Run({"export", Path("full.kel").string(), Path("full.qxf").string()});
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_EQ(r.err, "qxlabel: cannot export " + Path("full.kel").string() +
                       ": the Segments' texts come to 72241 bytes, a native file holds at most "
                       "65535; export fewer Segments at a time\n");
  EXPECT_FALSE(fs::exists(Path("full.qxf")));
}

// --- import -----------------------------------------------------------------------------

TEST_F(QxlabelTest, ImportedWorkbooksDumpAsTheirRows) {
  // Both formats of one sheet give the same document; a sheet with a second column
  // switches the material to the 6.0 mm² sleeve, a one-column sheet keeps 4.0 mm².
  struct Case {
    const char* book;
    const char* rows;
    const char* material;
    const char* err = "";
  };
  const Case cases[] = {
      {"basic.xlsx",
       "1\tW-001\tLine one\t25\t2 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n"
       "2\tW-002\tLine two\t25\t2 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n"
       "3\ttwo lines\ttab here\t0\t2 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n"
       "4\tX\tY\t25\t2 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n",
       "套管 6.0平方"},
      {"basic.xls", nullptr, "套管 6.0平方"},
      {"one-column.xlsx",
       "1\tA1\t\\N\t25\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n"
       "2\tA2\t\\N\t25\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n"
       "3\tA3\t\\N\t25\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n",
       "套管 4.0平方"},
      // Rows stop at the first empty first cell (the third row); the rows with text below
      // it are named as left out.
      {"gap.xls",
       "1\tfirst\t1\t25\t2 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n"
       "2\tsecond\t\\N\t25\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n",
       "套管 6.0平方",
       "qxlabel: 2 row(s) imported; row 3 has an empty first cell, so it and the rows below it "
       "were left out\n"},
      {"gap.xlsx", nullptr, "套管 6.0平方",
       "qxlabel: 2 row(s) imported; row 3 has an empty first cell, so it and the rows below it "
       "were left out\n"},
  };
  std::string previous;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.book);
    const fs::path kel = Path(std::string(c.book) + ".kel");
    const Result imp = Run({"import", (kFixtures / "excel" / c.book).string(), kel.string()});
    ASSERT_EQ(imp.status, 0) << Describe(imp);
    EXPECT_EQ(imp.err, c.err);
    const Result dump = Run({"dump", kel.string()});
    ASSERT_EQ(dump.status, 0) << Describe(dump);
    const std::string rows = c.rows ? c.rows : previous;
    ASSERT_GT(dump.out.size(), rows.size());
    EXPECT_EQ(dump.out.substr(0, rows.size()), rows);
    const std::string settings = dump.out.substr(rows.size());
    EXPECT_EQ(settings.substr(0, settings.find('\t', 2)), std::string("0\t") + c.material);
    previous = rows;
  }
}

// The import's choices, over one list written by LibreOffice in every format it reads
// (fixtures/import): the dump's Num, Flin and Slin columns, the material, and what stderr
// names.
TEST_F(QxlabelTest, ImportChoosesSheetHeaderColumnsAndEmptyRows) {
  const std::string endless =
      "qxlabel: 5 row(s) imported; row 6 has an empty first cell, so it and the rows below it "
      "were left out\n";
  struct Case {
    const char* book;
    std::vector<std::string> flags;
    const char* rows;
    const char* material;
    std::string err;
  };
  const Case cases[] = {
      {"wires.ods", {},
       "1\t线号\t去向\n2\tW-001\tX1:1\n3\tW-002\tX1:2, X2:1\n4\t007\t第一行 第二行\n5\tH↙2O\t\\N\n",
       "套管 6.0平方", "qxlabel: row 5: superscript or subscript digits became marks\n" + endless},
      {"wires.xls", {"--header", "--columns", "c"},
       "1\t1.5 m↖2\t\\N\n2\t2.50\t\\N\n", "套管 4.0平方",
       "qxlabel: row 2: superscript or subscript digits became marks\n"
       "qxlabel: 2 row(s) imported; row 4 has an empty first cell, so it and the rows below it "
       "were left out\n"},
      {"wires.csv", {"--skip-empty", "--columns", "A,C", "--header"},
       "1\tW-001\t1.5 m?\n2\tW-002\t2.50\n3\t007\t\\N\n4\tH?O\tsay \"hi\"\n5\tm↖2\t\\N\n"
       "6\tsame\t\\N\n7\tsame\t\\N\n",
       "套管 6.0平方",
       "qxlabel: row 2: characters GBK cannot hold became '?'\n"
       "qxlabel: row 5: characters GBK cannot hold became '?'\n"
       "qxlabel: row 7: superscript or subscript digits became marks\n"
       "qxlabel: 2 character(s) GBK cannot hold became '?'\n"},
      {"wires.tsv", {"--skip-empty", "--columns", "B"},
       "1\t去向\t\\N\n2\tX1:1\t\\N\n3\tX1:2, X2:1\t\\N\n4\t第一行 第二行\t\\N\n5\tonly lower\t\\N\n"
       "6\tmerged  two\t\\N\n",
       "套管 4.0平方", ""},
      {"wires.xlsx", {"--sheet", "2"}, "1\tS-1\tsecond sheet\n2\tS-2\t\\N\n", "套管 6.0平方", ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"import", (kFixtures / "import" / c.book).string(), Path("out.kel").string()};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    SCOPED_TRACE(std::string(c.book) + " " + ::testing::PrintToString(c.flags));
    const Result imp = Run(args);
    ASSERT_EQ(imp.status, 0) << Describe(imp);
    EXPECT_EQ(imp.err, c.err);
    const Result dump = Run({"dump", Path("out.kel").string()});
    std::string rows, material;
    std::istringstream lines(dump.out);
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> f;
      std::istringstream fields(line);
      for (std::string v; std::getline(fields, v, '\t');) f.push_back(v);
      if (f[0] == "0") material = f[1];
      else rows += f[0] + "\t" + f[1] + "\t" + f[2] + "\n";
    }
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(material, c.material);
  }
}

// --append-to adds the rows after a document's Segments and keeps its settings; the
// document itself is written only when it is the output.
TEST_F(QxlabelTest, ImportAppendsToADocument) {
  Doc d;
  d.Add("X1").Add("X2", "two");
  const std::string doc = d.Save(Path("doc.kel")).string();
  const std::string before = ReadText(doc);
  const std::string book = (kFixtures / "import" / "wires.ods").string();
  const Result r = Run({"import", book, Path("out.kel").string(), "--sheet", "2", "--append-to", doc});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(r.out, "2 Segment(s) added after those of " + doc + " into " + Path("out.kel").string() + "\n");
  EXPECT_EQ(ReadText(doc), before);
  const std::string settings_before = Run({"dump", doc}).out;
  const std::string dumped = Run({"dump", Path("out.kel").string()}).out;
  EXPECT_NE(dumped.find("3\tS-1\tsecond sheet\t"), std::string::npos) << dumped;
  EXPECT_NE(dumped.find("4\tS-2\t\\N\t"), std::string::npos) << dumped;
  // The settings row is the document's own.
  EXPECT_EQ(dumped.substr(dumped.rfind("\n0\t")), settings_before.substr(settings_before.rfind("\n0\t")));
  // Into the document itself.
  ASSERT_EQ(Run({"import", book, doc, "--sheet", "2", "--append-to", doc}).status, 0);
  EXPECT_EQ(Run({"dump", doc}).out, dumped);
}

// A document holds at most 65535 Segments, and --append-to stops there: after 65533
// Segments two of four rows are added and the rest named; a full document takes none,
// and nothing is written.
TEST_F(QxlabelTest, ImportAddsRowsOnlyUpToTheMostSegmentsADocumentHolds) {
  const std::string list = Path("four.csv").string(), out = Path("out.kel").string();
  std::ofstream(list, std::ios::binary) << "K1→,X\nK2,←Y\nK3,Z\nK4,W\n";
  struct Case {
    int segments;
    int status;
    std::string says;  // stderr after "qxlabel: DOC"
  };
  const Case cases[] = {
      {65533, 0,
       " holds 65533 Segment(s) and a document holds at most 65535: only 2 row(s) were added, "
       "row 3 and the rows below it were left out (文档最多容纳65535个段落,只添加了2个段落,以下的行"
       "未导入。)\n"},
      {65535, 1,
       " already holds 65535 Segments, the most a document holds; nothing was added and " + out +
           " was not written (文档已有65535个段落,不能再添加段落!)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.segments);
    const std::string doc = DocumentOf(Path("doc.kel"), c.segments).string();
    Doc().Add("OLD").Save(out);
    const std::string before = ReadText(out);
    const Result r = Run({"import", list, out, "--append-to", doc});
    EXPECT_EQ(r.status, c.status) << Describe(r);
    EXPECT_EQ(r.err, "qxlabel: " + doc + c.says);
    if (c.status != 0) {
      EXPECT_TRUE(ReadText(out) == before) << "the output was written";
      continue;
    }
    EXPECT_EQ(r.out, "2 Segment(s) added after those of " + doc + " into " + out + "\n");
    const std::string dumped = Run({"dump", out}).out;
    EXPECT_EQ(std::count(dumped.begin(), dumped.end(), '\n'), 65536);  // and the settings row
    EXPECT_NE(dumped.find("\n65533\tS65533\t\\N\t25\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n"
                          "65534\tK1→\tX\t25\t2 号\t"),
              std::string::npos);
    EXPECT_NE(dumped.find("\n65535\tK2\t←Y\t"), std::string::npos);
    EXPECT_EQ(dumped.find("K3"), std::string::npos);
  }
}

// A list with no row to import writes nothing and says so: a header alone, a first cell
// that is empty in the first row.
TEST_F(QxlabelTest, AListWithNoRowToImportWritesNothing) {
  const std::string out = Path("out.kel").string();
  Doc().Add("OLD→").Save(out);
  const std::string before = ReadText(out);
  std::ofstream(Path("header.csv"), std::ios::binary) << "线号,去向\n";
  std::ofstream(Path("gap.csv"), std::ios::binary) << ",X1\nK2,Y\n";
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"import", Path("header.csv").string(), out, "--header"},
       "qxlabel: " + Path("header.csv").string() + " has no rows to import; " + out +
           " was not written\n"},
      {{"import", Path("gap.csv").string(), out},
       "qxlabel: 0 row(s) imported; row 1 has an empty first cell, so it and the rows below it "
       "were left out\nqxlabel: " +
           Path("gap.csv").string() + " has no rows to import; " + out + " was not written\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_EQ(r.err, c.says);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadText(out), before);
  }
}

TEST_F(QxlabelTest, ImportRefusesBadChoices) {
  const std::string book = (kFixtures / "import" / "wires.xlsx").string();
  const std::string out = Path("out.kel").string();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {{"--sheet", "0"}, 2, "--sheet takes a sheet number from 1"},
      {{"--sheet"}, 2, "--sheet takes a sheet number from 1"},
      {{"--sheet", "3"}, 1, book + " has 2 sheet(s); give --sheet 1 to 2"},
      {{"--columns", "A,A"}, 2, "--columns takes one or two different column letters"},
      {{"--columns", "A1"}, 2, "--columns takes one or two different column letters"},
      {{"--columns", "AA"}, 2, "--columns takes one or two different column letters"},
      {{"--append-to"}, 2, "--append-to takes a document file"},
      {{"--append-to", Path("missing.kel").string()}, 1, "cannot open"},
      {{"--append-to", book}, 1, "is the input file"},
      {{"--colour"}, 2, "bad option --colour"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"import", book, out};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const Result r = Run(args);
    EXPECT_EQ(r.status, c.status) << Describe(r);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
  }
}

// A command that fails leaves its output file as it was: a good 9-Segment document stays
// byte for byte, whether the input is damaged part-way (the editor keeps the rows read
// before the damage; the command line writes nothing and says so), too deep to read, or
// holds a bad row.
TEST_F(QxlabelTest, ACommandThatFailsLeavesItsOutputAsItWas) {
  Doc good;
  for (int i = 1; i <= 9; ++i) good.Add("W" + std::to_string(i));
  const std::string out = good.Save(Path("good.kel")).string();
  const std::string before = ReadText(out);
  std::ofstream(Path("bad.tsv"), std::ios::binary)
      << "1\tA\t\\N\t25\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n2\tB\n";
  const std::string cut = ReadText(kSampleKel);
  std::ofstream(Path("cut.kel"), std::ios::binary) << cut.substr(0, cut.size() / 2 + 100);
  const fs::path bad = kFixtures / "excel" / "bad";
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"import", (bad / "bomb.xlsx").string(), out},
       "qxlabel: cannot import " + (bad / "bomb.xlsx").string() +
           ": reading stopped after 1 row(s): the file is damaged; nothing was written\n"},
      {{"import", (bad / "deep.xlsx").string(), out},
       "qxlabel: cannot import " + (bad / "deep.xlsx").string() +
           ": reading stopped after 0 row(s): the workbook is too large (the worksheet: XML "
           "elements nested more than 100 deep); nothing was written\n"},
      {{"import", (bad / "truncated.xlsx").string(), out},
       "qxlabel: cannot read " + (bad / "truncated.xlsx").string() + ": the file is damaged\n"},
      {{"build", Path("bad.tsv").string(), out},
       "qxlabel: " + Path("bad.tsv").string() + ", line 2: 2 columns, a row has 13\n"},
      {{"export", Path("cut.kel").string(), out}, "qxlabel: not a document file: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_EQ(r.err.substr(0, c.says.size()), c.says);
    EXPECT_EQ(ReadText(out), before);
  }
  for (const auto& e : fs::directory_iterator(dir_.path()))
    EXPECT_FALSE(e.path().filename().string().ends_with(".qxtmp")) << e.path();
}

// --- preview of a document --------------------------------------------------------------

TEST_F(QxlabelTest, DocumentPreviewDrawsItsSegmentAsTheSegmentPreviewDoes) {
  // A 10 mm Segment at 220 dots per 10 mm is drawn as a 20 mm one at the nominal 110:
  // the calibration of the material's kind (label tape or tube) must be the one applied.
  // The other calibration is far off, so taking the wrong one changes the picture.
  struct Case {
    int material;  // material_index index; the Segment preview takes the code, index + 1
    const char* label_cal;
    const char* tube_cal;
  };
  const Case cases[] = {{2, "220", "55"}, {4, "55", "220"}, {6, "55", "220"}};
  for (const Case& c : cases) {
    SCOPED_TRACE("material index " + std::to_string(c.material));
    Doc().Add("X№", "", 10).Serial("序号0-999", "8", "11").Material(c.material).Save(Path("p.kel"));
    const Result doc = Run({"preview", Path("p.kel").string(), Path("doc.png").string(),
                            "--label-cal", c.label_cal, "--tube-cal", c.tube_cal, "--scale", "1"});
    ASSERT_EQ(doc.status, 0) << Describe(doc);
    EXPECT_NE(doc.out.find("4 item(s)"), std::string::npos) << doc.out;
    const Result one =
        Run({"preview", "X№", "--serial", "8-11", "--length", "20", "--material",
             std::to_string(c.material + 1), "--scale", "1", "-o", Path("one.png").string()});
    ASSERT_EQ(one.status, 0) << Describe(one);
    const std::optional<RgbImage> a = ReadPng(Path("doc.png")), b = ReadPng(Path("one.png"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->height, 96);
    EXPECT_EQ(a->width, b->width);
    EXPECT_TRUE(a->rgb == b->rgb) << "the pictures differ";
  }
}

TEST_F(QxlabelTest, DocumentPreviewDrawsEveryRepeatOfEverySegmentAtTheScale) {
  // 2 repeats of the first Segment, 3 serial values of the second, a third without an
  // upper line that prints nothing.
  Doc()
      .Add("KM1", "", 20, 2)
      .Add("X№", "", 0)
      .Serial("大写字母", "A", "C")
      .Add("", "lower")
      .Save(Path("r.kel"));
  const Result r1 =
      Run({"preview", Path("r.kel").string(), Path("r1.png").string(), "--scale", "1"});
  const Result r3 =
      Run({"preview", Path("r.kel").string(), Path("r3.png").string(), "--scale", "3"});
  ASSERT_EQ(r1.status, 0) << Describe(r1);
  ASSERT_EQ(r3.status, 0) << Describe(r3);
  EXPECT_NE(r1.out.find("5 item(s)"), std::string::npos) << r1.out;
  const std::optional<RgbImage> a = ReadPng(Path("r1.png")), b = ReadPng(Path("r3.png"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(b->width, 3 * a->width);
  EXPECT_EQ(b->height, 3 * 96);
  // Four red boundaries between five items, each one dot wide.
  int boundaries = 0;
  for (int x = 0; x < a->width; ++x) boundaries += a->Get(x, 0) == kTapeBoundary;
  EXPECT_EQ(boundaries, 4);
}

TEST_F(QxlabelTest, DocumentPreviewAcceptsUpperCaseExtension) {
  Doc().Add("A1", "", 25).Save(Path("UPPER.KEL"));
  const Result r =
      Run({"preview", Path("UPPER.KEL").string(), Path("u.png").string(), "--scale", "1"});
  ASSERT_EQ(r.status, 0) << Describe(r);
  const std::optional<RgbImage> png = ReadPng(Path("u.png"));
  ASSERT_TRUE(png);
  EXPECT_EQ(png->width, 25 * 11);
}

// Width and height from a PNG file's header, and its colour type and bit depth.
struct PngHeader {
  int64_t width = 0, height = 0;
  int depth = 0, colour = -1;
};
PngHeader HeaderOf(const fs::path& file) {
  const std::vector<uint8_t> png = ReadBytes(file);
  PngHeader h;
  if (png.size() < 26) return h;
  auto be32 = [&](std::size_t at) {
    return int64_t{png[at]} << 24 | int64_t{png[at + 1]} << 16 | png[at + 2] << 8 | png[at + 3];
  };
  h.width = be32(16);
  h.height = be32(20);
  h.depth = png[24];
  h.colour = png[25];
  return h;
}

// A job of a thousand items is drawn whole, wrapped into rows of one picture: by default
// rows up to 4000 pixels wide, with --per-row N items a row. Every row is the strip its
// items make, with a gap of blank tape between rows. The picture is a 2-bit palette PNG.
TEST_F(QxlabelTest, PreviewOfAThousandItemsDrawsEveryItemInRows) {
  Doc().Add("L1-A№", "", 6).Serial("序号0-999", "0", "999").Save(Path("k.kel"));
  const Result wide = Run({"preview", Path("k.kel").string(), Path("wide.png").string()});
  ASSERT_EQ(wide.status, 0) << Describe(wide);
  EXPECT_EQ(wide.out, "1000 item(s) drawn into " + Path("wide.png").string() + "\n");
  const PngHeader w = HeaderOf(Path("wide.png"));
  EXPECT_LE(w.width, 4000);
  EXPECT_GT(w.width, 3000);
  EXPECT_EQ(w.colour, 3);
  EXPECT_EQ(w.depth, 2);

  const Result rows = Run({"preview", Path("k.kel").string(), Path("rows.png").string(),
                           "--scale", "1", "--per-row", "7"});
  ASSERT_EQ(rows.status, 0) << Describe(rows);
  EXPECT_NE(rows.out.find("1000 item(s) drawn"), std::string::npos) << rows.out;
  const std::optional<RgbImage> png = ReadPng(Path("rows.png"));
  ASSERT_TRUE(png);
  const int row_count = (1000 + 6) / 7;  // 143 rows, the last with 6 items
  ASSERT_EQ(png->height, row_count * 96 + (row_count - 1) * 4);
  // Each row shows its items' boundaries along its top line; the gaps are blank tape.
  auto boundaries = [&](int y) {
    int n = 0;
    for (int x = 0; x < png->width; ++x) n += png->Get(x, y) == kTapeBoundary;
    return n;
  };
  EXPECT_EQ(boundaries(0), 6);
  EXPECT_EQ(boundaries(100), 6);
  EXPECT_EQ(boundaries(png->height - 1), 5);
  for (int y = 96; y < 100; ++y)
    for (int x = 0; x < png->width; x += 7) ASSERT_EQ(png->Get(x, y), kTapeBlank) << x << "," << y;

  // The first row is the strip of the first seven items, as a seven-item job draws it.
  Doc().Add("L1-A№", "", 6).Serial("序号0-999", "0", "6").Save(Path("seven.kel"));
  ASSERT_EQ(Run({"preview", Path("seven.kel").string(), Path("seven.png").string(), "--scale", "1"})
                .status,
            0);
  const std::optional<RgbImage> seven = ReadPng(Path("seven.png"));
  ASSERT_TRUE(seven);
  ASSERT_LE(seven->width, png->width);
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < seven->width; ++x)
      ASSERT_EQ(png->Get(x, y), seven->Get(x, y)) << x << "," << y;
}

// A document's preview is the job `qxlabel print` makes with the same choices: copies,
// a range of Segments (in either order) and the order of repeats.
TEST_F(QxlabelTest, PreviewTakesThePrintJobsChoices) {
  Doc().Add("A", "", 25, 2).Add("B№").Serial("序号0-999", "7", "9").Save(Path("job.kel"));
  struct Case {
    std::vector<std::string> options;
    int items;
  };
  const Case cases[] = {
      {{}, 5},
      {{"--copies", "3"}, 15},
      {{"--range", "2-2"}, 3},
      {{"--range", "9-2", "--copies", "2", "--repeat-first"}, 6},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"preview", Path("job.kel").string(), Path("job.png").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result r = Run(args);
    ASSERT_EQ(r.status, 0) << Describe(r);
    EXPECT_EQ(r.out.rfind(std::to_string(c.items) + " item(s) drawn", 0), 0u) << r.out;
  }
  const Result bad = Run({"preview", Path("job.kel").string(), Path("job.png").string(),
                          "--copies", "0"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--copies takes 1 to 999"), std::string::npos) << bad.err;
}

// A picture taller than a viewer opens goes into numbered pages, each within the page
// size, and the count is of the whole job; nothing is written under the name asked for.
TEST_F(QxlabelTest, PreviewOfAHugeJobIsDrawnWholeInNumberedPages) {
  Doc().Add("A№", "", 6, 20).Serial("序号0-999", "0", "999").Save(Path("huge.kel"));
#if defined(__SANITIZE_ADDRESS__)
  const rlim_t memory = 0;  // AddressSanitizer reserves more address space than any limit
#else
  const rlim_t memory = 300u << 20;  // the items of one page are held, not the job's
#endif
  const Result doc =
      Run({"preview", Path("huge.kel").string(), Path("huge.png").string(), "--scale", "2"},
          memory);
  ASSERT_EQ(doc.status, 0) << Describe(doc);
  EXPECT_EQ(doc.out.rfind("20000 item(s) drawn into ", 0), 0u) << doc.out;
  EXPECT_FALSE(fs::exists(Path("huge.png")));
  auto page_name = [&](int n) {
    char name[32];
    std::snprintf(name, sizeof name, "huge-%03d.png", n);
    return Path(name);
  };
  int pages = 0;
  while (fs::exists(page_name(pages + 1))) ++pages;
  EXPECT_GE(pages, 2);
  EXPECT_NE(doc.out.find(std::to_string(pages) + " pages " + Path("huge-001.png").string() +
                         " to "),
            std::string::npos)
      << doc.out;
  for (int n = 1; n <= pages; ++n) {
    const fs::path page = page_name(n);
    const PngHeader h = HeaderOf(page);
    EXPECT_LE(h.width, 4000) << page;
    EXPECT_LE(h.height, 65535) << page;
    EXPECT_EQ((h.height + 8) % 200, 0) << page << ": whole rows";
    // Every page but the last is full: one more row would pass the page height.
    if (n < pages) {
      EXPECT_GT(h.height + 8 + 200, 65535 + 8) << page;
    }
  }

  // The Segment form wraps and pages the same way.
  const Result one = Run({"preview", "WIRE-№", "--serial", "1-999", "--length", "100",
                          "--scale", "4", "-o", Path("wire.png").string()});
  ASSERT_EQ(one.status, 0) << Describe(one);
  EXPECT_EQ(one.out.rfind("999 item(s), ", 0), 0u) << one.out;
  EXPECT_NE(one.out.find(" pages " + Path("wire-001.png").string() + " to "), std::string::npos)
      << one.out;
  EXPECT_LE(HeaderOf(Path("wire-001.png")).height, 65535);
}

// The pages of a preview are named after OUT: OUT-001.png, ... Whichever page count the
// picture will have, none of them may be the input (under any name); nothing is written.
TEST_F(QxlabelTest, APreviewNeverWritesOverItsInputUnderAPageName) {
  Doc().Add("A→").Save(Path("t-001.kel"));
  Doc().Add("B←").Save(Path("doc.kel"));
  fs::create_hard_link(Path("doc.kel"), Path("o-002.png"));
  const std::string t1 = ReadText(Path("t-001.kel")), doc = ReadText(Path("doc.kel"));
  struct Case {
    std::string input, out, says;
  };
  const Case cases[] = {
      {Path("t-001.kel").string(), Path("t.kel").string(),
       "qxlabel: " + Path("t-001.kel").string() + " is the input file; a picture too tall for "
       "one file goes into pages named like it; give another output file\n"},
      {Path("doc.kel").string(), Path("o.png").string(),
       "qxlabel: " + Path("o-002.png").string() + " is the input file " + Path("doc.kel").string() +
           " under another name; a picture too tall for one file goes into pages named like it; "
           "give another output file\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    const Result r = Run({"preview", c.input, c.out});
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_EQ(r.err, c.says);
    EXPECT_FALSE(fs::exists(c.out));
  }
  EXPECT_EQ(ReadText(Path("t-001.kel")), t1);
  EXPECT_EQ(ReadText(Path("doc.kel")), doc);
  EXPECT_FALSE(fs::exists(Path("t-002.kel")));
  EXPECT_FALSE(fs::exists(Path("o-001.png")));
}

// A preview names the existing files it writes over, and the files of an earlier picture
// of the same name that it leaves beside its own (a single picture beside new pages, pages
// beyond the new count, pages beside a new single picture); those are left as they were.
// Sixty items a row at scale 16 make two pages.
TEST_F(QxlabelTest, APreviewNamesTheFilesItReplacesAndThoseOfAnEarlierPictureItLeaves) {
  const std::string doc = Doc().Add("A→№").Serial("序号0-999", "1", "60").Save(Path("d.kel")).string();
  const std::string o = Path("o.png").string();
  auto page = [&](int n) { return Path("o-00" + std::to_string(n) + ".png").string(); };
  const std::vector<std::string> pages = {"--per-row", "1", "--scale", "16"};
  auto run = [&](const std::vector<std::string>& options) {
    std::vector<std::string> args = {"preview", doc, o};
    args.insert(args.end(), options.begin(), options.end());
    return Run(args);
  };
  // First a single picture, over nothing.
  Result r = run({});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(r.err, "");
  // Again: it replaces itself. Older pages of a bigger picture beside it: the fourth is
  // not replaced either way, and a page name with another count of digits is no page.
  std::ofstream(page(4)) << "older";
  std::ofstream(Path("o-04.png")) << "mine";
  r = run({});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(r.err, "qxlabel: replaced the existing file(s) " + o +
                       "\nqxlabel: page(s) " + page(4) +
                       ", of an earlier picture, were left as they were; this picture is " + o + "\n");
  // In two pages: page 1 and 2 are new, o.png and page 4 are left.
  std::ofstream(page(1)) << "older";
  r = run(pages);
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_NE(r.out.find("2 pages " + page(1) + " to " + page(2)), std::string::npos) << r.out;
  const std::string here = "; this picture is in 2 pages " + page(1) + " to " + page(2) + "\n";
  EXPECT_EQ(r.err, "qxlabel: replaced the existing file(s) " + page(1) + "\nqxlabel: " + o +
                       ", of an earlier picture, was left as it was" + here + "qxlabel: page(s) " +
                       page(4) + ", of an earlier picture, were left as they were" + here);
  EXPECT_EQ(HeaderOf(page(1)).width, HeaderOf(page(2)).width);
  EXPECT_EQ(ReadText(page(4)), "older");
  EXPECT_EQ(ReadText(Path("o-04.png")), "mine");
  EXPECT_TRUE(fs::exists(o));
}

// --- errors -----------------------------------------------------------------------------

// A document file cut short, and one whose block chain loops.
void MakeDamagedDocuments(const fs::path& dir) {
  const std::string whole = ReadText(kSampleKel);
  std::ofstream(dir / "cut.kel", std::ios::binary) << whole.substr(0, whole.size() / 2 + 100);
  fs::copy_file(kFixtures / "paradox" / "fuzz" / "chain-loops.db", dir / "loops.kel");
}

TEST_F(QxlabelTest, WrongInputIsToldInPlainWordsWithAnExitStatus) {
  MakeDamagedDocuments(dir_.path());
  Doc().Add("").Save(Path("blank.kel"));
  const std::string good_row =
      "1\tA\t\\N\t25\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n";
  auto rows_file = [&](const std::string& name, const std::string& text) {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name).string();
  };
  const std::string short_row = rows_file("short.tsv", good_row + "2\tB\n");
  const std::string not_number = rows_file("nan.tsv", "x" + good_row);
  const std::string too_long =
      rows_file("long.tsv", "1\t" + std::string(101, 'L') + good_row.substr(3));
  const std::string not_gbk = rows_file("gbk.tsv", "1\t✓" + good_row.substr(3));
  const std::string no_rows = rows_file("none.tsv", "# nothing\n\n");
  const std::string missing = Path("missing.kel").string(), out = Path("out.file").string();
  const std::string excel = (kFixtures / "excel").string();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const Case cases[] = {
      // Bad arguments: the usage, status 2.
      {{}, 2, "usage: qxlabel"},
      {{"print"}, 2, "print takes a document file"},
      {{"frobnicate"}, 2, "unknown command frobnicate"},
      {{"dump"}, 2, "dump takes one document file"},
      {{"dump", missing, out}, 2, "dump takes one document file"},
      {{"export", kSampleKel.string()}, 2, "export takes a document file and the output file"},
      {{"import", excel + "/basic.xlsx"}, 2, "import takes a workbook and the output file"},
      {{"preview", kSampleKel.string(), out, "--scale", "99"}, 2, "bad option --scale"},
      {{"preview", kSampleKel.string(), out, "--colour"}, 2, "bad option --colour"},
      {{"preview", "A1", "--size", "9", "-o", out}, 2, "--size takes 0 to 7"},
      {{"preview", "A1"}, 2, "give the output file with -o"},
      {{"preview", "A1", "--serial", "1", "-o", out}, 2, "--serial takes a range"},
      {{"build", short_row}, 2, "build takes the rows and the output file"},
      // Rows that are not document rows; nothing is written.
      {{"build", short_row, out}, 1, "short.tsv, line 2: 2 columns, a row has 13"},
      {{"build", not_number, out}, 1, "nan.tsv, line 1, column Num: \"x1\" is not a number"},
      {{"build", too_long, out}, 1, "long.tsv, line 1: value too long for column Flin"},
      {{"build", not_gbk, out}, 1, "gbk.tsv, line 1, column Flin: GBK cannot represent \"✓\""},
      {{"build", no_rows, out}, 1, "none.tsv holds no rows"},
      // Missing files.
      {{"build", Path("missing.tsv").string(), out}, 1, "cannot open"},
      {{"dump", missing}, 1, "cannot open " + missing},
      {{"export", missing, out}, 1, "cannot open " + missing},
      {{"preview", missing, out}, 1, "cannot open " + missing},
      {{"import", Path("missing.xlsx").string(), out}, 1, "cannot open"},
      {{"dump", dir_.path().string()}, 1, "is a folder"},
      // Damaged or foreign files.
      {{"dump", Path("cut.kel").string()}, 1, "not a document file: "},
      {{"dump", Path("loops.kel").string()}, 1, "not a document file: "},
      {{"export", Path("cut.kel").string(), out}, 1, "not a document file: "},
      {{"preview", Path("loops.kel").string(), out}, 1, "not a document file: "},
      {{"dump", excel + "/basic.xls"}, 1, "not a document file: "},
      {{"import", excel + "/bad/encrypted.xlsx", out}, 1, "password protected"},
      {{"import", excel + "/bad/html.xls", out}, 1, "not an Excel workbook"},
      {{"import", excel + "/bad/truncated.xlsx", out}, 1, "damaged"},
      {{"import", kSampleKel.string(), out}, 1, "not an Excel workbook"},
      // Nothing to draw, and an output that cannot be written.
      {{"preview", Path("blank.kel").string(), out}, 1, "nothing to print"},
      {{"export", kSampleKel.string(), Path("no/such/folder/x.qxf").string()}, 1, "no/such/folder"},
      {{"import", excel + "/basic.xlsx", Path("no/such/folder/x.kel").string()},
       1,
       "no/such/folder"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += " " + a;
    SCOPED_TRACE("qxlabel" + line);
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << Describe(r);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind(c.status == 2 && c.args.size() < 1 ? "usage:" : "qxlabel: ", 0), 0u)
        << r.err;
    // No crash report or exception text reaches the operator.
    for (const char* bad : {"terminate", "std::", "Sanitizer", "Aborted"})
      EXPECT_EQ(r.err.find(bad), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out)) << "a failed command left its output file";
    // One line, each file named at most once; a usage error points to --help instead of
    // printing the whole usage.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    for (const std::string& a : c.args) {
      if (a.find('/') == std::string::npos) continue;
      const std::size_t at = r.err.find(a);
      EXPECT_TRUE(at == std::string::npos || r.err.find(a, at + 1) == std::string::npos) << r.err;
    }
    if (c.status == 2) {
      EXPECT_NE(r.err.find("qxlabel --help"), std::string::npos) << r.err;
    }
  }
}

// A document file of more Segments than a Document holds is refused by every command that
// opens it as a Document, with the count; dump still prints it.
TEST_F(QxlabelTest, ADocumentFileOfMoreSegmentsThanADocumentHoldsIsRefused) {
  const std::string over = DocumentOf(Path("over.kel"), 65536).string();
  std::ofstream(Path("one.csv"), std::ios::binary) << "K1→,X\n";
  const std::string says =
      "qxlabel: " + over + " holds 65536 Segments, more than the 65535 a document holds\n";
  const std::vector<std::vector<std::string>> commands = {
      {"export", over, Path("o.qxf").string()},
      {"preview", over, Path("o.png").string()},
      {"print", over},
      {"import", Path("one.csv").string(), Path("o.kel").string(), "--append-to", over},
  };
  for (const auto& args : commands) {
    SCOPED_TRACE(args[0]);
    const Result r = Run(args);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_EQ(r.err, says);
  }
  for (const char* name : {"o.qxf", "o.png", "o-001.png", "o.kel"}) EXPECT_FALSE(fs::exists(Path(name)));
  const Result dump = Run({"dump", over});
  EXPECT_EQ(dump.status, 0) << Describe(dump);
  EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 65537);
}

TEST_F(QxlabelTest, HelpGoesToStandardOutput) {
  const Result r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: qxlabel", 0), 0u) << r.out;
  EXPECT_EQ(r.err, "");
  // It says what a rows file holds.
  EXPECT_NE(r.out.find("A rows file (dump writes one, build reads one) is UTF-8 or GBK text"),
            std::string::npos)
      << r.out;
}

// --- Files that must not be lost, input that must be refused ---------------------------

TEST_F(QxlabelTest, AnOutputThatIsTheInputIsRefused) {
  // Every input under its own name, a symbolic link and a hard link.
  fs::copy_file(kSampleKel, Path("doc.kel"));
  fs::copy_file(kFixtures / "excel" / "basic.xlsx", Path("book.xlsx"));
  const Result dump = Run({"dump", Path("doc.kel").string()});
  std::ofstream(Path("rows.tsv"), std::ios::binary) << dump.out;
  fs::create_symlink("doc.kel", Path("link.kel"));
  fs::create_hard_link(Path("doc.kel"), Path("hard.kel"));
  const std::map<std::string, std::string> before = {{"doc.kel", ReadText(Path("doc.kel"))},
                                                     {"book.xlsx", ReadText(Path("book.xlsx"))},
                                                     {"rows.tsv", ReadText(Path("rows.tsv"))}};
  const std::string doc = Path("doc.kel").string();
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"export", doc, doc}, "qxlabel: " + doc + " is the input file; give another output file\n"},
      {{"export", doc, Path("link.kel").string()},
       "qxlabel: " + Path("link.kel").string() + " is the input file " + doc +
           " under another name; give another output file\n"},
      {{"export", doc, Path("hard.kel").string()}, " under another name; "},
      {{"preview", doc, Path("link.kel").string()}, " under another name; "},
      {{"import", Path("book.xlsx").string(), Path("book.xlsx").string()}, " is the input file; "},
      {{"build", Path("rows.tsv").string(), Path("rows.tsv").string()}, " is the input file; "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[2]);
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    for (const auto& [name, bytes] : before) EXPECT_EQ(ReadText(Path(name)), bytes) << name;
  }
  EXPECT_TRUE(fs::is_symlink(Path("link.kel")));
}

// A failed write names the file once and says why in plain words (never only the
// library's "Write Error"), keeps the old file and leaves no temporary behind.
TEST_F(QxlabelTest, WriteFailuresAreToldWithTheirReasonAndLeaveNothingBehind) {
  Doc d;  // its native file is more than 1000 bytes too
  for (int i = 1; i <= 100; ++i) d.Add("A" + std::to_string(i));
  d.Save(Path("doc.kel"));
  std::ofstream(Path("rows.tsv"), std::ios::binary) << Run({"dump", Path("doc.kel").string()}).out;
  for (const char* name : {"old.kel", "old.qxf", "old.png"}) std::ofstream(Path(name)) << "old";
  std::ofstream(Path("ro.kel")) << "read-only";
  chmod(Path("ro.kel").c_str(), 0444);
  fs::create_directory(Path("folder.kel"));
  const std::string doc = Path("doc.kel").string(), rows = Path("rows.tsv").string();
  const std::string book = (kFixtures / "excel" / "basic.xlsx").string();
  struct Case {
    std::vector<std::string> args;
    std::string out;
    std::string reason;
    bool small_files = false;  // writes stop past 1000 bytes, as on a full disk
  };
  const Case cases[] = {
      {{"build", rows}, "old.kel", "File too large", true},
      {{"export", doc}, "old.qxf", "File too large", true},
      {{"import", book}, "old.kel", "File too large", true},
      {{"preview", doc}, "old.png", "File too large", true},
      {{"preview", "A№", "--serial", "1-50", "-o"}, "old.png", "File too large", true},
      {{"build", rows}, "ro.kel", "the file is read-only"},
      {{"export", doc}, "ro.kel", "the file is read-only"},
      {{"import", book}, "folder.kel", "it is a folder"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(Path(c.out).string());
    SCOPED_TRACE(args[0] + " " + args[1] + " " + c.out);
    const std::string before = fs::is_regular_file(Path(c.out)) ? ReadText(Path(c.out)) : "";
    Result r;
    {
      rlimit old{};
      getrlimit(RLIMIT_FSIZE, &old);
      rlimit lim = old;
      if (c.small_files) lim.rlim_cur = 1000;
      auto* handler = std::signal(SIGXFSZ, SIG_IGN);  // inherited: a write fails instead
      setrlimit(RLIMIT_FSIZE, &lim);
      r = Run(args);
      setrlimit(RLIMIT_FSIZE, &old);
      std::signal(SIGXFSZ, handler);
    }
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_EQ(r.err, "qxlabel: cannot write " + Path(c.out).string() + ": " + c.reason + "\n");
    if (fs::is_regular_file(Path(c.out))) {
      EXPECT_EQ(ReadText(Path(c.out)), before);
    }
    for (const auto& e : fs::directory_iterator(dir_.path()))
      EXPECT_FALSE(e.path().filename().string().ends_with(".qxtmp")) << e.path();
  }
}

// Inputs that are not regular files are refused before they are opened (a pipe would
// otherwise keep every command waiting).
TEST_F(QxlabelTest, InputsThatAreNotFilesAreRefusedAtOnce) {
  ASSERT_EQ(mkfifo(Path("pipe.kel").c_str(), 0644), 0);
  fs::create_directory(Path("folder.xlsx"));
  const std::string pipe = Path("pipe.kel").string(), folder = Path("folder.xlsx").string();
  const std::string out = Path("out.file").string();
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"dump", pipe}, pipe + " is a pipe, not a file"},
      {{"export", pipe, out}, pipe + " is a pipe, not a file"},
      {{"preview", pipe, out}, pipe + " is a pipe, not a file"},
      {{"print", pipe}, pipe + " is a pipe, not a file"},
      {{"build", pipe, out}, pipe + " is a pipe, not a file"},
      {{"import", pipe, out}, pipe + " is a pipe, not a file"},
      {{"import", folder, out}, folder + " is a folder, not a file"},
      {{"dump", "/dev/zero"}, "/dev/zero is a device, not a file"},
      {{"build", "/dev/zero", out}, "/dev/zero is a device, not a file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_EQ(r.err, "qxlabel: " + c.says + "\n");
    EXPECT_FALSE(fs::exists(out));
  }
}

// Rows files as Windows writes them: a byte-order mark, GBK text, no settings row; and
// rows files that are not what they should be, refused with the reason and the line.
TEST_F(QxlabelTest, RowsFilesFromWindowsAreReadOrRefusedInPlainWords) {
  const std::string row1 =
      "1\t线号A\t\\N\t25\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n";
  const std::string row2 =
      "2\t端子B\t下行\t0\t2 号\t横向\t取消修饰\t3\t无序号\t\\N\t\\N\t\\N\t\\N\n";
  const std::string settings =
      "0\t热缩管\t宋体\t\\N\t\\N\t左齐\t分隔线\t\\N\t\\N\t7\t\\N\t\\N\t\\N\n";
  const std::string defaults =
      "0\t套管 4.0平方\t黑体\t\\N\t\\N\t居中\t半切\t\\N\t\\N\t4\t\\N\t\\N\t\\N\n";
  auto gbk = [](const std::string& utf8) { return gbk::Encode(utf8); };
  struct Case {
    const char* what;
    std::string text;
    int status;
    std::string err;   // stderr after "qxlabel: FILE"
    std::string dump;  // what the written document dumps as
  };
  const Case cases[] = {
      {"UTF-8", row1 + row2 + settings, 0, "", row1 + row2 + settings},
      {"a byte-order mark", "\xEF\xBB\xBF" + row1 + row2 + settings, 0, "", row1 + row2 + settings},
      {"GBK", gbk(row1 + row2 + settings), 0, " is not UTF-8; it is read as GBK\n",
       row1 + row2 + settings},
      {"GBK with Windows line ends", gbk("# 线号\r\n" + row1 + row2), 0,
       " is not UTF-8; it is read as GBK\n", row1 + row2 + defaults},
      {"no settings row: every row is a Segment", row1 + row2, 0, "", row1 + row2 + defaults},
      {"UTF-8, then a line of GBK", row1 + gbk(row2), 1, ", line 2: not UTF-8\n", ""},
      {"neither", "1\t\xFF\xFF" + row1.substr(3), 1, ", line 1: not UTF-8\n", ""},
      {"UTF-16",
       "\xFF\xFE"
       "1\0\t\0",
       1, " is UTF-16 text, not UTF-8; save it as UTF-8\n", ""},
      {"a line longer than any row", row1 + std::string(70000, 'x') + "\n", 1,
       ", line 2: longer than 65536 bytes, more than any row\n", ""},
      {"a NUL byte in a text", row1 + "2\t线" + std::string(1, '\0') + row2.substr(2), 1,
       ", line 2, column Flin: the text holds a NUL byte (a zero byte), which no text can hold\n",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string rows = Path("rows.tsv").string(), out = Path("out.kel").string();
    fs::remove(out);
    std::ofstream(rows, std::ios::binary) << c.text;
    const Result r = Run({"build", rows, out});
    EXPECT_EQ(r.status, c.status) << Describe(r);
    EXPECT_EQ(r.err, c.err.empty() ? "" : "qxlabel: " + rows + c.err);
    if (c.status != 0) {
      EXPECT_FALSE(fs::exists(out));
      continue;
    }
    EXPECT_EQ(Run({"dump", out}).out, c.dump);
  }
}

// Inputs of up to 10 MB, however they are made, are read or refused in under 200 MB of
// memory: rows files too long or with too many rows, workbooks nesting XML deeply or
// naming one long string in every cell, a document file of 10 MB.
TEST_F(QxlabelTest, InputsOfUpToTenMegabytesNeedLessThanTwoHundredMegabytes) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit";
#else
  const std::string row =
      "1\tW-0001-ABCDEFGH\t下行文字\t25\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n";
  {
    std::ofstream many(Path("many.tsv"), std::ios::binary);
    for (std::size_t n = 0; n < (10u << 20) / row.size(); ++n) many << row;
    std::ofstream(Path("one-line.tsv"), std::ios::binary) << std::string(10u << 20, 'x');
    std::ofstream big(Path("big.tsv"), std::ios::binary);
    for (int n = 0; n < 40000; ++n) big << row;
  }
  ASSERT_EQ(Run({"build", Path("big.tsv").string(), Path("big.kel").string()}).status, 0);
  ASSERT_LE(fs::file_size(Path("big.kel")), 10u << 20);
  const fs::path bad = kFixtures / "excel" / "bad";
  const std::string out = Path("out.kel").string();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {{"build", Path("many.tsv").string(), out},
       1,
       "holds more than 65535 Segments, the most a document holds"},
      {{"build", Path("one-line.tsv").string(), out}, 1, "line 1: longer than 65536 bytes"},
      {{"import", (bad / "deep.xlsx").string(), out}, 1, "XML elements nested more than 100 deep"},
      {{"import", (bad / "long-tag.xlsx").string(), out},
       1,
       "XML that needs more than 32 MB of memory to read"},
      {{"import", (bad / "one-string-many-cells.xls").string(), out}, 0, ""},
      {{"dump", Path("big.kel").string()}, 0, ""},
      {{"export", Path("big.kel").string(), Path("big.qxf").string()}, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const Result r = Run(c.args, 200u << 20);
    EXPECT_EQ(r.status, c.status) << Describe(r).substr(0, 2000);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
#endif
}

// --- Printing to the virtual printers --------------------------------------------------

// The sample documents shipped with the program.
const fs::path kSamples = fs::path(QX_TEST_DATA_DIR) / ".." / "data" / "Sample";

class QxlabelPrintTest : public QxlabelTest {
 protected:
  void Printers(const std::string& list) {
    setenv("QX_VIRTUAL_PRINTERS", list.c_str(), 1);
    setenv("QX_VIRTUAL_PRINTER_DIR", dir_.path().c_str(), 1);
  }
  ~QxlabelPrintTest() override {
    unsetenv("QX_VIRTUAL_PRINTERS");
    unsetenv("QX_VIRTUAL_PRINTER_DIR");
  }
};

TEST_F(QxlabelPrintTest, DevicesListsThePrintersFound) {
  Printers("qb20,qa11");
  const Result r = Run({"devices"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(r.out,
            "1\tUSB#0\tKelmor QB20\tvirtual:vid_5d29&pid_2029#0\n"
            "2\tUSB#1\tKelmor QA11\tvirtual:vid_0471&pid_0666#1\n");
  Printers("qb20:fault=bogus");
  EXPECT_EQ(Run({"devices"}).status, 2);
}

TEST_F(QxlabelPrintTest, EverySamplePrintsOnBothGenerations) {
  Printers("qb20,qa11");
  int documents = 0;
  for (const auto& entry : fs::directory_iterator(kSamples)) {
    if (entry.path().extension() != ".kel") continue;
    ++documents;
    for (const char* printer : {"1", "2"}) {
      SCOPED_TRACE(entry.path().filename().string() + " on printer " + printer);
      const Result r = Run({"print", entry.path().string(), "--printer", printer});
      EXPECT_EQ(r.status, 0) << Describe(r);
      EXPECT_EQ(r.out.rfind("打印完成!\n", 0), 0u) << r.out;
      EXPECT_NE(r.out.find(" item(s) sent to Kelmor Q"), std::string::npos) << r.out;
      EXPECT_EQ(r.out.find("skipped"), std::string::npos) << r.out;
      EXPECT_EQ(r.err, "");
    }
  }
  EXPECT_GE(documents, 3);
  // Every run kept its own folder: the first printed on printer 1, the second on 2.
  EXPECT_TRUE(fs::exists(dir_ / "run-001" / "qb20-0-job1.png"));
  EXPECT_TRUE(fs::exists(dir_ / "run-001" / "qb20-0.trace"));
  EXPECT_TRUE(fs::exists(dir_ / "run-002" / "qa11-1-job1.png"));
  const std::string last = "run-" + std::string(documents * 2 < 10 ? "00" : "0") +
                           std::to_string(documents * 2);
  EXPECT_TRUE(fs::exists(dir_ / last / "qa11-1-job1.png")) << last;
}

// A job whose every item is refused still runs on the printer as the printer takes it:
// the first generation ends it as finished, with no protocol error and no tape.
TEST_F(QxlabelPrintTest, AJobWithEveryItemRefusedIsAcceptedByBothGenerations) {
  const std::string doc = Path("none.kel").string();
  Doc().Add("A1", "", 0).Size("自动").Save(doc);  // automatic length and size: refused
  for (const char* printer : {"qa11", "qb20"}) {
    SCOPED_TRACE(printer);
    fs::remove_all(dir_ / "printers");
    setenv("QX_VIRTUAL_PRINTERS", printer, 1);
    setenv("QX_VIRTUAL_PRINTER_DIR", (dir_ / "printers").c_str(), 1);
    const Result r = Run({"print", doc});
    EXPECT_NE(r.out.find("0 item(s) sent"), std::string::npos) << Describe(r);
    EXPECT_NE(r.err.find("1 item(s) skipped"), std::string::npos) << r.err;
    const std::string trace =
        ReadText(dir_ / "printers" / "run-001" / (std::string(printer) + "-0.trace"));
    EXPECT_EQ(trace.find("\nerror "), std::string::npos) << trace;
    EXPECT_NE(trace.find("\njob-end 1 "), std::string::npos) << trace;
    if (std::string(printer) == "qa11") {
      EXPECT_NE(trace.find("\njob-end 1 finished 0\n"), std::string::npos) << trace;
    }
  }
}

// Ctrl-C while the printer is being checked (a slow link, and a printer that needs three
// polls before it answers the set-up) stops the job as soon as it can: no item printed.
TEST_F(QxlabelPrintTest, CtrlCDuringThePrinterCheckStopsTheJob) {
  const std::string doc = Path("d.kel").string();
  Doc().Add("A1").Add("A2").Add("A3").Save(doc);
  Printers("qb20:ready=3:lag=150");
  const pid_t pid = Start(dir_.path(), {"print", doc});
  ASSERT_GT(pid, 0);
  // The check has begun once the printer has answered the set-up request (24).
  const fs::path trace = dir_ / "run-001" / "qb20-0.trace";
  bool checking = false;
  for (int i = 0; i < 2000 && !checking; ++i) {
    checking = ReadText(trace).find("\nvendor 24 ") != std::string::npos;
    if (!checking) usleep(5000);
  }
  EXPECT_TRUE(checking) << ReadText(trace);
  kill(pid, SIGINT);
  const Result r = Finish(dir_.path(), pid);
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_NE(r.err.find("qxlabel: stopping the printer\n"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("0 item(s) sent"), std::string::npos) << r.out;
  const std::string lines = ReadText(trace);
  EXPECT_NE(lines.find("\njob-end 1 stopped 0\n"), std::string::npos) << lines;
}

// A job of 65,535 repeats in 100 copies (6.5 million markers) prints to a virtual printer
// in bounded memory: the printer writes its trace and tape pages as it goes and keeps
// neither. Ctrl-C part-way stops it at once: no marker is handed over after the stop
// request, and the tape drawn so far is written in pages without holding the job.
TEST_F(QxlabelPrintTest, AHugeJobPrintsInBoundedMemoryAndCtrlCStopsIt) {
  const std::string doc = Path("huge.kel").string();
  Doc().Add("W→A1", "↙下", 25, 65535).Save(doc);
  struct Case {
    const char* printer;
    const char* stop;                  // the stop request in the trace
    std::vector<std::string> handover;  // the lines that hand a marker over
  };
  const Case cases[] = {
      {"qb20", "\nvendor 18 ", {"\nvendor 22 ", "\nvendor 23 "}},
      {"qa11", "\nbulk-out 4 010d000d\n", {"\nbulk-out 4 01000016\n", "\nbulk-out 4 01800016\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printer);
    const fs::path dir = dir_ / c.printer;
    setenv("QX_VIRTUAL_PRINTERS", c.printer, 1);
    setenv("QX_VIRTUAL_PRINTER_DIR", dir.c_str(), 1);
    const pid_t pid = Start(dir_.path(), {"print", doc, "--copies", "100"});
    ASSERT_GT(pid, 0);
    // Some thousands of markers: the old printers held 100 MB for them, and drew them
    // into one picture of gigabytes when the job ended.
    const fs::path trace = dir / "run-001" / (std::string(c.printer) + "-0.trace");
    auto size = [&] {
      std::error_code ec;
      const auto bytes = fs::file_size(trace, ec);
      return ec ? 0 : bytes;
    };
    for (int i = 0; i < 6000 && size() < (48u << 20); ++i) usleep(10000);
    EXPECT_GE(size(), 48u << 20) << "the job did not get going";
    kill(pid, SIGINT);
    int wstatus = 0;
    rusage usage{};
    while (wait4(pid, &wstatus, 0, &usage) < 0 && errno == EINTR) {
    }
    const std::string err = ReadText(dir_ / "stderr.txt");
    EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 1) << err;
    EXPECT_NE(err.find("qxlabel: stopping the printer\n"), std::string::npos) << err;
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "kB at most";
#endif
    const std::string lines = ReadText(trace);
    const std::size_t stop = lines.find(c.stop);
    ASSERT_NE(stop, std::string::npos);
    std::size_t handed_over = 0;
    for (const std::string& h : c.handover) {
      EXPECT_EQ(lines.find(h, stop), std::string::npos) << h << " after the stop";
      for (std::size_t at = lines.find(h); at != std::string::npos; at = lines.find(h, at + 1))
        ++handed_over;
    }
    // Every marker handed over is on the tape but those still in the buffers (two).
    const std::size_t end = lines.find("\njob-end 1 stopped ");
    ASSERT_NE(end, std::string::npos);
    const std::size_t printed = std::stoul(lines.substr(end + 19));
    EXPECT_LE(printed, handed_over);
    EXPECT_GE(printed + 2, handed_over);
    EXPECT_GT(printed, 4000u);
    // The tape in pages: the first under the job's name, the next ones numbered.
    EXPECT_TRUE(fs::exists(dir / "run-001" / (std::string(c.printer) + "-0-job1.png")));
    EXPECT_TRUE(fs::exists(dir / "run-001" / (std::string(c.printer) + "-0-job1-2.png")));
    fs::remove_all(dir);  // hundreds of megabytes of trace
  }
}

TEST_F(QxlabelPrintTest, CopiesRangeAndOrder) {
  Printers("qa11");
  const std::string doc = Path("d.kel").string();
  Doc().Add("A1").Add("A2", "", 25, 3).Add("A3").Save(doc);
  const Result r = Run({"print", doc, "--range", "3-2", "--copies", "2", "--repeat-first"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_NE(r.out.find("8 item(s) sent"), std::string::npos) << r.out;
}

// A job that ended early says how far it got and how to go on; --from-item goes on from
// there and sends exactly the markers not yet sent.
// After a fault --from-item names the first marker the printer did not report printed
// (as the editor's "从第N个继续" does): by the printer's own trace, nothing is skipped and
// the job that goes on prints exactly the rest.
TEST_F(QxlabelPrintTest, AJobThatEndedEarlyGoesOnFromTheFirstMarkerNotPrinted) {
  const std::string doc = Path("d.kel").string();
  Doc().Add("A1", "", 25, 4).Add("A2", "", 25, 4).Save(doc);
  struct Case {
    std::string printer;
    int fault_at;
  };
  const std::vector<Case> cases{{"qb20:fault=ribbon-out@3", 3}, {"qa11:fault=cover-open@5", 5},
                                {"qb20:fault=cover-open@8:speed=real", 8},
                                {"qa11:fault=ribbon-out@2:speed=real", 2}};
  int run = 0;
  auto trace = [&] {
    char folder[16];
    std::snprintf(folder, sizeof folder, "run-%03d", run);
    const std::string key = ReadText(dir_ / folder / "qb20-0.trace").empty() ? "qa11" : "qb20";
    return ReadText(dir_ / folder / (key + "-0.trace"));
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printer);
    Printers(c.printer);
    Result r = Run({"print", doc});
    ++run;
    EXPECT_EQ(r.status, 1) << Describe(r);
    const std::string::size_type at = r.err.find("--from-item ");
    ASSERT_NE(at, std::string::npos) << r.err;
    const int from = std::stoi(r.err.substr(at + 12));
    // The printer stopped before the faulty marker: every marker before it is printed.
    EXPECT_NE(trace().find("\njob-end 1 fault " + std::to_string(c.fault_at - 1) + "\n"),
              std::string::npos)
        << trace();
    EXPECT_EQ(from, c.fault_at) << r.err;
    EXPECT_NE(r.err.find("reported " + std::to_string(from - 1) + " marker(s) of the job printed"),
              std::string::npos) << r.err;
    EXPECT_NE(r.err.find("marker " + std::to_string(from) + " may be partly printed"),
              std::string::npos) << r.err;
    Printers(c.printer.substr(0, 4));
    r = Run({"print", doc, "--from-item", std::to_string(from)});
    ++run;
    EXPECT_EQ(r.status, 0) << Describe(r);
    EXPECT_NE(trace().find("\njob-end 1 finished " + std::to_string(8 - (from - 1)) + "\n"),
              std::string::npos)
        << trace();
  }
  EXPECT_EQ(Run({"print", doc, "--from-item", "0"}).status, 2);
}

TEST_F(QxlabelPrintTest, FailuresAreToldOnStderrWithAnExitStatus) {
  const std::string doc = Path("d.kel").string();
  Doc().Add("A1").Save(doc);
  struct Case {
    std::string printers;
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const std::vector<Case> cases{
      {"qb20:fault=cover-open", {}, 1, "qxlabel: printer: 上盖未盖好"},
      {"qa11:fault=no-ribbon", {}, 1, "qxlabel: printer: 没有色带!"},
      {"qb20:fault=ribbon-out@1", {}, 1, "qxlabel: printer: 当前色带余量为0,打印终止!"},
      {"", {}, 1, "no printer found"},
      {"qb20", {"--printer", "2"}, 1, "there is no printer 2"},
      {"qb20", {"--copies", "0"}, 2, "--copies takes 1 to 999"},
      {"qb20", {"--range", "3"}, 2, "--range takes"},
      {"qb20", {"--sideways"}, 2, "unknown or incomplete print option --sideways"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printers + " " + c.says);
    Printers(c.printers);
    std::vector<std::string> args{"print", doc};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = Run(args);
    EXPECT_EQ(r.status, c.status) << Describe(r);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

// A Segment too long for the printer's image store (40 Chinese characters of 48 columns at
// size 4, automatic length) is left out by print and both previews alike, each naming it
// and the reason; the other items go on.
TEST_F(QxlabelPrintTest, AnItemTooLongForThePrinterIsNamedWithItsReasonEverywhere) {
  std::string chinese;
  for (int i = 0; i < 39; ++i) chinese += "中";
  const std::string doc = Path("long.kel").string();
  Doc().Add("A1").Add(chinese + "№", "", 0, 2).Serial("序号0-999", "9", "10").Add("A3").Save(doc);
  const std::string says = "too long for the printer: its image is ";

  Printers("qb20");
  const Result print = Run({"print", doc, "--copies", "2"});
  EXPECT_EQ(print.status, 0) << Describe(print);
  EXPECT_NE(print.out.find("4 item(s) sent to Kelmor QB20 (virtual:vid_5d29&pid_2029#0), 8 skipped\n"),
            std::string::npos)
      << print.out;
  EXPECT_EQ(print.err.rfind("qxlabel: Segment 2 (serial 9 to 10): 8 item(s) skipped: " + says, 0), 0u)
      << print.err;
  EXPECT_NE(print.err.find(" columns, the printer's image store holds 1666\n"), std::string::npos)
      << print.err;

  const Result strip = Run({"preview", doc, Path("long.png").string(), "--scale", "1"});
  EXPECT_EQ(strip.status, 0) << Describe(strip);
  EXPECT_NE(strip.out.find("2 item(s) drawn"), std::string::npos) << strip.out;
  EXPECT_EQ(strip.err.rfind("qxlabel: Segment 2 (serial 9 to 10): 4 item(s) skipped: " + says, 0), 0u)
      << strip.err;

  const Result one = Run({"preview", chinese + "中", "--length", "0", "-o", Path("one.png").string()});
  EXPECT_EQ(one.status, 1) << Describe(one);
  EXPECT_EQ(one.err.rfind("qxlabel: item 1 is skipped: " + says, 0), 0u) << one.err;
  EXPECT_FALSE(fs::exists(Path("one.png")));
}

// A Segment 100 m long is longer than any marker the printer feeds: it is named with that
// reason, and a job with nothing left to print fails, on the printer and in the previews.
TEST_F(QxlabelPrintTest, AJobWithNothingPrintableLeftFailsAndSaysWhy) {
  const std::string doc = Path("far.kel").string();
  Doc().Add("A→", "", 100000).Save(doc);
  const std::string reason =
      "too long for the printer: longer than 65535 dots (about 5.9 m), the most one marker can be\n";
  Printers("qb20");
  const Result print = Run({"print", doc});
  EXPECT_EQ(print.status, 1) << Describe(print);
  EXPECT_EQ(print.err, "qxlabel: Segment 1: 1 item(s) skipped: " + reason + "qxlabel: " + doc +
                           ": nothing was printed, every item was skipped (无内容可打印!)\n");

  const Result strip = Run({"preview", doc, Path("far.png").string()});
  EXPECT_EQ(strip.status, 1) << Describe(strip);
  EXPECT_EQ(strip.err, "qxlabel: Segment 1: 1 item(s) skipped: " + reason +
                           "qxlabel: nothing to print in " + doc + "\n");
  EXPECT_FALSE(fs::exists(Path("far.png")));
}

TEST_F(QxlabelPrintTest, SerialsOfEveryTypeSuperscriptsSubscriptsAndSymbolsPrintInBothOrders) {
  // Serial types 0-999, 000-999, capitals and small letters; ↖ / ↙ prefixes; symbols.
  const std::string rows =
      "1\tL№\t\\N\t0\t4 号\t横向\t取消修饰\t2\t序号0-999\t8\t10\t\\N\t\\N\n"
      "2\tW-№\t\\N\t0\t4 号\t横向\t取消修饰\t1\t序号000-999\t8\t10\t\\N\t\\N\n"
      "3\tK№\t\\N\t0\t4 号\t横向\t取消修饰\t2\t大写字母\tA\tC\t\\N\t\\N\n"
      "4\tX№\t\\N\t0\t4 号\t横向\t取消修饰\t1\t小写字母\tx\tz\t\\N\t\\N\n"
      "5\tm↖2 H↙2O\t\\N\t0\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n"
      "6\t±24V℃Ω\t\\N\t0\t4 号\t横向\t取消修饰\t1\t无序号\t\\N\t\\N\t\\N\t\\N\n"
      "0\t套管 4.0平方\t黑体\t\\N\t\\N\t居中\t半切\t\\N\t\\N\t4\t\\N\t\\N\t\\N\n";
  std::ofstream(Path("mixed.tsv"), std::ios::binary) << rows;
  const std::string doc = Path("mixed.kel").string();
  ASSERT_EQ(Run({"build", Path("mixed.tsv").string(), doc}).status, 0);
  Printers("qb20,qa11");
  for (const char* printer : {"1", "2"}) {
    for (const char* order : {"--serial-first", "--repeat-first"}) {
      SCOPED_TRACE(std::string(printer) + order);
      const Result r = Run({"print", doc, "--printer", printer, order});
      EXPECT_EQ(r.status, 0) << Describe(r);
      // 3 x 2 + 3 + 3 x 2 + 3 + 1 + 1 items, none skipped.
      EXPECT_NE(r.out.find("20 item(s) sent"), std::string::npos) << r.out;
      EXPECT_EQ(r.out.find("skipped"), std::string::npos) << r.out;
    }
  }
}

}  // namespace
}  // namespace qx
