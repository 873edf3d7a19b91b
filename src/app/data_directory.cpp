#include "app/data_directory.h"

namespace qx {

std::filesystem::path DataDirectory(const std::filesystem::path& program_dir) {
  std::error_code ec;
  if (std::filesystem::is_directory(program_dir / "help", ec)) return program_dir;
  const std::filesystem::path installed = program_dir.parent_path() / "share" / "qx-editor";
  if (std::filesystem::is_directory(installed, ec)) return installed;
  return program_dir;
}

}  // namespace qx
