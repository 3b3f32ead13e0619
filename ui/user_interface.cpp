#include "ui/user_interface.h"

#include <cerrno>
#include <vector>

#include "platform/os.h"

std::string FormatText(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  int length = vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return std::string();
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<size_t>(length));
}

std::string FormatString(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  return text;
}

UserInterface::UserInterface(const std::string& log_path, int width, int height, FILE* console,
                             FILE* input)
    : log_path_(log_path.substr(0, 259)), console_(console), input_(input) {
  if (console_ == stdout) os::SizeConsole(width, height);
}

UserInterface::~UserInterface() {
  if (log_) fclose(log_);
}

void UserInterface::SetModes(bool silent, bool debug, bool assume_defaults) {
  silent_ = silent;
  debug_ = debug;
  assume_defaults_ = assume_defaults;
}

bool UserInterface::OpenLog() {
  if (log_) return true;
  // Opened only through a path that no one else controls; otherwise this
  // message is dropped from the log, and the next one tries again.
  log_ = os::OpenLogForAppend(log_path_, false);
  if (log_) return true;
  unsigned long error = static_cast<unsigned long>(errno);
  Trace("UserInterface::Write(): fopen() %s failed %lu\n", log_path_.c_str(), error);
  return false;
}

void UserInterface::WriteLog(const std::string& text) {
  if (!OpenLog()) return;
  fwrite(text.data(), 1, text.size(), log_);
  fflush(log_);
}

void UserInterface::WriteText(const std::string& text) { WriteLog(text); }

void UserInterface::DisplayText(const std::string& text) {
  if (silent_) return;
  fwrite(text.data(), 1, text.size(), console_);
  fflush(console_);
}

void UserInterface::Write(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  WriteLog(text);
}

void UserInterface::Display(const char* format, ...) {
  if (silent_) return;
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  DisplayText(text);
}

void UserInterface::Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  Print(text);
}

void UserInterface::Print(const std::string& text) {
  DisplayText(text);
  WriteLog(text);
}

void UserInterface::Trace(const char* format, ...) {
  if (silent_ || !debug_ || !log_) return;
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  fwrite(text.data(), 1, text.size(), log_);
  fflush(log_);
}

void ShowOnce(OnceMessage& once, UserInterface& ui, const char* format, ...) {
  if (once.shown) return;
  once.shown = true;
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  if (text.size() > 255) text.resize(255);
  if (once.channel == OnceMessage::kPrint) {
    ui.Print(text);
  } else if (once.channel == OnceMessage::kDisplay) {
    ui.DisplayText(text);
  } else {
    ui.WriteText(text);
  }
}
