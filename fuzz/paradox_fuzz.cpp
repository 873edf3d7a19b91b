// libFuzzer target for the Paradox table reader (document files and any other table).
//
// The bytes are a table file as they are. Whatever they hold, the reader must return a
// table or an error; a table it returns must be consistent with its own header.
//
// Build and run: see the lines at the end of this file.
#include <cstdlib>

#include "document/paradox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  const auto table = qx::paradox::ReadBytes(std::span<const uint8_t>(data, size), &error);
  if (!table) {
    if (error.empty()) std::abort();  // every refusal has a reason
    return 0;
  }
  int record_size = 0;
  for (const auto& f : table->fields) record_size += f.size;
  if (record_size != table->record_size) std::abort();
  for (const auto& row : table->rows)
    if (row.size() != table->fields.size()) std::abort();
  return 0;
}

// Build: scripts/fuzz builds it (CMake with -DQX_FUZZ=ON, see fuzz/CMakeLists.txt), seeds and
// runs it.
// Seed corpus and run (corpus folder outside the repository):
//   build-fuzz/paradox_fuzz -max_total_time=300 -max_len=70000 -rss_limit_mb=2048 CORPUS \
//     tests/fixtures/paradox/kel tests/fixtures/paradox/bde tests/fixtures/paradox/fuzz
