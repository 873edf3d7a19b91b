// The Document and the state around it: working values of the decoded Segment, the
// document settings with their codes, the state of the open document file, and the
// routines that start a Document and decode its rows.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "document/table.h"

namespace qx {

// The most Segments a Document holds. Everything that adds Segments stops here: the
// import and the paste of lines (they cut the list and say so), the append and insert
// buttons, reading and writing document files, and the command line.
inline constexpr int kMaxSegments = 65535;

// Working values of the Segment decoded last.
struct SegmentValues {
  int32_t LengthDots = 0;  // editing: the length limit; printing: the calibrated length
  int32_t RepeatCount = 0;
  uint8_t SizeCode = 0;
  uint8_t Vertical = 0;
  uint8_t DecorationCode = 0;
  uint8_t SerialType = 0;
  uint8_t SerialWidth = 0;  // characters the serial placeholder stands for: 0, or 1..3
  uint16_t SerialFirst = 0;
  uint16_t SerialLast = 0;
  uint8_t RowNumber = 0;  // 1-based row position, low 8 bits; set by the printing decode
};

// Dots per 10 mm of feed the printer reports at the start of a job, one factor for label
// tapes and one for tubes. The defaults are the nominal 11 dots per mm used for editing.
struct Calibration {
  uint8_t LabelCalibration = 110;
  uint8_t TubeCalibration = 110;
};

// Items of the document-settings selectors (UTF-8, as shown), index 0 first.
std::span<const std::string_view> MaterialItems();   // "贴纸 6mm" .. "热缩管"
std::span<const std::string_view> CutItems();        // "全无", "半切", "分隔线"
std::span<const std::string_view> AlignItems();      // "居中", "左齐"
std::span<const std::string_view> SpacingItems();    // "1" .. "20"
std::span<const std::string_view> DensityItems();    // "1" .. "7"

inline constexpr uint8_t kFirstTubeMaterial = 4;  // materials 1..3 are labels, 4..7 tubes
inline bool IsLabelMaterial(uint8_t material_code) { return material_code < kFirstTubeMaterial; }

// The document settings as the main window's selectors hold them: selected indexes, the
// font face, the bold switch and the bold style of the line editors' font.
struct DocumentSettings {
  int material_index = 4;
  int cut_index = 1;
  int alignment_index = 0;
  int spacing_index = 3;
  int density_index = 3;                   // density, not part of a Document
  std::string font_face = "黑体";    // font face (UTF-8)
  bool bold = false;            // the bold switch
  bool editor_bold = false;     // the line editors' font style
};

// The font items print in: the document's face in the line editors' style, bold exactly
// when the line editors show the text bold. A new Document clears that style while the
// bold switch keeps its state, so the switch alone does not say how a Document prints.
// The print job, the Segment preview and qxlabel all draw with it.
struct PrintFont {
  std::string face;
  bool bold = false;
  bool operator==(const PrintFont&) const = default;
};
PrintFont PrintFontOf(const DocumentSettings& s);

// The codes of the document settings the layout reads, and the state of the open
// document file and of editing it.
struct DocumentFileState {
  uint8_t MaterialCode = 5;
  uint8_t CutCode = 1;
  uint8_t CharSpacing = 4;
  uint8_t AlignCode = 0;
  bool DocModified = false;
  bool HasFile = false;
  bool UserEditing = false;
  bool DocBusy = false;
  uint8_t ActiveLine = 0;  // 0 upper, 1 lower line editor
  int32_t SavedCaret = 0;
  bool SkipNextEnter = false;
  std::filesystem::path TempPath;  // the working table file
  std::filesystem::path DocPath;   // the document file; empty for a new Document
};

// The one Document of the running program and the state that goes with it.
struct DocumentState {
  explicit DocumentState(std::unique_ptr<RowStore> store) : table(std::move(store)) {}
  SegmentTable table;
  DocumentFileState file_state;
  SegmentValues values;
  DocumentSettings settings;
  Calibration calibration;
};

// The editing decode of the current row: puts it into edit mode and fills `v` with its
// length limit, repeat count, codes and serial range.
void ReloadWorkingValues(SegmentTable& t, SegmentValues& v);

// The printing decode of the current row as it stands (no edit mode): row number, the
// length in dots by the printer's calibration for the material, and the rest as above.
void DecodePrintValues(const SegmentTable& t, uint8_t material_code, const Calibration& cal,
                       SegmentValues& v);

// The session facts the working table keeps beside the rows, so that a run that did not
// end can be restored whole: the document settings, the document file and whether the
// Document had changed since it was last saved.
SessionValues SessionOf(const DocumentState& doc);
// Takes the facts back into `doc` (settings, DocPath, HasFile, DocModified). Facts that are
// missing or out of range keep what `doc` has. The codes are not read here: call
// ReadDocumentSettings after it.
void RestoreSession(const SessionValues& values, DocumentState& doc);

// Copies the selected indexes of the settings selectors into their codes.
void ReadDocumentSettings(const DocumentSettings& s, DocumentFileState& p);

// Starts an empty Document in the working table file `temp_path` (created anew,
// replacing any file there) holding one new, unstored Segment with the default values.
void NewDocument(DocumentState& doc, const std::filesystem::path& temp_path);
// The same in the open working table, whose rows are deleted instead: its observer (the
// undo history) hears of every row given up, so that they can be put back.
void NewDocumentInOpenTable(DocumentState& doc);

// Deletes every row of the open table, last first, as one durable step; the views hear
// of it once.
void DeleteAllRows(SegmentTable& t);

// Gives the current (new) row the values of the first Segment of a new Document.
void FillNewSegment(SegmentTable& t);

// Stores the current row with its 1-based position as its number.
void StoreNumbered(SegmentTable& t);

// Moves to the row at 1-based `position`, or the nearest row there is.
void GoToPosition(SegmentTable& t, int position);

// Numbers the current row and every row after it with their positions, as one change of
// the table and one durable step, and leaves the table at its end.
void RenumberToEnd(SegmentTable& t);

// The length in dots a Segment of `length_mm` mm prints at with `factor` dots per 10 mm,
// rounded toward zero (0 for automatic length).
int32_t PrintLengthDots(int64_t length_mm, int factor);

}  // namespace qx
