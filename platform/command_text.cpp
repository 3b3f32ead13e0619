#include "platform/command_text.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string QuoteArgument(const std::string& argument) {
  if (argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only before a quote: there each one is doubled, and
    // the quote itself gets one more.
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    quoted += c;
    backslashes = 0;
  }
  // The closing quote follows: the trailing backslashes are doubled too.
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

std::vector<std::string> SplitCommandText(const std::string& text) {
  std::vector<std::string> arguments;
  std::string current;
  bool in_argument = false;
  bool quoted = false;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\\') {
      size_t backslashes = 0;
      while (i < text.size() && text[i] == '\\') {
        ++backslashes;
        ++i;
      }
      const bool before_quote = i < text.size() && text[i] == '"';
      current.append(before_quote ? backslashes / 2 : backslashes, '\\');
      if (before_quote && backslashes % 2 == 1) {
        current += '"';
        ++i;
      }
      in_argument = true;
      continue;
    }
    if (c == '"') {
      in_argument = true;
      if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
        current += '"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    if (IsBlank(c) && !quoted) {
      if (in_argument) arguments.push_back(current);
      current.clear();
      in_argument = false;
      ++i;
      continue;
    }
    current += c;
    in_argument = true;
    ++i;
  }
  if (in_argument) arguments.push_back(current);
  return arguments;
}
