// What the window's selectors and serial fields show: their entries and the entry or text
// the Document gives them. Read by the editing parts and by the view.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "document/document.h"
#include "editing/controls.h"

namespace qx {

// The entries of a selector (UTF-8), in order; empty for other controls.
std::span<const std::string_view> SelectorItems(Control c);
// The entry a selector shows for the Document (-1: its text is none of the entries).
int SelectorIndex(const DocumentState& doc, Control c);
// The text a selector or serial field shows for the Document (UTF-8).
std::string SelectorText(const DocumentState& doc, Control c);

}  // namespace qx
