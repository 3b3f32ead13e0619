// Helpers for the end-to-end tests around the simulated flash tool: its
// environment, the calls file it writes, NIC list bodies for its scenarios,
// and the texts the utility writes to the console and the log.
#ifndef KX_TESTS_SUPPORT_E2E_HELPERS_H_
#define KX_TESTS_SUPPORT_E2E_HELPERS_H_

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <map>
#include <string>
#include <vector>

inline constexpr char kChecking[] = "Checking for any other instance of RozAdo tool!\n";
inline constexpr char kWaiting[] =
    "The Firmware upgrade will take several minutes. Please be patient.\n";
inline constexpr char kCancelled[] = "\nFirmware upgrade cancelled by User \n";
inline constexpr char kComplete[] = "\nNIC firmware update complete.\n";
inline constexpr char kNothing[] = "\nNo firmware is selected for update.\n";
inline constexpr char kRecommended[] = "\nNIC firmware update is recommended.\n";

/// The environment that points the flash tool at its scenario, calls file and
/// state file, each as the program under test sees the path.
std::map<std::string, std::string> ToolEnvironment(const std::string& scenario,
                                                   const std::string& calls,
                                                   const std::string& state);

/// The lines of a file (the flash tool's calls, one per line); empty when the
/// file cannot be read.
std::vector<std::string> ReadLines(const std::string& path);

/// The names of the entries of a directory, sorted.
std::vector<std::string> DirectoryNames(const std::string& directory);

/// `text` as UTF-16 LE with the byte order mark FF FE, written as hex digits
/// (a scenario's body_hex). Each byte of `text` becomes one code unit.
std::string Utf16Hex(const std::string& text);

/// The whole log of one run that reaches its mode: the instance check, the
/// banner, `echo` (the command line lines), the begin stamp, `middle`, the end
/// stamp and the exit code, in the platform's line ends.
std::string RunLog(const std::string& echo, const std::string& middle, int exit_code);

/// How often `part` occurs in `text`, overlapping occurrences included.
size_t Count(const std::string& text, const std::string& part);

/// Whether `text` ends with `end`.
bool EndsWith(const std::string& text, const std::string& end);

/// `text` as a test name: its words joined, each starting with a capital, and
/// anything but letters and digits left out ("tool fails, no file" gives
/// "ToolFailsNoFile").
std::string TestNameOf(const std::string& text);

/// Names each test of a table-driven TEST_P after its case's `name`, so that
/// CTest names the failing row and one row can be run alone.
struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return TestNameOf(info.param.name);
  }
};

/// Prints a case as its name in GoogleTest's messages (instead of its bytes).
template <class Case>
void PrintCaseName(const Case& c, std::ostream* out) {
  *out << c.name;
}

#endif  // KX_TESTS_SUPPORT_E2E_HELPERS_H_
