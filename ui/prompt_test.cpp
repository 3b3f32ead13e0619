#include "ui/prompt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/capture.h"

namespace {

// A UserInterface whose console, log and standard input are scratch files.
class PromptTest : public CaptureTest {
 protected:
  void SetUp() override {
    CaptureTest::SetUp();
    input_ = OpenScratchFile(dir_);
    ASSERT_NE(input_, nullptr);
  }
  void TearDown() override {
    ui_.reset();
    if (input_ != nullptr) fclose(input_);
    CaptureTest::TearDown();
  }

  // Binary input, so the bytes reach fgets exactly as typed on every platform.
  UserInterface& MakeUi(const std::string& typed) {
    ui_.reset();
    fclose(input_);
    input_ = OpenScratchFile(dir_);
    fwrite(typed.data(), 1, typed.size(), input_);
    rewind(input_);
    return CaptureTest::MakeUi(input_);
  }

  FILE* input_ = nullptr;
};

TEST(AnswerFromLineTest, TypedLinesGiveAnswers) {
  struct Case {
    const char* line;
    int32_t answer;
  } cases[] = {
      {"y", kAnswerYes},
      {"Y", kAnswerYes},
      {"yes", kAnswerYes},
      {"YES", kAnswerYes},
      {"yEs", kAnswerYes},
      {"n", kAnswerNo},
      {"no", kAnswerNo},
      {"nope", kAnswerNo},
      {"q", kAnswerQuit},
      {"Q", kAnswerQuit},
      {"quit", kAnswerQuit},
      {"Quit", kAnswerQuit},
      {"c", kAnswerContinue},
      {"C", kAnswerContinue},
      // Words that merely begin with an answer letter count as no.
      {"yeah", kAnswerNo},
      {"ye", kAnswerNo},
      {"yes ", kAnswerNo},
      {" y", kAnswerNo},
      {"qu", kAnswerNo},
      {"quitt", kAnswerNo},
      {"cont", kAnswerNo},
      {"continue", kAnswerNo},
      {"x", kAnswerNo},
      {"1", kAnswerNo},
      {"y\r", kAnswerNo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(AnswerFromLine(c.line, kAnswerYes), c.answer);
  }
  EXPECT_EQ(AnswerFromLine("", kAnswerYes), kAnswerYes);
  EXPECT_EQ(AnswerFromLine("", kAnswerNo), kAnswerNo);
}

TEST_F(PromptTest, ShowsQuestionAndLogsAnswerVerbatim) {
  UserInterface& ui = MakeUi("YES\n");
  RunFlags flags;
  EXPECT_EQ(Prompt(ui, flags, "Flash 100%s? ", 1, 1, 1, "n"), kAnswerYes);
  EXPECT_EQ(Console(), "Flash 100%s?  y/n/q/c (n):");
  EXPECT_EQ(Log(), "Flash 100%s?  y/n/q/c (n):YES\n");
}

// An answers file written on Windows reads the same on every build: CR LF
// ends a line as LF does, and the log shows the line with LF.
TEST_F(PromptTest, CrLfLineEndsAreLineEnds) {
  struct Case {
    std::string typed;
    int32_t answer;
    std::string logged;
  } cases[] = {
      {"y\r\n", kAnswerYes, "y\n"},
      {"Quit\r\n", kAnswerQuit, "Quit\n"},
      {"c\r\n", kAnswerContinue, "c\n"},
      {"no\r\n", kAnswerNo, "no\n"},
      {"\r\n", kAnswerContinue, "\n"},  // the empty answer
      {std::string(78, 'x') + "\r\n", kAnswerNo, std::string(78, 'x') + "\n"},
      {"y\rq\n", kAnswerNo, "y\rq\n"},  // a CR inside a line is not a line end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const size_t logged_before = Log().size();
    UserInterface& ui = MakeUi(c.typed + "q\n");
    RunFlags flags;
    EXPECT_EQ(Prompt(ui, flags, "Q?", 0, 0, kAnswerContinue, "c"), c.answer);
    EXPECT_EQ(Prompt(ui, flags, "Next?", 0, 0, 0, "y"), kAnswerQuit);  // nothing left over
    EXPECT_EQ(Log().substr(logged_before), "Q? y/n/q/c (c):" + c.logged + "Next? y/n/q/c (y):q\n");
  }
}

TEST_F(PromptTest, EmptyLineGivesTheEmptyAnswer) {
  for (int32_t empty : {kAnswerYes, kAnswerNo}) {
    SCOPED_TRACE(empty);
    UserInterface& ui = MakeUi("\n");
    EXPECT_EQ(Prompt(ui, RunFlags(), "Q?", kAnswerQuit, kAnswerQuit, empty, "y"), empty);
  }
}

TEST_F(PromptTest, SilentAndAssumeDefaultsNeverAsk) {
  struct Case {
    bool silent, assume_defaults, force;
    int32_t answer;
  } cases[] = {
      {true, false, false, 11},  // silent answer
      {true, false, true, 22},   // forced answer under -s -f
      {false, true, false, 11},  // assume defaults: the silent answer
      {false, true, true, 11},   // -f changes nothing without -s
      {true, true, true, 22},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.silent << c.assume_defaults << c.force);
    UserInterface& ui = MakeUi("q\n");
    ui.SetModes(c.silent, false, c.assume_defaults);
    RunFlags flags;
    if (c.force) flags.Set(RunFlag::Force);
    EXPECT_EQ(Prompt(ui, flags, "Q?", 11, 22, 33, "y"), c.answer);
    EXPECT_EQ(fgetc(ui.input()), 'q');  // nothing was read
  }
  EXPECT_EQ(Console(), "");
  EXPECT_EQ(Log(), "");
}

TEST_F(PromptTest, LongLineAnswersTheNextQuestionsToo) {
  // 79 characters per question; the rest of the line stays for the next one.
  const std::string first = std::string(78, 'x') + "y";
  UserInterface& ui = MakeUi(first + "yes\nq\n");
  RunFlags flags;
  EXPECT_EQ(Prompt(ui, flags, "A?", 0, 0, 0, "y"), kAnswerNo);
  EXPECT_EQ(Prompt(ui, flags, "B?", 0, 0, 0, "y"), kAnswerYes);
  EXPECT_EQ(Prompt(ui, flags, "C?", 0, 0, 0, "y"), kAnswerQuit);
  EXPECT_EQ(Log(), "A? y/n/q/c (y):" + first + "B? y/n/q/c (y):yes\nC? y/n/q/c (y):q\n");
}

TEST_F(PromptTest, EndOfInputQuits) {
  {
    UserInterface& ui = MakeUi("");
    EXPECT_EQ(Prompt(ui, RunFlags(), "A?", 0, 0, 0, "y"), kAnswerQuit);
    EXPECT_EQ(Console(), "A? y/n/q/c (y):Unknown input problem!\nQuit...\n");
    EXPECT_EQ(Log(), "A? y/n/q/c (y):Unknown input problem!\nQuit...\n");
  }
  // A last line without its line end is still an answer; then the input ends.
  UserInterface& ui = MakeUi("c");
  RunFlags quiet;
  quiet.Set(RunFlag::QuietEndOfInput);
  EXPECT_EQ(Prompt(ui, quiet, "B?", 0, 0, 0, "y"), kAnswerContinue);
  EXPECT_EQ(Prompt(ui, quiet, "C?", 0, 0, 0, "y"), kAnswerQuit);
  EXPECT_EQ(Log(),
            "A? y/n/q/c (y):Unknown input problem!\nQuit...\nB? y/n/q/c (y):cC? y/n/q/c (y):");
}

TEST_F(PromptTest, QuestionLineIsCutTo255Characters) {
  UserInterface& ui = MakeUi("n\n");
  const std::string question(300, 'a');
  EXPECT_EQ(Prompt(ui, RunFlags(), question, 0, 0, 0, "y"), kAnswerNo);
  EXPECT_EQ(Console(), std::string(255, 'a'));
}

}  // namespace
