// Helpers for the end-to-end tests around the simulated flash tool: its
// environment, the calls file it writes, NIC list bodies for its scenarios,
// and the texts the utility writes to the console and the log.
#ifndef KX_TESTS_SUPPORT_SCENARIO_H_
#define KX_TESTS_SUPPORT_SCENARIO_H_

#include <cstddef>
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

#endif  // KX_TESTS_SUPPORT_SCENARIO_H_
