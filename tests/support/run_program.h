// Runs a program of the build for end-to-end tests, with its own working
// directory, environment additions and standard input, capturing its output.
#ifndef KX_TESTS_SUPPORT_RUN_PROGRAM_H_
#define KX_TESTS_SUPPORT_RUN_PROGRAM_H_

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/files.h"

struct ProgramRun {
  bool started = false;
  std::string failure;  ///< why the program could not be started
  int exit_code = -1;
  std::string output;  ///< standard output and standard error, as written
};

struct ProgramOptions {
  std::string working_directory;
  std::map<std::string, std::string> environment;  ///< added to the test's own
  std::string input;        ///< standard input; ignored when close_input is set
  bool close_input = false; ///< standard input at end of file from the start
  int user_id = -1;         ///< POSIX: run as this user (and group), when set
  /// When set: standard input is a pipe that stays empty this long (the
  /// program waits at its first question), then gets `input` and closes.
  unsigned input_delay_ms = 0;
  /// When set: the program runs as a terminal runs a job, in a process group
  /// of its own (Windows: in this program's console, which sends Ctrl+C to
  /// every process attached to it), and this is called with the program's
  /// process id while it runs. It must return in bounded time: the program is
  /// reaped only afterwards.
  std::function<void(int process_id)> while_running;
};

/// What reaches a program from outside: Ctrl+C at its terminal (POSIX: SIGINT
/// to its process group; Windows: Ctrl+C to the console, this program taking
/// it as handled), a terminal that hangs up (SIGHUP to the group), a request
/// to end sent to the program alone (SIGTERM). Windows has only the first.
enum class Interrupt { kKeyboard, kHangUp, kTerminate };

/// Whether SendInterrupt can work here: always on POSIX; on Windows only with
/// a console (Wine makes one only when it runs on a terminal).
bool CanSendInterrupts();

/// Sends `interrupt` to a program started with while_running (`process_id` as
/// it was given). False when it could not be sent.
bool SendInterrupt(int process_id, Interrupt interrupt);

/// POSIX: an unprivileged user the tests may run the program as.
constexpr int kUnprivilegedUser = 65534;

/// Whether this test program may run the program under test as another user:
/// POSIX as root, when others can reach and run the build's programs; never on
/// Windows.
bool CanRunAsAnotherUser();

/// Makes `user` the owner (and group) of `path` (POSIX; nothing on Windows).
void GiveToUser(const std::string& path, int user);

/// Runs `program` with `args` and waits for it.
ProgramRun RunProgramAndWait(const std::string& program, const std::vector<std::string>& args,
                             const ProgramOptions& options);

/// The log the program under test writes when its system drive is
/// `scratch_drive` (POSIX: through SystemDrive; Windows: the fixed C: log).
std::string ProgramLogPath(const std::string& scratch_drive);

/// Environment for the program under test so that its log and temporary
/// directory stay inside `scratch` (POSIX; Windows keeps its own).
std::map<std::string, std::string> ScratchEnvironment(const std::string& scratch);

/// How the program under test sees `path` as its own first argument
/// (Windows: a drive path such as Z:\work\...).
std::string ProgramPathAsSeen(const std::string& path);

/// Keeps an existing file open in a process other than the program under test
/// until the object goes: on Windows this one, with no sharing, so that no
/// other process can open or delete it; on POSIX a sleeping helper process,
/// as a running flash tool keeps its lock.
class ExclusiveFileHold {
 public:
  explicit ExclusiveFileHold(const std::string& path);
  ~ExclusiveFileHold();
  ExclusiveFileHold(const ExclusiveFileHold&) = delete;
  ExclusiveFileHold& operator=(const ExclusiveFileHold&) = delete;
  bool held() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
  int helper_ = -1;  ///< POSIX: the helper's process id
};

#endif  // KX_TESTS_SUPPORT_RUN_PROGRAM_H_
