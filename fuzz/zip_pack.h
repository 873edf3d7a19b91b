// Packing parts into a zip for the fuzz targets: stored (not deflated), so that a mutated
// part reaches the XML readers instead of stopping at the zip layer.
#pragma once

#include <zip.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qx::fuzz {

// A zip holding each (name, content) part in order; empty when libzip fails.
inline std::vector<unsigned char> PackStored(
    const std::vector<std::pair<std::string_view, std::string_view>>& parts) {
  std::vector<unsigned char> out;
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* buf = zip_source_buffer_create(nullptr, 0, 0, &ze);
  if (!buf) return out;
  zip_source_keep(buf);
  zip_t* z = zip_open_from_source(buf, ZIP_TRUNCATE, &ze);
  if (z) {
    for (const auto& [name, content] : parts) {
      zip_source_t* s = zip_source_buffer(z, content.data(), content.size(), 0);
      const zip_int64_t idx = s ? zip_file_add(z, std::string(name).c_str(), s, ZIP_FL_OVERWRITE) : -1;
      if (idx < 0) {
        if (s) zip_source_free(s);
        continue;
      }
      zip_set_file_compression(z, static_cast<zip_uint64_t>(idx), ZIP_CM_STORE, 0);
    }
    if (zip_close(z) < 0) zip_discard(z);
    if (zip_source_open(buf) == 0) {
      zip_source_seek(buf, 0, SEEK_END);
      const zip_int64_t size = zip_source_tell(buf);
      zip_source_seek(buf, 0, SEEK_SET);
      if (size > 0) {
        out.resize(static_cast<std::size_t>(size));
        if (zip_source_read(buf, out.data(), out.size()) != size) out.clear();
      }
      zip_source_close(buf);
    }
  }
  zip_source_free(buf);
  zip_error_fini(&ze);
  return out;
}

}  // namespace qx::fuzz
