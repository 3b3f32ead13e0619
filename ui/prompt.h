// The y/n/q/c question asked about each adapter, with the silent and
// default-answer policies that answer it without asking.
#ifndef KX_UI_PROMPT_H_
#define KX_UI_PROMPT_H_

#include <cstdint>
#include <string>

#include "ui/run_flags.h"
#include "ui/user_interface.h"

/// Answer codes of a question.
constexpr int32_t kAnswerYes = 0;
constexpr int32_t kAnswerNo = 1;
constexpr int32_t kAnswerQuit = 2;
constexpr int32_t kAnswerContinue = 3;  ///< "c": leave this adapter, go on with the next

/// Asks `question` and returns an answer code. Silent: `forced` under Force,
/// else `silent`; assume defaults: `silent` (neither shows, logs or reads
/// anything). Otherwise prints "<question> y/n/q/c (<label>):" (cut to 255
/// characters), reads one line of at most 79 characters from ui.input() (the
/// rest of a longer line answers the next question), logs it verbatim and
/// returns `empty` for an empty line, else the answer it spells ("y"/"yes",
/// "q"/"quit", "c", any case); any other text is no. At end of input or on a
/// read error it returns quit, after a message unless QuietEndOfInput is set.
int32_t Prompt(UserInterface& ui, const RunFlags& flags, const std::string& question,
               int32_t silent, int32_t forced, int32_t empty, const char* label);

/// The answer code that one typed line (without its line end) stands for;
/// `empty` for an empty line.
int32_t AnswerFromLine(const std::string& line, int32_t empty);

#endif  // KX_UI_PROMPT_H_
