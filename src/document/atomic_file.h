// Writing a whole file so that it is either completely there or not changed at all.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace qx {

// Writes `bytes` to a temporary file in the target's folder, flushes it to disk and
// renames it over `path`. On failure the old file is untouched, the temporary file is
// removed, and `error` says why.
bool WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         std::string* error);

}  // namespace qx
