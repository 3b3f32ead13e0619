#include "app/driver.h"

#include <ctime>
#include <exception>
#include <string>

#include "app/command_line.h"
#include "app/exit_codes.h"
#include "app/modes.h"
#include "app/startup.h"
#include "platform/text_helpers.h"
#include "ui/names.h"

namespace {

constexpr char kOwnershipNotice[] = "Copyright (C) REdevi. All rights reserved.";
constexpr char kUnexpectedError[] =
    "An unexpected error has occurred.  Firmware update will not be completed.\n";

int Dispatch(Program& program) {
  const RunFlags& flags = program.flags;
  if (flags.Has(RunFlag::ShowInstalled)) {
    return ShowInstalledFirmware(program) ? show_installed_exit::kShown
                                          : show_installed_exit::kNoSupportedAdapter;
  }
  if (flags.Has(RunFlag::MakeReport)) return GenerateDiscoveryReport(program);
  if (flags.Has(RunFlag::UpdateFromReportFile)) return UpdateFromReport(program);
  if (flags.Has(RunFlag::VersionOnly)) return VersionOnlyMode(program);
  if (flags.Has(RunFlag::VersionFile)) return kExitNotRun;  // -v alone does no work
  return UpdatePass(program);
}

}  // namespace

void ShowBanner(UserInterface& ui) {
  const std::string rule(77, '-');
  char version[64] = {0};
  GetOwnFileVersion(version, sizeof version);
  ui.Print("%s\n", rule.c_str());
  ui.Print("%s (%s)\n", kProductTitle, version);
  ui.Print("%s\n", kOwnershipNotice);
  ui.Print("%s\n\n", rule.c_str());
}

void EchoCommandLine(UserInterface& ui, int argc, char** argv) {
  ui.Write("Command line supplied:\n\t");
  for (int i = 0; i < argc; ++i) ui.Write("%s ", argv[i]);
  ui.Write("\n");
}

std::string AsctimeText(const struct tm& time) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* day = (time.tm_wday >= 0 && time.tm_wday < 7) ? kDays[time.tm_wday] : "???";
  const char* month = (time.tm_mon >= 0 && time.tm_mon < 12) ? kMonths[time.tm_mon] : "???";
  char text[64];
  snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d\n", day, month, time.tm_mday,
           time.tm_hour, time.tm_min, time.tm_sec, time.tm_year + 1900);
  return text;
}

void LogTimestamp(UserInterface& ui, const char* label) {
  std::time_t now = std::time(nullptr);
  const struct tm* local = std::localtime(&now);
  const std::string text = local ? AsctimeText(*local) : std::string("\n");
  ui.Write("%s: %s\n", label, text.c_str());
}

int RunGuarded(UserInterface& ui, const std::function<int()>& mode) {
  try {
    return mode();
  } catch (const std::exception& error) {
    ui.Print("%s%s", kUnexpectedError, error.what());
  } catch (...) {
    ui.Print("%s", kUnexpectedError);
  }
  return kExitNotRun;
}

int RunProgram(Program& program, int argc, char** argv) {
  if (!StartUp(program)) return kExitNotRun;
  UserInterface& ui = *program.ui;

  bool valid = ParseCommandLine(argc, argv, program.flags, &program.report_path) &&
               ValidateOptions(program.flags);
  ui.SetModes(program.flags.Has(RunFlag::Silent), program.flags.Has(RunFlag::Debug),
              program.flags.Has(RunFlag::AssumeDefaults));
  ShowBanner(ui);
  EchoCommandLine(ui, argc, argv);
  LogTimestamp(ui, "Upgrade began");
  if (!valid) {
    ShowUsage(ui, argc > 0 ? argv[0] : "");
    return kExitNotRun;
  }

  const int code = RunGuarded(ui, [&program] { return Dispatch(program); });
  LogTimestamp(ui, "Upgrade completed");
  ui.Write("Exiting with code %d\n", code);
  return code;
}
