// Insertions into the line being edited: superscript and subscript prefixes, the serial
// placeholder with its series (what the serial-number dialog hands over) and symbols (what
// the symbol picker hands over). The dialogs themselves are shown by the window.
#pragma once

#include <string>
#include <string_view>

#include "editing/editing_context.h"

namespace qx {

class LineEditors;

// A serial series as the serial-number dialog hands it over.
struct SerialSeries {
  std::string type;   // GBK, as stored in the serial type column
  std::string first;  // GBK, the first value as stored
  std::string last;   // GBK, the last value as stored
  int width = 0;      // character places the placeholder stands for, 1..3
};

class Insertions {
 public:
  Insertions(EditingContext& ctx, LineEditors& lines) : ctx_(ctx), lines_(lines) {}

  // A superscript or subscript prefix at the caret of the upper line.
  void OnSuperscriptButton() { InsertMark(true); }
  void OnSubscriptButton() { InsertMark(false); }

  // Around the serial-number dialog: its button takes the focus (the line editor is left
  // and keeps its caret); afterwards the line that was active gets it back.
  void BeforeSerialDialog();
  void AfterSerialDialog();
  // The series of the current Segment, as stored (GBK).
  SerialSeries CurrentSeries() const;
  // Inserts the placeholder at the caret of the active line (`insert`) or changes the
  // series of the current Segment; false when the line would no longer fit (said so).
  bool CommitSeries(const SerialSeries& s, bool insert);
  // "放弃返回": the Segment is stored, the series stays as it was.
  void GiveUpSeries() { ctx_.doc.table.Store(); }

  // Around the symbol picker: the caret of the active line is put back afterwards.
  void BeforeSymbolPicker() { ctx_.doc.table.Edit(); }
  void AfterSymbolPicker();
  // Inserts a symbol (two GBK bytes) at the caret of the active line, if the line still fits.
  void InsertSymbol(std::string_view symbol);

 private:
  void InsertMark(bool superscript);
  // The active line's caret where it was when the line was left.
  void RestoreActiveCaret();
  bool HasLowerLine() const { return !ctx_.editor(Control::LowerLine).text.empty(); }

  EditingContext& ctx_;
  LineEditors& lines_;
};

}  // namespace qx
