// The exit codes and closing messages the modes share. The same number means
// different things in different modes (docs/exit-codes.md), so each mode has
// names of its own.
#ifndef KX_APP_EXIT_CODES_H_
#define KX_APP_EXIT_CODES_H_

/// Any mode: the run was refused at start-up, the command line was invalid
/// (usage shown), the mode ended with an unexpected error, or -v did no work.
constexpr int kExitNotRun = 0;

/// The update pass (no mode option, -s, -y) and its check-only form (-n).
namespace update_exit {
constexpr int kFailed = 0;           ///< discovery failed, or a flash failed
constexpr int kFlashed = 2;          ///< at least one flashed, none failed
constexpr int kNothingFlashed = 3;   ///< cancelled, or nothing selected
constexpr int kRecommended = 4;      ///< -n: some adapter is older
constexpr int kAllCurrent = 5;       ///< -n: every adapter has the package's version
constexpr int kNewerInstalled = 6;   ///< -n: none older, some newer
}  // namespace update_exit

/// -c.
namespace show_installed_exit {
constexpr int kShown = 0;               ///< the table was shown
constexpr int kNoSupportedAdapter = 2;  ///< none found, or discovery failed
}  // namespace show_installed_exit

/// -d <file>. Discovery that finds no supported adapter is a failure here too.
namespace report_exit {
constexpr int kFailed = 0;
constexpr int kWritten = 1;
}  // namespace report_exit

/// -u <file> (a successful run ends with the update pass's codes).
namespace update_from_report_exit {
constexpr int kFailed = 0;
constexpr int kNoImage = 3;
}  // namespace update_from_report_exit

/// -ql.
namespace version_only_exit {
constexpr int kCreated = 0;
constexpr int kMissing = 1;
constexpr int kNoSupportedAdapter = 4;
}  // namespace version_only_exit

/// The closing message of a run that found no adapter to work on.
inline constexpr char kNoSupportedAdapters[] =
    "No supported network adapters for firmware upgrade.\n";

#endif  // KX_APP_EXIT_CODES_H_
