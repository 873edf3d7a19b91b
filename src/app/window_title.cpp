#include "app/window_title.h"

#include "editing/messages.h"

namespace qx {

std::string WindowTitle(const DocumentFileState& f) {
  std::string title = f.HasFile && !f.DocPath.empty() ? f.DocPath.filename().string()
                                                       : std::string(msg::kUntitled);
  if (f.DocModified) title += "*";
  return title + " - " + std::string(msg::kWindowCaption);
}

}  // namespace qx
