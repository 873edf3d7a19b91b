// The main window's title: the document file's name (or "未命名" for a Document without a
// file), "*" while it has changes not saved, then the program's caption.
#pragma once

#include <string>

#include "document/document.h"

namespace qx {

std::string WindowTitle(const DocumentFileState& file_state);

}  // namespace qx
