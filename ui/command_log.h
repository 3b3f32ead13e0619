// What the command runner does, as the log and the console show it.
#ifndef KX_UI_COMMAND_LOG_H_
#define KX_UI_COMMAND_LOG_H_

#include <string>

#include "platform/command_runner.h"
#include "ui/user_interface.h"

/// The runner's report for a run: every command line goes to the log before its
/// child starts ("<command>\n"), a refused argument to the log in its place, and
/// an interrupt during a write to the console and the log.
class CommandLog final : public CommandReport {
 public:
  /// `ui` must outlive this object.
  explicit CommandLog(UserInterface& ui) : ui_(ui) {}

  void Starting(const std::string& command_text) override;
  void QuoteRefused(const std::string& argument) override;
  void InterruptDuringWrite() override;

 private:
  UserInterface& ui_;
};

#endif  // KX_UI_COMMAND_LOG_H_
