// Document files (*.kel): the Segment rows followed by one settings row that carries the
// document settings as the texts of their selectors.
#pragma once

#include <filesystem>
#include <memory>

#include "document/document.h"
#include "document/paradox.h"

namespace qx {

// A table bound to a document file, read and written through its own engine.
std::unique_ptr<SegmentTable> MakeDocumentFileTable(const std::filesystem::path& file);

// Which rows of the working table go into the file.
enum class DocumentRows {
  kAll,              // every row, numbers as they are (saving)
  kWithUpperLine,    // only rows with an upper line, renumbered 1..n (giving a Document up)
  // Every row but the empty Segments at the end (at least one row), numbered by place:
  // saving from the rows as they are when the working table cannot be written to drop
  // those Segments and number the rows first.
  kAsSavedWithoutTidying,
};

// Writes the working table and the settings row to `file` (WriteFileAtomically). The file
// is replaced only once it is completely written; on failure (TableError, or its
// FileWriteError when the file itself could not be written, or its TooManySegmentsError
// for more than kMaxSegments Segments) the old file is intact. The working table's
// current row and edit state are left as they were.
void WriteDocumentFile(SegmentTable& working, const DocumentSettings& settings,
                       const std::filesystem::path& file, DocumentRows rows);

// The settings row a document file ends with: Num 0, the texts of the settings'
// selectors in the columns that carry them, the rest null.
RowValues DocumentSettingsRow(const DocumentSettings& settings);

// The largest document file there is (see paradox::kMaxDocumentFileBytes): a larger file
// is refused by its size, before any of it is read.
inline constexpr std::uintmax_t kMaxDocumentFileBytes = paradox::kMaxDocumentFileBytes;

// A document file holding more Segments than a Document can (kMaxSegments), refused
// before any of them is read into a table.
class TooManySegmentsError : public TableError {
 public:
  TooManySegmentsError(const std::filesystem::path& file, int segments);
  int segments() const { return segments_; }

 private:
  int segments_;
};

// Reads the document file into `working`, which is created anew at its bound path, and
// applies the settings row to `settings` (a text that matches no item keeps the new
// Document's choice; the face name is taken as it is). Returns false, leaving `working`
// untouched, when the file holds no rows at all. Throws TableError when the file is not a
// document file, is damaged or is larger than kMaxDocumentFileBytes, and its
// TooManySegmentsError when it holds more than kMaxSegments Segments; `working` is
// untouched then too.
bool ReadDocumentFile(const std::filesystem::path& file, SegmentTable& working,
                      DocumentSettings& settings);

// The two halves of reading, for a caller that fills a table of its own: checks the whole
// file and applies its settings row to `settings` as ReadDocumentFile does, returning its
// row count (0: no rows at all; `settings` untouched); throws as ReadDocumentFile.
int CheckDocumentFile(const std::filesystem::path& file, DocumentSettings& settings);
// Adds the Segments of a file CheckDocumentFile counted `rows` in to the end of `into`, in
// one batch; a table still empty after them gets the one default Segment. Throws
// TableError when the file no longer reads.
void AppendDocumentSegments(const std::filesystem::path& file, int rows, SegmentTable& into);

}  // namespace qx
