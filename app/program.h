// The process-wide state of one run, created and owned by the driver and
// handed to the parts that need it.
#ifndef KX_APP_PROGRAM_H_
#define KX_APP_PROGRAM_H_

#include <memory>
#include <vector>

#include "app/firmware_component.h"
#include "inventory/run_state.h"

struct Program : RunState {
  /// The components in order, an empty slot after the last one. Created at
  /// start-up; they act on this Program's state.
  std::vector<std::unique_ptr<Firmware>> firmware_components;
  /// How many slots of firmware_components hold a component (the loops use
  /// this, not the vector's size).
  int component_count = 0;
};

#endif  // KX_APP_PROGRAM_H_
