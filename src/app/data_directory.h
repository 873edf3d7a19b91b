// Where the program's own files are (help pages, sample documents, the font table):
// beside the program in a build tree, in ../share/qx-editor in an installed tree.
#pragma once

#include <filesystem>

namespace qx {

std::filesystem::path DataDirectory(const std::filesystem::path& program_dir);

}  // namespace qx
