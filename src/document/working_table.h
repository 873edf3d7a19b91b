// Where the working table file lives, and which running editor owns it.
//
// The working table is named "TL.$$$" and lives in the per-user state folder
// ($XDG_STATE_HOME/qx-editor, by default ~/.local/state/qx-editor), because the program
// folder is read-only once installed. Each running editor holds an exclusive lock on a
// slot: the first editor gets "TL.$$$", a second one running at the same time gets
// "TL-2.$$$", and so on, so no editor ever writes another one's table. The kernel drops
// the lock when a process ends, however it ends; a table file found in a slot whose lock
// was free was left behind by a run that did not end normally, and can be read back.
#pragma once

#include <filesystem>
#include <optional>

namespace qx {

// The per-user state folder of the program, created (mode 0700) if missing.
std::filesystem::path StateDirectory();

class WorkingTableSlot {
 public:
  static constexpr int kMaxSlots = 32;

  // Takes the first free slot in `dir`; throws std::runtime_error when the folder cannot
  // be used or every slot is taken.
  static WorkingTableSlot Acquire(const std::filesystem::path& dir);

  WorkingTableSlot(WorkingTableSlot&& other) noexcept;
  WorkingTableSlot& operator=(WorkingTableSlot&& other) noexcept;
  WorkingTableSlot(const WorkingTableSlot&) = delete;
  WorkingTableSlot& operator=(const WorkingTableSlot&) = delete;
  ~WorkingTableSlot();

  const std::filesystem::path& table_path() const { return table_path_; }
  int index() const { return index_; }

  // A working table of this program was in the slot when it was taken: an earlier run
  // ended without giving its Document up. Offer to restore it before starting anew.
  bool has_leftover() const { return leftover_; }

 private:
  WorkingTableSlot(int fd, int index, std::filesystem::path table_path, bool leftover);

  int lock_fd_ = -1;
  int index_ = 0;
  std::filesystem::path table_path_;
  bool leftover_ = false;
};

}  // namespace qx
