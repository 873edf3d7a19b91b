// A document file of Segments "S1", "S2", ... written straight as its table: a long document
// built row by row through the editor would take long.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/document_file.h"
#include "document/gbk.h"
#include "document/paradox.h"

namespace qx::testing {

inline std::filesystem::path WriteNumberedDocument(const std::filesystem::path& file,
                                                   int segments) {
  std::vector<RowValues> rows;
  rows.reserve(static_cast<std::size_t>(segments) + 1);
  for (int n = 1; n <= segments; ++n) {
    RowValues r{};
    r[kNumberColumn] = int64_t{n};
    r[kUpperLineColumn] = "S" + std::to_string(n);
    r[kLengthColumn] = int64_t{25};
    r[kSizeColumn] = gbk::Encode("4 号");
    r[kOrientationColumn] = gbk::Encode("横向");
    r[kDecorationColumn] = gbk::Encode("取消修饰");
    r[kRepeatColumn] = int64_t{1};
    r[kSerialTypeColumn] = gbk::Encode("无序号");
    rows.push_back(std::move(r));
  }
  rows.push_back(DocumentSettingsRow(DocumentSettings{}));
  std::string error;
  EXPECT_TRUE(paradox::WriteDocumentTable(file, rows, &error)) << error;
  return file;
}

}  // namespace qx::testing
