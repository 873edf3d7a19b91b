// The words for what happened to an imported row, as the import window lists them.
#pragma once

#include <string_view>

#include "document/excel_import.h"
#include "editing/messages.h"

namespace qx {

inline std::string_view RowNoteText(RowNote note) {
  switch (note) {
    case RowNote::kUpperCut: return msg::kRowUpperCut;
    case RowNote::kLowerCut: return msg::kRowLowerCut;
    case RowNote::kReplaced: return msg::kRowReplaced;
    case RowNote::kMarked: return msg::kRowMarked;
    case RowNote::kSkipped: return msg::kRowSkipped;
    case RowNote::kEndedList: return msg::kRowEndedList;
    case RowNote::kTooManyRows: return msg::kRowTooManyRows;
  }
  return {};
}

}  // namespace qx
