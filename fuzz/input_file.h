// A file of the fuzz target's own for each input, made once and removed at exit: for the
// readers that take a path, not bytes.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace qx::fuzz {

// The file, named after `name` ("picture": qx-picture-fuzz-XXXXXX in the temporary folder).
inline const std::filesystem::path& InputFile(const char* name) {
  static const std::filesystem::path* file = [name] {
    std::string tmpl =
        (std::filesystem::temp_directory_path() / ("qx-" + std::string(name) + "-fuzz-XXXXXX")).string();
    const int fd = mkstemp(tmpl.data());
    if (fd < 0) std::abort();
    close(fd);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove(*file, ec);
    });
    return new std::filesystem::path(tmpl);
  }();
  return *file;
}

// Writes `size` bytes at `data` into the file, replacing what it held.
inline void WriteInput(const std::filesystem::path& file, const uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (!f || (size && std::fwrite(data, 1, size, f) != size)) std::abort();
  std::fclose(f);
}

}  // namespace qx::fuzz
