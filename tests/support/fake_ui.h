// A UserInterface for tests: records every message and answers Yes/No questions from a queue.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "regions/user_interface.h"

namespace quillmap::testing {

struct RecordedMessage {
  std::string text;
  MessageButtons buttons;
  MessageIcon icon;
  int busy_depth;  // the busy pointer's depth while the message showed
};

class FakeUi : public UserInterface {
 public:
  ~FakeUi() override {
    EXPECT_TRUE(answers.empty()) << "unused answers left in the queue";
    EXPECT_EQ(busy_depth, 0) << "busy pointer left on";
  }

  MessageAnswer ShowMessage(const std::string& text, MessageButtons buttons,
                            MessageIcon icon) override {
    messages.push_back({text, buttons, icon, busy_depth});
    if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
    if (answers.empty()) {
      ADD_FAILURE() << "no answer queued for: " << text;
      return MessageAnswer::kNo;
    }
    MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void SetBusy(bool busy) override { busy_depth += busy ? 1 : -1; }
  void ShowHelp() override { ++help_calls; }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : messages) texts.push_back(m.text);
    return texts;
  }

  std::vector<RecordedMessage> messages;
  std::deque<MessageAnswer> answers;
  int busy_depth = 0;
  int help_calls = 0;
};

}  // namespace quillmap::testing
