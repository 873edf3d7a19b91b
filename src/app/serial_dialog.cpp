#include "app/serial_dialog.h"

#include <algorithm>
#include <charconv>

#include "document/gbk.h"
#include "document/segment.h"
#include "editing/messages.h"

namespace qx {
namespace {

// The selector position of a stored XuLei text; -1 for "无序号" and anything else.
int TypeIndexOf(std::string_view xulei_gbk) {
  for (std::size_t i = 0; i < SerialNumberDialog::kTypes.size(); ++i)
    if (gbk::Encode(SerialNumberDialog::kTypes[i]) == xulei_gbk) return static_cast<int>(i);
  return -1;
}

// A whole number as the value editors take it: an optional sign, then digits.
bool ReadInteger(std::string_view text, int& value) {
  std::size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  if (i == text.size()) return false;
  for (std::size_t k = i; k < text.size(); ++k)
    if (text[k] < '0' || text[k] > '9') return false;
  long v = 0;
  std::from_chars(text.data() + i, text.data() + text.size(), v);
  value = static_cast<int>(text[0] == '-' ? -v : v);
  return true;
}

}  // namespace

void SerialNumberDialog::OnActivated() {
  result_ = 0;
  const SerialSeries s = host_.current ? host_.current() : SerialSeries{};
  const int index = TypeIndexOf(s.type);
  insert_ = index < 0;
  if (insert_) {
    first_.clear();
    last_.clear();
    SetType(kDecimal);
  } else {
    first_ = gbk::ToUtf8(s.first);
    last_ = gbk::ToUtf8(s.last);
    SetType(index);
  }
  focus_ = Field::kFirst;
}

void SerialNumberDialog::SetType(int index) {
  type_ = std::clamp(index, 0, static_cast<int>(kTypes.size()) - 1);
  const bool letters = type_ == kCapitals || type_ == kSmall;
  max_length_ = letters ? 1 : 3;
  // The number types leave the editors' letter case as it was.
  if (type_ == kCapitals) case_ = Case::kUpper;
  if (type_ == kSmall) case_ = Case::kLower;
}

void SerialNumberDialog::OnTypeChosen(int index) {
  // The texts already entered stay; only the editors' rules change.
  SetType(index);
  focus_ = Field::kFirst;
}

std::string SerialNumberDialog::Edited(const std::string& current, std::string_view text) const {
  // An edit that takes the text past the maximum length does not happen; a text that is
  // already longer (the type changed) may still shrink.
  const auto count = [](std::string_view t) {
    int n = 0;
    for (std::size_t pos = 0, len = 0; pos < t.size(); pos += len, ++n)
      gbk::DecodeUtf8(t, pos, len);
    return n;
  };
  const int n = count(text);
  if (n > max_length_ && n >= count(current)) return current;
  std::string out(text);
  for (char& ch : out) {
    if (case_ == Case::kUpper && ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    if (case_ == Case::kLower && ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return out;
}

void SerialNumberDialog::OnFirstEdited(std::string_view text) {
  first_ = Edited(first_, text);
}
void SerialNumberDialog::OnLastEdited(std::string_view text) {
  last_ = Edited(last_, text);
}

bool SerialNumberDialog::CheckNumber(std::string& field, Field which, bool first, int& value) {
  focus_ = which;
  if (field.empty()) {
    ui_.Message(first ? msg::kSerialEnterFirst : msg::kSerialEnterLast, msg::kError);
    return false;
  }
  if (!ReadInteger(field, value)) {
    ui_.Message(msg::kSerialEnterNumber, msg::kError);
    field.clear();
    return false;
  }
  if (value < 0 || value > 999) {
    ui_.Message(msg::kSerialRange, msg::kError);
    return false;
  }
  // A plus sign is not kept: the stored value is read as digits only.
  if (field[0] == '+') field = std::to_string(value);
  return true;
}

bool SerialNumberDialog::CheckLetter(std::string& field, Field which) {
  focus_ = which;
  const char lo = type_ == kCapitals ? 'A' : 'a';
  if (field.empty() || field[0] < lo || field[0] > lo + 25) {
    ui_.Message(type_ == kCapitals ? msg::kSerialEnterCapital : msg::kSerialEnterSmall,
                msg::kError);
    field.clear();
    return false;
  }
  return true;
}

void SerialNumberDialog::OnInsertOrChangeButton() {
  SerialSeries s;
  if (type_ == kPadded || type_ == kDecimal) {
    int a = 0, b = 0;
    if (!CheckNumber(first_, Field::kFirst, true, a)) return;
    if (!CheckNumber(last_, Field::kLast, false, b)) return;
    // No order is required between the two values.
    s.width = NumberWidth(std::max(a, b));
  } else {
    if (!CheckLetter(first_, Field::kFirst)) return;
    if (!CheckLetter(last_, Field::kLast)) return;
    s.width = 1;
  }
  focus_ = Field::kFirst;
  s.type = gbk::Encode(kTypes[static_cast<std::size_t>(type_)]);
  // The editors hold at most three characters; what GBK cannot hold is left out.
  s.first = gbk::FromUtf8(first_).gbk;
  s.last = gbk::FromUtf8(last_).gbk;
  if (host_.commit && !host_.commit(s, insert_)) return;
  result_ = kResultDone;
}

void SerialNumberDialog::OnReturnButton() {
  if (host_.give_up) host_.give_up();
  result_ = kResultReturn;
}

}  // namespace qx
