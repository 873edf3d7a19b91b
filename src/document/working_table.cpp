#include "document/working_table.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <utility>

#include "document/sqlite_store.h"

namespace qx {
namespace {

std::string SlotName(int i) { return i == 1 ? "TL.$$$" : "TL-" + std::to_string(i) + ".$$$"; }

// Whether a table file (with its write-ahead log) holds anything at all.
bool HasContent(const std::filesystem::path& table) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal"}) {
    const auto size = std::filesystem::file_size(table.string() + suffix, ec);
    if (!ec && size > 0) return true;
  }
  return false;
}

// Creates, writes, syncs and removes a file in `dir`: a folder that is read-only or full
// fails here, before any Document depends on it.
void ProbeWritable(const std::filesystem::path& dir) {
  const std::filesystem::path probe = dir / (".probe-" + std::to_string(getpid()));
  const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error(std::strerror(errno));
  // About what a new working table with its log takes.
  std::string block(64 * 1024, '\0');
  int err = 0;
  for (int i = 0; i < 4 && !err; ++i) {
    std::size_t done = 0;
    while (done < block.size()) {
      const ssize_t n = write(fd, block.data() + done, block.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        err = errno;
        break;
      }
      done += static_cast<std::size_t>(n);
    }
  }
  if (!err && fsync(fd) != 0) err = errno;
  close(fd);
  unlink(probe.c_str());
  if (err) throw std::runtime_error(std::strerror(err));
}

}  // namespace

std::filesystem::path StateDirectoryPath() {
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".local" / "state";
  } else {
    base = std::filesystem::temp_directory_path();
  }
  return base / "qx-editor";
}

std::filesystem::path StateDirectory() {
  const std::filesystem::path dir = StateDirectoryPath();
  std::filesystem::create_directories(dir);
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace);
  return dir;
}

WorkingTableSlot::WorkingTableSlot(int fd, int index, std::filesystem::path table_path)
    : lock_fd_(fd), index_(index), table_path_(std::move(table_path)) {}

WorkingTableSlot::WorkingTableSlot(WorkingTableSlot&& other) noexcept
    : lock_fd_(std::exchange(other.lock_fd_, -1)),
      index_(other.index_),
      table_path_(std::move(other.table_path_)),
      leftover_(other.leftover_),
      damaged_kept_as_(std::move(other.damaged_kept_as_)),
      salvaged_rows_(other.salvaged_rows_),
      private_dir_(std::exchange(other.private_dir_, {})) {}

WorkingTableSlot& WorkingTableSlot::operator=(WorkingTableSlot&& other) noexcept {
  if (this != &other) {
    if (lock_fd_ >= 0) close(lock_fd_);
    lock_fd_ = std::exchange(other.lock_fd_, -1);
    index_ = other.index_;
    table_path_ = std::move(other.table_path_);
    leftover_ = other.leftover_;
    damaged_kept_as_ = std::move(other.damaged_kept_as_);
    salvaged_rows_ = other.salvaged_rows_;
    RemovePrivateDir();
    private_dir_ = std::exchange(other.private_dir_, {});
  }
  return *this;
}

WorkingTableSlot::~WorkingTableSlot() {
  if (lock_fd_ >= 0) close(lock_fd_);
  RemovePrivateDir();
}

void WorkingTableSlot::RemovePrivateDir() {
  if (private_dir_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(private_dir_, ec);
  private_dir_.clear();
}

WorkingTableSlot WorkingTableSlot::Acquire(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  ProbeWritable(dir);
  std::optional<WorkingTableSlot> first_free;
  for (int i = 1; i <= kMaxSlots; ++i) {
    const std::string name = SlotName(i);
    const std::filesystem::path table = dir / name;
    // Only a slot holding a table can improve on a free slot already found.
    if (first_free && !HasContent(table)) continue;
    const std::filesystem::path lock = dir / (name + ".lock");
    const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
      throw std::runtime_error("cannot use " + lock.string() + ": " + std::strerror(errno));
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int err = errno;
      close(fd);
      if (err == EWOULDBLOCK) continue;  // another running editor owns this slot
      throw std::runtime_error("cannot lock " + lock.string() + ": " + std::strerror(err));
    }
    WorkingTableSlot slot(fd, i, table);
    if (HasContent(table)) {
      slot.TakeLeftover();
      if (slot.leftover_ || !slot.damaged_kept_as_.empty()) return slot;
    }
    if (!first_free) first_free.emplace(std::move(slot));
  }
  if (first_free) return std::move(*first_free);
  throw std::runtime_error("too many editors are running");
}

void WorkingTableSlot::TakeLeftover() {
  SqliteRowStore store;
  try {
    if (SqliteRowStore::IsWorkingTable(table_path_)) {
      leftover_ = !store.Open(table_path_).empty();
      store.Close();
      return;
    }
  } catch (const TableError&) {
    store.Close();
  }
  // Unreadable: the file is kept under a name of its own, with its log, and what can
  // still be read goes into a fresh table in the slot.
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  std::filesystem::path kept = table_path_.string() + ".damaged-" + stamp;
  for (int n = 2; std::filesystem::exists(kept); ++n)
    kept = table_path_.string() + ".damaged-" + stamp + "-" + std::to_string(n);
  std::error_code ec;
  std::filesystem::rename(table_path_, kept, ec);
  if (ec) throw std::runtime_error("cannot keep " + table_path_.string() + ": " + ec.message());
  for (const char* suffix : {"-wal", "-shm"}) {
    const std::filesystem::path side = table_path_.string() + suffix;
    if (std::filesystem::exists(side, ec)) std::filesystem::rename(side, kept.string() + suffix, ec);
  }
  damaged_kept_as_ = kept;
  const SqliteRowStore::Salvaged salvaged = SqliteRowStore::Salvage(kept);
  if (salvaged.rows.empty()) return;
  store.Create(table_path_);
  store.BeginBatch();
  for (const RowValues& row : salvaged.rows) store.Insert(row, std::nullopt);
  store.WriteSession(salvaged.session);
  store.CommitBatch();
  store.Close();
  salvaged_rows_ = static_cast<int>(salvaged.rows.size());
  leftover_ = true;
}

SlotChoice AcquireSlot(const std::filesystem::path& state_dir,
                       const std::filesystem::path& fallback_base) {
  std::string problem;
  try {
    std::filesystem::create_directories(state_dir);
    std::filesystem::permissions(state_dir, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    return {WorkingTableSlot::Acquire(state_dir), {}};
  } catch (const std::exception& e) {
    problem = e.what();
  }
  // A private folder of this run: nobody else's table is in it, and nothing in it is
  // offered again after a crash.
  std::string pattern = (fallback_base / "qx-editor-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot make a working folder in " + fallback_base.string() + ": " +
                             std::strerror(errno));
  SlotChoice choice{WorkingTableSlot::Acquire(pattern), problem};
  choice.slot.private_dir_ = pattern;
  return choice;
}

}  // namespace qx
