// What the benchmarks share: a folder for the files they write.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace qx::bench {

// A folder of this process for the files the benchmarks write, removed at exit.
inline std::filesystem::path BenchDir() {
  struct Dir {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("qx-bench-" + std::to_string(::getpid()));
    Dir() { std::filesystem::create_directories(path); }
    ~Dir() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  };
  static const Dir dir;
  return dir.path;
}

}  // namespace qx::bench
