// libFuzzer target for opening document files (*.kel) the way the editor opens them.
//
// The bytes are a document file. Opening it must give a Document or a TableError, never
// anything else; and a Document that opens must export, save, and open again from what
// was saved with the same Segments and settings. This reaches past the table reader: the
// column checks of the document table, the loader and the writer.
//
// Build and run: see the lines at the end of this file.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "document/document_file.h"
#include "document/memory_store.h"
#include "document/native_export.h"

namespace {

// A folder of this process, removed at exit; its files are rewritten for every input.
const std::filesystem::path& Dir() {
  static const std::filesystem::path* dir = [] {
    const char* shm = "/dev/shm";
    std::string tmpl = (std::filesystem::exists(shm) ? std::filesystem::path(shm)
                                                     : std::filesystem::temp_directory_path()) /
                       "qx-document-fuzz-XXXXXX";
    if (!mkdtemp(tmpl.data())) std::abort();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(Dir(), ec);
    });
    return new std::filesystem::path(tmpl);
  }();
  return *dir;
}

// Texts are written blank when empty and read back as null: the two are the same value.
bool SameValue(const qx::FieldValue& a, const qx::FieldValue& b) {
  auto blank = [](const qx::FieldValue& v) {
    const auto* s = std::get_if<std::string>(&v);
    return std::holds_alternative<std::monostate>(v) || (s && s->empty());
  };
  if (blank(a) || blank(b)) return blank(a) && blank(b);
  return a == b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path in = Dir() / "in.kel", out = Dir() / "out.kel";
  if (std::FILE* f = std::fopen(in.c_str(), "wb")) {
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
  } else {
    std::abort();
  }

  qx::DocumentState doc(std::make_unique<qx::MemoryRowStore>());
  doc.table.Bind("working table");
  try {
    if (!qx::ReadDocumentFile(in, doc.table, doc.settings)) return 0;
  } catch (const qx::TableError&) {
    return 0;
  }
  qx::ReadDocumentSettings(doc.settings, doc.file_state);
  qx::DropTrailingEmptySegments(doc.table);
  const qx::NativeFile file = qx::BuildNativeFile(doc.table, doc.settings);
  const std::vector<uint8_t>& native = file.bytes;
  if (file.ok() != !native.empty()) std::abort();
  if (file.ok() && (native.size() < 42 || native[36] == 0 || native[36] > qx::kMaxExportedSegments))
    std::abort();
  qx::WriteDocumentFile(doc.table, doc.settings, out, qx::DocumentRows::kAll);

  qx::DocumentState again(std::make_unique<qx::MemoryRowStore>());
  again.table.Bind("working table");
  if (!qx::ReadDocumentFile(out, again.table, again.settings)) std::abort();
  if (again.table.RowCount() != doc.table.RowCount()) std::abort();
  for (int r = 0; r < doc.table.RowCount(); ++r)
    for (int c = 0; c <= qx::kSerialLastColumn; ++c)
      if (!SameValue(doc.table.ValueAt(r, c), again.table.ValueAt(r, c))) std::abort();
  const qx::DocumentSettings& s = doc.settings;
  const qx::DocumentSettings& t = again.settings;
  if (s.material_index != t.material_index || s.cut_index != t.cut_index || s.alignment_index != t.alignment_index || s.spacing_index != t.spacing_index)
    std::abort();
  return 0;
}

// Build: scripts/fuzz builds it (CMake with -DQX_FUZZ=ON, see fuzz/CMakeLists.txt), seeds and
// runs it.
// Seed corpus and run (corpus folder outside the repository):
//   build-fuzz/document_fuzz -max_total_time=300 -max_len=70000 CORPUS tests/fixtures/paradox/kel
//   data/Sample
