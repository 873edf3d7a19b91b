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
#include <string>

namespace qx {

// The per-user state folder of the program, created (mode 0700) if missing.
std::filesystem::path StateDirectory();
// Its path, without creating it.
std::filesystem::path StateDirectoryPath();

struct SlotChoice;
class WorkingTableSlot;
SlotChoice AcquireSlot(const std::filesystem::path& state_dir,
                       const std::filesystem::path& fallback_base);

class WorkingTableSlot {
 public:
  static constexpr int kMaxSlots = 32;

  // Takes a free slot in `dir`: one holding a table left by an earlier run when there is
  // one (the lowest), else the first free one. Throws std::runtime_error when the folder
  // cannot be used (not writable, full) or every slot is taken.
  //
  // A left table that cannot be read whole is never thrown away: it is kept beside the
  // slot under a new name (damaged_kept_as), and the rows that can still be read are put
  // into a fresh table in the slot (salvaged_rows), to be offered like any other.
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
  // The left table was damaged: where it was kept, and how many rows were read back.
  const std::filesystem::path& damaged_kept_as() const { return damaged_kept_as_; }
  int salvaged_rows() const { return salvaged_rows_; }

 private:
  WorkingTableSlot(int fd, int index, std::filesystem::path table_path);
  void TakeLeftover();
  void RemovePrivateDir();

  friend SlotChoice AcquireSlot(const std::filesystem::path&, const std::filesystem::path&);

  int lock_fd_ = -1;
  int index_ = 0;
  // A private folder made for this run only, removed with the slot.
  std::filesystem::path private_dir_;
  std::filesystem::path table_path_;
  bool leftover_ = false;
  std::filesystem::path damaged_kept_as_;
  int salvaged_rows_ = 0;
};

// The slot of this run: in `state_dir` when that folder can be used, else in a private
// folder made under `fallback_base` (a table there is not found again after a crash; the
// folder goes with the slot when the program ends normally).
// `problem` says why the state folder was not used; empty when it was.
struct SlotChoice {
  WorkingTableSlot slot;
  std::string problem;
};
SlotChoice AcquireSlot(const std::filesystem::path& state_dir,
                       const std::filesystem::path& fallback_base);

}  // namespace qx
