// The atomic file writer on real files, links and folders: what it replaces, what it
// keeps, what it refuses and what it leaves behind.
#include "document/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <set>

#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace qx {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Put(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

mode_t Mode(const fs::path& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A process id that belonged to a process which has ended.
pid_t EndedProcess() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

std::string TempName(const std::string& target, pid_t pid) {
  return "." + target + "." + std::to_string(pid) + ".Ab12Cd.qxtmp";
}

using testing::FileSizeLimit;

TEST(AtomicFile, AWriterKilledMidWayLeavesATemporaryTheNextWriteRemoves) {
  TempDir dir;
  Put(dir / "job.kel", "old");
  // A writer killed while its temporary is half written, as by kill -9 during a save.
  const pid_t pid = fork();
  if (pid == 0) {
    WriteFileAtomically(
        dir / "job.kel",
        [](std::FILE* f, std::string*) {
          std::fputs("half", f);
          std::fflush(f);
          raise(SIGKILL);
          return true;
        },
        nullptr);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  // The killed writer's temporary is left, named after the target and its process id.
  const std::set<std::string> left = Names(dir.path());
  ASSERT_EQ(left.size(), 2u);
  const std::string temp = *left.begin();  // '.' sorts first
  EXPECT_EQ(temp.rfind(".job.kel." + std::to_string(pid) + ".", 0), 0u) << temp;
  EXPECT_TRUE(temp.ends_with(".qxtmp")) << temp;
  EXPECT_EQ(Read(dir / temp), "half");
  EXPECT_EQ(Read(dir / "job.kel"), "old");

  std::string error;
  ASSERT_TRUE(WriteFileAtomically(dir / "other.kel", Bytes("new"), &error)) << error;
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"job.kel", "other.kel"}));
}

TEST(AtomicFile, OnlyTemporariesOfEndedWritersAreRemoved) {
  TempDir dir;
  const pid_t ended = EndedProcess();
  const std::string stale = TempName("a.kel", ended);
  const std::string running = TempName("b.kel", getppid());      // a process that runs
  const std::string locked = TempName("c.png", EndedProcess());  // held by someone else
  const std::string own = TempName("d.kel", getpid());
  const std::set<std::string> others = {
      "x.png.part",                                        // not ours: a download, say
      ".a.kel." + std::to_string(ended) + ".Ab12Cd",       // no suffix
      "a.kel." + std::to_string(ended) + ".Ab12Cd.qxtmp",  // not hidden
      ".a.kel.12x.Ab12Cd.qxtmp",                           // no process id
  };
  for (const std::string& name : {stale, running, locked, own}) Put(dir / name, "x");
  for (const std::string& name : others) Put(dir / name, "x");
  fs::create_directory(dir / TempName("e.kel", ended));  // a folder is never removed
  const int lock = open((dir / locked).c_str(), O_RDONLY);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);

  RemoveStaleTemporaries(dir.path());
  std::set<std::string> want = others;
  want.insert({running, locked, own, TempName("e.kel", ended)});
  EXPECT_EQ(Names(dir.path()), want);
  close(lock);
}

TEST(AtomicFile, EveryFailureRemovesItsOwnTemporaryAndKeepsTheOldFile) {
  TempDir dir;
  Put(dir / "doc.kel", "old contents");
  struct Case {
    const char* what;
    std::function<bool(std::FILE*, std::string*)> fill;
    rlim_t size_limit;  // 0: none
    std::string reason;
  };
  const std::string big(64 * 1024, 'x');
  const Case cases[] = {
      {"the writer gives up", [](std::FILE*, std::string* e) { return *e = "no image", false; }, 0,
       "no image"},
      // The writer's own word for a failed stream ("Write Error") gives way to the system's.
      {"the disk fills",
       [&](std::FILE* f, std::string* e) {
         const bool ok =
             std::fwrite(big.data(), 1, big.size(), f) == big.size() && std::fflush(f) == 0;
         if (!ok) *e = "Write Error";
         return ok;
       },
       1000, "File too large"},
      {"the data stays buffered until the end",
       [](std::FILE* f, std::string*) {
         return std::fputs(std::string(4000, 'y').c_str(), f) >= 0;
       },
       1000, "File too large"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    WriteFailure failure = WriteFailure::kNone;
    bool written;
    {
      std::optional<FileSizeLimit> limit;
      if (c.size_limit) limit.emplace(c.size_limit);
      written = WriteFileAtomically(dir / "doc.kel", c.fill, &error, &failure);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "cannot write " + (dir / "doc.kel").string() + ": " + c.reason);
    EXPECT_EQ(failure, WriteFailure::kOther);
    EXPECT_EQ(Read(dir / "doc.kel"), "old contents");
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"doc.kel"});
  }
}

TEST(AtomicFile, ReplacingKeepsPermissionsAndOwner) {
  TempDir dir;
  struct Case {
    const char* name;
    mode_t mode;
  };
  for (const Case& c :
       {Case{"private.kel", 0600}, Case{"shared.kel", 0664}, Case{"group.kel", 0640}}) {
    SCOPED_TRACE(c.name);
    Put(dir / c.name, "old");
    chmod((dir / c.name).c_str(), c.mode);
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir / c.name, Bytes("new"), &error)) << error;
    EXPECT_EQ(Read(dir / c.name), "new");
    EXPECT_EQ(Mode(dir / c.name), c.mode);
  }
  // A new file gets what any new file gets under the umask.
  const mode_t old_mask = umask(027);
  std::string error;
  EXPECT_TRUE(WriteFileAtomically(dir / "new.kel", Bytes("n"), &error)) << error;
  umask(old_mask);
  EXPECT_EQ(Mode(dir / "new.kel"), 0640u);

  if (geteuid() == 0) {  // only a privileged writer can keep another user's ownership
    ASSERT_EQ(chown((dir / "shared.kel").c_str(), 1234, 5678), 0);
    ASSERT_TRUE(WriteFileAtomically(dir / "shared.kel", Bytes("again"), &error)) << error;
    struct stat st;
    ASSERT_EQ(stat((dir / "shared.kel").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 5678u);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
  }
}

