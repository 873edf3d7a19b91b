// A document file as a print job brings it from the network: checked by its size before a
// byte is read, read as the editor reads it, and tidied for print.
#pragma once

#include <filesystem>
#include <string>

#include "document/document.h"

namespace qx::papp {

enum class JobDocumentRead {
  kOk,
  kTooLarge,     // larger than any document file can be
  kDamaged,      // empty, or not a document file (`detail` says why)
  kNothingToPrint,
};

// Reads `file` into `doc` (bound to a table already). kOk leaves it ready for JobOf.
JobDocumentRead ReadJobDocument(const std::filesystem::path& file, DocumentState& doc,
                                std::string& detail);

}  // namespace qx::papp
