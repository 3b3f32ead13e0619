// Command texts of child processes: arguments joined at blanks and read back
// by the rules of the Windows C runtime, which the flash tool's runtime applies
// to the text it is started with. No operating-system code: both builds
// compile and test it.
#ifndef KX_PLATFORM_COMMAND_TEXT_H_
#define KX_PLATFORM_COMMAND_TEXT_H_

#include <string>
#include <vector>

/// `argument` as it goes into a command text: unchanged when it holds no
/// blank, tab or double quote (the empty argument too, which then vanishes
/// from the text); otherwise in double quotes, with every double quote in it
/// escaped and the backslashes before a quote doubled, so that
/// SplitCommandText gives `argument` back.
std::string QuoteArgument(const std::string& argument);

/// The arguments of `text`, read as the Windows C runtime reads a command
/// line: blanks and tabs outside double quotes separate arguments (several in
/// a row count as one); a double quote starts or ends a quoted part, and two
/// inside a quoted part give one literal quote; 2n backslashes before a quote
/// give n backslashes (the quote then starts or ends a part), 2n+1 give n and a
/// literal quote; any other backslash is literal. `""` is an empty argument.
/// The program name (first word) is read by the same rules here.
std::vector<std::string> SplitCommandText(const std::string& text);

#endif  // KX_PLATFORM_COMMAND_TEXT_H_
