#include "printer_app/job_document.h"

#include <exception>
#include <system_error>

#include "device/print_job.h"
#include "document/document_file.h"

namespace qx::papp {

JobDocumentRead ReadJobDocument(const std::filesystem::path& file, DocumentState& doc,
                                std::string& detail) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec || size == 0) {
    detail = ec ? ec.message() : "empty file";
    return JobDocumentRead::kDamaged;
  }
  if (size > kMaxDocumentFileBytes) {
    detail = std::to_string(size) + " bytes";
    return JobDocumentRead::kTooLarge;
  }
  try {
    if (!ReadDocumentFile(file, doc.table, doc.settings)) return JobDocumentRead::kNothingToPrint;
  } catch (const std::exception& e) {
    detail = e.what();
    return JobDocumentRead::kDamaged;
  }
  ReadDocumentSettings(doc.settings, doc.file_state);
  if (!TidyForPrint(doc.table)) return JobDocumentRead::kNothingToPrint;
  return JobDocumentRead::kOk;
}

}  // namespace qx::papp
