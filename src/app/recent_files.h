// The list of recently used files the 文件 menu offers: document files opened or saved and
// workbooks imported, most recent first, each once, at most eight. The list is kept in a
// small text file (one UTF-8 path a line) so that it survives the run; files that no
// longer exist are left out when it is read.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qx {

class RecentFiles {
 public:
  static constexpr std::size_t kMaxEntries = 8;

  // Where the list is kept; an empty path keeps it for this run only. Reads the list
  // there (entries whose files are gone are dropped).
  void SetStorage(std::filesystem::path file);
  const std::vector<std::filesystem::path>& entries() const { return entries_; }
  // `file` becomes the first entry (moved up when it is already listed).
  void Add(const std::filesystem::path& file);
  void Remove(const std::filesystem::path& file);
  // Drops the entries whose files are gone; true when any was dropped.
  bool DropMissing();

 private:
  void Save() const;

  std::filesystem::path storage_;
  std::vector<std::filesystem::path> entries_;
};

// The per-user file of the recent-files list: $XDG_CONFIG_HOME/qx-editor/recent-files
// (~/.config/qx-editor/recent-files).
std::filesystem::path RecentFilesPath();

}  // namespace qx
