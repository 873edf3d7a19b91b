// The serial-number dialog, SerialNumberDialog, as a model: the operator chooses the type of a
// series and its first and last value; the dialog checks them and hands the series to the
// main window, which inserts the serial placeholder into the line being edited or changes
// the series of a Segment that already has one. Created once and reused; every showing
// fills it anew from the current Segment.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "editing/insertions.h"
#include "editing/ui.h"

namespace qx {

// What the dialog reads from and hands to the main window.
struct SerialDialogHost {
  // XuLei, XuFirst and XuEnd of the current Segment (GBK).
  std::function<SerialSeries()> current;
  // Inserts the placeholder (`insert`) or changes the series; false when the line would
  // no longer fit (the main window has said so), and the dialog stays open.
  std::function<bool(const SerialSeries&, bool insert)> commit;
  // "放弃返回": the Segment is stored, the series stays as it was.
  std::function<void()> give_up;
};

class SerialNumberDialog {
 public:
  static constexpr int kResultDone = 1;    // inserted or changed
  static constexpr int kResultReturn = 2;  // "放弃返回"
  static constexpr int kResultClosed = 3;  // the close box

  // Positions of the type selector.
  static constexpr int kCapitals = 0;
  static constexpr int kSmall = 1;
  static constexpr int kPadded = 2;
  static constexpr int kDecimal = 3;

  enum class Case { kAsTyped, kUpper, kLower };
  enum class Field { kFirst, kLast };

  static constexpr std::string_view kCaption = "序号录入";
  static constexpr std::string_view kInsertCaption = "插入序号";
  static constexpr std::string_view kChangeCaption = "修改序号";
  static constexpr std::string_view kReturnCaption = "放弃返回";
  static constexpr std::string_view kTypeLabel = "序号类型:";
  static constexpr std::string_view kFirstLabel = "起始序号:";
  static constexpr std::string_view kLastLabel = "终止序号:";
  // The type selector's entries (UTF-8), in selector order; stored in XuLei as GBK.
  static constexpr std::array<std::string_view, 4> kTypes = {"大写字母", "小写字母", "序号000-999",
                                                             "序号0-999"};

  SerialNumberDialog(Ui& ui, SerialDialogHost host) : ui_(ui), host_(std::move(host)) {}

  void OnActivated();
  void OnTypeChosen(int index);
  // The text of a value editor after an edit (UTF-8): letters take the forced case, and an
  // edit that would pass the maximum length is not made.
  void OnFirstEdited(std::string_view text);
  void OnLastEdited(std::string_view text);
  void OnInsertOrChangeButton();
  void OnReturnButton();
  void OnCloseBox() { result_ = kResultClosed; }

  // --- What the dialog shows -----------------------------------------------------------
  int type_index() const { return type_; }
  const std::string& first_text() const { return first_; }  // UTF-8
  const std::string& last_text() const { return last_; }
  int max_length() const { return max_length_; }  // characters, both editors
  Case letter_case() const { return case_; }
  std::string_view yes_caption() const { return insert_ ? kInsertCaption : kChangeCaption; }
  bool inserting() const { return insert_; }
  Field focus() const { return focus_; }
  int result() const { return result_; }
  void ResetResult() { result_ = 0; }

  // Character places of the placeholder for a number series whose larger value is `m`.
  static int NumberWidth(int m) { return m <= 9 ? 1 : m <= 99 ? 2 : 3; }

 private:
  void SetType(int index);
  std::string Edited(const std::string& current, std::string_view text) const;
  bool CheckNumber(std::string& field, Field which, bool first, int& value);
  bool CheckLetter(std::string& field, Field which);

  Ui& ui_;
  SerialDialogHost host_;
  int type_ = kDecimal;
  std::string first_, last_;
  int max_length_ = 3;
  Case case_ = Case::kAsTyped;
  bool insert_ = true;
  Field focus_ = Field::kFirst;
  int result_ = 0;
};

}  // namespace qx
