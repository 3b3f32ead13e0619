#include "inventory/discovery.h"

#include <cstdint>

#include "inventory/flash_tool.h"
#include "inventory/nic_list.h"
#include "inventory/package_config.h"
#include "platform/os.h"
#include "platform/text_helpers.h"
#include "ui/command_log.h"
#include "ui/names.h"

int DiscoverDevices(RunState& state) {
  if (state.discovery_done) return 0;
  UserInterface& ui = *state.ui;
  ui.Write("Started device discovery!\n");

  LoadPackageConfig(ui, state.package);
  const std::string& firmware_file = state.package.firmware_file;
  if (!FileExists(firmware_file)) {
    ui.Write("Warning: Could not find firmware file %s!\n", firmware_file.c_str());
  }

  // A list left over from an earlier run must not pass for this run's.
  os::RemoveFile(kNicListFile);
  uint32_t exit_code = 0;
  CommandLog log(ui);
  const bool ran = RunCommand(log, *state.runner, ListAdaptersCommand(firmware_file), &exit_code);
  const bool succeeded =
      ran && exit_code == 0 && FileExists(kNicListFile) && ParseNicList(state, kNicListFile) == 0;
  if (succeeded) {
    state.discovery_done = true;
    ui.Write("Device discovery completed successfully!\n");
  } else {
    if (!FileExists(kNicListFile)) ui.Write("Could not generate discovery file.\n");
    ui.Write("Device discovery failed with error code %d\n", static_cast<int>(exit_code));
  }

  if (FileExists(kNicListFile)) os::RemoveFile(kNicListFile);
  return static_cast<int>(exit_code);
}
