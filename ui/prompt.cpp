#include "ui/prompt.h"

#include <cctype>
#include <cstdio>

namespace {

constexpr size_t kQuestionBuffer = 256;  // the question line holds at most 255 characters
constexpr int kAnswerBuffer = 80;        // at most 79 characters of a typed line per question
constexpr char kInputProblem[] = "Unknown input problem!\nQuit...\n";

bool EqualsIgnoringCase(const std::string& text, const char* word) {
  size_t i = 0;
  for (; i < text.size() && word[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(word[i]))) {
      return false;
    }
  }
  return i == text.size() && word[i] == '\0';
}

}  // namespace

int32_t AnswerFromLine(const std::string& line, int32_t empty) {
  if (line.empty()) return empty;
  switch (std::tolower(static_cast<unsigned char>(line[0]))) {
    case 'c':
      return EqualsIgnoringCase(line, "c") ? kAnswerContinue : kAnswerNo;
    case 'q':
      return EqualsIgnoringCase(line, "q") || EqualsIgnoringCase(line, "quit") ? kAnswerQuit
                                                                               : kAnswerNo;
    case 'y':
      return EqualsIgnoringCase(line, "y") || EqualsIgnoringCase(line, "yes") ? kAnswerYes
                                                                              : kAnswerNo;
    default:
      return kAnswerNo;
  }
}

int32_t Prompt(UserInterface& ui, const RunFlags& flags, const std::string& question,
               int32_t silent, int32_t forced, int32_t empty, const char* label) {
  if (ui.silent()) return flags.Has(RunFlag::Force) ? forced : silent;
  if (ui.assume_defaults()) return silent;

  char text[kQuestionBuffer];
  snprintf(text, sizeof text, "%s y/n/q/c (%s):", question.c_str(), label ? label : "");
  ui.Print(std::string(text));

  char line[kAnswerBuffer];
  if (ui.input() == nullptr || fgets(line, sizeof line, ui.input()) == nullptr) {
    if (!flags.Has(RunFlag::QuietEndOfInput)) ui.Print(std::string(kInputProblem));
    return kAnswerQuit;
  }
  std::string answer(line);
  // A line ending in CR LF (an answers file written on Windows) is the same
  // line ending in LF, as a text-mode read on Windows gives it; also when the
  // CR is the last character that fits the buffer.
  if (answer.size() >= 2 && answer.compare(answer.size() - 2, 2, "\r\n") == 0) {
    answer.erase(answer.size() - 2, 1);
  } else if (!answer.empty() && answer.back() == '\r') {
    const int next = fgetc(ui.input());
    if (next == '\n') {
      answer.back() = '\n';
    } else if (next != EOF) {
      ungetc(next, ui.input());
    }
  }
  // The log shows each question followed by the answer as read.
  ui.WriteText(answer);
  if (!answer.empty() && answer.back() == '\n') answer.pop_back();
  return AnswerFromLine(answer, empty);
}