TEST(AtomicFile, SymbolicLinksAreWrittenThroughAndStayLinks) {
  TempDir dir;
  fs::create_directory(dir / "real");
  Put(dir / "real" / "doc.kel", "old");
  chmod((dir / "real" / "doc.kel").c_str(), 0600);
  fs::create_symlink("real/doc.kel", dir / "link.kel");        // relative to the link's folder
  fs::create_symlink(dir / "link.kel", dir / "chain.kel");     // a link to a link
  fs::create_symlink("real/later.kel", dir / "dangling.kel");  // its target does not exist yet

  std::string error;
  ASSERT_TRUE(WriteFileAtomically(dir / "chain.kel", Bytes("new"), &error)) << error;
  ASSERT_TRUE(WriteFileAtomically(dir / "dangling.kel", Bytes("created"), &error)) << error;
  EXPECT_TRUE(fs::is_symlink(dir / "link.kel"));
  EXPECT_TRUE(fs::is_symlink(dir / "chain.kel"));
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.kel"));
  EXPECT_EQ(fs::read_symlink(dir / "link.kel"), "real/doc.kel");
  EXPECT_EQ(Read(dir / "real" / "doc.kel"), "new");
  EXPECT_EQ(Mode(dir / "real" / "doc.kel"), 0600u);
  EXPECT_EQ(Read(dir / "real" / "later.kel"), "created");
  // The temporary was made beside the target, and is gone.
  EXPECT_EQ(Names(dir / "real"), (std::set<std::string>{"doc.kel", "later.kel"}));
}

TEST(AtomicFile, TargetsThatMustNotBeReplacedAreRefused) {
  TempDir dir;
  Put(dir / "ro.kel", "keep");
  chmod((dir / "ro.kel").c_str(), 0444);
  fs::create_symlink("ro.kel", dir / "ro-link.kel");
  fs::create_directory(dir / "folder.kel");
  ASSERT_EQ(mkfifo((dir / "pipe.kel").c_str(), 0644), 0);
  struct Case {
    fs::path target;
    WriteFailure failure;
    std::string reason;
  };
  const Case cases[] = {
      {dir / "ro.kel", WriteFailure::kReadOnly, "the file is read-only"},
      {dir / "ro-link.kel", WriteFailure::kReadOnly, "the file is read-only"},
      {dir / "folder.kel", WriteFailure::kNotAFile, "it is a folder"},
      {dir / "pipe.kel", WriteFailure::kNotAFile, "it is not a regular file"},
      {"/dev/null", WriteFailure::kNotAFile, "it is not a regular file"},
      {dir / "no" / "such" / "x.kel", WriteFailure::kNoFolder, "the folder does not exist"},
      {dir / "ro.kel" / "x.kel", WriteFailure::kNoFolder, "the folder does not exist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    std::string error;
    WriteFailure failure = WriteFailure::kNone;
    EXPECT_FALSE(WriteFileAtomically(c.target, Bytes("new"), &error, &failure));
    EXPECT_EQ(failure, c.failure);
    EXPECT_EQ(error, "cannot write " + c.target.string() + ": " + c.reason);
  }
  EXPECT_EQ(Read(dir / "ro.kel"), "keep");
  EXPECT_EQ(Mode(dir / "ro.kel"), 0444u);
  EXPECT_TRUE(fs::is_symlink(dir / "ro-link.kel"));
  EXPECT_EQ(fs::status(dir / "pipe.kel").type(), fs::file_type::fifo);
  EXPECT_EQ(Names(dir.path()),
            (std::set<std::string>{"ro.kel", "ro-link.kel", "folder.kel", "pipe.kel"}));

  if (geteuid() != 0) {  // a folder this user may not write to (root may)
    fs::create_directory(dir / "locked");
    chmod((dir / "locked").c_str(), 0555);
    std::string error;
    WriteFailure failure = WriteFailure::kNone;
    EXPECT_FALSE(WriteFileAtomically(dir / "locked" / "x.kel", Bytes("x"), &error, &failure));
    EXPECT_EQ(failure, WriteFailure::kDenied);
    EXPECT_NE(error.find("no permission to write in the folder"), std::string::npos) << error;
    chmod((dir / "locked").c_str(), 0755);
  }
}

TEST(AtomicFile, SameFileFollowsLinksAndHardLinks) {
  TempDir dir;
  Put(dir / "a.kel", "a");
  Put(dir / "b.kel", "a");
  fs::create_symlink("a.kel", dir / "sym.kel");
  fs::create_hard_link(dir / "a.kel", dir / "hard.kel");
  EXPECT_TRUE(SameFile(dir / "a.kel", dir / "a.kel"));
  EXPECT_TRUE(SameFile(dir / "a.kel", dir / "sym.kel"));
  EXPECT_TRUE(SameFile(dir / "hard.kel", dir / "sym.kel"));
  EXPECT_TRUE(SameFile(dir / "a.kel", dir / "." / "a.kel"));
  EXPECT_FALSE(SameFile(dir / "a.kel", dir / "b.kel"));  // equal contents, another file
  EXPECT_FALSE(SameFile(dir / "a.kel", dir / "missing.kel"));
  EXPECT_FALSE(SameFile(dir / "missing.kel", dir / "missing.kel"));
}

}  // namespace
}  // namespace qx
