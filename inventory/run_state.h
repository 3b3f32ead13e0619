// The process-wide state that discovery, the report modes and the firmware
// components share. The driver creates one and keeps it until the process ends.
#ifndef KX_INVENTORY_RUN_STATE_H_
#define KX_INVENTORY_RUN_STATE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "inventory/records.h"
#include "platform/command_runner.h"
#include "ui/run_flags.h"
#include "ui/user_interface.h"

struct RunState {
  RunFlags flags;
  /// Created by StartUp; lives until the process ends.
  std::unique_ptr<UserInterface> ui;
  /// Starts the flash tool; the real process runner unless a test gives a fake.
  std::unique_ptr<CommandRunner> runner;
  /// File name given with -d, -u or -v (at most 259 characters).
  std::string report_path;
  /// The supported adapter types and the package's firmware image file.
  PackageTables package;
  Inventory inventory;
  /// Set by the first successful discovery pass and never cleared; later
  /// passes return at once.
  bool discovery_done = false;
  /// The Inventory entry the firmware components act on.
  int32_t current_device_index = 0;
};

#endif  // KX_INVENTORY_RUN_STATE_H_
