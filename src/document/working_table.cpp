#include "document/working_table.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "document/sqlite_store.h"

namespace qx {

std::filesystem::path StateDirectory() {
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".local" / "state";
  } else {
    base = std::filesystem::temp_directory_path();
  }
  const std::filesystem::path dir = base / "qx-editor";
  std::filesystem::create_directories(dir);
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace);
  return dir;
}

WorkingTableSlot::WorkingTableSlot(int fd, int index, std::filesystem::path table_path,
                                   bool leftover)
    : lock_fd_(fd), index_(index), table_path_(std::move(table_path)), leftover_(leftover) {}

WorkingTableSlot::WorkingTableSlot(WorkingTableSlot&& other) noexcept
    : lock_fd_(std::exchange(other.lock_fd_, -1)),
      index_(other.index_),
      table_path_(std::move(other.table_path_)),
      leftover_(other.leftover_) {}

WorkingTableSlot& WorkingTableSlot::operator=(WorkingTableSlot&& other) noexcept {
  if (this != &other) {
    if (lock_fd_ >= 0) close(lock_fd_);
    lock_fd_ = std::exchange(other.lock_fd_, -1);
    index_ = other.index_;
    table_path_ = std::move(other.table_path_);
    leftover_ = other.leftover_;
  }
  return *this;
}

WorkingTableSlot::~WorkingTableSlot() {
  if (lock_fd_ >= 0) close(lock_fd_);
}

WorkingTableSlot WorkingTableSlot::Acquire(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  for (int i = 1; i <= kMaxSlots; ++i) {
    const std::string name = i == 1 ? "TL.$$$" : "TL-" + std::to_string(i) + ".$$$";
    const std::filesystem::path table = dir / name;
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
    return WorkingTableSlot(fd, i, table, SqliteRowStore::StoredRowCount(table) > 0);
  }
  throw std::runtime_error("too many editors are running");
}

}  // namespace qx
