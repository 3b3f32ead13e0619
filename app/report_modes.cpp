#include "app/report_modes.h"

#include "app/exit_codes.h"
#include "app/modes.h"
#include "app/update_pass.h"
#include "inventory/discovery.h"
#include "inventory/flash_tool.h"
#include "inventory/package_config.h"
#include "platform/os.h"
#include "platform/text_helpers.h"
#include "ui/command_log.h"
#include "ui/names.h"

int RunReportCommand(RunState& state) {
  uint32_t code = 0;
  const std::string command = WriteReportCommand(state.package.firmware_file, state.report_path);
  CommandLog log(*state.ui);
  if (!RunCommand(log, *state.runner, command, &code)) return 1;
  return static_cast<int>(code);
}

int RunUpdateCommand(RunState& state) {
  uint32_t code = 0;
  const std::string command =
      UpdateFromReportCommand(state.package.firmware_file, state.report_path);
  // The tool writes firmware here too: shielded like a flash call. It is the
  // run's only write, so an interrupt changes nothing after it.
  bool interrupted = false;
  CommandLog log(*state.ui);
  const bool ran = RunWriteCommand(log, *state.runner, command, &code, &interrupted);
  if (interrupted) state.flags.Set(RunFlag::Interrupted);
  if (!ran) return 1;
  if (code != 0) return static_cast<int>(code);
  state.flags.Set(RunFlag::FlashDone);
  return 5;
}

namespace {

// The tool runs as an administrator and writes or reads the report by name: a
// path that another account could swap underneath it is never handed over.
// With `report_is_input`, the report itself may not be a link either (a report
// that is written is removed as a name first).
bool ReportPathIsSound(UserInterface& ui, const std::string& path, bool report_is_input) {
  os::ReportPathCheck check = os::CheckReportPath(path);
  if (check.verdict == os::ReportPathVerdict::kSound && report_is_input && os::IsLink(path)) {
    check = {os::ReportPathVerdict::kReportIsLink, path};
  }
  if (check.verdict == os::ReportPathVerdict::kSound) return true;
  ui.Print("Error: The report path %s is refused: %s.\n", path.c_str(),
           os::ReportPathProblem(check).c_str());
  return false;
}

}  // namespace

int CheckPackageFirmwareFile(RunState& state) {
  LoadPackageConfig(*state.ui, state.package);
  const std::string& image = state.package.firmware_file;
  if (!image.empty() && FileExists(image)) return 1;
  state.ui->Write("Warning: Could not find firmware file %s!\n", image.c_str());
  return 0;
}

int GenerateDiscoveryReport(Program& program) {
  if (!ReportPathIsSound(*program.ui, program.report_path, false)) return report_exit::kFailed;
  // Discovery has logged why it found nothing to report on.
  if (CountUpdateCandidates(program) <= 0) return report_exit::kFailed;

  // An old report goes first, so that a failed run leaves none behind; a link
  // goes as a name, never followed. One that cannot be deleted (a directory, a
  // protected file) would pass for the new report afterwards, so the report is
  // not made at all.
  if (os::NameExists(program.report_path)) os::RemoveFile(program.report_path);
  UserInterface& ui = *program.ui;
  // A tool that exits 0 without writing the report has not made one either.
  if (os::NameExists(program.report_path) || RunReportCommand(program) != 0 ||
      !FileExists(program.report_path)) {
    ui.Print("\nFailed to generate NIC discovery report to %s.\n", program.report_path.c_str());
    return report_exit::kFailed;
  }
  ui.Print("\nSuccessfully generated NIC discovery report to %s.\n", program.report_path.c_str());
  return report_exit::kWritten;
}

int UpdateFromReport(Program& program) {
  UserInterface& ui = *program.ui;
  // A directory is no discovery file: the tool must never be handed one.
  if (!FileExists(program.report_path) || os::IsDirectory(program.report_path)) {
    ui.Write("Error: Discovery file %s not found!.\n", program.report_path.c_str());
    return update_from_report_exit::kFailed;
  }
  if (!ReportPathIsSound(ui, program.report_path, true)) return update_from_report_exit::kFailed;
  if (CheckPackageFirmwareFile(program) == 0) {
    ui.Print("%s", kNoSupportedAdapters);
    return update_from_report_exit::kNoImage;
  }
  if (RunUpdateCommand(program) != 5) {
    ui.Print("Error: Failed to process discovery file %s.\n", program.report_path.c_str());
    return update_from_report_exit::kFailed;
  }
  return SummarizeOutcome(ui, program.flags);
}

int VersionOnlyMode(Program& program) {
  UserInterface& ui = *program.ui;
  DiscoverDevices(program);
  if (program.inventory.count() == 0 || program.inventory.empty()) {
    ui.Print("%s", kNoSupportedAdapters);
    return version_only_exit::kNoSupportedAdapter;
  }
  if (FileExists(program.report_path)) {
    ui.Print("Created file %s with only firmware version details.\n",
             program.report_path.c_str());
    return version_only_exit::kCreated;
  }
  ui.Print("Failed to create file %s with only firmware version details!\n",
           program.report_path.c_str());
  return version_only_exit::kMissing;
}
