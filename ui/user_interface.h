// The program's single output object: console and log channels, the run
// switches (silent, debug, assume defaults) and the one-time messages.
#ifndef KX_UI_USER_INTERFACE_H_
#define KX_UI_USER_INTERFACE_H_

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#if defined(__GNUC__)
#define KX_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KX_PRINTF_FORMAT(fmt, args)
#endif

/// Prepares the log: creates "<drive>\zpxsystem" and "<drive>\zpxsystem\log"
/// (failures ignored), makes sure the file exists by opening it for appending,
/// and returns its path (at most 259 characters).
std::string PrepareLogFile();

/// The console and log output of one run. Every write is flushed at once; the
/// log is opened on first use in append mode and never truncated.
class UserInterface {
 public:
  /// `console` receives console output (standard output in the program) and
  /// `input` answers prompts (standard input). The console window is sized to
  /// `width` x `height` when console output is a real console.
  UserInterface(const std::string& log_path, int width, int height, FILE* console = stdout,
                FILE* input = stdin);
  ~UserInterface();
  UserInterface(const UserInterface&) = delete;
  UserInterface& operator=(const UserInterface&) = delete;

  /// Stores the three run switches unchanged.
  void SetModes(bool silent, bool debug, bool assume_defaults);
  bool silent() const { return silent_; }
  bool debug() const { return debug_; }
  bool assume_defaults() const { return assume_defaults_; }

  /// Log only. When the log cannot be opened the message is lost for the log
  /// (and the open is tried again next time).
  void Write(const char* format, ...) KX_PRINTF_FORMAT(2, 3);
  /// Console only; nothing when silent.
  void Display(const char* format, ...) KX_PRINTF_FORMAT(2, 3);
  /// Console (unless silent), then the log.
  void Print(const char* format, ...) KX_PRINTF_FORMAT(2, 3);
  /// A ready text, written verbatim to the console (unless silent) and the log.
  void Print(const std::string& text);
  void Print(const std::ostringstream& text) { Print(text.str()); }
  /// Log only, when debugging and not silent, and only once the log is open.
  void Trace(const char* format, ...) KX_PRINTF_FORMAT(2, 3);

  /// Verbatim forms of the channels, for text that must never be a format.
  void WriteText(const std::string& text);
  void DisplayText(const std::string& text);

  const std::string& log_path() const { return log_path_; }
  FILE* input() const { return input_; }

 private:
  bool OpenLog();
  void WriteLog(const std::string& text);

  std::string log_path_;
  bool silent_ = false;
  bool debug_ = false;
  bool assume_defaults_ = false;
  FILE* log_ = nullptr;
  FILE* console_;
  FILE* input_;
};

/// Formats printf-style arguments into a string.
std::string FormatText(const char* format, va_list args) KX_PRINTF_FORMAT(1, 0);
std::string FormatString(const char* format, ...) KX_PRINTF_FORMAT(1, 2);

/// A message that a component shows at most once per run.
struct OnceMessage {
  static constexpr int32_t kDisplay = 0;
  static constexpr int32_t kPrint = 2;
  bool shown = false;
  int32_t channel = kPrint;  ///< 0 Display, 2 Print, anything else Write.
};

/// Shows the message through the record's channel the first time only; the
/// text is cut to 255 characters.
void ShowOnce(OnceMessage& once, UserInterface& ui, const char* format, ...)
    KX_PRINTF_FORMAT(3, 4);

#endif  // KX_UI_USER_INTERFACE_H_
