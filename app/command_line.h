// The command line: options into RunFlags and the report file name, the table
// of options that may be combined, and the usage text.
#ifndef KX_APP_COMMAND_LINE_H_
#define KX_APP_COMMAND_LINE_H_

#include <string>

#include "ui/run_flags.h"

class UserInterface;

/// Longest file name accepted after -d, -u or -v (it must fit a 260-character
/// buffer with its terminator).
constexpr size_t kMaxReportPath = 259;

/// Reads argv[1..argc-1] in order, setting option bits in `flags` and storing
/// the file name of -d, -u or -v in `report_path` (when not null; a later one
/// replaces an earlier one). Options match ignoring letter case; a leading "/"
/// of an option is rewritten to "-" in argv itself. False for a help request
/// ("-h", "?", "-help"), an unknown argument, a missing file name or one longer
/// than kMaxReportPath; the parse stops there and bits set by earlier arguments
/// stay set.
bool ParseCommandLine(int argc, char** argv, RunFlags& flags, std::string* report_path);

/// One row of the compatibility table: an option bit and, for each row of the
/// table in order, whether the two options may be given together.
struct OptionRow {
  uint32_t bit;
  bool allow[12];
};

/// The option bits 0x2 to 0x1000 in ascending order; symmetric, and every row
/// allows itself. Debug (0x1) is not listed: it combines with anything.
extern const OptionRow OptionCompatibility[12];

/// True when no two option bits set in `flags` are forbidden together.
bool ValidateOptions(const RunFlags& flags);

/// The program name shown in the usage text: `program_path` after its last path
/// separator, cut at its last ".". Empty for a null path.
std::string UsageName(const char* program_path);

/// Prints the usage text through `ui.Print` (console unless silent, and the log).
void ShowUsage(UserInterface& ui, const char* program_path);

#endif  // KX_APP_COMMAND_LINE_H_
