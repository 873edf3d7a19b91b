#include "app/recent_files.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "document/atomic_file.h"

namespace qx {
namespace {

// One spelling per file, so that the same file reached by two paths is listed once.
std::filesystem::path Canonical(const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::weakly_canonical(file, ec);
  if (ec) p = std::filesystem::absolute(file, ec).lexically_normal();
  return p.empty() ? file : p;
}

bool Exists(const std::filesystem::path& file) {
  std::error_code ec;
  return std::filesystem::is_regular_file(file, ec);
}

}  // namespace

void RecentFiles::SetStorage(std::filesystem::path file) {
  storage_ = std::move(file);
  entries_.clear();
  if (storage_.empty()) return;
  std::ifstream in(storage_);
  std::string line;
  while (std::getline(in, line) && entries_.size() < kMaxEntries) {
    if (line.empty()) continue;
    const std::filesystem::path p = Canonical(line);
    if (!Exists(p) || std::find(entries_.begin(), entries_.end(), p) != entries_.end()) continue;
    entries_.push_back(p);
  }
}

void RecentFiles::Add(const std::filesystem::path& file) {
  const std::filesystem::path p = Canonical(file);
  std::erase(entries_, p);
  entries_.insert(entries_.begin(), p);
  if (entries_.size() > kMaxEntries) entries_.resize(kMaxEntries);
  Save();
}

void RecentFiles::Remove(const std::filesystem::path& file) {
  if (std::erase(entries_, Canonical(file)) > 0) Save();
}

bool RecentFiles::DropMissing() {
  if (std::erase_if(entries_, [](const auto& p) { return !Exists(p); }) == 0) return false;
  Save();
  return true;
}

void RecentFiles::Save() const {
  if (storage_.empty()) return;
  std::string text;
  for (const auto& p : entries_) text += p.string() + "\n";
  std::error_code ec;
  std::filesystem::create_directories(storage_.parent_path(), ec);
  std::string error;
  // The list is a convenience: a folder that cannot be written only costs the list.
  WriteFileAtomically(storage_, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                      &error);
}

std::filesystem::path RecentFilesPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path base;
  if (config && *config == '/') {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".config";
  } else {
    return {};
  }
  return base / "qx-editor" / "recent-files";
}

}  // namespace qx
