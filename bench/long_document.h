// A long document file for the benchmarks: Segments numbered 1..count, one item each, upper
// lines "X<n%100>:<n>", every third with a lower line, every seventh framed.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "document/document.h"
#include "document/document_file.h"
#include "document/gbk.h"
#include "document/paradox.h"

namespace qx::bench {

// Written once per count into the benchmarks' folder; the same file on later calls.
inline std::filesystem::path LongDocument(int count) {
  const std::filesystem::path file =
      BenchDir() / ("long-" + std::to_string(count) + ".kel");
  if (std::filesystem::exists(file)) return file;
  std::vector<RowValues> rows;
  rows.reserve(static_cast<std::size_t>(count) + 1);
  for (int n = 1; n <= count; ++n) {
    RowValues r{};
    r[kNumberColumn] = int64_t{n};
    r[kUpperLineColumn] = "X" + std::to_string(n % 100) + ":" + std::to_string(n);
    if (n % 3 == 0) r[kLowerLineColumn] = "W" + std::to_string(n);
    r[3] = int64_t{25};
    r[4] = gbk::Encode("2 号");
    r[5] = gbk::Encode("横向");
    r[6] = gbk::Encode(n % 7 == 0 ? "加 边 框" : "取消修饰");
    r[kRepeatColumn] = int64_t{1};
    r[8] = gbk::Encode("无序号");
    rows.push_back(r);
  }
  rows.push_back(DocumentSettingsRow(DocumentSettings{}));
  std::string error;
  if (!paradox::WriteDocumentTable(file, rows, &error)) throw std::runtime_error(error);
  return file;
}

}  // namespace qx::bench
