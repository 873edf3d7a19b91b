// A Ui that records what the window shows and answers questions from a script.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/ui.h"

namespace qx::testing {

class ScriptedUi : public Ui {
 public:
  struct Shown {
    std::string text, caption;
  };
  std::vector<Shown> messages;
  std::deque<bool> answers;  // for Ask, first button = true; asking with none left fails
  std::deque<Answer> yes_no;  // for AskYesNo
  std::deque<std::optional<std::filesystem::path>> files;  // for the file dialogs
  std::vector<std::string> questions;
  std::vector<FileDialog> dialogs;
  std::vector<std::filesystem::path> opened;
  int beeps = 0;
  int serial_dialogs = 0;

  void Message(std::string_view text, std::string_view caption) override {
    messages.push_back({std::string(text), std::string(caption)});
  }
  bool Ask(std::string_view text, std::string_view, std::string_view, std::string_view) override {
    questions.emplace_back(text);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return false;
    }
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  Answer AskYesNo(std::string_view text, std::string_view, bool with_cancel) override {
    questions.emplace_back(text);
    if (yes_no.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return with_cancel ? Answer::kCancel : Answer::kNo;
    }
    const Answer a = yes_no.front();
    yes_no.pop_front();
    return a;
  }
  std::optional<std::filesystem::path> OpenFile(const FileDialog& d) override { return NextFile(d); }
  std::optional<std::filesystem::path> SaveFile(const FileDialog& d) override { return NextFile(d); }
  std::optional<std::filesystem::path> NextFile(const FileDialog& d) {
    dialogs.push_back(d);
    if (files.empty()) {
      ADD_FAILURE() << "unexpected file dialog: " << d.filter;
      return std::nullopt;
    }
    auto f = files.front();
    files.pop_front();
    return f;
  }
  void Beep() override { ++beeps; }
  void OpenWithDesktop(const std::filesystem::path& f) override { opened.push_back(f); }
  void ShowSerialDialog() override { ++serial_dialogs; }

  // The texts shown since the last call, then forgotten.
  std::vector<std::string> Take() {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.text);
    messages.clear();
    return out;
  }
};

}  // namespace qx::testing
