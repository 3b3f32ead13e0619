// The process-wide state of one run, created and owned by the driver and
// handed to the parts that need it.
#ifndef KX_APP_PROGRAM_H_
#define KX_APP_PROGRAM_H_

#include <memory>
#include <vector>

#include "firmware/firmware_component.h"
#include "inventory/run_state.h"

struct Program : RunState {
  /// FirmwareComponents: the components in order, an empty slot after the last
  /// one. Created at start-up; they act on this Program's state.
  std::vector<std::unique_ptr<Firmware>> firmware_components;
  /// ComponentCount: how many slots hold a component (the loops use this).
  int component_count = 0;
};

#endif  // KX_APP_PROGRAM_H_
