#include "platform/command_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Words = std::vector<std::string>;

std::string Joined(const Words& arguments) {
  std::string text;
  for (const std::string& argument : arguments) {
    text += (text.empty() ? "" : " ") + QuoteArgument(argument);
  }
  return text;
}

TEST(CommandTextTest, QuotesOnlyArgumentsWithBlanksTabsOrQuotes) {
  struct Case {
    const char* argument;
    const char* expected;
  } cases[] = {
      {"p3p_rom.bin", "p3p_rom.bin"},
      {"", ""},
      {"5:0.0", "5:0.0"},
      {"C:\\fw\\rom.bin", "C:\\fw\\rom.bin"},
      {"trailing\\", "trailing\\"},
      {"fw reports/r.xml", "\"fw reports/r.xml\""},
      {"a\tb", "\"a\tb\""},
      {" ", "\" \""},
      {"C:\\fw reports\\r.xml", "\"C:\\fw reports\\r.xml\""},
      {"C:\\fw reports\\", "\"C:\\fw reports\\\\\""},
      {"a b\\\\", "\"a b\\\\\\\\\""},
      {"a\"b", "\"a\\\"b\""},
      {"a\\\"b c", "\"a\\\\\\\"b c\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    EXPECT_EQ(QuoteArgument(c.argument), c.expected);
  }
}

// The examples of the Windows C runtime's documentation, and the texts the
// utility wrote before arguments were ever quoted.
TEST(CommandTextTest, SplitsAsTheWindowsRuntimeDoes) {
  struct Case {
    const char* text;
    Words expected;
  } cases[] = {
      {R"("a b c" d e)", {"a b c", "d", "e"}},
      {R"("ab\"c" "\\" d)", {"ab\"c", "\\", "d"}},
      {R"(a\\\b d"e f"g h)", {"a\\\\\\b", "de fg", "h"}},
      {R"(a\\\"b c d)", {"a\\\"b", "c", "d"}},
      {R"(a\\\\"b c" d e)", {"a\\\\b c", "d", "e"}},
      {R"(a"b"" c d)", {"ab\" c d"}},
      {R"("" x)", {"", "x"}},
      {"  lead \t trail  ", {"lead", "trail"}},
      {"", {}},
      {"zadiroz -flashsupport -d  tempNicList.xml -p3",
       {"zadiroz", "-flashsupport", "-d", "tempNicList.xml", "-p3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SplitCommandText(c.text), c.expected);
  }
}

TEST(CommandTextTest, SplittingGivesTheQuotedArgumentsBack) {
  const Words cases[] = {
      {"zadiroz", "-flashsupport", "-d", "p3p_rom.bin", "/srv/fw reports/r.xml", "-p3"},
      {"C:\\fw reports\\", "next"},
      {"a\\\\", "b c\\", "\\\\server\\share\\fw dir\\r.xml"},
      {"tab\there", "\t", "  two  blanks  "},
      {"q\"uote", "two \"\" quotes", "\\\"", "end\\\""},
  };
  for (const Words& arguments : cases) {
    SCOPED_TRACE(Joined(arguments));
    EXPECT_EQ(SplitCommandText(Joined(arguments)), arguments);
  }
}

}  // namespace
