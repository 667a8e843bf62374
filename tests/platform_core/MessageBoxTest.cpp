#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "platform/MessageBox.h"

namespace {

using namespace platform;

class MessageBoxes : public ::testing::Test {
 protected:
  void TearDown() override { SetMessageBoxSink({}); }
};

TEST_F(MessageBoxes, WithoutASinkQuestionsAreDeclinedAndTextGoesToStandardError) {
  SetMessageBoxSink({});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ShowMessageBox("Out of memory", "Tovix", kMbOk | kMbIconError), kIdOk);
  EXPECT_EQ(ShowMessageBox("Start the test?", "Tovix", kMbOkCancel | kMbIconQuestion), kIdCancel);
  EXPECT_EQ(ShowMessageBox("Replace?", "Tovix", kMbYesNo | kMbIconWarning), kIdNo);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Tovix: Out of memory\nTovix: Start the test?\nTovix: Replace?\n");
}

TEST_F(MessageBoxes, SinkReceivesEverythingAndCanBeReplaced) {
  std::string seen;
  unsigned seenFlags = 0;
  const auto first = [&](std::string_view text, std::string_view caption, unsigned flags) {
    seen = std::string(caption) + "|" + std::string(text);
    seenFlags = flags;
    return static_cast<int>(kIdYes);
  };
  EXPECT_FALSE(SetMessageBoxSink(first));
  EXPECT_EQ(ShowMessageBox("t", "c", kMbYesNo | kMbIconQuestion), kIdYes);
  EXPECT_EQ(seen, "c|t");
  EXPECT_EQ(seenFlags, kMbYesNo | kMbIconQuestion);

  const MessageBoxSink previous = SetMessageBoxSink([](std::string_view, std::string_view, unsigned) {
    throw std::runtime_error("window gone");
    return 0;
  });
  ASSERT_TRUE(previous);
  EXPECT_EQ(previous("x", "y", 0), kIdYes);  // the old sink is handed back intact
  // A throwing sink is contained and gives the answer that changes nothing.
  EXPECT_EQ(ShowMessageBox("t", "c", kMbOkCancel), kIdCancel);
  EXPECT_EQ(ShowMessageBox("t", "c", kMbOk), kIdOk);
}

TEST_F(MessageBoxes, SinkMayReplaceItselfWhileShowing) {
  int calls = 0;
  SetMessageBoxSink([&](std::string_view, std::string_view, unsigned) {
    ++calls;
    SetMessageBoxSink([&](std::string_view, std::string_view, unsigned) { return static_cast<int>(kIdNo); });
    return static_cast<int>(kIdOk);
  });
  EXPECT_EQ(ShowMessageBox("a", "b"), kIdOk);
  EXPECT_EQ(ShowMessageBox("a", "b", kMbYesNo), kIdNo);
  EXPECT_EQ(calls, 1);
}

}  // namespace
